#!/usr/bin/env bash
# The Win32 front end at 96, 144 and 192 dpi under Wine, on a display of its own (Xvfb, openbox),
# with a wineserver of its own in a network namespace of its own, as every Wine run. At each dpi:
#  - windows_desktop_test.exe tests the front end's windows from inside: the layout at the
#    screen's dpi and after a WM_DPICHANGED, what a screen reader calls each control, the output;
#  - skarvel.exe against the simulator: its client area (420x370 at 96 dpi, 630x555 at 144,
#    840x740 at 192) as the window system sees it, and a picture of it showing the command
#    reference in SCREENSHOTS/main-window-windows-<dpi>dpi.png.
# The dpi is Wine's LogPixels in the prefix's registry. Other tests share the prefix: its
# registry files are put back afterwards, and at the start should a run before have been killed.
# Usage: wine_desktop.sh DESKTOP_TEST.EXE SKARVEL.EXE NETIO_SIM WINE_PREFIX SCREENSHOTS
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_isolate_network "$@"
[[ $# -eq 5 ]] || { echo "usage: $0 DESKTOP_TEST.EXE SKARVEL.EXE NETIO_SIM WINE_PREFIX SCREENSHOTS" >&2; exit 2; }
desktop_test=$(realpath "$1")
prefix=$(realpath "$4")
shots=$5
e2e_setup wine-desktop "$2" "$3"
e2e_loopback_up
mkdir -p "$shots"
screen_tool=$(dirname "$0")/screenshot.py
main_title="Varnex-NET-IO-TerminalEmulation V1.0"

backup=$prefix.dpi-backup
# Ends the prefix's wineserver, which writes the registry out, and puts the files saved back.
restore_registry()
{
    [[ -d $backup ]] || return 0
    WINEPREFIX=$prefix timeout 30 wineserver -k >/dev/null 2>&1
    WINEPREFIX=$prefix timeout 30 wineserver -w >/dev/null 2>&1
    cp -p "$backup"/*.reg "$prefix"/ && rm -rf "$backup"
}
finish()
{
    local status=$?
    restore_registry
    (exit "$status")
    e2e_cleanup
}
trap finish EXIT

# A screen that holds the window at 192 dpi.
e2e_start_x 1600x1200
e2e_start_wm
restore_registry
e2e_use_wine "$prefix"
mkdir "$backup"
cp -p "$prefix"/*.reg "$backup"/

# set_dpi DPI: Wine's dpi for the programs started from now on, with a wineserver started anew.
set_dpi()
{
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >"$E2E_DIR/reg.out" 2>&1 \
        || e2e_fail "cannot set the dpi: $(cat "$E2E_DIR/reg.out")"
    e2e_use_wine "$prefix"
}

# run_test DPI: the test program's cases, its report printed; fails the scenario when one fails.
run_test()
{
    local status=0
    (cd "$E2E_WORK" && env -u LC_ALL LANG=C.UTF-8 SKARVEL_TEST_DPI="$1" timeout 120 wine "$desktop_test" \
        </dev/null >"$E2E_DIR/test.out" 2>&1) || status=$?
    grep -av '^ALSA lib' "$E2E_DIR/test.out" | tr -d '\r'
    ((status == 0)) || e2e_fail "windows_desktop_test.exe at $1 dpi ended with $status"
}

# run_program DPI: the main window's client area, and its picture.
run_program()
{
    local dpi=$1 width height
    e2e_start_sim
    e2e_write_settings 127.0.0.1 "$SIM_PORT" 8080
    e2e_start_program
    e2e_wait_window "$main_title" 30
    local main=$WINDOW
    e2e_wait_record connect 1
    e2e_wait_focus "$main"
    e2e_click_control "$main" ReferenceButton "$dpi" 96
    sleep 0.5
    e2e_window_geometry "$main"
    width=$((420 * dpi / 96))
    height=$((370 * dpi / 96))
    ((WIN_W >= width - 1 && WIN_W <= width + 1 && WIN_H >= height - 1 && WIN_H <= height + 1)) \
        || e2e_fail "main window client is ${WIN_W}x$WIN_H at $dpi dpi, expected ${width}x$height"
    e2e_xdotool mousemove 0 0 || true
    python3 "$screen_tool" "$shots/main-window-windows-${dpi}dpi.png" $((WIN_X - 12)) $((WIN_Y - 32)) \
        $((WIN_W + 24)) $((WIN_H + 44)) || e2e_fail "no picture at $dpi dpi"
    e2e_close_by_wm "$main"
    e2e_wait_program_exit 10
    e2e_expect_exit_code_0
    kill "$SIM_PID" 2>/dev/null
    wait "$SIM_PID" 2>/dev/null || true
    e2e_forget "$SIM_PID"
    e2e_log "$dpi dpi: client ${WIN_W}x$WIN_H"
}

for dpi in 96 144 192; do
    set_dpi "$dpi"
    run_test "$dpi"
    run_program "$dpi"
done
e2e_pass
