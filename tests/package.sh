#!/usr/bin/env bash
# The Debian package as cpack makes it, unpacked into a temp folder (never installed): its name,
# its files, its dependencies, the desktop entry, metainfo and man pages through their validators,
# lintian, and the unpacked launcher and program against the unpacked simulator.
# Usage: package.sh BUILD_DIR SOURCE_DIR APP_ID VERSION [ARCHITECTURE EMULATOR...]
# A cross build's package names its ARCHITECTURE (arm64), and its programs run under EMULATOR.
set -euo pipefail
build=$(realpath "$1") source=$(realpath "$2") id=$3 version=$4
architecture=${5:-$(dpkg --print-architecture)}
emulator=("${@:6}")
source "$source/tests/e2e/lib.sh"
e2e_setup package "$build/skarvel" "$build/netio-sim"
for tool in cpack dpkg-deb lintian desktop-file-validate appstreamcli man; do
    command -v "$tool" >/dev/null || e2e_fail "missing tool: $tool (scripts/install-deps.sh)"
done

# --- the package and its files ----------------------------------------------------------------
cpack -G DEB -B "$E2E_DIR/package" --config "$build/CPackConfig.cmake" >"$E2E_DIR/cpack.log" 2>&1 \
    || e2e_fail "cpack failed: $(tail -n 20 "$E2E_DIR/cpack.log")"
deb=$E2E_DIR/package/skarvel_${version}_$architecture.deb
[[ -f $deb ]] || e2e_fail "no $(basename "$deb"); made: $(cd "$E2E_DIR/package" && echo *.deb)"
root=$E2E_DIR/root
dpkg-deb -x "$deb" "$root"

expected=$(sort <<EOF
./usr/bin/netio-sim
./usr/bin/skarvel
./usr/libexec/skarvel/skarvel-launcher
./usr/share/applications/$id.desktop
./usr/share/doc/skarvel/changelog.gz
./usr/share/doc/skarvel/copyright
./usr/share/icons/hicolor/16x16/apps/$id.png
./usr/share/icons/hicolor/24x24/apps/$id.png
./usr/share/icons/hicolor/32x32/apps/$id.png
./usr/share/icons/hicolor/48x48/apps/$id.png
./usr/share/icons/hicolor/64x64/apps/$id.png
./usr/share/icons/hicolor/128x128/apps/$id.png
./usr/share/icons/hicolor/256x256/apps/$id.png
./usr/share/man/man1/netio-sim.1.gz
./usr/share/man/man1/skarvel.1.gz
./usr/share/metainfo/$id.metainfo.xml
./usr/share/pixmaps/skarvel.png
EOF
)
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
[[ $files == "$expected" ]] || e2e_fail "package files differ from the install rules:
$(diff <(echo "$expected") <(echo "$files"))"
for side in 16 24 32 48 64 128 256; do
    cmp -s "$root/usr/share/icons/hicolor/${side}x$side/apps/$id.png" "$source/data/icons/skarvel-$side.png" \
        || e2e_fail "installed $side-pixel icon is not the generated one"
done
cmp -s "$root/usr/share/pixmaps/skarvel.png" "$source/data/icons/skarvel-47x37.png" || e2e_fail "picture differs"
cmp -s "$root/usr/share/doc/skarvel/copyright" "$source/LICENSE" || e2e_fail "copyright is not the licence"
grep -q "^Exec=/usr/libexec/skarvel/skarvel-launcher\$" "$root/usr/share/applications/$id.desktop" \
    || e2e_fail "the desktop entry does not start the installed launcher"
[[ $(dpkg-deb -f "$deb" Architecture) == "$architecture" ]] || e2e_fail "Architecture: $(dpkg-deb -f "$deb" Architecture)"
# Every architecture's package names all of these (dpkg-shlibdeps leaves out a library it cannot
# place in a package of that architecture).
depends=$(dpkg-deb -f "$deb" Depends)
for package in fonts-liberation libpulse0 libqt6widgets6 libqt6gui6 libqt6core6 libcpp-httplib0.11 libstdc++6 \
               libgcc-s1 libc6; do
    [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] \
        || e2e_fail "Depends lacks $package: $depends"
done
e2e_log "$(basename "$deb"): $(wc -l <<<"$files") files; Depends: $depends"

# --- validators and lintian -------------------------------------------------------------------
desktop-file-validate "$root/usr/share/applications/$id.desktop" || e2e_fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/$id.metainfo.xml" >"$E2E_DIR/appstream.log" 2>&1 \
    || e2e_fail "appstreamcli: $(cat "$E2E_DIR/appstream.log")"
