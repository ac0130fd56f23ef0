#!/usr/bin/env bash
# Builds the libFuzzer harnesses (fuzz preset, clang) and runs each for a
# bounded time over its committed seed corpus, as many at once as there
# are processors (FUZZ_JOBS sets another number).
#
#   fuzz/run.sh [SECONDS] [HARNESS...]
#
# SECONDS per harness defaults to 300; the harnesses default to every
# fuzz/*.cpp. New inputs are kept in build-fuzz/corpus/<harness>/ (the seeds
# in fuzz/corpus/ stay as committed). A harness with a dictionary program
# (fuzz/dictionaries/<harness>.cpp) runs with the dictionary the build wrote
# from it, build-fuzz/fuzz/<harness>.dict. A failing input is saved in
# build-fuzz/artifacts/<harness>/ and the script exits non-zero. Reproduce
# one with: build-fuzz/fuzz/<harness> <input file>
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-300}
shift || true
if (($#)); then
  harnesses=("$@")
else
  harnesses=()
  for source in fuzz/*.cpp; do
    harnesses+=("$(basename "$source" .cpp)")
  done
fi

cmake --preset fuzz
cmake --build --preset fuzz

# The harnesses run side by side, one per processor, each for its own time;
# their summaries are printed in order once all have ended.
jobs=${FUZZ_JOBS:-$(nproc)}
declare -A pid_of
run_harness() {
  local harness=$1
  local corpus=build-fuzz/corpus/$harness artifacts=build-fuzz/artifacts/$harness
  mkdir -p "$corpus" "$artifacts" "fuzz/corpus/$harness"
  local options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096
                 -print_final_stats=1 -artifact_prefix="$artifacts/")
  if [[ -f build-fuzz/fuzz/$harness.dict ]]; then
    options+=(-dict="build-fuzz/fuzz/$harness.dict")
  fi
  build-fuzz/fuzz/"$harness" "${options[@]}" "$corpus" "fuzz/corpus/$harness" >"build-fuzz/$harness.log" 2>&1
}
for harness in "${harnesses[@]}"; do
  while (($(jobs -rp | wc -l) >= jobs)); do
    wait -n || true
  done
  run_harness "$harness" &
  pid_of[$harness]=$!
done

failed=()
for harness in "${harnesses[@]}"; do
  log=build-fuzz/$harness.log
  echo "--- $harness: ${seconds} s"
  if wait "${pid_of[$harness]}"; then
    grep -E '^stat::(number_of_executed_units|new_units_added)|^Done' "$log" || true
  else
    tail -n 60 "$log"
    failed+=("$harness")
  fi
done

passed=$((${#harnesses[@]} - ${#failed[@]}))
if ((${#failed[@]})); then
  echo "fuzzing found failures in: ${failed[*]} (inputs in build-fuzz/artifacts/)"
  echo "fuzz: $passed passed, ${#failed[@]} failed"
  exit 1
fi
echo "fuzz: $passed passed, 0 failed"
