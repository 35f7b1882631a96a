#!/usr/bin/env bash
# Installs what the page's build needs (emscripten, cmake) and builds the web
# page into build-web/web/: index.html, its scripts and styles, and the two
# WebAssembly modules (lentok itself, and the reading side, with the libFLAC
# that scripts/build-web-deps.sh builds for it). Static files only; any
# static host serves them.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh cmake make emscripten

# emscripten's optimizer runs on node and needs Debian's node modules.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

# libFLAC for the reading module's FLAC sides, from its pinned sources
# (nothing to do when it is built already).
scripts/build-web-deps.sh build-web/web-deps
emcmake cmake -S web -B build-web -DCMAKE_BUILD_TYPE=Release -DLENTOK_WEB_DEPS="$PWD/build-web/web-deps"
cmake --build build-web -j "$(nproc)" --target lentok lentok_reader_web lentok_page
echo "page built in build-web/web/"
