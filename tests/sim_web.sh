#!/usr/bin/env bash
# The simulator's web page through a real HTTP client (curl), beside its command port: the page
# shows what N and P report, a switch on the page shows in the next P and a T on the page, and
# malformed requests get a 4xx while both ports go on serving.
# Usage: sim_web.sh NETIO_SIM
set -euo pipefail
export LC_ALL=C
sim=$1
dir=$(mktemp -d "${TMPDIR:-/tmp}/skarvel-web.XXXXXX")
sim_pid=
cleanup()
{
    if [[ -n $sim_pid ]]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$dir"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

: >"$dir/out"
"$sim" --port 0 --http-port 0 >"$dir/out" 2>"$dir/err" &
sim_pid=$!
for ((i = 0; i < 100; i++)); do
    grep -q '^http-port [0-9]' "$dir/out" && break
    kill -0 "$sim_pid" 2>/dev/null || fail "simulator ended: $(cat "$dir/err")"
    sleep 0.1
done
[[ $(sed -n 1p "$dir/out") == "port "* && $(sed -n 2p "$dir/out") == "http-port "* ]] \
    || fail "expected 'port N' then 'http-port N', got: $(cat "$dir/out")"
port=$(awk '/^port /{ print $2 }' "$dir/out")
http=$(awk '/^http-port /{ print $2 }' "$dir/out")
base=http://127.0.0.1:$http

exec 3<>"/dev/tcp/127.0.0.1/$port"
# ask COMMAND: sets reply to the data after the echo and ":".
ask()
{
    printf '%s\r' "$1" >&3
    local line
    IFS= read -r -t 5 line <&3 || fail "no reply to $1 within 5 s"
    line=${line%$'\r'}
    [[ $line == "$1:"* ]] || fail "reply to $1: '$line'"
    reply=${line#"$1:"}
}
# fetch [curl options] ADDRESS: the page into $dir/page, the status into status.
fetch() { status=$(curl -sS --max-time 5 -o "$dir/page" -w '%{http_code}' "$@") || fail "curl $*"; }
all_states() { local page s=; for page in 0 1 2 3 4 5; do ask "P$page"; s+="$reply/"; done; echo "$s"; }

# --- the page shows what N and P report ---------------------------------------------------------
ask Q
count=$((16#$reply))
((count > 0)) || fail "no entries"
# Inputs change by themselves: the page counts only if P says the same before and after it.
for ((try = 0; try < 5; try++)); do
    before=$(all_states)
    fetch "$base/"
    [[ $(all_states) == "$before" ]] && break
done
[[ $status == 200 ]] || fail "page: status $status"
ask F
grep -q "<span id=\"firmware\">$reply</span>" "$dir/page" || fail "firmware $reply not on the page"
grep -Eq '<span id="uhrzeit">[0-2][0-9]:[0-5][0-9]:[0-5][0-9]</span>' "$dir/page" || fail "no time on the page"
for page in 0 1 2 3 4 5; do
    ask "S$page"
    grep -qF "<h2 id=\"seite-$page\">$reply</h2>" "$dir/page" || fail "page name '$reply' of page $page missing"
done
declare -A seen=()
IFS=/ read -r -a states <<<"$before"
for ((id = 0; id < count; id++)); do
    hex=$(printf '%02X' "$id")
    ask "N$hex"
    kind=${reply:0:1} page=${reply:1:1} place=${reply:2:1} name=${reply:3}
    index=${seen[$page]:-0}
    seen[$page]=$((index + 1))
    state=aus
    [[ ${states[page]:index*4:4} == 0001 ]] && state=ein
    art=Eingang
    [[ $kind == O ]] && art=Ausgang
    # The name as the page writes it: a Windows-1252 letter beyond ASCII as a character reference.
    name=$(printf '%s' "$name" | LC_ALL=C perl -pe 's/([\xA0-\xFF])/"&#".ord($1).";"/ge')
    row="<tr id=\"eintrag-$hex\"><td>$hex</td><td>$place</td><td>$name</td><td>$art</td><td class=\"$state\">$state</td>"
    grep -qF "$row" "$dir/page" || fail "no row '$row' for N$hex:$reply"
    under=$(awk -v id="eintrag-$hex" '/<h2 id="seite-/ { split($0, a, "\""); section = a[2] } index($0, id) { print section }' "$dir/page")
    [[ $under == "seite-$page" ]] || fail "N$hex is shown under '$under', not under seite-$page"
    if [[ $kind == O ]]; then
        grep -F "$row" "$dir/page" | grep -qF "action=\"/toggle/$id\"" || fail "N$hex has no switch"
        output=$id output_hex=$hex output_page=$page output_index=$index output_state=$state
    fi
done

# --- switching on the page and by T share one state ---------------------------------------------
[[ -n ${output:-} ]] || fail "no output to switch"
expect_state()   # WORD: the output's state on the page and in P
{
    local p
    fetch "$base/"
    grep -qF "<tr id=\"eintrag-$output_hex\">" "$dir/page" || fail "row $output_hex gone"
    grep -F "<tr id=\"eintrag-$output_hex\">" "$dir/page" | grep -qF "<td class=\"$1\">$1</td>" \
        || fail "page shows output $output_hex not '$1'"
    ask "P$output_page"
    p=${reply:output_index*4:4}
    [[ $p == $([[ $1 == ein ]] && echo 0001 || echo 0000) ]] || fail "P$output_page shows $p for the output, page '$1'"
}
other() { [[ $1 == ein ]] && echo aus || echo ein; }
fetch -d '' "$base/toggle/$output"
[[ $status == 303 ]] || fail "switch through the page: status $status"
expect_state "$(other "$output_state")"
ask "T$output"
[[ $reply == $([[ $output_state == ein ]] && echo 1 || echo 0) ]] || fail "T$output answered $reply"
expect_state "$output_state"
fetch -d '' "$base/toggle/0"
[[ $status == 404 ]] || fail "switching input 0: status $status, expected 404"

# --- malformed requests get a 4xx, and both ports go on serving ---------------------------------
long=$(head -c 100000 /dev/zero | tr '\0' a)
fetch "$base/$long"
[[ $status == 4?? ]] || fail "100 KB request line: status $status"
fetch --path-as-is "$base/../../etc/passwd"
[[ $status == 4?? ]] || fail "path with ../: status $status"
grep -q root: "$dir/page" && fail "a file outside was served"
fetch -X FROB "$base/"
[[ $status == 4?? ]] || fail "unknown method: status $status"
fetch "$base/toggle/$output"
[[ $status == 405 ]] || fail "GET on a switch: status $status, expected 405"
# A client that sends half a request and waits holds up neither port.
exec 4<>"/dev/tcp/127.0.0.1/$http"
printf 'GET / HTTP/1.1\r\n' >&4
ask Q
fetch "$base/"
[[ $status == 200 ]] || fail "page after the bad requests: status $status"
exec 4>&- 3>&-
# It ends cleanly on TERM (under the sanitizers: with nothing to report).
kill "$sim_pid"
for ((i = 0; i < 100; i++)); do
    [[ $(ps -o stat= -p "$sim_pid" 2>/dev/null) == Z* || -z $(ps -o stat= -p "$sim_pid" 2>/dev/null) ]] && break
    sleep 0.1
done
((i < 100)) || fail "simulator still running 10 s after TERM"
code=0
wait "$sim_pid" || code=$?
sim_pid=
[[ $code == 0 ]] || fail "simulator ended with $code: $(tail -n 30 "$dir/err")"
echo "web page: $count entries as N and P report them, switches shared with T, bad requests refused"
