#!/bin/bash
# zqhost run with copies of the example graphs that use a free port pair
# instead of 5004/5005 and write their files in WORKDIR.
#   check_graph_runs.sh CASE ZQHOST FREEPORTS EXAMPLES WORKDIR
# stop_on_signal: the receiver stops cleanly on SIGINT and on SIGTERM once its
#   first statistics report is out (the graph runs, the handler is in place).
# events_reach_their_sink: G.711 A-law and telephone events go in one stream,
#   and the receiver's dispatcher splits them onto its two capture sinks.
set -u
case=$1 zqhost=$2 freeports=$3 examples=$4 work=$5
rm -rf "$work"
mkdir -p "$work"
port=$("$freeports" 127.0.0.1 127.0.0.2) || { echo "no free port pair"; exit 1; }
for example in sender receiver; do
    sed -e "s/value=\"5004\"/value=\"$port\"/g" -e "s/value=\"5005\"/value=\"$((port + 1))\"/g" \
        -e "s|value=\"/tmp/|value=\"$work/|g" "$examples/$example.xml" >"$work/$example.xml"
done

# Waits until `pattern` shows in `file`; fails when process `pid` ends first
# or 30 s pass. A process tells no one what it printed, so this looks.
wait_for() {
    local pattern=$1 file=$2 pid=$3 deadline=$((SECONDS + 30))
    until grep -qs -- "$pattern" "$file"; do
        if ((SECONDS > deadline)) || ! kill -0 "$pid" 2>/dev/null; then
            echo "no '$pattern' in $file within 30 s, or the process ended"; cat "$work"/*.out "$work"/*.err 2>/dev/null
            kill -KILL "$pid" 2>/dev/null
            exit 1
        fi
        sleep 0.05
    done
}

fail() {
    echo "$1"; cat "$work"/*.out "$work"/*.err 2>/dev/null
    exit 1
}

# A file of whole payloads of `unit` bytes, at least one.
expect_payloads() {
    local file=$1 unit=$2 size
    size=$(stat -c %s "$file" 2>/dev/null) || fail "no $file"
    ((size > 0 && size % unit == 0)) || fail "$file has $size bytes, expected a positive multiple of $unit"
}

case $case in
stop_on_signal)
    for signal in INT TERM; do
        "$zqhost" run "$work/receiver.xml" >"$work/$signal.out" 2>"$work/$signal.err" &
        pid=$!
        wait_for '^\[2\.0 s\]' "$work/$signal.out" "$pid"
        kill -"$signal" "$pid"
        wait "$pid"
        rc=$?
        ((rc == 0)) || fail "exit code $rc after SIG$signal, expected 0"
    done
    ;;
events_reach_their_sink)
    "$zqhost" run "$work/receiver.xml" --seconds 6 >"$work/receiver.out" 2>"$work/receiver.err" &
    receiver=$!
    # The first frames must not go to a port nobody has bound yet.
    wait_for "bind socket on \[127.0.0.2:$port\]" "$work/receiver.err" "$receiver"
    "$zqhost" run "$work/sender.xml" --seconds 3 >"$work/sender.out" 2>"$work/sender.err"
    sender_rc=$?
    wait "$receiver"
    receiver_rc=$?
    ((sender_rc == 0 && receiver_rc == 0)) ||
        fail "exit codes: sender $sender_rc, receiver $receiver_rc (expected 0 and 0)"
    expect_payloads "$work/zqhost-receiver.audioG711A" 160
    expect_payloads "$work/zqhost-receiver.audioRFC2833" 4
    ;;
*)
    fail "unknown case '$case'"
    ;;
esac
exit 0
