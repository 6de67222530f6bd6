#!/usr/bin/env bash
# PollingToggle: pressed in, it asks for the polling command, then sends it every 250 ms beside
# the idle message; pressed again, the run ends and the command is sent no more.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_setup polling "$@"

e2e_start_main_window 8080
main=$MAIN
e2e_wait_focus "$main"

e2e_click_control "$main" PollingToggle   # pressed in
e2e_wait_window "Skarvel: Meldung" 3
prompt=$WINDOW
e2e_wait_focus "$prompt"
(($(e2e_record_count "cmd C") == 0)) || e2e_fail "C was sent before the prompt was answered"
e2e_key Return                           # accepts the preset "C"

# On the simulator's clock over the 3 s from the first C on: the median time between two polls
# is 250 ms, and between two idle messages a second, each within a fifth.
e2e_wait_record "cmd C" 1 3
sleep 3.5
first=$(e2e_record_times "cmd C" | head -n 1)
polls=$(e2e_record_times "cmd C" | awk -v t="$first" '$1 - t < 3000' | wc -l)
idles=$(e2e_record_times "cmd x" | awk -v t="$first" '$1 >= t && $1 - t < 3000' | wc -l)
# median_gap EVENT: the median time between two of them, in ms.
median_gap() { e2e_record_times "$1" | awk 'NR > 1 { print $1 - last } { last = $1 }' | sort -n \
    | awk '{ gap[NR] = $1 } END { print NR ? gap[int((NR + 1) / 2)] : 0 }'; }
poll_gap=$(median_gap "cmd C")
idle_gap=$(median_gap "cmd x")
((poll_gap >= 200 && poll_gap <= 300)) || e2e_fail "polls $poll_gap ms apart (median), expected 250 within a fifth"
((idle_gap >= 800 && idle_gap <= 1200)) || e2e_fail "idle messages $idle_gap ms apart (median), expected 1000 within a fifth"
((idles >= 2)) || e2e_fail "idle message sent $idles times in 3 s of polling, expected at least 2"

e2e_click_control "$main" PollingToggle   # released
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
e2e_log "C sent $polls times ($poll_gap ms apart) and the idle message $idles times ($idle_gap ms apart) in 3 s; $stopped C in all"
e2e_pass
