#!/usr/bin/env bash
# The README's demo as a newcomer runs it, on a display of its own: scripts/demo.sh builds what it
# needs, starts the simulated board and Skarvel against it; "C" typed and sent is answered in the
# window, and closing the window ends the demo with 0, its board stopped.
# Usage: demo.sh SKARVEL NETIO_SIM SOURCE_DIR (the demo builds and runs its own from SOURCE_DIR/build)
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_isolate_network "$@"
source_dir=$(realpath "$3")
e2e_setup demo "$1" "$2"
e2e_loopback_up
command -v xclip >/dev/null || { echo "missing tool: xclip (scripts/install-deps.sh)" >&2; exit 1; }
e2e_start_x
e2e_start_wm

# Building from scratch takes minutes; after the suite's own build, seconds.
(cd "$source_dir" && exec env -u QT_QPA_PLATFORM timeout -k 5 600 bash scripts/demo.sh) \
    >"$E2E_DIR/skarvel-demo.out" 2>&1 </dev/null &
PROGRAM_PID=$!
E2E_PIDS+=($PROGRAM_PID)
e2e_wait_window "Varnex-NET-IO-TerminalEmulation V1.0" 600
main=$WINDOW
e2e_wait_focus "$main"
board_port=$(sed -n 2p "$source_dir/demo/Skarvel.ini" | tr -d '\r')

e2e_type C
e2e_click_control "$main" SendButton
e2e_wait_output "$main" $'^>C\nC:[0-9A-F]{6}$' 5   # >C and the board's time

e2e_close_by_wm "$main"
e2e_wait_program_exit 15
e2e_expect_exit_code_0
# Soon nothing listens on the board's port any more: the demo stopped its board.
deadline=$(($(e2e_now_ms) + 5000))
while (exec 3<>"/dev/tcp/127.0.0.1/$board_port") 2>/dev/null; do
    (($(e2e_now_ms) < deadline)) || e2e_fail "the simulated board still answers on port $board_port 5 s after the demo ended"
    sleep 0.1
done
e2e_log "answered: $(tr '\n' ' ' <<<"$E2E_SHOWN")"
e2e_pass
