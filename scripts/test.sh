#!/usr/bin/env bash
# Installs what is missing, builds the library and runs the whole test suite with CTest.
# With --sanitize the build uses AddressSanitizer and UndefinedBehaviorSanitizer (build/sanitize);
# any sanitizer report fails the run.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
"$root/scripts/install-deps.sh"
if [ "${1:-}" = "--sanitize" ]; then
  name=sanitize
  opts=(-DTALVEX_SANITIZE=ON -DTALVEX_BUILD_BENCHMARKS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo)
  export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
else
  name=release
  opts=()
fi
"$root/scripts/build.sh" "$name" --log-level=WARNING "${opts[@]}"
ctest --test-dir "$root/build/$name" --output-on-failure --parallel "$(nproc)"
