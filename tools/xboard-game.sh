#!/bin/sh
# Plays one game in a real chess interface: xboard 4.9 on a virtual X server,
# the built engine (run on a temporary copy of data/ with the book) against
# Fairy-Max, by default 1 minute + 1 second a move for each side. Saves the
# game as PGN and a screenshot of xboard at the final position (the board,
# and the engine output window with both engines' names and last lines).
#
# Fails when the game does not finish within the time limit, or when xboard
# reports an illegal move, a move an engine rejected, a false claim, an
# engine that crashed or a flag fall: xboard ends the game with a result
# comment that says so ("Illegal move ... from first machine", "False draw
# claim: ...", "Xboard: Forfeit due to ...", "White's flag fell", "Error
# reading from second chess program"), written both into the PGN and into
# its debug file, which also holds every line the engines sent (an engine's
# own "Illegal move: ..." answer included). The debug file is kept on
# failure.
#
# Usage: tools/xboard-game.sh [OUT_DIR]
# Writes OUT_DIR/xboard-game.pgn and OUT_DIR/xboard-game.png (OUT_DIR
# defaults to docs/ of the repository). build/brevalt and
# data/book_normal.bin must be built. Needs xboard, Xvfb, xwd, netpbm,
# xdotool and fairymax (tools/install-soak-deps.sh installs them).
#
# Environment:
#   XBOARD_GAME_TC       minutes per side (xboard -tc, default 1)
#   XBOARD_GAME_INC      seconds added after each move (-inc, default 1)
#   XBOARD_GAME_BLACK=1  Brevalt plays Black
#   XBOARD_GAME_LIMIT    seconds the game may last before it counts as
#                        unfinished (default 1200)
#   XBOARD_GAME_KEEP=1   keep the temporary folder (xboard's debug file,
#                        the engines' working folders) after a passed game
#   XBOARD_GAME_ENGINE   the command that starts Brevalt, instead of
#                        build/brevalt (tools/xboard-game-windows.sh runs
#                        the Windows engine under Wine this way)
#   XBOARD_GAME_NAME     base name of the files written (default xboard-game)
#   XBOARD_GAME_VARIANT  xboard's -variant (default normal); fischerandom
#                        starts from one of the 960 positions at random
#   XBOARD_GAME_OPPONENT the opponent's command instead of Fairy-Max (run in
#                        a folder holding a copy of data/, as Brevalt is)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs}
tc=${XBOARD_GAME_TC:-1}
inc=${XBOARD_GAME_INC:-1}
limit=${XBOARD_GAME_LIMIT:-1200}
xboard=/usr/games/xboard
opponent=${XBOARD_GAME_OPPONENT:-/usr/games/fairymax}
variant=${XBOARD_GAME_VARIANT:-normal}
engine=${XBOARD_GAME_ENGINE:-$root/build/brevalt}
name=${XBOARD_GAME_NAME:-xboard-game}

missing=""
for program in "$xboard" "${opponent%% *}" Xvfb xwd xwdtopnm pamcut pnmtopng xdotool setsid; do
  command -v "$program" >/dev/null 2>&1 || missing="$missing $program"
done
if [ -n "$missing" ]; then
  echo "xboard-game: missing:$missing (tools/install-soak-deps.sh installs them)" >&2
  exit 2
fi
engine_file=build/brevalt
[ -n "${XBOARD_GAME_ENGINE:-}" ] && engine_file=""
for file in $engine_file data/book_normal.bin; do
  if [ ! -f "$root/$file" ]; then
    echo "xboard-game: $root/$file is not built" >&2
    exit 2
  fi
done

script=xboard-game
keep=${XBOARD_GAME_KEEP:-0}
keep_note="xboard's debug file, the game and the engines' folders"
. "$root/tools/xboard-lib.sh"
xboard_setup

