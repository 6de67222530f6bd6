#!/usr/bin/env bash
# What a screen reader learns of the main window over AT-SPI: a frame with the window's title
# holding a text field named "Befehlszeile", which stays quiet while polling sets the command
# it already holds on every tick. The program writes nothing to its output all the while.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
e2e_setup accessibility "$@"
for tool in dbus-daemon /usr/bin/python3; do
    command -v "$tool" >/dev/null || { echo "missing tool: $tool (scripts/install-deps.sh)" >&2; exit 1; }
done

# A session bus of our own, on which the accessibility bus starts when first asked for.
bus_file=$E2E_DIR/bus-address
: >"$bus_file"
dbus-daemon --session --nofork --nopidfile --print-address=5 5>"$bus_file" >"$E2E_DIR/dbus.log" 2>&1 &
E2E_PIDS+=($!)
tries=100
until grep -q . "$bus_file"; do
    ((tries-- > 0)) || e2e_fail "the session bus gave no address in 10 s"
    sleep 0.1
done
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$bus_file")
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

e2e_start_main_window 8080
main=$MAIN
e2e_wait_focus "$main"
e2e_type C                               # what polling will set

heard=$E2E_DIR/atspi.out
: >"$heard"
/usr/bin/python3 "$(dirname "$0")/atspi_watch.py" skarvel "$E2E_DIR/stop-listening" 40 >"$heard" 2>"$E2E_DIR/atspi.err" &
watcher=$!
E2E_PIDS+=($watcher)
deadline=$(($(e2e_now_ms) + 20000))
until grep -qx listening "$heard"; do
    e2e_alive "$watcher" || e2e_fail "the AT-SPI watcher ended: $(cat "$E2E_DIR/atspi.err")"
    (($(e2e_now_ms) < deadline)) || e2e_fail "the AT-SPI watcher found nothing in 20 s: $(cat "$heard")"
    sleep 0.1
done
grep -qx "frame Varnex-NET-IO-TerminalEmulation V1.0" "$heard" || e2e_fail "no frame with the title: $(cat "$heard")"
grep -qx "text Befehlszeile" "$heard" || e2e_fail "no field named Befehlszeile: $(cat "$heard")"

e2e_click "$main" 10 340 180 20         # PollingToggle, pressed in
e2e_wait_window "Skarvel: Meldung" 3
e2e_wait_focus "$WINDOW"
e2e_key Return                           # accepts the preset "C"
e2e_wait_record "cmd C" 8 5
touch "$E2E_DIR/stop-listening"
e2e_wait_gone "$watcher" 50 || e2e_fail "the AT-SPI watcher did not stop"
wait "$watcher" || e2e_fail "the AT-SPI watcher failed: $(cat "$E2E_DIR/atspi.err")"
e2e_forget "$watcher"
changes=$(awk '$1 == "changes" && $2 == "Befehlszeile" { print $3 }' "$heard")
[[ -z $changes ]] || e2e_fail "Befehlszeile reported $changes text changes during $(e2e_record_count "cmd C") polls"

e2e_close_by_wm "$main"
e2e_wait_program_exit 10
e2e_expect_exit_code_0
[[ ! -s $E2E_DIR/skarvel.out ]] || e2e_fail "the program wrote: $(head -c 300 "$E2E_DIR/skarvel.out")"
e2e_log "heard: $(tr '\n' ';' <"$heard")"
e2e_pass
