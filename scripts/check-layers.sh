#!/usr/bin/env bash
# shellcheck disable=SC2317 # the checks are called through CHECKS
# Checks the layering of the library's sources:
#   api-definitions  the exported functions (RECBASE_API, extern "C") are
#                    defined under src/api/ only
#   api-calls        no source outside src/api/ calls an exported function
#                    (db..., dumpIOCtrl); the names in comments and string
#                    literals (enter("dbOpen", ...)) do not count
#   includes         no source includes a header of a layer above its own:
#                    frame <- file <- records <- sections; dump and api
#                    may include every layer
# One function per check; each prints its findings as file:line: text and
# returns non-zero when it found any. Exits non-zero when any check failed.
# To add a check: write a check_* function and add it to CHECKS.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$ROOT"

# The library's sources outside the API layer, one per line.
sources_outside_api() {
  find src -path src/api -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print | sort
}

# Prints a source with its comments and string and character literals
# blanked out, line numbers kept.
code_only() {
  perl -0777 -pe '
    s{ (//[^\n]*) | (/\*.*?\*/) | ("(?:\\.|[^"\\\n])*") | (\x27(?:\\.|[^\x27\\\n])*\x27) }{
      my $m = $&;
      defined $1 ? "" : defined $2 ? ($m =~ tr/\n//) x "\n" : ($m =~ /^"/ ? q("") : q(\x27\x27))
    }gsex' "$1"
}

# Prints file:line: text for each line of the given files whose code (see
# code_only) matches the extended regular expression.
grep_code() {
  local pattern="$1" file line found=1
  shift
  for file in "$@"; do
    while IFS=: read -r line _; do
      printf '%s:%s: %s\n' "$file" "$line" "$(sed -n "${line}p" "$file")"
      found=0
    done < <(code_only "$file" | grep -nE -- "$pattern" || true)
  done
  return "$found"
}

check_api_definitions() {
  local files=()
  mapfile -t files < <(sources_outside_api)
  # extern "C" reads extern "" once its string is blanked out.
  ! grep_code 'RECBASE_API|extern[[:space:]]*""' "${files[@]}"
}

check_api_calls() {
  local files=()
  mapfile -t files < <(sources_outside_api)
  ! grep_code '\b(db[A-Z][A-Za-z0-9_]*|dumpIOCtrl)[[:space:]]*\(' "${files[@]}"
}

# The rank of a layer; a source may include headers of its rank or below.
layer_rank() {
  case "$1" in
    frame) echo 0 ;;
    file) echo 1 ;;
    records) echo 2 ;;
    sections) echo 3 ;;
    *) echo 4 ;;  # dump, api
  esac
}

check_includes() {
  local file layer included rank found=0 line
  while IFS= read -r file; do
    layer="${file#src/}"
    layer="${layer%%/*}"
    rank="$(layer_rank "$layer")"
    while IFS= read -r line; do
      included="${line#*:}"
      included="${included#*\"}"
      included="${included%%/*}"
      if [ "$(layer_rank "$included")" -gt "$rank" ]; then
        printf '%s:%s\n' "$file" "$line"
        found=1
      fi
    done < <(grep -nE '^#include "(frame|file|records|sections|dump|api)/' "$file" || true)
  done < <(find src -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
  return "$found"
}

CHECKS=(api_definitions api_calls includes)

failed=0
for check in "${CHECKS[@]}"; do
  if "check_$check"; then
    echo "check-layers: $check: ok"
  else
    echo "check-layers: $check: FAILED (see the lines above)"
    failed=1
  fi
done
exit "$failed"
