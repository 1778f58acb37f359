#!/usr/bin/env bash
# Builds the whole test suite, widget tests included, with AddressSanitizer and UBSan and runs
# it with ctest. Leaks are reported, except those inside the Qt, font and X libraries that
# tests/lsan.supp names; any UBSan report stops the test that raised it.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-asan
# -O1 keeps the instrumented build and its runs quick on a small CI machine; -g1 keeps line
# numbers in the reports without the size of full debug information.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" \
  -DQUORVANE_SANITIZE=ON -DQUORVANE_GUI=ON -DQUORVANE_BENCH=OFF >/dev/null
cmake --build "$build" --parallel "$(nproc)"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen

# The directory import test starts a real server and measures nothing of ours that the
# unit tests do not already cover; it runs once, in the main build.
ctest --test-dir "$build" --output-on-failure --parallel "$(nproc)" --exclude-regex '^openldap_import$'
