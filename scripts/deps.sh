#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need and builds the
# third-party libraries for i686 mingw from Debian source packages into .deps/.
# Idempotent: a library is rebuilt only when its source version changes.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
deps="${QX_DEPS_DIR:-$top/.deps}"
prefix="$deps/i686"
jobs=$(nproc)
log() { printf '[deps] %s\n' "$*"; }

packages=(cmake ninja-build make g++ g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  wine wine32 xvfb xauth x11-utils locales fonts-wqy-zenhei python3 tcl8.6 dpkg-dev googletest
  cups printer-driver-cups-pdf poppler-utils imagemagick ca-certificates)

missing=()
for p in "${packages[@]}"; do
  st=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$st" == "install ok installed" ]] || missing+=("$p")
done
if ((${#missing[@]})); then
  log "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if ! dpkg --print-foreign-architectures | grep -qx i386; then dpkg --add-architecture i386; fi
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# zh_CN.UTF-8 gives Wine the ANSI code page 936.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN\.utf8$'; then
  log "generating zh_CN.UTF-8"
  localedef -i zh_CN -f UTF-8 zh_CN.UTF-8
fi

# Source packages need a deb-src entry for the release the machine uses.
ensure_src_entry() {
  if apt-get source --print-uris openssl >/dev/null 2>&1; then return; fi
  local f=/etc/apt/sources.list.d/qx-deb-src.sources
  log "adding deb-src entry $f"
  {
    for s in /etc/apt/sources.list.d/*.sources; do
      [[ "$s" == "$f" ]] && continue
      sed -n 's/^Types: *deb *$/Types: deb-src/p; /^URIs:/p; /^Suites:/p; /^Components:/p; /^Signed-By:/p; /^$/p' "$s"
      echo
    done
    if [[ -f /etc/apt/sources.list ]]; then :; fi
  } > "$f"
  if ! grep -q '^Types: deb-src' "$f"; then
    # Classic sources.list only.
    rm -f "$f"
    sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list > /etc/apt/sources.list.d/qx-deb-src.list
  fi
  apt-get update -q
}

src_version() { apt-cache showsrc "$1" 2>/dev/null | sed -n 's/^Version: //p' | head -n1; }

fetch_src() { # name -> prints the extracted source folder
  local name=$1 ver=$2 d="$deps/src/$1-${2//:/_}"
  if [[ ! -d "$d/tree" ]]; then
    rm -rf "$d"; mkdir -p "$d"
    (cd "$d" && apt-get source -q "$name=$ver" >&2)
    local tree
    tree=$(find "$d" -mindepth 1 -maxdepth 1 -type d | head -n1)
    mv "$tree" "$d/tree"
  fi
  echo "$d/tree"
}

stamp_ok() { [[ -f "$prefix/.stamp-$1" && "$(cat "$prefix/.stamp-$1")" == "$2" ]]; }
stamp_set() { echo "$2" > "$prefix/.stamp-$1"; }

mkdir -p "$prefix/include" "$prefix/lib" "$deps/src"

need_src=0
for lib in openssl libjpeg-turbo sqlite3; do
  [[ -f "$prefix/.stamp-$lib" ]] || need_src=1
done
if ((need_src)); then ensure_src_entry; fi

# Bump when a library's build options change, so that it is rebuilt.
build_rev=3

build_lib() { # name
  local name=$1 ver
  ver=$(src_version "$name")
  [[ -z "$ver" ]] || ver="$ver+r$build_rev"
  if [[ -z "$ver" ]]; then
    if [[ -f "$prefix/.stamp-$name" ]]; then return; fi
    ensure_src_entry; ver=$(src_version "$name")+r$build_rev
  fi
  if stamp_ok "$name" "$ver"; then return; fi
  log "building $name $ver"
  local tree; tree=$(fetch_src "$name" "${ver%+r*}")
  case "$name" in
    openssl)
      (cd "$tree" && { make distclean >/dev/null 2>&1 || true; } &&
        ./Configure mingw --cross-compile-prefix=i686-w64-mingw32- --prefix="$prefix" --libdir=lib \
          no-shared no-asm no-tests no-legacy no-engine no-module no-pinshared >/dev/null &&
        make -j"$jobs" build_libs >/dev/null && make install_dev >/dev/null) ;;
    libjpeg-turbo)
      rm -rf "$tree/qx-build"; mkdir -p "$tree/qx-build"
      (cd "$tree/qx-build" && cmake .. -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" \
          -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR="$prefix/lib" -DCMAKE_BUILD_TYPE=Release \
          -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF >/dev/null &&
        make -j"$jobs" >/dev/null && make install >/dev/null) ;;
    sqlite3)
      rm -rf "$tree/qx-build"; mkdir -p "$tree/qx-build"
      (cd "$tree/qx-build" && ../configure --disable-tcl >/dev/null && make sqlite3.c >/dev/null &&
        mkdir -p "$prefix/src/sqlite3" && cp sqlite3.c sqlite3.h "$prefix/src/sqlite3/" &&
        cp sqlite3.h "$prefix/include/") ;;
  esac
  stamp_set "$name" "$ver"
}

build_lib openssl
build_lib libjpeg-turbo
build_lib sqlite3
log "ready: $prefix"