# The engine writes into its working folder: it gets a copy of the data files.
mkdir "$tmp/brevalt" "$tmp/opponent" "$tmp/home"
for file in "$root"/data/*; do
  [ -f "$file" ] && cp "$file" "$tmp/brevalt/"
done
[ -n "${XBOARD_GAME_OPPONENT:-}" ] && cp "$tmp"/brevalt/* "$tmp/opponent/"

xboard_start_xvfb

first_black=false
[ "${XBOARD_GAME_BLACK:-0}" = 1 ] && first_black=true
# -mode TwoMachines starts the game at once and leaves the final position on
# the board (a match, -mg, ends xboard with the game). Pondering is off, so
# the two engines never think at the same time. Fairy-Max 5.0b crashes on
# the "computer" command, so it is sent none. The settings file and HOME are
# temporary, so no settings of the user's are read or changed.
set -- \
  -settingsFile "$tmp/xboard.settings" -saveSettingsOnExit false \
  -fcp "$engine" -fd "$tmp/brevalt" \
  -scp "$opponent" -sd "$tmp/opponent" -secondComputerString "" \
  -firstPlaysBlack "$first_black" \
  -mode TwoMachines -tc "$tc" -inc "$inc" -xponder -variant "$variant" \
  -testLegality true -testClaims true -checkMates true -autoCallFlag true \
  -saveGameFile "$tmp/game.pgn" -debug -nameOfDebugFile "$tmp/xboard.debug" \
  -popupExitMessage false -soundMove "" -boardSize Medium -engineOutputUp true
echo "xboard-game: $xboard $*" >"$tmp/command"
HOME=$tmp/home setsid "$xboard" "$@" >"$tmp/xboard.out" 2>&1 &
xboard_pid=$!
echo "xboard-game: playing on display $DISPLAY, ${tc} min + ${inc} s"

problems='Illegal move|Forfeit due to|False (win|draw|illegal-move) claim|rejected by|exited unexpectedly|Error (writing to|reading from) .*chess program|flag fell|ran out of time'
# True, after printing what xboard reported, when the game or the debug file
# shows a problem.
problems_found() {
  # Either file may not be there yet.
  cat "$tmp/game.pgn" "$tmp/xboard.debug" 2>/dev/null | grep -E "$problems" >"$tmp/problems" || return 1
  echo "xboard-game: FAILED: xboard reports:" >&2
  head -n 20 "$tmp/problems" >&2
}

# xboard appends the game to its save file when the game ends. A game that
# ends before its first move is not saved, so the debug file is watched too.
started=$(date +%s)
while ! grep -q '^\[Result "\(1-0\|0-1\|1/2-1/2\)"\]' "$tmp/game.pgn" 2>/dev/null; do
  if problems_found; then
    exit 1
  fi
  if ! kill -0 "$xboard_pid" 2>/dev/null; then
    echo "xboard-game: FAILED: xboard ended before the game did" >&2
    cat "$tmp/xboard.out" >&2
    exit 1
  fi
  if [ $(($(date +%s) - started)) -gt "$limit" ]; then
    echo "xboard-game: FAILED: the game did not finish within $limit s" >&2
    exit 1
  fi
  sleep 2
done
# The board and the engine output catch up with the end of the game.
sleep 3

xboard_screenshot ' vs\. ' 520 "$tmp/game.png"

white=$(sed -n 's/^\[White "\(.*\)"\]/\1/p' "$tmp/game.pgn")
black=$(sed -n 's/^\[Black "\(.*\)"\]/\1/p' "$tmp/game.pgn")
result=$(sed -n 's/^\[Result "\(.*\)"\]/\1/p' "$tmp/game.pgn")
ending=$(tr '\n' ' ' <"$tmp/game.pgn" | grep -o '{[^}]*} *\(1-0\|0-1\|1/2-1/2\) *$' | sed 's/ *$//')
echo "xboard-game: $white - $black $result, ${ending:-no result comment}"

status=0
problems_found && status=1
case $white$black in
  *Brevalt*) ;;
  *)
    echo "xboard-game: FAILED: Brevalt is not one of the players" >&2
    status=1
    ;;
esac
[ "$status" -eq 0 ] || exit "$status"

mkdir -p "$out"
cp "$tmp/game.pgn" "$out/$name.pgn"
cp "$tmp/game.png" "$out/$name.png"
echo "xboard-game: passed; $out/$name.pgn and $out/$name.png written"
