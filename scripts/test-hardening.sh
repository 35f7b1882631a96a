#!/usr/bin/env bash
# The hardening checks: the whole test suite once more with the address and
# undefined-behaviour sanitizers (built with clang, so its warnings are
# checked too), each fuzz target for a bounded time, and one run of the
# speed benchmarks and of the quick robustness table, which report and
# never fail on time or on what the decoder reads. Any warning,
# sanitizer finding, failed test or fuzzer crash fails the script.
#
# Environment: FUZZ_SECONDS (default 30) bounds each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

fuzz_seconds="${FUZZ_SECONDS:-30}"
jobs="$(nproc)"

scripts/install-deps.sh cmake make g++ clang libclang-rt-14-dev libgtest-dev pkg-config libsndfile1-dev libflac-dev \
  sox flac vorbis-tools opus-tools lame

echo "== sanitizer build and the whole test suite"
CXX=clang++ cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLENTOK_SANITIZE=ON -DLENTOK_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS=-Werror
cmake --build build-sanitize -j "$jobs"
ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

echo "== fuzz targets, ${fuzz_seconds} s each"
CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DLENTOK_FUZZ=ON -DLENTOK_BUILD_TESTS=OFF -DLENTOK_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS=-Werror
cmake --build build-fuzz -j "$jobs"
for target in command_line conversion wav_read; do
  # New inputs go to a scratch corpus, so the seeds in the repository stay
  # as they are; a crash leaves its input in build-fuzz/findings.
  work="build-fuzz/corpus/$target"
  mkdir -p "$work" build-fuzz/findings
  echo "-- $target"
  # Recordings need room: a few hundred bytes hold no more than a header.
  length_limit=()
  if [ "$target" = wav_read ]; then length_limit=(-max_len=16384); fi
  build-fuzz/fuzz/lentok_fuzz_$target -max_total_time="$fuzz_seconds" -close_fd_mask=3 "${length_limit[@]}" \
    -artifact_prefix=build-fuzz/findings/"$target"- -print_final_stats=1 \
    "$work" "fuzz/corpus/$target"
done

echo "== speed benchmarks and the robustness table (reported, never judged)"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$jobs" --target lentok_speed lentok_read_speed lentok_read_robustness
build/bench/lentok_speed 15
build/bench/lentok_read_speed
build/bench/lentok_read_robustness --quick
