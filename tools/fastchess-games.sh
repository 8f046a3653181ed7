#!/bin/sh
# Games under fastchess, as testing frameworks play them: UCI, flagged with
# a time margin of 0, pondering off, each opening played twice with the
# colours reversed. fastchess is not part of the project; build it from its
# public source and name its program in FASTCHESS.
#
#   FASTCHESS=/path/to/fastchess sh tools/fastchess-games.sh OUT VARIANT OPPONENT GAMES [TC]
#     VARIANT   standard (the match tool's opening lines) or chess960 (random
#               starting positions of the 960)
#     OPPONENT  stockfish (Debian's, held to UCI_Elo 1800, about Brevalt's
#               strength at this clock) or ethereal (Debian's, full strength)
#     TC        fastchess's time control, 10+0.1 by default
#
# Writes OUT/games.pgn and OUT/fastchess.log, prints fastchess's summary and
# the faults it reported of Brevalt (time losses, illegal moves, disconnects,
# stalls, warnings about its bestmove or pv lines), and exits 1 on any.
set -e
[ $# -ge 4 ] || { sed -n 2,16p "$0"; exit 2; }
OUT=$1 VARIANT=$2 OPPONENT=$3 GAMES=$4 TC=${5:-10+0.1}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
: "${FASTCHESS:?name the fastchess program in FASTCHESS}"
ENGINE=${BREVALT:-$ROOT/build/brevalt}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
# The engine plays from a folder of its own with its data files.
rm -rf "$OUT/brevalt-dir" && mkdir "$OUT/brevalt-dir" && cp -r "$ROOT/data/." "$OUT/brevalt-dir/"
case $VARIANT in
  standard) node "$ROOT/tools/fastchess/openings.mjs" standard >"$OUT/openings.epd"; FC_VARIANT=standard ;;
  chess960) node "$ROOT/tools/fastchess/openings.mjs" chess960 >"$OUT/openings.epd"; FC_VARIANT=fischerandom ;;
  *) echo "unknown variant $VARIANT" >&2; exit 2 ;;
esac
case $OPPONENT in
  stockfish) PEER="cmd=/usr/games/stockfish name=Stockfish option.UCI_LimitStrength=true option.UCI_Elo=1800" ;;
  ethereal) PEER="cmd=/usr/games/ethereal-chess name=Ethereal" ;;
  *) echo "unknown opponent $OPPONENT" >&2; exit 2 ;;
esac
ROUNDS=$(( (GAMES + 1) / 2 ))
# shellcheck disable=SC2086
"$FASTCHESS" -engine cmd="$ENGINE" name=Brevalt dir="$OUT/brevalt-dir" -engine $PEER \
  -each proto=uci tc="$TC" timemargin=0 option.Hash=16 option.Ponder=false \
  -variant "$FC_VARIANT" -openings file="$OUT/openings.epd" format=epd order=random \
  -rounds "$ROUNDS" -games 2 -repeat -concurrency 1 -recover \
  -pgnout file="$OUT/games.pgn" notation=san \
  -log file="$OUT/fastchess.log" level=warn engine=false \
  -report penta=true >"$OUT/fastchess.out" 2>&1 || true
sed -n '/Results of/,$p' "$OUT/fastchess.out" | tail -12
# Faults: a game fastchess ended for a reason other than the board, lost by
# Brevalt; and any warning fastchess gave about Brevalt's output.
FAULTS=$(node "$ROOT/tools/fastchess/faults.mjs" "$OUT/games.pgn" "$OUT/fastchess.out" "$OUT/fastchess.log")
echo "$FAULTS"
case $FAULTS in "Brevalt faults: 0"*) exit 0 ;; *) exit 1 ;; esac
