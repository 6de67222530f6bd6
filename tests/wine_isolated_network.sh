#!/usr/bin/env bash
# A Windows program run by the emulator has a network of its own: it reaches a simulator in its
# namespace, and cannot reach a port that listens only outside it, even while a wineserver of its
# prefix runs outside (where Wine would otherwise open the program's sockets). Only loopback is
# ever tried: were the isolation to fail, nothing could leave this machine.
# Usage: wine_isolated_network.sh WINE_RUN PREFIX NETIO_SIM CONNECTION_TEST.exe
set -euo pipefail
[[ $# -eq 4 ]] || { echo "usage: $0 WINE_RUN PREFIX NETIO_SIM CONNECTION_TEST.exe" >&2; exit 2; }
wine_run=$1
prefix=$(realpath -m "$2")
sim=$3
program=$4

if ! unshare --net true 2>/dev/null; then
    echo "SKIP: 'unshare --net' is refused here" >&2
    exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/skarvel-isolated.XXXXXX")
sim_pid=
cleanup()
{
    local status=$?
    set +e
    WINEPREFIX=$prefix timeout 30 wineserver -k >/dev/null 2>&1
    if [[ -n $sim_pid ]]; then
        kill "$sim_pid" 2>/dev/null
        wait "$sim_pid" 2>/dev/null
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT

"$sim" --port 0 </dev/null >"$work/sim.out" 2>&1 &
sim_pid=$!
port=
for _ in $(seq 200); do
    read -r word port <"$work/sim.out" 2>/dev/null || true
    [[ ${word:-} == port && -n $port ]] && break
    sleep 0.05
done
[[ ${word:-} == port && -n $port ]] || { echo "the simulator did not start" >&2; cat "$work/sim.out" >&2; exit 1; }
# It answers out here.
timeout 5 bash -c "exec 3<>/dev/tcp/127.0.0.1/$port" || { echo "port $port does not answer outside" >&2; exit 1; }

WINEPREFIX=$prefix timeout 30 wineserver -p </dev/null >/dev/null 2>&1 || { echo "cannot start a wineserver" >&2; exit 1; }

# The simulator inside the namespace is the Linux one, driven over its control service.
output=$(NETIO_SIM_PROGRAM=$sim SKARVEL_ISOLATED_CHILD=127.0.0.1:$port "$wine_run" "$prefix" "$program") || status=$?
echo "$output"
[[ $output == *"inside: reached"* ]] || { echo "FAIL: the Windows program reached nothing inside its namespace" >&2; exit 1; }
[[ ${status:-0} -eq 0 && $output == *"outside: nothing"* ]] || { echo "FAIL: the Windows program reached the outside" >&2; exit 1; }
echo "isolated: a simulator inside was reached; port $port, open outside, was out of reach"
