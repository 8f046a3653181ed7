#!/bin/sh
# Builds Brevalt and runs every test: unit tests, end-to-end protocol tests
# and the perft comparison against an independent rules library.
set -e
cd "$(dirname "$0")/.."
sh tools/install-deps.sh
npm ci --prefix tests/reference --no-audit --no-fund --loglevel=error
npm ci --prefix tools/match --no-audit --no-fund --loglevel=error
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DBREVALT_PGO=ON
cmake --build build -j2
ctest --test-dir build --output-on-failure -j2
