#!/bin/sh
# Long soak of the built engine: many fast games against several Debian
# engines under several clocks, every game refereed by the match tool
# (illegal moves, crashes, time forfeits, false claims and rejected moves are
# recorded per game). Writes per-match PGN, JSON and protocol transcripts to
# OUT and a Markdown table of the lot to OUT/table.md.
#
# Usage: tools/soak/soak.sh OUT [PLAN...]
# A PLAN is "OPPONENT:CLOCK:GAMES[:ponder]", e.g. "sjeng:1+0.02:140" or
# "fairymax:40/20:20:ponder"; OPPONENT is one of fairymax, phalanx, sjeng,
# hoichess. Without plans the full 1,000-game soak is run.
# tools/install-soak-deps.sh installs the opponents.
#
# Environment: SOAK_CONCURRENCY (default 2) games at once; SOAK_SEED (default
# 2026) shuffles the opening lines. With pondering both sides of a game
# think all the time, so two games at once share two cores among four
# thinking processes: each engine sees half a core, on a wall clock that
# runs for both alike.
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
out=${1:?usage: soak.sh OUT [PLAN...]}
shift
mkdir -p "$out"
out=$(cd "$out" && pwd)
conc=${SOAK_CONCURRENCY:-2}

if [ $# -eq 0 ]; then
  set -- \
    fairymax:1+0.02:152 phalanx:1+0.02:152 sjeng:1+0.02:152 hoichess:1+0.02:152 \
    fairymax:2+0.05:90 phalanx:2+0.05:90 sjeng:2+0.05:90 hoichess:2+0.05:90 \
    fairymax:40/20:8:ponder phalanx:40/20:8:ponder sjeng:40/20:8:ponder hoichess:40/20:8:ponder
fi

# The engine plays from a copy of the binary and its data, so a rebuild
# during the soak cannot change the player halfway.
eng="$out/brevalt"
rm -rf "$eng"
mkdir -p "$eng"
cp "$root/build/brevalt" "$eng/"
cp -r "$root/data/." "$eng/"
[ -f "$eng/book_normal.bin" ] || { echo "soak: data/book_normal.bin missing (build first)" >&2; exit 2; }

for plan in "$@"; do
  opp=$(echo "$plan" | cut -d: -f1)
  tc=$(echo "$plan" | cut -d: -f2)
  games=$(echo "$plan" | cut -d: -f3)
  mode=$(echo "$plan" | cut -d: -f4)
  # Each opponent gets an empty folder of its own: some keep learning or
  # log files in their working folder.
  odir="$out/opp-$opp"
  mkdir -p "$odir"
  case $opp in
    fairymax) opponent="name=Fairy-Max,cmd=/usr/games/fairymax,dir=$odir,computer=0" ;;
    phalanx)  opponent="name=Phalanx,cmd=/usr/games/phalanx -l-,dir=$odir,computer=0" ;;
    sjeng)    opponent="name=Sjeng,cmd=/usr/games/sjeng,dir=$odir" ;;
    hoichess) opponent="name=HoiChess,cmd=/usr/games/hoichess --xboard,dir=$odir" ;;
    *) echo "soak: unknown opponent $opp" >&2; exit 2 ;;
  esac
  tag="$opp-$(echo "$tc" | tr '/+' '-p')"
  extra=""
  if [ "$mode" = ponder ]; then extra="--ponder"; tag="$tag-ponder"; fi
  echo "soak: $tag, $games games" >&2
  node "$root/tools/match/match.mjs" \
    --engine "name=Brevalt,cmd=$eng/brevalt,dir=$eng" --engine "$opponent" \
    --games "$games" --tc "$tc" --concurrency "$conc" $extra --seed "${SOAK_SEED:-2026}" \
    --event "Brevalt soak $tag" --pgn "$out/$tag.pgn" --json "$out/$tag.json" \
    --log "$out/log-$tag" > "$out/$tag.txt" 2>&1 || true
  tail -n 12 "$out/$tag.txt" >&2
done
node "$here/table.mjs" "$out"/*.json > "$out/table.md"
cat "$out/table.md"
