# Qt (qtbase only) for Windows, static, from Debian's source, with Debian's own Qt tools (moc, rcc, uic) as
# the host tools: Core, Gui, Widgets, Test and the windows platform plugin. Sourced by scripts/windows.sh.

# build_qt PREFIX
build_qt() {
  local prefix=$1 work
  work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-qt.XXXXXX")
  local src
  src=$(fetch_source qt6-base "$work")
  # Without OpenGL the windows plugin still asks dynamicgl's question about software OpenGL (Qt 6.4.2).
  sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
    "$src/src/plugins/platforms/windows/qwindowswindow.cpp"
  # Debian's source lacks 3rdparty/wintab (tablet input), hence tabletevent off; it keeps the bundled
  # freetype, harfbuzz, libpng, zlib and pcre2, which are built in (no system copies exist for Windows).
  nice cmake -S "$src" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$VELMORA_ROOT/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DBUILD_SHARED_LIBS=OFF \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_USE_CCACHE=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
    -DFEATURE_tabletevent=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_printsupport=OFF \
    -DFEATURE_opengl=OFF -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_vulkan=OFF \
    -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF -DFEATURE_sql=OFF -DFEATURE_testlib=ON \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF \
    -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_libpng=OFF -DFEATURE_system_doubleconversion=OFF \
    >"$work/configure.log" 2>&1 || { tail -40 "$work/configure.log" >&2; return 1; }
  nice cmake --build "$work/build" >"$work/build.log" 2>&1 || { tail -40 "$work/build.log" >&2; return 1; }
  cmake --install "$work/build" >/dev/null
  rm -rf "$work"
}
