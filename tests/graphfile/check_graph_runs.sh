#!/bin/bash
# zqhost run with copies of the example graphs that use a free port pair
# instead of 5004/5005 and write their files in WORKDIR.
#   check_graph_runs.sh CASE ZQHOST FREEPORTS EXAMPLES WORKDIR
# stop_on_signal: the receiver stops cleanly on SIGINT and on SIGTERM once its
#   first statistics report is out (the graph runs, the handler is in place).
set -u
case=$1 zqhost=$2 freeports=$3 examples=$4 work=$5
rm -rf "$work"
mkdir -p "$work"
port=$("$freeports" 127.0.0.1 127.0.0.2) || { echo "no free port pair"; exit 1; }
sed -e "s/value=\"5004\"/value=\"$port\"/g" -e "s/value=\"5005\"/value=\"$((port + 1))\"/g" \
    -e "s|value=\"/tmp/|value=\"$work/|g" "$examples/receiver.xml" >"$work/receiver.xml"

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
*)
    fail "unknown case '$case'"
    ;;
esac
exit 0
