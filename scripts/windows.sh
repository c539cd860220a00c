#!/usr/bin/env bash
# Cross-builds velora for 64-bit Windows on Debian 12 and packages it as a zip and an installer.
#
#   bash scripts/windows.sh           build and package (build/win-dist/)
#   bash scripts/windows.sh --test    the same, then prove the build under Wine (scripts/windows-test.sh)
#
# Qt 5 (qtbase), zlib and libxlsxwriter for Windows are built from Debian's source packages once per
# machine into a cache that later runs reuse: VELORA_WIN_CACHE, by default build/windows in this checkout.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD

want_test=0
for a in "$@"; do
  case "$a" in
    --test) want_test=1 ;;
    *) echo "usage: bash scripts/windows.sh [--test]" >&2; exit 2 ;;
  esac
done

CACHE=${VELORA_WIN_CACHE:-$ROOT/build/windows}
mkdir -p "$CACHE"
CACHE=$(cd "$CACHE" && pwd)
PREFIX=$CACHE/prefix
STAMPS=$CACHE/stamps
BUILD=$ROOT/build/win
DIST=$ROOT/build/win-dist
JOBS=${VELORA_JOBS:-2}
TRIPLE=x86_64-w64-mingw32
export VELORA_WIN_PREFIX=$PREFIX
mkdir -p "$STAMPS" "$CACHE/src" "$DIST"

TIMES=()
stage() {
  local name=$1 t0 t
  shift
  t0=$(date +%s)
  echo "=== $name"
  "$@"
  t=$(($(date +%s) - t0))
  echo "=== $name: ${t} s"
  TIMES+=("$(printf '%-16s %5d s' "$name" "$t")")
}

# --- packages -----------------------------------------------------------------------------------
install_missing() {
  local packages=(
    build-essential cmake pkg-config perl python3 dpkg-dev
    g++-mingw-w64-x86-64-posix mingw-w64-tools
    nsis zip
  )
  if [ "$want_test" = 1 ]; then
    packages+=(wine wine64 xvfb xauth xdotool xclip imagemagick x11-apps x11-utils python3-openpyxl python3-xlrd
               fonts-wqy-microhei unzip)
  fi
  local missing=() p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    # apt is shared: wait for another apt's lock rather than fail.
    apt-get -o DPkg::Lock::Timeout=1800 update
    apt-get -o DPkg::Lock::Timeout=1800 install -y "${missing[@]}"
  fi
}

# --- sources ------------------------------------------------------------------------------------
# A private apt configuration with a deb-src entry; the machine's own sources stay untouched.
APTDIR=$CACHE/apt
APT_OPTS=(-o Dir::Etc::SourceList=/dev/null -o "Dir::Etc::SourceParts=$APTDIR/sources.list.d"
          -o "Dir::State::Lists=$APTDIR/lists" -o "Dir::Cache=$APTDIR/cache" -o DPkg::Lock::Timeout=1800)
SOURCES=(qtbase-opensource-src zlib libxlsxwriter)

fetch_sources() {
  mkdir -p "$APTDIR/sources.list.d" "$APTDIR/lists/partial" "$APTDIR/cache/archives/partial"
  cat >"$APTDIR/sources.list.d/bookworm-src.sources" <<'EOF'
Types: deb deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  apt-get "${APT_OPTS[@]}" update
  local pkg
  (cd "$CACHE/src" && for pkg in "${SOURCES[@]}"; do
     apt-get "${APT_OPTS[@]}" source "$pkg"
   done)
  touch "$STAMPS/fetch"
}

src_dir() { # the unpacked source tree of a package
  local d
  d=$(find "$CACHE/src" -maxdepth 1 -type d -name "$1-[0-9]*" | sort | tail -1)
  [ -n "$d" ] || { echo "source of $1 not found in $CACHE/src" >&2; exit 1; }
  echo "$d"
}

# --- Qt -----------------------------------------------------------------------------------------
# Without the tablet feature the windows platform plugin needs no wintab.h (not packaged).
QT_CONFIGURE_OPTS=(
  -opensource -confirm-license
  -xplatform win32-g++ -device-option CROSS_COMPILE=$TRIPLE-
  -release -shared -nomake examples -nomake tests
  -no-opengl -no-dbus -no-icu
  -qt-zlib -qt-libpng -qt-libjpeg -qt-freetype -qt-harfbuzz -qt-pcre
  -no-sql-sqlite -no-sql-odbc -no-feature-tabletevent
)

