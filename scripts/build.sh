#!/usr/bin/env bash
# Installs what the build needs, builds lentok into build/, and converts the
# bundled sample image into build/hello.wav.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh cmake make g++ libgtest-dev pkg-config libsndfile1-dev libflac-dev dpkg-dev
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc)"
build/lentok samples/hello.rks build/hello.wav
echo "wrote build/hello.wav"
