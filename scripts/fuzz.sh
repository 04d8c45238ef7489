#!/usr/bin/env bash
# Builds the schedule file fuzzer with clang (libFuzzer + AddressSanitizer) in
# its own build folder and runs it. Any crash, leak, oversized allocation or
# failed round-trip check makes the script fail.
#
#   scripts/fuzz.sh                  # 60 seconds
#   FUZZ_SECONDS=600 scripts/fuzz.sh
#
# Environment: FUZZ_SECONDS (default 60), FUZZ_BUILD_DIR (default
# build-fuzz in the source tree), CXX_FUZZ (default clang++-14 or clang++).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" clang-14 libclang-rt-14-dev
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-60}
cxx=${CXX_FUZZ:-$(command -v clang++-14 || command -v clang++)}
jobs=${FUZZ_BUILD_JOBS:-2}

generator=()
command -v ninja >/dev/null && generator=(-G Ninja)

mkdir -p "$build"
# The library, instrumented for coverage and ASan; tests, tools and
# benchmarks are not needed.
cmake -S "$root" -B "$build" "${generator[@]}" \
  -DCMAKE_CXX_COMPILER="$cxx" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer" \
  -DCMAKE_SHARED_LINKER_FLAGS="-fsanitize=address" \
  -DMASKSCHEDULE_BUILD_TESTS=OFF -DMASKSCHEDULE_BUILD_BENCH=OFF -DMASKSCHEDULE_BUILD_TOOLS=OFF \
  >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
cmake --build "$build" --target MaskSchedule -j"$jobs"

"$cxx" -std=c++17 -g -O1 -fsanitize=fuzzer,address -fno-omit-frame-pointer -Wall -Wextra \
  -I"$root/include" -I"$root/platform/posix" \
  "$root/tests/fuzz/load_fuzzer.cpp" \
  -L"$build" -lMaskSchedule -Wl,-rpath,"$build" \
  -o "$build/load_fuzzer"

# New inputs go to a working corpus; the committed seeds stay as they are.
mkdir -p "$build/corpus" "$build/artifacts"
cd "$build"
./load_fuzzer \
  -max_total_time="$seconds" \
  -rss_limit_mb=1024 \
  -malloc_limit_mb=64 \
  -max_len=16384 \
  -timeout=10 \
  -print_final_stats=1 \
  -artifact_prefix="$build/artifacts/" \
  "$build/corpus" "$root/tests/fuzz/corpus"
