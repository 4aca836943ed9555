# The libraries the programs use, for Windows, static, from Debian's sources: zlib, libffi, pcre2, GLib, GMime,
# libdeflate, libxml2, libical, libytnef, xxHash, nlohmann-json and GoogleTest. Sourced by scripts/windows.sh.
#
# Debian has no gettext or iconv for mingw. GLib's messages stay untranslated (libintl.c, a stub) and iconv is
# GLib's own win_iconv.c (Windows' code pages), built once more under names of its own (iconv.h) so that it
# does not collide with the copy inside GLib when both are linked statically.

# build_deps PREFIX
build_deps() {
  local prefix=$1 work p rc
  work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-deps.XXXXXX")
  cd "$work"
  win_env "$prefix"
  for p in zlib libffi pcre2 glib2.0 iconv gmime libdeflate libxml2 libical3 libytnef xxhash nlohmann-json3 \
    googletest; do
    local start=$SECONDS
    set +e
    (
      set -e
      "dep_${p//[.-]/_}" "$prefix"
    ) >"$work/$p.log" 2>&1
    rc=$?
    set -e
    if [ $rc -ne 0 ]; then
      tail -40 "$work/$p.log" >&2
      echo "building $p for Windows failed (log: $work/$p.log)" >&2
      return 1
    fi
    echo "  $p: $((SECONDS - start)) s" >&2
  done
  cd /
  rm -rf "$work"
}

# The cross compiler and pkg-config pointed at PREFIX only.
win_env() {
  local prefix=$1 t=$VELMORA_TRIPLE
  export CC=$t-gcc-posix CXX=$t-g++-posix AR=$t-ar RANLIB=$t-ranlib STRIP=$t-strip WINDRES=$t-windres
  export CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib" CFLAGS="-O2" CXXFLAGS="-O2"
  export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig:$prefix/share/pkgconfig PKG_CONFIG_PATH=
  export WINEPREFIX=$PWD/wine WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
}

# Autotools and CMake invocations shared by most libraries.
win_configure() {
  ./configure --host="$VELMORA_TRIPLE" --prefix="$1" --enable-static --disable-shared "${@:2}"
}
win_cmake() {
  local src=$1 prefix=$2
  cmake -S "$src" -B "$src/build-win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$VELMORA_ROOT/cmake/mingw-w64.cmake" \
    -DVELMORA_WIN_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DBUILD_SHARED_LIBS=OFF "${@:3}"
  cmake --build "$src/build-win"
  cmake --install "$src/build-win"
}

dep_zlib() {
  enter_source zlib
  CHOST=$VELMORA_TRIPLE ./configure --static --prefix="$1"
  make -j2 libz.a
  make install
}

dep_libffi() {
  enter_source libffi
  win_configure "$1" --disable-docs --disable-multi-os-directory
  make -j2
  make install
}

dep_pcre2() {
  enter_source pcre2
  win_configure "$1" --enable-pcre2-16=no --enable-pcre2-32=no --disable-pcre2grep-libz
  make -j2 libpcre2-8.la
  make install-libLTLIBRARIES install-includeHEADERS install-nodist_includeHEADERS install-pkgconfigDATA
}

dep_glib2_0() {
  local prefix=$1
  enter_source glib2.0
  # The libintl stub: gettext and friends hand back the untranslated text.
  $CC -O2 -c "$VELMORA_ROOT/scripts/windows/libintl.c" -o libintl.o
  $AR rcs "$prefix/lib/libintl.a" libintl.o
  cp "$VELMORA_ROOT/scripts/windows/libintl.h" "$prefix/include/"
  cat >cross.txt <<EOF
[binaries]
c = ['ccache', '$CC']
cpp = ['ccache', '$CXX']
ar = '$AR'
strip = '$STRIP'
windres = '$WINDRES'
pkgconfig = 'pkg-config'
exe_wrapper = 'wine'
[host_machine]
system = 'windows'
cpu_family = 'x86_64'
cpu = 'x86_64'
endian = 'little'
[built-in options]
c_args = ['-I$prefix/include']
c_link_args = ['-L$prefix/lib']
EOF
  meson setup build --cross-file cross.txt --prefix="$prefix" --libdir=lib --buildtype=release \
    --wrap-mode=nofallback -Ddefault_library=static -Dtests=false -Dinstalled_tests=false -Dnls=disabled \
    -Dman=false -Dgtk_doc=false -Dxattr=false -Dlibmount=disabled -Dselinux=disabled -Dsysprof=disabled
  meson compile -C build
  meson install -C build
}

