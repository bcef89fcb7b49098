#!/usr/bin/env bash
# Opens the window program of a build folder: bash scripts/run-window.sh build
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
program="$build/app/gui/quenloft"
if [ ! -x "$program" ]; then
  echo "error: $program was not built (configure with -DQUENLOFT_GUI=ON, the default)." >&2
  exit 1
fi
if [ -z "${QT_QPA_PLATFORM:-}" ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "There is no display here (DISPLAY and WAYLAND_DISPLAY are not set), so the window cannot open." >&2
  echo "To download the movies of a page without a window, use $build/cli/quenloft-cli." >&2
  exit 1
fi
exec "$program"
