#!/usr/bin/env bash
# BoardWebButton: the board's web page goes to the browser opener as one argument built from
# the settings, the connection is closed and the program ends at once with exit code 0.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_setup board_web "$@"

e2e_start_main_window 8080
main=$MAIN
e2e_wait_focus "$main"

e2e_click_control "$main" BoardWebButton
e2e_wait_program_exit 5
e2e_expect_exit_code_0
e2e_wait_record close 1 5

# The opener runs detached, so its line may come just after the program has ended.
for ((i = 0; i < 50; i++)); do [[ -s $WEB_CALLS ]] && break; sleep 0.1; done
[[ -s $WEB_CALLS ]] || e2e_fail "the browser opener was not called"
sleep 0.3
expected="http://127.0.0.1:8080"
[[ $(cat "$WEB_CALLS") == "$expected" ]] || e2e_fail "browser opener got '$(cat "$WEB_CALLS")', expected '$expected' once"
[[ $(cat "$WEB_ARGC") == 1 ]] || e2e_fail "browser opener got $(cat "$WEB_ARGC") arguments, expected 1"
e2e_expect_clean_stream
e2e_pass