qt_configure() {
  rm -rf "$CACHE/qt-build"
  mkdir -p "$CACHE/qt-build"
  (cd "$CACHE/qt-build" && MAKEFLAGS=-j$JOBS nice -n 10 "$(src_dir qtbase-opensource-src)/configure" \
     -prefix "$PREFIX" "${QT_CONFIGURE_OPTS[@]}") >"$CACHE/qt-configure.log" 2>&1 ||
    { tail -30 "$CACHE/qt-configure.log"; exit 1; }
  echo "${QT_CONFIGURE_OPTS[*]}" >"$STAMPS/qt-configure"
  rm -f "$STAMPS/qt-build"
}

qt_build() {
  (cd "$CACHE/qt-build" && nice -n 10 make -j"$JOBS" && make install) >"$CACHE/qt-make.log" 2>&1 ||
    { tail -30 "$CACHE/qt-make.log"; exit 1; }
  touch "$STAMPS/qt-build"
}

# --- zlib and libxlsxwriter ---------------------------------------------------------------------
TOOLCHAIN=$ROOT/cmake/mingw-w64.cmake

build_zlib() {
  # Debian's zlib source has no win32/ resource file, so only the static library builds.
  local b=$CACHE/zlib-build
  rm -rf "$b"
  cmake -S "$(src_dir zlib)" -B "$b" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$PREFIX" >/dev/null
  nice -n 10 cmake --build "$b" -j"$JOBS" --target zlibstatic >/dev/null
  mkdir -p "$PREFIX/lib" "$PREFIX/include"
  cp "$b/libzlibstatic.a" "$PREFIX/lib/libzlibstatic.a"
  # libxlsxwriter's pkg-config file asks for -lz.
  cp "$b/libzlibstatic.a" "$PREFIX/lib/libz.a"
  cp "$b/zconf.h" "$(src_dir zlib)/zlib.h" "$PREFIX/include/"
  touch "$STAMPS/zlib"
}

build_xlsxwriter() {
  local b=$CACHE/xlsxwriter-build
  rm -rf "$b"
  cmake -S "$(src_dir libxlsxwriter)" -B "$b" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$PREFIX" -DBUILD_SHARED_LIBS=ON \
    -DZLIB_LIBRARY="$PREFIX/lib/libzlibstatic.a" -DZLIB_INCLUDE_DIR="$PREFIX/include" >/dev/null
  nice -n 10 cmake --build "$b" -j"$JOBS" >/dev/null
  cmake --install "$b" >/dev/null
  touch "$STAMPS/xlsxwriter"
}

# --- velora -------------------------------------------------------------------------------------
build_velora() {
  cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DVELORA_WIN_PREFIX="$PREFIX" \
    -DCMAKE_BUILD_TYPE=Release -DVELORA_BENCH=OFF -DBUILD_TESTING=OFF >"$BUILD.cmake.log" 2>&1 ||
    { cat "$BUILD.cmake.log"; exit 1; }
  nice -n 10 cmake --build "$BUILD" -j"$JOBS" >"$BUILD.build.log" 2>&1 || { tail -30 "$BUILD.build.log"; exit 1; }
  echo "compiler warnings: $(grep -c 'warning:' "$BUILD.build.log")"
  file "$BUILD/velora.exe"
}

# The tests and fuzz replays in a build of their own: their fixtures make a few POSIX calls
# (mkfifo, mincore, madvise, sysconf) that packaging/windows/posix-compat supplies; velora.exe
# is built without it.
TESTBUILD=$ROOT/build/win-test
build_tests() {
  local compat=$ROOT/packaging/windows/posix-compat
  cmake -S "$ROOT" -B "$TESTBUILD" -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DVELORA_WIN_PREFIX="$PREFIX" \
    -DCMAKE_BUILD_TYPE=Release -DVELORA_BENCH=OFF -DBUILD_TESTING=ON \
    "-DCMAKE_CXX_FLAGS=-isystem $compat -include $compat/velora_posix_compat.h" >"$TESTBUILD.cmake.log" 2>&1 ||
    { cat "$TESTBUILD.cmake.log"; exit 1; }
  nice -n 10 cmake --build "$TESTBUILD" -j"$JOBS" >"$TESTBUILD.build.log" 2>&1 ||
    { grep -E 'error' "$TESTBUILD.build.log" | head -20; exit 1; }
  echo "compiler warnings: $(grep -c 'warning:' "$TESTBUILD.build.log")"
}

