#!/usr/bin/env bash
# Fails when a unit includes a header from a layer above its own. Two libraries, the layers lowest first:
#   codec:   platform -> transport | payload -> pictures -> sync
#   account: platform -> keys -> service -> hub -> sdk -> views -> sync      (every account layer above the codec)
# transport and payload share a rank but must not include each other, so the codec never reaches the account
# side. A unit's layer is its folder under src/; an installed header's is its library's folder of the same name
# (include/vexaqr/views/ is the codec's pictures), the library read from cmake/PublicHeaders.cmake. Bytes, Error,
# Uuid and Outcome belong to the lowest layer, the umbrella headers codec.hpp and vexaqr.hpp to the top of theirs.
set -euo pipefail
cd "$(dirname "$0")/.."

account_headers=$(sed -n '/^set(VEXAQR_ACCOUNT_PUBLIC_HEADERS/,/)/p' cmake/PublicHeaders.cmake |
    sed 's/set(VEXAQR_ACCOUNT_PUBLIC_HEADERS//; s/)//' | tr -s ' \n' ' ')

find include src -name '*.hpp' -o -name '*.cpp' | sort | xargs grep -nE '^[[:space:]]*#[[:space:]]*include' |
    awk -v account_headers="$account_headers" '
BEGIN {
    n = split(account_headers, list, " ")
    for (i = 1; i <= n; i++) account[list[i]] = 1
    split("codec/platform codec/transport codec/payload codec/pictures codec/sync account/platform account/keys " \
          "account/service account/hub account/sdk account/views account/sync top", order, " ")
    ranks["codec/platform"] = 0; ranks["codec/transport"] = 1; ranks["codec/payload"] = 1
    ranks["codec/pictures"] = 2; ranks["codec/sync"] = 3; ranks["account/platform"] = 4; ranks["account/keys"] = 5
    ranks["account/service"] = 6; ranks["account/hub"] = 7; ranks["account/sdk"] = 8; ranks["account/views"] = 9
    ranks["account/sync"] = 10; ranks["top"] = 11
}
# The layer of an installed header, given as its path under include/vexaqr/.
function publicLayer(path, parts, n, library, folder) {
    n = split(path, parts, "/")
    if (n == 1) {
        if (path == "vexaqr.hpp") return "top"
        if (path == "codec.hpp") return "codec/sync"
        return "codec/platform"
    }
    library = (path in account) ? "account" : "codec"
    folder = parts[1]
    if (library == "codec" && folder == "views") folder = "pictures"
    return library "/" folder
}
function fileLayer(path, parts) {
    if (substr(path, 1, 15) == "include/vexaqr/") return publicLayer(substr(path, 16))
    split(path, parts, "/")
    return parts[2] "/" parts[3]
}
function includeLayer(target, parts, n) {
    if (substr(target, 1, 7) == "vexaqr/") return publicLayer(substr(target, 8))
    n = split(target, parts, "/")
    if (n > 2 && ((parts[1] "/" parts[2]) in ranks)) return parts[1] "/" parts[2]
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
    if (!(from in ranks)) {
        printf "%s: not in a known layer (%s)\n", file, from > "/dev/stderr"
        bad++
        next
    }
    if (ranks[to] > ranks[from] || (ranks[to] == ranks[from] && to != from)) {
        printf "%s:%s: %s must not include %s (%s)\n", file, line, from, target, to > "/dev/stderr"
        bad++
    }
}
END {
    if (bad) { printf "check-layers: %d include(s) point up or across the layers\n", bad > "/dev/stderr"; exit 1 }
    print "check-layers: every include points down"
}'
