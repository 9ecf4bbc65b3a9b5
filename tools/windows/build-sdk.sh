#!/usr/bin/env bash
# Builds win64-sdk.tar.xz, the prefix `make windows` links the Windows programs against, from
# source on Debian 12 with Debian's MinGW-w64 (POSIX threads). About 45 minutes on 2 cores.
#
#   Qt 6.4.2 qtbase          Debian's qt6-base source package (shared DLLs; no OpenGL, network,
#                            SQL, D-Bus, print support or tablet events)
#   Qt SerialPort, Qt Svg    the Qt modules' 6.4.2 release sources, which Debian 12 carries only
#   6.4.2                    as binaries: put qtserialport-everywhere-src-6.4.2.tar.xz and
#                            qtsvg-everywhere-src-6.4.2.tar.xz into WORKDIR/src first
#   SQLite 3.40.1            Debian's sqlite3 source package, as a static library
#   GoogleTest               Debian's /usr/src/googletest, static
#   libmosquitto 2.0.11      Debian's mosquitto source package, a DLL without TLS
#   libqrencode 4.1.1        Debian's qrencode source package (its original source), static,
#                            with a pkg-config file that holds no absolute path
#
# Usage: tools/windows/build-sdk.sh WORKDIR
# Leaves WORKDIR/win64-sdk.tar.xz; `make windows BRIMVOLT_WIN_SDK=WORKDIR/win64-sdk.tar.xz`.
set -euo pipefail

