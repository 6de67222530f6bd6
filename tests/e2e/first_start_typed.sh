#!/usr/bin/env bash
# First start with answers of the user's own: each preset replaced from the keyboard, the file
# holding exactly what was typed (the port with its leading blank), and the program reaching
# a simulator with those answers and opening the typed HTTP port. Runs in its own network
# namespace with only loopback up, so a wrong address can reach nothing outside.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_isolate_network "$@"
e2e_setup first_start_typed "$@"
e2e_loopback_up

e2e_start_x
e2e_start_wm
# A fresh namespace has every port free, so the simulator can take the one typed below.
e2e_start_sim --port 64400
[[ $SIM_PORT == 64400 ]] || e2e_fail "simulator on port $SIM_PORT, not 64400"
e2e_start_program

answers=("127.0.0.1" " 64400" "8080")
seen=()
for answer in "${answers[@]}"; do
    e2e_wait_window "Skarvel: Meldung" 10 "${seen[@]}"
    seen+=("$WINDOW")
    e2e_wait_focus "$WINDOW"
    e2e_key ctrl+a
    e2e_type "$answer"
    e2e_key Return
done

e2e_wait_window "Varnex-NET-IO-TerminalEmulation V1.0" 10
main=$WINDOW
settings=$E2E_WORK/Skarvel.ini
[[ -f $settings ]] || e2e_fail "Skarvel.ini not written"
expected=$(printf '127.0.0.1\r\n 64400\r\n8080\r\n' | od -An -c)
actual=$(od -An -c "$settings")
[[ $actual == "$expected" ]] || e2e_fail "Skarvel.ini holds:$actual"
e2e_wait_record connect 1 5

# The typed HTTP port is the one the board's web page is opened on.
e2e_wait_focus "$main"
e2e_click_control "$main" BoardWebButton
e2e_wait_program_exit 5
e2e_expect_exit_code_0
e2e_wait_record close 1 5
for ((i = 0; i < 50; i++)); do [[ -s $WEB_CALLS ]] && break; sleep 0.1; done
sleep 0.3
[[ $(cat "$WEB_CALLS" 2>/dev/null) == "http://127.0.0.1:8080" ]] \
    || e2e_fail "browser opener got '$(cat "$WEB_CALLS" 2>/dev/null)', expected 'http://127.0.0.1:8080' once"
e2e_pass
