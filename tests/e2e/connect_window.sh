#!/usr/bin/env bash
# The connecting window, held up by a connect that hangs: its text stands on the screen in its
# five lines, the port line whole. And without a desktop the program says why, on standard
# error, and ends with a failure code instead of an abort.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_setup connect_window "$@"

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
e2e_window_geometry "$connect"
[[ $WIN_W == 250 && $WIN_H == 90 ]] || e2e_fail "connecting window client is ${WIN_W}x$WIN_H, expected 250x90"

# The text's control spans (10, 10) to (240, 80): three lines with ink, an empty line between
# each two. A wrapped first line would make its band twice as tall; a cut port line would
# reach the control's bottom row.
deadline=$(($(e2e_now_ms) + 5000))
until bands=$(python3 "$(dirname "$0")/ink_rows.py" $((WIN_X + 10)) $((WIN_Y + 10)) 230 70) \
        && (($(wc -l <<<"$bands") == 3)); do
    (($(e2e_now_ms) < deadline)) || e2e_fail "the text shows as $(wc -l <<<"$bands") bands of ink, not 3: $bands"
    sleep 0.1
done
read -r first_top first_bottom <<<"$(sed -n 1p <<<"$bands")"
read -r port_top port_bottom <<<"$(sed -n 3p <<<"$bands")"
((port_bottom < 69)) || e2e_fail "the port line reaches the bottom of its control: $bands"
((first_bottom - first_top < 2 * (port_bottom - port_top + 1))) || e2e_fail "the first line wraps: $bands"
e2e_alive "$PROGRAM_PID" || e2e_fail "the program ended while connecting"
e2e_log "ink in rows: $(tr '\n' ',' <<<"$bands")"
e2e_pass
