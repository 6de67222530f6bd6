#!/usr/bin/env bash
# Runs the Windows output's benchmark (win32_output_bench.exe) under Wine on a display of its own
# (Xvfb, openbox), with the Windows build's Wine prefix, in a network namespace of its own as every
# Wine run. Run by hand:
#   bash bench/wine_output_bench.sh build-win
set -euo pipefail
source "$(dirname "$0")/../tests/e2e/lib.sh"
e2e_isolate_network "$@"
[[ $# -eq 1 ]] || { echo "usage: $0 WINDOWS_BUILD_FOLDER" >&2; exit 2; }
bench=$1/win32_output_bench.exe
# The benchmark stands in for both programs the end-to-end helpers know: it needs no simulator.
e2e_setup wine-output-bench "$bench" "$bench"
e2e_start_x
e2e_start_wm
e2e_use_wine "$1/wine"
(cd "$E2E_WORK" && env -u LC_ALL LANG=C.UTF-8 timeout 900 wine "$E2E_SKARVEL" </dev/null >"$E2E_DIR/bench.out" 2>&1) \
    || e2e_fail "the benchmark failed: $(tail -n 5 "$E2E_DIR/bench.out")"
grep -v '^ALSA lib' "$E2E_DIR/bench.out" | tr -d '\r'
e2e_pass
