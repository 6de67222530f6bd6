#!/usr/bin/env bash
# Builds Skarvel and the simulated board and runs Skarvel against the board on 127.0.0.1, in the
# folder demo/, whose Skarvel.ini it writes: line 3 is the port of the board's web page.
# Web addresses the program opens go to the desktop's browser only when the demo runs on a
# terminal and the address is on 127.0.0.1; all others are written to demo/opened-addresses.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: the demo opens a window, but neither DISPLAY nor WAYLAND_DISPLAY is set." >&2
    echo "Run it in a desktop session, or with DISPLAY pointing at an X server such as Xvfb." >&2
    exit 1
fi
bash scripts/install-deps.sh
cmake -S . -B build
cmake --build build -j"$(nproc)" --target skarvel netio-sim

on_terminal=0
[ -t 0 ] && on_terminal=1
# The program finds this opener first on its PATH. It hands an address on to the desktop's own
# opener, with the environment the demo was started in, only where the rule above allows.
mkdir -p demo/bin
{
    echo '#!/usr/bin/env bash'
    echo '# The browser opener while the demo runs; written by scripts/demo.sh.'
    printf 'on_terminal=%q\n' "$on_terminal"
    printf 'real_opener=%q\n' "$(command -v xdg-open || true)"
    # env's options (-u NAME) must come before its assignments.
    unset_names=() assignments=()
    for name in BROWSER XDG_CURRENT_DESKTOP; do
        if [ -n "${!name+set}" ]; then assignments+=("$name=${!name}"); else unset_names+=(-u "$name"); fi
    done
    printf 'desktop_env=(%s)\n' "$(printf '%q ' "${unset_names[@]}" "${assignments[@]}")"
    cat <<'REC'
address=$1
# Only plain addresses of this machine's loopback: no user part, which would send the browser
# elsewhere ("http://127.0.0.1:80@host"), and no backslash, which browsers read as "/".
if [[ $on_terminal == 1 && -n $real_opener && $address =~ ^http://127\.0\.0\.1(:[0-9]{1,5})?(/[^@\\]*)?$ ]]; then
    exec env "${desktop_env[@]}" "$real_opener" "$address"
fi
echo "$address" >> "$(dirname "$0")/../opened-addresses.txt"
echo "(demo) would open: $address"
REC
} > demo/bin/xdg-open
chmod +x demo/bin/xdg-open

coproc SIM { exec ./build/netio-sim --port 0 --http-port 0; }
sim_pid=$SIM_PID
trap 'kill "$sim_pid" 2>/dev/null || true' EXIT
read -r -t 10 word port <&"${SIM[0]}" && [ "$word" = port ] || { echo "the simulator did not start" >&2; exit 1; }
read -r -t 10 word http_port <&"${SIM[0]}" && [ "$word" = http-port ] \
    || { echo "the simulator did not start its web page" >&2; exit 1; }
printf '127.0.0.1\r\n%s\r\n%s\r\n' "$port" "$http_port" > demo/Skarvel.ini
echo "Simulated NET-IO board on 127.0.0.1:$port, its web page at http://127.0.0.1:$http_port/;"
echo "demo/Skarvel.ini written."

(cd demo && env -u XDG_CURRENT_DESKTOP PATH="$PWD/bin:$PATH" BROWSER="$PWD/bin/xdg-open" ../build/skarvel)
if [ "$on_terminal" = 1 ]; then
    # "Varnex-Board via HTTP" ends the program as the browser opens the page: keep the board up.
    read -r -p "Skarvel has ended; the board's web page stays at http://127.0.0.1:$http_port/ until you press Enter. " _ || true
fi
