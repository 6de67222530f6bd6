#!/usr/bin/env bash
# The main window against the simulator: a command typed and sent with the button reaches the
# board, Up and Down in the field recall the commands sent, the idle message goes out every
# second, and closing through the window manager ends the program cleanly with the connection
# closed.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_setup window "$@"
command -v xclip >/dev/null || { echo "missing tool: xclip (scripts/install-deps.sh)" >&2; exit 1; }

e2e_start_main_window 8080
main=$MAIN
e2e_window_geometry "$main"
[[ $WIN_W == 420 && $WIN_H == 370 ]] || e2e_fail "main window client is ${WIN_W}x$WIN_H, expected 420x370"
e2e_wait_focus "$main"

# The focus starts in CommandField, so typing goes there.
e2e_type F
e2e_click_control "$main" SendButton
e2e_wait_record "cmd F" 1 5

# Up and Down in the field walk the commands sent with the button, and come back to the text begun.
e2e_send "$main" C
e2e_wait_record "cmd C" 1 5
e2e_expect_history_walk "$main"

# Idle messages, measured on the simulator's clock from the connection.
e2e_wait_record "cmd x" 2 5
connected=$(e2e_record_times connect | head -n 1)
idle_in_3s=$(e2e_record_times "cmd x" | awk -v t="$connected" '$1 - t <= 3000' | wc -l)
((idle_in_3s >= 2)) || e2e_fail "only $idle_in_3s idle messages within 3 s of connecting"
(($(e2e_record_count connect) == 1)) || e2e_fail "more than one connection"

e2e_close_by_wm "$main"
e2e_wait_program_exit 10
e2e_expect_exit_code_0
e2e_wait_record close 1 5
(($(e2e_record_count "cmd F") == 1)) || e2e_fail "F was sent $(e2e_record_count "cmd F") times"
e2e_expect_clean_stream
[[ ! -e $WEB_CALLS ]] || e2e_fail "a browser was asked for: $(cat "$WEB_CALLS")"
e2e_log "idle messages within 3 s of connecting: $idle_in_3s"
e2e_pass
