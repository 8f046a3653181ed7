#!/bin/sh
# Installation end to end: "cmake --install" into a temporary prefix and into
# a DESTDIR staging folder, then the installed brevalt command started from
# an unrelated folder, fed protocol lines, its output compared exactly, and
# the files the engine writes looked for in the per-user folder; the
# installed engine started directly from elsewhere, finding the data
# folder installed with it; the installed brevalt-book run from elsewhere
# on the data installed with it.
#
# Usage: install_test.sh CMAKE BUILD_DIR SOURCE_DIR BINDIR ENGINE_DIR DATA_DIR DOC_DIR
# The last four are the install folders relative to the prefix, as the
# build configured them. BREVALT_VERSION in the environment is the project
# version, which the engine must announce.
set -u
cmake=$1
build=$2
src=$3
bindir=$4
enginedir=$5
datadir=$6
docdir=$7
for dir in "$bindir" "$enginedir" "$datadir" "$docdir"; do
  case $dir in
    /*)
      echo "install folders configured as absolute paths: nothing to test under a temporary prefix"
      exit 77
      ;;
  esac
done

tmp=$(mktemp -d "${TMPDIR:-/tmp}/brevalt-install.XXXXXX") || exit 1
tmp=$(cd "$tmp" && pwd -P)
pids=""
cleanup() {
  exec 3>&- 4>&-
  for pid in $pids; do kill -9 "$pid" 2>/dev/null; done
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

. "$(dirname "$0")/checks.sh"

# What the engine says to "xboard" and "protover 2".
HANDSHAKE='\nfeature setboard=1\nfeature sigint=0\nfeature sigterm=0\nfeature colors=0\nfeature analyze=1\nfeature ping=1\nfeature usermove=1\nfeature ics=1\nfeature memory=1\nfeature variants="normal,fischerandom"\nfeature smp=1\nfeature myname="Brevalt '"${BREVALT_VERSION:?the project version, set by tests/CMakeLists.txt}"'"\nfeature option="Limit Strength -check 0"\nfeature option="Strength -spin 1400 1000 1800"\nfeature option="MultiPV -spin 1 1 64"\nfeature exclude=1\nfeature done=1\n'
# White mates in one with Ra8, the only mate: a short search, one answer.
MATE_FEN='6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1'
OTHER_FEN='4k3/8/8/8/8/8/8/4K2R w K - 0 1'
THIRD_FEN='8/8/8/8/8/8/8/K6k w - - 0 1'

# --- Installing ----------------------------------------------------------
prefix=$tmp/prefix
if ! "$cmake" --install "$build" --prefix "$prefix" >"$tmp/install.log" 2>&1; then
  cat "$tmp/install.log" >&2
  echo "FAIL: cmake --install --prefix" >&2
  exit 1
fi
# Staged for a prefix that does not exist here: the command must find its
# files relative to itself.
stage=$tmp/stage
stageprefix=$stage/opt/brevalt-test
if ! DESTDIR=$stage "$cmake" --install "$build" --prefix /opt/brevalt-test >"$tmp/install-destdir.log" 2>&1; then
  cat "$tmp/install-destdir.log" >&2
  echo "FAIL: cmake --install with DESTDIR" >&2
  exit 1
fi

for p in "$prefix" "$stageprefix"; do
  cmp -s "$build/brevalt" "$p/$enginedir/brevalt" || fail "$p: engine not installed in $enginedir"
  cmp -s "$build/brevalt-book" "$p/$bindir/brevalt-book" || fail "$p: brevalt-book not installed in $bindir"
  [ -x "$p/$bindir/brevalt" ] || fail "$p: no brevalt command in $bindir"
  [ "$(head -n 1 "$p/$bindir/brevalt" 2>/dev/null)" = "#!/bin/sh" ] || fail "$p: the brevalt command is not the sh script"
  for name in MoveFile hash_values Brevalt.ini TEST_SUITES.md; do
    cmp -s "$src/data/$name" "$p/$datadir/$name" || fail "$p: $name not installed in $datadir"
  done
  cmp -s "$src/COPYING" "$p/$docdir/COPYING" || fail "$p: the licence COPYING not installed in $docdir"
  check_suites "$src" "$p/$datadir" "$p/$datadir"
  [ ! -e "$p/$datadir/epd1.epd" ] || fail "$p: the engine's own epd1.epd was installed"
  if [ -f "$src/data/book_normal.bin" ]; then
    cmp -s "$src/data/book_normal.bin" "$p/$datadir/book_normal.bin" || fail "$p: the book was not installed"
  else
    [ ! -e "$p/$datadir/book_normal.bin" ] || fail "$p: a book was installed where the build has none"
  fi
done
data=$(cd "$prefix/$datadir" && pwd -P)
stagedata=$(cd "$stageprefix/$datadir" && pwd -P)
engine=$(cd "$prefix/$enginedir" && pwd -P)/brevalt

mkdir "$tmp/home" "$tmp/elsewhere"
home=$tmp/home
work=$home/.local/share/brevalt

# --- The engine itself, started in a folder without data files ----------
# As an interface that runs it in a folder of its own: it reads the data
# folder installed with it, found from its own location (so also when
# staged with DESTDIR), and names it on standard error.
for p in "$prefix" "$stageprefix"; do
  pdata=$(cd "$p/$datadir" && pwd -P)
  (
    cd "$tmp/elsewhere" || exit 1
    printf 'xboard\nprotover 2\nquit\n' | "$p/$enginedir/brevalt"
  ) >"$tmp/direct.out" 2>"$tmp/direct.err" || fail "$p: the engine started directly: exit status $?"
  check_text "$tmp/direct.out" "$p: the engine started directly" "$HANDSHAKE"
  check_text "$tmp/direct.err" "$p: the engine's note on its data folder" 'brevalt: data files from %s\n' "$pdata"
done

# Every installed data file has its link in folder $1, pointing into $2.
check_links() {
  for file in "$2"/*; do
    name=${file##*/}
    if [ ! -L "$1/$name" ] || [ "$(readlink "$1/$name")" != "$file" ]; then
      fail "$1/$name is not a link to $file"
    fi
  done
}

