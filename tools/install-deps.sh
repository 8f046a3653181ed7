#!/bin/sh
# Installs what building and testing Brevalt needs on Debian 12, skipping
# whatever is already there: compiler, CMake, GoogleTest, Google Benchmark,
# Node.js with npm for the independent chess-rules reference and the match
# tool, liblzma for the book tool's compressed game files, and Fairy-Max
# (/usr/games/fairymax) as an opponent in test games, and clang with its
# sanitizer and libFuzzer runtimes for the fuzz targets, and dpkg-dev
# (dpkg-shlibdeps, which names the Debian package's library dependencies)
# and lintian for the test of that package. Further Debian packages named
# as arguments are installed with them.
set -e
missing=""
for pkg in g++ cmake make libgtest-dev libbenchmark-dev liblzma-dev xz-utils fairymax clang libclang-rt-14-dev \
           dpkg-dev lintian "$@"; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing="$missing $pkg"
done
command -v node >/dev/null 2>&1 || missing="$missing nodejs"
command -v npm >/dev/null 2>&1 || missing="$missing npm"
if [ -n "$missing" ]; then
  echo "installing:$missing" >&2
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update >&2
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing >&2
fi
