#!/bin/sh
# Nodes per second of Brevalt and a peer engine (Fairy-Max by default) on
# the same six positions in one run, and the median ratio; see
# tools/nps-compare.mjs for the method and the options.
#   tools/nps-compare.sh [--brevalt CMD] [--data DIR] [--peer CMD] [--seconds S] [--fen FEN]...
exec node "$(dirname "$0")/nps-compare.mjs" "$@"
