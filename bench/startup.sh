#!/usr/bin/env bash
# Start-up: how long the real program takes from its start until its main window is mapped,
# against a bare Qt window with the same controls (build/bare_window), started in turn, 20 times
# each (after one unmeasured start of each), first with a sound server running (a private
# PulseAudio server with a null sink), then without one. Under Xvfb with openbox, against the
# simulated board on 127.0.0.1. Prints both medians and their ratio, and beside them the CPU time
# each had used by then (less moved by other work on the machine). Run by hand:
#   bash bench/startup.sh build/skarvel build/netio-sim [RUNS]
set -euo pipefail
source "$(dirname "$0")/../tests/e2e/lib.sh"
source "$(dirname "$0")/sound_server.sh"
runs=${3:-20}
e2e_setup startup "$1" "$2"
built=$(dirname "$E2E_SKARVEL")
timer=$built/startup_timer
bare=$built/bare_window
[[ -x $timer && -x $bare ]] || { echo "build startup_timer and bare_window first" >&2; exit 2; }
title="Varnex-NET-IO-TerminalEmulation V1.0"

e2e_start_x
e2e_start_wm
e2e_start_sim
e2e_write_settings 127.0.0.1 "$SIM_PORT" 80
bench_start_sound_server
no_server=$PULSE_SERVER

# time_start TITLE PROGRAM: "WALL CPU", ms from the start until the window is mapped and CPU ms
# used by then, started as the desktop menu would (in the work folder, the browser recorder
# first on PATH).
time_start()
{
    (cd "$E2E_WORK" && env PATH="$E2E_DIR/bin:$PATH" BROWSER="$E2E_DIR/bin/xdg-open" QT_QPA_PLATFORM=xcb \
        "$timer" "$1" "$2" 2>>"$E2E_DIR/timer.err") || e2e_fail "no start measured: $(tail -n 3 "$E2E_DIR/timer.err")"
}

median()
{
    sort -n | awk '{ v[NR] = $1 } END { printf "%.1f", NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

results=()
for server in "$BENCH_PULSE" "$no_server"; do
    export PULSE_SERVER=$server
    time_start "$title" "$E2E_SKARVEL" >/dev/null
    time_start "Bare Qt window" "$bare" >/dev/null
    program_runs=() bare_runs=()
    for ((i = 0; i < runs; i++)); do
        program_runs+=("$(time_start "$title" "$E2E_SKARVEL")")
        bare_runs+=("$(time_start "Bare Qt window" "$bare")")
    done
    [[ $server == "$BENCH_PULSE" ]] && name="with a sound server" || name="without a sound server"
    e2e_log "$name, skarvel ms (wall/CPU): $(printf '%s\n' "${program_runs[@]}" | tr ' ' / | tr '\n' ' ')"
    e2e_log "$name, bare window ms (wall/CPU): $(printf '%s\n' "${bare_runs[@]}" | tr ' ' / | tr '\n' ' ')"
    program=$(printf '%s\n' "${program_runs[@]}" | cut -d' ' -f1 | median)
    plain=$(printf '%s\n' "${bare_runs[@]}" | cut -d' ' -f1 | median)
    program_cpu=$(printf '%s\n' "${program_runs[@]}" | cut -d' ' -f2 | median)
    plain_cpu=$(printf '%s\n' "${bare_runs[@]}" | cut -d' ' -f2 | median)
    results+=("$(awk -v n="$name" -v p="$program" -v b="$plain" -v pc="$program_cpu" -v bc="$plain_cpu" 'BEGIN {
        r = p / b; printf "%-24s %8.1f %8.1f %6.2f  %-8s %8.1f %8.1f %6.2f", n, p, b, r, (r <= 1.2 ? "met" : "NOT met"),
            pc, bc, pc / bc }')")
done

echo "start to main window mapped,   --------- wall clock ---------------   ------- CPU used by then ---"
echo "median of $runs, ms               skarvel     bare  ratio  <= 1.2    skarvel     bare  ratio"
printf '%s\n' "${results[@]}"
e2e_pass
