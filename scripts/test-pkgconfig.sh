#!/bin/sh
# The generated zylcv.pc names the real install dirs, with no variable overridden, for the
# libdirs packagers use (lib, lib64, lib/x86_64-linux-gnu) under a home prefix and under /usr,
# and for an absolute libdir. Each case configures the project (nothing is built), puts the .pc
# where an install would and compares what pkg-config answers with the expected directories.
# usage: scripts/test-pkgconfig.sh [SOURCE_DIR]
set -eu
src=$(cd "${1:-$(dirname "$0")/..}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zylcv-pc-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "test-pkgconfig: $*" >&2; exit 1; }

# check PREFIX LIBDIR: configure, place the .pc under $work/root (standing for /), query it.
check() {
  prefix=$1 libdir=$2
  case $libdir in /*) full=$libdir ;; *) full=$prefix/$libdir ;; esac
  b=$work/build
  rm -rf "$b"
  cmake -S "$src" -B "$b" -DZYLCV_BUILD_TESTS=OFF -DZYLCV_BUILD_TOOLS=OFF \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR="$libdir" >"$work/log" 2>&1 ||
    { cat "$work/log"; fail "configure failed for $prefix $libdir"; }
  root=$work/root
  rm -rf "$root"
  mkdir -p "$root$full/pkgconfig" "$root$prefix/include"
  pc=$root$full/pkgconfig
  cp "$b/zylcv.pc" "$pc/zylcv.pc"
  # Absolute dirs inside the .pc are real paths; with a relative .pc they resolve under $root.
  q="env PKG_CONFIG_PATH=$pc pkg-config"
  inc=$($q --variable=includedir zylcv) lib=$($q --variable=libdir zylcv)
  resolve() { (cd "$1" 2>/dev/null && pwd -P) || echo "$1"; }
  got_inc=$(resolve "$inc") got_lib=$(resolve "$lib")
  case $libdir in
    /*) want_inc=$prefix/include want_lib=$libdir ;;
    *) want_inc=$(resolve "$root$prefix/include") want_lib=$(resolve "$root$full") ;;
  esac
  [ "$got_inc" = "$want_inc" ] || fail "$prefix $libdir: includedir $inc, expected $want_inc"
  [ "$got_lib" = "$want_lib" ] || fail "$prefix $libdir: libdir $lib, expected $want_lib"
  flags=$($q --cflags --libs zylcv)
  case " $flags " in *" -I$inc "*) ;; *) fail "$prefix $libdir: cflags '$flags'" ;; esac
  case " $flags " in *" -L$lib -lzylcv "*) ;; *) fail "$prefix $libdir: libs '$flags'" ;; esac
  echo "ok: prefix $prefix, libdir $libdir"
}

for libdir in lib lib64 lib/x86_64-linux-gnu; do
  check /home/user/.local "$libdir"
  check /usr "$libdir"
done
check /opt/zylcv /opt/zylcv/arch/lib
echo "pkg-config test passed"
