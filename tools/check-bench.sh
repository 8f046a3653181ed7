#!/bin/sh
# Runs the bench of a built engine and compares its node count with the
# signature recorded in tools/bench-signature. A change to what the search
# or the evaluation does changes the count: such a commit records the new
# number and ends its message with "Bench: N".
#   tools/check-bench.sh [BENCH [ARGUMENTS...]]
# Arguments after the program are passed to it (--second-thread: the same
# count must come from searches run on a second thread).
set -e
cd "$(dirname "$0")/.."
bench=${1:-build/brevalt-bench}
[ $# -gt 0 ] && shift
expected=$(cat tools/bench-signature)
out=$("$bench" "$@") || {
  status=$?
  echo "bench: $bench ended with exit status $status" >&2
  exit 1
}
echo "$out" | tail -n 3
actual=$(echo "$out" | sed -n 's/^Nodes searched: //p')
if [ "$actual" != "$expected" ]; then
  echo "bench signature mismatch: expected $expected, got $actual" >&2
  exit 1
fi
echo "bench signature $actual matches"
