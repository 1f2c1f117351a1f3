#!/usr/bin/env bash
# Takes the README's screenshot (docs/screenshot.png) on a virtual X display:
# the main window with the sample contract, marks and a finished run.
set -euo pipefail
build=${1:-build-sanitize}
root=$(cd "$(dirname "$0")/.." && pwd)
tool="$build/tests/ui/ui-screenshot"
[ -x "$tool" ] || { echo "Build the tests first: $tool is missing" >&2; exit 1; }
command -v Xvfb >/dev/null || { echo "Xvfb is missing: run scripts/install-deps.sh" >&2; exit 1; }

display=""
for n in $(seq 90 199); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || { echo "No free display number" >&2; exit 1; }

Xvfb "$display" -screen 0 1400x900x24 -nolisten tcp >/dev/null 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null || true' EXIT
for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

mkdir -p "$root/docs"
# The X libraries keep a few bytes until exit; that is not ours to report.
DISPLAY="$display" QT_QPA_PLATFORM=xcb ASAN_OPTIONS=detect_leaks=0 "$tool" "$root/samples/Sample Contract.pdf" "$root/docs/screenshot.png"
echo "Saved $root/docs/screenshot.png"
