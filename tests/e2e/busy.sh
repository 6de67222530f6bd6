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

# Twenty quick clicks on SendButton, then type-ahead during the next exchange.
e2e_expect_busy_window "$main" 20 3

# Closed during that exchange's wait.
e2e_close_by_wm "$main"
e2e_wait_program_exit 10
e2e_expect_exit_code_0
e2e_wait_record close 1 5
e2e_expect_clean_stream
e2e_log "$BUSY_SUMMARY"
e2e_pass
