#!/bin/sh
# Plays one game in a real chess interface as a person would: xboard 4.9 on
# a virtual X server, the built engine (run on a temporary copy of data/) as
# Black at 1 minute + 1 second a move, and a human as White driven with the
# keyboard and the mouse by tools/xboard-human.mjs (xdotool): it types its
# moves into xboard's move type-in box, takes back its move and the
# engine's answer twice at different points of the game (once with the menu
# item Engine > Retract Move, once with its shortcut Ctrl+X; xboard sends
# the engine "remove" each time) and plays on to the end of the game, or
# resigns with Action > Resign after 80 moves. Saves the game as PGN and a
# screenshot of xboard at the final position.
#
# Fails when an engine move is not legal in the human's own game (kept with
# chess.js), when xboard's debug file (every line each side sent) shows
# "Illegal move", "Error (", "False", "Forfeit", a flag fall or an engine
# that went away, when xboard did not send "remove" exactly twice, when the
# PGN xboard saved does not replay legally with chess.js or differs from the
# human's game, or when the engine's moves in the debug file are not the
# PGN's Black moves and the two taken back. The debug file is kept on
# failure.
#
# Usage: tools/xboard-retract-game.sh [OUT_DIR]
# Writes OUT_DIR/xboard-retract-game.pgn and OUT_DIR/xboard-retract-game.png
# (OUT_DIR defaults to docs/ of the repository). build/brevalt must be
# built, and the referee's chess.js installed (npm ci --prefix tools/match).
# Needs node, xboard, Xvfb, xwd, netpbm and xdotool
# (tools/install-soak-deps.sh installs them).
#
# Environment:
#   XBOARD_RETRACT_AT         the human's moves taken back once the engine
#                             has answered them (default "4 9")
#   XBOARD_RETRACT_RESIGN_AT  the human resigns instead of this move
#                             (default 80)
#   XBOARD_RETRACT_SEED       the human's choices (default 1)
#   XBOARD_RETRACT_KEEP=1     keep the temporary folder after a pass
#   XBOARD_RETRACT_ENGINE     the command that starts Brevalt, instead of
#                             build/brevalt
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs}
xboard=/usr/games/xboard
engine=${XBOARD_RETRACT_ENGINE:-$root/build/brevalt}
name="xboard-retract-game"
chess_js=$root/tools/match/node_modules/chess.js/dist/esm/chess.js

missing=""
for program in "$xboard" node Xvfb xwd xwdtopnm pamcut pnmtopng xdotool setsid; do
  command -v "$program" >/dev/null 2>&1 || missing="$missing $program"
done
if [ -n "$missing" ]; then
  echo "$name: missing:$missing (tools/install-soak-deps.sh installs them)" >&2
  exit 2
fi
if [ -z "${XBOARD_RETRACT_ENGINE:-}" ] && [ ! -f "$root/build/brevalt" ]; then
  echo "$name: $root/build/brevalt is not built" >&2
  exit 2
fi
if [ ! -f "$chess_js" ]; then
  echo "$name: chess.js is not installed (npm ci --prefix tools/match)" >&2
  exit 2
fi

script=$name
keep=${XBOARD_RETRACT_KEEP:-0}
keep_note="xboard's debug file, the game and the engine's folder"
. "$root/tools/xboard-lib.sh"
xboard_setup

