#!/usr/bin/env bash
# Installs what the page's build needs (emscripten, cmake) and builds the web
# page into build-web/web/: index.html, its scripts and styles, and the two
# WebAssembly modules (lentok itself, and the reading side). Static files
# only; any static host serves them.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh cmake make emscripten

# emscripten's optimizer runs on node and needs Debian's node modules.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

emcmake cmake -S web -B build-web -DCMAKE_BUILD_TYPE=Release
cmake --build build-web -j "$(nproc)" --target lentok lentok_reader_web lentok_page
echo "page built in build-web/web/"
