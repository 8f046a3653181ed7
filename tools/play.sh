#!/bin/sh
# Builds Brevalt if needed and starts it on the shipped data files, speaking
# CECP on standard input and output. Build messages go to standard error so
# that the interface sees only the engine's own lines.
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh >&2
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBREVALT_PGO=ON >&2
cmake --build build -j2 >&2
cd data
exec ../build/brevalt
