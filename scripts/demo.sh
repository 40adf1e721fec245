#!/usr/bin/env bash
# The main job for now: a sample file becomes frames and the frames become the file again.
set -euo pipefail
cli=${1:-build/bin/vexaqr}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "demo: nothing to show yet" 
