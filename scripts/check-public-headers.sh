#!/usr/bin/env bash
# Fails when a public header includes anything but the C++ standard library and other public headers, when a
# codec header includes an account-side one, or when a public header does not compile on its own.
#   usage: scripts/check-public-headers.sh [list]   (default cmake/PublicHeaders.cmake; CXX picks the compiler)
set -euo pipefail
cd "$(dirname "$0")/.."
list=${1:-cmake/PublicHeaders.cmake}
cxx=${CXX:-c++}

# The C++20 standard library, and the C library in its C++ spelling.
std_headers=" algorithm any array atomic barrier bit bitset charconv chrono codecvt compare complex concepts
 condition_variable coroutine deque exception execution filesystem format forward_list fstream functional future
 initializer_list iomanip ios iosfwd iostream istream iterator latch limits list locale map memory memory_resource
 mutex new numbers numeric optional ostream queue random ranges ratio regex scoped_allocator semaphore set
 shared_mutex source_location span sstream stack stdexcept stop_token streambuf string string_view syncstream
 system_error thread tuple type_traits typeindex typeinfo unordered_map unordered_set utility valarray variant
 vector version cassert cctype cerrno cfenv cfloat cinttypes climits clocale cmath csetjmp csignal cstdarg cstddef
 cstdint cstdio cstdlib cstring ctime cuchar cwchar cwctype "
std_headers=" $(echo $std_headers) " # one space between names, for the pattern match below

# The lists in cmake/PublicHeaders.cmake: the names after set(VEXAQR_CODEC_PUBLIC_HEADERS (codec) and
# set(VEXAQR_ACCOUNT_PUBLIC_HEADERS (vexaqr), each up to its closing parenthesis.
declare -A target_of=()
while read -r section header; do
    target_of[vexaqr/$header]=$section
done < <(awk '
    /^set\(VEXAQR_CODEC_PUBLIC_HEADERS/ { section = "codec" }
    /^set\(VEXAQR_ACCOUNT_PUBLIC_HEADERS/ { section = "vexaqr" }
    section != "" {
        line = $0
        sub(/^set\(VEXAQR_[A-Z]+_PUBLIC_HEADERS/, "", line)
        closing = sub(/\).*$/, "", line)
        n = split(line, names, " ")
        for (i = 1; i <= n; i++) print section, names[i]
        if (closing) section = ""
    }' "$list")

bad=0
fail() {
    printf '%s\n' "$1" >&2
    bad=$((bad + 1))
}

for header in "${!target_of[@]}"; do
    file=include/$header
    if [[ ! -f $file ]]; then
        fail "$list: $header is listed but include/$header does not exist"
        continue
    fi
    while IFS=: read -r number directive; do
        target=$(sed -E 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*//' <<<"$directive")
        name=${target:1}
        name=${name%%[>\"]*}
        if [[ $target != \<* ]]; then
            fail "$file:$number: $target: a public header includes with <...> only"
        elif [[ -n ${target_of[$name]+set} ]]; then
            if [[ ${target_of[$header]} == codec && ${target_of[$name]} != codec ]]; then
                fail "$file:$number: $name belongs to ${target_of[$name]}, which a codec header cannot see"
            fi
        elif [[ $std_headers != *" $name "* ]]; then
            fail "$file:$number: $name is neither the standard library nor a public header"
        fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include' "$file" || true)
done

# Each header alone, as a host's first include.
compile_alone() {
    printf '#include <%s>\n' "$1" | "$2" -std=c++20 -Wall -Wextra -Werror -fsyntax-only -Iinclude -x c++ - 2>&1 ||
        { echo "check-public-headers: <$1> does not compile on its own"; return 1; }
}
export -f compile_alone
if ! printf '%s\n' "${!target_of[@]}" | sort | xargs -P "$(nproc)" -I{} bash -c 'compile_alone "$1" "$2"' _ {} "$cxx" >&2
then
    bad=$((bad + 1))
fi

if ((bad)); then
    printf 'check-public-headers: %d problem(s) in the public headers\n' "$bad" >&2
    exit 1
fi
printf 'check-public-headers: %d public headers include only each other and the standard library, and compile alone\n' \
    "${#target_of[@]}"
