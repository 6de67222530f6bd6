#!/usr/bin/env bash
# The overview and the running log, as a user meets them: F2 opens the view, full of the
# simulated board's entries, whose table copies as tab-separated lines and whose output row
# switches with Space; then the running log, started from the output's menu, keeps every poll
# of a run with its time, also when the program is killed (see e2e_expect_overview and
# e2e_expect_running_log). Leaves the view's picture in the folder given, or the test's own.
# Usage: overview.sh SKARVEL NETIO_SIM [PICTURES]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
pictures=${3:-}
e2e_setup overview "$1" "$2"
command -v xclip >/dev/null || { echo "missing tool: xclip (scripts/install-deps.sh)" >&2; exit 1; }
pictures=${pictures:-$E2E_DIR}
mkdir -p "$pictures"
e2e_start_main_window 80
main=$MAIN
e2e_wait_focus "$main"
e2e_expect_overview "$main" "$pictures/overview-linux.png"
e2e_log "$VIEW_SUMMARY"
e2e_expect_running_log "$main" "$E2E_DIR/Mitschnitt.txt" 3 "$E2E_DIR/Mitschnitt.txt" \
    e2e_expect_output_while_polling "$main" "$pictures" output-linux
e2e_log "$LOG_SUMMARY"
e2e_pass