for page in skarvel netio-sim; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z \
        "$root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null) || e2e_fail "man $page failed: $warnings"
    [[ -z $warnings ]] || e2e_fail "man page $page: $warnings"
done
# help2man wrote netio-sim's page from the program's own --help, which lists its options.
LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l "$root/usr/share/man/man1/netio-sim.1.gz" 2>/dev/null \
    | grep -q -- '--http-port' || e2e_fail "netio-sim's man page does not list its options"
# Root is what runs here; lintian only warns about it.
lintian --fail-on error,warning "$deb" >"$E2E_DIR/lintian.log" 2>&1 \
    || e2e_fail "lintian: $(grep -v 'root privileges' "$E2E_DIR/lintian.log")"
e2e_log "validators and lintian: clean"

# --- the unpacked launcher and program --------------------------------------------------------
# The launcher starts the program by its path. Under an emulator it runs from a copy beside a
# stand-in that runs the unpacked program through the emulator.
launcher=$root/usr/libexec/skarvel/skarvel-launcher
E2E_SIM=$root/usr/bin/netio-sim
running=$root/usr/bin/skarvel
if ((${#emulator[@]})); then
    shim=$E2E_DIR/emulated
    mkdir -p "$shim/usr/libexec/skarvel" "$shim/usr/bin"
    cp "$launcher" "$shim/usr/libexec/skarvel/"
    launcher=$shim/usr/libexec/skarvel/skarvel-launcher
    for program in skarvel netio-sim; do
        printf -v command '%q ' "${emulator[@]}" "$root/usr/bin/$program"
        printf '#!/bin/bash\nexec %s"$@"\n' "$command" >"$shim/usr/bin/$program"
        chmod +x "$shim/usr/bin/$program"
    done
    E2E_SIM=$shim/usr/bin/netio-sim
    running=$(realpath "$(command -v "${emulator[0]}")")
fi
e2e_start_sim
# launch CONFIG_HOME HOME: the launcher from the desktop's point of view (a bare working folder).
launch()
{
    (
        cd "$E2E_WORK" || exit 1
        exec env XDG_CONFIG_HOME="$1" HOME="$2" PATH="$E2E_DIR/bin:$PATH" BROWSER="$E2E_DIR/bin/xdg-open" \
            QT_QPA_PLATFORM=offscreen "$launcher" >"$E2E_DIR/skarvel.out" 2>&1
    ) &
    PROGRAM_PID=$!
    E2E_PIDS+=($PROGRAM_PID)
}
stop_program()
{
    kill "$PROGRAM_PID" 2>/dev/null || true
    e2e_wait_gone "$PROGRAM_PID" 50 || e2e_fail "program did not end on TERM"
    wait "$PROGRAM_PID" 2>/dev/null || true
    e2e_forget "$PROGRAM_PID"
}

# With XDG_CONFIG_HOME set, the launcher creates its folder and runs the program in it (which,
# finding no settings there, asks for them and so never gets as far as connecting).
launch "$E2E_DIR/config-home" "$E2E_DIR/unused-home"
for ((i = 0; i < 100; i++)); do
    [[ $(readlink "/proc/$PROGRAM_PID/exe" 2>/dev/null) == "$running" ]] && break
    e2e_alive "$PROGRAM_PID" || e2e_fail "launcher ended: $(cat "$E2E_DIR/skarvel.out")"
    sleep 0.1
done
[[ $(readlink "/proc/$PROGRAM_PID/cwd") == "$E2E_DIR/config-home/skarvel" ]] \
    || e2e_fail "program runs in $(readlink "/proc/$PROGRAM_PID/cwd"), not in the configuration folder"
stop_program
[[ ! -e $E2E_DIR/unused-home ]] || e2e_fail "the launcher used HOME although XDG_CONFIG_HOME was set"

# Without it, the folder is ~/.config/skarvel; with settings there, the program reaches the board.
mkdir -p "$E2E_DIR/home/.config/skarvel"
printf '127.0.0.1\r\n%s\r\n80\r\n' "$SIM_PORT" >"$E2E_DIR/home/.config/skarvel/Skarvel.ini"
launch "" "$E2E_DIR/home"
e2e_wait_record connect 1
e2e_wait_record "cmd x" 1
stop_program
[[ ! -e $E2E_WORK/Skarvel.ini ]] || e2e_fail "Skarvel.ini was written in the starting folder"
e2e_pass
