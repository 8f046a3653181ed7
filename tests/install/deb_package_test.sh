#!/bin/sh
# The Debian package end to end: "cpack -G DEB" into a temporary folder, the
# package's fields and files checked, the package unpacked with
# "dpkg-deb -x" into a temporary root, and there the packaged start command
# /usr/games/brevalt started from an unrelated folder, fed protocol lines,
# its output compared exactly, and the packaged brevalt-book run on the
# packaged book, finding the packaged data folder by itself; the packaged
# engine started directly from elsewhere finds it too. Where lintian is
# installed, any error it reports about the package, and any tag on its
# licence, fails the test.
#
# Usage: deb_package_test.sh CPACK BUILD_DIR SOURCE_DIR VERSION
# Exit status 77 (skipped) where dpkg-deb or CPack's DEB generator is missing.
set -u
cpack=$1
build=$2
src=$3
version=$4

if ! command -v dpkg-deb >/dev/null 2>&1; then
  echo "dpkg-deb not found: no Debian package to test"
  exit 77
fi
if ! "$cpack" --help 2>/dev/null | grep -q '^ *DEB  *='; then
  echo "$cpack has no DEB generator"
  exit 77
fi
if [ ! -f "$build/CPackConfig.cmake" ]; then
  echo "no CPack configuration in $build: the Debian package rules are not set up on this system"
  exit 77
fi

tmp=$(mktemp -d "${TMPDIR:-/tmp}/brevalt-deb.XXXXXX") || exit 1
tmp=$(cd "$tmp" && pwd -P)
pids=""
cleanup() {
  exec 3>&-
  for pid in $pids; do kill -9 "$pid" 2>/dev/null; done
  rm -rf "$tmp"
}
trap cleanup EXIT
trap 'exit 1' HUP INT TERM

. "$(dirname "$0")/checks.sh"

# The two files are the same; else both are shown.
check_same() {
  if ! cmp -s "$1" "$2"; then
    fail "$3"
    echo "--- expected ($1)" >&2
    cat "$1" >&2 2>/dev/null
    echo "--- got ($2)" >&2
    cat "$2" >&2 2>/dev/null
    echo "---" >&2
  fi
}

# What the engine says to "xboard" and "protover 2".
HANDSHAKE="\\nfeature setboard=1\\nfeature sigint=0\\nfeature sigterm=0\\nfeature colors=0\\nfeature analyze=1\\nfeature ping=1\\nfeature usermove=1\\nfeature ics=1\\nfeature memory=1\\nfeature variants=\"normal,fischerandom\"\\nfeature smp=1\\nfeature myname=\"Brevalt $version\"\\nfeature option=\"Limit Strength -check 0\"\\nfeature option=\"Strength -spin 1400 1000 1800\"\\nfeature option=\"MultiPV -spin 1 1 64\"\\nfeature exclude=1\\nfeature done=1\\n"
# White mates in one with Ra8, the only mate: a short search, one answer.
MATE_FEN='6k1/5ppp/8/8/8/8/5PPP/R5K1 w - - 0 1'
# After 1.e4, a position every book from the shipped games holds.
E4_FEN='rnbqkbnr/pppppppp/8/8/4P3/8/PPPP1PPP/RNBQKBNR b KQkq - 0 1'

# --- Making the package --------------------------------------------------
if ! "$cpack" -G DEB -B "$tmp/pkg" --config "$build/CPackConfig.cmake" >"$tmp/cpack.log" 2>&1; then
  cat "$tmp/cpack.log" >&2
  echo "FAIL: cpack -G DEB" >&2
  exit 1
fi
arch=$(dpkg --print-architecture)
deb=$tmp/pkg/brevalt_${version}-1_${arch}.deb
if [ ! -f "$deb" ]; then
  echo "FAIL: no $deb; cpack made: $(ls "$tmp/pkg")" >&2
  exit 1
fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = brevalt ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version-1" ] || fail "Version: $(field Version)"
[ "$(field Section)" = games ] || fail "Section: $(field Section)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
depends=$(field Depends)
for lib in libc6 libstdc++6 libgcc-s1 liblzma5; do
  case ", $depends," in
    *", $lib "* | *", $lib,"*) ;;
    *) fail "Depends does not name $lib: $depends" ;;
  esac
