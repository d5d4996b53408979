# Sourced by the scripts that run programs under Wine.
# qx_wine_setup PREFIX [win32|win64]: exports the environment for PREFIX (a 32-bit or a 64-bit
# prefix, win32 by default), starts a private Xvfb when no display is given, initialises the
# prefix once and keeps a wineserver running for it.
# qx_host_runs_win32: true when this host executes 32-bit x86 code (wine32 can start).

qx_here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

qx_start_xvfb() {
  local state="$1.display" n pid
  if [[ -f "$state" ]]; then
    read -r n pid < "$state" || true
    if [[ -n "${pid:-}" ]] && kill -0 "$pid" 2>/dev/null && [[ -S /tmp/.X11-unix/X$n ]]; then
      export DISPLAY=":$n"; return
    fi
  fi
  for n in $(seq 90 189); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    setsid Xvfb ":$n" -nolisten tcp -screen 0 1280x1024x24 >/dev/null 2>&1 < /dev/null &
    pid=$!
    for _ in $(seq 100); do
      [[ -S /tmp/.X11-unix/X$n ]] && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    if [[ -S /tmp/.X11-unix/X$n ]]; then
      echo "$n $pid" > "$state"
      export DISPLAY=":$n"; return
    fi
  done
  echo "wine-env: could not start Xvfb" >&2
  return 1
}

qx_init_prefix() {
  local reg=(
    'HKCU\Software\Wine\X11 Driver|Managed|REG_SZ|N'
    'HKCU\Software\Wine\X11 Driver|Decorated|REG_SZ|N'
    'HKCU\Software\Wine\Fonts\Replacements|宋体|REG_SZ|WenQuanYi Zen Hei'
    'HKCU\Software\Wine\Fonts\Replacements|SimSun|REG_SZ|WenQuanYi Zen Hei'
    'HKCU\Software\Wine\Fonts\Replacements|华文新魏|REG_SZ|WenQuanYi Zen Hei'
    'HKCU\Software\Wine\Fonts\Replacements|STXinwei|REG_SZ|WenQuanYi Zen Hei'
    'HKCU\Software\Wine\Fonts\Replacements|楷体_GB2312|REG_SZ|WenQuanYi Zen Hei'
    'HKCU\Software\Wine\Fonts\Replacements|黑体|REG_SZ|WenQuanYi Zen Hei'
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink|MS Sans Serif|REG_MULTI_SZ|wqy-zenhei.ttc,WenQuanYi Zen Hei'
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink|MS Shell Dlg|REG_MULTI_SZ|wqy-zenhei.ttc,WenQuanYi Zen Hei'
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink|Tahoma|REG_MULTI_SZ|wqy-zenhei.ttc,WenQuanYi Zen Hei'
  )
  WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >/dev/null 2>&1
  local e key val type data
  for e in "${reg[@]}"; do
    IFS='|' read -r key val type data <<< "$e"
    wine reg add "$key" /v "$val" /t "$type" /d "$data" /f </dev/null >/dev/null 2>&1
  done
  wineserver -w </dev/null >/dev/null 2>&1
}

qx_host_runs_win32() {
  # Executing the 32-bit loader is the only sure test: the kernel may carry IA-32 support
  # and still refuse 32-bit code at run time.
  [[ -x /usr/lib/wine/wine ]] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

# qx_host_win_build: the Windows build to run here: win32 (the shipped one) where the host
# executes it, else win64. qx_win_toolchain BUILD: its CMake toolchain file.
qx_host_win_build() { if qx_host_runs_win32; then echo win32; else echo win64; fi; }
qx_win_toolchain() {
  case "$1" in
    win32) echo "$qx_here/../cmake/mingw-i686.cmake" ;;
    win64) echo "$qx_here/../cmake/mingw-x86_64.cmake" ;;
  esac
}

# qx_configure_win DIR BUILD [CMAKE ARGS...]: configures the Windows build BUILD in DIR. The
# tool chain is named only when DIR is new: CMake reads it at the first configure alone and
# warns that it went unused when it is given again.
qx_configure_win() {
  local dir=$1 win=$2
  shift 2
  local args=(-S "$qx_here/.." -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo)
  [[ -f "$dir/CMakeCache.txt" ]] || args+=(-DCMAKE_TOOLCHAIN_FILE="$(qx_win_toolchain "$win")")
  cmake "${args[@]}" "$@" >/dev/null
}

# Debian's wine and wine-stable pick the 32-bit loader whenever wine32 is installed, and the
# tool launchers (wineboot, winepath, ...) go through wine-stable: for a 64-bit prefix both
# names are shadowed by the 64-bit loader.
qx_use_wine64() {
  local bin=$1
  mkdir -p "$bin"
  local n
  for n in wine wine-stable; do
    if [[ ! -x "$bin/$n" ]]; then
      printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' > "$bin/$n.tmp"
      chmod +x "$bin/$n.tmp"; mv -f "$bin/$n.tmp" "$bin/$n"
    fi
  done
  case ":$PATH:" in *":$bin:"*) ;; *) export PATH="$bin:$PATH" ;; esac
  export WINELOADER=/usr/lib/wine/wine64
}

qx_wine_setup() {
  local prefix=$1 arch=${2:-win32}
  mkdir -p "$(dirname "$prefix")"
  prefix="$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")"  # Wine wants it absolute
  export WINEPREFIX="$prefix" WINEARCH=$arch
  if [[ "$arch" == win64 ]]; then qx_use_wine64 "$prefix.bin"; fi
  export WINEDEBUG="${WINEDEBUG:--all}"
  export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
  if [[ -z "${DISPLAY:-}" ]]; then
    exec 9> "$prefix.xlock"; flock 9
    qx_start_xvfb "$prefix"
    flock -u 9; exec 9>&-
  fi
  if [[ ! -f "$prefix/.qx-ready" ]]; then
    exec 8> "$prefix.lock"; flock 8
    if [[ ! -f "$prefix/.qx-ready" ]]; then
      rm -rf "$prefix"
      qx_init_prefix
      # The booting server may linger a moment; start the persistent one here, detached.
      qx_start_server
      touch "$prefix/.qx-ready"
    fi
    flock -u 8; exec 8>&-
  fi
  # A persistent server keeps later program starts at about a quarter second. The services
  # that the first program of a server starts would inherit that program's output pipes and
  # hold them open (CTest would then wait for them), so they are started here, detached.
  if ! qx_server_running "$prefix"; then
    exec 7> "$prefix.srvlock"; flock 7
    qx_server_running "$prefix" || qx_start_server
    flock -u 7; exec 7>&-
  fi
}

qx_start_server() {
  wineserver -p </dev/null >/dev/null 2>&1 7>&- 8>&- 9>&- || true
  setsid wine wineboot </dev/null >/dev/null 2>&1 7>&- 8>&- 9>&- || true
}

qx_server_running() {
  local d i
  d=$(printf '%x' "$(stat -c %d "$1")") i=$(printf '%x' "$(stat -c %i "$1")")
  local s
  for s in /tmp/.wine-"$(id -u)"/server-"$d-$i"/socket /tmp/wine-*/server-"$d-$i"/socket; do
    [[ -S "$s" ]] && return 0
  done
  return 1
}
