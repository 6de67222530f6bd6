#!/usr/bin/env bash
# The Windows program under Wine, used as a person would, on one desktop and one wineserver in a
# network namespace of its own (nothing but loopback), against the Linux simulator:
#  1. the first start: three questions, the 26-byte file, the preset board not found, exit code 0;
#  2. the connect window held up by a connect that hangs: all five lines readable;
#  3. the main window with a sound server of the test's own: title and size, commands typed and
#     sent ("C", "ä" as the byte E4, Q, none; Enter sends nothing), replies in blue, the reference
#     in red, polling (a minute of it keeps at most 100 bytes a line), the click's stream suspended
#     untouched, in front too, woken by the pointer (over the output too), one whole click per
#     button press, after the sound server restarted too, none from another default device,
#     closed with Alt+F4 within 2 s;
#  4. silently, against a board that never answers: clicks made while it waits are lost, typed
#     text is kept; the board's web page goes to the browser and the program ends with 0.
# Pictures of its windows, the main window beside the Linux build's, stay in SCREENSHOTS.
# Usage: wine.sh SKARVEL.EXE NETIO_SIM CLICK_COUNTER WINE_PREFIX SCREENSHOTS [LINUX_SKARVEL]
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_isolate_network "$@"
[[ $# -ge 5 ]] || { echo "usage: $0 SKARVEL.EXE NETIO_SIM CLICK_COUNTER WINE_PREFIX SCREENSHOTS [LINUX_SKARVEL]" >&2; exit 2; }
counter=$(realpath "$3")
prefix=$4
shots=$5
linux=${6:-}
e2e_setup wine "$1" "$2"
e2e_loopback_up
command -v xclip >/dev/null || { echo "missing tool: xclip (scripts/install-deps.sh)" >&2; exit 1; }
mkdir -p "$shots"
screen_tool=$(dirname "$0")/screenshot.py
main_title="Varnex-NET-IO-TerminalEmulation V1.0"

# A Wine program's first start in a session brings up Wine's own services too.
wine_start=30
# How many 10-second intervals polling runs to see what a polled line costs in memory.
polling_intervals=6

e2e_start_x
e2e_start_wm
e2e_use_wine "$prefix"

# shot NAME WINDOW: a picture of the window and its surroundings.
shot()
{
    e2e_window_geometry "$2"
    python3 "$screen_tool" "$shots/$1.png" $((WIN_X - 12)) $((WIN_Y - 32)) $((WIN_W + 24)) $((WIN_H + 44)) \
        || e2e_fail "no picture of $1"
}

# The red and blue pixels in the output control of the main window, inside its edges and scroll bars.
output_colours()
{
    e2e_control_point "$1" OutputEditor 2 2
    python3 "$screen_tool" --colours "$POINT_X" "$POINT_Y" $((BOX_WIDTH - 20)) $((BOX_HEIGHT - 20))
}

# wait_colour WINDOW red|blue: until text of that colour stands in the output.
wait_colour()
{
    local deadline=$(($(e2e_now_ms) + 5000)) red blue
    while :; do
        read -r _ red _ blue <<<"$(output_colours "$1")"
        [[ $2 == red ]] && ((red > 50 && blue == 0)) && return 0
        [[ $2 == blue ]] && ((blue > 50 && red == 0)) && return 0
        (($(e2e_now_ms) < deadline)) || e2e_fail "no $2 text in the output (red $red, blue $blue pixels)"
        sleep 0.1
    done
}

# The main window's controls, each with how its text is placed there: centred, or from the left
# (the title and the output).
controls=(
    "TitleText left" "SendButton centre" "ReferenceButton centre" "OutputEditor left" "AuthorSiteButton centre"
    "FirmwareSiteButton centre" "BoardWebButton centre" "CountQueryButton centre" "PollingToggle centre"
)

# ink_box WINDOW NAME: the box round the dark pixels inside a control (its edges left out, and
# the output's right quarter with its scroll bar), in the control's own pixels:
# "LEFT TOP RIGHT BOTTOM" or "none".
ink_box()
{
    e2e_control_point "$1" "$2" 3 3
    [[ $2 == OutputEditor ]] && BOX_WIDTH=$((BOX_WIDTH * 3 / 4))
    python3 "$screen_tool" --ink-box "$POINT_X" "$POINT_Y" $((BOX_WIDTH - 6)) $((BOX_HEIGHT - 6))
}

# compare_controls WINDOWS LINUX: the two programs draw the text of every control in the same
# place, give or take their fonts: centred text about the same centre, other text from the same
# left edge, each on the same middle row.
compare_controls()
{
    local row name placed windows linux wl wt wr wb ll lt lr lb
    for row in "${controls[@]}"; do
        read -r name placed <<<"$row"
        windows=$(ink_box "$1" "$name")
        linux=$(ink_box "$2" "$name")
        [[ $windows != none && $linux != none ]] || e2e_fail "$name: ink on Windows '$windows', on Linux '$linux'"
        read -r wl wt wr wb <<<"$windows"
        read -r ll lt lr lb <<<"$linux"
        if [[ $placed == centre ]]; then
            ((wl + wr - ll - lr <= 12 && ll + lr - wl - wr <= 12)) \
                || e2e_fail "$name: text across $wl-$wr on Windows, $ll-$lr on Linux"
        else
            ((wl - ll <= 3 && ll - wl <= 3)) || e2e_fail "$name: text from $wl on Windows, from $ll on Linux"
        fi
        if [[ $name == OutputEditor ]]; then
            ((wt - lt <= 3 && lt - wt <= 3)) || e2e_fail "$name: the first line at $wt on Windows, $lt on Linux"
        else
            ((wt + wb - lt - lb <= 6 && lt + lb - wt - wb <= 6)) \
                || e2e_fail "$name: text down $wt-$wb on Windows, $lt-$lb on Linux"
        fi
        e2e_log "$name: Windows $windows, Linux $linux"
    done
}

# settle WINDOW: until its output has stopped changing, for a picture.
settle()
{
    local deadline=$(($(e2e_now_ms) + 5000)) before now
    now=$(output_colours "$1")
    while :; do
        sleep 0.3
        before=$now
        now=$(output_colours "$1")
        [[ $now == "$before" ]] && return 0
        (($(e2e_now_ms) < deadline)) || return 0
    done
}

# The output's whole text, as a user copies it (e2e_output_text), without the bar.
output_text() { local text; text=$(e2e_output_text "$1"); echo "${text%|}"; }

# end_sim: the current simulator goes, with its record.
end_sim()
{
    kill "$SIM_PID" 2>/dev/null
    wait "$SIM_PID" 2>/dev/null || true
    e2e_forget "$SIM_PID"
    rm -f "$SIM_RECORD"
}

# --- 1. First start --------------------------------------------------------------------------
e2e_start_program
seen=()
for question in host telnet-port http-port; do
    e2e_wait_window "Skarvel: Meldung" "$wine_start" "${seen[@]}"
    seen+=("$WINDOW")
    e2e_wait_focus "$WINDOW"
    e2e_window_geometry "$WINDOW"
    # 300 x 130 outside, as Windows measures its frame.
    ((WIN_W > 280 && WIN_W <= 300 && WIN_H > 90 && WIN_H < 130)) || e2e_fail "question window client ${WIN_W}x$WIN_H"
    [[ $question == host ]] && shot windows-question "$WINDOW"
    e2e_key Return
done
e2e_wait_window "Varnex-NET-IO: Problem" 25
problem=$WINDOW
e2e_wait_focus "$problem"
settings=$E2E_WORK/Skarvel.ini
[[ $(od -An -c "$settings" 2>/dev/null) == "$(printf '192.168.0.90\r\n64400\r\n180\r\n' | od -An -c)" ]] \
    || e2e_fail "Skarvel.ini holds:$(od -An -c "$settings" 2>/dev/null)"
(($(stat -c %s "$settings") == 26)) || e2e_fail "Skarvel.ini has $(stat -c %s "$settings") bytes, not 26"
[[ -z $(e2e_windows_titled "$main_title") ]] || e2e_fail "main window opened without a board"
e2e_key Return
e2e_wait_program_exit 10
e2e_expect_exit_code_0
e2e_log "first start: three questions, 26 bytes written, board not found, exit code 0"

# --- 2. The connect window ------------------------------------------------------------------
e2e_start_sim --hang
e2e_write_settings 127.0.0.1 "$SIM_PORT" 8080
e2e_start_program
e2e_wait_window "Varnex-NET-IO: Meldung" 15
connect=$WINDOW
e2e_expect_connect_window_lines "$connect"
shot windows-connecting "$connect"
# Without its simulator the connect fails at once.
end_sim
e2e_wait_window "Varnex-NET-IO: Problem" 25
e2e_wait_focus "$WINDOW"
e2e_key Return
e2e_wait_program_exit 10
e2e_expect_exit_code_0

# --- 3. The main window, with sound ----------------------------------------------------------
coproc COUNTER { exec "$counter" 2>"$E2E_DIR/counter.err"; }
E2E_PIDS+=("$COUNTER_PID")
read -r -t 15 word pulse <&"${COUNTER[0]}" || true
[[ ${word:-} == pulse ]] || e2e_fail "no sound server: $(cat "$E2E_DIR/counter.err")"

# A second device, that the program finds at its start: output there is not heard.
second_sink() { LC_ALL=C timeout 5 pactl --server="$pulse" load-module module-null-sink sink_name=elsewhere \
    sink_properties=device.description=Anderswo >/dev/null || e2e_fail "cannot add a second sink"; }
second_sink
e2e_start_sim
e2e_write_settings 127.0.0.1 "$SIM_PORT" 8080
no_sound=$PULSE_SERVER
export PULSE_SERVER=$pulse
e2e_start_program
export PULSE_SERVER=$no_sound
e2e_wait_window "$main_title" "$wine_start"
main=$WINDOW
windows_program=$PROGRAM_PID
e2e_wait_record connect 1
e2e_window_geometry "$main"
[[ $WIN_W == 420 && $WIN_H == 370 ]] || e2e_fail "main window client is ${WIN_W}x$WIN_H, expected 420x370"
e2e_wait_focus "$main"
presses=0

e2e_type C                               # the focus starts in CommandField
e2e_key Return                           # does nothing
sleep 0.5
(($(e2e_record_count "cmd C") == 0)) || e2e_fail "Enter in the command field sent the command"
e2e_click_control "$main" SendButton
presses=$((presses + 1))
e2e_wait_record "cmd C" 1 5
wait_colour "$main" blue
text=$(output_text "$main")
[[ $text == ">C"$'\n'"C:"* && $(wc -l <<<"$text") == 2 ]] || e2e_fail "the output after C reads: '$text'"

# xdotool types a character outside the keyboard's map by remapping a spare key for a moment,
# which a busy X server now and then lets slip: the field is read back and typed again.
for ((attempt = 1; ; attempt++)); do
    e2e_click_control "$main" CommandField
    e2e_key ctrl+a
    LC_ALL=C.UTF-8 e2e_type "ä"      # xdotool reads its text by the locale
    e2e_key End shift+Home ctrl+c
    typed=$(e2e_copied)
    [[ $typed == "ä|" ]] && break
    ((attempt < 3)) || e2e_fail "typing ä gave '${typed%|}' three times"
    e2e_log "typing ä gave '${typed%|}'; typed again"
done
e2e_key Tab space                        # SendButton by the keyboard
presses=$((presses + 1))
e2e_wait_record 'recv \\xE4\\x0D' 1 5
[[ $(output_text "$main") == ">ä"$'\n'* ]] || e2e_fail "the output after ä reads: '$(output_text "$main")'"

e2e_click_control "$main" CountQueryButton
presses=$((presses + 1))
e2e_wait_record "cmd Q" 1 5
wait_colour "$main" blue

e2e_click_control "$main" CommandField
e2e_key ctrl+a BackSpace
commands="cmd ([^x].*|x.+)?"            # all but the idle message
sent=$(e2e_record_count "$commands")
e2e_click_control "$main" SendButton
presses=$((presses + 1))
e2e_wait_window "Varnex-NET-IO: Meldung" 5
e2e_wait_focus "$WINDOW"
shot windows-empty-command "$WINDOW"
e2e_key Return
e2e_wait_focus "$main"
(($(e2e_record_count "$commands") == sent)) || e2e_fail "an empty command went out"

e2e_click_control "$main" ReferenceButton
presses=$((presses + 1))
wait_colour "$main" red
reference=$(output_text "$main")
[[ $(head -n 1 <<<"$reference") == "Befehle für das Varnex-NET-IO-Board" && $(wc -l <<<"$reference") == 69 ]] \
    || e2e_fail "the reference reads $(wc -l <<<"$reference") lines, beginning '$(head -n 1 <<<"$reference")'"

# The Linux build beside it, showing the same.
if [[ -n $linux && -x $linux ]]; then
    e2e_start_program "$linux"
    linux_program=$PROGRAM_PID
    e2e_wait_window "$main_title" 15 "$main"
    linux_main=$WINDOW
    e2e_wait_record connect 2
    e2e_xdotool windowmove "$main" 40 150 windowmove "$linux_main" 560 150 || e2e_fail "cannot place the windows"
    sleep 0.5
    e2e_click_control "$linux_main" ReferenceButton
    wait_colour "$linux_main" red
    e2e_click_control "$main" ReferenceButton
    presses=$((presses + 1))
    wait_colour "$main" red
    settle "$main"
    settle "$linux_main"
    e2e_xdotool mousemove 0 0
    python3 "$screen_tool" "$shots/main-windows-windows-and-linux.png" || e2e_fail "no picture of the screen"
    compare_controls "$main" "$linux_main"
    e2e_close_by_wm "$linux_main"
    PROGRAM_PID=$linux_program
    e2e_wait_program_exit 10
    PROGRAM_PID=$windows_program
else
    e2e_log "no Linux build given: the main window is pictured alone"
    shot main-window-windows "$main"
fi

# Polling: asks (Escape answers nothing, and the toggle comes out again), then about 8 polls in
# 2 s; released, it stops and says so.
e2e_click_control "$main" PollingToggle   # pressed in
e2e_wait_window "Skarvel: Meldung" 5
e2e_wait_focus "$WINDOW"
e2e_key Escape
e2e_wait_window "Skarvel: Problem" 5
e2e_wait_focus "$WINDOW"
e2e_key Return
e2e_wait_focus "$main"
e2e_click_control "$main" PollingToggle   # pressed in again
e2e_wait_window "Skarvel: Meldung" 5
e2e_wait_focus "$WINDOW"
idle=$(e2e_record_count "cmd x")
sleep 1.2
(($(e2e_record_count "cmd x") == idle)) || e2e_fail "the idle message went out while the question was open"
before=$(e2e_record_count "cmd C")
e2e_type C                               # the preset is the empty answer now
e2e_key Return
e2e_wait_record "cmd C" $((before + 1)) 3
sleep 2.3
first=$(e2e_record_times "cmd C" | sed -n "$((before + 1))p")
polls=$(e2e_record_times "cmd C" | awk -v t="$first" '$1 >= t && $1 - t < 2000' | wc -l)
((polls >= 5 && polls <= 11)) || e2e_fail "C polled $polls times in 2 s, expected about 8"
# A minute more of polling, after a few seconds to settle: what each polled line keeps of the
# program's memory, as the system counts it (resident), at most 100 bytes. Taken as the median of
# 10-second intervals, as a heap takes a new block now and then, which shows in one interval only.
# (A rich edit kept some 7 KB; bench/polling_run.sh runs longer.)
sleep 5
resident_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$windows_program/status"; }
resident=$(resident_kb)
first_resident=$resident
counted=$(e2e_record_count "cmd C")
growths=()
for ((interval = 0; interval < polling_intervals; interval++)); do
    sleep 10
    now=$(resident_kb)
    growths+=($(((now - resident) * 1024)))
    resident=$now
done
polled=$(($(e2e_record_count "cmd C") - counted))
((polled >= polling_intervals * 30)) || e2e_fail "only $polled polls in $((polling_intervals * 10)) s"
# The pace over that minute: the median gap between polls the board received, 250 ms +-20 %.
gap=$(e2e_record_times "cmd C" | tail -n "$polled" | awk 'NR > 1 { print $1 - last } { last = $1 }' | sort -n \
    | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
((gap >= 200 && gap <= 300)) || e2e_fail "polls came a median $gap ms apart, not 250"
median=$(printf '%s\n' "${growths[@]}" | sort -n | awk '{ v[NR] = $1 } END { print int((v[int((NR + 1) / 2)] + v[int(NR / 2) + 1]) / 2) }')
per_line=$((median * polling_intervals / polled))
((per_line <= 100)) || e2e_fail "the program grew by ${growths[*]} bytes in 10-second intervals of about" \
    "$((polled / polling_intervals)) polls: $per_line a line"
e2e_click_control "$main" PollingToggle   # released
sleep 0.4
stopped=$(e2e_record_count "cmd C")
sleep 1
(($(e2e_record_count "cmd C") == stopped)) || e2e_fail "C still polled after the release"
polling=$(output_text "$main")
[[ $(head -n 1 <<<"$polling") == "*** Starte Polling mit Befehls-Sequenz 'C' ***" \
    && $(tail -n 1 <<<"$polling") == "*** Beende Polling von Befehls-Sequenz 'C' ***" ]] \
    || e2e_fail "the polling output begins '$(head -n 1 <<<"$polling")' and ends '$(tail -n 1 <<<"$polling")'"

# Untouched, in front or in the background, the click's stream is suspended after some seconds (the
# sound server sees it corked; the counter's own stream beside it is left out); the pointer
# moving over a window of the program, the output too, wakes it, and a press clicks whole.
wait_corked()
{
    local deadline=$(($(e2e_now_ms) + $2 * 1000)) corked
    while :; do
        corked=$(LC_ALL=C timeout 5 pactl --server="$pulse" list sink-inputs 2>/dev/null \
            | awk '/Corked:/ { state = $2 } /application.name = "Skarvel"/ { print state }')
        [[ $corked == "$1" ]] && return 0
        (($(e2e_now_ms) < deadline)) || e2e_fail "the click's stream is corked '$corked', not '$1', within $2 s ($3):" \
            "$(LC_ALL=C timeout 5 pactl --server="$pulse" list sink-inputs 2>&1 | grep -E 'Corked|name|latency')"
        sleep 0.2
    done
}
wait_corked no 2 "in front"
e2e_control_point "$main" TitleText 190 5
e2e_xdotool mousemove "$POINT_X" "$POINT_Y" || e2e_fail "cannot move the pointer"
wait_corked yes 13 "untouched in front"
e2e_control_point "$main" OutputEditor 150 100
e2e_xdotool mousemove "$POINT_X" "$POINT_Y" || e2e_fail "cannot move the pointer"
wait_corked no 2 "the pointer moved over the output"
xmessage -geometry +700+600 "Ein anderes Programm" &
E2E_PIDS+=($!)
other=$!
e2e_wait_window "xmessage" 10
e2e_xdotool windowactivate --sync "$WINDOW" mousemove --window "$WINDOW" 5 5 || e2e_fail "cannot bring another window to the front"
wait_corked yes 13 "untouched in the background"
e2e_control_point "$main" SendButton
e2e_xdotool mousemove "$POINT_X" "$POINT_Y" || e2e_fail "cannot move the pointer"
wait_corked no 2 "the pointer come over the window in the background"
e2e_xdotool windowactivate --sync "$main" || e2e_fail "cannot bring the window back"
wait_corked no 3 "back in front"
e2e_wait_focus "$main"
kill "$other"
e2e_click_control "$main" CountQueryButton
presses=$((presses + 1))
e2e_wait_record "cmd Q" 2 5

# The sound server restarted: the press after it opens the device again and clicks.
echo restart >&"${COUNTER[1]}"
read -r -t 15 word _ <&"${COUNTER[0]}" || true
[[ ${word:-} == restarted ]] || e2e_fail "the sound server did not start again: $(cat "$E2E_DIR/counter.err")"
e2e_click_control "$main" CountQueryButton
presses=$((presses + 1))
e2e_wait_record "cmd Q" 3 5

# The second device made the default output (Wine keeps the choice in its registry and tells
# the program): the next press plays there, unheard; the choice undone, the press after it is
# heard again. Each a second after the last opening.
second_sink
elsewhere=$(timeout 30 wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\MMDevices\Audio\Render' /s \
    2>/dev/null | tr -d '\r' | awk '/^HKEY/ { key = $0 } /Anderswo/ { found = key } END { print found }' | grep -o '{[0-9A-F-]*}')
[[ -n $elsewhere ]] || e2e_fail "Wine lists no device for the second sink"
asked=$(e2e_record_count "cmd Q")
for choice in "add /d {0.0.0.00000000}.$elsewhere" delete; do
    read -r verb value <<<"$choice"
    timeout 30 wine reg "$verb" 'HKCU\Software\Wine\Drivers\winepulse.drv' /v DefaultOutput $value /f >/dev/null 2>&1 \
        || e2e_fail "cannot $verb Wine's default output"
    sleep 1
    e2e_click_control "$main" CountQueryButton
    presses=$((presses + 1))
    e2e_wait_record "cmd Q" $((++asked)) 5
done
echo count >&"${COUNTER[1]}"
read -r -t 15 word clicks _ whole <&"${COUNTER[0]}" || true
[[ ${word:-} == clicks ]] || e2e_fail "the sound server gave no count: $(cat "$E2E_DIR/counter.err")"
((clicks == presses - 1 && whole == clicks)) \
    || e2e_fail "$presses button presses, one elsewhere, $clicks clicks heard, $whole whole: $(cat "$E2E_DIR/counter.err")"

closes=$(e2e_record_count close)
closing=$(e2e_now_ms)
e2e_close_by_wm "$main"
e2e_wait_program_exit 2
e2e_expect_exit_code_0
e2e_log "closed after $(($(e2e_now_ms) - closing)) ms; $polls polls in 2 s, then $gap ms apart; $presses presses, $clicks clicks;" \
    "memory: $per_line bytes a polled line ($(((resident - first_resident) * 1024)) bytes in $polled polls)"
e2e_wait_record close $((closes + 1)) 5
e2e_expect_clean_stream
end_sim

# --- 4. Busy, then the board's web page; no sound server ---------------------------------------
e2e_start_sim --silent
e2e_write_settings 127.0.0.1 "$SIM_PORT" 8080
# Wine's shell notes the address it is handed, exactly: its browser bridge shows it in a
# canonical form (with the path "/").
WINEDEBUG=trace+exec e2e_start_program
e2e_wait_window "$main_title" "$wine_start"
main=$WINDOW
e2e_wait_focus "$main"
e2e_type F
e2e_expect_busy_window "$main" 10 2.5
sleep 1.2

e2e_click_control "$main" BoardWebButton
e2e_wait_program_exit 5
e2e_expect_exit_code_0
e2e_wait_record close 1 5
grep -q 'SHELL_execute .* verb=L"open" file=L"http://127\.0\.0\.1:8080" .*show=0x00000001' "$E2E_DIR/skarvel.out" \
    || e2e_fail "the shell was not handed exactly http://127.0.0.1:8080 to open"
for ((i = 0; i < 100; i++)); do [[ -s $WEB_CALLS ]] && break; sleep 0.1; done
sleep 0.3
[[ $(cat "$WEB_CALLS" 2>/dev/null) == "http://127.0.0.1:8080/" && $(cat "$WEB_ARGC") == 1 ]] \
    || e2e_fail "browser opener got '$(cat "$WEB_CALLS" 2>/dev/null)', expected 'http://127.0.0.1:8080/' once"
e2e_expect_clean_stream
e2e_log "$BUSY_SUMMARY; screenshots in $shots"
e2e_pass
