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
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs}
tc=${XBOARD_GAME_TC:-1}
inc=${XBOARD_GAME_INC:-1}
limit=${XBOARD_GAME_LIMIT:-1200}
xboard=/usr/games/xboard
opponent=/usr/games/fairymax
engine=${XBOARD_GAME_ENGINE:-$root/build/brevalt}
name=${XBOARD_GAME_NAME:-xboard-game}

missing=""
for program in "$xboard" "$opponent" Xvfb xwd xwdtopnm pamcut pnmtopng xdotool setsid; do
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

tmp=$(mktemp -d "${TMPDIR:-/tmp}/xboard-game.XXXXXX") || exit 2
xvfb_pid=""
xboard_pid=""
cleanup() {
  status=$?
  # xboard leads its own process group, which holds the two engines too.
  if [ -n "$xboard_pid" ]; then
    kill -TERM "-$xboard_pid" 2>/dev/null
    n=0
    while [ "$n" -lt 50 ] && kill -0 "-$xboard_pid" 2>/dev/null; do
      n=$((n + 1))
      sleep 0.1
    done
    kill -KILL "-$xboard_pid" 2>/dev/null
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  if [ "$status" -ne 0 ] || [ "${XBOARD_GAME_KEEP:-0}" = 1 ]; then
    echo "xboard-game: xboard's debug file, the game and the engines' folders are in $tmp" >&2
  else
    rm -rf "$tmp"
  fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM

# The engine writes into its working folder: it gets a copy of the data files.
mkdir "$tmp/brevalt" "$tmp/opponent" "$tmp/home"
for file in "$root"/data/*; do
  [ -f "$file" ] && cp "$file" "$tmp/brevalt/"
done

# Xvfb picks a free display itself and writes its number once it is ready.
Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp -br 5>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
n=0
while [ ! -s "$tmp/display" ]; do
  n=$((n + 1))
  if [ "$n" -gt 100 ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
    echo "xboard-game: Xvfb did not start" >&2
    cat "$tmp/xvfb.log" >&2
    exit 1
  fi
  sleep 0.1
done
DISPLAY=:$(cat "$tmp/display")
export DISPLAY

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
  -mode TwoMachines -tc "$tc" -inc "$inc" -xponder \
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

# The engine output window opens over the board (there is no window manager
# to place it): it goes to the board's right, as tall as the board.
main=$(xdotool search --name ' vs\. ' | head -n 1)
output=$(xdotool search --name '^Engine Output$' | head -n 1)
if [ -z "$main" ] || [ -z "$output" ]; then
  echo "xboard-game: FAILED: xboard's windows were not found" >&2
  exit 1
fi
eval "$(xdotool getwindowgeometry --shell "$main")"
board_width=$WIDTH
board_height=$HEIGHT
output_width=520
xdotool windowmove "$output" "$board_width" 0 windowsize "$output" "$output_width" "$board_height"
sleep 1
if ! xwd -root -silent | xwdtopnm 2>/dev/null |
  pamcut -left 0 -top 0 -width $((board_width + output_width)) -height "$board_height" |
  pnmtopng >"$tmp/game.png" 2>/dev/null || [ ! -s "$tmp/game.png" ]; then
  echo "xboard-game: FAILED: no screenshot" >&2
  exit 1
fi

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
