#!/usr/bin/env bash
# The Windows side and the release packages: installs what is missing
# (mingw-w64 for both widths, wine64, the audio library for the Linux build
# and the encoders for the format tests), builds the decoding libraries for
# Windows from their pinned sources (scripts/build-windows-deps.sh, through
# the build; nothing to do when they are built already), builds the Linux
# tool together with both Windows flavours into build-windows/, runs every
# test there (the whole-run and format cases against the x86_64 build under
# wine64, the Windows console test, the checks of the executables), then
# builds and checks the Debian package (its contents, and lintian with no
# error, warning or unexplained informational tag) and the 32-bit Windows
# zip.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh cmake make g++ libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64 \
  wine64 dpkg-dev file unzip groff-base lintian pkg-config libsndfile1-dev libflac-dev ninja-build \
  sox flac vorbis-tools opus-tools lame

build=build-windows
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DLENTOK_WINDOWS_TESTS=ON
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)"

# Every manual page must format without a warning.
for page in man/*.[1-9]; do
  LC_ALL=C.UTF-8 groff -man -Tutf8 -K utf-8 -ww -z "$page" 2>&1 | { ! grep .; }
done

(cd "$build" && cpack -G DEB)
(cd "$build/windows-i686" && cpack -G ZIP)

deb=$(ls "$build"/lentok_*.deb)
zip=$(ls "$build"/windows-i686/lentok-*-win32.zip)
contents=$(dpkg-deb -c "$deb")
for path in ./usr/bin/lentok ./usr/share/man/man1/lentok.1.gz \
  ./usr/bin/lentok-read ./usr/share/man/man1/lentok-read.1.gz \
  ./usr/bin/lentok-side ./usr/share/man/man1/lentok-side.1.gz \
  ./usr/share/doc/lentok/copyright ./usr/share/doc/lentok/changelog.gz; do
  grep -q " $path\$" <<<"$contents" || { echo "$deb lacks $path" >&2; exit 1; }
done
# Debian's own checks of the package: any error or warning fails, and so
# does any informational tag but the one docs/building.md explains
# (hardening-no-fortify-functions: no call had a size to check).
tags=$(lintian --display-info --fail-on error,warning "$deb")
[ -z "$tags" ] || echo "$tags"
if grep -v ': hardening-no-fortify-functions ' <<<"$tags" | grep -q .; then
  echo "lintian: unexpected tags on $deb" >&2
  exit 1
fi
listing=$(unzip -Z1 "$zip")
for name in lentok.exe lentok-read.exe lentok-side.exe README.md LICENSE; do
  grep -q "/$name\$" <<<"$listing" || { echo "$zip lacks $name" >&2; exit 1; }
done
# The packed program is the stripped copy; it must pass the same check.
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
unzip -q "$zip" -d "$unpacked"
scripts/check-windows-exe.sh "$unpacked"/*/lentok.exe i686
scripts/check-windows-exe.sh "$unpacked"/*/lentok-read.exe i686 i686-w64-mingw32-objdump \
  "kernel32.dll msvcrt.dll shell32.dll shlwapi.dll"
scripts/check-windows-exe.sh "$unpacked"/*/lentok-side.exe i686 i686-w64-mingw32-objdump \
  "kernel32.dll msvcrt.dll shell32.dll shlwapi.dll user32.dll"
echo "packages: $deb $zip"
