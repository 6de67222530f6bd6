#!/usr/bin/env bash
# A silent board keeps each exchange waiting its full second. Clicks on "Befehl Senden" made
# meanwhile are not carried out afterwards, text typed meanwhile is kept, and a close request
# made meanwhile ends the program once the wait is over.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_setup busy "$@"

e2e_start_main_window 8080 --silent
main=$MAIN
e2e_wait_focus "$main"
e2e_type F

# Twenty quick clicks on SendButton: the first sends F, the rest fall into its wait.
e2e_window_geometry "$main"
started=$(e2e_now_ms)
e2e_xdotool mousemove $((WIN_X + 265)) $((WIN_Y + 50)) click --repeat 20 --delay 25 1 \
    || e2e_fail "could not click SendButton"
clicking=$(($(e2e_now_ms) - started))
e2e_wait_record "cmd F" 1 5
sleep 3                                  # piled-up clicks would have sent F twice more by now
sent=$(e2e_record_count "cmd F")
# Each exchange waits a second: clicking that took longer (a loaded machine) may start another.
((sent <= 2 + clicking / 1000)) || e2e_fail "20 clicks in $clicking ms sent F $sent times"

# Typed while the next exchange waits: the text is in the field afterwards.
e2e_click "$main" 220 40 90 20
e2e_type Q
e2e_wait_record "cmd F" $((sent + 1)) 5
sleep 1.5
e2e_click "$main" 220 40 90 20
e2e_wait_record "cmd FQ" 1 5

# Closed during that exchange's wait.
e2e_close_by_wm "$main"
e2e_wait_program_exit 10
e2e_expect_exit_code_0
e2e_wait_record close 1 5
e2e_expect_clean_stream
e2e_log "20 clicks in $clicking ms sent F $sent times"
e2e_pass
