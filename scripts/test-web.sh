#!/usr/bin/env bash
# The web page's tests: installs what they need (emscripten, the system's
# Chromium, sox and the encoders that make the FLAC, MP3, Ogg Vorbis and
# Opus recordings, node and the pinned browser driver from package-lock.json,
# which never downloads a browser of its own), builds the native lentok (the
# reference) and the page, serves the page on a free port of 127.0.0.1, and
# drives headless Chromium through it (web/tests/page_test.mjs); then times
# the page with the largest input (web/tests/page_bench.mjs). Screenshots go
# to build-web/.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh cmake make g++ libgtest-dev emscripten chromium sox flac lame \
  vorbis-tools opus-tools
command -v npm >/dev/null || scripts/install-deps.sh nodejs npm

# The native tools are the reference the page is held to; LENTOK_NATIVE_BUILD
# names another build tree of them than build/.
native=${LENTOK_NATIVE_BUILD:-build}
if [ ! -x "$native/lentok" ] || [ ! -x "$native/lentok-read" ] || [ ! -x "$native/lentok-side" ]; then
  cmake -S . -B "$native" -DCMAKE_BUILD_TYPE=Release
  cmake --build "$native" -j "$(nproc)" --target lentok lentok-read lentok-side
fi
scripts/build-web.sh

(cd web/tests && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error)

work=$(mktemp -d)
server_log="$work/server.log"
# Served from a folder below the top, as on a static host's sub-path, so
# that any URL not relative to the page shows up as a failed request.
python3 web/serve.py 0 build-web >"$server_log" 2>&1 &
server=$!
trap 'kill "$server" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do
  grep -q '^port ' "$server_log" && break
  sleep 0.1
done
port=$(sed -n 's/^port //p' "$server_log")
[ -n "$port" ] || { echo "the page's server did not start" >&2; cat "$server_log" >&2; exit 1; }

node web/tests/page_test.mjs --url "http://127.0.0.1:$port/web/" --lentok "$native/lentok" \
  --lentok-read "$native/lentok-read" --lentok-side "$native/lentok-side" \
  --samples samples --work "$work" --shots build-web

# How fast the page converts the full-size image and reads its recording
# back: figures only, never a failure.
node web/tests/page_bench.mjs --url "http://127.0.0.1:$port/web/" --lentok "$native/lentok" \
  --work "$work" --rounds "${LENTOK_PAGE_BENCH_ROUNDS:-7}"
