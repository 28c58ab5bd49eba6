#!/usr/bin/env bash
# Builds Qt 6.4.2 (qtbase: Core, Gui, Widgets, Test, the Windows and offscreen platform plugins; and
# qtserialport) for 64-bit Windows with Debian's MinGW-w64 cross compiler, against Debian's own
# Qt 6.4.2 as the host. Output: a prefix usable with -DCMAKE_PREFIX_PATH and -DQT_HOST_PATH=/usr.
# usage: build-qt-mingw.sh SRC_DIR PREFIX
#   SRC_DIR holds qtbase-everywhere-src-6.4.2 (Debian: apt-get source qt6-base, with a deb-src entry
#   for bookworm) and qtserialport-6.4.2 (the v6.4.2 tag of Qt's qtserialport repository).
#   Needs g++-mingw-w64-x86-64-posix, ninja-build, cmake and Debian's qt6-base-dev 6.4.2 (the host
#   tools). About 40 minutes on 2 cores. Then: TAVRIN_QT_MINGW=PREFIX ./run windows
set -euo pipefail
src=$1 prefix=$2
work=${WORK_DIR:-/tmp/qt-mingw-build}
mkdir -p "$work" "$prefix"
tc=$prefix/mingw-w64-x86_64.cmake
cat > "$tc" <<'TC'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
TC
# Qt 6.4.2's Windows plugin uses OpenGL under dynamicgl even when OpenGL is off: guard it.
sed -i 's/^#if QT_CONFIG(dynamicgl)$/#if QT_CONFIG(dynamicgl) \&\& QT_CONFIG(opengl)/' \
  "$src/qtbase-everywhere-src-6.4.2/src/plugins/platforms/windows/qwindowswindow.cpp"
cmake -S "$src/qtbase-everywhere-src-6.4.2" -B "$work/qtbase" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$tc" -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_QMAKE_TARGET_MKSPEC=win32-g++ -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_opengl=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF \
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_libpng=OFF -DFEATURE_system_libjpeg=OFF \
  -DFEATURE_system_doubleconversion=OFF -DFEATURE_zstd=OFF -DFEATURE_vulkan=OFF \
  -DFEATURE_qmake=OFF -DFEATURE_separate_debug_info=OFF \
  -DFEATURE_tabletevent=OFF
cmake --build "$work/qtbase" --parallel "${JOBS:-2}"
cmake --install "$work/qtbase" --strip
cmake -S "$src/qtserialport-6.4.2" -B "$work/qtserialport" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$tc" -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
cmake --build "$work/qtserialport" --parallel "${JOBS:-2}"
cmake --install "$work/qtserialport" --strip
# The MinGW runtime the programs need beside them.
for f in libstdc++-6.dll libgcc_s_seh-1.dll; do
  cp "$(x86_64-w64-mingw32-g++-posix -print-file-name=$f)" "$prefix/bin/"
done
cp /usr/x86_64-w64-mingw32/lib/libwinpthread-1.dll "$prefix/bin/"
echo "Qt 6.4.2 for MinGW-w64 in $prefix"
