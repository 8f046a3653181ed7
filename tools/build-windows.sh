#!/bin/sh
# Cross-compiles the Windows programs from Debian with MinGW-w64 into
# build-windows/: brevalt.exe, brevalt-book.exe, brevalt-perft.exe and
# brevalt-bench.exe, statically linked (no DLLs beyond Windows' own), and
# the test tool brevalt-pipe-relay.exe (for Wine, not shipped); then
# packs build-windows/brevalt-VERSION-windows-x64.zip (the version is
# CMakeLists.txt's project version) with the data files, the
# opening book, a README for users of WinBoard and UCI interfaces and the
# licence, COPYING.txt.
#
# The book is made by the Linux build (its bytes are the same on both
# systems); when data/book_normal.bin is missing, the Linux build in build/
# makes it first. tools/test-windows.sh tests the result under Wine.
#
# Usage: tools/build-windows.sh
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 zip
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release
cmake --build build-windows -j"$jobs" --target brevalt brevalt-book brevalt-perft brevalt-bench brevalt-pipe-relay

if [ ! -f data/book_normal.bin ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
  cmake --build build -j"$jobs" --target opening-book
fi

# The zip: one folder holding the programs and everything the engine reads
# from its working folder.
version=$(sed -n 's/^project(brevalt VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
name=brevalt-$version-windows-x64
stage=build-windows/$name
rm -rf "$stage" "build-windows/$name.zip"
mkdir -p "$stage"
for program in brevalt brevalt-book brevalt-perft brevalt-bench; do
  cp "build-windows/$program.exe" "$stage/"
done
cp data/MoveFile data/hash_values data/Brevalt.ini data/book_normal.bin data/TEST_SUITES.md \
   data/LICENSE_SenjoUCIAdapter_MIT.txt data/LICENSE_arasan-chess_MIT.txt "$stage/"
for suite in data/*.epd; do
  [ "$(basename "$suite")" = epd1.epd ] || cp "$suite" "$stage/"
done
mkdir -p "$stage/book"
cp data/pgn/README.md data/pgn/TCEC_README_with_license.md data/pgn/LICENSE_chesslablab_chess-data_MIT.txt "$stage/book/"
# Windows editors expect CR LF in a text file meant to be read there. The
# licence goes with every copy of the programs.
sed -e "s/@VERSION@/$version/g" -e 's/$/\r/' tools/windows/README-Windows.txt >"$stage/README.txt"
sed 's/$/\r/' COPYING >"$stage/COPYING.txt"
(cd build-windows && zip -q -r -X "$name.zip" "$name")
echo "build-windows: $(ls "$stage"/*.exe | wc -l) programs, build-windows/$name.zip ($(wc -c <"build-windows/$name.zip") bytes)"
