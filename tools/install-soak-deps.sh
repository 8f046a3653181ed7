#!/bin/sh
# Installs what the long checks need beyond tools/install-deps.sh: the Debian
# engines the soak plays against (Fairy-Max, Phalanx, Sjeng, HoiChess, GNU
# Chess), and xboard under a virtual X server with screenshot tools for
# tools/xboard-game.sh. Skips whatever is already there.
set -e
missing=""
for pkg in fairymax phalanx sjeng hoichess gnuchess xboard xvfb x11-apps netpbm xdotool; do
  dpkg -s "$pkg" >/dev/null 2>&1 || missing="$missing $pkg"
done
if [ -n "$missing" ]; then
  echo "installing:$missing" >&2
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update >&2
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y --no-install-recommends $missing >&2
fi
