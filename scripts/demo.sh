#!/usr/bin/env bash
# The main job: a sealed record presented as animated QR codes in both transport modes, pictures of them
# scanned back with the real QR detector into the verified record (vexaqr demo); then the frame format
# on its own: a sample file as base-45 frames, a fifth of them lost, the rest decoded to the file again.
set -euo pipefail
cli=${1:-build/bin/vexaqr}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
"$cli" demo || status=1

# A sample of about 6 KB: some text and some random bytes.
{
    for i in $(seq 1 60); do echo "line $i of the sample that travels through animated QR frames"; done
    head -c 2048 /dev/urandom
} >"$work/sample.bin"
size=$(stat -c %s "$work/sample.bin")
echo "demo: frames alone: sample file of $size bytes"

for mode in luby cyclic; do
    # Enough frames for several passes, so that the losses can be made up.
    "$cli" frames encode --mode "$mode" --count 120 "$work/sample.bin" >"$work/$mode.frames"
    sent=$(wc -l <"$work/$mode.frames")
    awk 'BEGIN { srand() } rand() >= 0.2' "$work/$mode.frames" >"$work/$mode.received"
    kept=$(wc -l <"$work/$mode.received")
    echo "demo: frames alone: $mode: $sent frames sent, $((sent - kept)) dropped at random"
    if "$cli" frames decode --out "$work/$mode.out" <"$work/$mode.received" 2>"$work/$mode.log" &&
        cmp -s "$work/sample.bin" "$work/$mode.out"; then
        echo "demo: frames alone: $mode: decoded $(stat -c %s "$work/$mode.out") bytes, identical to the sample"
    else
        echo "demo: frames alone: $mode: FAILED" >&2
        cat "$work/$mode.log" >&2
        status=1
    fi
done
exit $status
