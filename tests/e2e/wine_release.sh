#!/usr/bin/env bash
# The Windows release as a user gets it, under Wine in a network namespace of its own (nothing but
# loopback), in a copy of the build's Wine prefix:
#  1. an older build installed, then this one over it with `msiexec /i … /qn`: one Skarvel in the
#     uninstall list, with this version, its publisher and icon; the three files in
#     %LOCALAPPDATA%\Programs\Skarvel; a Start-menu shortcut to the program whose working folder
#     is %APPDATA%\Skarvel;
#  2. started as the shortcut starts it: the three first-start questions, Skarvel.ini written in
#     %APPDATA%\Skarvel;
#  3. `msiexec /x … /qn`: program, shortcut and uninstall entry gone, Skarvel.ini left as it was;
#  4. the zip unpacked into a folder of its own: skarvel.exe runs from there with Skarvel.ini beside
#     it, connects to the simulated board and closes.
# Usage: wine_release.sh MSI ZIP RELEASE_FILES WXS NETIO_SIM WINE_PREFIX
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_isolate_network "$@"
[[ $# -eq 6 ]] || { echo "usage: $0 MSI ZIP RELEASE_FILES WXS NETIO_SIM WINE_PREFIX" >&2; exit 2; }
msi=$(realpath "$1")
zip=$(realpath "$2")
files=$(realpath "$3")
wxs=$(realpath "$4")
e2e_setup wine-release "$files/skarvel.exe" "$5"
e2e_loopback_up
for tool in wixl lnkinfo unzip; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool (scripts/install-deps.sh)" >&2; exit 1; }
done
version=$(basename "$msi" | sed -E 's/^skarvel-(.*)-x64\.msi$/\1/')
older=0.0.1

# An older build of the same installer, the program unchanged.
(cd "$files" && wixl --arch x64 --define Version=$older --output "$E2E_DIR/skarvel-$older-x64.msi" "$wxs") \
    >"$E2E_DIR/wixl.log" 2>&1 || e2e_fail "no older installer: $(cat "$E2E_DIR/wixl.log")"
# Installs change the prefix: they go to a copy of it.
cp -a "$6" "$E2E_DIR/wine" || e2e_fail "cannot copy the Wine prefix $6"

e2e_start_x
e2e_start_wm
e2e_use_wine "$E2E_DIR/wine"

# win PROGRAM ARGUMENTS...: a Windows program run to its end, its output with LF line ends.
win()
{
    timeout -k 5 120 env -u LC_ALL LANG=C.UTF-8 wine "$@" </dev/null 2>>"$E2E_DIR/wine.err" | sed 's/\r$//'
    return "${PIPESTATUS[0]}"
}
unix_path() { win winepath -u "$1"; }
# The same Windows path, as Windows compares them.
same_path() { [[ ${1,,} == "${2,,}" ]]; }

# uninstall_entries: "name|version|publisher" of every program in the uninstall lists.
uninstall_entries()
{
    local root
    for root in HKCU HKLM; do
        win reg query "$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s || true
    done | awk '
        function flush() { if (key != "" && name != "") print name "|" version "|" publisher; name = version = publisher = "" }
        /^HKEY_/ { flush(); key = $0; next }
        $1 == "DisplayName" { sub(/^ *DisplayName +REG_[A-Z_]+ +/, ""); name = $0 }
        $1 == "DisplayVersion" { sub(/^ *DisplayVersion +REG_[A-Z_]+ +/, ""); version = $0 }
        $1 == "Publisher" { sub(/^ *Publisher +REG_[A-Z_]+ +/, ""); publisher = $0 }
        END { flush() }'
}

# The product's icon as Windows Installer keeps it for "Apps & features".
product_icon()
{
    win reg query 'HKCU\Software\Microsoft\Installer\Products' /s | awk '
        /^HKEY_/ { if (name == "Skarvel" && icon != "") print icon; name = icon = ""; next }
        $1 == "ProductName" { sub(/^ *ProductName +REG_[A-Z_]+ +/, ""); name = $0 }
        $1 == "ProductIcon" { sub(/^ *ProductIcon +REG_[A-Z_]+ +/, ""); icon = $0 }
        END { if (name == "Skarvel" && icon != "") print icon }'
}

appdata=$(win cmd /c echo %APPDATA%)
localappdata=$(win cmd /c echo %LOCALAPPDATA%)
[[ $appdata == [A-Z]:\\* && $localappdata == [A-Z]:\\* ]] || e2e_fail "no user folders: '$appdata', '$localappdata'"
program_dir=$localappdata\\Programs\\Skarvel
settings_dir=$appdata\\Skarvel
shortcut=$(unix_path "$appdata\\Microsoft\\Windows\\Start Menu\\Programs\\Skarvel.lnk")
program_unix=$(unix_path "$program_dir")
settings_unix=$(unix_path "$settings_dir")

# --- 1. Installed over an older build -------------------------------------------------------------
win msiexec /i "$(win winepath -w "$E2E_DIR/skarvel-$older-x64.msi")" /qn || e2e_fail "msiexec /i of $older: exit code $?"
[[ $(uninstall_entries | grep -c '^Skarvel|') == 1 ]] || e2e_fail "the older build is not installed: $(uninstall_entries)"
msi_windows=$(win winepath -w "$msi")
win msiexec /i "$msi_windows" /qn /l*v "$(win winepath -w "$E2E_DIR/install.log")" || e2e_fail "msiexec /i: exit code $?"
entries=$(uninstall_entries | grep '^Skarvel|' || true)
[[ $(wc -l <<<"$entries") == 1 && $entries == "Skarvel|$version|"?* ]] \
    || e2e_fail "installed over $older, the uninstall list has: $(tr '\n' ' ' <<<"$entries")"
icon=$(product_icon)
[[ -n $icon ]] && cmp -s "$(unix_path "$icon")" "$files/skarvel.ico" || e2e_fail "no program icon for 'Apps & features': '$icon'"
[[ $(ls "$program_unix" 2>/dev/null | LC_ALL=C sort | tr '\n' ' ') == "LICENSE.txt README.txt skarvel.exe " ]] \
    || e2e_fail "$program_dir holds: $(ls "$program_unix" 2>&1 | tr '\n' ' ')"
cmp -s "$program_unix/skarvel.exe" "$files/skarvel.exe" || e2e_fail "the installed skarvel.exe is not the program built"
[[ -f $shortcut ]] || e2e_fail "no shortcut $shortcut"
link=$(lnkinfo "$shortcut") || e2e_fail "lnkinfo cannot read $shortcut"
target=$(awk -F ': ' '/^\tLocal path/ { print $2 }' <<<"$link")
start_in=$(awk -F ': ' '/^\tWorking directory/ { print $2 }' <<<"$link")
same_path "$target" "$program_dir\\skarvel.exe" || e2e_fail "the shortcut starts '$target'"
same_path "${start_in%\\}" "$settings_dir" || e2e_fail "the shortcut starts in '$start_in', not $settings_dir"
e2e_log "$older, then $version installed: $entries; shortcut to $target in $start_in"

# --- 2. Started from the shortcut -----------------------------------------------------------------
# By the shell, from another folder: only the shortcut can take the program to its own. The shell
# hands nothing back to wait for, so the program's own process stands for it: the one of this
# prefix that runs skarvel.exe.
(
    cd "$E2E_WORK" || exit 1
    exec env -u LC_ALL LANG=C.UTF-8 PATH="$E2E_DIR/bin:$PATH" BROWSER="$E2E_DIR/bin/xdg-open" \
        wine start /unix "$shortcut" >"$E2E_DIR/skarvel.out" 2>&1 </dev/null
) &
starter=$!
E2E_PIDS+=("$starter")
PROGRAM_PID=
for ((i = 0; i < 300; i++)); do
    [[ -z $PROGRAM_PID ]] || break
    for pid in $(pgrep -f 'skarvel\.exe' || true); do
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$E2E_WINE_PREFIX" && PROGRAM_PID=$pid
    done
    sleep 0.1
done
[[ -n $PROGRAM_PID ]] || e2e_fail "the shortcut started no skarvel.exe in 30 s: $(cat "$E2E_DIR/skarvel.out")"
seen=()
for question in host telnet-port http-port; do
    e2e_wait_window "Skarvel: Meldung" 30 "${seen[@]}"
    seen+=("$WINDOW")
    e2e_wait_focus "$WINDOW"
    e2e_key Return
done
e2e_wait_window "Varnex-NET-IO: Problem" 25
# Started through the shell, the message may come up behind the last question's place: the
# answer needs it in front.
e2e_xdotool windowactivate --sync "$WINDOW" || true
e2e_wait_focus "$WINDOW"
settings=$settings_unix/Skarvel.ini
[[ $(od -An -c "$settings" 2>/dev/null) == "$(printf '192.168.0.90\r\n64400\r\n180\r\n' | od -An -c)" ]] \
    || e2e_fail "$settings_dir\\Skarvel.ini holds:$(od -An -c "$settings" 2>&1)"
[[ ! -e $E2E_WORK/Skarvel.ini && ! -e $program_unix/Skarvel.ini ]] || e2e_fail "Skarvel.ini written outside $settings_dir"
e2e_key Return
# Not a child of this shell: its exit code stays with the shell that started it.
e2e_wait_gone "$PROGRAM_PID" 100 || e2e_fail "the program still runs 10 s after its last message"
cp "$settings" "$E2E_DIR/settings-before"
e2e_log "started from the shortcut: three questions, $settings_dir\\Skarvel.ini written"

# --- 3. Uninstalled -------------------------------------------------------------------------------
win msiexec /x "$msi_windows" /qn || e2e_fail "msiexec /x: exit code $?"
[[ ! -e $program_unix ]] || e2e_fail "$program_dir is still there: $(ls "$program_unix" | tr '\n' ' ')"
[[ ! -e $shortcut ]] || e2e_fail "the shortcut is still there"
[[ -z $(uninstall_entries | grep '^Skarvel|') ]] || e2e_fail "still in the uninstall list: $(uninstall_entries)"
cmp -s "$settings" "$E2E_DIR/settings-before" || e2e_fail "the uninstall took or changed $settings_dir\\Skarvel.ini"
e2e_log "uninstalled; Skarvel.ini kept"

# --- 4. The zip -----------------------------------------------------------------------------------
E2E_WORK="$E2E_DIR/Eigene Programme/Skarvel"
mkdir -p "$E2E_WORK"
unzip -q "$zip" -d "$E2E_WORK" || e2e_fail "cannot unpack $zip"
e2e_start_sim
e2e_write_settings 127.0.0.1 "$SIM_PORT" 8080
e2e_start_program "$E2E_WORK/skarvel.exe"
e2e_wait_window "Varnex-NET-IO-TerminalEmulation V1.0" 30
e2e_wait_record connect 1
e2e_wait_focus "$WINDOW"
e2e_close_by_wm "$WINDOW"
e2e_wait_program_exit 5
e2e_expect_exit_code_0
e2e_log "the zip's skarvel.exe ran from its own folder with the settings beside it"
e2e_pass
