#!/usr/bin/env bash
# Builds the audio decoding libraries that the Windows lentok-read links
# statically (libsndfile with FLAC, Ogg Vorbis, Opus and MP3), from the
# Debian archive's source packages at pinned versions, with mingw-w64:
#   scripts/build-windows-deps.sh DIR [WIDTH...]     WIDTH: i686, x86_64 (default both)
# gives DIR/<width>/ with include/, lib/*.a and lib/pkgconfig/*.pc. Only the
# libraries are built: no programs, documentation or tests. A prefix already
# built from the same pinned versions is left as it is, so a second run
# costs nothing.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=scripts/debian-sources.sh
. "$here"/scripts/debian-sources.sh

# The pinned source packages, in build order (each after what it needs).
# libsndfile reads MP3 through mpg123, and builds its MP3 support only with
# the lame encoder present too.
packages=(
  libogg=1.3.5-3
  "$debian_flac_source"
  libvorbis=1.3.7-1
  opus=1.3.1-3
  mpg123=1.31.2-1+deb12u1
  lame=3.100-6
  libsndfile=1.2.0-1+deb12u1
)

[ $# -ge 1 ] || { echo "usage: $0 DIR [i686|x86_64...]" >&2; exit 2; }
mkdir -p "$1"
out=$(cd "$1" && pwd)
shift
widths=("$@")
[ ${#widths[@]} -gt 0 ] || widths=(i686 x86_64)
# What a prefix was built from: the pins and the recipe's number, to be
# raised whenever the way the libraries are built below changes.
recipe=1
pins=$(printf '%s\n' "${packages[@]}" "recipe $recipe")
jobs=$(nproc)

todo=()
for width in "${widths[@]}"; do
  case $width in i686 | x86_64) ;; *) echo "unknown width: $width" >&2; exit 2 ;; esac
  if [ "$(cat "$out/$width/.pinned" 2>/dev/null)" = "$pins" ]; then
    echo "$out/$width: already built from the pinned versions"
  else
    todo+=("$width")
  fi
done
[ ${#todo[@]} -gt 0 ] || exit 0

"$here"/scripts/install-deps.sh dpkg-dev cmake ninja-build make patch xz-utils bzip2 \
  g++-mingw-w64-i686 g++-mingw-w64-x86-64

debian_sources_enable
src=$out/src
for package in "${packages[@]}"; do debian_source_unpack "$src" "$package"; done

# Runs a build step with its output in the log of the library; the
# libraries' own compiler warnings are theirs, so the log is shown only when
# the step fails.
logs=$out/logs
mkdir -p "$logs"
logged() {
  local log=$logs/$1
  shift
  "$@" >>"$log" 2>&1 || { tail -n 40 "$log" >&2; echo "failed: $*; the whole log is $log" >&2; exit 1; }
}

# One CMake project, configured with lentok's own toolchain file for the
# width, built with ninja and installed into the prefix.
cmake_build() {
  local width=$1 name=$2 source=$3
  shift 3
  local build=$out/build-$width/$name prefix=$out/$width log=$width-$name.log
  logged "$log" cmake -S "$source" -B "$build" -G Ninja -Wno-dev --no-warn-unused-cli \
    -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64-$width.cmake" \
    -DLENTOK_DEPS_PREFIX="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF \
    -DBUILD_TESTING=OFF "$@"
  logged "$log" cmake --build "$build" -j "$jobs"
  logged "$log" cmake --install "$build"
}

# One autotools project, configured for the width outside its source tree
# with the given options; then `make install` in the given subdirectories
# (its library and headers); extra C flags last.
autotools_build() {
  local width=$1 name=$2 configure_options=$3 directories=$4 cflags=${5:-}
  local build=$out/build-$width/$name triplet=$width-w64-mingw32 directory log=$width-$name.log
  mkdir -p "$build"
  # shellcheck disable=SC2086 # the options are words
  (cd "$build" && logged "$log" "$src/$name/configure" --host="$triplet" --prefix="$out/$width" \
    --disable-shared --enable-static --disable-dependency-tracking $configure_options \
    CC="$(command -v "$triplet-gcc-win32" || command -v "$triplet-gcc")" CFLAGS="-O2 $cflags")
  for directory in $directories; do
    logged "$log" make -j "$jobs" -C "$build/$directory" install
  done
}

for width in "${todo[@]}"; do
  prefix=$out/$width
  rm -rf "$prefix" "$out/build-$width" "$logs/$width"-*.log
  echo "building the decoding libraries for $width into $prefix"
  cmake_build "$width" libogg "$src/libogg" -DINSTALL_DOCS=OFF
  # Stack protection and fortified calls would need mingw-w64's libssp
  # (__memcpy_chk and the like), which the libraries' .pc files do not name.
  cmake_build "$width" flac "$src/flac" -DBUILD_CXXLIBS=OFF -DBUILD_PROGRAMS=OFF \
    -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF -DINSTALL_MANPAGES=OFF -DWITH_OGG=ON \
    -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF
  cmake_build "$width" libvorbis "$src/libvorbis"
  # Opus's release tarball lacks files its CMake build needs; its configure
  # script is complete. It adds fortified calls unless _FORTIFY_SOURCE is
  # set already (see above for why not).
  autotools_build "$width" opus "--disable-doc --disable-extra-programs --disable-stack-protector" . \
    -D_FORTIFY_SOURCE=0
  cmake_build "$width" mpg123 "$src/mpg123/ports/cmake" -DBUILD_LIBOUT123=OFF -DBUILD_PROGRAMS=OFF
  # Its file-name helpers call shlwapi, which this build's .pc file leaves
  # out (its autotools build names it).
  sed -i 's/^Libs.private:.*/& -lshlwapi/' "$prefix/lib/pkgconfig/libmpg123.pc"
  # lame has only an autotools build.
  autotools_build "$width" lame "--disable-frontend --disable-decoder --disable-analyzer-hooks \
    --disable-gtktest" "libmp3lame include"
  # FLAC__NO_DLL: libFLAC is linked static, not imported from a DLL.
  cmake_build "$width" libsndfile "$src/libsndfile" -DCMAKE_C_FLAGS=-DFLAC__NO_DLL \
    -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF \
    -DENABLE_CPACK=OFF -DENABLE_PACKAGE_CONFIG=OFF -DINSTALL_MANPAGES=OFF \
    -DENABLE_EXTERNAL_LIBS=ON -DENABLE_MPEG=ON -DENABLE_EXPERIMENTAL=OFF
  grep -q 'libmpg123' "$prefix/lib/pkgconfig/sndfile.pc" ||
    { echo "$width: libsndfile was built without MP3 support" >&2; exit 1; }
  rm -rf "$out/build-$width"
  echo "$pins" >"$prefix/.pinned"
done
