#!/usr/bin/env bash
# Builds Skarvel and runs it against the simulated board on 127.0.0.1, in the folder demo/.
# Web addresses the program opens are written to demo/opened-addresses.txt instead of a browser.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build
cmake --build build -j"$(nproc)"

mkdir -p demo/bin
cat > demo/bin/xdg-open <<'REC'
#!/bin/sh
echo "$*" >> "$(dirname "$0")/../opened-addresses.txt"
echo "(demo) would open: $*"
REC
chmod +x demo/bin/xdg-open

coproc SIM { exec ./build/netio-sim --port 0; }
sim_pid=$SIM_PID
trap 'kill "$sim_pid" 2>/dev/null || true' EXIT
read -r -t 10 word port <&"${SIM[0]}"
[ "$word" = port ] || { echo "the simulator did not start" >&2; exit 1; }
printf '127.0.0.1\r\n%s\r\n180\r\n' "$port" > demo/Skarvel.ini
echo "Simulated NET-IO board on 127.0.0.1:$port; demo/Skarvel.ini written."

cd demo
env -u XDG_CURRENT_DESKTOP PATH="$PWD/bin:$PATH" BROWSER="$PWD/bin/xdg-open" ../build/skarvel
