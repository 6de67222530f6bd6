#!/usr/bin/env bash
# A board that takes 300 ms to answer every message, slower than a poll's quarter second: a click
# on PollingToggle still stops polling within one exchange, not after the ticks queued meanwhile.
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
clicked=$(($(e2e_now_ms) - sim_started))
e2e_click_control "$main" PollingToggle   # released
e2e_wait_output "$main" 'Beende Polling'
sleep 1.5
last=$(e2e_record_times "cmd C" | tail -n 1)
((last - clicked <= 1000)) || e2e_fail "the last poll went $((last - clicked)) ms after the click that stopped polling"
e2e_close_by_wm "$main"
e2e_wait_program_exit 10
e2e_expect_exit_code_0
e2e_log "the last poll $((last - clicked)) ms after the click, against replies of 300 ms"
e2e_pass
