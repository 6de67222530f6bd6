#!/usr/bin/env bash
# A polling run of the real program under Xvfb against the simulated board, as a user leaves it
# running: the program's resident memory and CPU time, sampled every minute from the first poll,
# and what a polled line keeps. The Windows program runs under Wine (the Windows build's Wine
# prefix, in a network namespace of its own). Run by hand, not by ctest:
#   bash bench/polling_run.sh build/skarvel build/netio-sim [MINUTES]
#   bash bench/polling_run.sh build-win/skarvel.exe build-win/linux/netio-sim [MINUTES]
set -euo pipefail
source "$(dirname "$0")/../tests/e2e/lib.sh"
[[ ${1:-} == *.exe ]] && e2e_isolate_network "$@"
minutes=${3:-10}
e2e_setup polling_run "$1" "$2"

e2e_start_x
e2e_start_wm
if [[ $E2E_SKARVEL == *.exe ]]; then
    e2e_loopback_up
    e2e_use_wine "$(dirname "$E2E_SKARVEL")/wine"
fi
e2e_start_sim
e2e_write_settings 127.0.0.1 "$SIM_PORT" 8080
e2e_start_program
e2e_wait_window "Varnex-NET-IO-TerminalEmulation V1.0" 30
main=$WINDOW
e2e_wait_record connect 1
e2e_wait_focus "$main"
e2e_click_control "$main" PollingToggle   # pressed in
e2e_wait_window "Skarvel: Meldung" 3
e2e_wait_focus "$WINDOW"
e2e_key Return                           # accepts the preset "C"
e2e_wait_record "cmd C" 1 5

ticks_per_second=$(getconf CLK_TCK)
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$PROGRAM_PID/status"; }
cpu_ms() {
    local stat
    stat=$(cat "/proc/$PROGRAM_PID/stat")
    stat=${stat##*) }                     # the fields after the command name
    awk -v hz="$ticks_per_second" '{ print int(($12 + $13) * 1000 / hz) }' <<<"$stat"
}

first_rss=$(rss_kb)
first_cpu=$(cpu_ms)
previous_rss=$first_rss
previous_cpu=$first_cpu
e2e_log "minute  RSS (kB)  RSS growth (kB)  CPU (ms)"
for ((minute = 1; minute <= minutes; minute++)); do
    sleep 60
    e2e_alive "$PROGRAM_PID" || e2e_fail "program ended during the run"
    rss=$(rss_kb)
    cpu=$(cpu_ms)
    e2e_log "$(printf '%6d  %8d  %15d  %8d' "$minute" "$rss" $((rss - previous_rss)) $((cpu - previous_cpu)))"
    previous_rss=$rss
    previous_cpu=$cpu
    # What a line keeps is counted from the end of the first minute, when the program has
    # settled into polling.
    if ((minute == 1)); then
        settled_rss=$rss
        settled_polls=$(e2e_record_count "cmd C")
    fi
done
polls=$(($(e2e_record_count "cmd C") - settled_polls))
e2e_log "$minutes min: RSS growth $(((previous_rss - first_rss) / minutes)) kB/min," \
    "CPU $(((previous_cpu - first_cpu) / minutes)) ms/min;" \
    "after the first minute $(((previous_rss - settled_rss) * 1024 / (polls > 0 ? polls : 1))) bytes a polled line" \
    "($polls polls)"

e2e_click_control "$main" PollingToggle   # released
e2e_close_by_wm "$main"
e2e_wait_program_exit 10
e2e_pass