# --- packages -----------------------------------------------------------------------------------
VERSION=$(sed -n 's/^project(velora VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
NAME=velora-$VERSION-windows-x64
STAGE=$DIST/$NAME
RUNTIME_DIRS=()

# Where the DLLs come from. Asked only here, after the packages stage has installed the compiler:
# asked earlier, on a fresh machine, the compiler did not exist yet and its runtime folder was missed.
find_runtime_dirs() {
  local gxx=$TRIPLE-g++-posix libstdcxx
  command -v "$gxx" >/dev/null || { echo "$gxx not found" >&2; exit 1; }
  libstdcxx=$("$gxx" -print-file-name=libstdc++-6.dll)
  # Without the file the compiler echoes the bare name.
  [ -f "$libstdcxx" ] || { echo "$gxx does not know where libstdc++-6.dll is" >&2; exit 1; }
  RUNTIME_DIRS=("$PREFIX/bin" "$(dirname "$libstdcxx")" "/usr/$TRIPLE/lib")
}

imports_of() { # the DLL names a binary imports
  $TRIPLE-objdump -p "$1" | sed -n 's/^\s*DLL Name: //p'
}

# Copies the DLLs a binary imports (and theirs) from the prefix and the MinGW runtime into $STAGE;
# Windows' own DLLs are not found there and stay out.
copy_imports() {
  local dll d
  for dll in $(imports_of "$1"); do
    [ -e "$STAGE/$dll" ] && continue
    for d in "${RUNTIME_DIRS[@]}"; do
      if [ -f "$d/$dll" ]; then
        cp "$d/$dll" "$STAGE/$dll"
        copy_imports "$STAGE/$dll"
        break
      fi
    done
  done
}

# Every DLL a packaged binary imports is in the package (beside the program, as Windows looks it up)
# or is Windows' own (packaging/windows/windows-dlls.txt); anything else would stop the program
# from starting on a machine without a MinGW, so the run fails.
check_imports() {
  local own=$ROOT/packaging/windows/windows-dlls.txt f dll bad=0 n=0
  while IFS= read -r f; do
    n=$((n + 1))
    for dll in $(imports_of "$f"); do
      [ -n "$(find "$STAGE" -maxdepth 1 -iname "$dll" -print -quit)" ] && continue
      case "${dll,,}" in api-ms-win-*|ext-ms-win-*) continue ;; esac
      grep -qixF "$dll" <(sed 's/[[:space:]]*#.*//; /^$/d' "$own") && continue
      echo "${f#"$STAGE"/} imports $dll, which is neither in the package nor Windows' own" >&2
      bad=1
    done
  done < <(find "$STAGE" -iname '*.exe' -o -iname '*.dll' | sort)
  [ "$bad" = 0 ] || exit 1
  echo "imports checked: $n binaries, every DLL in the package or Windows' own"
}

