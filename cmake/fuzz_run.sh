#!/bin/sh
# fuzz_run.sh replay <name> <corpus dir> <replay program>
# fuzz_run.sh fuzz <name> <min coverage> <scratch dir> <corpus dir> <fuzzer> [options...]
# Runs a fuzz target with a temporary folder (TMPDIR) of its own, and fails
# when the target leaves anything behind in it.
# The fuzz mode runs a libFuzzer binary over the corpus, its new inputs going
# to an emptied scratch folder (libFuzzer writes into its first folder), then
# prints one line with the coverage (edges) after the seed corpus and at the
# end of the run. It fails when the final coverage is below the given minimum
# (0: none), which is what a target shows when the code it feeds was built
# without coverage.
# The fuzzer runs with a sanitizer quarantine (freed memory held back to catch
# late uses) of an eighth of its -rss_limit_mb: the sanitizer's own 256 MB
# would fill a 512 MB limit over a long run by itself, and the limit is there
# for what an input costs. ASAN_OPTIONS the caller set come after and win.
mode=$1 name=$2
shift 2
tmp=$(mktemp -d) || exit 1
trap 'rm -rf "$tmp"' EXIT
status=0
if [ "$mode" = replay ]; then
  corpus=$1
  shift
  TMPDIR=$tmp "$@" "$corpus" || status=$?
else
  min=$1 scratch=$2 corpus=$3
  shift 3
  rm -rf "$scratch" && mkdir -p "$scratch" || exit 1
  log=$scratch.log
  rss=2048
  for arg in "$@"; do
    case $arg in -rss_limit_mb=*) rss=${arg#-rss_limit_mb=} ;; esac
  done
  case $rss in
  '' | *[!0-9]* | 0) ;;  # no limit: the quarantine has nothing to fit
  *)
    quarantine=$((rss / 8))
    [ "$quarantine" -ge 1 ] || quarantine=1  # 0 would switch it off
    ASAN_OPTIONS=quarantine_size_mb=$quarantine${ASAN_OPTIONS:+:$ASAN_OPTIONS}
    export ASAN_OPTIONS
    echo "fuzz $name: ASAN_OPTIONS=$ASAN_OPTIONS"
    ;;
  esac
  TMPDIR=$tmp "$@" "$scratch" "$corpus" >"$log" 2>&1 || status=$?
  cat "$log"
  start=$(sed -n 's/^#[0-9]*[[:space:]]*INITED[[:space:]]*cov: \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  end=$(sed -n 's/^#[0-9]*[[:space:]]*DONE[[:space:]]*cov: \([0-9]*\).*/\1/p' "$log" | tail -n 1)
  echo "fuzz $name: cov ${start:-?} after the corpus, ${end:-?} at the end (minimum $min)"
  if [ "$status" -eq 0 ] && [ "${end:-0}" -lt "$min" ]; then
    echo "fuzz $name: coverage ${end:-none} is below $min: is the code it feeds built with coverage?"
    status=1
  fi
fi
left=$(ls -A "$tmp")
if [ -n "$left" ]; then
  echo "fuzz $name: left behind in the temporary folder: $left"
  [ "$status" -ne 0 ] || status=1
fi
exit "$status"