done

# --- What the package holds, and where -----------------------------------
root=$tmp/root
dpkg-deb -x "$deb" "$root" || { echo "FAIL: dpkg-deb -x" >&2; exit 1; }
data=$root/usr/share/games/brevalt
doc=$root/usr/share/doc/brevalt

# Every regular file of the package, and nothing else.
{
  echo usr/games/brevalt
  echo usr/games/brevalt-book
  echo usr/lib/games/brevalt/brevalt
  for name in MoveFile hash_values Brevalt.ini; do echo "usr/share/games/brevalt/$name"; done
  for suite in "$src"/data/*.epd; do
    name=${suite##*/}
    [ "$name" = epd1.epd ] || echo "usr/share/games/brevalt/$name"
  done
  [ ! -f "$src/data/book_normal.bin" ] || echo usr/share/games/brevalt/book_normal.bin
  echo usr/share/games/plugins/xboard/brevalt.eng
  echo usr/share/man/man6/brevalt.6.gz
  echo usr/share/man/man6/brevalt-book.6.gz
  for name in copyright changelog.Debian.gz README.md TEST_SUITES.md book/README.md \
              book/TCEC_README_with_license.md; do
    echo "usr/share/doc/brevalt/$name"
  done
} | LC_ALL=C sort >"$tmp/files.expected"
(cd "$root" && find . -type f | sed 's|^\./||' | LC_ALL=C sort) >"$tmp/files.got"
check_same "$tmp/files.expected" "$tmp/files.got" "the package's files"

for name in MoveFile hash_values Brevalt.ini book_normal.bin; do
  [ -f "$src/data/$name" ] || continue
  cmp -s "$src/data/$name" "$data/$name" || fail "$name differs from data/$name"
done
check_suites "$src" "$data" "the package's data folder"
[ "$(head -n 1 "$root/usr/games/brevalt")" = "#!/bin/sh" ] || fail "/usr/games/brevalt is not the sh script"
for prog in usr/games/brevalt usr/games/brevalt-book usr/lib/games/brevalt/brevalt; do
  [ -x "$root/$prog" ] || fail "/$prog is not executable"
done
# The registration xboard reads: the shipped file as it is (its first line
# is the header of xboard's engine-file format, which every engine's file
# carries), naming the start command and the variant it plays.
eng=$root/usr/share/games/plugins/xboard/brevalt.eng
cmp -s "$src/tools/debian/brevalt.eng" "$eng" || fail "brevalt.eng is not tools/debian/brevalt.eng"
[ "$(sed -n '2,$p' "$eng" 2>/dev/null)" = "$(printf 'brevalt\nchess')" ] || fail "brevalt.eng does not name the command brevalt and the variant chess"
# Compressed copies of the sources.
for page in brevalt brevalt-book; do
  gzip -dc "$root/usr/share/man/man6/$page.6.gz" >"$tmp/$page.6" 2>/dev/null || fail "$page.6.gz is not gzip data"
  cmp -s "$src/tools/install/man/$page.6" "$tmp/$page.6" || fail "$page.6.gz is not tools/install/man/$page.6"
