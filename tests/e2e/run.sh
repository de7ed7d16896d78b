#!/usr/bin/env bash
# The end-to-end bench: the real launcher.exe under Wine, in a throwaway
# prefix of its own.
#   tests/e2e/run.sh              every case
#   tests/e2e/run.sh CASE ...     only these (names or shell patterns)
#   tests/e2e/run.sh --list       the cases' names
# LAUNCHER_EXE=path tests another build of the launcher; E2E_KEEP=1 keeps the
# run's prefix and sandboxes; E2E_JOBS=N runs N cases at once.
set -euo pipefail
cd "$(dirname "$0")/../.."
# UTF-8 mode: Unix file names are UTF-8, as Wine writes them in either locale.
exec python3 -B -X utf8 tests/e2e/harness.py "$@"
