#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer in a tree of their own, writes
# the seed corpus, and runs each target for FUZZ_SECONDS (60 by default).
#
#   scripts/fuzz.sh [BUILD_DIR]
#
# FUZZ_SECONDS  time per target; FUZZ_TARGETS  a subset ("redact verify");
# JOBS          build parallelism (2). The corpus grows in BUILD_DIR/corpus and
# findings land in BUILD_DIR/findings. Known crashers kept in fuzz/regressions
# are replayed first. Exits 77 when clang or libFuzzer is not installed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-fuzz}
seconds=${FUZZ_SECONDS:-60}
targets=${FUZZ_TARGETS:-open_document search redact verify region_json}

if ! command -v clang++ >/dev/null || ! clang++ -print-file-name=libclang_rt.fuzzer-x86_64.a | grep -q /; then
  echo "fuzz: clang++ or libFuzzer (libclang-rt-dev) not installed" >&2
  exit 77
fi

if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DINKVEIL_FUZZ=ON >/dev/null
fi
cmake --build "$build" -j "${JOBS:-2}"

rm -rf "$build/seeds"
"$build/fuzz/make-fuzz-seeds" "$build/seeds"
mkdir -p "$build/findings"

export QT_QPA_PLATFORM=offscreen
# Every redaction syncs its output: keep the scratch files in memory.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export TMPDIR=/dev/shm
fi

status=0
summary=""
for target in $targets; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  regressions="$root/fuzz/regressions/$target"
  binary="$build/fuzz/${target}_fuzzer"
  log="$build/findings/$target.log"
  flags=(-timeout=30 -rss_limit_mb=3072 -dict="$root/fuzz/pdf.dict" -print_final_stats=1
         -artifact_prefix="$build/findings/$target-")

  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    if ! "$binary" "${flags[@]}" "$regressions"/* >"$log" 2>&1; then
      echo "fuzz: $target fails on a kept regression input; see $log" >&2
      status=1
      continue
    fi
  fi

  set +e
  "$binary" "${flags[@]}" -max_total_time="$seconds" "$corpus" "$build/seeds/$target" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  summary+=$(printf '%-14s %8s runs in %ss' "$target" "${runs:-?}" "$seconds")$'\n'
  if [ $rc -ne 0 ]; then
    echo "fuzz: $target found a failure; see $log and $build/findings/" >&2
    grep -E "ERROR|invariant|SUMMARY|^#0 |^    #[0-9] " "$log" | head -20 >&2 || true
    status=1
  fi
done
printf '%s' "$summary"
exit $status
