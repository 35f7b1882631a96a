# Sourced by the scripts that build libraries from the Debian archive's
# source packages (build-windows-deps.sh, build-web-deps.sh): the pin of the
# flac sources both take, the deb-src entry apt-get source needs, and the
# fetching, checking and unpacking of one pinned package. Not run alone.

# The native lentok-side writes FLAC with the system's libFLAC (Debian's
# libflac12 of this version); the Windows programs and the page are built
# from the same sources, so that all three write the same bytes.
debian_flac_source=flac=1.4.2+ds-2

# apt-get source needs the archive's source indexes: the same archive,
# suites and keys as the system's binary packages.
debian_sources_enable() {
  local system_sources=/etc/apt/sources.list.d/debian.sources
  local source_list=/etc/apt/sources.list.d/lentok-deb-src.sources
  if ! grep -qs '^Types:.*deb-src' "$system_sources" "$source_list"; then
    sed 's/^Types:.*/Types: deb-src/' "$system_sources" >"$source_list"
    apt-get update -q
  fi
}

# Fetches one source package, NAME=VERSION, into the directory SRC and
# unpacks it into SRC/NAME, with the Debian patches applied; nothing to do
# when it is unpacked there at that version already. apt checks each file
# it fetches against the signed source index; the upstream signature file
# (.asc) is not needed and not always in the archive, so a failure to
# fetch it alone is let pass, and every other file the .dsc names is
# checked here against its digest.
debian_source_unpack() {
  local src=$1 name=${2%%=*} version=${2#*=}
  local dsc=$src/${name}_${version#*:}.dsc
  mkdir -p "$src"
  [ "$(cat "$src/$name/.unpacked" 2>/dev/null)" = "$version" ] && return
  fetch() { (cd "$src" && apt-get source -q --download-only "$name=$version" >/dev/null 2>&1) || true; }
  fetch
  # The source indexes may be missing or older than the pin.
  [ -f "$dsc" ] || { apt-get update -q >/dev/null && fetch; }
  [ -f "$dsc" ] || { echo "cannot fetch the source package $name $version" >&2; exit 1; }
  local files
  files=$(sed -n '/^Checksums-Sha256:/,/^[^ ]/s/^ \([0-9a-f]\{64\}\) [0-9]* \(.*\)$/\1  \2/p' "$dsc" |
    grep -v '\.asc$')
  (cd "$src" && sha256sum --quiet -c <<<"$files") || { echo "$name $version: bad or missing files" >&2; exit 1; }
  rm -rf "${src:?}/$name" && mkdir "$src/$name"
  local file
  for file in $(awk '{print $2}' <<<"$files"); do
    case $file in
      *.orig.tar.*) tar -xf "$src/$file" -C "$src/$name" --strip-components=1 ;;
      *.debian.tar.*) tar -xf "$src/$file" -C "$src/$name" ;;
    esac
  done
  # The Debian changes (security fixes among them), as dpkg-source applies them.
  local series=$src/$name/debian/patches/series patch_line
  if [ -f "$series" ]; then
    while read -r patch_line; do
      patch_line=${patch_line%%#*}
      [ -n "${patch_line// /}" ] || continue
      set -- $patch_line
      patch -d "$src/$name" -s -N "${2:--p1}" <"$src/$name/debian/patches/$1"
    done <"$series"
  fi
  echo "$version" >"$src/$name/.unpacked"
}
