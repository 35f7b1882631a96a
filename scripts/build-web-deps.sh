#!/usr/bin/env bash
# Builds libFLAC for the web page's reading module, which writes tape sides
# as FLAC with it, from the Debian archive's flac source package at the
# version pinned in scripts/debian-sources.sh (the native lentok-side's and
# the Windows programs'), with emscripten:
#   scripts/build-web-deps.sh DIR
# gives DIR/wasm/ with include/FLAC/ and lib/libFLAC.a. The library alone,
# without Ogg: no programs, documentation, tests or C++ bindings. A prefix
# already built from the same pinned version is left as it is, so a second
# run costs nothing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/debian-sources.sh
. "$here"/scripts/debian-sources.sh

[ $# -eq 1 ] || { echo "usage: $0 DIR" >&2; exit 2; }
mkdir -p "$1"
out=$(cd "$1" && pwd)
prefix=$out/wasm
# What the prefix was built from: the pin and the recipe's number, to be
# raised whenever the way the library is built below changes.
recipe=1
pins=$(printf '%s\n' "$debian_flac_source" "recipe $recipe")
if [ "$(cat "$prefix/.pinned" 2>/dev/null)" = "$pins" ]; then
  echo "$prefix: already built from the pinned version"
  exit 0
fi

"$here"/scripts/install-deps.sh dpkg-dev cmake ninja-build patch xz-utils emscripten
# emscripten's tools run on node and need Debian's node modules.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

debian_sources_enable
src=$out/src
debian_source_unpack "$src" "$debian_flac_source"

# The library's own compiler warnings are its own: its build output goes to
# a log, shown only when a step fails.
log=$out/flac.log
build=$out/build
rm -rf "$prefix" "$build" "$log"
logged() {
  "$@" >>"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "failed: $*; the whole log is $log" >&2; exit 1; }
}
echo "building libFLAC for the page into $prefix"
# Stack protection and fortified calls mean nothing to WebAssembly, whose
# stack the code cannot reach.
logged emcmake cmake -S "$src/flac" -B "$build" -G Ninja -Wno-dev --no-warn-unused-cli \
  -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_SHARED_LIBS=OFF -DBUILD_TESTING=OFF -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF \
  -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF -DINSTALL_MANPAGES=OFF -DINSTALL_PKGCONFIG_MODULES=OFF \
  -DINSTALL_CMAKE_CONFIG_MODULE=OFF -DWITH_OGG=OFF -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF
logged cmake --build "$build" --target FLAC
logged cmake --install "$build" --component Unspecified
[ -f "$prefix/lib/libFLAC.a" ] && [ -f "$prefix/include/FLAC/stream_encoder.h" ] ||
  { echo "libFLAC was not installed into $prefix; the log is $log" >&2; exit 1; }
# The C++ bindings' headers come with the install; the page has no use for them.
rm -rf "$build" "$prefix/include/FLAC++"
echo "$pins" >"$prefix/.pinned"
