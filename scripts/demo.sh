#!/usr/bin/env bash
# For now the demo is the transport on its own: a sample file becomes base-45 frames in both
# transport modes, a fifth of the frames are lost on the way, and the rest become the file again.
set -euo pipefail
cli=${1:-build/bin/vexaqr}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A sample of about 6 KB: some text and some random bytes.
{
    for i in $(seq 1 60); do echo "line $i of the sample that travels through animated QR frames"; done
    head -c 2048 /dev/urandom
} >"$work/sample.bin"
size=$(stat -c %s "$work/sample.bin")
echo "demo: sample file of $size bytes"

status=0
for mode in luby cyclic; do
    # Enough frames for several passes, so that the losses can be made up.
    "$cli" frames encode --mode "$mode" --count 120 "$work/sample.bin" >"$work/$mode.frames"
    sent=$(wc -l <"$work/$mode.frames")
    awk 'BEGIN { srand() } rand() >= 0.2' "$work/$mode.frames" >"$work/$mode.received"
    kept=$(wc -l <"$work/$mode.received")
    first=$(head -c 60 "$work/$mode.frames" | head -n 1)
    echo "demo: $mode: $sent frames sent (first begins \"$first...\"), $((sent - kept)) dropped at random"
    if "$cli" frames decode --out "$work/$mode.out" <"$work/$mode.received" 2>"$work/$mode.log" &&
        cmp -s "$work/sample.bin" "$work/$mode.out"; then
        echo "demo: $mode: decoded $(stat -c %s "$work/$mode.out") bytes, identical to the sample"
    else
        echo "demo: $mode: FAILED" >&2
        cat "$work/$mode.log" >&2
        status=1
    fi
done
exit $status
