#!/bin/sh
# Plays short games with the built engine through the match tool and fails
# when any game had an illegal move, a crash, a time forfeit, a false claim
# or a rejected move:
#   (a) 4 games against Fairy-Max at 2+0.05,
#   (b) 2 games of the engine against itself, pondering, at 40 moves in
#       15 s (the engine ponders only with more than 10 s on its clock, so
#       a bullet clock would never exercise it),
#   (c) 2 games of the engine speaking UCI against itself speaking CECP,
#       pondering, at 40 moves in 15 s (the UCI side ponders through the
#       match tool's go ponder / ponderhit / stop);
#   (d) 2 games, UCI against CECP, at 1 s + 0.01 s with "level 0 0:01
#       0.01" as xboard writes it, and (e) 2 at 0.1 s per move ("st 0.1",
#       "go movetime 100"): fast clocks flagged with a margin of 0.
#
# Usage: tools/ci-games.sh [REPO_ROOT]
# REPO_ROOT defaults to the folder above this script; build/brevalt must be
# built there. Each Brevalt process runs on its own copy of data/, since the
# engine writes files into its working folder.
#
# Environment (engine descriptions as the match tool reads them, see
# "node tools/match/match.mjs --help"):
#   CI_GAMES_ENGINE    engine under test (default: Brevalt from build/)
#   CI_GAMES_OPPONENT  opponent in (a) (default: Fairy-Max; it is sent no
#                      "computer" command, which Fairy-Max 5.0b may crash on)
#   CI_GAMES_TC        time control of (a) (default 2+0.05)
#   CI_GAMES_PONDER_TC time control of (b) (default 40/15)
#   CI_GAMES_KEEP=1    keep the PGN files and protocol transcripts, which are
#                      otherwise kept only when a match fails
set -e
root=${1:-"$(dirname "$0")/.."}
cd "$root"
root=$(pwd)
match="$root/tools/match/match.mjs"
tc=${CI_GAMES_TC:-2+0.05}
ponder_tc=${CI_GAMES_PONDER_TC:-40/15}

if ! command -v node >/dev/null 2>&1; then
  echo "ci-games: node is needed (tools/install-deps.sh installs it)" >&2
  exit 2
fi
if [ ! -d "$root/tools/match/node_modules/chess.js" ]; then
  npm ci --prefix "$root/tools/match" --no-audit --no-fund --loglevel=error
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/ci-games.XXXXXX")

if [ -n "$CI_GAMES_ENGINE" ]; then
  engine1=$CI_GAMES_ENGINE
  engine2=$CI_GAMES_ENGINE
else
  if [ ! -x "$root/build/brevalt" ]; then
    echo "ci-games: $root/build/brevalt is not built" >&2
    rm -rf "$tmp"
    exit 2
  fi
  for n in 1 2; do
    mkdir "$tmp/data-$n"
    cp -R "$root/data/." "$tmp/data-$n/"
  done
  engine1="name=Brevalt,cmd=$root/build/brevalt,dir=$tmp/data-1"
  engine2="name=Brevalt,cmd=$root/build/brevalt,dir=$tmp/data-2"
fi
# The engine under test, driven over UCI.
uci_engine="$(echo "$engine1" | sed 's/name=[^,]*/name=Brevalt-UCI/'),proto=uci"
opponent=${CI_GAMES_OPPONENT:-name=Fairymax,cmd=/usr/games/fairymax,computer=0}

status=0
echo "== (a) 4 games against the opponent, $tc"
node "$match" --engine "$engine1" --engine "$opponent" --games 4 --tc "$tc" \
  --strict --pgn "$tmp/opponent.pgn" --log "$tmp/opponent-logs" || status=1
echo "== (b) 2 games against itself, pondering, $ponder_tc"
node "$match" --engine "$engine1" --engine "$engine2" --games 2 --tc "$ponder_tc" \
  --ponder --strict --pgn "$tmp/self-play.pgn" --log "$tmp/self-play-logs" || status=1

echo "== (c) 2 games, UCI against CECP, pondering, $ponder_tc"
node "$match" --engine "$uci_engine" --engine "$engine2" --games 2 --tc "$ponder_tc" \
  --ponder --strict --pgn "$tmp/uci.pgn" --log "$tmp/uci-logs" || status=1

echo "== (d) 2 games, UCI against CECP, 1+0.01"
node "$match" --engine "$uci_engine" --engine "$engine2,level=exact" --games 2 --tc 1+0.01 \
  --strict --pgn "$tmp/fast.pgn" --log "$tmp/fast-logs" || status=1
echo "== (e) 2 games, UCI against CECP, 0.1 s per move"
node "$match" --engine "$uci_engine" --engine "$engine2" --games 2 --tc st=0.1 \
  --strict --pgn "$tmp/fixed.pgn" --log "$tmp/fixed-logs" || status=1

if [ "$status" -ne 0 ]; then
  echo "ci-games: FAILED; games and protocol transcripts are in $tmp" >&2
elif [ "${CI_GAMES_KEEP:-0}" = 1 ]; then
  echo "ci-games: passed; games and protocol transcripts are in $tmp"
else
  rm -rf "$tmp"
  echo "ci-games: passed"
fi
exit "$status"
