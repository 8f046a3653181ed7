#!/bin/sh
# The search on several threads under ThreadSanitizer: builds the engine,
# the bench and the tests in build-tsan/ (BREVALT_TSAN), then runs
#   1. brevalt-bench on two threads (iteration 7: ThreadSanitizer makes the
#      search some fifty times slower),
#   2. every test of tests/frontend/threads_test.cpp, the end-to-end tests
#      that drive the engine with two threads in both protocols,
# and fails when any of them fails or ThreadSanitizer reports anything
# (its reports go to files, one per process, so an engine started by a
# test cannot hide one in its standard error).
#
# Usage: tools/check-threads.sh
set -e
cd "$(dirname "$0")/.."
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBREVALT_TSAN=ON -DBREVALT_BENCHMARKS=OFF >/dev/null
cmake --build build-tsan -j2 --target brevalt brevalt-bench brevalt_tests >/dev/null

reports=$(mktemp -d)
trap 'rm -rf "$reports"' EXIT
TSAN_OPTIONS="log_path=$reports/report second_deadlock_stack=1"
export TSAN_OPTIONS

status=0
echo "check-threads: brevalt-bench 7 --threads 2"
build-tsan/brevalt-bench 7 --threads 2 | tail -n 2 || status=1
suites=$(sed -n 's/^TEST\(_F\|_P\)\?(\([A-Za-z0-9_]*\),.*/\2/p' tests/frontend/threads_test.cpp | sort -u | sed 's/$/.*/' | paste -sd: -)
echo "check-threads: tests $suites"
build-tsan/tests/brevalt_tests --gtest_filter="$suites" --gtest_brief=1 || status=1

if ls "$reports"/report* >/dev/null 2>&1; then
  echo "check-threads: ThreadSanitizer reported:"
  cat "$reports"/report*
  status=1
fi
[ "$status" -eq 0 ] && echo "check-threads: no fault, no ThreadSanitizer report"
exit "$status"
