#!/usr/bin/env bash
# Several moments of every section drawn by the sanitizer build's shot tool
# (AddressSanitizer and UBSan, which end the tool with an error on the first
# finding). Each shot also draws the two frames before it, as the show does.
#
# usage: sanitized_shots.sh SHOT_TOOL
set -euo pipefail
shot=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
times=(
    1.0 3.0 8.0                        # title
    20.0 45.0 60.0 70.0                # projector room (monochrome from 54 s)
    75.0 82.0 88.0                     # meadow title
    95.0 104.0 112.0 122.0             # dot screen, both flags
    128.0 136.0 142.0                  # bump tunnel and fur torus
    146.0 160.0 175.0                  # blob tube
    182.0 190.0 196.0                  # metaballs
    200.0 208.0 215.0 222.0            # eyes and helix
    228.0 235.0 243.3 243.7 251.6 254.5 258.0  # forest and its cut-aways
    262.0 266.0 272.0                  # signature
)
xvfb-run -a -s "-screen 0 1024x768x24 -noreset" "$shot" -o "$work" "${times[@]}" 2>"$work/err" ||
    { cat "$work/err" >&2; echo "FAIL: the shot tool stopped (status $?)" >&2; exit 1; }
if [ -s "$work/err" ]; then cat "$work/err" >&2; echo "FAIL: findings on standard error" >&2; exit 1; fi
taken=$(ls "$work"/*.png | wc -l)
[ "$taken" -eq ${#times[@]} ] || { echo "FAIL: $taken of ${#times[@]} shots written" >&2; exit 1; }
echo "sanitized shots: ${#times[@]} moments drawn, no findings"
