#!/bin/sh
# What a second search thread is worth in play: Brevalt on two threads
# against Brevalt on one, GAMES games at 10 s + 0.1 s by default, pondering
# off, one game at a time (so that the two-thread engine has both cores
# while it thinks and its opponent waits), flagged with a margin of 0 and
# refereed by the match tool. Prints the score, the Elo difference of the
# two-thread engine with its 95% interval (the match tool's, from the
# spread of the game results: wins, draws and losses), and the faults of
# both sides.
#
# Usage: tools/thread-games.sh OUT [--engine BINARY] [--games GAMES] [--tc TC] [--threads N]
# OUT keeps the PGN, the JSON report, the match tool's summary and
# summary.txt. Run it on a machine with nothing else running.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?usage: tools/thread-games.sh OUT [--engine BINARY] [--games GAMES] [--tc TC] [--threads N]}
shift
bin="$root/build/brevalt"
games=400
tc=10+0.1
threads=2
while [ $# -gt 0 ]; do
  case $1 in
    --engine) bin=$2; shift 2 ;;
    --games) games=$2; shift 2 ;;
    --tc) tc=$2; shift 2 ;;
    --threads) threads=$2; shift 2 ;;
    *) echo "thread-games: unknown option $1" >&2; exit 2 ;;
  esac
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
for side in many one; do
  if [ ! -d "$out/data-$side" ]; then
    mkdir -p "$out/data-$side"
    cp -R "$root/data/." "$out/data-$side/"
  fi
done
echo "thread-games: $games games at $tc, $threads threads against 1" >&2
node "$root/tools/match/match.mjs" \
  --engine "name=Brevalt-${threads}T,cmd=$bin,dir=$out/data-many,proto=uci,option.Threads=$threads" \
  --engine "name=Brevalt-1T,cmd=$bin,dir=$out/data-one,proto=uci,option.Threads=1" \
  --tc "$tc" --games "$games" --concurrency 1 --seed 7 \
  --pgn "$out/games.pgn" --json "$out/games.json" > "$out/match.txt" 2>&1 || true
# The score, the Elo difference and its interval are the match tool's own
# (its JSON report's "scores"); a game cut short by an interrupted match
# ("*") counts for neither side.
node -e '
  const r = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
  const many = process.argv[2];
  const sc = r.scores.find((s) => s.engine === many);
  let faults = 0;
  for (const g of r.games) faults += g.problems.length;
  console.log(`${many} against Brevalt-1T: ${sc.games} games, +${sc.wins} =${sc.draws} -${sc.losses}, score ${sc.percent.toFixed(1)}%`);
  console.log(`Elo difference ${sc.eloText}, 95% interval ${sc.intervalText}`);
  console.log(`faults (illegal moves, crashes, time forfeits, false claims, rejected moves): ${faults}`);
' "$out/games.json" "Brevalt-${threads}T" | tee "$out/summary.txt"
