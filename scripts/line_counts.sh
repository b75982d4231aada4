#!/usr/bin/env bash
# Non-blank, non-comment lines of C++: the program's code per folder, its tests per folder, and
# the ratio of the two. Counted the same way everywhere so that figures can be compared over time.
# Tools (tools/) and benchmarks (bench/) are neither code nor tests; their lines are shown apart.
# Usage: bash scripts/line_counts.sh [tree]   (default: the repository this script is in)
set -uo pipefail
root="${1:-$(cd "$(dirname "$0")/.." && pwd)}"
cd "$root" || exit 1
count() {
  # Lines inside /* */ blocks and lines that hold only a // comment do not count.
  find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 2>/dev/null |
    xargs -0 -r cat |
    awk '{ s=$0; sub(/^[ \t]+/, "", s)
           if (inblock) { if (s ~ /\*\//) inblock=0; next }
           if (s == "") next
           if (s ~ /^\/\//) next
           if (s ~ /^\/\*/) { if (s !~ /\*\//) inblock=1; next }
           n++ } END { print n+0 }'
}
code=0
for d in app config engine trackpad drawing actions placement settings art platform; do
  [ -d "$d" ] || continue
  n=$(count "$d"); code=$((code + n))
  printf 'code   %-24s %6d\n' "$d" "$n"
done
# Each folder of tests/core and tests/desktop, then the other folders of tests/ (fakes, fuzz,
# support) whole.
tests=0
for d in tests/core/* tests/desktop/* tests/*; do
  [ -d "$d" ] || continue
  case "$d" in tests/core | tests/desktop) continue ;; esac
  n=$(count "$d"); tests=$((tests + n))
  printf 'tests  %-24s %6d\n' "$d" "$n"
done
# Scenario files beside the tests (input events and what must follow, one a line) are tests too:
# their non-blank lines that are not '#' comments, shown apart and in a second ratio. Fuzz seeds
# and dictionaries are inputs for the fuzzer, not cases, and are left out, as are build files.
data=$(find tests -type f \( -name '*.txt' -o -name '*.cases' \) -not -name CMakeLists.txt \
  -not -path 'tests/fuzz/*' -print0 2>/dev/null |
  xargs -0 -r cat | awk '{ s=$0; sub(/^[ \t]+/, "", s); if (s != "" && s !~ /^#/) n++ } END { print n+0 }')
printf 'data   %-24s %6d\n' "tests (scenario files)" "$data"
for d in tools bench; do
  [ -d "$d" ] || continue
  printf 'other  %-24s %6d\n' "$d" "$(count "$d")"
done
printf 'code %d, tests %d: tests are %d%% of code\n' "$code" "$tests" $((100 * tests / code))
printf 'with scenario files, tests %d: %d%% of code\n' $((tests + data)) $((100 * (tests + data) / code))