# --- The command found on PATH, run from elsewhere, held open ------------
# Starts "brevalt ARGS" the way an interface does: from the folder
# $tmp/elsewhere, HOME at $home, its input a pipe this script keeps open on
# file descriptor $2; output into $tmp/$1.out. $3 is the install prefix.
start() {
  mkfifo "$tmp/$1.in"
  name=$1
  fd=$2
  bin=$3/$bindir
  shift 3
  (
    cd "$tmp/elsewhere" || exit 1
    HOME=$home
    PATH=$bin:$PATH
    export HOME PATH
    unset XDG_DATA_HOME
    exec brevalt "$@"
  ) <"$tmp/$name.in" >"$tmp/$name.out" 2>"$tmp/$name.err" &
  last=$!
  pids="$pids $last"
  eval "exec $fd>\"\$tmp/\$name.in\""
}

start first 3 "$prefix" one two
first=$last
printf 'xboard\nprotover 2\nnopost\nsetboard %s\ngo\n' "$MATE_FEN" >&3
wait_line "$tmp/first.out" '1-0 {White mates}' || fail "no mate from the installed engine"

# The script has become the engine: same process, the arguments passed on.
if [ -d /proc/$first ]; then
  [ "$(readlink /proc/$first/exe)" = "$engine" ] || fail "the command did not exec the engine (runs $(readlink /proc/$first/exe))"
  [ "$(tr '\0' ' ' </proc/$first/cmdline)" = "$engine one two " ] || fail "not the engine with the arguments passed on: $(tr '\0' ' ' </proc/$first/cmdline)"
  [ "$(readlink /proc/$first/cwd)" = "$work" ] || fail "the engine runs in $(readlink /proc/$first/cwd), not $work"
fi
check_text "$work/epd1.epd" "setboard's epd1.epd in the per-user folder" '%s' "$MATE_FEN"
[ ! -e "$data/epd1.epd" ] || fail "the engine wrote into the installed data folder"
check_links "$work" "$data"
[ "$(cat "$work/.running" 2>/dev/null)" = "$first" ] || fail "the running engine does not hold $work"

# --- A second engine at the same time, through a link to the staged command
mkdir "$home/bin"
ln -s "$stageprefix/$bindir/brevalt" "$home/bin/brevalt"
(
  cd "$tmp/elsewhere" || exit 1
  HOME=$home
  export HOME
  unset XDG_DATA_HOME
  printf 'xboard\nprotover 2\nsetboard %s\nquit\n' "$OTHER_FEN" | "$home/bin/brevalt" >"$tmp/second.out" 2>"$tmp/second.err"
) || fail "the second engine's exit status"
check_text "$tmp/second.out" "the second engine's output" "$HANDSHAKE"
check_text "$work/2/epd1.epd" "the second engine's epd1.epd in a folder of its own" '%s' "$OTHER_FEN"
check_links "$work/2" "$stagedata"
check_text "$work/epd1.epd" "the first engine's epd1.epd left alone" '%s' "$MATE_FEN"

printf 'quit\n' >&3
exec 3>&-
wait_exit "$first" || fail "the first engine's exit status"
check_text "$tmp/first.out" "the first engine's output" "${HANDSHAKE}move a1a8\\n1-0 {White mates}\\n"
[ ! -s "$tmp/first.err" ] || fail "the first engine wrote to standard error: $(cat "$tmp/first.err")"

# --- Started again from the other installation ---------------------------
# The links follow it; a file of the user's own stays, a link to a file no
# longer installed goes; the folder of the engine that ended is free again.
rm "$work/Brevalt.ini"
printf '*\n0\n1\n1\n1\n' >"$work/Brevalt.ini"
ln -s "$tmp/gone/old.epd" "$work/old.epd"
start third 4 "$stageprefix"
third=$last
printf 'xboard\nprotover 2\n' >&4
wait_line "$tmp/third.out" 'feature done=1' || fail "the engine started again did not answer"
if [ -d /proc/$third ]; then
  [ "$(readlink /proc/$third/cwd)" = "$work" ] || fail "the engine started again runs in $(readlink /proc/$third/cwd), not $work"
