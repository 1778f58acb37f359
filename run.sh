#!/usr/bin/env bash
# Installs what is missing, builds, and opens the Quorvane window.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/setup.sh

ensure_packages
build_tree build -DCMAKE_BUILD_TYPE=RelWithDebInfo

if [ -x build/bin/quorvane ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  exec build/bin/quorvane "$@"
fi

if [ -x build/bin/quorvane ]; then
  echo "No display found (DISPLAY and WAYLAND_DISPLAY are unset), so the window cannot open."
  echo "Run it on a desktop, or under a virtual display: xvfb-run ./run.sh"
  echo "Without a display, use the command: build/bin/quorvane-fix --help"
  echo
fi
echo "Repairing the bundled sample book with quorvane-fix:"
echo "  build/bin/quorvane-fix --profile openldap-stock docs/sample-addressbook.ldif"
echo
build/bin/quorvane-fix --profile openldap-stock docs/sample-addressbook.ldif
