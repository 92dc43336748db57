#!/usr/bin/env bash
# Installs what is missing, builds the library and runs talvex-demo on its built-in data.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" release --log-level=WARNING
"$root/build/release/tools/talvex-demo" --overlay "$root/build/release/talvex-demo-overlay.png"
