# The programs for Windows (build-win/) and the installer. Sourced by scripts/windows.sh.
#
# build_release DEPS_PREFIX QT_PREFIX: VELMORA_WIN_TESTS=1 builds the test programs as well (CI runs them under
# Wine); VELMORA_GUI=OFF leaves out the wizard (and needs no Qt).
build_release() {
  local deps=$1 qt=$2 build=$VELMORA_ROOT/build-win gui=${VELMORA_GUI:-ON}
  local start=$SECONDS toolchain=(-DCMAKE_TOOLCHAIN_FILE="$VELMORA_ROOT/cmake/mingw-w64.cmake")
  # With the wizard, Qt's own toolchain file on top of ours: it adds the Qt prefix to the places searched.
  [ -z "$qt" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake"
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$VELMORA_ROOT/cmake/mingw-w64.cmake")
  rm -f "$build/CMakeCache.txt" # the toolchain is chosen anew each time
  cmake -S "$VELMORA_ROOT" -B "$build" -G Ninja "${toolchain[@]}" \
    -DVELMORA_WIN_PREFIX="$deps" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DCMAKE_COMPILE_WARNING_AS_ERROR=ON -DBUILD_TESTING="${VELMORA_WIN_TESTS:-0}" -DVELMORA_GUI="$gui" \
    -DVELMORA_SHARED="$(cd "$VELMORA_ROOT/.." && pwd)/shared" >"$build.configure.log" 2>&1 || {
    tail -30 "$build.configure.log" >&2
    return 1
  }
  cmake --build "$build"
  echo "programs built in $((SECONDS - start)) s" >&2
  local bin=$build/dist exe programs=(velmora-convert velmora-pst) flags=()
  if [ "$gui" = ON ]; then
    programs+=(velmora)
  else
    echo "the wizard was left out: the installer holds the converter tools only" >&2
    flags+=(-DNO_GUI)
  fi
  rm -rf "$bin"
  mkdir -p "$bin"
  for exe in "${programs[@]}"; do
    $VELMORA_TRIPLE-strip -o "$bin/$exe.exe" "$(find "$build" -name "$exe.exe" -not -path "*/dist/*" | head -1)"
  done
  # libical's zone files: the zones calendars name without describing them (Windows has no such files).
  cp -r "$deps/share/libical/zoneinfo" "$bin/zoneinfo"
  # The wizard opens no console window, whether or not its target says WIN32_EXECUTABLE (main() stays the entry).
  [ "$gui" != ON ] || $VELMORA_TRIPLE-objcopy --subsystem windows "$bin/velmora.exe"
  local version
  version=$(sed -n 's/^project(velmora VERSION \([0-9.]*\).*/\1/p' "$VELMORA_ROOT/CMakeLists.txt")
  local out=$build/Velmora-$version-setup.exe
  makensis -V2 "${flags[@]}" -DVERSION="$version" -DBIN="$bin" -DTOP="$VELMORA_ROOT" -DOUT="$out" \
    "$VELMORA_ROOT/packaging/velmora.nsi" >&2
  echo "installer: $out ($(du -k "$out" | cut -f1) KiB)"
}
