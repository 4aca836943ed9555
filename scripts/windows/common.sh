# Shared by the Windows build steps (sourced, not run): Debian sources, the cache, timing.

# The Debian source packages the Windows release is built from, pinned: the same bytes on every machine.
declare -A VELMORA_SRC=(
  [zlib]=1:1.2.13.dfsg-1
  [pcre2]=10.42-1
  [libffi]=3.4.4-1
  [glib2.0]=2.74.6-2+deb12u9
  [gmime]=3.2.13+dfsg-2
  [libdeflate]=1.14-1
  [libxml2]=2.9.14+dfsg-1.3~deb12u6
  [libical3]=3.0.16-1
  [libytnef]=2.0-1
  [xxhash]=0.8.1-1
  [nlohmann-json3]=3.11.2-2
  [googletest]=1.12.1-0.2
  [qt6-base]=6.4.2+dfsg-10
)
VELMORA_TRIPLE=x86_64-w64-mingw32

as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

# A deb-src entry for bookworm main, added once.
ensure_deb_src() {
  local list=/etc/apt/sources.list.d/velmora-deb-src.sources
  if ! grep -rqsE '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    echo "Adding a deb-src entry for bookworm main ($list)" >&2
    as_root tee "$list" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    as_root apt-get update -q >&2
  fi
}

# fetch_source PACKAGE DIR: unpacks the pinned Debian source of PACKAGE (with Debian's patches) under DIR and
# prints the tree's path. When the mirror serves the upstream tarball but not Debian's part (seen for libical3),
# apt has checked the tarball against the .dsc already: the upstream tree is used.
fetch_source() {
  local pkg=$1 dir=$2/src-$1
  mkdir -p "$dir"
  if ! (cd "$dir" && apt-get source -q "$pkg=${VELMORA_SRC[$pkg]}" >"../$pkg.apt.log" 2>&1); then
    local orig
    orig=$(ls "$dir"/*.orig.tar.* 2>/dev/null | head -1)
    if [ -z "$orig" ] || ! grep -q "$(sha256sum "$orig" | cut -d' ' -f1)" "$dir"/*.dsc; then
      cat "$2/$pkg.apt.log" >&2
      return 1
    fi
    echo "$pkg: Debian's patches unavailable, building the upstream source" >&2
    tar xf "$orig" -C "$dir"
  fi
  find "$dir" -mindepth 1 -maxdepth 1 -type d | head -1
}

# enter_source PACKAGE: fetch_source into the current directory, then changes into the tree.
enter_source() {
  local tree
  tree=$(fetch_source "$1" "$PWD") || return 1
  cd "$tree"
}

# cache_key "PACKAGE..." FILE...: a short hash of the given files and the pinned versions of the packages.
cache_key() {
  local pkgs=$1 p
  shift
  {
    cat "$@"
    for p in $pkgs; do echo "$p=${VELMORA_SRC[$p]}"; done
  } | sha256sum | cut -c1-16
}

# cached_build DEST BUILDER: runs BUILDER with a fresh prefix unless DEST exists. The prefix is built in a
# temporary directory beside DEST and renamed into place only when BUILDER succeeded, so a half-built prefix is
# never taken for a finished one.
cached_build() {
  local dest=$1 builder=$2
  if [ -d "$dest" ]; then
    echo "Using cached $dest" >&2
    return 0
  fi
  mkdir -p "$(dirname "$dest")"
  local tmp
  tmp=$(mktemp -d "$dest.partial.XXXXXX")
  local start=$SECONDS
  local rc
  set +e
  (
    set -e
    "$builder" "$tmp"
  )
  rc=$?
  set -e
  if [ $rc -ne 0 ]; then
    rm -rf "$tmp"
    return 1
  fi
  # pkg-config files name the folder they were built in: they name their own place instead (pkgconf's
  # ${pcfiledir}), so that the prefix can be renamed into place.
  grep -rlF "$tmp" "$tmp/lib/pkgconfig" "$tmp/share/pkgconfig" 2>/dev/null | xargs -r sed -i "s|$tmp|\${pcfiledir}/../..|g"
  mv -T "$tmp" "$dest"
  echo "Built $dest in $((SECONDS - start)) s" >&2
}
