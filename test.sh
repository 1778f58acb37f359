#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with ctest.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

ensure_packages

# Sanitizer build: every unit and widget test again under AddressSanitizer and UBSan.
if [ -x tests/sanitize.sh ]; then
  tests/sanitize.sh
fi

# Fuzz targets, each for a bounded time.
if [ -x tests/fuzz/run.sh ]; then
  tests/fuzz/run.sh
fi

# The main build last, so that its ctest summary closes the output.
build_tree build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORVANE_WERROR=ON
ctest --test-dir build --output-on-failure --parallel "$(nproc)"
