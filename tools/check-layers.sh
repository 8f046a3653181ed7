#!/bin/sh
# The engine's layers, lowest first, and the one rule between them: a file
# may include headers of its own layer and of the layers below it, never of
# a layer above. The build enforces the same order through its library
# targets and include paths (CMakeLists.txt); this check names the
# offending file and line, and is where the order is written down.
#
#   core      types, platform queries, the state several layers share
#   board     the position, make/unmake, generation, attacks, legality
#   eval      static evaluation and its pawn cache
#   search    root driver, node and quiescence search, tables, time
#   game      playing moves on the game board, the book, output lines
#   config    start-up, shutdown, the parameter and move files
#   frontend  main loop, command interpreter, undo, EPD loading, the reset
#   testing   the EPD test runner
#   main.cpp  above all
#
# A lower layer that must call a higher one declares the call in a header
# of its own (board/node_calls.h, board/reset.h, search/driver_calls.h,
# frontend/test_runs.h, core/exits.h); the higher layer defines it.
#
# Usage: tools/check-layers.sh [--counts] [SRC]
#   --counts   print the includes between folders (from -> to: n) and exit 0
#   SRC        the source folder (default: src beside this script's parent)
set -e
here=$(cd "$(dirname "$0")" && pwd)
counts=0
if [ "$1" = "--counts" ]; then counts=1; shift; fi
src=${1:-$here/../src}
[ -d "$src" ] || { echo "check-layers: no source folder $src" >&2; exit 2; }
src=$(cd "$src" && pwd)

find "$src" -name '*.h' -o -name '*.cpp' | sort | awk -v src="$src/" -v counts="$counts" '
BEGIN {
  n = split("core board eval search game config frontend testing", names, " ")
  for (i = 1; i <= n; ++i) rank[names[i]] = i
  rank["main.cpp"] = n + 1
  bad = 0
}
{
  file = $0
  rel = substr(file, length(src) + 1)
  from = rel; sub(/\/.*/, "", from)
  if (!(from in rank)) { if (!counts) printf "%s: not in a known layer folder\n", rel; bad = 1; next }
  line_no = 0
  while ((getline text < file) > 0) {
    ++line_no
    if (text !~ /^[ \t]*#[ \t]*include[ \t]*"/) continue
    inc = text; sub(/^[^"]*"/, "", inc); sub(/".*/, "", inc)
    if (inc ~ /^\.\.?\//) { if (!counts) printf "%s:%d: relative include \"%s\": name headers by their layer folder\n", rel, line_no, inc; bad = 1; continue }
    to = inc; if (to !~ /\//) { if (!counts) printf "%s:%d: include \"%s\" names no layer folder\n", rel, line_no, inc; bad = 1; continue }
    sub(/\/.*/, "", to)
    if (!(to in rank)) { if (!counts) printf "%s:%d: include \"%s\" is in no known layer\n", rel, line_no, inc; bad = 1; continue }
    if (from != to) pairs[from " -> " to]++
    if (rank[to] > rank[from]) {
      if (!counts) printf "%s:%d: %s includes \"%s\" from the higher layer %s\n", rel, line_no, from, inc, to
      bad = 1
    }
  }
  close(file)
}
END {
  if (counts) {
    for (p in pairs) printf "%s: %d\n", p, pairs[p] | "sort"
    close("sort")
    exit 0
  }
  if (bad) { print "check-layers: FAILED (the order is at the top of tools/check-layers.sh)"; exit 1 }
  print "check-layers: every include points to the same layer or a lower one"
}'
