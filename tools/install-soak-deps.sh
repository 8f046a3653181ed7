#!/bin/sh
# Installs what the long checks need beyond tools/install-deps.sh: the Debian
# engines the soak plays against (Fairy-Max, Phalanx, Sjeng, HoiChess, GNU
# Chess), and xboard under a virtual X server with screenshot tools for
# tools/xboard-game.sh, with PolyGlot and Toga II for the UCI games
# (tools/xboard-polyglot-game.sh, the match tool against a UCI peer), and
# Stockfish, whose own UCI_LimitStrength is the yardstick of the levels
# (tools/level-games.sh), and Ethereal, the second UCI peer of the Chess960 games.
# Skips whatever is already there.
set -e
exec sh "$(dirname "$0")/install-deps.sh" fairymax phalanx sjeng hoichess gnuchess xboard xvfb x11-apps netpbm xdotool polyglot toga2 stockfish ethereal-chess
