#!/usr/bin/env bash
# What the program costs the machine while it waits: the CPU time per minute of a private
# PulseAudio server (a null sink it suspends after 1 s without a stream playing) with nothing
# connected, with the program open and untouched in front, with the program in the background
# (another window active, the pointer elsewhere), and with a bare client's stream open that
# plays nothing (pacat --latency-msec=10); and the program's own CPU time per minute in front
# and in the background. The real program under Xvfb with openbox, against the simulated board
# on 127.0.0.1. Run by hand:
#   bash bench/idle_cost.sh build/skarvel build/netio-sim [SECONDS per measurement, default 60]
# or, for the Windows program under Wine (with the Windows build's Wine prefix, in a network
# namespace of its own; its own CPU time is then the wineserver's and Wine's processes' left out):
#   bash bench/idle_cost.sh build-win/skarvel.exe build/netio-sim
set -euo pipefail
source "$(dirname "$0")/../tests/e2e/lib.sh"
source "$(dirname "$0")/sound_server.sh"
seconds=${3:-60}
# How long the program is left untouched, in front or in the background, before measuring: it
# may take its time to let the sound server rest, and the server suspends the sink a second
# after that.
settle=${IDLE_SETTLE_SECONDS:-15}
[[ ${1:-} == *.exe ]] && e2e_isolate_network "$@"
e2e_setup idle_cost "$1" "$2"
[[ $E2E_SKARVEL == *.exe ]] && e2e_loopback_up
command -v pacat >/dev/null || { echo "missing tool: pacat (scripts/install-deps.sh)" >&2; exit 1; }
command -v xmessage >/dev/null || { echo "missing tool: xmessage (scripts/install-deps.sh)" >&2; exit 1; }

# cpu_per_minute PID...: CPU ms per minute each process uses over the next $seconds seconds.
cpu_per_minute()
{
    local pid i=0
    local -a before=()
    for pid in "$@"; do before+=("$(bench_cpu_ms "$pid")"); done
    sleep "$seconds"
    for pid in "$@"; do
        e2e_alive "$pid" || e2e_fail "process $pid ended during the measurement"
        awk -v a="${before[i++]}" -v b="$(bench_cpu_ms "$pid")" -v s="$seconds" 'BEGIN { printf "%.0f ", (b - a) * 60 / s }'
    done
}

sink_state() { PULSE_SERVER=$BENCH_PULSE timeout 5 pactl list short sinks | awk '{ print $NF; exit }'; }

e2e_start_x
e2e_start_wm
[[ $E2E_SKARVEL == *.exe ]] && e2e_use_wine "$(dirname "$E2E_SKARVEL")/wine"
e2e_start_sim
bench_start_sound_server
export PULSE_SERVER=$BENCH_PULSE
e2e_xdotool mousemove 5 5                # out of the way of the centred window

sleep 2
e2e_log "nothing connected (sink $(sink_state))"
read -r server_alone <<<"$(cpu_per_minute "$BENCH_PULSE_PID")"

e2e_write_settings 127.0.0.1 "$SIM_PORT" 80
e2e_start_program
e2e_wait_window "Varnex-NET-IO-TerminalEmulation V1.0"
main=$WINDOW
e2e_wait_focus "$main"
sleep "$settle"
e2e_log "skarvel in front, untouched (sink $(sink_state))"
read -r server_front program_front <<<"$(cpu_per_minute "$BENCH_PULSE_PID" "$PROGRAM_PID")"

# Another program's window takes the focus; the pointer rests on it, away from the program's.
xmessage -geometry +0+0 "another program" >/dev/null 2>&1 &
E2E_PIDS+=($!)
other=$!
e2e_wait_window "xmessage"
e2e_wait_focus "$WINDOW"
e2e_xdotool mousemove 20 20
sleep "$settle"
e2e_log "skarvel in the background (sink $(sink_state))"
read -r server_back program_back <<<"$(cpu_per_minute "$BENCH_PULSE_PID" "$PROGRAM_PID")"
kill "$other"
e2e_close_by_wm "$main"
e2e_wait_program_exit 10

mkfifo "$E2E_DIR/silence"
pacat --playback --raw --format=s16le --channels=1 --rate=22050 --latency-msec=10 --client-name=bare \
    <"$E2E_DIR/silence" &
bare=$!
E2E_PIDS+=($bare)
exec 7>"$E2E_DIR/silence"                # open, and nothing written
sleep 2
e2e_log "bare pacat stream (sink $(sink_state))"
read -r server_bare <<<"$(cpu_per_minute "$BENCH_PULSE_PID")"
exec 7>&-

echo "CPU ms per minute, over $seconds s each     sound server   skarvel"
printf '%-40s %12s %9s\n' "nothing connected" "$server_alone" "-" \
    "skarvel in front, untouched" "$server_front" "$program_front" \
    "skarvel in the background" "$server_back" "$program_back" \
    "bare pacat --latency-msec=10 stream" "$server_bare" "-"
awk -v f="$server_front" -v b="$server_back" 'BEGIN { printf "goal: server with skarvel untouched <= 50 ms/min, in front: %s, in the background: %s\n", (f <= 50 ? "met" : "NOT met"), (b <= 50 ? "met" : "NOT met") }'
e2e_pass