# The engine writes into its working folder: it gets a copy of the data files.
mkdir "$tmp/brevalt" "$tmp/home"
for file in "$root"/data/*; do
  [ -f "$file" ] && cp "$file" "$tmp/brevalt/"
done

xboard_start_xvfb

# xboard starts waiting for White's first move; the human's move makes the
# engine play Black (Machine Black). Pondering is off, so the engine thinks
# only on its own move and a take-back never finds it searching. The
# settings file and HOME are temporary, so no settings of the user's are
# read or changed.
set -- \
  -settingsFile "$tmp/xboard.settings" -saveSettingsOnExit false \
  -fcp "$engine" -fd "$tmp/brevalt" \
  -tc 1 -inc 1 -xponder \
  -testLegality true -testClaims true -checkMates true -autoCallFlag true \
  -saveGameFile "$tmp/game.pgn" -debug -nameOfDebugFile "$tmp/xboard.debug" \
  -popupExitMessage false -startupMessage "" -soundMove "" -boardSize Medium -engineOutputUp true
echo "$name: $xboard $*" >"$tmp/command"
HOME=$tmp/home setsid "$xboard" "$@" >"$tmp/xboard.out" 2>&1 &
xboard_pid=$!
echo "$name: playing on display $DISPLAY, the human White, Brevalt Black at 1 min + 1 s"

# The engine output window opens over the board's menu bar, which the
# human clicks: it goes to the board's right at once.
n=0
while [ -z "$(xdotool search --name '^Engine [Oo]utput$' 2>/dev/null)" ]; do
  n=$((n + 1))
  if [ "$n" -gt 100 ] || ! kill -0 "$xboard_pid" 2>/dev/null; then
    echo "$name: FAILED: xboard did not open its windows" >&2
    cat "$tmp/xboard.out" >&2
    exit 1
  fi
  sleep 0.1
done
xdotool windowmove "$(xdotool search --name '^Engine [Oo]utput$' | head -n 1)" 525 0
sleep 1

node "$root/tools/xboard-human.mjs" "$tmp/xboard.debug" "$tmp/game.pgn" "$tmp/human.moves" || exit 1
# The board and the engine output catch up with the end of the game.
sleep 3
xboard_screenshot ' vs\. ' 520 "$tmp/game.png"

debug=$tmp/xboard.debug
status=0
fail() {
  echo "$name: FAILED: $*" >&2
  status=1
}
problems='Illegal move|Error \(|False|Forfeit|flag fell|ran out of time|exited unexpectedly|Error (writing to|reading from) .*chess program'
if cat "$tmp/game.pgn" "$debug" | grep -E "$problems" >"$tmp/problems"; then
  fail "xboard reports:"
  head -n 20 "$tmp/problems" >&2
fi
removes=$(grep -c '^[0-9]* >first : remove$' "$debug")
[ "$removes" -eq 2 ] || fail "xboard sent \"remove\" $removes times, not 2"
sed -n 's/^[0-9]* <first : move \([^ ]*\)$/\1/p' "$debug" >"$tmp/engine.moves"

# The saved game, replayed by chess.js: legal, the human's game move for
# move, and its Black moves the engine's, less the two taken back.
if ! node --input-type=module - "$chess_js" "$tmp/game.pgn" "$tmp/human.moves" "$tmp/engine.moves" <<'EOF'; then
const [chessJs, pgnFile, humanFile, engineFile] = process.argv.slice(2);
const { Chess } = await import(chessJs);
const fs = await import('node:fs');
const lines = (file) => fs.readFileSync(file, 'utf8').split('\n').filter(Boolean);
const game = new Chess();
try {
  // xboard writes the engine's score and time after each of its moves and
  // the reason of the end as comments, two in a row after the last move,
  // which chess.js does not read: they go before the moves are replayed.
  game.loadPgn(fs.readFileSync(pgnFile, 'utf8').replace(/\{[^}]*\}/g, ' '));
} catch (e) {
  console.error(`xboard-retract-game: the saved game does not replay: ${e.message}`);
  process.exit(1);
}
const moves = game.history({ verbose: true });
const human = lines(humanFile);
const played = lines(engineFile);
let bad = 0;
if (moves.map((m) => m.san).join(' ') !== human.join(' ')) {
  console.error(`xboard-retract-game: the saved game\n  ${moves.map((m) => m.san).join(' ')}\nis not the human's\n  ${human.join(' ')}`);
  bad += 1;
}
// The engine's moves: the game's Black moves in their order, with the two
// answers taken back between them. A queen promotion may come without its
// letter.
const black = moves.filter((m) => m.color === 'b').map((m) => m.lan);
const same = (text, lan) => text === lan || (lan.endsWith('q') && text === lan.slice(0, 4));
let matched = 0;
for (const text of played) {
  if (matched < black.length && same(text, black[matched])) matched += 1;
}
if (matched !== black.length || played.length - matched !== 2) {
  console.error(`xboard-retract-game: the engine played ${played.join(' ')}; the game's Black moves are not those less two`);
  bad += 1;
}
const result = game.getHeaders().Result;
if (game.isCheckmate() && result !== (game.turn() === 'w' ? '0-1' : '1-0')) {
  console.error(`xboard-retract-game: checkmate on the board, the result is ${result}`);
  bad += 1;
}
console.log(`xboard-retract-game: ${moves.length} plies replayed by chess.js, result ${result}`);
process.exit(bad ? 1 : 0);
EOF
  fail "the saved game is not the game played"
fi

white=$(sed -n 's/^\[White "\(.*\)"\]/\1/p' "$tmp/game.pgn")
black=$(sed -n 's/^\[Black "\(.*\)"\]/\1/p' "$tmp/game.pgn")
result=$(sed -n 's/^\[Result "\(.*\)"\]/\1/p' "$tmp/game.pgn")
ending=$(tr '\n' ' ' <"$tmp/game.pgn" | grep -o '{[^}]*} *\(1-0\|0-1\|1/2-1/2\) *$' | sed 's/ *$//')
echo "$name: $white - $black $result, ${ending:-no result comment}"
case $black in
  *Brevalt*) ;;
  *) fail "Brevalt is not Black" ;;
esac
[ "$status" -eq 0 ] || exit "$status"

mkdir -p "$out"
cp "$tmp/game.pgn" "$out/$name.pgn"
cp "$tmp/game.png" "$out/$name.png"
echo "$name: passed; $out/$name.pgn and $out/$name.png written"
