#!/usr/bin/env bash
# Configures and builds the project into build/<name>. Usage: build.sh <name> [cmake options...]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
name="$1"
shift
cmake -S "$root" -B "$root/build/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$root/build/$name" --parallel "$(nproc)"
