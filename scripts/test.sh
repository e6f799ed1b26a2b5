#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite:
# everything once in the normal build, then the engine and its
# integration tests again under AddressSanitizer and UBSan, and under
# ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
bash scripts/check-layers.sh

cmake -S . -B build -G Ninja -DSKYLARK_BUILD_TESTS=ON >/dev/null
cmake --build build -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600

cmake -S . -B build-asan -G Ninja -DSKYLARK_SANITIZE=ON -DSKYLARK_BUILD_APP=OFF -DSKYLARK_BUILD_TESTS=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" -L engine --timeout 600

# The two workers and the program thread share every node: the engine's
# tests once more under ThreadSanitizer.
cmake -S . -B build-tsan -G Ninja -DSKYLARK_TSAN=ON -DSKYLARK_BUILD_APP=OFF -DSKYLARK_BUILD_TESTS=ON >/dev/null
cmake --build build-tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L engine --timeout 600
