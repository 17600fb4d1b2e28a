#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the peers need, only
# when they are missing, then configures the Ninja build tree (incremental).
#
#   scripts/bootstrap.sh [--with-interop] [--with-bench] [--build-dir DIR] [--preset NAME]
#
# Safe to run again and again: apt is only touched when something is missing.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build_dir="$root/build"
preset=default
want_interop=0
want_bench=0
while [ $# -gt 0 ]; do
  case "$1" in
    --with-interop) want_interop=1 ;;
    --with-bench) want_bench=1 ;;
    --build-dir) build_dir=$2; shift ;;
    --preset) preset=$2; shift ;;
    *) echo "bootstrap: unknown argument '$1'" >&2; exit 2 ;;
  esac
  shift
done

packages=(cmake ninja-build g++ make pkg-config libgtest-dev libgmock-dev libbenchmark-dev
          libpugixml-dev libncurses-dev libsrtp2-dev)
[ "$want_interop" = 1 ] && packages+=(ffmpeg gstreamer1.0-tools gstreamer1.0-plugins-good
                                      gstreamer1.0-plugins-base gstreamer1.0-plugins-bad tshark tmux python3
                                      python3-gst-1.0 gir1.2-gstreamer-1.0)
[ "$want_bench" = 1 ] && packages+=(libortp-dev valgrind liburing-dev)
[ "$preset" = asan ] || [ "$preset" = tsan ] || [ "$preset" = fuzz ] && packages+=(clang libclang-rt-14-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "bootstrap: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" > /tmp/zq-apt.log 2>&1 ||
    { cat /tmp/zq-apt.log; exit 1; }
fi

cmake_args=(-G Ninja -S "$root" -B "$build_dir")
case "$preset" in
  default) cmake_args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan) cmake_args+=(-DCMAKE_BUILD_TYPE=Debug -DZQ_SANITIZE=address) ;;
  tsan) cmake_args+=(-DCMAKE_BUILD_TYPE=Debug -DZQ_SANITIZE=thread) ;;
  fuzz) cmake_args+=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DZQ_SANITIZE=fuzzer
                     -DZQ_FUZZ=ON -DZQ_BUILD_BENCH=OFF) ;;
  *) echo "bootstrap: unknown preset '$preset'" >&2; exit 2 ;;
esac
# The configure step's lines go to a log, shown only when it fails: `make
# demo` then shows the demo alone.
if [ ! -f "$build_dir/build.ninja" ]; then
  mkdir -p "$build_dir"
  cmake "${cmake_args[@]}" > "$build_dir/configure.log" 2>&1 || { cat "$build_dir/configure.log"; exit 1; }
fi
