#!/bin/sh
# The clock check: games at the clocks and in the command forms that match
# runners and xboard really use, flagged as common runners flag (a move
# over its time loses, with a margin of 0), pondering off, every game
# refereed by the match tool:
#   - at 10 s + 0.1 s, 2 s + 0.02 s, 1 s + 0.01 s and 0.1 s per move, GAMES
#     games in each of four pairings: CECP against itself, UCI against
#     itself, CECP against Fairy-Max, UCI against Fairy-Max;
#   - at 1 s per move, a fifth of GAMES (whole pairs, rounded up) in each
#     of the same four pairings;
#   - the engine speaking CECP gets "level" as xboard writes it ("level 0
#     0:10 0.1") and "st 1" / "st 0.1" for the fixed times;
#   - with --sjeng N, also N games against Sjeng at 10 s + 0.1 s (CECP).
# Then a table: per run the games, the engine's score, its faults (illegal
# moves, crashes, time forfeits, false claims, rejected moves) and the
# median share of its available time (start + increments received) it
# spent in games where it made 40 moves or more.
#
# Usage: tools/clock-games.sh OUT [--engine BINARY] [--games GAMES] [--sjeng N]
#          [--only NAME-PATTERN] [--concurrency C] [--whole-level]
# --whole-level sends "level" in whole seconds, for engines older than the
# m:ss and decimal reading.
# OUT keeps each run's PGN, JSON report and summary, and table.md.
# Needs Fairy-Max (and Sjeng): tools/install-soak-deps.sh installs them.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?usage: tools/clock-games.sh OUT [--engine BINARY] [--games GAMES] [--sjeng N]}
shift
bin="$root/build/brevalt"
games=26
sjeng=0
only=""
concurrency=2
level=",level=exact"
while [ $# -gt 0 ]; do
  case $1 in
    --engine) bin=$2; shift 2 ;;
    --games) games=$2; shift 2 ;;
    --sjeng) sjeng=$2; shift 2 ;;
    --only) only=$2; shift 2 ;;
    --concurrency) concurrency=$2; shift 2 ;;
    --whole-level) level=""; shift ;;
    *) echo "clock-games: unknown option $1" >&2; exit 2 ;;
  esac
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
# Each engine process gets a working folder of its own: it writes files there.
for slot in $(seq 1 "$concurrency"); do
  for side in a b; do
    if [ ! -d "$out/data-$slot$side" ]; then
      mkdir -p "$out/data-$slot$side"
      cp -R "$root/data/." "$out/data-$slot$side/"
    fi
  done
done
cecp_a="name=Brevalt,cmd=$bin,dir=$out/data-%wa$level"
cecp_b="name=Brevalt-2,cmd=$bin,dir=$out/data-%wb$level"
uci_a="name=Brevalt,cmd=$bin,dir=$out/data-%wa,proto=uci"
uci_b="name=Brevalt-2,cmd=$bin,dir=$out/data-%wb,proto=uci"
fairymax="name=Fairy-Max,cmd=/usr/games/fairymax,computer=0"
# Sjeng writes into its working folder too: two at once in one folder fail.
sjeng_engine="name=Sjeng,cmd=/usr/games/sjeng,dir=$out/sjeng-%w"
for slot in $(seq 1 "$concurrency"); do mkdir -p "$out/sjeng-$slot"; done

run() {
  name=$1
  tc=$2
  n=$3
  shift 3
  case $name in *$only*) ;; *) return 0 ;; esac
  [ "$n" -gt 0 ] || return 0
  echo "clock-games: $name, $n games at $tc" >&2
  node "$root/tools/match/match.mjs" "$@" --tc "$tc" --games "$n" --concurrency "$concurrency" --seed 31 \
    --pgn "$out/$name.pgn" --json "$out/$name.json" > "$out/$name.txt" 2>&1 || true
}

# A fifth of GAMES at 1 s per move, rounded up to whole pairs.
few=$(((games + 9) / 10 * 2))
for tc in 10+0.1 2+0.02 1+0.01 st=0.1 st=1; do
  n=$games
  [ "$tc" = st=1 ] && n=$few
  run "self-cecp-$tc" "$tc" "$n" --engine "$cecp_a" --engine "$cecp_b"
  run "self-uci-$tc" "$tc" "$n" --engine "$uci_a" --engine "$uci_b"
  run "fairymax-cecp-$tc" "$tc" "$n" --engine "$cecp_a" --engine "$fairymax"
  run "fairymax-uci-$tc" "$tc" "$n" --engine "$uci_a" --engine "$fairymax"
done
run "sjeng-cecp-10+0.1" 10+0.1 "$sjeng" --engine "$cecp_a" --engine "$sjeng_engine"

node "$root/tools/clock-games-table.mjs" "$out" | tee "$out/table.md"
