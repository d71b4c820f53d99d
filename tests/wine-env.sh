# Shell helpers for running the product under Wine, sourced by test scripts.
#
# One initialised template prefix is made per build directory (a first wineboot
# costs about 15 s); each test gets its own copy of it, with the system DLLs hard
# linked, which costs a fraction of a second.

: "${QX_WINE_TEMPLATE:?QX_WINE_TEMPLATE must name the template prefix directory}"

export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win32
# No Mono or Gecko installers, no menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

qx_wine_template() {
  local t=$QX_WINE_TEMPLATE
  [ -f "$t/.qx-ready" ] && return 0
  mkdir -p "$(dirname "$t")"
  (
    flock 9
    [ -f "$t/.qx-ready" ] && exit 0
    rm -rf "$t"
    WINEPREFIX=$t wineboot -i >/dev/null 2>&1
    # Without a window manager every hidden window waits 1 s for a map event.
    WINEPREFIX=$t wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    WINEPREFIX=$t wineserver -w
    touch "$t/.qx-ready"
  ) 9>"$t.lock"
}

# Prints the path of a fresh prefix copied from the template.
qx_new_prefix() {
  qx_wine_template || return 1
  local p
  p=$(mktemp -d "${TMPDIR:-/tmp}/qx-wine.XXXXXX") || return 1
  rmdir "$p"
  mkdir -p "$p"
  local t=$QX_WINE_TEMPLATE
  # System DLLs are never written by the tests: link them. Everything else,
  # the registry above all, is a real copy.
  (cd "$t" && find . -mindepth 1 -maxdepth 1 ! -name drive_c -exec cp -a {} "$p/" \;)
  mkdir -p "$p/drive_c"
  (cd "$t/drive_c" && find . -mindepth 1 -maxdepth 1 ! -name windows -exec cp -a {} "$p/drive_c/" \;)
  cp -al "$t/drive_c/windows" "$p/drive_c/windows"
  echo "$p"
}

qx_end_prefix() {
  local p=$1
  [ -n "$p" ] && [ -d "$p" ] || return 0
  WINEPREFIX=$p wineserver -k >/dev/null 2>&1 || true
  WINEPREFIX=$p wineserver -w >/dev/null 2>&1 || true
  rm -rf "$p"
}

# Runs a Windows program in prefix $1; its exit status is the program's exit
# code modulo 256. Without a display, the program gets its own Xvfb.
qx_wine() {
  local p=$1
  shift
  if [ -n "${DISPLAY:-}" ]; then
    WINEPREFIX=$p wine "$@"
  else
    WINEPREFIX=$p xvfb-run -a wine "$@"
  fi
}
