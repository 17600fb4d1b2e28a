#!/bin/bash
# zqhost run stops cleanly on SIGINT and SIGTERM and exits 0.
#   check_stop_signal.sh ZQHOST FREEPORTS GRAPH WORKDIR
# The signal is sent once the first statistics report is out: by then the
# graph runs and the handler is in place. The graph runs as a copy that uses
# a free port pair instead of 5004/5005 and writes its files in WORKDIR.
set -u
zqhost=$1
freeports=$2
example=$3
work=$4
mkdir -p "$work"
port=$("$freeports" 127.0.0.1 127.0.0.2) || { echo "no free port pair"; exit 1; }
graph="$work/$(basename "$example")"
sed -e "s/value=\"5004\"/value=\"$port\"/g" -e "s/value=\"5005\"/value=\"$((port + 1))\"/g" \
    -e "s|value=\"/tmp/|value=\"$work/|g" "$example" >"$graph"

for signal in INT TERM; do
    out="$work/stop-$signal.out"
    err="$work/stop-$signal.err"
    # Gone before the start: the shell truncates them only in the child, and
    # an old report must not pass for a new one.
    rm -f "$out" "$err"
    "$zqhost" run "$graph" >"$out" 2>"$err" &
    pid=$!
    deadline=$((SECONDS + 30))
    until grep -qs '^\[2\.0 s\]' "$out"; do
        if ((SECONDS > deadline)) || ! kill -0 "$pid" 2>/dev/null; then
            echo "zqhost ended, or printed no statistics report within 30 s (SIG$signal case)"; cat "$out" "$err"
            kill -KILL "$pid" 2>/dev/null
            exit 1
        fi
        sleep 0.1
    done
    kill -"$signal" "$pid"
    wait "$pid"
    rc=$?
    if ((rc != 0)); then
        echo "exit code $rc after SIG$signal, expected 0"; cat "$out" "$err"
        exit 1
    fi
done
exit 0
