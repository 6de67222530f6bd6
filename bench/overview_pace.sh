#!/usr/bin/env bash
# Polling beside the open overview against a board that answers every message in 200 ms (the
# simulator's --delay): the polls a second over 10 s, and how long the overview took to have its
# whole table. The real program under Xvfb; run by hand, not by ctest:
#   bash bench/overview_pace.sh build/skarvel build/netio-sim [DELAY_MS]
set -euo pipefail
source "$(dirname "$0")/../tests/e2e/lib.sh"
delay=${3:-200}
e2e_setup overview_pace "$1" "$2"
e2e_start_main_window 8080 --delay "$delay"
main=$MAIN
e2e_wait_focus "$main"
e2e_click_control "$main" PollingToggle
e2e_wait_window "Skarvel: Meldung" 3
e2e_wait_focus "$WINDOW"
e2e_key Return                           # accepts the preset "C"
e2e_wait_record "cmd C" 1 5
sleep 2
e2e_wait_focus "$main"
e2e_key F2
opened=$(e2e_record_times "cmd C" | tail -n 1)
e2e_wait_window "Varnex-NET-IO: Board-Übersicht" 5
sleep 10
from=$(e2e_record_times "cmd Q" | head -n 1)
polls=$(e2e_record_times "cmd C" | awk -v t="$from" '$1 >= t && $1 < t + 10000' | wc -l)
last_state=$(e2e_record_times "cmd P[0-9]" | awk -v t="$from" '$1 >= t' | head -n 1)
reads=$(e2e_record_times "cmd [QNSP][0-9A-F]*" | awk -v t="$from" '$1 >= t && $1 < t + 10000' | wc -l)
e2e_log "replies after $delay ms: $(awk -v p="$polls" 'BEGIN { printf "%.2f", p / 10 }') polls a second over 10 s with the" \
    "overview open ($reads reads of the overview; its first P ${last_state:+$((last_state - from)) ms after its Q}${last_state:-not yet})"
e2e_pass
