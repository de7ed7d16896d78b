#!/usr/bin/env bash
# make bench: the launcher's start-up cost under Wine against a direct start
# of the runtime and against a floor program (see bench.py), with the
# executable's size and the machine. A private prefix under build/ is kept
# between runs; the drive B: maps the bench's folder tree so that its paths
# stay short: the 60-element path must fit in what the launcher reads of the
# variable, and 2,000 arguments in a command line.
set -euo pipefail
cd "$(dirname "$0")/.."
ROUNDS=${BENCH_ROUNDS:-30}

. tools/wine-env.sh build/wine-bench
trap wine_prefix_down EXIT
tree=$(realpath -m build/bench)
mkdir -p "$tree"
echo "Preparing a Wine prefix under build/wine-bench (the first time takes a while)..."
wine_prefix_up
ln -sfn "$tree" "$WINEPREFIX/dosdevices/b:"
python3 bench/bench.py "$tree" "$ROUNDS"
