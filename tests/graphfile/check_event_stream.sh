#!/bin/bash
# The example graphs carry G.711 A-law and telephone events in one stream,
# and the receiver's dispatcher splits them onto its two capture sinks.
#   check_event_stream.sh ZQHOST FREEPORTS EXAMPLES WORKDIR
# Both graphs run as copies that use a free port pair instead of 5004/5005
# and write their files in WORKDIR.
set -u
zqhost=$1
freeports=$2
examples=$3
work=$4
rm -rf "$work"
mkdir -p "$work"
port=$("$freeports" 127.0.0.1 127.0.0.2) || { echo "no free port pair"; exit 1; }
for example in sender receiver; do
    sed -e "s/value=\"5004\"/value=\"$port\"/g" -e "s/value=\"5005\"/value=\"$((port + 1))\"/g" \
        -e "s|value=\"/tmp/|value=\"$work/|g" "$examples/$example.xml" >"$work/$example-copy.xml"
done

"$zqhost" run "$work/receiver-copy.xml" --seconds 6 >"$work/receiver.out" 2>"$work/receiver.err" &
receiver=$!
# The sender starts once the receiver's RTP socket is bound, so that the
# first frames are not sent to a closed port.
deadline=$((SECONDS + 30))
until grep -qs "bind socket on \[127.0.0.2:$port\]" "$work/receiver.err"; do
    if ((SECONDS > deadline)) || ! kill -0 "$receiver" 2>/dev/null; then
        echo "the receiver ended, or bound no RTP socket within 30 s"; cat "$work/receiver.out" "$work/receiver.err"
        kill -KILL "$receiver" 2>/dev/null
        exit 1
    fi
    sleep 0.05
done
"$zqhost" run "$work/sender-copy.xml" --seconds 3 >"$work/sender.out" 2>"$work/sender.err"
sender_rc=$?
wait "$receiver"
receiver_rc=$?
if ((sender_rc != 0 || receiver_rc != 0)); then
    echo "exit codes: sender $sender_rc, receiver $receiver_rc (expected 0 and 0)"
    cat "$work"/*.out "$work"/*.err
    exit 1
fi

# A file of whole payloads of `unit` bytes, at least one.
check_payloads() {
    local file=$1 unit=$2 size
    size=$(stat -c %s "$file" 2>/dev/null) || { echo "no $file"; return 1; }
    if ((size == 0 || size % unit != 0)); then
        echo "$file has $size bytes, expected a positive multiple of $unit"
        return 1
    fi
}
check_payloads "$work/zqhost-receiver.audioG711A" 160 &&
    check_payloads "$work/zqhost-receiver.audioRFC2833" 4 || { cat "$work"/*.out "$work"/*.err; exit 1; }
exit 0
