#!/bin/sh
# Builds the libFuzzer targets of fuzz/ with clang (into BUILD_ROOT/fuzz) and runs each one for
# a fixed time, one process at a time, over a copy of its seed corpus, so that the inputs it adds
# stay out of the repository. Crashing, leaking, slow or memory-hungry inputs are written to
# BUILD_ROOT/fuzz-findings/<target>/. Exits non-zero if any target reports a finding (a
# regression seed of the corpus that still fails counts).
# usage: scripts/fuzz.sh [BUILD_ROOT] [TARGET...]   (default: build, every target)
# FUZZ_SECONDS: time per target (default 60).
root=${1:-build}
[ $# -gt 0 ] && shift
secs=${FUZZ_SECONDS:-60}
build=$root/fuzz
work=$root/fuzz-run
findings=$root/fuzz-findings
jobs=$(nproc 2>/dev/null || echo 2)

mkdir -p "$root"
if ! cmake -S fuzz -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
     >"$build.configure.log" 2>&1; then
  tail -n 30 "$build.configure.log"
  echo "fuzz: configuring the targets failed"
  exit 1
fi
cmake --build "$build" -j "$jobs" || { echo "fuzz: building the targets failed"; exit 1; }

targets=$*
[ -z "$targets" ] && targets=$(cd fuzz/corpus && ls)
failed=""
for t in $targets; do
  rm -rf "${work:?}/$t" "${findings:?}/$t"
  mkdir -p "$work/$t" "$findings/$t"
  cp fuzz/corpus/"$t"/* "$work/$t/"
  # The image decoder reads whole files: longer inputs, and a tight allocation limit so that a
  # small file that makes it allocate a large image is reported.
  case $t in
    image_io) opts="-max_len=16384 -malloc_limit_mb=128" ;;
    *) opts="-max_len=4096 -malloc_limit_mb=512" ;;
  esac
  log=$work/$t.log
  # shellcheck disable=SC2086
  "$build/fuzz_$t" -max_total_time="$secs" -timeout=10 -rss_limit_mb=2048 $opts \
    -print_final_stats=1 -artifact_prefix="$findings/$t/" "$work/$t" >"$log" 2>&1
  rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1)
  if [ $rc -eq 0 ]; then
    echo "fuzz_$t: ${execs:-?} runs, $cov: clean"
  else
    echo "fuzz_$t: FINDING (exit $rc) after ${execs:-?} runs, $cov"
    grep -E '^(FINDING|SUMMARY|==[0-9]+==ERROR|Running: )' "$log" | head -n 5
    ls "$findings/$t" | sed 's/^/  saved: /'
    failed="$failed $t"
  fi
done

if [ -n "$failed" ]; then
  echo "fuzz: findings in:$failed (inputs in $findings, logs in $work)"
  exit 1
fi
echo "fuzz: every target ran clean"
