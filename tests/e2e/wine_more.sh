#!/usr/bin/env bash
# The Windows program under Wine where a user would be hurt: the board drops the connection while
# polling, after which the run goes on with empty lines and a command sent shows an empty reply;
# Up and Down in the command field walk the commands sent; and the output is saved through the
# output's context menu and the common file dialog. One desktop and one wineserver in a network
# namespace of their own (nothing but loopback), against the Linux simulator.
# Usage: wine_more.sh SKARVEL.EXE NETIO_SIM WINE_PREFIX
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

# What a copy puts on the clipboard. Wine's copy may carry a NUL and stray bytes after the text;
# a bar ends it, so that a last empty line survives the shell.
copied()
{
    sleep 0.3
    timeout 5 xclip -o -selection clipboard 2>/dev/null | head -z -n 1 | tr -d '\r\0' || true
    printf '|'
}

# The output's whole text, as a user copies it: clicked into, Ctrl+A, Ctrl+C.
output_text()
{
    e2e_click "$main" 10 70 400 200
    e2e_key ctrl+a ctrl+c
    copied
}

# The command field's text: selected from its end to its start, copied.
field_text()
{
    e2e_key End shift+Home ctrl+c
    local text
    text=$(copied)
    printf '%s' "${text%|}"
}

# wait_output PATTERN: until the output's text (ended by a bar) matches the extended regex.
wait_output()
{
    local deadline=$(($(e2e_now_ms) + 8000))
    while :; do
        SHOWN=$(output_text)
        [[ $SHOWN =~ $1 ]] && return 0
        (($(e2e_now_ms) < deadline)) || e2e_fail "the output shows '$SHOWN', not /$1/"
        sleep 0.3
    done
}

# send COMMAND: typed over the field's text and sent with SendButton.
send()
{
    e2e_click "$main" 10 40 200 20
    e2e_key End shift+Home
    e2e_type "$1"
    e2e_click "$main" 220 40 90 20
}

e2e_start_sim --drop-after 5
e2e_write_settings 127.0.0.1 "$SIM_PORT" 8080
e2e_start_program
e2e_wait_window "$main_title" 30
main=$WINDOW
e2e_wait_record connect 1
e2e_wait_focus "$main"

# --- The board drops the connection while polling -----------------------------------------------
e2e_click "$main" 10 340 180 20         # PollingToggle
e2e_wait_window "Skarvel: Meldung" 5
e2e_wait_focus "$WINDOW"
e2e_key Return
e2e_wait_record close 1 10
sleep 1.5                                # polls on the dropped connection
e2e_click "$main" 10 340 180 20         # released
wait_output 'Beende Polling'
polled=${SHOWN%|}
replies=$(grep -c '^C:' <<<"$polled" || true)
empties=$(grep -c '^$' <<<"$polled" || true)
((replies >= 1)) || e2e_fail "no reply before the drop: '$polled'"
((empties >= 2)) || e2e_fail "no empty lines for the polls after the drop: '$polled'"
send F
wait_output $'^>F\n\\|$'
e2e_alive "$PROGRAM_PID" || e2e_fail "the program ended after the board went"
e2e_log "dropped: $replies replies, then $empties empty lines; a command after it shows an empty reply"

# --- Up and Down in the command field -----------------------------------------------------------
# F went out above; C goes into the empty connection all the same.
send C
wait_output $'^>C\n\\|$'
e2e_click "$main" 10 40 200 20
e2e_key End
e2e_type Z
walked=
for key in Up Up Up Down Down; do
    e2e_key "$key"
    walked+="$(field_text) "
done
[[ $walked == "C F F C CZ " ]] || e2e_fail "Up, Up, Up, Down, Down showed: $walked"
e2e_log "the command field walked: $walked"

e2e_close_by_wm "$main"
e2e_wait_program_exit 10
e2e_expect_exit_code_0
e2e_pass
