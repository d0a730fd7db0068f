#!/usr/bin/env bash
# shellcheck disable=SC2317 # functions are called through run()
# Builds and tests every configuration:
#   format   clang-format check of the sources
#   native   Linux shared library and tests (build/)
#   consumer the native build installed into build/consumer/prefix, and a
#            host project built against it (scripts/check-consumer.sh)
#   asan     the native build with AddressSanitizer and UBSan (build-asan/)
#   win32    32-bit Windows DLL and tests, run under wine (build-win32/)
# Runs all of them even when one fails, prints one result line per
# configuration and exits non-zero when any failed.
# Environment: JOBS (build and test parallelism, default 2), WINEPREFIX
# (default ~/.wine-recbase).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-2}"

bash scripts/install-deps.sh native win32

names=()
results=()
record() {
  names+=("$1")
  results+=("$2")
}

stamp() { date +%s; }
started=$(stamp)

# --- format -----------------------------------------------------------------
check_format() {
  local dirs=() d
  for d in src include tests examples tools bench; do
    [ -d "$d" ] && dirs+=("$d")
  done
  local files=()
  if [ "${#dirs[@]}" -gt 0 ]; then
    mapfile -t files < <(find "${dirs[@]}" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) | sort)
  fi
  echo "clang-format: checking ${#files[@]} files"
  [ "${#files[@]}" -eq 0 ] || clang-format --dry-run --Werror "${files[@]}"
}

# --- one build configuration ------------------------------------------------
build_and_test() {
  local dir="$1"
  shift
  cmake -S . -B "$dir" -G Ninja "$@" &&
    ninja -C "$dir" -j "$JOBS" &&
    (cd "$dir" && ctest --output-on-failure -j "$JOBS")
}

run() {
  local name="$1"
  shift
  local t0 rc=0
  t0=$(stamp)
  echo
  echo "===== $name"
  "$@" || rc=$?
  local secs=$(($(stamp) - t0))
  if [ "$rc" -eq 0 ]; then
    record "$name" "passed (${secs}s)"
  else
    record "$name" "FAILED (exit $rc, ${secs}s)"
  fi
}

# --- wine -------------------------------------------------------------------
# The same environment as cmake/wine-run.sh, which every win32 test goes
# through. One persistent server for the whole run; stopped on exit.
export WINEPREFIX="${WINEPREFIX:-${HOME:-/root}/.wine-recbase}"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=""
wine_started=0
stop_wine() {
  # Only a server this script started, and only this prefix's.
  if [ "$wine_started" -eq 1 ]; then
    wineserver -k >/dev/null 2>&1 || true
  fi
}
trap stop_wine EXIT
trap 'exit 130' INT TERM

prepare_wine() {
  mkdir -p "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "initialising wine prefix $WINEPREFIX"
    export WINEARCH=win32
  fi
  # A server for the whole run (it quits by itself 5 minutes after the last
  # wine program should this script be killed).
  if wineserver -p300 </dev/null >/dev/null 2>&1; then
    wine_started=1
  fi
  # Creates or updates the prefix and starts the session's helper processes,
  # so that the first test does not pay for them. They outlive wineboot, so
  # its output goes to a file rather than to our (maybe piped) output.
  local log rc=0
  log="$(mktemp)"
  cmake/wine-run.sh wineboot -i </dev/null >"$log" 2>&1 || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "wineboot failed (exit $rc):"
    cat "$log"
  fi
  rm -f "$log"
  return "$rc"
}

win32() {
  prepare_wine && build_and_test build-win32 -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake"
}

run format check_format
run native build_and_test build
run consumer bash scripts/check-consumer.sh build
run asan build_and_test build-asan -DRECBASE_SANITIZE=ON
run win32 win32

echo
echo "===== results ($(($(stamp) - started))s)"
failed=0
for i in "${!names[@]}"; do
  printf '%-8s %s\n' "${names[$i]}" "${results[$i]}"
  case "${results[$i]}" in FAILED*) failed=1 ;; esac
done
exit "$failed"
