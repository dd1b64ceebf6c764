# Sourced by the scripts that run Windows programs: a Wine prefix of our own that asks nothing.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# One prefix per checkout: the test command stops its Wine server at the end, which must not stop
# the server of a run in another checkout.
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/wine-prefix"
  export WINEPREFIX
fi
if [ ! -f "$WINEPREFIX/.zorvframekit-ready" ]; then
  mkdir -p "$WINEPREFIX"
  # Tests start in parallel: the first one makes the prefix while the others wait for it.
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.zorvframekit-ready" ]; then
      wineboot -i >/dev/null 2>&1 || true
      wineserver -w || true
      touch "$WINEPREFIX/.zorvframekit-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
