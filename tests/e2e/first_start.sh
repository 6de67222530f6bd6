#!/usr/bin/env bash
# First start without Skarvel.ini: the three questions answered with their presets, the file
# written from them, the connect window while the preset board address does not answer, and
# the connect limit running out into a message box that ends the program. Runs inside its own
# network namespace, so the preset address cannot be reached.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_isolate_network "$@"
e2e_setup first_start "$@"

# The preset address is routed into this namespace's loopback, where no one has it: its packets
# are dropped there, so that a connect to it hangs instead of failing at once. Nothing leaves.
e2e_loopback_up
ip route add 192.168.0.90/32 dev lo || e2e_fail "cannot route the preset address into loopback"

e2e_start_x
e2e_start_wm
e2e_start_program

# Three dialogs with one title, each a new window; Return takes the preset.
seen=()
for question in host telnet-port http-port; do
    e2e_wait_window "Skarvel: Meldung" 10 "${seen[@]}"
    seen+=("$WINDOW")
    e2e_wait_focus "$WINDOW"
    e2e_log "$question asked in window $WINDOW"
    e2e_key Return
done

# The connect window stands while the connect to the preset address hangs, until the
# program's connect limit runs out: then the problem message comes, and no main window.
e2e_wait_window "Varnex-NET-IO: Meldung" 10 "${seen[@]}"
connect=$WINDOW
connect_shown=$(e2e_now_ms)
e2e_expect_connect_window_lines "$connect"
deadline=$((connect_shown + 30000))
while [[ -z $(e2e_windows_titled "Varnex-NET-IO: Problem") ]]; do
    [[ -z $(e2e_windows_titled "Varnex-NET-IO-TerminalEmulation V1.0") ]] || e2e_fail "main window opened without a board"
    e2e_alive "$PROGRAM_PID" || e2e_fail "program ended before the problem message"
    (($(e2e_now_ms) < deadline)) || e2e_fail "no problem message within 30 s of the connect window"
    sleep 0.1
done
waited=$(($(e2e_now_ms) - connect_shown))
((waited >= 18000 && waited <= 25000)) || e2e_fail "the connect gave up after $waited ms, expected about 21 s"
[[ -z $(e2e_windows_titled "Varnex-NET-IO: Meldung") ]] || e2e_fail "the connect window stayed with the message"
e2e_wait_window "Varnex-NET-IO: Problem" 1
problem=$WINDOW
e2e_log "connect window $connect for $waited ms; problem message in window $problem"

settings=$E2E_WORK/Skarvel.ini
[[ -f $settings ]] || e2e_fail "Skarvel.ini not written"
expected=$(printf '192.168.0.90\r\n64400\r\n180\r\n' | od -An -c)
actual=$(od -An -c "$settings")
[[ $actual == "$expected" ]] || e2e_fail "Skarvel.ini holds:$actual"
size=$(stat -c %s "$settings")
((size == 26)) || e2e_fail "Skarvel.ini has $size bytes, expected 26"

e2e_wait_focus "$problem"
e2e_key Return
e2e_wait_program_exit 10
e2e_expect_exit_code_0
[[ ! -e $WEB_CALLS ]] || e2e_fail "a browser was asked for: $(cat "$WEB_CALLS")"
e2e_pass
