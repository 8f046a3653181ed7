#!/bin/sh
# Analyses one position in a real chess interface: xboard 4.9 on a virtual
# X server, in Analysis mode (-mode Analysis) on a position loaded from a
# FEN file, with the built engine (run on a temporary copy of data/) for
# 10 seconds. Saves a screenshot of the board and the engine output window
# with the lines the engine posted (and, in its title, the status xboard
# asks for with "." every few seconds).
#
# Fails when xboard did not send "analyze", when the engine posted fewer
# than five analysis lines or answered no "." with a stat01 line, when it
# played a move, or when xboard's debug file (every line each side sent)
# shows an illegal move, an error or an engine that went away. With node
# and the referee's chess.js (tools/match/node_modules, as for the
# sessions referee) every posted variation is also checked to be legal in
# the analysed position. The debug file is kept on failure.
#
# Usage: tools/xboard-analysis.sh [OUT_DIR]
# Writes OUT_DIR/xboard-analysis.png (OUT_DIR defaults to docs/ of the
# repository). build/brevalt must be built. Needs xboard, Xvfb, xwd,
# netpbm and xdotool (tools/install-soak-deps.sh installs them).
#
# Environment:
#   XBOARD_ANALYSIS_FEN      the position (default: a Queen's Gambit
#                            Declined middlegame, White to move)
#   XBOARD_ANALYSIS_SECONDS  how long the engine analyses (default 10)
#   XBOARD_ANALYSIS_KEEP=1   keep the temporary folder after a pass
#   XBOARD_ANALYSIS_ENGINE   the command that starts Brevalt, instead of
#                            build/brevalt
#   XBOARD_ANALYSIS_NAME     base name of the screenshot (default
#                            xboard-analysis)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/docs}
fen=${XBOARD_ANALYSIS_FEN:-r1bq1rk1/pp1nbppp/2p1pn2/3p2B1/2PP4/2NBPN2/PP3PPP/2RQK2R w K - 1 8}
seconds=${XBOARD_ANALYSIS_SECONDS:-10}
xboard=/usr/games/xboard
engine=${XBOARD_ANALYSIS_ENGINE:-$root/build/brevalt}
name=${XBOARD_ANALYSIS_NAME:-xboard-analysis}
# Fewer lines than this in the time given is no analysis.
min_lines=5
# Width of the engine output window beside the board, in pixels.
output_width=620

missing=""
for program in "$xboard" Xvfb xwd xwdtopnm pamcut pnmtopng xdotool setsid; do
  command -v "$program" >/dev/null 2>&1 || missing="$missing $program"
done
if [ -n "$missing" ]; then
  echo "xboard-analysis: missing:$missing (tools/install-soak-deps.sh installs them)" >&2
  exit 2
fi
if [ -z "${XBOARD_ANALYSIS_ENGINE:-}" ] && [ ! -f "$root/build/brevalt" ]; then
  echo "xboard-analysis: $root/build/brevalt is not built" >&2
  exit 2
fi

script=xboard-analysis
keep=${XBOARD_ANALYSIS_KEEP:-0}
keep_note="xboard's debug file and the engine's folder"
. "$root/tools/xboard-lib.sh"
xboard_setup

