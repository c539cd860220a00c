#!/usr/bin/env bash
# Cross-builds velora for 64-bit Windows on Debian 12 and packages it as a zip and an installer.
#
#   bash scripts/windows.sh           build and package (build/win-dist/)
#   bash scripts/windows.sh --test    the same, then prove the build under Wine (scripts/windows-test.sh)
#
# Qt 5 (qtbase), zlib, libxlsxwriter and SQLite for Windows are built from Debian's source packages once
# per machine into a cache that later runs reuse: VELORA_WIN_CACHE, by default build/windows in this
# checkout. Qt's own Chinese texts come from Debian's build of its translations.
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
  TIMES+=("$(printf '%-26s %5d s' "$name" "$t")")
}

# --- packages -----------------------------------------------------------------------------------
install_missing() {
  local packages=(
    build-essential cmake pkg-config perl python3 dpkg-dev tcl
    g++-mingw-w64-x86-64-posix mingw-w64-tools
    nsis zip
  )
  if [ "$want_test" = 1 ]; then
    packages+=(wine wine64 xvfb xauth xdotool xclip imagemagick x11-apps x11-utils python3-openpyxl python3-xlrd
               fonts-wqy-microhei unzip sqlite3)
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
# Each package is fetched once, with a stamp of its own, so a cache made before a package joined the
# list fetches only that one.
SOURCES=(qtbase-opensource-src zlib libxlsxwriter sqlite3)
# A .qm file is the same on every platform: Debian's arch-all build of Qt's translations is used as it
# is (qttranslations-opensource-src, the same release as qtbase).
BINARIES=(qttranslations5-l10n)
# A cache from before the per-package stamps fetched these three under one stamp.
if [ -f "$STAMPS/fetch" ]; then
  for p in qtbase-opensource-src zlib libxlsxwriter; do touch "$STAMPS/fetch-$p"; done
fi

APT_READY=0
apt_ready() { # the private apt configuration and its package lists, once a run
  [ "$APT_READY" = 1 ] && return
  mkdir -p "$APTDIR/sources.list.d" "$APTDIR/lists/partial" "$APTDIR/cache/archives/partial"
  cat >"$APTDIR/sources.list.d/bookworm-src.sources" <<'EOF'
Types: deb deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  apt-get "${APT_OPTS[@]}" update
  APT_READY=1
}

drop_unpacked() { # a tree left half unpacked by a failed fetch would be taken for the package
  find "$CACHE/src" -maxdepth 1 -type d -name "$1-[0-9]*" -exec rm -rf {} +
}

fetch_source() { # fetch_source PKG: Debian's source package, unpacked in $CACHE/src
  apt_ready
  drop_unpacked "$1"
  (cd "$CACHE/src" && apt-get "${APT_OPTS[@]}" source "$1")
  touch "$STAMPS/fetch-$1"
}

fetch_binary() { # fetch_binary PKG: Debian's binary package, unpacked in $CACHE/src/PKG-VERSION
  apt_ready
  local d=$CACHE/src/deb deb ver
  rm -rf "$d"
  mkdir -p "$d"
  (cd "$d" && apt-get "${APT_OPTS[@]}" download "$1")
  deb=$(find "$d" -maxdepth 1 -name "$1_*.deb" | head -1)
  [ -n "$deb" ] || { echo "apt-get download $1 left no .deb" >&2; exit 1; }
  ver=$(dpkg-deb -f "$deb" Version)
  drop_unpacked "$1"
  dpkg-deb -x "$deb" "$CACHE/src/$1-$ver"
  mv "$deb" "$CACHE/src/"
  rm -rf "$d"
  touch "$STAMPS/fetch-$1"
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

# --- SQLite -------------------------------------------------------------------------------------
# velora's library of marks. Debian's source is made into the one-file amalgamation here (its generators
# need tclsh, not the target), which is cross-compiled into a static library: like zlib, it goes inside
# the binaries that use it, so no DLL can be left out of a package. Options as a desktop program's own
# database wants them; SECURE_DELETE, USE_URI and MAX_SCHEMA_RETRY as Debian's own build has them, so
# SQL behaves on Windows as it does on Linux.
SQLITE_DEFINES=(
  -DSQLITE_THREADSAFE=1
  -DSQLITE_OMIT_LOAD_EXTENSION
  -DSQLITE_SECURE_DELETE
  -DSQLITE_USE_URI=1
  -DSQLITE_MAX_SCHEMA_RETRY=25
)

build_sqlite3() {
  local b=$CACHE/sqlite3-build src ver
  src=$(src_dir sqlite3)
  rm -rf "$b"
  mkdir -p "$b"
  (cd "$b" && "$src/configure" --disable-tcl && nice -n 10 make sqlite3.c) >"$CACHE/sqlite3-make.log" 2>&1 ||
    { tail -30 "$CACHE/sqlite3-make.log"; exit 1; }
  nice -n 10 $TRIPLE-gcc-posix -O2 -fno-strict-aliasing "${SQLITE_DEFINES[@]}" -c "$b/sqlite3.c" -o "$b/sqlite3.o"
  mkdir -p "$PREFIX/lib/pkgconfig" "$PREFIX/include"
  rm -f "$PREFIX/lib/libsqlite3.a"
  $TRIPLE-ar rcs "$PREFIX/lib/libsqlite3.a" "$b/sqlite3.o"
  cp "$b/sqlite3.h" "$b/sqlite3ext.h" "$PREFIX/include/"
  ver=$(sed -n 's/^#define SQLITE_VERSION *"\(.*\)"$/\1/p' "$b/sqlite3.h")
  cat >"$PREFIX/lib/pkgconfig/sqlite3.pc" <<EOF
prefix=$PREFIX
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: SQLite
Description: SQL database engine (static, MinGW-w64)
Version: $ver
Libs: -L\${libdir} -lsqlite3
Cflags: -I\${includedir}
EOF
  echo "sqlite3 $ver: $PREFIX/lib/libsqlite3.a"
  echo "${SQLITE_DEFINES[*]}" >"$STAMPS/sqlite3"
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
  mkdir -p "$STAGE/platforms" "$STAGE/styles" "$STAGE/licenses" "$STAGE/translations"
  cp "$BUILD/velora.exe" "$STAGE/"
  cp "$PREFIX/plugins/platforms/qwindows.dll" "$STAGE/platforms/"
  cp "$PREFIX/plugins/styles/qwindowsvistastyle.dll" "$STAGE/styles/"
  local f
  for f in "$STAGE/velora.exe" "$STAGE/platforms/qwindows.dll" "$STAGE/styles/qwindowsvistastyle.dll"; do
    copy_imports "$f"
  done
  # Plugins and Qt's own texts next to the program only, never the build machine's prefix.
  printf '[Paths]\r\nPrefix = .\r\nPlugins = .\r\nTranslations = translations\r\n' >"$STAGE/qt.conf"
  find "$STAGE" -name '*.exe' -o -name '*.dll' | xargs $TRIPLE-strip --strip-unneeded

  local qt zl xw sq tr qtver trver
  qt=$(src_dir qtbase-opensource-src)
  zl=$(src_dir zlib)
  xw=$(src_dir libxlsxwriter)
  sq=$(src_dir sqlite3)
  tr=$(src_dir qttranslations5-l10n)
  qtver=$(dpkg-parsechangelog -l "$qt/debian/changelog" -S Version)
  trver=${tr##*/qttranslations5-l10n-}
  # Qt's texts of another release would leave strings of this one untranslated.
  local qtup=${qtver%%[+-]*} trup=${trver%%[+-]*}
  [ "$qtup" = "$trup" ] || { echo "Qt's translations are of Qt $trup, qtbase is $qtup" >&2; exit 1; }
  # Qt's own texts (a text field's menu, Qt's dialogs and buttons) in Chinese, whatever Windows' language.
  cp "$tr/usr/share/qt5/translations/qtbase_zh_CN.qm" "$STAGE/translations/"
  local L=$STAGE/licenses
  cp "$qt/LICENSE.LGPL3" "$L/Qt-LGPL-3.0.txt"
  cp "$qt/LICENSE.GPL3" "$L/Qt-GPL-3.0.txt"
  cp "$qt/debian/copyright" "$L/Qt-copyright.txt"
  cp "$tr/usr/share/doc/qttranslations5-l10n/copyright" "$L/Qt-translations-copyright.txt"
  sed -e "s|@QTVER@|$qtver|g" -e "s|@QTTRVER@|$trver|g" -e "s|@QTOPTS@|${QT_CONFIGURE_OPTS[*]}|g" \
    "$ROOT/packaging/windows/Qt-source.txt" >"$L/Qt-source.txt"
  cp "$xw/License.txt" "$L/libxlsxwriter-License.txt"
  cp "$xw/debian/copyright" "$L/libxlsxwriter-copyright.txt"
  cp "$zl/debian/copyright" "$L/zlib-copyright.txt"
  cp "$sq/debian/copyright" "$L/SQLite-copyright.txt"
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
for p in "${SOURCES[@]}"; do [ -f "$STAMPS/fetch-$p" ] || stage "fetch-$p" fetch_source "$p"; done
for p in "${BINARIES[@]}"; do [ -f "$STAMPS/fetch-$p" ] || stage "fetch-$p" fetch_binary "$p"; done
[ "$(cat "$STAMPS/qt-configure" 2>/dev/null)" = "${QT_CONFIGURE_OPTS[*]}" ] || stage qt-configure qt_configure
[ -f "$STAMPS/qt-build" ] || stage qt-build qt_build
[ -f "$STAMPS/zlib" ] || stage zlib build_zlib
[ -f "$STAMPS/xlsxwriter" ] || stage libxlsxwriter build_xlsxwriter
[ "$(cat "$STAMPS/sqlite3" 2>/dev/null)" = "${SQLITE_DEFINES[*]}" ] || stage sqlite3 build_sqlite3
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
  TIMES+=("$(printf '%-26s %5d s' wine-test $(($(date +%s) - t0)))")
fi

echo
echo "Stage times (a stage missing here was reused from $CACHE):"
printf '  %s\n' "${TIMES[@]}"
printf '  %-26s %5d s\n' total "$(($(date +%s) - t_all))"
echo "Zip:       $DIST/$NAME.zip"
echo "Installer: $DIST/velora-$VERSION-setup.exe"
exit $test_rc
