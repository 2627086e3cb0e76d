#!/bin/sh
# Configures, builds and tests the four builds: x86_64 (SSE2 and AVX2 twins, chosen at load
# time), i386 under qemu-i386, portable kernels only, and x86_64 with address and
# undefined-behaviour sanitizers; then x86_64 without the AVX2 twins; then builds the fuzz
# targets and runs each for a few seconds. Exits non-zero if any fails.
# usage: scripts/test-all.sh [BUILD_ROOT]   (default: build)
root=${1:-build}
jobs=$(nproc 2>/dev/null || echo 2)
failed=""

run() {
  name=$1; shift
  echo "=== $name ==="
  if cmake -S . -B "$root/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release "$@" >"$root/$name.configure.log" 2>&1 &&
     cmake --build "$root/$name" -j "$jobs" &&
     ctest --test-dir "$root/$name" -j "$jobs" --output-on-failure --timeout 900; then
    echo "=== $name: passed ==="
  else
    [ -f "$root/$name.configure.log" ] && tail -n 30 "$root/$name.configure.log"
    echo "=== $name: FAILED ==="
    failed="$failed $name"
  fi
}

mkdir -p "$root"
run x86_64
run i386 -DCMAKE_TOOLCHAIN_FILE=cmake/i386-linux.cmake
run portable -DZYLCV_SIMD=OFF
run sanitize -DZYLCV_SANITIZE=ON
run x86_64-sse2 -DZYLCV_AVX2=OFF -DZYLCV_BUILD_TOOLS=OFF

# The fuzz targets, built with clang and run a few seconds each over their corpora, so that they
# keep building and their regression seeds keep passing.
echo "=== fuzz (smoke) ==="
if FUZZ_SECONDS=${FUZZ_SMOKE_SECONDS:-3} ./scripts/fuzz.sh "$root"; then
  echo "=== fuzz: passed ==="
else
  echo "=== fuzz: FAILED ==="
  failed="$failed fuzz"
fi

if [ -n "$failed" ]; then
  echo "FAILED:$failed"
  exit 1
fi
echo "all builds and the fuzz smoke run passed"
