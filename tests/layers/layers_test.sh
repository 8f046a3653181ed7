#!/bin/sh
# The layer order holds, and both guards refuse an upward include:
#   1. tools/check-layers.sh passes on the sources as they are;
#   2. on a copy of the sources with one upward include added to a board
#      file, it fails and names that file and line;
#   3. a board-layer file that includes a search header does not compile
#      with the board layer's include folders, while one that includes a
#      core header does (so the failure is the layering, not the command).
# Usage: layers_test.sh SOURCE_DIR CXX "BOARD_INCLUDE_DIRS" (;-separated)
set -e
root=$1
cxx=$2
dirs=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() { echo "layers_test: $*"; exit 1; }

sh "$root/tools/check-layers.sh" "$root/src" > "$tmp/out" || { cat "$tmp/out"; fail "the sources break the layer order"; }

cp -r "$root/src" "$tmp/src"
printf '#include "search/root.h"\n' >> "$tmp/src/board/movegen.cpp"
line=$(wc -l < "$tmp/src/board/movegen.cpp")
if sh "$root/tools/check-layers.sh" "$tmp/src" > "$tmp/out"; then fail "check-layers passed an upward include"; fi
grep -q "^board/movegen.cpp:$line: board includes \"search/root.h\" from the higher layer search$" "$tmp/out" ||
  { cat "$tmp/out"; fail "check-layers did not name board/movegen.cpp:$line"; }

flags=""
old_ifs=$IFS; IFS=';'
for d in $dirs; do flags="$flags -I$d"; done
IFS=$old_ifs
mkdir -p "$tmp/probe/board"
printf '#include "core/types.h"\nint probe_ok() { return brevalt::MAX_PLY; }\n' > "$tmp/probe/board/ok.cpp"
printf '#include "search/root.h"\nint probe_up() { return brevalt::max_depth; }\n' > "$tmp/probe/board/up.cpp"
# shellcheck disable=SC2086
"$cxx" -std=c++20 -fsyntax-only $flags "$tmp/probe/board/ok.cpp" || fail "a core header did not compile in the board layer"
# shellcheck disable=SC2086
if "$cxx" -std=c++20 -fsyntax-only $flags "$tmp/probe/board/up.cpp" 2> "$tmp/err"; then
  fail "a search header compiled in the board layer"
fi
grep -q "search/root.h" "$tmp/err" || { cat "$tmp/err"; fail "the board-layer probe failed for another reason"; }
echo "layers_test: the order holds; an upward include fails the check and the build"
