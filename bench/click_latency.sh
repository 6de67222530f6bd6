#!/usr/bin/env bash
# Press to sound: presses "Befehl Senden" of the real program 20 times (Xvfb, openbox, xdotool)
# on a private PulseAudio server and prints how soon each click reached the sink, beside a bare
# client (pacat --latency-msec=10) on the same server in the same run; then what the program and
# the server cost while the program idles. Run by hand:
#   bash bench/click_latency.sh build/skarvel build/click_station
set -euo pipefail
source "$(dirname "$0")/../tests/e2e/lib.sh"
e2e_setup click-latency "$@"
station=$E2E_SIM
idle_seconds=${CLICK_IDLE_SECONDS:-10}

# CPU seconds (user + system) a process has used so far.
cpu_seconds()
{
    local stat
    stat=$(cat "/proc/$1/stat") || { echo 0; return; }
    stat=${stat##*) }
    awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($12 + $13) / hz }' <<<"$stat"
}

# cpu_share PID SECONDS: per cent of one core the process uses over the next SECONDS.
cpu_share()
{
    local before after
    before=$(cpu_seconds "$1")
    sleep "$2"
    after=$(cpu_seconds "$1")
    awk -v a="$before" -v b="$after" -v s="$2" 'BEGIN { printf "%.2f", (b - a) * 100 / s }'
}

coproc STATION { exec "$station" 2>"$E2E_DIR/station.err"; }
E2E_PIDS+=("$STATION_PID")
station_out=${STATION[0]} station_in=${STATION[1]}
pulse= port= server_pid=
while read -r -t 30 key value <&"$station_out"; do
    case $key in
        pulse) pulse=$value ;;
        port) port=$value ;;
        server-pid) server_pid=$value ;;
        bare) break ;;
    esac
done
[[ -n $pulse && -n $port && -n $server_pid ]] || e2e_fail "the station did not start: $(cat "$E2E_DIR/station.err")"
e2e_log "bare client clicked; server $pulse, board port $port"
export PULSE_SERVER=$pulse

e2e_start_x
e2e_start_wm
server_alone=$(cpu_share "$server_pid" "$idle_seconds")

e2e_write_settings 127.0.0.1 "$port" 80
e2e_start_program
e2e_wait_window "Varnex-NET-IO-TerminalEmulation V1.0"
main=$WINDOW
e2e_wait_focus "$main"
e2e_type F
sleep 1
for ((i = 0; i < 20; i++)); do
    e2e_click "$main" 220 40 90 20      # SendButton
    sleep 0.3
done

program_idle=$(cpu_share "$PROGRAM_PID" "$idle_seconds")
server_busy=$(cpu_share "$server_pid" "$idle_seconds")
e2e_close_by_wm "$main"
e2e_wait_program_exit 10

echo "done F" >&"$station_in"
while IFS= read -r -t 30 line <&"$station_out"; do
    echo "$line"
done
echo "idle CPU, % of one core over ${idle_seconds} s: skarvel $program_idle;" \
     "sound server $server_busy with skarvel idle, $server_alone without it"
e2e_pass
