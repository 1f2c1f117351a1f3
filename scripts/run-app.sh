#!/usr/bin/env bash
# Opens the application with the bundled sample document on the user's display;
# without a display, redacts the sample with the command line instead.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display is set (DISPLAY, WAYLAND_DISPLAY): redacting the sample with the command line instead."
  exec bash "$root/scripts/run-sample.sh" "$build"
fi
MERVO_UI_TEST_INPUTS="$root/samples/Sample Contract.pdf" exec "$build/ui/inkveil"
