#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs, and only those missing.
#   native  compilers, cmake, ninja, pkg-config, GoogleTest, clang-format,
#           SQLite and LMDB for the comparison benchmark, and rsvg-convert
#           (librsvg2-bin) for the tool test that renders a map to PNG
#   win32   mingw-w64 cross compilers for 32-bit Windows, wine, and llvm-14
#           for the import library of Microsoft's linker (llvm-dlltool)
#   fuzz    clang with its libFuzzer and sanitizer runtimes, llvm-symbolizer
#   valgrind  valgrind
# Without arguments native and win32 are installed.
set -euo pipefail

usage() {
  echo "usage: $0 [native] [win32] [fuzz] [valgrind]" >&2
  exit 2
}

native_pkgs=(cmake ninja-build g++ binutils pkgconf libgtest-dev libgmock-dev googletest clang-format
  libsqlite3-dev liblmdb-dev librsvg2-bin)
win32_pkgs=(g++-mingw-w64-i686 binutils-mingw-w64-i686 wine wine32:i386 llvm-14)
# libclang-rt-14-dev holds libclang_rt.fuzzer and the ASan/UBSan runtimes of
# clang 14; llvm-14 the symbolizer for readable sanitizer reports.
fuzz_pkgs=(clang-14 libclang-rt-14-dev llvm-14)
valgrind_pkgs=(valgrind)

sets=("$@")
[ "${#sets[@]}" -gt 0 ] || sets=(native win32)
wanted=()
for set in "${sets[@]}"; do
  case "$set" in
    native) wanted+=("${native_pkgs[@]}") ;;
    win32) wanted+=("${win32_pkgs[@]}") ;;
    fuzz) wanted+=("${fuzz_pkgs[@]}") ;;
    valgrind) wanted+=("${valgrind_pkgs[@]}") ;;
    -h | --help) usage ;;
    *)
      echo "unknown set: $set" >&2
      usage
      ;;
  esac
done

installed() {
  [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = "installed" ]
}

missing=()
for pkg in "${wanted[@]}"; do
  installed "$pkg" || missing+=("$pkg")
done
if [ "${#missing[@]}" -eq 0 ]; then
  echo "install-deps: all packages present (${sets[*]})"
  exit 0
fi
echo "install-deps: installing ${missing[*]}"

SUDO=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || {
    echo "install-deps: need root (or sudo) to install ${missing[*]}" >&2
    exit 1
  }
  SUDO=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive

for pkg in "${missing[@]}"; do
  case "$pkg" in
    *:i386)
      if ! dpkg --print-foreign-architectures | grep -qx i386; then
        "${SUDO[@]}" dpkg --add-architecture i386
      fi
      ;;
  esac
done

# Mirrors fail now and then: try each step a few times.
retry() {
  local n
  for n in 1 2 3; do
    "$@" && return 0
    echo "install-deps: attempt $n failed: $*" >&2
    sleep $((n * 5))
  done
  return 1
}

retry "${SUDO[@]}" apt-get update -q
retry "${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"

for pkg in "${missing[@]}"; do
  installed "$pkg" || {
    echo "install-deps: $pkg is still missing" >&2
    exit 1
  }
done
echo "install-deps: done"
