#!/bin/sh
# fuzz_run.sh <name> <min coverage> <scratch dir> <corpus dir> <fuzzer> [options...]
# Runs a libFuzzer binary over the corpus, its new inputs going to an emptied
# scratch folder (libFuzzer writes into its first folder), then prints one
# line with the coverage (edges) after the seed corpus and at the end of the
# run. Fails when the fuzzer fails, or when the final
# coverage is below the given minimum (0: no minimum), which is what a target
# shows when the code it feeds was built without coverage.
name=$1 min=$2 scratch=$3 corpus=$4
shift 4
rm -rf "$scratch" && mkdir -p "$scratch" || exit 1
log=$scratch.log
"$@" "$scratch" "$corpus" >"$log" 2>&1
rc=$?
cat "$log"
start=$(sed -n 's/^#[0-9]*[[:space:]]*INITED[[:space:]]*cov: \([0-9]*\).*/\1/p' "$log" | tail -n 1)
end=$(sed -n 's/^#[0-9]*[[:space:]]*DONE[[:space:]]*cov: \([0-9]*\).*/\1/p' "$log" | tail -n 1)
echo "fuzz $name: cov ${start:-?} after the corpus, ${end:-?} at the end (minimum $min)"
[ "$rc" -eq 0 ] || exit "$rc"
if [ -z "$end" ]; then
  echo "fuzz $name: no final coverage line"
  exit 1
fi
if [ "$end" -lt "$min" ]; then
  echo "fuzz $name: coverage $end is below $min: is the code it feeds built with coverage?"
  exit 1
fi
exit 0
