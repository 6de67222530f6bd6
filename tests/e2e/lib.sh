# Shared helpers for the end-to-end scenarios: each scenario drives the real program on its own
# Xvfb display with openbox as window manager, through xdotool, against its own board simulator.
# Source it from a scenario script run as: bash SCENARIO.sh <skarvel> <netio-sim>
# E2E_KEEP=1 keeps a passing scenario's temp folder too (it is always kept on failure).

export LC_ALL=C
E2E_TOOLS=$(realpath "$(dirname "${BASH_SOURCE[0]}")")   # the helper scripts beside this file

E2E_SKIP=77                 # ctest's SKIP_RETURN_CODE for these tests
E2E_WAIT=10                 # default bound, in seconds, for anything to show up or end
E2E_PIDS=()                 # everything we started, in start order; ended in reverse
E2E_PASSED=0
E2E_EXIT_CODE=
PROGRAM_PID=
WINDOW=
SIM_PID=
SIM_PORT=
SIM_RECORD=

e2e_log() { printf '[%s] %s\n' "$E2E_NAME" "$*"; }

e2e_now_ms()
{
    local us=${EPOCHREALTIME//[.,]/}
    echo $((us / 1000))
}

# e2e_setup NAME SKARVEL NETIO_SIM: temp folders, the cleanup trap, the environment, the layout.
e2e_setup()
{
    E2E_NAME=$1
    E2E_SKARVEL=$(realpath "$2")
    E2E_SIM=$(realpath "$3")
    [[ -x $E2E_SKARVEL && -x $E2E_SIM ]] || { echo "usage: $0 <skarvel> <netio-sim>" >&2; exit 2; }
    local tool
    for tool in Xvfb openbox xdotool xwininfo xprop timeout; do
        command -v "$tool" >/dev/null || { echo "missing tool: $tool (scripts/install-deps.sh)" >&2; exit 1; }
    done
    E2E_DIR=$(mktemp -d "${TMPDIR:-/tmp}/skarvel-e2e-$E2E_NAME.XXXXXX")
    E2E_WORK=$E2E_DIR/work
    mkdir -p "$E2E_WORK" "$E2E_DIR/bin" "$E2E_DIR/config"
    mkdir -m 700 "$E2E_DIR/runtime"
    trap e2e_cleanup EXIT
    trap 'exit 143' TERM
    trap 'exit 130' INT
    export XDG_RUNTIME_DIR=$E2E_DIR/runtime
    export XDG_CONFIG_HOME=$E2E_DIR/config
    # No sound server is needed: the click then simply stays silent.
    export PULSE_SERVER=unix:$E2E_DIR/no-sound-server
    unset XDG_CURRENT_DESKTOP WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS SESSION_MANAGER
    e2e_make_web_recorder
    e2e_read_layout
}

# Ends what we started (newest first), by pid: a polite TERM, then KILL after a bounded wait.
# Wine's processes end with their wineserver, which is ours alone.
e2e_cleanup()
{
    local status=$? i pid
    trap - EXIT TERM INT
    set +e      # a killed child's wait status must not end the cleanup early
    if [[ -n ${E2E_WINE_PREFIX:-} ]]; then
        WINEPREFIX=$E2E_WINE_PREFIX timeout 30 wineserver -k >/dev/null 2>&1
        WINEPREFIX=$E2E_WINE_PREFIX timeout 30 wineserver -w >/dev/null 2>&1
    fi
    for ((i = ${#E2E_PIDS[@]} - 1; i >= 0; i--)); do
        pid=${E2E_PIDS[i]}
        e2e_alive "$pid" || { wait "$pid" 2>/dev/null; continue; }
        kill -TERM "$pid" 2>/dev/null
        e2e_wait_gone "$pid" 30 || kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    if [[ $E2E_PASSED == 1 && ${E2E_KEEP:-} != 1 ]]; then
        rm -rf "$E2E_DIR"
    elif [[ -n ${E2E_DIR:-} ]]; then
        echo "[$E2E_NAME] files kept in $E2E_DIR" >&2
    fi
    exit "$status"
}

e2e_pass()
{
    E2E_PASSED=1
    e2e_log "PASS"
    exit 0
}

# Prints what helps to see why, keeps the folder, and fails the test.
e2e_fail()
{
    echo "[$E2E_NAME] FAIL: $*" >&2
    if [[ -n ${DISPLAY:-} ]]; then
        echo "--- windows:" >&2
        local id
        for id in $(timeout 5 xdotool search --onlyvisible --name '.' 2>/dev/null); do
            echo "  $id $(timeout 5 xdotool getwindowname "$id" 2>/dev/null)" >&2
        done
        command -v import >/dev/null && timeout 10 import -window root "$E2E_DIR/failure.png" 2>/dev/null \
            && echo "--- screen: $E2E_DIR/failure.png" >&2
    fi
    [[ -n $SIM_RECORD && -f $SIM_RECORD ]] && { echo "--- simulator record (end):" >&2; tail -n 30 "$SIM_RECORD" >&2; }
    local out
    for out in "$E2E_DIR"/skarvel*.out; do
        [[ -s $out ]] && { echo "--- program output ($(basename "$out")):" >&2; tail -n 30 "$out" >&2; }
    done
    exit 1
}

# A process that exists and is not a zombie (a zombie still answers kill -0).
e2e_alive()
{
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    [[ ${stat%% *} != Z ]]
}

# e2e_wait_gone PID TENTHS: true once the process has ended, false when the bound runs out.
e2e_wait_gone()
{
    local tries=$2
    while e2e_alive "$1"; do
        ((tries-- > 0)) || return 1
        sleep 0.1
    done
}

# --- network namespace ---------------------------------------------------------------------

# Runs the calling script again inside a new network namespace, where nothing can leave the
# machine, and a mount namespace of its own, where it may mount what it needs; skips the test
# where the namespaces are refused. Where the machine allows, a PID namespace too: what the
# scenario started ends with it even when it is killed outright (ctest's time-out, or ctest
# itself ending), which no trap sees. Call before e2e_setup with "$@".
e2e_isolate_network()
{
    if [[ ${E2E_IN_NETNS:-} != 1 ]]; then
        if ! unshare --net --mount true 2>/dev/null; then
            echo "SKIP: 'unshare --net' is refused here; this scenario accepts the preset board address" \
                "and must not run outside an isolated network namespace" >&2
            exit "$E2E_SKIP"
        fi
        local namespaces=(--net --mount)
        unshare --net --mount --pid --fork --kill-child --mount-proc true 2>/dev/null \
            && namespaces+=(--pid --fork --kill-child --mount-proc)
        E2E_IN_NETNS=1 exec unshare "${namespaces[@]}" bash "$0" "$@"
    fi
    e2e_check_isolated
}

# Refuses to go on unless the only interface is loopback and no route leads anywhere.
e2e_check_isolated()
{
    local interfaces routes
    interfaces=$(awk -F: 'NR > 2 { gsub(/ /, "", $1); print $1 }' /proc/net/dev | sort | tr '\n' ' ')
    routes=$(awk 'NR > 1' /proc/net/route | wc -l)
    if [[ $interfaces != "lo " || $routes != 0 ]]; then
        echo "not isolated (interfaces: $interfaces, routes: $routes); refusing to run" >&2
        exit 1
    fi
}

# Loopback is down in a new namespace; a simulator inside it needs it up.
e2e_loopback_up()
{
    command -v ip >/dev/null || { echo "missing tool: ip (iproute2)" >&2; exit 1; }
    ip link set lo up || { echo "cannot bring loopback up" >&2; exit 1; }
    e2e_check_isolated
}

# --- Wine ---------------------------------------------------------------------------------------

# e2e_use_wine PREFIX: Windows programs run under Wine with the prepared prefix PREFIX and a
# wineserver of this network namespace (Wine opens every socket there), started here on its own:
# a wineserver that some program started would keep that program's output open. Call after
# e2e_start_x; the cleanup ends the wineserver and with it every Wine process of the prefix.
e2e_use_wine()
{
    command -v wine >/dev/null || { echo "missing tool: wine (scripts/install-deps.sh)" >&2; exit 1; }
    [[ -f $1/system.reg ]] || e2e_fail "no prepared Wine prefix in $1"
    E2E_WINE_PREFIX=$(realpath "$1")
    export WINEPREFIX=$E2E_WINE_PREFIX WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
    # No Mono, no Gecko, and no menu entries written into the user's home.
    export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe=d"
    # One that runs elsewhere would carry the program's sockets into its network.
    timeout 30 wineserver -k >/dev/null 2>&1 || true
    timeout 30 wineserver -w >/dev/null 2>&1 || true
    timeout 30 wineserver -p </dev/null >/dev/null 2>&1 || e2e_fail "cannot start a wineserver"
}

# --- X server, window manager ----------------------------------------------------------------

# e2e_start_x [WIDTHxHEIGHT]: a screen of 1024x768 unless given.
e2e_start_x()
{
    local display_file=$E2E_DIR/display tries=100
    : >"$display_file"
    Xvfb -displayfd 5 -screen 0 "${1:-1024x768}x24" -nolisten tcp 5>"$display_file" >"$E2E_DIR/xvfb.log" 2>&1 &
    E2E_PIDS+=($!)
    local xvfb=$!
    until grep -q '^[0-9][0-9]*$' "$display_file"; do
        e2e_alive "$xvfb" || e2e_fail "Xvfb ended at start: $(tail -n 5 "$E2E_DIR/xvfb.log")"
        ((tries-- > 0)) || e2e_fail "Xvfb gave no display number in 10 s"
        sleep 0.1
    done
    export DISPLAY=:$(head -n 1 "$display_file")
    e2e_log "Xvfb on $DISPLAY"
}

# openbox with a fixed configuration of our own: the user's or the system's cannot change it.
e2e_start_wm()
{
    local rc=$E2E_DIR/openbox-rc.xml tries=100
    cat >"$rc" <<'EOF'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy></placement>
  <desktops><number>1</number></desktops>
  <keyboard>
    <keybind key="A-F4"><action name="Close"/></keybind>
  </keyboard>
</openbox_config>
EOF
    openbox --config-file "$rc" >"$E2E_DIR/openbox.log" 2>&1 &
    E2E_PIDS+=($!)
    local wm=$!
    until timeout 5 xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
        e2e_alive "$wm" || e2e_fail "openbox ended at start: $(tail -n 5 "$E2E_DIR/openbox.log")"
        ((tries-- > 0)) || e2e_fail "openbox did not take over the display in 10 s"
        sleep 0.1
    done
}

# --- simulator, browser stand-in, program ---------------------------------------------------

# e2e_start_sim [netio-sim options]: sets SIM_PID, SIM_PORT (unless --port is given) and SIM_RECORD.
e2e_start_sim()
{
    local out=$E2E_DIR/sim.out tries=100
    SIM_RECORD=$E2E_DIR/sim.record
    local port_options=(--port 0)
    [[ " $* " == *" --port "* ]] && port_options=()
    # Emptied here, not by the background start: the port of an earlier simulator must not be read.
    : >"$out"
    "$E2E_SIM" "${port_options[@]}" --record "$SIM_RECORD" "$@" >"$out" 2>"$E2E_DIR/sim.err" &
    SIM_PID=$!
    E2E_PIDS+=($SIM_PID)
    until grep -q '^port [0-9]' "$out"; do
        e2e_alive "$SIM_PID" || e2e_fail "simulator ended at start: $(cat "$E2E_DIR/sim.err")"
        ((tries-- > 0)) || e2e_fail "simulator gave no port in 10 s"
        sleep 0.1
    done
    SIM_PORT=$(awk '/^port /{ print $2; exit }' "$out")
    e2e_log "simulator on 127.0.0.1:$SIM_PORT"
}

# The browser opener the program finds first on PATH: one line per call, the arguments joined
# by blanks, and in a second file how many arguments there were.
e2e_make_web_recorder()
{
    WEB_CALLS=$E2E_DIR/web-calls
    WEB_ARGC=$E2E_DIR/web-argc
    cat >"$E2E_DIR/bin/xdg-open" <<EOF
#!/bin/sh
# Stands in for the desktop's browser opener in the end-to-end tests.
printf '%s\n' "\$*" >>'$WEB_CALLS'
printf '%s\n' "\$#" >>'$WEB_ARGC'
EOF
    chmod +x "$E2E_DIR/bin/xdg-open"
}

# e2e_write_settings HOST TELNET_PORT HTTP_PORT: the program's Skarvel.ini, CR LF endings.
e2e_write_settings()
{
    printf '%s\r\n%s\r\n%s\r\n' "$1" "$2" "$3" >"$E2E_WORK/Skarvel.ini"
}

# e2e_start_program [PROGRAM]: starts the program (by default the one under test) in the work
# folder with the browser recorder first on PATH; a Windows program runs under Wine (e2e_use_wine).
# Its output goes to skarvel.out, or PROGRAM's name with .out.
e2e_start_program()
{
    local program=${1:-$E2E_SKARVEL} out=$E2E_DIR/skarvel.out launch=()
    [[ $# -eq 0 ]] || out=$E2E_DIR/$(basename "$program").out
    # Wine takes its ANSI code page from the locale: this one gives Windows-1252.
    [[ $program == *.exe ]] && launch=(env -u LC_ALL LANG=C.UTF-8 wine)
    (
        cd "$E2E_WORK" || exit 1
        exec env PATH="$E2E_DIR/bin:$PATH" BROWSER="$E2E_DIR/bin/xdg-open" QT_QPA_PLATFORM=xcb \
            "${launch[@]}" "$program" >"$out" 2>&1 </dev/null
    ) &
    PROGRAM_PID=$!
    E2E_PIDS+=($PROGRAM_PID)
}

# e2e_wait_program_exit [SECONDS]: sets E2E_EXIT_CODE; fails the test when the bound runs out.
e2e_wait_program_exit()
{
    local limit=${1:-$E2E_WAIT}
    e2e_wait_gone "$PROGRAM_PID" $((limit * 10)) || e2e_fail "program still running after $limit s"
    E2E_EXIT_CODE=0
    wait "$PROGRAM_PID" || E2E_EXIT_CODE=$?
    e2e_forget "$PROGRAM_PID"
}

# Drops a reaped pid from the cleanup list: the number may soon belong to someone else.
e2e_forget()
{
    local i
    for i in "${!E2E_PIDS[@]}"; do
        [[ ${E2E_PIDS[i]} == "$1" ]] && unset 'E2E_PIDS[i]'
    done
    E2E_PIDS=("${E2E_PIDS[@]}")
}

e2e_expect_exit_code_0()
{
    [[ $E2E_EXIT_CODE == 0 ]] || e2e_fail "program exit code $E2E_EXIT_CODE, expected 0"
}

# --- the program's own layout -------------------------------------------------------------------

# Control name -> "LEFT TOP WIDTH HEIGHT" in client pixels at 96 dpi, as the program lays it out:
# the main window's control table and the platform's boxes in its sources, read by e2e_setup.
declare -gA E2E_CONTROL_BOXES=()
e2e_read_layout()
{
    local src=$E2E_TOOLS/../../src name box numbers='([0-9]+, [0-9]+, [0-9]+, [0-9]+)'
    while read -r name box; do E2E_CONTROL_BOXES[$name]=$box; done < <({
        sed -nE "/MainWindowControls = /,/^\}\};/ s/^ *\{(\w+), ControlKind::\w+, $numbers,.*/\1 \2/p" "$src/ui/main_window.cpp"
        sed -nE "s/^inline constexpr Box (\w+)\{$numbers\};.*/\1 \2/p" "$src/platform/shared/layout.h"
    } | tr -d ,)
}

# e2e_control_box NAME: sets BOX_LEFT BOX_TOP BOX_WIDTH BOX_HEIGHT to the control's box; fails the
# test when the program has no control of that name.
e2e_control_box()
{
    [[ -n ${E2E_CONTROL_BOXES[$1]:-} ]] || e2e_fail "no control '$1' among the ${#E2E_CONTROL_BOXES[@]} in the layout"
    read -r BOX_LEFT BOX_TOP BOX_WIDTH BOX_HEIGHT <<<"${E2E_CONTROL_BOXES[$1]}"
}

# --- windows ----------------------------------------------------------------------------------

e2e_xdotool() { timeout 10 xdotool "$@"; }

# Visible windows whose title is exactly TITLE, one id a line.
e2e_windows_titled()
{
    local title=$1 pattern id
    # The search may see the title in Latin-1 (WM_NAME): letters beyond ASCII match anything there,
    # and the title as the window gives it in UTF-8 decides.
    pattern=$(printf '%s' "$title" | sed 's/[][\.*^$(){}+?|/]/\\&/g' | LC_ALL=C sed -E 's/[\x80-\xff]+/.*/g')
    for id in $(e2e_xdotool search --onlyvisible --name "^$pattern\$" 2>/dev/null); do
        [[ $(e2e_xdotool getwindowname "$id" 2>/dev/null) == "$title" ]] && echo "$id"
    done
    return 0
}

# e2e_wait_window TITLE [SECONDS [KNOWN_ID...]]: sets WINDOW to the id of a visible window titled
# TITLE that is none of KNOWN_ID; fails the test when none shows up in time.
e2e_wait_window()
{
    local title=$1 limit=${2:-$E2E_WAIT}
    shift 2 2>/dev/null || shift $#
    local deadline=$(($(e2e_now_ms) + limit * 1000)) id known found
    while :; do
        for id in $(e2e_windows_titled "$title"); do
            found=$id
            for known in "$@"; do [[ $id == "$known" ]] && found=; done
            [[ -n $found ]] && { WINDOW=$found; return 0; }
        done
        e2e_alive "$PROGRAM_PID" || e2e_fail "program ended while waiting for window '$title'"
        (($(e2e_now_ms) < deadline)) || e2e_fail "no new window '$title' within $limit s"
        sleep 0.1
    done
}

# Waits until the window has the keyboard focus, as the window manager gives it to a new window.
e2e_wait_focus()
{
    local id=$1 limit=${2:-5} deadline
    deadline=$(($(e2e_now_ms) + limit * 1000))
    until [[ $(e2e_xdotool getwindowfocus 2>/dev/null) == "$id" ]]; do
        (($(e2e_now_ms) < deadline)) || e2e_fail "window $id ($(e2e_xdotool getwindowname "$id")) got no focus in $limit s"
        sleep 0.05
    done
}

# Client area of a window on the screen: sets WIN_X WIN_Y WIN_W WIN_H. (xdotool's own geometry
# is off by the frame's offset under a reparenting window manager; xwininfo is not.)
e2e_window_geometry()
{
    local info
    info=$(timeout 10 xwininfo -id "$1") || e2e_fail "window $1 is gone"
    WIN_X=$(awk '/Absolute upper-left X:/ { print $NF }' <<<"$info")
    WIN_Y=$(awk '/Absolute upper-left Y:/ { print $NF }' <<<"$info")
    WIN_W=$(awk '/^ *Width:/ { print $NF }' <<<"$info")
    WIN_H=$(awk '/^ *Height:/ { print $NF }' <<<"$info")
}

# e2e_control_point WINDOW NAME [RIGHT DOWN]: sets POINT_X POINT_Y to the point on the screen RIGHT
# and DOWN client pixels into the control's box, or to its centre.
e2e_control_point()
{
    e2e_control_box "$2"
    e2e_window_geometry "$1"
    POINT_X=$((WIN_X + BOX_LEFT + ${3:-BOX_WIDTH / 2})) POINT_Y=$((WIN_Y + BOX_TOP + ${4:-BOX_HEIGHT / 2}))
}

# e2e_click_control WINDOW NAME [SCALE_NUM SCALE_DEN]: clicks the centre of the control, its box
# scaled by SCALE_NUM / SCALE_DEN as the front end scales its layout to the screen's dpi.
e2e_click_control()
{
    local num=${3:-1} den=${4:-1}
    e2e_control_box "$2"
    e2e_click "$1" $((BOX_LEFT * num / den)) $((BOX_TOP * num / den)) $((BOX_WIDTH * num / den)) $((BOX_HEIGHT * num / den))
}

# e2e_click WINDOW LEFT TOP WIDTH HEIGHT: clicks the centre of a control given in client coordinates.
e2e_click()
{
    local id=$1 left=$2 top=$3 width=$4 height=$5
    e2e_window_geometry "$id"
    # No --sync: it waits forever when the pointer is already there. The server handles the
    # move before the press anyway, as both come in order over one connection.
    e2e_xdotool mousemove $((WIN_X + left + width / 2)) $((WIN_Y + top + height / 2)) click 1 \
        || e2e_fail "could not click in window $id"
}

e2e_key() { e2e_xdotool key --delay 50 "$@" || e2e_fail "xdotool key $* failed"; }
e2e_type() { e2e_xdotool type --delay 40 -- "$1" || e2e_fail "xdotool type failed"; }

# Closes the window as a user does: activated, then Alt+F4, which openbox turns into a close
# request (xdotool windowclose would destroy the window behind the program's back).
e2e_close_by_wm()
{
    local id=$1
    e2e_xdotool windowactivate --sync "$id" || e2e_fail "could not activate window $id"
    e2e_key alt+F4
}

# --- what the user reads and types -----------------------------------------------------------------

# What a copy put on the clipboard, ended by a bar so that a last empty line survives the shell's
# command substitution. Wine's copy may carry a NUL and stray bytes after the text.
e2e_copied()
{
    sleep 0.3
    timeout 5 xclip -o -selection clipboard 2>/dev/null | head -z -n 1 | tr -d '\r\0' || true
    printf '|'
}

# e2e_output_text WINDOW: the output's whole text as a user copies it (clicked into, Ctrl+A,
# Ctrl+C), ended by a bar.
e2e_output_text()
{
    e2e_click_control "$1" OutputEditor
    e2e_key ctrl+a ctrl+c
    e2e_copied
}

# e2e_wait_output WINDOW PATTERN [SECONDS]: until the output's text matches the extended regex;
# sets E2E_SHOWN to it (without the bar).
e2e_wait_output()
{
    local deadline=$(($(e2e_now_ms) + ${3:-8} * 1000))
    while :; do
        E2E_SHOWN=$(e2e_output_text "$1")
        E2E_SHOWN=${E2E_SHOWN%|}
        [[ $E2E_SHOWN =~ $2 ]] && return 0
        (($(e2e_now_ms) < deadline)) || e2e_fail "the output shows '$E2E_SHOWN', not /$2/"
        sleep 0.2
    done
}

# e2e_send WINDOW COMMAND: typed over the command field's text and sent with SendButton.
e2e_send()
{
    e2e_click_control "$1" CommandField
    e2e_key End shift+Home
    e2e_type "$2"
    e2e_click_control "$1" SendButton
}

# e2e_expect_history_walk WINDOW: with C sent last and F before it, Z typed after the field's text
# and Up, Up, Up, Down, Down show C, F, F, C and the text begun (the field's text read by a copy).
e2e_expect_history_walk()
{
    local key walked= text
    e2e_click_control "$1" CommandField
    e2e_key End
    e2e_type Z
    for key in Up Up Up Down Down; do
        e2e_key "$key" End shift+Home ctrl+c
        text=$(e2e_copied)
        walked+="${text%|} "
    done
    [[ $walked == "C F F C CZ " ]] || e2e_fail "Up, Up, Up, Down, Down showed: $walked"
    e2e_log "the command field walked: $walked"
}

# --- simulator record -------------------------------------------------------------------------

# e2e_record_count EVENT: how many record lines are exactly "<ms> EVENT" (EVENT is a regex).
e2e_record_count()
{
    [[ -f $SIM_RECORD ]] || { echo 0; return 0; }
    grep -cE "^[0-9]+ ($1)\$" "$SIM_RECORD" || true
}

# e2e_record_times EVENT: the ms stamps of the lines "<ms> EVENT", one a line.
e2e_record_times()
{
    [[ -f $SIM_RECORD ]] || return 0
    { grep -E "^[0-9]+ ($1)\$" "$SIM_RECORD" || true; } | awk '{ print $1 }'
}

# e2e_wait_record EVENT COUNT [SECONDS]: waits until EVENT is in the record COUNT times.
e2e_wait_record()
{
    local event=$1 count=$2 limit=${3:-$E2E_WAIT} deadline
    deadline=$(($(e2e_now_ms) + limit * 1000))
    until (($(e2e_record_count "$event") >= count)); do
        (($(e2e_now_ms) < deadline)) || e2e_fail "simulator saw '$event' $(e2e_record_count "$event") times, not $count, within $limit s"
        sleep 0.05
    done
}

# Every byte the program sent must be whole commands, each ended by 13 and nothing else.
e2e_expect_clean_stream()
{
    local received expected
    received=$({ grep -E '^[0-9]+ recv ' "$SIM_RECORD" || true; } | sed -E 's/^[0-9]+ recv //' | tr -d '\n')
    expected=$({ grep -E '^[0-9]+ cmd ' "$SIM_RECORD" || true; } | sed -E 's/^[0-9]+ cmd (.*)$/\1\\x0D/' | tr -d '\n')
    [[ $received == "$expected" ]] || e2e_fail "bytes sent are not just commands ended by 13: '$received'"
}

# A whole desktop with the program's main window against the simulator (HTTP port text $1, then
# any netio-sim options): sets MAIN to the window once it is connected and has the focus.
e2e_start_main_window() {
  e2e_start_x
  e2e_start_wm
  e2e_start_sim "${@:2}"
  e2e_write_settings 127.0.0.1 "$SIM_PORT" "$1"
  e2e_start_program
  e2e_wait_window "Varnex-NET-IO-TerminalEmulation V1.0"
  MAIN=$WINDOW
  e2e_wait_record connect 1
}

# The connect window WINDOW as it stands on the screen: a 250 x 90 client whose text control,
# ConnectWindowText, shows three lines with ink and an empty line between each two. A wrapped
# first line would make its band twice as tall; a cut port line would reach the control's bottom.
e2e_expect_connect_window_lines()
{
    local bands deadline first_top first_bottom port_top port_bottom
    e2e_window_geometry "$1"
    [[ $WIN_W == 250 && $WIN_H == 90 ]] || e2e_fail "connect window client is ${WIN_W}x$WIN_H, expected 250x90"
    e2e_control_box ConnectWindowText
    deadline=$(($(e2e_now_ms) + 5000))
    until bands=$(python3 "$E2E_TOOLS/screenshot.py" --ink $((WIN_X + BOX_LEFT)) $((WIN_Y + BOX_TOP)) "$BOX_WIDTH" "$BOX_HEIGHT") \
            && (($(wc -l <<<"$bands") == 3)); do
        (($(e2e_now_ms) < deadline)) || e2e_fail "the text shows as $(wc -l <<<"$bands") bands of ink, not 3: $bands"
        sleep 0.1
    done
    read -r first_top first_bottom <<<"$(sed -n 1p <<<"$bands")"
    read -r port_top port_bottom <<<"$(sed -n 3p <<<"$bands")"
    ((port_bottom < BOX_HEIGHT - 1)) || e2e_fail "the port line reaches the bottom of its control: $bands"
    ((first_bottom - first_top < 2 * (port_bottom - port_top + 1))) || e2e_fail "the first line wraps: $bands"
    e2e_log "connect window, ink in rows: $(tr '\n' ',' <<<"$bands")"
}

# e2e_expect_busy_window WINDOW CLICKS SETTLE: the program's main window against a board that
# never answers, whose command field holds "F". CLICKS quick clicks on SendButton send F once
# (each exchange waits a second: clicking that takes longer on a loaded machine may start
# another), none piles up within SETTLE seconds; then a Q typed while the next exchange waits
# stays in the field and goes out with the next command. Sets BUSY_SUMMARY.
e2e_expect_busy_window()
{
    local window=$1 clicks=$2 settle=$3 started clicking sent
    e2e_control_point "$window" SendButton
    started=$(e2e_now_ms)
    e2e_xdotool mousemove "$POINT_X" "$POINT_Y" click --repeat "$clicks" --delay 25 1 \
        || e2e_fail "could not click SendButton"
    clicking=$(($(e2e_now_ms) - started))
    e2e_wait_record "cmd F" 1 5
    sleep "$settle"                          # piled-up clicks would have sent F again by now
    sent=$(e2e_record_count "cmd F")
    ((sent <= 2 + clicking / 1000)) || e2e_fail "$clicks clicks in $clicking ms sent F $sent times"
    e2e_click_control "$window" SendButton
    e2e_type Q
    e2e_wait_record "cmd F" $((sent + 1)) 5
    sleep 1.5
    e2e_click_control "$window" SendButton
    e2e_wait_record "cmd FQ" 1 5
    BUSY_SUMMARY="$clicks clicks in $clicking ms sent F $sent times"
}

# --- the lost link ------------------------------------------------------------------------------

# e2e_start_silent_name_server: a name server on loopback that never answers (each query it gets
# is a line in E2E_DNS_QUERIES), and the test's own resolver settings and hosts file put in place
# (the mount namespace is the test's own: see e2e_isolate_network). Names go to the name server
# unless e2e_set_hosts lists them.
e2e_start_silent_name_server()
{
    local tries
    E2E_DNS_QUERIES=$E2E_DIR/dns-queries
    python3 -c 'import socket
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", 53))
print("ready", flush=True)
while True:
    s.recv(512)
    print("query", flush=True)' >"$E2E_DNS_QUERIES" &
    E2E_PIDS+=($!)
    for ((tries = 50; tries > 0; tries--)); do
        grep -q ready "$E2E_DNS_QUERIES" && break
        sleep 0.1
    done
    ((tries > 0)) || e2e_fail "the silent name server did not start"
    printf 'nameserver 127.0.0.1\noptions timeout:%s attempts:1\n' "${E2E_DNS_TIMEOUT:-8}" >"$E2E_DIR/resolv.conf"
    mount --bind "$E2E_DIR/resolv.conf" /etc/resolv.conf || e2e_fail "cannot put the test's resolver settings in place"
    e2e_set_hosts
    mount --bind "$E2E_DIR/hosts" /etc/hosts || e2e_fail "cannot put the test's hosts file in place"
}

# e2e_set_hosts [ADDRESS NAME]: the hosts file lists only localhost, and NAME when given. Written
# in place, so that the file mounted over /etc/hosts changes with it.
e2e_set_hosts()
{
    {
        echo "127.0.0.1 localhost"
        if [[ $# -eq 2 ]]; then echo "$1 $2"; fi
    } >"$E2E_DIR/hosts"
}

e2e_dns_query_count() { grep -c query "$E2E_DNS_QUERIES" || true; }

# e2e_wait_title WINDOW TITLE [SECONDS]: until the window bears TITLE; E2E_TITLE_MS is when.
e2e_wait_title()
{
    local deadline=$(($(e2e_now_ms) + ${3:-$E2E_WAIT} * 1000))
    until [[ $(e2e_xdotool getwindowname "$1" 2>/dev/null) == "$2" ]]; do
        (($(e2e_now_ms) < deadline)) || e2e_fail "the window's title is '$(e2e_xdotool getwindowname "$1")', not '$2'"
        sleep 0.02
    done
    E2E_TITLE_MS=$(e2e_now_ms)
}

# e2e_answer_ms: how long the window with the focus in its command field takes to answer: the
# field's text replaced by a typed mark, copied, and the copy read back. Prints the ms.
E2E_MARK=0
e2e_answer_ms()
{
    local started deadline
    E2E_MARK=$((E2E_MARK + 1))
    started=$(e2e_now_ms)
    deadline=$((started + 10000))
    e2e_key End shift+Home
    e2e_type "m$E2E_MARK"
    e2e_key End shift+Home ctrl+c
    until [[ $(timeout 5 xclip -o -selection clipboard 2>/dev/null | tr -d '\r\0') == "m$E2E_MARK" ]]; do
        (($(e2e_now_ms) < deadline)) || e2e_fail "the window did not answer within 10 s"
        sleep 0.01
    done
    echo $(($(e2e_now_ms) - started))
}

# e2e_worst_answer_ms WINDOW TITLE SECONDS: the longest answer (e2e_answer_ms) while the window
# bears TITLE, for at most SECONDS; at least one is measured.
e2e_worst_answer_ms()
{
    local until=$(($(e2e_now_ms) + $3 * 1000)) worst=0 answer
    while :; do
        answer=$(e2e_answer_ms)
        ((answer > worst)) && worst=$answer
        [[ $(e2e_xdotool getwindowname "$1") == "$2" ]] && (($(e2e_now_ms) < until)) || break
    done
    echo "$worst"
}

# e2e_expect_lost_link WINDOW AWAY: the main window against a simulator started with
# --away-for AWAY ms, whose settings name the board netio-board.test, listed by the hosts file
# (e2e_start_silent_name_server, e2e_set_hosts). Three times the board goes away:
#  1. while polling: the title says so at once, the output gets one line for the loss and one for
#     the return, no poll adds a line meanwhile, and polling goes on with the board's return;
#  2. with its connects hanging, and 3. with its name no longer found and the name server
#     silent: the window answers throughout, and the link is mended without a click.
# Sets LOST_SUMMARY.
e2e_expect_lost_link()
{
    local window=$1 away=$2 title="Varnex-NET-IO-TerminalEmulation V1.0" went lost back polls shown base hang
    local lost_title="$title (keine Verbindung)" queries lookup
    e2e_click_control "$window" PollingToggle
    e2e_wait_window "Skarvel: Meldung" 5
    e2e_wait_focus "$WINDOW"
    e2e_key Return
    e2e_wait_record "cmd C" 3 5
    went=$(e2e_now_ms)
    kill -USR1 "$SIM_PID"
    e2e_wait_title "$window" "$lost_title" 5
    lost=$((E2E_TITLE_MS - went))
    e2e_wait_title "$window" "$title" $((away / 1000 + 10))
    back=$((E2E_TITLE_MS - went - away))
    polls=$(e2e_record_count "cmd C")
    e2e_wait_record "cmd C" $((polls + 4)) 5
    e2e_click_control "$window" PollingToggle   # released
    e2e_wait_output "$window" 'Beende Polling'
    shown=$E2E_SHOWN
    # Each with the local time, so that someone back at the desk reads how long the board was away.
    (($(grep -cxP '\*\*\* Verbindung zum Board unterbrochen \(\d\d:\d\d:\d\d\) \*\*\*' <<<"$shown") == 1)) \
        || e2e_fail "not one line for the loss: '$shown'"
    grep -qzP '\*\*\* Verbindung zum Board unterbrochen \(\d\d:\d\d:\d\d\) \*\*\*\n\*\*\* Verbindung wiederhergestellt \(\d\d:\d\d:\d\d\) \*\*\*\nC:' <<<"$shown" \
        || e2e_fail "the loss is not followed by the return and the polls: '$shown'"
    ! grep -qx '' <<<"$shown" || e2e_fail "an empty line in the output: '$shown'"

    e2e_click_control "$window" CommandField
    base=$(e2e_answer_ms)
    kill -USR2 "$SIM_PID"
    e2e_wait_title "$window" "$lost_title" 5
    hang=$(e2e_worst_answer_ms "$window" "$lost_title" $((away / 1000)))
    e2e_wait_title "$window" "$title" $((away / 1000 + 10))

    e2e_set_hosts
    queries=$(e2e_dns_query_count)
    kill -USR1 "$SIM_PID"
    e2e_wait_title "$window" "$lost_title" 5
    lookup=$(e2e_worst_answer_ms "$window" "$lost_title" $((away / 1000)))
    (($(e2e_dns_query_count) > queries)) || e2e_fail "the name server was never asked: the lookup did not hold the try up"
    e2e_set_hosts 127.0.0.1 netio-board.test
    e2e_wait_title "$window" "$title" $((away / 1000 + 20))
    ((hang < base + 1000 && lookup < base + 1000)) \
        || e2e_fail "the window stood still: answers took $hang ms during a hanging connect, $lookup ms during a silent lookup, $base ms with the link up"
    LOST_SUMMARY="loss told $lost ms after the board went, return $back ms after it came back; the window answered in $base ms with the link up, at worst $hang ms during a hanging connect and $lookup ms during a silent lookup"
}

# --- the overview and the running log -------------------------------------------------------

# e2e_output_menu WINDOW UPS: opens the output's context menu and takes the entry UPS entries up
# from its end (1: the last).
e2e_output_menu()
{
    e2e_control_point "$1" OutputEditor 190 100
    e2e_xdotool mousemove "$POINT_X" "$POINT_Y" click 3 || e2e_fail "no right click"
    sleep 0.5
    local ups=$2
    while ((ups-- > 0)); do e2e_key Up; done
    e2e_key Return
}

# e2e_expect_overview WINDOW PICTURE: F2 opens the overview, whose table the simulator's board
# fills at once (its whole text copied with Ctrl+A, Ctrl+C); Space on the row of "Pumpe" switches
# it (T07), the row stands out for three seconds and alone is copied by Ctrl+C, and Enter held
# down switches it once more, whatever the key's repeats; the view's picture goes to PICTURE;
# closed by Escape, its reads stop. Sets VIEW_SUMMARY.
e2e_expect_overview()
{
    local window=$1 picture=$2 pressed full table reads before view
    e2e_xdotool windowactivate --sync "$window" || e2e_fail "could not activate the main window"
    before=$(e2e_record_count "cmd P[0-9]")
    pressed=$(e2e_now_ms)
    e2e_key F2
    e2e_wait_window "Varnex-NET-IO: Board-Übersicht" 15 "$window"
    view=$WINDOW
    # Full once every page that has entries was read: four pages on the simulated board.
    e2e_wait_record "cmd P[0-9]" $((before + 4)) 10
    full=$(($(e2e_now_ms) - pressed))
    e2e_wait_focus "$view"
    e2e_key ctrl+a ctrl+c
    table=$(e2e_copied)
    [[ $(head -n 1 <<<"$table") == $'Seite\tPlatz\tArt\tName\tZustand' ]] || e2e_fail "the copied table begins: '$table'"
    (($(grep -c $'\t' <<<"$table") == 11)) || e2e_fail "the copied table is not a header and ten rows: '$table'"
    grep -q $'^Seite 2\t1\tAusgang\tLampe Küche\taus' <<<"$table" || e2e_fail "no row of 'Lampe Küche': '$table'"
    grep -q $'^Garten\t0\tAusgang\tPumpe\taus' <<<"$table" || e2e_fail "'Pumpe' is not off: '$table'"
    e2e_key Home Down Down Down Down Down Down Down space
    e2e_wait_record "cmd T07" 1 5
    local switched=$(e2e_now_ms) lit late
    local deadline=$((switched + 5000))
    until grep -q $'^Garten\t0\tAusgang\tPumpe\tein' <<<"$table"; do
        (($(e2e_now_ms) < deadline)) || e2e_fail "'Pumpe' is not on after T07: '$table'"
        e2e_key ctrl+c
        table=$(e2e_copied)
    done
    # Only the row selected is copied now: the header and the row of "Pumpe".
    (($(grep -c $'\t' <<<"$table") == 2)) || e2e_fail "Ctrl+C with one row selected copied: '$table'"
    # The change stands out for three seconds, not longer: the marker pen's colour in the row of
    # "Pumpe" (the third band of text from the last in the first column, rows 7 of 0 to 9; the
    # inputs of the simulated board change by themselves, and stand out too), the selection
    # moved off it.
    e2e_key Up
    e2e_window_geometry "$view"
    local band
    band=$(python3 "$E2E_TOOLS/screenshot.py" --ink $((WIN_X + 14)) "$WIN_Y" 30 $((WIN_H - 40)) | tail -n 3 | head -n 1)
    [[ -n $band ]] || e2e_fail "no row of 'Pumpe' found on the screen"
    local strip=($((WIN_X + 12)) $((WIN_Y + ${band% *} - 2)) $((WIN_W - 24)) $((${band#* } - ${band% *} + 5)))
    lit=$(python3 "$E2E_TOOLS/screenshot.py" --count-colour FFEC8C "${strip[@]}")
    local rest=$((4000 - ($(e2e_now_ms) - switched)))
    ((rest <= 0)) || sleep "$((rest / 1000)).$(printf '%03d' $((rest % 1000)))"
    late=$(python3 "$E2E_TOOLS/screenshot.py" --count-colour FFEC8C "${strip[@]}")
    ((lit > 100 && late == 0)) || e2e_fail "the changed row's highlight: $lit pixels at once, $late after 4 s"
    e2e_key Down
    # Enter held down for two seconds, the key repeating as the X server repeats it: one switch.
    e2e_xdotool keydown Return || e2e_fail "could not press Enter"
    sleep 2
    e2e_xdotool keyup Return || e2e_fail "could not release Enter"
    sleep 1
    local held=$(($(e2e_record_count "cmd T07") - 1))
    ((held == 1)) || e2e_fail "Enter held for 2 s sent T07 $held times, not once"
    # The window with its frame: some pixels round its client area, the title bar above it.
    e2e_window_geometry "$view"
    local left=$((WIN_X > 6 ? WIN_X - 6 : 0)) top=$((WIN_Y > 30 ? WIN_Y - 30 : 0))
    python3 "$E2E_TOOLS/screenshot.py" "$picture" "$left" "$top" $((WIN_X - left + WIN_W + 6)) $((WIN_Y - top + WIN_H + 6)) \
        || e2e_fail "no picture of the overview"
    reads=$(e2e_record_count "cmd P[0-9]")
    sleep 3
    reads=$(($(e2e_record_count "cmd P[0-9]") - reads))
    e2e_wait_focus "$view"
    e2e_key Escape
    e2e_wait_gone_window "Varnex-NET-IO: Board-Übersicht"
    local after=$(e2e_record_count "cmd P[0-9]")
    sleep 1.5
    (($(e2e_record_count "cmd P[0-9]") == after)) || e2e_fail "the view reads on after it was closed"
    VIEW_SUMMARY="full table $full ms after F2, $reads reads of states in 3 s while open, Pumpe switched by Space"
    VIEW_SUMMARY+=" and once by Enter held for 2 s, its row alone copied, highlighted for 3 s, closed by Escape"
}

# e2e_expect_overview_while_lost WINDOW PICTURE: the overview open with a row selected while the
# board goes away for a while (the simulator's SIGUSR1, started with --away-for): its rows stay,
# greyed as not current (their darkest ink far lighter than the black they had), the picture of
# it goes to PICTURE; back, the rows are current again and the selection is kept (Ctrl+C copies
# the header and that one row). Closed by Escape. Sets LOST_VIEW_SUMMARY.
e2e_expect_overview_while_lost()
{
    local window=$1 picture=$2 view before table again ink stale current after
    e2e_xdotool windowactivate --sync "$window" || e2e_fail "could not activate the main window"
    before=$(e2e_record_count "cmd P[0-9]")
    e2e_key F2
    e2e_wait_window "Varnex-NET-IO: Board-Übersicht" 15 "$window"
    view=$WINDOW
    e2e_wait_record "cmd P[0-9]" $((before + 4)) 10
    e2e_wait_focus "$view"
    e2e_key Home Down Down ctrl+c
    table=$(e2e_copied)
    (($(grep -c $'\t' <<<"$table") == 2)) || e2e_fail "one row selected, Ctrl+C copied: '$table'"
    # The rows, inside the table's frame, below its header and above the status line.
    e2e_window_geometry "$view"
    local rows=($((WIN_X + 12)) $((WIN_Y + 40)) $((WIN_W - 24)) $((WIN_H - 90)))
    ink=$(python3 "$E2E_TOOLS/screenshot.py" --darkest "${rows[@]}")
    kill -USR1 "$SIM_PID"
    e2e_wait_title "$window" "Varnex-NET-IO-TerminalEmulation V1.0 (keine Verbindung)" 5
    sleep 0.5
    stale=$(python3 "$E2E_TOOLS/screenshot.py" --darkest "${rows[@]}")
    local left=$((WIN_X > 6 ? WIN_X - 6 : 0)) top=$((WIN_Y > 30 ? WIN_Y - 30 : 0))
    python3 "$E2E_TOOLS/screenshot.py" "$picture" "$left" "$top" $((WIN_X - left + WIN_W + 6)) $((WIN_Y - top + WIN_H + 6)) \
        || e2e_fail "no picture of the overview"
    ((ink < 60 && stale >= 80)) || e2e_fail "the rows' darkest ink: $ink while current, $stale while the link is lost"
    e2e_wait_title "$window" "Varnex-NET-IO-TerminalEmulation V1.0" 15
    after=$(e2e_record_count "cmd P[0-9]")
    e2e_wait_record "cmd P[0-9]" $((after + 4)) 10
    sleep 0.3
    current=$(python3 "$E2E_TOOLS/screenshot.py" --darkest "${rows[@]}")
    ((current < 60)) || e2e_fail "the rows stay greyed once the link is back (darkest ink $current)"
    e2e_xdotool windowactivate --sync "$view" || e2e_fail "could not activate the overview"
    e2e_key ctrl+c
    again=$(e2e_copied)
    [[ $again == "$table" ]] || e2e_fail "the selection after the link was back: '$again', before: '$table'"
    e2e_key Escape
    e2e_wait_gone_window "Varnex-NET-IO: Board-Übersicht"
    LOST_VIEW_SUMMARY="the rows' darkest ink $ink while current, $stale while the link was lost, $current back; selection kept"
}

# e2e_wait_gone_window TITLE: until no window of that title is shown.
e2e_wait_gone_window()
{
    local deadline=$(($(e2e_now_ms) + 5000))
    while [[ -n $(e2e_windows_titled "$1") ]]; do
        (($(e2e_now_ms) < deadline)) || e2e_fail "the window '$1' is still shown"
        sleep 0.1
    done
}

# e2e_expect_running_log WINDOW FILE UPS FILE_TYPED [COMMAND...]: the running log started from the
# output's menu (its entry UPS up from the end) into FILE (typed into the file dialog as
# FILE_TYPED), then a polling run of three seconds (or while COMMAND runs), then the program
# killed: the file holds every poll the simulator received, in order, each with its time, and the
# replies with their times. Sets LOG_SUMMARY.
e2e_expect_running_log()
{
    local window=$1 file=$2 ups=$3 typed=$4 polls logged replies before while=("${@:5}")
    ((${#while[@]})) || while=(sleep 3)
    before=$(e2e_record_count "cmd C")
    e2e_output_menu "$window" "$ups"
    e2e_wait_window "Mitschnitt starten" 10 "$window"
    e2e_wait_focus "$WINDOW"
    e2e_key ctrl+a
    e2e_type "$typed"
    e2e_key Return
    local deadline=$(($(e2e_now_ms) + 5000))
    until [[ -s $file ]]; do
        (($(e2e_now_ms) < deadline)) || e2e_fail "no log was begun in $file"
        sleep 0.1
    done
    # The overview open meanwhile: the log keeps the states it sees, not its reads.
    e2e_xdotool windowactivate --sync "$window" || e2e_fail "could not activate the main window"
    e2e_key F2
    e2e_wait_window "Varnex-NET-IO: Board-Übersicht" 15 "$window"
    e2e_click_control "$window" PollingToggle
    e2e_wait_window "Skarvel: Meldung" 5
    e2e_wait_focus "$WINDOW"
    e2e_key Return
    e2e_wait_record "cmd C" $((before + 4)) 5
    "${while[@]}"
    kill -KILL "$PROGRAM_PID"
    e2e_wait_gone "$PROGRAM_PID" 50 || e2e_fail "the program did not end when killed"
    wait "$PROGRAM_PID" 2>/dev/null || true
    e2e_forget "$PROGRAM_PID"
    polls=$(($(e2e_record_count "cmd C") - before))
    logged=$(tr -d '\r' <"$file" | grep -cE $'^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}\tPoll\tC$' || true)
    replies=$(tr -d '\r' <"$file" | grep -cE $'\tAntwort\tC:[0-9A-F]{6}\t[0-9]+$' || true)
    ((logged >= polls && logged <= polls + 1)) || e2e_fail "$polls polls reached the board, $logged in the log: $(cat "$file")"
    ((replies >= polls - 1)) || e2e_fail "$polls polls, $replies replies in the log: $(cat "$file")"
    tr -d '\r' <"$file" | sed -n 1p | grep -qE '^# Skarvel-Mitschnitt, Board [^ ]+:[0-9]+\. ' || e2e_fail "the log's header: $(head -n 1 "$file")"
    tr -d '\r' <"$file" | sed -n 2p | grep -q $'\tMitschnitt begonnen\t' || e2e_fail "the log's first line: $(head -n 2 "$file")"
    grep -q $'\tPolling Start\t' "$file" || e2e_fail "the log does not go on with the polling run: $(head -n 4 "$file")"
    # A line for every entry's state as the overview first saw it, none for its reads.
    (($(grep -c $'\tZustand\t' "$file") >= 10)) || e2e_fail "fewer than ten states in the log: $(cat "$file")"
    ! grep -q $'\tÜbersicht' "$file" || e2e_fail "the overview's reads are in the log: $(grep $'\tÜbersicht' "$file" | head -n 3)"
    # In order: the times never go back, and each poll is followed by its reply.
    tr -d '\r' <"$file" | sed 1d | awk -F'\t' 'prev > $1 { bad = 1 } { prev = $1 }
        $2 == "Antwort" && last != "Poll" { bad = 1 } { last = $2 } END { exit bad }' \
        || e2e_fail "the log is out of order: $(cat "$file")"
    LOG_SUMMARY="$polls polls, all in the log with their replies' times; the last lines: $(tail -n 5 "$file" | tr '\t\r' ' ' | tr '\n' '|')"
}

# The ids of the visible windows on the screen's top level, a menu among them, in order.
e2e_top_windows() { e2e_xdotool search --onlyvisible --maxdepth 1 --name '' 2>/dev/null | sort; }

# e2e_expect_output_while_polling WINDOW PICTURES NAME: with polling filling the output, lines
# selected by a drag stay in sight as more come (the output pictured right after the drag, and
# 1.5 s later, the same), and Shift+F10 opens the output's menu at the caret, where the drag ended. Leaves PICTURES/NAME-selection.png and NAME-menu.png.
e2e_expect_output_while_polling()
{
    local window=$1 shot=$2/$3 left top x y area before menu deadline
    e2e_wait_record "cmd C" $(($(e2e_record_count "cmd C") + 16)) 8   # the output full
    # The drag ends at (x, y), and the picture holds the output's upper left part.
    e2e_control_point "$window" OutputEditor 0 0
    left=$POINT_X top=$POINT_Y
    x=$((left + 35)) y=$((top + 70)) area=($((left + 2)) $((top + 2)) $((BOX_WIDTH - 40)) $((BOX_HEIGHT - 50)))
    # The pointer goes away to a corner, where it raises no tooltip and no menu opens.
    e2e_xdotool mousemove $((left + 20)) $((top + 25)) mousedown 1 mousemove "$x" "$y" sleep 0.3 mouseup 1 \
        mousemove 0 0 sleep 0.3 || e2e_fail "could not drag over the output"
    python3 "$E2E_TOOLS/screenshot.py" "$shot-selection.png" "${area[@]}" || e2e_fail "no picture of the output"
    sleep 1.5
    python3 "$E2E_TOOLS/screenshot.py" "$E2E_DIR/later.png" "${area[@]}" || e2e_fail "no picture of the output"
    cmp -s "$shot-selection.png" "$E2E_DIR/later.png" || e2e_fail "the selection moved as lines came (see $E2E_DIR)"
    before=$(e2e_top_windows)
    e2e_key shift+F10
    deadline=$(($(e2e_now_ms) + 5000))
    until menu=$(comm -13 <(echo "$before") <(e2e_top_windows) | head -n 1) && [[ -n $menu ]]; do
        (($(e2e_now_ms) < deadline)) || e2e_fail "Shift+F10 opened no menu"
        sleep 0.1
    done
    sleep 0.3
    e2e_window_geometry "$menu"
    ((WIN_X - x <= 24 && x - WIN_X <= 24 && WIN_Y - y <= 24 && y - WIN_Y <= 24)) \
        || e2e_fail "the menu opened at $WIN_X,$WIN_Y, not at the caret near $x,$y"
    python3 "$E2E_TOOLS/screenshot.py" "$shot-menu.png" "${area[0]}" "${area[1]}" 400 260 || e2e_fail "no picture"
    e2e_key Escape
}
