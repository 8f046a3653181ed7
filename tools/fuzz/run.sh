#!/bin/sh
# Builds the libFuzzer targets (clang, both sanitizers) in build-fuzz/ and
# runs each one on a corpus seeded from the project's own test data: the
# EPD suites, the parameter and move files, a slice of the opening book,
# game collections of the book tool's tests and hand-written interface
# sessions. The inputs in tools/fuzz/regressions/TARGET, each of which once
# found a fault, are replayed first. Fails when any target finds a crash, a
# leak, a time-out or an abort; the input that did it is kept in
# build-fuzz/artifacts/.
#
# Usage: tools/fuzz/run.sh [--runs N | --seconds S] [--threads N] [TARGET...]
#   --runs N      inputs per target (default 2000)
#   --seconds S   time per target instead
#   --threads N   the engine's searches run on N threads (default 1)
#   TARGET        session, uci, epd, params, movefile, book, pgn (default: all)
# The corpora grow in build-fuzz/corpus/TARGET across runs.
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bdir="$root/build-fuzz"
limit="-runs=2000"
while [ $# -gt 0 ]; do
  case $1 in
    --runs) limit="-runs=$2"; shift 2 ;;
    --seconds) limit="-max_total_time=$2"; shift 2 ;;
    --threads) BREVALT_FUZZ_THREADS=$2; export BREVALT_FUZZ_THREADS; shift 2 ;;
    *) break ;;
  esac
done
targets=${*:-session uci epd params movefile book pgn}

command -v clang++ >/dev/null 2>&1 || { echo "fuzz: clang++ is needed" >&2; exit 2; }
if [ ! -f "$bdir/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S "$root" -B "$bdir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVALT_FUZZ=ON >/dev/null
fi
cmake --build "$bdir" -j2 >/dev/null

# Seeds: files already in a corpus stay; new seeds are added beside them.
seed() {
  mkdir -p "$bdir/corpus/$1"
  cp "$2" "$bdir/corpus/$1/seed-$(basename "$2")"
}
# Splits a text file into pieces of N lines as seeds.
seed_split() {
  mkdir -p "$bdir/corpus/$1"
  split -l "$3" "$2" "$bdir/corpus/$1/seed-$(basename "$2")-"
}
for f in "$here"/seeds/session/*; do seed session "$f"; done
for f in "$here"/seeds/uci/*; do seed uci "$f"; done
for f in "$root"/data/*.epd; do seed_split epd "$f" 6; done
seed params "$root/data/Brevalt.ini"
seed movefile "$root/data/MoveFile"
seed_split pgn "$root/tests/tools/data/masters_slice.pgn" 40
if command -v xz >/dev/null 2>&1; then
  xz -dc "$root/tests/tools/data/tcec_slice.pgn.xz" | head -n 600 > "$bdir/corpus-tcec.pgn"
  seed_split pgn "$bdir/corpus-tcec.pgn" 40
fi
# The book: its header and first records, as the book tool writes them.
mkdir -p "$bdir/corpus/book"
if [ -f "$root/data/book_normal.bin" ]; then
  head -c 1024 "$root/data/book_normal.bin" > "$bdir/corpus/book/seed-book-head.bin"
fi
printf 'Brevalt book 1\000\000' > "$bdir/corpus/book/seed-header-only.bin"

mkdir -p "$bdir/artifacts"
status=0
for t in $targets; do
  # Inputs that once found a fault are replayed first, and seed the corpus.
  if [ -d "$here/regressions/$t" ]; then
    if ! "$bdir/fuzz-$t" "$here"/regressions/"$t"/* > "$bdir/fuzz-$t-regressions.log" 2>&1; then
      echo "fuzz-$t: FAILED on a regression input (see $bdir/fuzz-$t-regressions.log)"
      status=1
      continue
    fi
    for f in "$here"/regressions/"$t"/*; do cp "$f" "$bdir/corpus/$t/regression-${f##*/}"; done
  fi
  extra=""
  # Short inputs keep each run quick: a session of a few dozen lines, a
  # game or two of PGN, a few EPD records.
  case $t in
    session) extra="-dict=$here/seeds/session.dict -max_len=512" ;;
    uci) extra="-dict=$here/seeds/uci.dict -max_len=1024" ;;
    pgn) extra="-max_len=2048" ;;
    epd) extra="-max_len=1024" ;;
    *) extra="" ;;
  esac
  log="$bdir/fuzz-$t.log"
  if "$bdir/fuzz-$t" $limit $extra -timeout=20 -rss_limit_mb=2560 -print_final_stats=1 \
      -artifact_prefix="$bdir/artifacts/$t-" "$bdir/corpus/$t" > "$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    secs=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
    echo "fuzz-$t: $runs inputs in ${secs:-?} s, no crash; corpus $(ls "$bdir/corpus/$t" | wc -l) files"
  else
    echo "fuzz-$t: FAILED (see $log)"
    grep -E "^==[0-9]+==ERROR|SUMMARY|^artifact_prefix|Test unit written" "$log" | head -5
    status=1
  fi
done
exit $status
