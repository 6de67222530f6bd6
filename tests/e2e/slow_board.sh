#!/usr/bin/env bash
# A board that takes 300 ms to answer every message, slower than a poll's quarter second: the
# overview open beside polling still reads now and then, and a click on PollingToggle stops
# polling within one exchange, not after the ticks queued meanwhile.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_setup slow_board "$@"

e2e_start_x
e2e_start_wm
e2e_start_sim --delay 300
sim_started=$(e2e_now_ms)               # the simulator's record counts from about here
e2e_write_settings 127.0.0.1 "$SIM_PORT" 8080
e2e_start_program
e2e_wait_window "Varnex-NET-IO-TerminalEmulation V1.0"
main=$WINDOW
e2e_wait_focus "$main"

e2e_click_control "$main" PollingToggle
e2e_wait_window "Skarvel: Meldung" 3
e2e_wait_focus "$WINDOW"
e2e_key Return                           # accepts the preset "C"
e2e_wait_record "cmd C" 5 5
# The overview open beside polling: its reads find room now and then, and the polls go on.
e2e_key F2
e2e_wait_window "Varnex-NET-IO: Board-Übersicht" 5 "$main"
polls=$(e2e_record_count "cmd C")
sleep 4
reads=$(e2e_record_times "cmd [QNSP][0-9A-F]*" | wc -l)
polls=$(($(e2e_record_count "cmd C") - polls))
((reads >= 2 && polls >= 10)) || e2e_fail "beside the overview: $polls polls and $reads reads in 4 s"
e2e_xdotool windowactivate --sync "$main" || e2e_fail "could not activate the main window"
clicked=$(($(e2e_now_ms) - sim_started))
e2e_click_control "$main" PollingToggle   # released
e2e_wait_output "$main" 'Beende Polling'
sleep 1.5
last=$(e2e_record_times "cmd C" | tail -n 1)
((last - clicked <= 1000)) || e2e_fail "the last poll went $((last - clicked)) ms after the click that stopped polling"
e2e_close_by_wm "$main"
e2e_wait_program_exit 10
e2e_expect_exit_code_0
e2e_log "against replies of 300 ms: $polls polls and $reads reads of the overview in 4 s; the last poll $((last - clicked)) ms after the click"
e2e_pass
