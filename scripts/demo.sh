#!/usr/bin/env bash
# The main job: a sealed record presented as animated QR codes in both transport modes, pictures of them
# scanned back with the real QR detector into the verified record (vexaqr demo); then the frame format
# on its own: a sample file as base-45 frames, a fifth of them lost, the rest decoded to the file again;
# last the backend account through the SDK facade against a devserver started here.
set -euo pipefail
cli=${1:-build/bin/vexaqr}
devserver=${2:-$(dirname "$cli")/vexaqr-devserver}
work=$(mktemp -d)
# The devserver is started by this shell, never by a subshell, so that the trap knows its process id and
# ends it however the demo ends: success, failure, Ctrl-C or kill.
server_pid=
cleanup() {
    if [ -n "$server_pid" ]; then
        kill "$server_pid" 2>/dev/null || true
        wait "$server_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

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

# The account: partner, activation code, registration with activation data (keys made and uploaded,
# push and hub registrations), a SECURED message sealed by the server, fetched and verified, log-out.
origin=
start_devserver() {
    coproc SERVER { exec "$devserver" serve --port 0 --data "$work/devserver.db" 2>"$work/devserver.log"; }
    server_pid=$SERVER_PID
    local line
    IFS= read -r -t 30 line <&"${SERVER[0]}" || return 1
    origin=${line#listening on }
}
account_flow() {
    local data="$work/installation" partner=DEMO-PARTNER email=demo@example.org
    local admin=("$devserver" admin --base-url "$origin")
    local account=(--base-url "$origin/api/v1/client" --data-dir "$data")
    echo "demo: account: devserver at $origin"
    "${admin[@]}" partner --partner-id "$partner" >/dev/null
    local code hub
    code=$("${admin[@]}" activation-code --partner-id "$partner" --email "$email")
    hub=$("${admin[@]}" hub-connection-string)
    "$cli" account register "${account[@]}" --email "$email" --partner-id "$partner" \
        --activation-code "$code" --key-size 2048 --device-token 0aff10203040 \
        --hub-name demo-hub --hub-connection-string "$hub"
    "$cli" account status "${account[@]}"
    local app_id
    app_id=$("$cli" account status --json "${account[@]}" | sed -n 's/.*"appUniqueId":"\([^"]*\)".*/\1/p')
    echo "A message for the demo installation, sealed by the server." >"$work/message.txt"
    "${admin[@]}" message --app-id "$app_id" --type secured --content "$work/message.txt" >/dev/null
    "$cli" account messages "${account[@]}" --content-dir "$work/contents" | tee "$work/messages.txt"
    grep -q "isValid: true" "$work/messages.txt"
    cat "$work/contents"/*.content | cmp -s - "$work/message.txt"
    echo "demo: account: the message arrived verified and decrypted"
    "$cli" account logout "${account[@]}"
    "$cli" account status "${account[@]}" | grep -q "state: initial"
    echo "demo: account: logged out"
}
if [ ! -x "$devserver" ]; then
    echo "demo: account: skipped, no devserver at $devserver" >&2
    status=1
elif ! start_devserver; then
    echo "demo: account: FAILED, the devserver did not start:" >&2
    cat "$work/devserver.log" >&2
    status=1
else
    # Not `if ! (account_flow)`: in a tested command bash ignores `set -e`, and a failed step in the middle
    # would go unnoticed.
    set +e
    (
        set -e
        account_flow
    )
    flow_status=$?
    set -e
    if [ "$flow_status" -ne 0 ]; then
        echo "demo: account: FAILED" >&2
        status=1
    fi
fi
exit $status
