#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need and builds the third-party
# libraries for both mingw triples (i686 and x86_64) from Debian source packages into
# .deps/<arch>/ (the SQLite amalgamation, which is source, into .deps/src/sqlite3).
# Idempotent: a library is rebuilt only when its source version changes.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
deps="${QX_DEPS_DIR:-$top/.deps}"
jobs=$(nproc)
log() { printf '[deps] %s\n' "$*"; }

# wine32 and libcups2:i386 install on any host; whether 32-bit code runs is found out later.
packages=(cmake ninja-build make g++ g++-mingw-w64-i686 mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64 mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine32 wine64 libcups2:i386 xvfb xauth x11-utils locales fonts-wqy-zenhei python3 tcl8.6
  dpkg-dev googletest cups printer-driver-cups-pdf poppler-utils imagemagick ca-certificates
  python3-xlrd)

missing=()
for p in "${packages[@]}"; do
  st=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$p" == *:i386 ]] && ! dpkg --print-foreign-architectures | grep -qx i386 && st=""
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
  local name=$1 ver=$2 d="$deps/src/$1-${2//:/_}" lk
  # Both triples may ask at once: one extracts, the other waits.
  mkdir -p "$deps/src"
  exec {lk}> "$d.lock"; flock "$lk"
  if [[ ! -d "$d/tree" ]]; then
    rm -rf "$d"; mkdir -p "$d"
    (cd "$d" && apt-get source -q "$name=$ver" >&2)
    local tree
    tree=$(find "$d" -mindepth 1 -maxdepth 1 -type d | head -n1)
    mv "$tree" "$d/tree"
  fi
  exec {lk}>&-
  echo "$d/tree"
}

# A stamp per library and architecture ("src" for the architecture-free amalgamation).
stamp_file() { echo "$deps/$1/.stamp-$2"; }
stamp_ok() { local f; f=$(stamp_file "$1" "$2"); [[ -f "$f" && "$(cat "$f")" == "$3" ]]; }
stamp_set() { echo "$3" > "$(stamp_file "$1" "$2")"; }

arches=(i686 x86_64)
mkdir -p "$deps/src"
for a in "${arches[@]}"; do mkdir -p "$deps/$a/include" "$deps/$a/lib"; done

need_src=0
for a in "${arches[@]}"; do
  for lib in openssl libjpeg-turbo; do [[ -f "$(stamp_file "$a" "$lib")" ]] || need_src=1; done
done
[[ -f "$(stamp_file src sqlite3)" ]] || need_src=1
if ((need_src)); then ensure_src_entry; fi

# Bump when a library's build options change, so that it is rebuilt.
build_rev=4

build_lib() { # name arch ("src" for the amalgamation)
  local name=$1 arch=$2 ver
  local prefix="$deps/$arch"
  ver=$(src_version "$name")
  [[ -z "$ver" ]] || ver="$ver+r$build_rev"
  if [[ -z "$ver" ]]; then
    if [[ -f "$(stamp_file "$arch" "$name")" ]]; then return; fi
    ensure_src_entry; ver=$(src_version "$name")+r$build_rev
  fi
  if stamp_ok "$arch" "$name" "$ver"; then return; fi
  log "building $name $ver ($arch)"
  local tree; tree=$(fetch_src "$name" "${ver%+r*}")
  case "$name" in
    openssl)
      # Each triple builds in a copy of its own: OpenSSL configures in its source tree.
      local work="$tree.$arch"
      rm -rf "$work"; cp -a "$tree" "$work"
      local target=mingw; [[ "$arch" == x86_64 ]] && target=mingw64
      (cd "$work" && ./Configure "$target" --cross-compile-prefix="$arch-w64-mingw32-" \
          --prefix="$prefix" --libdir=lib \
          no-shared no-asm no-tests no-legacy no-engine no-module no-pinshared >/dev/null &&
        make -j"$jobs" build_libs >/dev/null && make install_dev >/dev/null)
      rm -rf "$work" ;;
    libjpeg-turbo)
      rm -rf "$tree/qx-build-$arch"; mkdir -p "$tree/qx-build-$arch"
      (cd "$tree/qx-build-$arch" && cmake .. -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-$arch.cmake" \
          -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR="$prefix/lib" -DCMAKE_BUILD_TYPE=Release \
          -DENABLE_SHARED=OFF -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF >/dev/null &&
        make -j"$jobs" >/dev/null && make install >/dev/null)
      rm -rf "$tree/qx-build-$arch" ;;
    sqlite3)
      rm -rf "$tree/qx-build"; mkdir -p "$tree/qx-build"
      (cd "$tree/qx-build" && ../configure --disable-tcl >/dev/null && make sqlite3.c >/dev/null &&
        mkdir -p "$deps/src/sqlite3" && cp sqlite3.c sqlite3.h "$deps/src/sqlite3/") ;;
  esac
  stamp_set "$arch" "$name" "$ver"
}

# The two triples build side by side.
pids=()
for a in "${arches[@]}"; do
  ( build_lib openssl "$a" && build_lib libjpeg-turbo "$a" ) &
  pids+=($!)
done
build_lib sqlite3 src
for p in "${pids[@]}"; do wait "$p"; done
log "ready: ${arches[*]/#/$deps/}"
