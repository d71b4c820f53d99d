# Shell helpers for running the product under Wine, sourced by test scripts.
#
# One initialised template prefix is made per build directory (a first wineboot
# costs about 15 s) for each Wine version and Wine user; each test gets its own
# copy of it, with the system DLLs hard linked, which costs a fraction of a second.

: "${QX_WINE_TEMPLATE:?QX_WINE_TEMPLATE must name the template prefix directory}"

# A kernel booted with 32-bit emulation off cannot start Wine's i386 loader,
# unless scripts/setup has registered qemu's user-mode emulator for it; without
# either, the product cannot run on this machine and its Wine tests skip (77).
if ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
  echo "SKIPPED: this kernel runs no i386 programs (32-bit emulation is off) and no emulator" \
    "is registered for them, so Wine cannot run the product; scripts/setup registers one" >&2
  exit 77
fi

# How many times longer than usual a Wine program may take (emulated i386, say).
QX_WINE_SLOWDOWN=${QX_WINE_SLOWDOWN:-1}

export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win32
# No Mono or Gecko installers, no menu entries.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

# Root ignores the read-only attribute (Wine maps it to Unix permissions), so
# as root every Wine program runs as the unprivileged user qxwine instead.
QX_WINE_USER=
if [ "$(id -u)" -eq 0 ]; then
  QX_WINE_USER=qxwine
  # Parallel tests would race to create the user; the loser's useradd fails.
  (
    flock 9
    id -u "$QX_WINE_USER" >/dev/null 2>&1 ||
      useradd --system --no-create-home --shell /usr/sbin/nologin "$QX_WINE_USER"
  ) 9>/tmp/qx-wine-user.lock
fi

# Whether the Wine user can read every path given (and enter it, for a folder).
# Only root runs Wine as another user; anyone else reads what they can.
qx_wine_user_reads() {
  [ -n "$QX_WINE_USER" ] || return 0
  runuser -u "$QX_WINE_USER" -- sh -c \
    'for p; do [ -r "$p" ] && { [ ! -d "$p" ] || [ -x "$p" ]; } || exit 1; done' sh "$@"
}

