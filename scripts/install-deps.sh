#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the tools use.
# Idempotent: asks dpkg first, so it costs a fraction of a second when nothing is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache clang libclang-rt-14-dev
    libssl-dev openssl
    libcurl4-openssl-dev
    nlohmann-json3-dev
    libxml2-dev
    libsqlite3-dev
    libzxing-dev
    libqrencode-dev
    libpng-dev libgif-dev
    libjpeg-dev # tests and benchmarks only: the camera simulation's JPEG compression
    libcli11-dev
    libcpp-httplib-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    zbar-tools qrencode
)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = "installed" ] || missing+=("$package")
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
