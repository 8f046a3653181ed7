#!/bin/sh
# Nodes per second of two brevalt-bench programs, run one after the other
# in alternating pairs on the same machine:
#   tools/bench-compare.sh BEFORE AFTER [PAIRS]   (default 6 pairs)
# A shared machine's speed drifts by tens of per cent within minutes, so
# single figures say little: alternating pairs put both programs under the
# same conditions, and the median of the per-pair ratios resists a pair
# that one disturbance spoiled. Both must search the same tree (the same
# signature), or their node rates are not comparable; the script refuses
# otherwise.
set -e
if [ $# -lt 2 ] || [ $# -gt 3 ]; then
  echo "usage: tools/bench-compare.sh BEFORE AFTER [PAIRS]" >&2
  exit 2
fi
# The benches run from the project folder (they read its data files), so a
# path given relative to the caller's folder is made absolute first.
absolute() {
  case $1 in
    /*) echo "$1" ;;
    */*) echo "$PWD/$1" ;;
    *) echo "$1" ;;
  esac
}
before=$(absolute "$1")
after=$(absolute "$2")
pairs=${3:-6}
cd "$(dirname "$0")/.."

case $pairs in
  '' | *[!0-9]*) echo "bench-compare: PAIRS must be a whole number" >&2; exit 2 ;;
esac
if [ "$pairs" -lt 1 ] || [ "$pairs" -gt 100 ]; then
  echo "bench-compare: PAIRS must be 1 to 100" >&2
  exit 2
fi

# One run: "nodes rate" from the bench's last lines.
run() {
  "$1" | awk '/^Nodes searched:/ {n = $3} /^Nodes\/second:/ {r = $2} END {print n, r}'
}

results=$(mktemp)
trap 'rm -f "$results"' EXIT
i=1
while [ "$i" -le "$pairs" ]; do
  set -- $(run "$before")
  b_nodes=$1 b_rate=$2
  set -- $(run "$after")
  a_nodes=$1 a_rate=$2
  if [ -z "$b_rate" ] || [ -z "$a_rate" ]; then
    echo "bench-compare: a bench run printed no figures" >&2
    exit 1
  fi
  if [ "$b_nodes" != "$a_nodes" ]; then
    echo "bench-compare: the two benches search different trees ($b_nodes and $a_nodes nodes)" >&2
    exit 1
  fi
  echo "$b_rate $a_rate" >> "$results"
  i=$((i + 1))
done

awk '
  function median(v, n,   i, j, t) {
    for (i = 2; i <= n; ++i)
      for (j = i; j > 1 && v[j - 1] > v[j]; --j) { t = v[j]; v[j] = v[j - 1]; v[j - 1] = t }
    return n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
  }
  {
    ++n; b[n] = $1; a[n] = $2; r[n] = $2 / $1
    if ($1 > best_b) best_b = $1
    if ($2 > best_a) best_a = $2
    printf "pair %d: before %d, after %d nodes/s, ratio %.3f\n", n, $1, $2, r[n]
  }
  END {
    printf "median nodes/s: before %d, after %d (%d pairs)\n", median(b, n), median(a, n), n
    # A machine shared with others can run slow for minutes at a time and
    # never fast: the fastest run of each is a second figure that such a
    # phase cannot pull down.
    printf "fastest nodes/s: before %d, after %d, ratio %.3f\n", best_b, best_a, best_a / best_b
    printf "median ratio after / before: %.3f\n", median(r, n)
  }' "$results"
