#!/usr/bin/env bash
# The Windows program runs from its file alone: every DLL it imports comes with Windows itself
# (DirectSound is loaded only when it runs, and may be missing).
# Usage: windows_imports.sh OBJDUMP SKARVEL.EXE
set -euo pipefail
[[ $# -eq 2 ]] || { echo "usage: $0 OBJDUMP SKARVEL.EXE" >&2; exit 2; }
system=" advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll user32.dll winmm.dll ws2_32.dll "
imports=$("$1" -p "$2" | awk '/DLL Name:/ { print tolower($3) }')
[[ -n $imports ]] || { echo "FAIL: no imports read from $2" >&2; exit 1; }
status=0
for dll in $imports; do
    [[ $system == *" $dll "* ]] || { echo "FAIL: $2 needs $dll beside it" >&2; status=1; }
done
echo "imports:" $imports
exit "$status"
