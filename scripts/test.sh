#!/usr/bin/env bash
# Installs what is missing, checks the layers and the one code style,
# builds with warnings as errors, and runs the whole test suite: everything
# once in the normal build, then the engine's tests and the task core's
# again under AddressSanitizer and UBSan, and the engine's under
# ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
jobs=$(nproc)
bash scripts/check-layers.sh
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

cmake -S . -B build -G Ninja -DSKYLARK_BUILD_TESTS=ON -DSKYLARK_WERROR=ON >/dev/null
cmake --build build -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs" --timeout 600

cmake -S . -B build-asan -G Ninja -DSKYLARK_SANITIZE=ON -DSKYLARK_BUILD_APP=OFF -DSKYLARK_BUILD_TESTS=ON -DSKYLARK_WERROR=ON >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs" -L engine --timeout 600

# The task core reads stored bytes (list files, settings): its tests and
# the listing parser's under the same sanitizers, with the program built.
cmake -S . -B build-asan-core -G Ninja -DSKYLARK_SANITIZE=ON -DSKYLARK_BUILD_TESTS=ON -DSKYLARK_WERROR=ON >/dev/null
cmake --build build-asan-core -j "$jobs" --target core_test listingparser_test
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  QT_QPA_PLATFORM=offscreen ctest --test-dir build-asan-core --output-on-failure -j "$jobs" -R '^(core|listing)[.]' \
  --timeout 600

# The two workers and the program thread share every node: the engine's
# tests once more under ThreadSanitizer.
cmake -S . -B build-tsan -G Ninja -DSKYLARK_TSAN=ON -DSKYLARK_BUILD_APP=OFF -DSKYLARK_BUILD_TESTS=ON -DSKYLARK_WERROR=ON >/dev/null
cmake --build build-tsan -j "$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs" -L engine --timeout 600
