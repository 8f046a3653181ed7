#!/bin/sh
# Builds Brevalt if needed and starts it on the shipped data files, speaking
# CECP (or UCI, when the first command is "uci") on standard input and
# output; arguments go to the engine (--version, --help). Build messages go
# to standard error so that the interface sees only the engine's own lines.
#
# Only what the engine needs is built: the engine and the opening book (with
# the book tool that makes it); with the profile-guided build, also the
# instrumented brevalt-bench the profile is trained on. The tests and the
# benchmark programs are left to tools/run-tests.sh, which shares the build
# folder. Missing Debian packages are installed with apt-get first.
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh >&2
jobs=$(nproc 2>/dev/null || getconf _NPROCESSORS_ONLN 2>/dev/null || echo 2)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBREVALT_PGO=ON >&2
cmake --build build -j"$jobs" --target brevalt opening-book >&2
cd data
exec ../build/brevalt "$@"