stage_files() {
  find_runtime_dirs
  rm -rf "$STAGE"
  mkdir -p "$STAGE/platforms" "$STAGE/styles" "$STAGE/licenses"
  cp "$BUILD/velora.exe" "$STAGE/"
  cp "$PREFIX/plugins/platforms/qwindows.dll" "$STAGE/platforms/"
  cp "$PREFIX/plugins/styles/qwindowsvistastyle.dll" "$STAGE/styles/"
  local f
  for f in "$STAGE/velora.exe" "$STAGE/platforms/qwindows.dll" "$STAGE/styles/qwindowsvistastyle.dll"; do
    copy_imports "$f"
  done
  # Plugins next to the program only, never the build machine's prefix.
  printf '[Paths]\r\nPrefix = .\r\nPlugins = .\r\n' >"$STAGE/qt.conf"
  find "$STAGE" -name '*.exe' -o -name '*.dll' | xargs $TRIPLE-strip --strip-unneeded

  local qt zl xw
  qt=$(src_dir qtbase-opensource-src)
  zl=$(src_dir zlib)
  xw=$(src_dir libxlsxwriter)
  local L=$STAGE/licenses
  cp "$qt/LICENSE.LGPL3" "$L/Qt-LGPL-3.0.txt"
  cp "$qt/LICENSE.GPL3" "$L/Qt-GPL-3.0.txt"
  cp "$qt/debian/copyright" "$L/Qt-copyright.txt"
  local qtver
  qtver=$(dpkg-parsechangelog -l "$qt/debian/changelog" -S Version)
  sed -e "s|@QTVER@|$qtver|g" -e "s|@QTOPTS@|${QT_CONFIGURE_OPTS[*]}|g" \
    "$ROOT/packaging/windows/Qt-source.txt" >"$L/Qt-source.txt"
  cp "$xw/License.txt" "$L/libxlsxwriter-License.txt"
  cp "$xw/debian/copyright" "$L/libxlsxwriter-copyright.txt"
  cp "$zl/debian/copyright" "$L/zlib-copyright.txt"
  cp /usr/share/doc/gcc-mingw-w64-base/copyright "$L/MinGW-gcc-runtime-copyright.txt"
  cp /usr/share/doc/mingw-w64-common/copyright "$L/MinGW-w64-copyright.txt"
  # Windows' own editors want CR LF.
  for f in "$L"/*.txt; do sed -i 's/\r*$/\r/' "$f"; done
  sed 's/\r*$/\r/' "$ROOT/packaging/windows/使用说明.txt" >"$STAGE/使用说明.txt"
  check_imports
}

make_zip() {
  rm -f "$DIST/$NAME.zip"
  # Python's zipfile marks the name 使用说明.txt as UTF-8; Info-ZIP's zip only adds an extra field
  # that Windows' own unpacker ignores.
  (cd "$DIST" && /usr/bin/python3 - "$NAME" <<'EOF'
import os, sys, zipfile
top = sys.argv[1]
with zipfile.ZipFile(top + ".zip", "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for d, dirs, files in os.walk(top):
        dirs.sort()
        z.write(d)
        for f in sorted(files):
            z.write(os.path.join(d, f))
EOF
  )
  ls -l "$DIST/$NAME.zip"
}

# The installer lists every file it puts down, so its uninstaller removes exactly those.
make_installer() {
  local nsh=$DIST/files.nsh unsh=$DIST/unfiles.nsh rel d
  : >"$nsh"
  : >"$unsh"
  while IFS= read -r d; do
    rel=${d#"$STAGE"}
    rel=${rel#/}
    echo "SetOutPath \"\$INSTDIR${rel:+\\${rel//\//\\}}\"" >>"$nsh"
    find "$d" -maxdepth 1 -type f | sort | while IFS= read -r f; do
      echo "File \"$(realpath "$f")\"" >>"$nsh"
      r=${f#"$STAGE"/}
      echo "Delete \"\$INSTDIR\\${r//\//\\}\"" >>"$unsh"
    done
  done < <(find "$STAGE" -type d | sort)
  find "$STAGE" -mindepth 1 -type d | sort -r | while IFS= read -r d; do
    rel=${d#"$STAGE"/}
    echo "RMDir \"\$INSTDIR\\${rel//\//\\}\"" >>"$unsh"
  done
  rm -f "$DIST/velora-$VERSION-setup.exe"
  makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$VERSION" -DFILES="$nsh" -DUNFILES="$unsh" \
    -DICON="$ROOT/resources/velora.ico" -DOUTFILE="$DIST/velora-$VERSION-setup.exe" \
    "$ROOT/packaging/windows/velora.nsi"
  ls -l "$DIST/velora-$VERSION-setup.exe"
}

# --- run ----------------------------------------------------------------------------------------
t_all=$(date +%s)
stage packages install_missing
[ -f "$STAMPS/fetch" ] || stage fetch fetch_sources
[ "$(cat "$STAMPS/qt-configure" 2>/dev/null)" = "${QT_CONFIGURE_OPTS[*]}" ] || stage qt-configure qt_configure
[ -f "$STAMPS/qt-build" ] || stage qt-build qt_build
[ -f "$STAMPS/zlib" ] || stage zlib build_zlib
[ -f "$STAMPS/xlsxwriter" ] || stage libxlsxwriter build_xlsxwriter
stage velora build_velora
stage stage-files stage_files
stage zip make_zip
stage installer make_installer
test_rc=0
if [ "$want_test" = 1 ]; then
  stage tests build_tests
  t0=$(date +%s)
  echo "=== wine-test"
  env VELORA_WIN_BUILD="$BUILD" VELORA_WIN_TESTS="$TESTBUILD" VELORA_WIN_PREFIX="$PREFIX" \
    VELORA_WIN_DIST="$DIST" VELORA_VERSION="$VERSION" bash "$ROOT/scripts/windows-test.sh" || test_rc=$?
  TIMES+=("$(printf '%-16s %5d s' wine-test $(($(date +%s) - t0)))")
fi

echo
echo "Stage times (a stage missing here was reused from $CACHE):"
printf '  %s\n' "${TIMES[@]}"
echo "  total            $(($(date +%s) - t_all)) s"
echo "Zip:       $DIST/$NAME.zip"
echo "Installer: $DIST/velora-$VERSION-setup.exe"
exit $test_rc
