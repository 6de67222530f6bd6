#!/usr/bin/env bash
# Press to sound: presses "Befehl Senden" of the real program 20 times (Xvfb, openbox, xdotool)
# on a private PulseAudio server and prints how soon each click reached the sink, beside a bare
# client (pacat --latency-msec=10) on the same server in the same run; then 10 pairs of presses
# 15 ms apart, for a click restarted while it sounds; then presses after the program rested
# long enough for the server to suspend its sink (CLICK_WAKE_PRESSES each, 8 by default): in the
# background, 150 ms after the pointer came into the window, as a hand moves to a button, and
# with the pointer, which leaves the waking to the press; in front and untouched, 150 ms after
# the pointer moved onto the button; and what the program and the server cost while the program
# idles. Run by hand:
#   bash bench/click_latency.sh build/skarvel build/click_station
# or, for the Windows program under Wine (with the Windows build's Wine prefix, in a network
# namespace of its own), which also runs bare Windows clients of DirectSound and WASAPI
# (win32_click_client.exe) and the program over DirectSound (skarvel_directsound.exe) beside it:
#   bash bench/click_latency.sh build-win/skarvel.exe build/click_station
set -euo pipefail
source "$(dirname "$0")/../tests/e2e/lib.sh"
[[ ${1:-} == *.exe ]] && e2e_isolate_network "$@"
e2e_setup click-latency "$@"
station=$E2E_SIM
idle_seconds=${CLICK_IDLE_SECONDS:-10}
windows_build=
if [[ $E2E_SKARVEL == *.exe ]]; then
    windows_build=$(dirname "$E2E_SKARVEL")
    e2e_loopback_up
fi
series=()                              # further rows for the station: NAME=COMMAND
wake_presses=${CLICK_WAKE_PRESSES:-8}
# Untouched this long, the program lets its output rest (after 10 s) and the server suspends the
# sink (a second later).
rest_seconds=12

