#!/usr/bin/env bash
# The board goes away while Skarvel polls it, then with its connects hanging, then with its name
# no longer found by a name server that never answers (on loopback, in a network namespace of the
# test's own): each time the loss is told at once, the window answers throughout, and the link is
# mended without a click when the board is back (see e2e_expect_lost_link); and the overview
# while the board is away, its rows greyed and its selection kept (see
# e2e_expect_overview_while_lost), its picture left in the folder given, or the test's own.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_isolate_network "$@"
e2e_setup lost_link "$@"
e2e_loopback_up
command -v xclip >/dev/null || { echo "missing tool: xclip (scripts/install-deps.sh)" >&2; exit 1; }
E2E_DNS_TIMEOUT=3 e2e_start_silent_name_server
e2e_set_hosts 127.0.0.1 netio-board.test
e2e_start_x
e2e_start_wm
e2e_start_sim --away-for 2500
e2e_write_settings netio-board.test "$SIM_PORT" 80
e2e_start_program
e2e_wait_window "Varnex-NET-IO-TerminalEmulation V1.0"
main=$WINDOW
e2e_wait_record connect 1
e2e_wait_focus "$main"
e2e_expect_lost_link "$main" 2500
e2e_log "$LOST_SUMMARY"
pictures=${3:-$E2E_DIR}
mkdir -p "$pictures"
e2e_expect_overview_while_lost "$main" "$pictures/overview-lost-linux.png"
e2e_log "$LOST_VIEW_SUMMARY"
e2e_close_by_wm "$main"
e2e_wait_program_exit 10
e2e_expect_exit_code_0
e2e_pass
