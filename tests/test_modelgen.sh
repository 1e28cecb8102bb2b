#!/usr/bin/env bash
# modelgen as the build runs it: the recipes give the same bytes as the
# embedded build every time, and a malformed recipe is rejected with
# "file:line: message", status 1 and no output, leaving older files alone.
#
# usage: test_modelgen.sh MODELGEN BUILT_DIR RECIPES...
set -euo pipefail
modelgen=$1 built=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir "$work/a"
"$modelgen" "$work/a" "$@" || fail "the recipes do not build"
for f in models.bin model_table.inc; do
  cmp -s "$work/a/$f" "$built/$f" || fail "$f differs from the embedded build"
done

# Break the jack's counts in a copy of its recipe.
recipes=()
for r in "$@"; do
  if [ "$(basename "$r")" = jack.txt ]; then
    sed 's/^counts      0 864 866$/counts      0 864 868/' "$r" >"$work/jack.txt"
    cmp -s "$r" "$work/jack.txt" && fail "the test could not break the jack"
    line=$(grep -n '^counts      0 864 868$' "$work/jack.txt" | cut -d: -f1)
    recipes+=("$work/jack.txt")
  else
    recipes+=("$r")
  fi
done
set +e
"$modelgen" "$work/a" "${recipes[@]}" 2>"$work/err.txt"
status=$?
set -e
[ "$status" = 1 ] || fail "status $status for a malformed recipe"
grep -qx "$work/jack.txt:$line: the shape has 0 triangles, 864 quads and 866 vertices" "$work/err.txt" ||
  fail "message: $(cat "$work/err.txt")"
cmp -s "$work/a/models.bin" "$built/models.bin" || fail "the older output was overwritten"
[ -z "$(ls "$work/a" | grep -v -e '^models.bin$' -e '^model_table.inc$')" ] || fail "stray files: $(ls "$work/a")"
