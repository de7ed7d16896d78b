#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer over the fake platform) and runs each for a fixed
# time from its committed seeds in tests/fuzz/corpus/<target>/.
#   FUZZ_SECONDS  time per target, default 30
# Inputs that the fuzzer finds go to build/fuzz/work/<target>/, never into
# the repository. A crash or a broken property fails the run and leaves its
# input in build/fuzz/artifacts/<target>/; run the target on that file alone
# (build/fuzz/fuzz_<target> FILE, from the top of the repository) to see it
# again.
set -uo pipefail
cd "$(dirname "$0")/../.."

seconds=${FUZZ_SECONDS:-30}
build=build/fuzz
# target and the longest input for it: command lines and path values past the
# platform's 32,767 characters; registry data past the 1023-byte buffer.
targets=(command_line:40000 search_path:40000 association:2100)

if ! { cmake -S tests/fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null &&
       cmake --build "$build" -j"${JOBS:-2}" >/dev/null; }; then
  echo "fuzz: the targets did not build"
  echo "fuzz: 0 passed, ${#targets[@]} failed"
  exit 1
fi

export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
# A smaller quarantine of freed memory than the default 256 MB: the long
# command lines free thousands of blocks per input, and the default one makes
# each of them several times slower; 64 MB still holds far more than one input.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=64}
passed=0
failed=0
for entry in "${targets[@]}"; do
  target=${entry%%:*}
  max_len=${entry##*:}
  work=$build/work/$target
  artifacts=$build/artifacts/$target
  log=$build/logs/$target.log
  rm -rf "$artifacts"
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"

  "$build/fuzz_$target" -max_total_time="$seconds" -max_len="$max_len" -timeout=20 \
    -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$work" "tests/fuzz/corpus/$target" >"$log" 2>&1
  status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  reproducers=$(find "$artifacts" -type f | sort)

  if [ "$status" -eq 0 ] && [ -z "$reproducers" ]; then
    echo "fuzz $target: passed (${runs:-?} inputs in ${seconds} s)"
    passed=$((passed + 1))
  else
    echo "fuzz $target: FAILED (exit status $status; log $log)"
    grep -A2 -E '^PROPERTY VIOLATED|^SUMMARY:|ERROR: (AddressSanitizer|libFuzzer|LeakSanitizer)' "$log" | head -20
    for file in $reproducers; do
      echo "  reproducer: $file"
      echo "  reproduce:  $build/fuzz_$target $file"
    done
    failed=$((failed + 1))
  fi
done

echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