dep_iconv() {
  local prefix=$1 src
  src=$(ls -d "$PWD"/src-glib2.0/*/glib/win_iconv.c)
  $CC -O2 -Diconv_open=winiconv_open -Diconv_close=winiconv_close -Diconv=winiconv -c "$src" -o win_iconv.o
  $AR rcs "$prefix/lib/libiconv.a" win_iconv.o
  cp "$VELMORA_ROOT/scripts/windows/iconv.h" "$prefix/include/"
}

dep_gmime() {
  local prefix=$1
  enter_source gmime
  NOCONFIGURE=1 ./autogen.sh
  # GMime asks the iconv in use which charset names it knows by running a program: built here and run by Wine.
  $CC $CPPFLAGS -o iconv-detect.exe iconv-detect.c $LDFLAGS -liconv
  wine ./iconv-detect.exe
  [ -s iconv-detect.h ]
  LIBS="-liconv" win_configure "$prefix" ac_cv_func_iconv_open=yes ac_cv_have_iconv_detect_h=yes \
    --disable-glibtest --disable-introspection --disable-vala --disable-crypto --disable-gtk-doc
  make -j2 -C util
  make -j2 -C gmime libgmime-3.0.la
  make -C gmime install-libLTLIBRARIES install-gmimeincludeHEADERS
  make install-pkgconfigDATA
  sed -i 's/^Libs.private: .*/& -liconv/' "$prefix/lib/pkgconfig/gmime-3.0.pc"
}

dep_libdeflate() {
  local prefix=$1 f
  enter_source libdeflate
  # Its Makefile names Windows libraries the MSVC way; the library is a handful of files.
  for f in lib/*.c lib/x86/*.c; do
    $CC -O2 -I. -c "$f" -o "${f//\//_}.o"
  done
  $AR rcs "$prefix/lib/libdeflate.a" ./*.o
  cp libdeflate.h "$prefix/include/"
  sed -e "s|@PREFIX@|$prefix|;s|@LIBDIR@|$prefix/lib|;s|@INCDIR@|$prefix/include|;s|@VERSION@|1.14|" \
    libdeflate.pc.in >"$prefix/lib/pkgconfig/libdeflate.pc"
}

dep_libxml2() {
  local prefix=$1
  enter_source libxml2
  autoreconf -fi # Debian's patches touch the autotools inputs
  win_configure "$prefix" --without-python --without-zlib --without-lzma --without-http --without-ftp \
    --without-threads --with-iconv="$prefix" --without-icu --without-debug --without-catalog
  make -j2 libxml2.la
  make install-libLTLIBRARIES install-pkgconfigDATA
  make -C include install
  # Static use on Windows: the headers must not ask for a DLL.
  sed -i 's/^Cflags: .*/& -DLIBXML_STATIC/' "$prefix/lib/pkgconfig/libxml-2.0.pc"
}

dep_libical3() {
  local prefix=$1
  # Debian's bookworm source of libical3 is sometimes served without its Debian part: the upstream tarball
  # (checked against the .dsc) serves as well.
  enter_source libical3
  win_cmake "$PWD" "$prefix" -DSTATIC_ONLY=ON -DICAL_GLIB=OFF -DICAL_BUILD_DOCS=OFF \
    -DLIBICAL_BUILD_TESTING=OFF -DWITH_CXX_BINDINGS=OFF -DGOBJECT_INTROSPECTION=OFF -DCMAKE_DISABLE_FIND_PACKAGE_ICU=ON \
    -DCMAKE_DISABLE_FIND_PACKAGE_BDB=ON -DUSE_BUILTIN_TZDATA=ON
  sed -i 's/^Cflags: .*/& -DLIBICAL_ICAL_STATIC_DEFINE -DLIBICAL_ICALSS_STATIC_DEFINE -DLIBICAL_VCAL_STATIC_DEFINE/' \
    "$prefix/lib/pkgconfig/libical.pc"
}

dep_libytnef() {
  enter_source libytnef
  ./autogen.sh
  win_configure "$1"
  make -j2 -C lib
  make -C lib install
}

dep_xxhash() {
  local prefix=$1
  enter_source xxhash
  $CC -O2 -c xxhash.c -o xxhash.o
  $AR rcs "$prefix/lib/libxxhash.a" xxhash.o
  cp xxhash.h xxh3.h "$prefix/include/"
  printf '%s\n' "prefix=$prefix" 'Name: xxhash' 'Description: xxHash' 'Version: 0.8.1' \
    'Libs: -L${prefix}/lib -lxxhash' 'Cflags: -I${prefix}/include' >"$prefix/lib/pkgconfig/libxxhash.pc"
}

dep_nlohmann_json3() {
  enter_source nlohmann-json3
  win_cmake "$PWD" "$1" -DJSON_BuildTests=OFF
}

dep_googletest() {
  enter_source googletest
  win_cmake "$PWD" "$1" -Dgtest_disable_pthreads=OFF
}
