# Shell helpers of the installation tests (sourced): failures counted by
# fail, exact file contents, waiting for a line and for a process. They
# need $tmp, the test's scratch folder.

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The file holds exactly the bytes printf makes of the format and arguments.
check_text() {
  file=$1
  what=$2
  shift 2
  # shellcheck disable=SC2059
  printf "$@" >"$tmp/expected"
  if ! cmp -s "$tmp/expected" "$file"; then
    fail "$what"
    echo "--- expected" >&2
    cat "$tmp/expected" >&2
    echo "--- got" >&2
    cat "$file" >&2 2>/dev/null
    echo "---" >&2
  fi
}

# Waits up to 20 s for the exact line in the file.
wait_line() {
  tries=0
  while ! grep -qxF "$2" "$1" 2>/dev/null; do
    tries=$((tries + 1))
    [ "$tries" -le 200 ] || return 1
    sleep 0.1
  done
}

# Waits for the process to end and gives its exit status; after 10 s it is
# killed.
wait_exit() {
  (
    n=0
    while [ "$n" -lt 100 ] && kill -0 "$1" 2>/dev/null; do
      n=$((n + 1))
      sleep 0.1
    done
    [ "$n" -lt 100 ] || kill -9 "$1" 2>/dev/null
  ) >/dev/null 2>&1 &
  wait "$1"
}

# Every test suite of the source's data/ (not the engine's own epd1.epd)
# is in folder $2 as shipped; $3 says where that is.
check_suites() {
  for suite in "$1"/data/*.epd; do
    name=${suite##*/}
    [ "$name" = epd1.epd ] && continue
    cmp -s "$suite" "$2/$name" || fail "$3: $name is not data/$name"
  done
}
