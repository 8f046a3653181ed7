#!/bin/sh
# Plays one game in xboard 4.9 with Brevalt speaking UCI, through Debian's
# PolyGlot adapter (UCI to xboard), against Fairy-Max: tools/xboard-game.sh
# runs the game, the board and the screenshot, with "polyglot INI" as the
# first engine's command. The INI file names the engine (EngineCommand),
# its working folder (EngineDir, a copy of data/ with the book, since the
# engine writes into its working folder) and PolyGlot's log, which shows
# every line between PolyGlot and the engine. Brevalt speaks UCI when the
# first command of a session is "uci", which PolyGlot sends.
#
# Fails when tools/xboard-game.sh fails, or when PolyGlot's log does not
# show a UCI session: "uci" answered by "uciok", and the engine's moves as
# "bestmove" lines. The log is kept on failure.
#
# Usage: tools/xboard-polyglot-game.sh [OUT_DIR]
# Writes OUT_DIR/xboard-polyglot-game.pgn and .png (OUT_DIR defaults to
# docs/ of the repository). Needs polyglot besides what tools/xboard-game.sh
# needs; data/book_normal.bin must be built.
#
# Environment:
#   XBOARD_POLYGLOT_ENGINE  the engine program (default build/brevalt of
#                           the repository)
#   XBOARD_POLYGLOT_KEEP=1  keep the temporary folder (INI file, PolyGlot's
#                           log, the engine's working folder) after a pass
#   XBOARD_GAME_*           passed on to tools/xboard-game.sh (clock, colour,
#                           time limit; see there); XBOARD_GAME_NAME defaults
#                           to xboard-polyglot-game
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs}
engine=${XBOARD_POLYGLOT_ENGINE:-$root/build/brevalt}
polyglot=/usr/games/polyglot

if ! [ -x "$polyglot" ]; then
  echo "xboard-polyglot-game: $polyglot is missing (apt-get install polyglot)" >&2
  exit 2
fi
case $engine in
  /*) ;;
  *) engine=$(pwd)/$engine ;;
esac
if ! [ -x "$engine" ]; then
  echo "xboard-polyglot-game: $engine is not an executable file" >&2
  exit 2
fi
if [ ! -f "$root/data/book_normal.bin" ]; then
  echo "xboard-polyglot-game: $root/data/book_normal.bin is not built" >&2
  exit 2
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/xboard-polyglot-game.XXXXXX") || exit 2
mkdir "$tmp/engine"
for file in "$root"/data/*; do
  [ -f "$file" ] && cp "$file" "$tmp/engine/"
done
# PolyGlot's own book is off: every move comes from the engine.
cat >"$tmp/brevalt.ini" <<EOF
[PolyGlot]
EngineCommand = $engine
EngineDir = $tmp/engine
Log = true
LogFile = $tmp/polyglot.log
Book = false

[Engine]
EOF

XBOARD_GAME_ENGINE="$polyglot $tmp/brevalt.ini" \
  XBOARD_GAME_NAME=${XBOARD_GAME_NAME:-xboard-polyglot-game} \
  "$root/tools/xboard-game.sh" "$out"
status=$?

if [ "$status" -eq 0 ]; then
  for line in 'Adapter->Engine: uci$' 'Engine->Adapter: uciok$' 'Engine->Adapter: bestmove '; do
    if ! grep -q "$line" "$tmp/polyglot.log" 2>/dev/null; then
      echo "xboard-polyglot-game: FAILED: PolyGlot's log has no line matching \"$line\"" >&2
      status=1
    fi
  done
fi
if [ "$status" -eq 0 ]; then
  echo "xboard-polyglot-game: UCI through PolyGlot: $(grep -c 'Engine->Adapter: bestmove ' "$tmp/polyglot.log") bestmove lines"
fi
if [ "$status" -ne 0 ] || [ "${XBOARD_POLYGLOT_KEEP:-0}" = 1 ]; then
  echo "xboard-polyglot-game: the INI file, PolyGlot's log and the engine's folder are in $tmp" >&2
else
  rm -rf "$tmp"
fi
exit "$status"