done
gzip -dc "$doc/changelog.Debian.gz" >"$tmp/changelog" 2>/dev/null || fail "changelog.Debian.gz is not gzip data"
cmp -s "$src/tools/debian/changelog" "$tmp/changelog" || fail "changelog.Debian.gz is not tools/debian/changelog"
head -n 1 "$tmp/changelog" | grep -q "^brevalt ($version-1) " || fail "the changelog's first entry is not $version-1"
cmp -s "$src/tools/debian/copyright" "$doc/copyright" || fail "the copyright file is not tools/debian/copyright"
[ "$(head -n 1 "$doc/copyright")" = "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
  fail "the copyright file is not in the machine-readable format"
# The program's own licence: "Files: *" is under GPL-3+, whose stand-alone
# paragraph points to Debian's copy of the licence text.
files_licence=$(awk 'BEGIN { RS = "" } /^Files: \*\n/ { if (match($0, /\nLicense: [^\n]*/)) print substr($0, RSTART + 10, RLENGTH - 10) }' "$doc/copyright")
[ "$files_licence" = "GPL-3+" ] || fail "the copyright file's Files: * paragraph is under \"$files_licence\", not GPL-3+"
awk 'BEGIN { RS = "" } /^License: GPL-3\+\n/' "$doc/copyright" | grep -q '"/usr/share/common-licenses/GPL-3"' ||
  fail "the copyright file has no GPL-3+ paragraph pointing to /usr/share/common-licenses/GPL-3"

# --- The packaged start command ------------------------------------------
# Started the way xboard starts it: from a folder of no importance, HOME
# and XDG_DATA_HOME in the temporary folder, its input a pipe this script
# keeps open.
mkdir "$tmp/home" "$tmp/elsewhere" "$tmp/xdg"
work=$tmp/xdg/brevalt
mkfifo "$tmp/engine.in"
(
  cd "$tmp/elsewhere" || exit 1
  HOME=$tmp/home
  XDG_DATA_HOME=$tmp/xdg
  export HOME XDG_DATA_HOME
  exec "$root/usr/games/brevalt"
) <"$tmp/engine.in" >"$tmp/engine.out" 2>"$tmp/engine.err" &
engine=$!
pids="$pids $engine"
exec 3>"$tmp/engine.in"
printf 'xboard\nprotover 2\nnopost\nsetboard %s\ngo\n' "$MATE_FEN" >&3
wait_line "$tmp/engine.out" '1-0 {White mates}' || fail "no mate from the packaged engine"
if [ -d "/proc/$engine" ]; then
  [ "$(readlink "/proc/$engine/exe")" = "$root/usr/lib/games/brevalt/brevalt" ] ||
    fail "the start command did not exec the packaged engine (runs $(readlink "/proc/$engine/exe"))"
  [ "$(readlink "/proc/$engine/cwd")" = "$work" ] || fail "the engine runs in $(readlink "/proc/$engine/cwd"), not $work"
fi
printf 'quit\n' >&3
exec 3>&-
wait_exit "$engine" || fail "the packaged engine's exit status"
check_text "$tmp/engine.out" "the packaged engine's output" "${HANDSHAKE}move a1a8\\n1-0 {White mates}\\n"
[ ! -s "$tmp/engine.err" ] || fail "the packaged engine wrote to standard error: $(cat "$tmp/engine.err")"
check_text "$work/epd1.epd" "setboard's epd1.epd in the per-user folder" '%s' "$MATE_FEN"
[ ! -e "$data/epd1.epd" ] || fail "the engine wrote into the packaged data folder"
for file in "$data"/*; do
  name=${file##*/}
  [ "$(readlink "$work/$name")" = "$file" ] || fail "$work/$name is not a link to the packaged $name"
done

# The engine itself, started by an interface in a folder without data
# files: it reads the packaged data folder, found from its own location,
# and names it on standard error.
(
  cd "$tmp/elsewhere" || exit 1
  printf 'xboard\nprotover 2\nquit\n' | "$root/usr/lib/games/brevalt/brevalt"
) >"$tmp/direct.out" 2>"$tmp/direct.err" || fail "the packaged engine started directly: exit status $?"
check_text "$tmp/direct.out" "the packaged engine started directly" "$HANDSHAKE"
check_text "$tmp/direct.err" "the packaged engine's note on its data folder" 'brevalt: data files from %s\n' "$data"

# The arguments reach the engine.
(
  cd "$tmp/elsewhere" || exit 1
  HOME=$tmp/home XDG_DATA_HOME=$tmp/xdg "$root/usr/games/brevalt" --version
) >"$tmp/version.out" 2>&1 || fail "brevalt --version: exit status $?"
check_text "$tmp/version.out" "the packaged brevalt --version" 'Brevalt %s\nLicense GPL-3.0-or-later\n' "$version"