fi
printf 'quit\n' >&4
exec 4>&-
wait_exit "$third" || fail "the engine started again: exit status"
check_text "$tmp/third.out" "the output of the engine started again" "$HANDSHAKE"
for file in "$stagedata"/*; do
  name=${file##*/}
  [ "$name" = Brevalt.ini ] && continue
  [ "$(readlink "$work/$name")" = "$file" ] || fail "$work/$name does not follow the other installation"
done
[ ! -L "$work/Brevalt.ini" ] || fail "the user's Brevalt.ini was replaced by a link"
check_text "$work/Brevalt.ini" "the user's Brevalt.ini" '*\n0\n1\n1\n1\n'
[ ! -L "$work/old.epd" ] || fail "a link to a file no longer installed was kept"
[ ! -e "$work/error file" ] || fail "the engine reported: $(cat "$work/error file")"

# --- XDG_DATA_HOME, and a per-user folder that cannot be made ------------
# A file where the folder should be: the engine runs in the installed data
# folder (writable here, unlike a real installation).
# Runs the staged command from elsewhere with XDG_DATA_HOME=$1: setboard,
# then quit.
run_xdg() {
  (
    cd "$tmp/elsewhere" || exit 1
    HOME=$home
    XDG_DATA_HOME=$1
    export HOME XDG_DATA_HOME
    printf 'xboard\nprotover 2\nsetboard %s\nquit\n' "$THIRD_FEN" | "$stageprefix/$bindir/brevalt" >"$tmp/xdg.out" 2>"$tmp/xdg.err"
  ) || fail "exit status with XDG_DATA_HOME=$1"
  check_text "$tmp/xdg.out" "output with XDG_DATA_HOME=$1" "$HANDSHAKE"
}
mkdir "$tmp/xdg"
run_xdg "$tmp/xdg"
check_text "$tmp/xdg/brevalt/epd1.epd" "epd1.epd under XDG_DATA_HOME" '%s' "$THIRD_FEN"
check_links "$tmp/xdg/brevalt" "$stagedata"
[ ! -e "$stagedata/epd1.epd" ] || fail "the engine wrote into the installed data folder"
# A file where the folder should be: the engine runs in the installed data
# folder (writable here, unlike most real installations).
: >"$tmp/not-a-folder"
run_xdg "$tmp/not-a-folder"
check_text "$stagedata/epd1.epd" "epd1.epd in the installed data folder when no per-user folder can be made" '%s' "$THIRD_FEN"
[ ! -s "$tmp/not-a-folder" ] || fail "the file in the per-user folder's place was written to"

# --- The installed book tool ----------------------------------------------
# From a folder without data files, brevalt-book reads the data folder
# installed with it: with other key values there (the same ones in the
# opposite order) the book's positions are no longer found; --data still
# names another folder.
E4_FEN='rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1'
book=$tmp/book.bin
if [ -f "$src/data/book_normal.bin" ]; then
  cp "$src/data/book_normal.bin" "$book"
else
  "$build/brevalt-book" --data "$src/data" build "$book" "$src/tests/tools/data/masters_slice.pgn" >/dev/null 2>&1 ||
    fail "no book could be built for the book tool's checks"
fi
# Runs the installed brevalt-book from elsewhere; output into $tmp/$1.out.
installed_book() {
  out=$1
  shift
  (cd "$tmp/elsewhere" && "$prefix/$bindir/brevalt-book" "$@") >"$tmp/$out.out" 2>&1 ||
    fail "installed brevalt-book $*: $(cat "$tmp/$out.out")"
}
"$build/brevalt-book" --data "$src/data" probe "$book" "$E4_FEN" >"$tmp/book-reference.out" 2>&1
grep -q '^position: [0-9]' "$tmp/book-reference.out" || fail "the book does not hold the position after 1.e4"
installed_book book-installed probe "$book" "$E4_FEN"
cmp -s "$tmp/book-reference.out" "$tmp/book-installed.out" ||
  fail "the installed brevalt-book's probe differs: $(head -n 1 "$tmp/book-installed.out")"
cp "$data/hash_values" "$tmp/hash_values.installed"
awk '{ line[NR] = $0 } END { for (i = NR; i > 0; i--) print line[i] }' "$tmp/hash_values.installed" >"$data/hash_values"
installed_book book-other-keys probe "$book" "$E4_FEN"
grep -qx 'position: not in book' "$tmp/book-other-keys.out" ||
  fail "brevalt-book did not read the installed data folder: $(head -n 1 "$tmp/book-other-keys.out")"
installed_book book-named --data "$src/data" probe "$book" "$E4_FEN"
cmp -s "$tmp/book-reference.out" "$tmp/book-named.out" || fail "--data did not override the installed data folder"
cp "$tmp/hash_values.installed" "$data/hash_values"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "installation checks passed"
