#!/usr/bin/env bash
# The main job: the launcher, renamed demo.exe, finds the demo runtime in its
# bin\ folder and starts it with its own arguments; we print what the runtime
# received.
set -euo pipefail
cd "$(dirname "$0")/.."
. tools/wine-env.sh build/wine-demo
trap wine_prefix_down EXIT

demo=build/demo
rm -rf "$demo" && mkdir -p "$demo/bin"
cp build/win32/launcher.exe "$demo/demo.exe"
cp build/win32/tools/demo-runtime.exe "$demo/bin/sorvanti.exe"

exe=$(winpath "$demo/demo.exe")
arguments='-x "my file.txt" "abc" a""b'
printf '%s\0%s\0%s\0' "$exe" "\"$exe\" $arguments" "" > "$demo/start.txt"

echo "Preparing a Wine prefix under build/wine-demo (the first time takes a while)..."
wine_prefix_up
echo "Starting:  demo.exe $arguments"
wine build/win32/tools/starter.exe "$(winpath "$demo/start.txt")" && status=0 || status=$?
echo "Exit code: $status"
[ -f "$demo/bin/received.txt" ] || { echo "The runtime was not started." >&2; exit 1; }
# The record is: the runtime's own path, NUL, its command line, NUL.
printf 'Runtime started: '; tr '\0' '\n' < "$demo/bin/received.txt" | sed -n 1p
printf 'It received:     '; tr '\0' '\n' < "$demo/bin/received.txt" | sed -n 2p
