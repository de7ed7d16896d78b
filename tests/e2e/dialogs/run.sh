#!/usr/bin/env bash
# The missing-runtime dialogue end to end, in real message boxes on a private
# X server (see dialogs.py).
#   tests/e2e/dialogs/run.sh [--list] [CASE ...]
# LAUNCHER_EXE=path runs the cases against another build of the launcher.
set -euo pipefail
if [ -n "${LAUNCHER_EXE:-}" ]; then
  LAUNCHER_EXE="$(realpath "$LAUNCHER_EXE")"
  export LAUNCHER_EXE
fi
cd "$(dirname "$0")/../../.."
. tools/wine-env.sh build/e2e-dialogs/prefix
exec python3 tests/e2e/dialogs/dialogs.py "$@"
