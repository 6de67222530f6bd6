#!/usr/bin/env bash
# The Win32 front end's own windows tested from inside (windows_desktop_test.exe) under Wine, on a
# display of their own (Xvfb, openbox), with a wineserver of their own in a network namespace of
# their own, as every Wine run.
# Usage: wine_desktop.sh DESKTOP_TEST.EXE WINE_PREFIX
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_isolate_network "$@"
[[ $# -eq 2 ]] || { echo "usage: $0 DESKTOP_TEST.EXE WINE_PREFIX" >&2; exit 2; }
# The test stands in for both programs the helpers know: it needs no simulator.
e2e_setup wine-desktop "$1" "$1"
e2e_loopback_up
e2e_start_x
e2e_start_wm
e2e_use_wine "$2"

# run_test: the test program's cases, its report printed; fails the scenario when one fails.
run_test()
{
    local status=0
    (cd "$E2E_WORK" && env -u LC_ALL LANG=C.UTF-8 timeout 120 wine "$E2E_SKARVEL" </dev/null \
        >"$E2E_DIR/test.out" 2>&1) || status=$?
    grep -av '^ALSA lib' "$E2E_DIR/test.out" | tr -d '\r'
    ((status == 0)) || e2e_fail "windows_desktop_test.exe ended with $status"
}

run_test
e2e_pass