# --- The packaged book tool ----------------------------------------------
# From a folder without data files it reads the packaged data folder: its
# probe of the packaged book is what the build's tool prints from the
# repository's data. With other key values in the packaged folder the
# book's positions are no longer found, which shows the folder it reads;
# --data still names another, and without a packaged data folder the tool
# falls back on the repository's.
if [ -f "$data/book_normal.bin" ]; then
  book=$data/book_normal.bin
else
  # A build without the book: a small one made with the packaged tool.
  (cd "$tmp/elsewhere" && "$root/usr/games/brevalt-book" build "$tmp/small.bin" "$src/tests/tools/data/masters_slice.pgn") \
    >/dev/null 2>"$tmp/book-build.err" || fail "the packaged brevalt-book could not build a book: $(cat "$tmp/book-build.err")"
  book=$tmp/small.bin
fi
# Runs the packaged brevalt-book from elsewhere; output into $tmp/$1.out.
packaged_book() {
  out=$1
  shift
  (cd "$tmp/elsewhere" && "$root/usr/games/brevalt-book" "$@") >"$tmp/$out.out" 2>"$tmp/$out.err" ||
    fail "packaged brevalt-book $*: exit status $? ($(cat "$tmp/$out.err"))"
}
"$build/brevalt-book" --data "$src/data" probe "$book" "$E4_FEN" >"$tmp/reference.out" 2>&1 ||
  fail "the build's brevalt-book probe: $(cat "$tmp/reference.out")"
grep -q '^position: [0-9]' "$tmp/reference.out" || fail "the book does not hold the position after 1.e4: $(cat "$tmp/reference.out")"
packaged_book found probe "$book" "$E4_FEN"
check_same "$tmp/reference.out" "$tmp/found.out" "the packaged brevalt-book's probe of the packaged book"

mkdir "$tmp/other-keys"
cp "$src/data/MoveFile" "$tmp/other-keys/"
# The same key values in the opposite order.
awk '{ line[NR] = $0 } END { for (i = NR; i > 0; i--) print line[i] }' "$src/data/hash_values" >"$tmp/other-keys/hash_values"
"$build/brevalt-book" --data "$tmp/other-keys" probe "$book" "$E4_FEN" >"$tmp/other-keys.out" 2>&1 ||
  fail "the build's brevalt-book probe with other keys: $(cat "$tmp/other-keys.out")"
grep -q '^position: not in book$' "$tmp/other-keys.out" || fail "other key values still find the position: $(cat "$tmp/other-keys.out")"
cp "$tmp/other-keys/hash_values" "$data/hash_values"
packaged_book installed-keys probe "$book" "$E4_FEN"
check_same "$tmp/other-keys.out" "$tmp/installed-keys.out" "brevalt-book does not read the packaged data folder"
packaged_book named --data "$src/data" probe "$book" "$E4_FEN"
check_same "$tmp/reference.out" "$tmp/named.out" "--data does not override the packaged data folder"
cp "$book" "$tmp/book.bin"
mv "$data" "$tmp/moved-data"
packaged_book fallback probe "$tmp/book.bin" "$E4_FEN"
check_same "$tmp/reference.out" "$tmp/fallback.out" "without a packaged data folder brevalt-book does not fall back on the repository's"
mv "$tmp/moved-data" "$data"

# --- lintian -------------------------------------------------------------
if command -v lintian >/dev/null 2>&1; then
  # Every tag, down to the informational, pedantic and experimental ones:
  # none may concern the licence or the copyright file.
  lintian --tag-display-limit 0 -I -E --pedantic "$deb" >"$tmp/lintian.out" 2>&1
  licence_tags=$(grep '^[A-Z]: ' "$tmp/lintian.out" | awk '{ print $3 }' | grep -Ei 'licen[cs]e|copyright' | tr '\n' ' ')
  if grep -q '^E: ' "$tmp/lintian.out" || [ -n "$licence_tags" ]; then
    fail "lintian reports errors or tags on the licence ${licence_tags:+($licence_tags)}"
    cat "$tmp/lintian.out" >&2
  fi
else
  echo "lintian not found: the package was not checked with it"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "Debian package checks passed"
