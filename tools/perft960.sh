#!/bin/sh
# Fischer random perft against the published suite: the first COUNT
# positions of tests/board/data/chess960_perft.epd counted to DEPTH (1 to 6)
# with brevalt-perft and compared with the suite's figures.
#   sh tools/perft960.sh BUILD/brevalt-perft [DEPTH] [COUNT]
# A position where a pawn could promote within DEPTH plies is skipped (the
# engine counts a promotion once, as a queen; the suite counts all four).
# Exits 1 when any count differs.
set -e
perft=${1:?usage: perft960.sh BUILD/brevalt-perft [DEPTH] [COUNT]}
depth=${2:-6}
count=${3:-20}
suite="$(dirname "$0")/../tests/board/data/chess960_perft.epd"
# Own moves in DEPTH plies: a pawn this many ranks or fewer from promoting could.
moves=$(( (depth + 1) / 2 ))
status=0
checked=0
skipped=0
grep -v '^#' "$suite" | head -n "$count" > "${TMPDIR:-/tmp}/perft960.$$"
while IFS= read -r line; do
  fen=${line%% ;*}
  placement=${fen%% *}
  # Ranks 8 to 1, left to right: a white pawn on rank 8 - moves or above,
  # a black one on rank 1 + moves or below, could promote in time.
  near=$(echo "$placement" | awk -v m="$moves" -F/ '{
    for (r = 1; r <= 8; r++) { rank = 9 - r
      if (index($r, "P") && rank >= 8 - m) print "yes"
      if (index($r, "p") && rank <= 1 + m) print "yes" } }')
  if [ -n "$near" ]; then skipped=$((skipped + 1)); continue; fi
  want=$(echo "$line" | sed -n "s/.*;D$depth \([0-9]*\).*/\1/p")
  start=$(date +%s)
  got=$("$perft" "$fen" "$depth")
  end=$(date +%s)
  checked=$((checked + 1))
  if [ "$got" = "$want" ]; then
    echo "ok   $got  ($((end - start)) s)  $fen"
  else
    echo "FAIL got $got, published $want: $fen"
    status=1
  fi
done < "${TMPDIR:-/tmp}/perft960.$$"
rm -f "${TMPDIR:-/tmp}/perft960.$$"
echo "$checked positions checked at depth $depth, $skipped skipped"
exit $status
