#!/usr/bin/env bash
# Runs a program of the Windows build under Wine: the cross toolchain's emulator.
#   wine-run.sh PREFIX [PROGRAM.exe [ARGUMENTS...]]
# Without a program it only prepares the Wine prefix PREFIX, which the build does once.
#
# Wine opens every socket inside the wineserver, so a Windows program sees the wineserver's network.
# Each run therefore gets a network namespace of its own where the machine allows one (loopback up,
# nothing else), ends a wineserver of PREFIX that may run elsewhere and starts its own inside.
# Runs with the same PREFIX must not overlap; the tests take a lock for that.
#
# NETIO_SIM_PROGRAM=<the Linux netio-sim>: the simulator's control service runs in the same
# namespace, and the program finds its port in NETIO_SIM_CONTROL. Such a run needs the namespace:
# without one it ends with 77 (skipped).
# WINEDEBUG is -all unless set: a DLL that cannot be found, for instance, shows only without it.
# SKARVEL_WINE_LIMIT: seconds the program may run (default 150).
#
# The program's output goes to a file that is printed once it has ended, with its CR LF line ends
# made LF: Wine's helper processes can keep an output pipe open after the program has gone.
set -uo pipefail

[[ $# -ge 1 ]] || { echo "usage: $0 PREFIX [PROGRAM.exe [ARGUMENTS...]]" >&2; exit 2; }
prefix=$(realpath -m "$1")
shift

export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
# No Mono, no Gecko, and no menu entries written into the user's home.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
# Wine takes its ANSI code page from the locale: this one gives Windows-1252.
export LANG=C.UTF-8
unset LC_ALL LC_CTYPE LC_MESSAGES DISPLAY WAYLAND_DISPLAY

ready=$prefix/.skarvel-ready
[[ $# -eq 0 && -f $ready ]] && exit 0

if [[ ${SKARVEL_WINE_NETNS:-} != 1 ]] && unshare --net true 2>/dev/null; then
    SKARVEL_WINE_NETNS=1 exec unshare --net -- bash "$0" "$prefix" "$@"
fi
if [[ ${SKARVEL_WINE_NETNS:-} == 1 ]]; then
    ip link set lo up || { echo "wine-run.sh: cannot bring loopback up" >&2; exit 1; }
elif [[ -n ${NETIO_SIM_PROGRAM:-} ]]; then
    echo "SKIP: 'unshare --net' is refused here; this program needs a network of its own" >&2
    exit 77
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/skarvel-wine.XXXXXX")
sim_pid=
cleanup()
{
    local status=$?
    trap - EXIT TERM INT
    timeout 30 wineserver -k >/dev/null 2>&1
    timeout 30 wineserver -w >/dev/null 2>&1
    if [[ -n $sim_pid ]]; then
        kill "$sim_pid" 2>/dev/null
        wait "$sim_pid" 2>/dev/null
    fi
    rm -rf "$work"
    exit "$status"
}
trap cleanup EXIT
trap 'exit 143' TERM
trap 'exit 130' INT

# A wineserver of this prefix started elsewhere would carry the program's sockets into its network.
timeout 30 wineserver -k >/dev/null 2>&1
timeout 30 wineserver -w >/dev/null 2>&1

if [[ ! -f $ready ]]; then
    mkdir -p "$prefix"
    if ! timeout -k 5 240 wine wineboot --init >"$work/boot.log" 2>&1 </dev/null; then
        echo "wine-run.sh: cannot prepare the Wine prefix $prefix:" >&2
        sed 's/\r$//' "$work/boot.log" >&2
        exit 1
    fi
    timeout 60 wineserver -w >/dev/null 2>&1
    touch "$ready"
fi
[[ $# -eq 0 ]] && exit 0

if ! timeout 30 wineserver -p </dev/null >/dev/null 2>&1; then
    echo "wine-run.sh: cannot start a wineserver" >&2
    exit 1
fi

if [[ -n ${NETIO_SIM_PROGRAM:-} ]]; then
    "$NETIO_SIM_PROGRAM" --control --port 0 </dev/null >"$work/sim.out" 2>&1 &
    sim_pid=$!
    for _ in $(seq 200); do
        read -r word _ port <"$work/sim.out" 2>/dev/null
        [[ ${word:-} == control && -n ${port:-} ]] && break
        kill -0 "$sim_pid" 2>/dev/null || break
        sleep 0.05
    done
    if [[ ${word:-} != control || -z ${port:-} ]]; then
        echo "wine-run.sh: the simulator's control service did not start:" >&2
        cat "$work/sim.out" >&2
        exit 1
    fi
    export NETIO_SIM_CONTROL=$port
fi

limit=${SKARVEL_WINE_LIMIT:-150}
timeout -k 5 "$limit" wine "$@" </dev/null >"$work/output" 2>&1
status=$?
sed 's/\r$//' "$work/output"
case $status in
    124) echo "wine-run.sh: $1 did not end within $limit s" >&2 ;;
    53) echo "wine-run.sh: exit code 53: a DLL may be missing; rerun with WINEDEBUG=err+module" >&2 ;;
esac
exit "$status"
