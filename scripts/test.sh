#!/usr/bin/env bash
# Sets up, builds and runs every test: the ordinary build, the sanitizer build
# (AddressSanitizer + UndefinedBehaviorSanitizer), and the libFuzzer targets
# when clang is there. Exit status: 0 only when every run passed. Compiler
# warnings are errors in all three builds.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1

jobs=$(nproc)
status=0
passed=0
failed=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT

run_ctest() {  # <build dir> [ctest options...]
  local dir=$1; shift
  (cd "$dir" && ctest -j"$jobs" --output-on-failure --timeout 600 "$@") 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  local line
  line=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [ -n "$line" ]; then
    local f t
    f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    t=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\2/' <<<"$line")
    passed=$((passed + t - f))
    failed=$((failed + f))
  fi
  [ "$rc" -eq 0 ] || status=1
}

echo "== build"
if scripts/build.sh build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKV_TESTS=ON -DKV_BENCH=ON -DKV_WERROR=ON; then
  run_ctest build
else
  status=1
fi

echo "== sanitizer build"
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
if scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DKV_SANITIZE=ON -DKV_BENCH=OFF -DKV_WERROR=ON; then
  run_ctest build-asan -LE nosan
else
  status=1
fi
unset ASAN_OPTIONS UBSAN_OPTIONS

if command -v clang++ >/dev/null 2>&1; then
  echo "== fuzz targets (clang, libFuzzer)"
  if cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
       -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
       -DKV_LIBFUZZER=ON -DKV_BENCH=OFF -DKV_WERROR=ON >/dev/null; then
    if grep -q '^build kv_fuzzers:' build-fuzz/build.ninja; then
      if cmake --build build-fuzz -j"$jobs" --target kv_fuzzers; then
        run_ctest build-fuzz -L libfuzzer
        # The coverage each short run reached, which ctest keeps in its log.
        grep -h '^fuzz .*: cov ' build-fuzz/Testing/Temporary/LastTest.log
      else
        status=1
      fi
    fi
  else
    status=1
  fi
fi

echo "tests: $passed passed, $failed failed"
exit $status
