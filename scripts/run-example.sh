#!/usr/bin/env bash
# Builds the library natively (build/) and runs the example host program in
# a scratch directory, showing its output and the error log it produced.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

bash scripts/install-deps.sh native

cmake -S . -B build -G Ninja
ninja -C build recbase recbase_example

run_dir="$ROOT/build/example-run"
rm -rf "$run_dir"
mkdir -p "$run_dir"
cd "$run_dir"
echo "== build/recbase_example (in build/example-run)"
"$ROOT/build/recbase_example"
if [ -s tovek.log ]; then
  echo "== tovek.log"
  cat tovek.log
fi
echo "== files left in build/example-run"
ls -l
