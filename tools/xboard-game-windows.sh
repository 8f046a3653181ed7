#!/bin/sh
# Plays one game of the Windows engine (build-windows/brevalt.exe) under
# Wine in xboard against Fairy-Max, as tools/xboard-game.sh does for the
# Linux engine, and saves docs/xboard-game-windows.pgn and .png (or into the
# folder given). xboard talks to the engine through pipes, so the game
# exercises the Windows engine's pipe polling: brevalt-pipe-relay.exe puts
# the engine's input on a Windows pipe, as WinBoard makes it (Wine does not
# support the pipe query on the Unix pipe xboard hands it). The same
# environment settings as tools/xboard-game.sh apply.
#
# Usage: tools/xboard-game-windows.sh [OUT_DIR]
# Needs tools/build-windows.sh first, Wine and what tools/xboard-game.sh needs.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
if [ ! -f "$root/build-windows/brevalt.exe" ] || [ ! -f "$root/build-windows/brevalt-pipe-relay.exe" ]; then
  echo "xboard-game-windows: build-windows/brevalt.exe is not built (tools/build-windows.sh)" >&2
  exit 2
fi
. "$root/tools/windows/wine-env.sh"
if [ -z "$wine" ]; then
  echo "xboard-game-windows: Wine is not installed (tools/install-deps.sh wine wine64)" >&2
  exit 2
fi
XBOARD_GAME_ENGINE="$wine $root/build-windows/brevalt-pipe-relay.exe $root/build-windows/brevalt.exe" XBOARD_GAME_NAME=${XBOARD_GAME_NAME:-xboard-game-windows} \
  exec sh "$root/tools/xboard-game.sh" "$@"
