#!/usr/bin/env bash
# PollingToggle: pressed in, it asks for the polling command, then sends it every 250 ms beside
# the idle message; pressed again, the run ends and the command is sent no more.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_setup polling "$@"

e2e_start_main_window 8080
main=$MAIN
e2e_wait_focus "$main"

e2e_click "$main" 10 340 180 20         # PollingToggle, pressed in
e2e_wait_window "Skarvel: Meldung" 3
prompt=$WINDOW
e2e_wait_focus "$prompt"
(($(e2e_record_count "cmd C") == 0)) || e2e_fail "C was sent before the prompt was answered"
e2e_key Return                           # accepts the preset "C"

# Counted on the simulator's clock over the 3 s from the first C on.
e2e_wait_record "cmd C" 1 3
sleep 3.5
first=$(e2e_record_times "cmd C" | head -n 1)
polls=$(e2e_record_times "cmd C" | awk -v t="$first" '$1 - t < 3000' | wc -l)
idles=$(e2e_record_times "cmd x" | awk -v t="$first" '$1 >= t && $1 - t < 3000' | wc -l)
((polls >= 6 && polls <= 14)) || e2e_fail "C sent $polls times in 3 s, expected 6 to 14"
((idles >= 2)) || e2e_fail "idle message sent $idles times in 3 s of polling, expected at least 2"

e2e_click "$main" 10 340 180 20         # PollingToggle, released
sleep 0.4                                # a C already on its way may still arrive
stopped=$(e2e_record_count "cmd C")
idle_before=$(e2e_record_count "cmd x")
sleep 1.2
after=$(e2e_record_count "cmd C")
((after == stopped)) || e2e_fail "$((after - stopped)) more C sent in the second after the release"
e2e_alive "$PROGRAM_PID" || e2e_fail "program ended after the release"
(($(e2e_record_count "cmd x") > idle_before)) || e2e_fail "no idle message in the second after the release"

e2e_close_by_wm "$main"
e2e_wait_program_exit 10
e2e_expect_exit_code_0
e2e_wait_record close 1 5
e2e_expect_clean_stream
e2e_log "C sent $polls times and the idle message $idles times in 3 s; $stopped C in all"
e2e_pass
