#!/usr/bin/env bash
# The main window against boards that misbehave, the output read as a user copies it (a board
# that drops the connection: lost_link.sh):
#  2. a reply split into two segments shows its first part only;
#  3. a reply that comes late, but within the wait, shows whole;
#  4. a reply longer than the buffer shows its first 500 bytes.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_setup faults "$@"
command -v xclip >/dev/null || { echo "missing tool: xclip (scripts/install-deps.sh)" >&2; exit 1; }
e2e_start_x
e2e_start_wm

# A fresh program against a fresh simulator with the given options.
restart()
{
    if [[ -n $PROGRAM_PID ]] && e2e_alive "$PROGRAM_PID"; then
        e2e_close_by_wm "$MAIN"
        e2e_wait_program_exit 10
        e2e_expect_exit_code_0
    fi
    [[ -n $SIM_PID ]] && { kill "$SIM_PID"; wait "$SIM_PID" 2>/dev/null || true; e2e_forget "$SIM_PID"; }
    e2e_start_sim "$@"
    e2e_write_settings 127.0.0.1 "$SIM_PORT" 8080
    e2e_start_program
    e2e_wait_window "Varnex-NET-IO-TerminalEmulation V1.0"
    MAIN=$WINDOW
    e2e_wait_record connect 1
    e2e_wait_focus "$MAIN"
}

# --- 2. A split reply -----------------------------------------------------------------------------
# Only what the first receive returns shows; the rest is read by a later receive (an exchange's or
# an idle message's, whichever comes first).
restart --split 400
e2e_send "$MAIN" F
e2e_wait_output "$MAIN" $'^>F\n'
first=${E2E_SHOWN#>F$'\n'}
rest=F:020103
rest=${rest#"$first"}
[[ -n $first && -n $rest && F:020103 == "$first$rest" ]] || e2e_fail "the split reply shows as '$first'"
e2e_log "split: '$first' shown of F:020103"

# --- 3. A late reply within the wait --------------------------------------------------------------
restart --delay 600
e2e_send "$MAIN" F
e2e_wait_output "$MAIN" $'^>F\nF:020103$'

# --- 4. A reply longer than the buffer ------------------------------------------------------------
restart --long-replies
e2e_send "$MAIN" F
e2e_wait_output "$MAIN" $'^>F\nF:020103-+$'
long=${E2E_SHOWN#>F$'\n'}
((${#long} == 500)) || e2e_fail "the long reply shows ${#long} characters, not the buffer's 500"

e2e_close_by_wm "$MAIN"
e2e_wait_program_exit 10
e2e_expect_exit_code_0
e2e_expect_clean_stream
e2e_pass
