# What the scripts that run xboard on a virtual X server share
# (tools/xboard-game.sh, tools/xboard-analysis.sh): the temporary folder and
# its clean-up, the X server, and the screenshot of the board with the engine
# output window beside it. Sourced, not run. The caller sets `script` (its
# name in messages), `keep` (1 keeps the folder after a pass) and
# `keep_note` (what the folder holds), then calls xboard_setup; once xboard
# runs, it puts its process id in `xboard_pid`.

# Makes the temporary folder `tmp` and has it cleaned up, with xboard and
# the X server, however the script ends.
xboard_setup() {
  tmp=$(mktemp -d "${TMPDIR:-/tmp}/$script.XXXXXX") || exit 2
  xvfb_pid=""
  xboard_pid=""
  trap xboard_cleanup EXIT
  trap 'exit 129' HUP
  trap 'exit 130' INT
  trap 'exit 143' TERM
}

xboard_cleanup() {
  status=$?
  # xboard leads its own process group, which holds the engines too.
  if [ -n "$xboard_pid" ]; then
    kill -TERM "-$xboard_pid" 2>/dev/null
    n=0
    while [ "$n" -lt 50 ] && kill -0 "-$xboard_pid" 2>/dev/null; do
      n=$((n + 1))
      sleep 0.1
    done
    kill -KILL "-$xboard_pid" 2>/dev/null
  fi
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  if [ "$status" -ne 0 ] || [ "$keep" = 1 ]; then
    echo "$script: $keep_note are in $tmp" >&2
  else
    rm -rf "$tmp"
  fi
  exit "$status"
}

# Starts the X server and sets DISPLAY. Xvfb picks a free display itself
# and writes its number once it is ready.
xboard_start_xvfb() {
  Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp -br 5>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
  xvfb_pid=$!
  n=0
  while [ ! -s "$tmp/display" ]; do
    n=$((n + 1))
    if [ "$n" -gt 100 ] || ! kill -0 "$xvfb_pid" 2>/dev/null; then
      echo "$script: Xvfb did not start" >&2
      cat "$tmp/xvfb.log" >&2
      exit 1
    fi
    sleep 0.1
  done
  DISPLAY=:$(cat "$tmp/display")
  export DISPLAY
}

# xboard_screenshot MAIN_TITLE OUTPUT_WIDTH PNG: the engine output window
# opens over the board (there is no window manager to place it); it goes to
# the board's right, OUTPUT_WIDTH wide and as tall as the board, and the
# two are written to PNG. MAIN_TITLE is a pattern of the main window's title.
xboard_screenshot() {
  main=$(xdotool search --name "$1" | head -n 1)
  output=$(xdotool search --name '^Engine [Oo]utput$' | head -n 1)
  if [ -z "$main" ] || [ -z "$output" ]; then
    echo "$script: FAILED: xboard's windows were not found" >&2
    exit 1
  fi
  eval "$(xdotool getwindowgeometry --shell "$main")"
  board_width=$WIDTH
  board_height=$HEIGHT
  xdotool windowmove "$output" "$board_width" 0 windowsize "$output" "$2" "$board_height"
  # The window redraws at its new size.
  sleep 1.5
  if ! xwd -root -silent | xwdtopnm 2>/dev/null |
    pamcut -left 0 -top 0 -width $((board_width + $2)) -height "$board_height" |
    pnmtopng >"$3" 2>/dev/null || [ ! -s "$3" ]; then
    echo "$script: FAILED: no screenshot" >&2
    exit 1
  fi
}
