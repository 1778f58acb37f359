#!/usr/bin/env bash
# Builds the libFuzzer targets with clang++ and runs each for a bounded time; any crash, leak,
# hang or sanitizer report fails the run. FUZZ_SECONDS overrides the time per target.
set -euo pipefail
cd "$(dirname "$0")/../.."

build=build-fuzz
seconds=${FUZZ_SECONDS:-$([ -n "${CI:-}" ] && echo 30 || echo 10)}

# Configured every time: a target joins once the code it exercises exists.
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUORVANE_GUI=OFF -DQUORVANE_BENCH=OFF -DQUORVANE_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz_targets --parallel "$(nproc)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1

failed=()
printf '\n%-16s %12s %14s %s\n' target execs/s executions result
for fuzzer in "$build"/bin/*_fuzz; do
  name=$(basename "$fuzzer" _fuzz)
  # The generated corpus stays out of the repository: start from a copy of the stored inputs.
  corpus="$work/$name"
  mkdir -p "$corpus"
  cp tests/fuzz/corpus/"$name"/* "$corpus"/
  dict=()
  # The fuzzer runs in the scratch folder: the dictionary is named by its full path.
  [ -f "tests/fuzz/$name.dict" ] && dict=(-dict="$PWD/tests/fuzz/$name.dict")
  # Leaks of a library a target drives, never of ours, may be suppressed in
  # tests/fuzz/NAME.lsan.supp; the full stack walk that lets LeakSanitizer see the library's
  # functions is slow, so only such a target pays for it.
  lsan=() asan=$ASAN_OPTIONS
  if [ -f "tests/fuzz/$name.lsan.supp" ]; then
    lsan=(LSAN_OPTIONS="suppressions=$PWD/tests/fuzz/$name.lsan.supp")
    asan=$ASAN_OPTIONS:fast_unwind_on_malloc=0
  fi
  log="$work/$name.log"
  status=0
  (cd "$work" && env ASAN_OPTIONS="$asan" "${lsan[@]}" "$OLDPWD/$fuzzer" "$corpus" "${dict[@]}" \
    -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
    -print_final_stats=1 -artifact_prefix="$work/$name-") >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
  if [ "$status" -eq 0 ] && ! grep -qE 'ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error:' "$log"; then
    result=ok
  else
    result="FAILED (exit $status)"
    failed+=("$name")
    echo "---- $name: last lines of the fuzzer's output" >&2
    tail -40 "$log" >&2
    for artifact in "$work/$name"-*; do
      [ -e "$artifact" ] || continue
      mkdir -p "$build/artifacts"
      cp "$artifact" "$build/artifacts/"
      echo "reproducer kept: $build/artifacts/$(basename "$artifact")" >&2
    done
  fi
  printf '%-16s %12s %14s %s\n' "$name" "${rate:-?}" "${execs:-?}" "$result"
done

if [ "${#failed[@]}" -gt 0 ]; then
  echo "fuzzing found problems in: ${failed[*]}" >&2
  exit 1
fi
