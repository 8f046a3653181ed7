#!/bin/sh
# The levels against a yardstick: Brevalt at a level (UCI_LimitStrength,
# UCI_Elo E) against Stockfish limited to the same UCI_Elo, GAMES games per
# level at 10 s + 0.1 s, pondering off, every game refereed by the match
# tool. A score near 50% means the level plays about as strong as it says;
# the score and the Elo difference are the match tool's (from the score,
# 400 * log10(s / (1 - s)); a game cut short counts for neither side).
# Stockfish keeps 100 ms back from each move, so that the yardstick does
# not lose on time at the margin of 0 the games are flagged with; the
# faults column counts Brevalt's.
#
# Usage: tools/level-games.sh OUT [--engine BINARY] [--games GAMES] [--tc TC]
#          [--concurrency C] [ELO ...]
# Default levels 1400 1800 2200 (Stockfish's own levels start at 1350),
# 40 games each. OUT keeps each level's PGN, JSON report and summary, and
# table.md. Needs Stockfish: tools/install-soak-deps.sh installs it.
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:?usage: tools/level-games.sh OUT [--engine BINARY] [--games GAMES] [ELO ...]}
shift
bin="$root/build/brevalt"
games=40
tc=10+0.1
concurrency=2
while [ $# -gt 0 ]; do
  case $1 in
    --engine) bin=$2; shift 2 ;;
    --games) games=$2; shift 2 ;;
    --tc) tc=$2; shift 2 ;;
    --concurrency) concurrency=$2; shift 2 ;;
    -*) echo "level-games: unknown option $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
levels=${*:-1400 1800 2200}
stockfish=$(command -v stockfish || echo /usr/games/stockfish)
[ -x "$stockfish" ] || { echo "level-games: Stockfish is needed (tools/install-soak-deps.sh)" >&2; exit 2; }
mkdir -p "$out"
out=$(cd "$out" && pwd)
for slot in $(seq 1 "$concurrency"); do
  if [ ! -d "$out/data-$slot" ]; then
    mkdir -p "$out/data-$slot"
    cp -R "$root/data/." "$out/data-$slot/"
  fi
done
printf '| Level (UCI_Elo) | Games | Brevalt score | Elo difference (measured) | Faults |\n|---|---|---|---|---|\n' > "$out/table.md"
for elo in $levels; do
  echo "level-games: $games games at $tc, both at UCI_Elo $elo" >&2
  node "$root/tools/match/match.mjs" \
    --engine "name=Brevalt-$elo,cmd=$bin,dir=$out/data-%w,proto=uci,option.UCI_LimitStrength=true,option.UCI_Elo=$elo" \
    --engine "name=Stockfish-$elo,cmd=$stockfish,proto=uci,option.Hash=16,option.Move Overhead=100,option.UCI_LimitStrength=true,option.UCI_Elo=$elo" \
    --tc "$tc" --games "$games" --concurrency "$concurrency" --seed 11 \
    --pgn "$out/level-$elo.pgn" --json "$out/level-$elo.json" > "$out/level-$elo.txt" 2>&1 || true
  # The score is the match tool's own (its JSON report's "scores"): a game
  # cut short ("*") counts for neither side and is not a game played.
  node -e '
    const r = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
    const me = "Brevalt-" + process.argv[2];
    const sc = r.scores.find((s) => s.engine === me);
    let faults = 0;
    for (const g of r.games) faults += g.problems.filter((p) => p.engine === me).length;
    const n = sc.games;
    const elo = sc.elo !== null ? Math.round(sc.elo) : n === 0 ? "n/a" : sc.points === 0 ? "below -600" : "above +600";
    console.log(`| ${process.argv[2]} | ${n} | ${sc.points}/${n} (${sc.percent.toFixed(1)}%) | ${elo} | ${faults} |`);
  ' "$out/level-$elo.json" "$elo" >> "$out/table.md"
done
cat "$out/table.md"
