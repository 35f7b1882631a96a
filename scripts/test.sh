#!/usr/bin/env bash
# Installs what the build and the tests need, builds, and runs every test;
# then the hardening checks (sanitizers, fuzzing, the benchmark).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh cmake make g++ libgtest-dev
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc)"
ctest --test-dir build --output-on-failure -j "$(nproc)"

# Then the sanitizer build, the fuzz targets and one benchmark run.
bash scripts/test-hardening.sh
