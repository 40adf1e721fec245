#!/usr/bin/env bash
# Fails when a unit includes a header from a layer above its own. The layers, lowest first:
#   platform -> transport | payload -> service -> hub -> sdk -> views -> sync -> tools
# transport and payload share a rank but must not include each other. The headers directly under
# include/vexaqr/ (Bytes, Error, Uuid) belong to the lowest layer, the umbrella header vexaqr.hpp to the top.
set -euo pipefail
cd "$(dirname "$0")/.."

find include src -name '*.hpp' -o -name '*.cpp' | sort | xargs grep -nE '^[[:space:]]*#[[:space:]]*include' | awk '
function rank(layer) {
    if (layer == "platform") return 0
    if (layer == "transport" || layer == "payload") return 1
    if (layer == "service") return 2
    if (layer == "hub") return 3
    if (layer == "sdk") return 4
    if (layer == "views") return 5
    if (layer == "sync") return 6
    return 9
}
function fileLayer(path, parts, n) {
    n = split(path, parts, "/")
    if (parts[1] == "include") return (n > 3) ? parts[3] : (parts[3] == "vexaqr.hpp" ? "tools" : "platform")
    return parts[2]
}
function includeLayer(target, parts, n) {
    n = split(target, parts, "/")
    if (parts[1] == "vexaqr") return (n > 2) ? parts[2] : (parts[2] == "vexaqr.hpp" ? "tools" : "platform")
    if (n > 1 && rank(parts[1]) < 9) return parts[1]
    return ""
}
{
    split($0, fields, ":")
    file = fields[1]; line = fields[2]
    target = $0
    sub(/^[^#]*#[[:space:]]*include[[:space:]]*[<"]/, "", target)
    sub(/[>"].*$/, "", target)
    to = includeLayer(target)
    if (to == "") next
    from = fileLayer(file)
    if (rank(to) > rank(from) || (rank(to) == 1 && rank(from) == 1 && to != from)) {
        printf "%s:%s: %s must not include %s (%s)\n", file, line, from, target, to > "/dev/stderr"
        bad++
    }
}
END {
    if (bad) { printf "check-layers: %d include(s) point up or across the layers\n", bad > "/dev/stderr"; exit 1 }
    print "check-layers: every include points down"
}'
