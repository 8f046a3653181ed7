# Sourced by the scripts that run the Windows programs under Wine, with
# $root set to the top of the source tree. Sets $wine to the program that
# runs a 64-bit Windows program (empty when Wine is not installed) and
# exports the project's own Wine prefix, made on first use: no dialogs (no
# Mono or Gecko installers), no debug chatter on standard error.
#
# Debian's wine command runs 64-bit programs through wine64 and says on
# standard error that wine32 is missing when it is; the tests compare
# standard error too, so wine64 is called directly where it exists.
wine=""
for candidate in /usr/lib/wine/wine64 wine64 wine; do
  if command -v "$candidate" >/dev/null 2>&1; then
    wine=$(command -v "$candidate")
    break
  fi
done
WINEPREFIX=$root/build-windows/wineprefix
WINEDEBUG=-all
WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX WINEDEBUG WINEDLLOVERRIDES
if [ -n "$wine" ] && [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "wine-env: making the Wine prefix $WINEPREFIX" >&2
  mkdir -p "$root/build-windows"
  "$wine" wineboot --init >/dev/null 2>&1 || true
  wineserver -w 2>/dev/null || true
fi
