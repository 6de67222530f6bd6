#!/usr/bin/env bash
# The program as a screen reader meets it over AT-SPI: a frame with the window's title holding a
# field named "Befehlszeile" and a read-only text named "Ausgabe"; the output holds every line and
# announces each appended line as inserted text (the reference's 69 lines, then every polled
# reply), while the field stays quiet as polling sets the command it already holds on every tick.
# The program writes nothing to its output all the while.
set -euo pipefail
# The accessibility bus starts on a session bus of the scenario's own.
if [[ -z ${E2E_OWN_SESSION_BUS:-} ]]; then
    command -v dbus-run-session >/dev/null || { echo "missing tool: dbus-run-session (scripts/install-deps.sh)" >&2; exit 1; }
    E2E_OWN_SESSION_BUS=1 exec dbus-run-session -- bash "$0" "$@"
fi
session_bus=$DBUS_SESSION_BUS_ADDRESS
source "$(dirname "$0")/lib.sh"
e2e_setup screen_reader "$@"
export DBUS_SESSION_BUS_ADDRESS=$session_bus

launcher=/usr/libexec/at-spi-bus-launcher
[[ -x $launcher ]] && /usr/bin/python3 -c 'import pyatspi' 2>/dev/null \
    || e2e_fail "AT-SPI is missing: at-spi2-core, python3-pyatspi (scripts/install-deps.sh)"
"$launcher" --launch-immediately >"$E2E_DIR/atspi.log" 2>&1 &
E2E_PIDS+=($!)
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

e2e_start_main_window 8080
main=$MAIN
e2e_wait_focus "$main"
e2e_type C                               # what polling will set

reader_log=$E2E_DIR/reader.log
: >"$reader_log"
/usr/bin/python3 "$(dirname "$0")/screen_reader.py" "$reader_log" 60 >"$E2E_DIR/reader.out" 2>&1 &
E2E_PIDS+=($!)

# reader_count PATTERN: lines of the reader's log matching the regex.
reader_count() { grep -cE "$1" "$reader_log" || true; }
# reader_wait PATTERN COUNT SECONDS
reader_wait()
{
    local deadline=$(($(e2e_now_ms) + $3 * 1000))
    until (($(reader_count "$1") >= $2)); do
        (($(e2e_now_ms) < deadline)) || e2e_fail "screen reader saw '$1' $(reader_count "$1") times, not $2, within $3 s: $(tail -n 5 "$reader_log")"
        sleep 0.05
    done
}

reader_wait '^ready$' 1 20
grep -qx "frame Varnex-NET-IO-TerminalEmulation V1.0" "$reader_log" || e2e_fail "no frame with the title: $(cat "$reader_log")"
grep -qx "field Befehlszeile" "$reader_log" || e2e_fail "no field named Befehlszeile: $(cat "$reader_log")"
found=$(grep '^found ' "$reader_log")
[[ $found == "found role=text "* && $found == *read-only* && $found != *editable* ]] \
    || e2e_fail "the output is not a read-only text: $found"
sleep 0.5                                # the program learns of the new listener over the bus

e2e_click_control "$main" ReferenceButton
reader_wait '^insert ' 69 10
grep -qx 'insert 0 Befehle für das Varnex-NET-IO-Board' "$reader_log" || e2e_fail "no insert of the heading"
(($(reader_count '^insert ') == 69)) || e2e_fail "$(reader_count '^insert ') inserts for the 69 reference lines"
touch "$reader_log.dump"
reader_wait '^text ' 1 5
grep -qx 'text lines=69 first=Befehle für das Varnex-NET-IO-Board' "$reader_log" \
    || e2e_fail "text read back: $(grep '^text ' "$reader_log")"

e2e_click_control "$main" PollingToggle   # pressed in
e2e_wait_window "Skarvel: Meldung" 3
e2e_wait_focus "$WINDOW"
e2e_key Return                           # accepts the preset "C"
reader_wait "^insert 0 \\*\\*\\* Starte Polling mit Befehls-Sequenz 'C' \\*\\*\\*\$" 1 5
changes=$(reader_count '^change Befehlszeile$')
reader_wait '^insert [0-9]+ \|C:[0-9A-F]+$' 4 5
e2e_wait_record "cmd C" 8 5
(($(reader_count '^change Befehlszeile$') == changes)) \
    || e2e_fail "Befehlszeile reported $(($(reader_count '^change Befehlszeile$') - changes)) text changes while polling"
e2e_click_control "$main" PollingToggle   # released

e2e_close_by_wm "$main"
e2e_wait_program_exit 10
e2e_expect_exit_code_0
[[ ! -s $E2E_DIR/skarvel.out ]] || e2e_fail "the program wrote: $(head -c 300 "$E2E_DIR/skarvel.out")"
e2e_log "$found; $(reader_count '^insert ') inserted texts heard"
e2e_pass
