#!/usr/bin/env bash
# The missing-runtime dialogue for a person to try: the launcher with the
# runtime nowhere, under Wine on your display when DISPLAY works, otherwise on
# a private X server, answered automatically, with a screenshot of every box
# under build/demo-missing/. A recorder stands in for the web browser.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -n "${LAUNCHER_EXE:-}" ]; then
  LAUNCHER_EXE="$(realpath "$LAUNCHER_EXE")"
  export LAUNCHER_EXE
fi
export DEMO_DISPLAY="${DISPLAY:-}"   # tools/wine-env.sh unsets DISPLAY
. tools/wine-env.sh build/wine-demo-missing
exec python3 tests/e2e/dialogs/demo_missing.py
