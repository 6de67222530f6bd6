#!/usr/bin/env bash
# The Windows program under Wine where a user would be hurt: the board goes away while polling,
# then with its connects hanging, then with its name not found by a name server that never
# answers, and each time the loss is told, the window answers and the link is mended (see
# e2e_expect_lost_link); Up and Down in the command field walk the commands sent; and the output
# is saved through the output's context menu and the common file dialog, UTF-8 with CR LF, or a
# folder that cannot be written gives the program's message. One desktop and one wineserver in a
# network namespace of their own (nothing but loopback), against the Linux simulator.
# Usage: wine_more.sh SKARVEL.EXE NETIO_SIM WINE_PREFIX [PICTURES]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_isolate_network "$@"
[[ $# -ge 3 ]] || { echo "usage: $0 SKARVEL.EXE NETIO_SIM WINE_PREFIX" >&2; exit 2; }
prefix=$3
e2e_setup wine_more "$1" "$2"
e2e_loopback_up
command -v xclip >/dev/null || { echo "missing tool: xclip (scripts/install-deps.sh)" >&2; exit 1; }
main_title="Varnex-NET-IO-TerminalEmulation V1.0"
e2e_start_x
e2e_start_wm
e2e_use_wine "$prefix"

E2E_DNS_TIMEOUT=3 e2e_start_silent_name_server
e2e_set_hosts 127.0.0.1 netio-board.test
e2e_start_sim --away-for 2500
e2e_write_settings netio-board.test "$SIM_PORT" 8080
e2e_start_program
e2e_wait_window "$main_title" 30
main=$WINDOW
e2e_wait_record connect 1
e2e_wait_focus "$main"

# --- The board goes away and comes back ---------------------------------------------------------
e2e_expect_lost_link "$main" 2500
e2e_log "$LOST_SUMMARY"
e2e_expect_overview_while_lost "$main" "${4:-$E2E_DIR}/overview-lost-windows.png"
e2e_log "$LOST_VIEW_SUMMARY"

# --- Up and Down in the command field -----------------------------------------------------------
e2e_send "$main" F
e2e_wait_output "$main" $'^>F\nF:020103$'
e2e_send "$main" C
e2e_wait_output "$main" $'^>C\nC:'
e2e_expect_history_walk "$main"

# --- The output saved through its context menu and the common file dialog -----------------------
# save_to PATH: the output's menu, "Ausgabe speichern …" before the program's three entries, the
# path typed into the dialog.
save_to()
{
    e2e_output_menu "$main" 4
    e2e_wait_window "Ausgabe speichern" 10 "$main"
    e2e_wait_focus "$WINDOW"
    e2e_key ctrl+a
    e2e_type "$1"
    e2e_key Return
}
e2e_click_control "$main" ReferenceButton   # 69 lines, some of them beyond ASCII
saved=$E2E_WORK/Ausgabe.txt
save_to "Z:${saved//\//\\}"
deadline=$(($(e2e_now_ms) + 5000))
until [[ -f $saved ]]; do
    (($(e2e_now_ms) < deadline)) || e2e_fail "no file saved as $saved"
    sleep 0.1
done
[[ $(head -c 55 "$saved" | od -An -tx1) == "$(printf 'Befehle f\xc3\xbcr das Varnex-NET-IO-Board\r\n\r\nBefehlsaufbau\r\n' | od -An -tx1)" ]] \
    || e2e_fail "the saved file begins:$(head -c 55 "$saved" | od -An -c)"
(($(grep -c $'\r$' "$saved") == 69 && $(wc -l <"$saved") == 69)) \
    || e2e_fail "the saved file has $(wc -l <"$saved") lines, $(grep -c $'\r$' "$saved") of them ended by CR LF"
[[ $(tail -c 6 "$saved" | od -An -tx1) == "$(printf '\tK:1\r\n' | od -An -tx1)" ]] \
    || e2e_fail "the saved file ends: $(tail -c 20 "$saved" | od -An -c)"
[[ $(ls -A "$E2E_WORK" | grep -c Ausgabe) == 1 ]] || e2e_fail "more than the file was left: $(ls -A "$E2E_WORK")"
# A folder nobody may write in (mounted read-only in this test's own mount namespace): the
# program's message, and no file.
sealed=$E2E_DIR/sealed
mkdir -p "$sealed"
mount --bind "$sealed" "$sealed" && mount -o remount,bind,ro "$sealed" || e2e_fail "cannot make a read-only folder"
save_to "Z:${sealed//\//\\}\\Ausgabe.txt"
e2e_wait_window "Skarvel: Problem" 10 "$main"
e2e_wait_focus "$WINDOW"
e2e_key Return
[[ -z $(ls -A "$sealed") ]] || e2e_fail "something was written in the read-only folder: $(ls -A "$sealed")"
e2e_log "saved: the reference, $(stat -c %s "$saved") bytes in 69 lines ended by CR LF"

# --- The overview, and the running log kept to the end of a killed program -----------------------
e2e_expect_overview "$main" "${4:-$E2E_DIR}/overview-windows.png"
e2e_log "$VIEW_SUMMARY"
log=$E2E_DIR/Mitschnitt.txt
e2e_expect_running_log "$main" "$log" 3 "Z:${log//\//\\}" \
    e2e_expect_output_while_polling "$main" "${4:-$E2E_DIR}" output-windows
e2e_log "$LOG_SUMMARY"
e2e_pass
