#!/usr/bin/env bash
# Installs a built recbase (default build/) into a scratch prefix under the
# build directory, checks what was installed, then builds the host project
# tests/consumer against that prefix twice, through find_package(recbase)
# and through pkg-config, and runs both programs.
#   usage: scripts/check-consumer.sh [build-dir]
# Environment: JOBS (build parallelism, default 2).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-2}"
BUILD="$(cd "${1:-build}" && pwd)"
WORK="$BUILD/consumer"
PREFIX="$WORK/prefix"

rm -rf "$WORK"
mkdir -p "$WORK"
cmake --install "$BUILD" --prefix "$PREFIX"

# What an installation holds: the header, the library, the CMake package
# and recbase.pc; nothing of the tests, examples or benchmarks.
libdir=""
for d in lib lib64 lib/*-linux-gnu; do
  if [ -f "$PREFIX/$d/pkgconfig/recbase.pc" ]; then
    libdir="$d"
    break
  fi
done
[ -n "$libdir" ] || {
  echo "check-consumer: no recbase.pc installed" >&2
  exit 1
}
expected=(
  include/recbase.h
  "$libdir/librecbase.so"
  "$libdir/cmake/recbase/recbaseConfig.cmake"
  "$libdir/cmake/recbase/recbaseConfigVersion.cmake"
  "$libdir/cmake/recbase/recbaseTargets.cmake"
  "$libdir/pkgconfig/recbase.pc"
  bin/recbase
  share/doc/recbase/README.md
  share/doc/recbase/guide.md
)
for f in "${expected[@]}"; do
  [ -e "$PREFIX/$f" ] || {
    echo "check-consumer: $f not installed" >&2
    exit 1
  }
done
soname="$(objdump -p "$PREFIX/$libdir/librecbase.so" | awk '$1 == "SONAME" {print $2}')"
if [ -z "$soname" ] || [ ! -e "$PREFIX/$libdir/$soname" ]; then
  echo "check-consumer: library has no installed soname (${soname:-none})" >&2
  exit 1
fi
stray="$(find "$PREFIX" -type f | grep -Ei 'gtest|gmock|testing|testkit|example|bench' || true)"
[ -z "$stray" ] || {
  echo "check-consumer: test or example parts installed:" >&2
  echo "$stray" >&2
  exit 1
}
"$PREFIX/bin/recbase" --version >/dev/null || {
  echo "check-consumer: the installed tool does not run" >&2
  exit 1
}
echo "check-consumer: installation complete ($soname)"

consume() {
  local how="$1" dir="$WORK/$1"
  shift
  echo "check-consumer: building tests/consumer through $how"
  env "$@" cmake -S tests/consumer -B "$dir/build" -G Ninja -DRECBASE_FIND="$how" &&
    ninja -C "$dir/build" -j "$JOBS" &&
    mkdir -p "$dir/run" &&
    (cd "$dir/run" && "$dir/build/consumer")
}

# Only the scratch prefix is searched: no other recbase can stand in.
consume package CMAKE_PREFIX_PATH="$PREFIX" recbase_DIR="$PREFIX/$libdir/cmake/recbase"
consume pkg-config PKG_CONFIG_PATH="$PREFIX/$libdir/pkgconfig"
echo "check-consumer: both ways passed"
