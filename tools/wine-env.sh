# Sourced by the scripts that run programs under Wine: a prefix of the
# caller's own under build/ (never the user's), quiet, without the Mono and
# Gecko installers, and code page 932 unless the caller chose a locale.
# Usage: . tools/wine-env.sh PREFIX_DIR
export WINEPREFIX="$(realpath -m "$1")"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LANG="${LANG_FOR_WINE:-ja_JP.UTF-8}"
unset DISPLAY

wine_prefix_up() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1
  fi
  wineserver -p 2>/dev/null || true  # already running after wineboot
}

wine_prefix_down() {
  wineserver -k 2>/dev/null || true
}

# The Windows spelling of a Unix path, through Wine's Z: drive.
winpath() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }
