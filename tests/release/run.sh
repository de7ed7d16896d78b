#!/usr/bin/env bash
# make release-test: the checks that the launcher's executable must pass
# before it ships (pecheck.py has the details):
#  - PE32, Windows GUI subsystem, at most 65,536 bytes;
#  - imports from kernel32, user32, advapi32, shlwapi, shell32, msvcrt only;
#  - DYNAMIC_BASE and NX_COMPAT, with the base relocations kept;
#  - the one icon, and no other resource;
#  - two builds of the same sources in two different folders give the same
#    bytes as the build under build/win32.
set -euo pipefail
cd "$(dirname "$0")/../.."
repo=$(pwd)
exe=build/win32/launcher.exe
fail() { echo "release-test FAILED: $*" >&2; exit 1; }

[ -f "$exe" ] || fail "$exe is missing; run make win32"
git rev-parse --is-inside-work-tree >/dev/null 2>&1 || fail "not a git checkout: the two builds copy the sources git knows"

echo "Checking $exe:"
python3 tests/release/pecheck.py check "$exe" --forbid "$repo" || fail "$exe does not pass the checks above"
# A checker that passes everything would pass a broken file too.
python3 tests/release/pecheck.py self-test "$exe" || fail "the checker misjudged damaged copies"

# Second opinions from other parsers, on what the checker reads itself.
resources=$(wrestool -l "$exe" | sed 's/ \[.*//' | sort)
expected=$'--type=14 --name=\'MAINICON\' --language=1041\n--type=3 --name=1 --language=1041'
[ "$resources" = "$expected" ] || fail "wrestool lists other resources:"$'\n'"$resources"
foreign=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' |
          grep -vxE 'kernel32\.dll|user32\.dll|advapi32\.dll|shlwapi\.dll|shell32\.dll|msvcrt\.dll' || true)
[ -z "$foreign" ] || fail "objdump shows imports from $foreign"
echo "  wrestool and objdump agree"

# Reproducibility: the sources as they stand in the working tree (tracked
# files and new ones that git does not ignore; a tracked file deleted there
# is left out), copied into two folders whose names differ in length (a path that got into the file
# would shift everything after it), built one after the other with the same
# toolchain file, under different time zones.
scratch=$(mktemp -d /tmp/launcher-repro.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
build_copy() {
    local dir=$1 zone=$2
    mkdir -p "$dir/src"
    git ls-files -z --cached --others --exclude-standard |
        tar --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -xf - -C "$dir/src"
    TZ=$zone cmake -S "$dir/src" -B "$dir/build" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/i686-w64-mingw32.cmake" \
        -DCMAKE_BUILD_TYPE= >"$dir/configure.log" 2>&1 || { cat "$dir/configure.log" >&2; fail "configuring $dir"; }
    TZ=$zone cmake --build "$dir/build" --target launcher -j"${JOBS:-2}" >"$dir/build.log" 2>&1 ||
        { cat "$dir/build.log" >&2; fail "building in $dir"; }
    python3 tests/release/pecheck.py check "$dir/build/launcher.exe" --forbid "$dir" >/dev/null ||
        fail "the build in $dir does not pass the checks (it may hold its build path)"
}
first=$scratch/a
second=$scratch/second-build-in-a-folder-with-a-longer-name
echo "Building twice, in $first and $second..."
build_copy "$first" UTC
build_copy "$second" Asia/Tokyo
for f in "$exe" "$first/build/launcher.exe" "$second/build/launcher.exe"; do
    printf '  %6d bytes  %s  %s\n' "$(stat -c %s "$f")" "$(sha256sum "$f" | cut -d' ' -f1)" "$f"
done
cmp "$first/build/launcher.exe" "$second/build/launcher.exe" ||
    fail "two builds of the same sources differ (cmp shows the first differing byte)"
cmp "$exe" "$first/build/launcher.exe" ||
    fail "$exe differs from a fresh build of the same sources (a stale build?)"
echo "Release checks passed."