[ $# -eq 1 ] || { echo "usage: $0 WORKDIR" >&2; exit 2; }
work=$(mkdir -p "$1" && cd "$1" && pwd)
prefix=$work/win64-sdk
sources=$work/src
jobs=$(nproc)
sudo=$([ "$(id -u)" = 0 ] || echo sudo)

for module in qtserialport qtsvg; do
    if [ ! -f "$sources/$module-everywhere-src-6.4.2.tar.xz" ]; then
        echo "missing $sources/$module-everywhere-src-6.4.2.tar.xz (Qt's 6.4.2 release sources)" >&2
        exit 1
    fi
done

$sudo apt-get install -y -qq g++-mingw-w64-x86-64-posix cmake ninja-build qt6-base-dev \
    qt6-base-dev-tools googletest tcl dpkg-dev xz-utils >/dev/null
# apt-get source needs the deb-src lines of Debian's archive.
if ! grep -rqs '^Types: deb-src' /etc/apt/sources.list.d/; then
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
        $sudo tee /etc/apt/sources.list.d/debian-src.sources >/dev/null
    $sudo apt-get update -qq
fi
(cd "$sources" && apt-get source --download-only qt6-base sqlite3 mosquitto qrencode)

cd "$work"
tar xJf "$sources/qt6-base_6.4.2+dfsg.orig.tar.xz"
tar xJf "$sources/qtserialport-everywhere-src-6.4.2.tar.xz"
tar xJf "$sources/qtsvg-everywhere-src-6.4.2.tar.xz"
tar xJf "$sources/sqlite3_3.40.1.orig.tar.xz"
tar xzf "$sources/mosquitto_2.0.11.orig.tar.gz"
tar xjf "$sources/qrencode_4.1.1.orig.tar.bz2"

# The cross toolchain, kept in the prefix: Qt's own toolchain file loads it from beside itself,
# so the prefix works wherever it is unpacked.
mkdir -p "$prefix/lib/cmake"
toolchain=$prefix/lib/cmake/mingw-w64-x86_64.cmake
cat > "$toolchain" <<'TOOLCHAIN'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
TOOLCHAIN

# qtbase. Debian's source has no Wintab header, so tablet events stay off; the Windows platform
# plugin of 6.4.2 does not compile with dynamic GL while OpenGL is off, hence the guard.
qtbase=qtbase-everywhere-src-6.4.2
sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
    "$qtbase/src/plugins/platforms/windows/qwindowswindow.cpp"
cmake -S "$qtbase" -B build-qtbase -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DBUILD_SHARED_LIBS=ON \
    -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
    -DFEATURE_vulkan=OFF -DFEATURE_printsupport=OFF -DFEATURE_tabletevent=OFF -DFEATURE_icu=OFF \
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_png=OFF \
    -DFEATURE_system_jpeg=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_freetype=OFF \
    -DFEATURE_system_doubleconversion=OFF
cmake --build build-qtbase -j "$jobs"
cmake --install build-qtbase
# Qt's toolchain file names the toolchain it was configured with by absolute path: make it
# relative to the prefix.
sed -i 's#^set(__qt_initially_configured_toolchain_file ".*")#set(__qt_initially_configured_toolchain_file "${CMAKE_CURRENT_LIST_DIR}/../mingw-w64-x86_64.cmake")#' \
    "$prefix/lib/cmake/Qt6/qt.toolchain.cmake"

for module in qtserialport qtsvg; do
    cmake -S "$module-everywhere-src-6.4.2" -B "build-$module" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$prefix/lib/cmake/Qt6/qt.toolchain.cmake" \
        -DCMAKE_INSTALL_PREFIX="$prefix" -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    cmake --build "build-$module" -j "$jobs"
    cmake --install "build-$module"
done

# SQLite: the amalgamation made from the source tree, compiled into a static library.
mkdir -p build-sqlite
(cd build-sqlite && ../sqlite3-3.40.1/configure --disable-tcl >/dev/null && make sqlite3.c >/dev/null)
x86_64-w64-mingw32-gcc-posix -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_DQS=0 \
    -c build-sqlite/sqlite3.c -o build-sqlite/sqlite3.o
x86_64-w64-mingw32-ar rcs "$prefix/lib/libsqlite3.a" build-sqlite/sqlite3.o
cp build-sqlite/sqlite3.h build-sqlite/sqlite3ext.h "$prefix/include/"

cmake -S /usr/src/googletest -B build-gtest -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix"
cmake --build build-gtest -j "$jobs"
cmake --install build-gtest

# libmosquitto without TLS and without a thread of its own: the publisher runs its loop itself.
cmake -S mosquitto-2.0.11 -B build-mosquitto -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DWITH_TLS=OFF -DWITH_TLS_PSK=OFF -DWITH_BROKER=OFF -DWITH_APPS=OFF -DWITH_CLIENTS=OFF \
    -DWITH_PLUGINS=OFF -DDOCUMENTATION=OFF -DWITH_CJSON=OFF -DWITH_THREADING=OFF \
    -DWITH_STATIC_LIBRARIES=OFF
cmake --build build-mosquitto -j "$jobs"
cmake --install build-mosquitto
cp build-mosquitto/lib/libmosquitto.dll.a "$prefix/lib/"

# libqrencode, static: the labels link it in, so no DLL of it ships. Its pkg-config file names
# the prefix relative to itself, so the prefix works wherever it is unpacked.
cmake -S qrencode-4.1.1 -B build-qrencode -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DWITH_TOOLS=OFF -DWITH_TESTS=OFF -DBUILD_SHARED_LIBS=OFF
cmake --build build-qrencode -j "$jobs"
cmake --install build-qrencode
rm -rf "$prefix/share/man"
sed -i 's#^prefix=.*#prefix=${pcfiledir}/../..#; s#^exec_prefix=.*#exec_prefix=${prefix}#;
        s#^libdir=.*#libdir=${prefix}/lib#; s#^includedir=.*#includedir=${prefix}/include#' \
    "$prefix/lib/pkgconfig/libqrencode.pc"

for dll in "$prefix"/bin/*.dll $(find "$prefix/plugins" -name '*.dll'); do
    x86_64-w64-mingw32-strip --strip-unneeded "$dll"
done
tar cf - win64-sdk | xz -T "$jobs" -6 > win64-sdk.tar.xz
echo "made $work/win64-sdk.tar.xz"