# The engine writes into its working folder: it gets a copy of the data
# files. The position goes into a FEN file, whose name xboard shows as the
# title of its main window.
mkdir "$tmp/brevalt" "$tmp/home"
for file in "$root"/data/*; do
  [ -f "$file" ] && cp "$file" "$tmp/brevalt/"
done
position=$tmp/brevalt-analysis.fen
printf '%s\n' "$fen" >"$position"

xboard_start_xvfb

# -mode Analysis enters Analysis mode once the position is loaded: xboard
# sends "force", "setboard", "post" and "analyze", then "." every two
# seconds (periodic updates). The startup message, which a game's first
# move would clear, would stay over the board. The settings file and HOME
# are temporary, so no settings of the user's are read or changed.
set -- \
  -settingsFile "$tmp/xboard.settings" -saveSettingsOnExit false \
  -fcp "$engine" -fd "$tmp/brevalt" \
  -lpf "$position" -mode Analysis -periodicUpdates true \
  -debug -nameOfDebugFile "$tmp/xboard.debug" \
  -popupExitMessage false -startupMessage "" -soundMove "" -boardSize Medium -engineOutputUp true
echo "xboard-analysis: $xboard $*" >"$tmp/command"
HOME=$tmp/home setsid "$xboard" "$@" >"$tmp/xboard.out" 2>&1 &
xboard_pid=$!
echo "xboard-analysis: analysing $fen for $seconds s on display $DISPLAY"

sleep "$seconds"
if ! kill -0 "$xboard_pid" 2>/dev/null; then
  echo "xboard-analysis: FAILED: xboard ended during the analysis" >&2
  cat "$tmp/xboard.out" >&2
  exit 1
fi

xboard_screenshot 'brevalt-analysis\.fen' "$output_width" "$tmp/analysis.png"

# What went between xboard and the engine: ">first : " lines xboard sent,
# "<first : " lines the engine printed.
debug=$tmp/xboard.debug
sed -n 's/^[0-9]* <first : //p' "$debug" >"$tmp/engine.out"
status=0
fail() {
  echo "xboard-analysis: FAILED: $*" >&2
  status=1
}
grep -q '^[0-9]* >first : analyze$' "$debug" || fail 'xboard sent no "analyze"'
grep -E '^[0-9]+ -?[0-9]+ [0-9]+ [0-9]+ ' "$tmp/engine.out" >"$tmp/lines"
lines=$(wc -l <"$tmp/lines")
stats=$(grep -c '^stat01: ' "$tmp/engine.out")
[ "$lines" -ge "$min_lines" ] || fail "only $lines analysis lines in $seconds s"
[ "$stats" -ge 1 ] || fail 'no stat01 line in answer to "."'
if grep -q '^move ' "$tmp/engine.out"; then fail "the engine played a move: $(grep '^move ' "$tmp/engine.out" | head -n 1)"; fi
if grep -E 'Illegal move|Error|tellusererror|exited unexpectedly|Error (writing to|reading from)' "$debug" >"$tmp/problems"; then
  fail "xboard's debug file reports:"
  head -n 10 "$tmp/problems" >&2
fi

# Every variation posted, read by chess.js in the analysed position.
chess_js=$root/tools/match/node_modules/chess.js/dist/esm/chess.js
if command -v node >/dev/null 2>&1 && [ -f "$chess_js" ]; then
  if ! node --input-type=module - "$root/tools/referee/lib/referee.mjs" "$fen" "$tmp/lines" <<'EOF'
const [referee, fen, file] = process.argv.slice(2);
const { Chess, variationFits } = await import(referee);
const fs = await import('node:fs');
let bad = 0;
for (const line of fs.readFileSync(file, 'utf8').split('\n').filter(Boolean)) {
  const pv = line.trim().split(/\s+/).slice(4);
  if (pv.length === 0 || !variationFits(new Chess(fen), pv)) {
    console.error(`xboard-analysis: not a legal variation in the analysed position: ${line}`);
    bad += 1;
  }
}
process.exit(bad ? 1 : 0);
EOF
  then
    fail 'a posted variation is not legal in the analysed position'
  fi
  checked=", every variation legal (chess.js)"
else
  checked=" (the variations were not checked: node or tools/match/node_modules is missing)"
fi
[ "$status" -eq 0 ] || exit "$status"

deepest=$(sort -n "$tmp/lines" | tail -n 1 | cut -d' ' -f1)
echo "xboard-analysis: $lines analysis lines to depth $deepest, $stats stat01 lines$checked"
echo "xboard-analysis: last line: $(tail -n 1 "$tmp/lines")"
mkdir -p "$out"
cp "$tmp/analysis.png" "$out/$name.png"
echo "xboard-analysis: passed; $out/$name.png written"
