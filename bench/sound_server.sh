# A private PulseAudio server for the benchmarks, as a desktop runs one: a null sink that the
# server suspends after 1 s without a stream playing (module-suspend-on-idle). Source it after
# tests/e2e/lib.sh and call bench_start_sound_server once e2e_setup has run: it sets
# BENCH_PULSE (the value for PULSE_SERVER) and BENCH_PULSE_PID; the e2e cleanup ends it.

bench_start_sound_server()
{
    command -v pulseaudio >/dev/null || { echo "missing tool: pulseaudio (scripts/install-deps.sh)" >&2; exit 1; }
    local folder=$E2E_DIR/pulse tries=100
    mkdir -m 700 -p "$folder"
    cat >"$folder/server.pa" <<PA
load-module module-null-sink sink_name=idle rate=44100 channels=2
set-default-sink idle
load-module module-suspend-on-idle timeout=1
load-module module-native-protocol-unix auth-anonymous=1 socket=$folder/native
PA
    printf 'autospawn = no\n' >"$folder/client.conf"
    env -u PULSE_SERVER HOME="$folder" XDG_RUNTIME_DIR="$folder" XDG_CONFIG_HOME="$folder/config" \
        PULSE_RUNTIME_PATH="$folder" PULSE_STATE_PATH="$folder/state" PULSE_CLIENTCONFIG="$folder/client.conf" \
        pulseaudio --daemonize=no --system=false --exit-idle-time=-1 -n -F "$folder/server.pa" \
        --use-pid-file=no --disallow-exit --log-target="file:$folder/server.log" </dev/null &
    BENCH_PULSE_PID=$!
    E2E_PIDS+=("$BENCH_PULSE_PID")
    BENCH_PULSE=unix:$folder/native
    export PULSE_CLIENTCONFIG=$folder/client.conf
    until PULSE_SERVER=$BENCH_PULSE timeout 5 pactl info >/dev/null 2>&1; do
        e2e_alive "$BENCH_PULSE_PID" || e2e_fail "pulseaudio ended at start: $(tail -n 5 "$folder/server.log")"
        ((tries-- > 0)) || e2e_fail "pulseaudio did not answer in 10 s"
        sleep 0.1
    done
}

# CPU milliseconds (user + system, all threads) a process has used so far, to the microsecond.
bench_cpu_ms()
{
    local total=0 task run
    for task in /proc/"$1"/task/*/schedstat; do
        read -r run _ <"$task" 2>/dev/null || continue
        total=$((total + run))
    done
    awk -v ns="$total" 'BEGIN { printf "%.3f", ns / 1e6 }'
}