# CPU seconds (user + system) a process has used so far.
cpu_seconds()
{
    local stat
    stat=$(cat "/proc/$1/stat") || { echo 0; return; }
    stat=${stat##*) }
    awk -v hz="$(getconf CLK_TCK)" '{ printf "%.2f", ($12 + $13) / hz }' <<<"$stat"
}

# cpu_shares SECONDS PID...: per cent of one core each process uses over the next SECONDS.
cpu_shares()
{
    local seconds=$1 pid i=0
    local -a before=()
    shift
    for pid in "$@"; do before+=("$(cpu_seconds "$pid")"); done
    sleep "$seconds"
    for pid in "$@"; do
        awk -v a="${before[i++]}" -v b="$(cpu_seconds "$pid")" -v s="$seconds" 'BEGIN { printf "%.2f ", (b - a) * 100 / s }'
    done
    echo
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
[[ -n $windows_build ]] && e2e_use_wine "$windows_build/wine"
read -r server_alone < <(cpu_shares "$idle_seconds" "$server_pid")

# Bare Windows clients, each of one API, telling the board of each click by a command of its own.
if [[ -n $windows_build ]]; then
    for client in directsound:D wasapi:B; do
        (cd "$E2E_WORK" && env -u LC_ALL LANG=C.UTF-8 timeout 60 wine "$windows_build/win32_click_client.exe" \
            "${client%:*}" "$port" "${client#*:}" </dev/null >>"$E2E_DIR/clients.out" 2>&1) \
            || e2e_fail "the bare ${client%:*} client failed: $(tail -n 3 "$E2E_DIR/clients.out")"
        series+=("bare-${client%:*}=${client#*:}")
    done
fi

e2e_write_settings 127.0.0.1 "$port" 80

# press_sends PROGRAM COMMAND: starts the program, types COMMAND and presses "Befehl Senden" 20
# times; sets MAIN to its window, which stays open.
press_sends()
{
    e2e_start_program "$1"
    e2e_wait_window "Varnex-NET-IO-TerminalEmulation V1.0" 30
    MAIN=$WINDOW
    e2e_wait_focus "$MAIN"
    e2e_type "$2"
    sleep 1
    for ((i = 0; i < 20; i++)); do
        e2e_click_control "$MAIN" SendButton
        sleep 0.3
    done
}

# press_pairs WINDOW: "Befehl Senden" pressed twice 15 ms apart, 10 times.
press_pairs()
{
    for ((i = 0; i < 10; i++)); do
        e2e_window_geometry "$1"
        e2e_xdotool mousemove $((WIN_X + 220 + 45)) $((WIN_Y + 40 + 10)) click --repeat 2 --delay 15 1 \
            || e2e_fail "could not click twice"
        sleep 0.3
    done
}

press_sends "$E2E_SKARVEL" F
main=$MAIN

read -r program_idle server_busy < <(cpu_shares "$idle_seconds" "$PROGRAM_PID" "$server_pid")
program_memory=$(awk '/^VmRSS:/ { printf "%.1f MiB", $2 / 1024 }' "/proc/$PROGRAM_PID/status")

# Pairs of presses 15 ms apart: the second restarts the click of the first.
e2e_key ctrl+a
e2e_type C
press_pairs "$main"
# After a rest in the background (another program's window active, the pointer on it): N
# pressed 150 ms after the pointer came in, W pressed as it came in.
sink_state() { timeout 5 pactl list short sinks | awk '{ print $NF; exit }'; }
xmessage -geometry +0+0 "another program" >/dev/null 2>&1 &
E2E_PIDS+=($!)
e2e_wait_window xmessage
other=$WINDOW
suspended=0
for text in N W; do
    e2e_xdotool windowactivate --sync "$main" || e2e_fail "could not activate the program's window"
    e2e_key ctrl+a
    e2e_type "$text"
    for ((i = 0; i < wake_presses; i++)); do
        e2e_xdotool windowactivate --sync "$other" mousemove 20 20 || e2e_fail "could not put the program in the background"
        sleep "$rest_seconds"
        [[ $(sink_state) == SUSPENDED ]] && ((++suspended))
        e2e_window_geometry "$main"
        if [[ $text == N ]]; then
            e2e_xdotool mousemove $((WIN_X + 220 + 45)) $((WIN_Y + 40 + 10)) sleep 0.15 click 1 \
                || e2e_fail "could not press"
        else
            e2e_xdotool mousemove $((WIN_X + 220 + 45)) $((WIN_Y + 40 + 10)) click 1 || e2e_fail "could not press"
        fi
        sleep 0.3
    done
done
# In front and untouched, the pointer resting on the title; U pressed 150 ms after it moved on.
e2e_xdotool windowactivate --sync "$main" || e2e_fail "could not activate the program's window"
e2e_key ctrl+a
e2e_type U
for ((i = 0; i < wake_presses; i++)); do
    e2e_window_geometry "$main"
    e2e_xdotool mousemove $((WIN_X + 200)) $((WIN_Y + 15)) || e2e_fail "could not move the pointer"
    sleep "$rest_seconds"
    [[ $(sink_state) == SUSPENDED ]] && ((++suspended))
    e2e_xdotool mousemove $((WIN_X + 220 + 45)) $((WIN_Y + 40 + 10)) sleep 0.15 click 1 || e2e_fail "could not press"
    sleep 0.3
done
series+=("front-untouched-pointer=U")
e2e_close_by_wm "$main"
e2e_wait_program_exit 10

# The Windows program over the other API, beside it: single presses, then pairs (both presses of
# each pair in one row: the first click cut by the second, the second whole).
if [[ -n $windows_build && -x $windows_build/skarvel_directsound.exe ]]; then
    press_sends "$windows_build/skarvel_directsound.exe" G
    e2e_key ctrl+a
    e2e_type H
    press_pairs "$MAIN"
    e2e_close_by_wm "$MAIN"
    e2e_wait_program_exit 10
    series+=("skarvel-directsound=G" "skarvel-directsound-pairs=H")
fi

echo "done F C N W ${series[*]}" >&"$station_in"
while IFS= read -r -t 30 line <&"$station_out"; do
    echo "$line"
done
echo "after resting: the sink was suspended before $suspended of $((3 * wake_presses)) presses"
echo "idle, % of one core over ${idle_seconds} s: skarvel $program_idle (resident: $program_memory);" \
     "sound server $server_busy with skarvel idle, $server_alone without it"
e2e_pass
