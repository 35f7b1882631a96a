#!/usr/bin/env bash
# Installs what the build and the tests need, builds, and runs every test:
# the Linux build's here, then the Windows builds' and the packages
# (test-windows.sh), then the hardening checks: sanitizers, fuzzing and the
# benchmark (test-hardening.sh), then the web page in headless Chromium
# (test-web.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

# The encoders make the FLAC, Ogg, MP3 and AIFF recordings the tests read.
scripts/install-deps.sh cmake make g++ libgtest-dev pkg-config libsndfile1-dev libflac-dev dpkg-dev \
  sox flac vorbis-tools opus-tools lame
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j "$(nproc)"
ctest --test-dir build --output-on-failure -j "$(nproc)"
bash scripts/test-windows.sh

# Then the sanitizer build, the fuzz targets and one benchmark run.
bash scripts/test-hardening.sh

# Then the web page: built with emscripten and driven in headless Chromium.
bash scripts/test-web.sh