# The Wine user cannot reach a checkout where one of its folders is closed to
# others (/root, a folder made by mktemp -d). Paths there that a Wine command
# names are handed to it as copies inside the prefix, hard linked: the program
# `wine` starts with its whole folder (programs read files beside themselves,
# unit_tests.exe its version_exes/) unless that folder is large (a home
# folder), any other existing path alone. Sets QX_WINE_ARGS to the command
# with those paths replaced.
qx_reachable_args() {
  QX_WINE_ARGS=("$@")
  [ -n "$QX_WINE_USER" ] || return 0
  local prefix="" start="" i a copy entries
  for ((i = 0; i < ${#QX_WINE_ARGS[@]}; i++)); do
    a=${QX_WINE_ARGS[i]}
    case $a in
      WINEPREFIX=*) [ -n "$start" ] || prefix=${a#WINEPREFIX=} ;;
      wine | */wine) [ -n "$start" ] || start=$((i + 1)) ;;
    esac
  done
  [ -n "$prefix" ] && [ -n "$start" ] || return 0
  for ((i = start; i < ${#QX_WINE_ARGS[@]}; i++)); do
    a=${QX_WINE_ARGS[i]}
    case $a in /*) ;; *) continue ;; esac
    [ -e "$a" ] && ! qx_wine_user_reads "$a" || continue
    entries=0
    if [ "$i" -eq "$start" ]; then
      entries=$( (find "$(dirname "$a")" 2>/dev/null || :) | head -n 2001 | wc -l)
    fi
    if [ "$entries" -gt 0 ] && [ "$entries" -le 2000 ]; then
      copy=$(qx_stage "$prefix" "$(dirname "$a")") || return 1
      QX_WINE_ARGS[i]=$copy/${a##*/}
    else
      QX_WINE_ARGS[i]=$(qx_stage "$prefix" "$a") || return 1
    fi
  done
}

# qx_stage PREFIX PATH: prints the path of a copy of PATH in PREFIX/qx-staged,
# hard linked where it can be. The copies stay root's (qx_own_prefix leaves
# them alone): the Wine user reads them and cannot change the originals.
qx_stage() {
  local d
  mkdir -p "$1/qx-staged" && chmod 755 "$1/qx-staged" &&
    d=$(mktemp -d "$1/qx-staged/XXXXXX") && chmod 755 "$d" || return 1
  cp -al "$2" "$d/" 2>/dev/null || { rm -rf "$d/${2##*/}" && cp -a "$2" "$d/"; } || {
    echo "wine-env: cannot copy $2 where the Wine user $QX_WINE_USER can read it" >&2
    return 1
  }
  echo "$d/${2##*/}"
}

# Runs a command as the Wine user with the Wine environment, from the current
# folder, or from / where the Wine user cannot enter that (Wine would warn).
qx_as_wine_user() {
  if [ -z "$QX_WINE_USER" ]; then
    "$@"
    return
  fi
  qx_reachable_args "$@" || return 125
  local dir=$PWD
  qx_wine_user_reads "$dir" || dir=/
  (cd "$dir" && runuser -u "$QX_WINE_USER" -- env HOME="${TMPDIR:-/tmp}" LANG="$LANG" \
    LC_ALL="$LC_ALL" WINEDEBUG="$WINEDEBUG" WINEARCH="$WINEARCH" \
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES" "${QX_WINE_ARGS[@]}")
}

# Hands files that a test script put into a prefix to the Wine user.
qx_own_prefix() {
  local p=$1
  [ -n "$QX_WINE_USER" ] || return 0
  find "$p" \( -path "$p/drive_c/windows" -o -path "$p/qx-staged" \) -prune -o \
    ! -user "$QX_WINE_USER" -exec chown -h "$QX_WINE_USER:" {} + 2>/dev/null
  return 0
}

# The template is made again when Wine or the Wine user changes: a prefix that
# an older Wine made is updated, slowly, by every program that starts in it.
QX_WINE_KEY="$(wine --version 2>/dev/null) for ${QX_WINE_USER:-$(id -un)}"

# The template's folder: QX_WINE_TEMPLATE, unless the Wine user cannot reach
# that (a build tree inside a closed folder); then one in TMPDIR for it.
qx_template_dir() {
  local t=$QX_WINE_TEMPLATE
  mkdir -p "$(dirname "$t")" || return 1
  if ! qx_wine_user_reads "$(dirname "$t")"; then
    t=${TMPDIR:-/tmp}/qx-wine-template.$(printf '%s' "$t" | md5sum | cut -c1-12)
  fi
  echo "$t"
}

qx_wine_template() {
  local t=$1
  [ "$(cat "$t/.qx-ready" 2>/dev/null)" = "$QX_WINE_KEY" ] && return 0
  (
    flock 9
    [ "$(cat "$t/.qx-ready" 2>/dev/null)" = "$QX_WINE_KEY" ] && exit 0
    cd / || exit 1
    rm -rf "$t"
    mkdir -p "$t"
    [ -z "$QX_WINE_USER" ] || chown "$QX_WINE_USER:" "$t"
    qx_as_wine_user env WINEPREFIX="$t" wineboot -i >/dev/null 2>&1
    # Without a window manager every hidden window waits 1 s for a map event.
    qx_as_wine_user env WINEPREFIX="$t" wine reg add 'HKCU\Software\Wine\X11 Driver' \
      /v Managed /d N /f >/dev/null 2>&1
    qx_as_wine_user env WINEPREFIX="$t" wineserver -w
    if [ ! -f "$t/system.reg" ] || [ ! -d "$t/drive_c/windows" ]; then
      echo "wine-env: wineboot made no Wine prefix in $t" >&2
      exit 1
    fi
    printf '%s\n' "$QX_WINE_KEY" >"$t/.qx-ready"
  ) 9>"$t.lock"
}

# Prints the path of a fresh prefix copied from the template.
qx_new_prefix() {
  local t p
  t=$(qx_template_dir) && qx_wine_template "$t" || return 1
  p=$(mktemp -d "${TMPDIR:-/tmp}/qx-wine.XXXXXX") || return 1
  rmdir "$p"
  mkdir -p "$p"
  if ! qx_wine_user_reads "$p"; then
    echo "wine-env: the Wine user $QX_WINE_USER cannot reach $p; set TMPDIR to a folder it can" >&2
    rm -rf "$p"
    return 1
  fi
  # System DLLs are never written by the tests: link them. Everything else,
  # the registry above all, is a real copy.
  (cd "$t" && find . -mindepth 1 -maxdepth 1 ! -name drive_c -exec cp -a {} "$p/" \;)
  mkdir -p "$p/drive_c"
  (cd "$t/drive_c" && find . -mindepth 1 -maxdepth 1 ! -name windows -exec cp -a {} "$p/drive_c/" \;)
  cp -al "$t/drive_c/windows" "$p/drive_c/windows"
  [ -z "$QX_WINE_USER" ] || chown "$QX_WINE_USER:" "$p" "$p/drive_c"
  echo "$p"
}

qx_end_prefix() {
  local p=$1
  [ -n "$p" ] && [ -d "$p" ] || return 0
  qx_as_wine_user env WINEPREFIX="$p" wineserver -k >/dev/null 2>&1 || true
  qx_as_wine_user env WINEPREFIX="$p" wineserver -w >/dev/null 2>&1 || true
  rm -rf "$p"
}

# Runs "$@" with DISPLAY on an Xvfb of its own, stopped when "$@" ends. With
# -displayfd the server takes the first free display itself, by binding its
# socket, so parallel runs cannot meet on one as xvfb-run -a's guesses can.
QX_WITH_DISPLAY='
exec 4< <(exec Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>&1 >/dev/null 2>&1)
xvfb=$!
trap "kill \$xvfb 2>/dev/null; wait \$xvfb 2>/dev/null" EXIT
trap "exit 143" HUP INT TERM
read -r display <&4 || { echo "wine-env: Xvfb did not start" >&2; exit 125; }
exec 4<&-
DISPLAY=:$display "$@"'

# Runs a Windows program in prefix $1; its exit status is the program's exit
# code modulo 256. Each run gets its own Xvfb (the Wine user cannot reach the
# caller's display).
qx_wine() {
  local p=$1
  shift
  qx_own_prefix "$p"
  qx_as_wine_user env WINEPREFIX="$p" bash -c "$QX_WITH_DISPLAY" qx-display wine "$@"
}
