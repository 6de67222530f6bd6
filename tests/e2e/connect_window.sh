#!/usr/bin/env bash
# The connect window, held up by a connect that hangs: its text stands on the screen in its
# five lines, the port line whole; and so it does while the board's name is being looked up, from
# a name server (on loopback, in a network namespace of the test's own) that never answers. And
# without a desktop the program says why, on standard error, and ends with a failure code instead
# of an abort.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_isolate_network "$@"
e2e_setup connect_window "$@"
e2e_loopback_up

status=0
(cd "$E2E_WORK" && exec env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb timeout 10 "$E2E_SKARVEL") \
    >"$E2E_DIR/no-desktop.out" 2>"$E2E_DIR/no-desktop.err" || status=$?
((status != 0 && status < 124)) || e2e_fail "without a display the program ended with status $status"
grep -q "could not connect to display" "$E2E_DIR/no-desktop.err" \
    || e2e_fail "without a display the program said: '$(cat "$E2E_DIR/no-desktop.err")'"
[[ ! -s $E2E_DIR/no-desktop.out ]] || e2e_fail "without a display the program wrote to standard output"
e2e_log "without a display: status $status, '$(head -n 1 "$E2E_DIR/no-desktop.err")'"

e2e_start_x
e2e_start_wm
e2e_start_sim --hang
e2e_write_settings 127.0.0.1 "$SIM_PORT" 80
e2e_start_program
e2e_wait_window "Varnex-NET-IO: Meldung"
connect=$WINDOW
e2e_expect_connect_window_lines "$connect"
e2e_alive "$PROGRAM_PID" || e2e_fail "the program ended while connecting"
kill "$PROGRAM_PID"
e2e_wait_gone "$PROGRAM_PID" 50 || e2e_fail "the program did not end when told to"
wait "$PROGRAM_PID" || true
e2e_forget "$PROGRAM_PID"

# The name lookup blocks the program: the window has to be painted before it starts. The mount
# namespace is the test's own, so the machine's resolver settings stay as they are.
e2e_start_silent_name_server
e2e_write_settings netio-board.test "$SIM_PORT" 80
e2e_start_program
e2e_wait_window "Varnex-NET-IO: Meldung"
e2e_expect_connect_window_lines "$WINDOW"
(($(e2e_dns_query_count) > 0)) || e2e_fail "the program asked the name server nothing: the lookup was not what held it up"
e2e_alive "$PROGRAM_PID" || e2e_fail "the program ended while looking up the board's name"
e2e_pass
