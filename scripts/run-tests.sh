#!/usr/bin/env bash
# shellcheck disable=SC2317 # functions are called through run()
# Builds and tests every configuration:
#   format   clang-format check of the sources, and the layering of src/
#            (scripts/check-layers.sh)
#   native   Linux shared library and tests (build/)
#   consumer the native build installed into build/consumer/prefix, and a
#            host project built against it (scripts/check-consumer.sh)
#   asan     the native build with AddressSanitizer and UBSan (build-asan/)
#   valgrind the native tests, example and seed generator of a plain -O1 -g
#            build under valgrind's memcheck (build-valgrind/)
#   fuzz     the open fuzzer (clang, libFuzzer, ASan, UBSan): its seeds and
#            regressions replayed, then FUZZ_SECONDS (60) of fuzzing
#            (build-fuzz/)
#   win32    32-bit Windows DLL and tests of the shipped Release build, run
#            under wine (build-win32/)
# Runs all of them even when one fails, prints one result line per
# configuration and exits non-zero when any failed.
# Environment: JOBS (build and test parallelism, default 2), WINEPREFIX
# (default ~/.wine-recbase), FUZZ_SECONDS (default 60).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"
JOBS="${JOBS:-2}"
FUZZ_SECONDS="${FUZZ_SECONDS:-60}"

bash scripts/install-deps.sh native win32 fuzz valgrind

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
  for d in src include tests examples tools bench fuzz; do
    [ -d "$d" ] && dirs+=("$d")
  done
  local files=()
  if [ "${#dirs[@]}" -gt 0 ]; then
    mapfile -t files < <(find "${dirs[@]}" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) | sort)
  fi
  echo "clang-format: checking ${#files[@]} files"
  [ "${#files[@]}" -eq 0 ] || clang-format --dry-run --Werror "${files[@]}" || return 1
  bash scripts/check-layers.sh
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

# --- valgrind ---------------------------------------------------------------
# One program under memcheck in its working directory; prints the test
# summary and memcheck's findings, the whole output when it fails.
under_valgrind() {
  local work="$1" rc=0 log t0
  shift
  log="$(mktemp)"
  t0=$(stamp)
  mkdir -p "$work"
  (cd "$work" && valgrind -q --error-exitcode=99 --leak-check=full "$@") >"$log" 2>&1 || rc=$?
  echo "$(basename "$1"): exit $rc, $(($(stamp) - t0))s"
  grep -E '^\[  (PASSED|FAILED) |^==[0-9]+==' "$log" || true
  [ "$rc" -eq 0 ] || tail -n 80 "$log"
  rm -f "$log"
  return "$rc"
}

valgrind_tests() {
  local dir=build-valgrind failed=0 area
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None -DCMAKE_C_FLAGS="-O1 -g" \
    -DCMAKE_CXX_FLAGS="-O1 -g" &&
    ninja -C "$dir" -j "$JOBS" || return 1
  for area in frame file records sections dump; do
    under_valgrind "$dir/testwork/$area" "$ROOT/$dir/test_$area" || failed=1
  done
  under_valgrind "$dir/testwork/c_api" "$ROOT/$dir/test_c_api" || failed=1
  under_valgrind "$dir/testwork/example" "$ROOT/$dir/recbase_example" || failed=1
  under_valgrind "$dir/testwork/seeds" "$ROOT/$dir/recbase_seeds" . || failed=1
  return "$failed"
}

# --- fuzz -------------------------------------------------------------------
# Fuzzes from the committed seeds and regressions into a fresh corpus; any
# crash, leak, timeout (10 s per input) or sanitizer report fails the run
# and leaves the input in build-fuzz/fuzz-artifacts/.
fuzz() {
  local dir=build-fuzz rc=0
  cmake -S . -B "$dir" -G Ninja -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DRECBASE_FUZZ=ON -DRECBASE_TESTS=OFF &&
    ninja -C "$dir" -j "$JOBS" open_fuzzer &&
    (cd "$dir" && ctest --output-on-failure --no-tests=error) || return 1
  local corpus="$dir/fuzz-corpus" artifacts="$ROOT/$dir/fuzz-artifacts" log="$dir/fuzz.log"
  rm -rf "$corpus" "$artifacts"
  mkdir -p "$corpus" "$artifacts"
  UBSAN_OPTIONS=print_stacktrace=1 "$dir/open_fuzzer" -max_total_time="$FUZZ_SECONDS" \
    -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$corpus" fuzz/corpus fuzz/regressions >"$log" 2>&1 || rc=$?
  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::|^Done ' "$log" || true
  echo "fuzz: $(find "$corpus" -type f | wc -l) inputs added to the corpus"
  if [ "$rc" -ne 0 ]; then
    tail -n 80 "$log"
    ls -l "$artifacts"
  fi
  return "$rc"
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
  prepare_wine && build_and_test build-win32 -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake"
}

run format check_format
run native build_and_test build
run consumer bash scripts/check-consumer.sh build
run asan build_and_test build-asan -DRECBASE_SANITIZE=ON
run valgrind valgrind_tests
run fuzz fuzz
run win32 win32

echo
echo "===== results ($(($(stamp) - started))s)"
failed=0
for i in "${!names[@]}"; do
  printf '%-8s %s\n' "${names[$i]}" "${results[$i]}"
  case "${results[$i]}" in FAILED*) failed=1 ;; esac
done
exit "$failed"
