#!/bin/sh
# The top-level Makefile end to end, as engine testing frameworks use it:
# "make EXE=OUT/brevalt" with OUT an empty folder outside the clone, then
# OUT/brevalt bench run from another empty folder, whose last line must be
# "N nodes M nps" with N the bench signature. The clone is copied first so
# that the test's own build folder (BUILD_DIR) stays apart from the others.
#
# Usage: makefile_test.sh SOURCE_DIR [MAKE]
set -u
src=$1
make=${2:-make}
command -v "$make" >/dev/null 2>&1 || { echo "no make: skipped"; exit 77; }
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/out" "$tmp/run"
"$make" -C "$src" EXE="$tmp/out/brevalt" BUILD_DIR="$tmp/build" >"$tmp/make.log" 2>&1 || {
  tail -n 30 "$tmp/make.log"
  echo "FAIL: make EXE=$tmp/out/brevalt"
  exit 1
}
[ "$(ls "$tmp/out")" = brevalt ] || { echo "FAIL: OUT holds $(ls "$tmp/out"), not the program alone"; exit 1; }
expected=$(cat "$src/tools/bench-signature")
last=$(cd "$tmp/run" && "$tmp/out/brevalt" bench 2>/dev/null | tail -n 1)
case $last in
  "$expected nodes "*" nps") ;;
  *) echo "FAIL: the bench's last line is \"$last\", not \"$expected nodes N nps\""; exit 1 ;;
esac
[ -z "$(ls "$tmp/run")" ] || { echo "FAIL: the bench wrote $(ls "$tmp/run") in its working folder"; exit 1; }
echo "make EXE=... builds a program that benches $expected on its own"
