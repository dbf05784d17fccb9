#!/usr/bin/env bash
# Builds the libFuzzer targets into build-fuzz/ and fuzzes each one from a
# fresh copy of its seed corpus (fuzz/corpus/<target>, plus the reproducers in
# fuzz/regressions/<target>, which are first replayed on their own; one that
# still fails is reported and left out of the corpus).
#
#   bash scripts/fuzz.sh            about 20 s per target, stops a target at its first crash
#   bash scripts/fuzz.sh --long N [--max-time S]
#                                   N executions per target (or S seconds, if that comes
#                                   first); crashes are collected and the run goes on
#                                   (libFuzzer fork mode), to be listed at the end
#
# ZELBRIK_FUZZ_SKIP=gb18030-cut,utf16-odd,feff-start steps around known faults while
# fuzzing (see fuzz/README.md); reproducers are always replayed in full.
#
# Exits non-zero when a reproducer still fails or any target crashed, hung,
# ran out of memory or leaked. Artifacts go to build-fuzz/artifacts/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."

TARGETS=(fuzz_ini_read fuzz_ini_roundtrip fuzz_intconv)
LONG_RUNS=""
LONG_SECONDS=0
SHORT_SECONDS=20
SHORT_RUNS=2000000

usage() { sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; }
while [ $# -gt 0 ]; do
  case "$1" in
    --long)
      [ $# -ge 2 ] && [[ "$2" =~ ^[0-9]+$ ]] || { echo "--long needs a number of executions" >&2; exit 2; }
      LONG_RUNS="$2"
      shift 2
      ;;
    --max-time)
      [ $# -ge 2 ] && [[ "$2" =~ ^[0-9]+$ ]] || { echo "--max-time needs a number of seconds" >&2; exit 2; }
      LONG_SECONDS="$2"
      shift 2
      ;;
    -h|--help) usage; exit 0 ;;
    *) echo "unknown argument: $1" >&2; usage >&2; exit 2 ;;
  esac
done

have_toolchain() {
  command -v clang++ >/dev/null 2>&1 || return 1
  [ -f "$(clang++ -print-resource-dir)/lib/linux/libclang_rt.fuzzer-x86_64.a" ] || return 1
  dpkg-query -W -f='${Status}' qt6-base-dev 2>/dev/null | grep -q "install ok installed"
}
if ! have_toolchain; then
  bash scripts/install-deps.sh
fi

CC=clang CXX=clang++ cmake -S fuzz -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j2 --target "${TARGETS[@]}" >/dev/null

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"

# Every hung, failed or leaking input leaves an artifact; their count is the verdict.
count_artifacts() {
  find "$1" -maxdepth 1 -type f \( -name 'crash-*' -o -name 'timeout-*' -o -name 'oom-*' -o -name 'leak-*' \) | wc -l
}

# The first line that tells why an artifact failed: a violated property or a sanitizer's summary.
# With a third argument "strict", every check is on; else the checks the fuzzing ran with.
reason_of() {
  local target="$1" file="$2" skip="${ZELBRIK_FUZZ_SKIP:-}"
  [ "${3:-}" = strict ] && skip=""
  ZELBRIK_FUZZ_SKIP="$skip" "build-fuzz/$target" -timeout=10 "$file" 2>&1 |
    grep -m1 -E '\*\*\* property violated|SUMMARY: |ERROR: libFuzzer' | cut -c1-240 || true
}

[ -n "${ZELBRIK_FUZZ_SKIP:-}" ] && echo "stepping around known faults: $ZELBRIK_FUZZ_SKIP"

# Long files add nothing to what the INI targets can find and make every run slower.
max_len_of() {
  case "$1" in
    fuzz_intconv) echo 256 ;;
    *) echo 1024 ;;
  esac
}

status=0
for t in "${TARGETS[@]}"; do
  art="build-fuzz/artifacts/$t"
  work="build-fuzz/run/$t"
  log="build-fuzz/run/$t.log"
  rm -rf "$art" "$work"
  mkdir -p "$art" "$work"
  cp fuzz/corpus/"$t"/* "$work"/

  if compgen -G "fuzz/regressions/$t/*" >/dev/null; then
    for r in fuzz/regressions/"$t"/*; do
      # Replayed with every check on, so that a fault stepped around still shows.
      if env -u ZELBRIK_FUZZ_SKIP "build-fuzz/$t" -timeout=10 "$r" >"$log" 2>&1; then
        echo "$t: reproducer $(basename "$r"): passes"
      else
        echo "$t: reproducer $(basename "$r"): FAILS: $(reason_of "$t" "$r" strict)"
        status=1
      fi
      # One that fails here would stop the fuzzing before it starts.
      if "build-fuzz/$t" -timeout=10 "$r" >/dev/null 2>&1; then
        cp "$r" "$work"/
      fi
    done
  fi

  started=$(date +%s)
  common=(-timeout=10 -rss_limit_mb=2048 -max_len="$(max_len_of "$t")" -print_final_stats=1
          -artifact_prefix="$art/")
  if [ -n "$LONG_RUNS" ]; then
    "build-fuzz/$t" "${common[@]}" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
      -runs="$LONG_RUNS" -max_total_time="$LONG_SECONDS" "$work" >"$log" 2>&1 || true
    # The fork-mode parent reports the running total in lines like "#1234: cov: ...".
    execs=$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#')
  else
    "build-fuzz/$t" "${common[@]}" -max_total_time="$SHORT_SECONDS" -runs="$SHORT_RUNS" "$work" \
      >"$log" 2>&1 || true
    execs=$(grep -oE 'stat::number_of_executed_units: [0-9]+' "$log" | awk '{print $2}' | tail -1)
  fi
  seconds=$(( $(date +%s) - started ))
  execs=${execs:-0}
  rate=$(( execs / (seconds > 0 ? seconds : 1) ))
  summary="$execs executions in ${seconds}s ($rate exec/s)"

  n=$(count_artifacts "$art")
  if [ "$n" -eq 0 ] && grep -qE '^Done [0-9]+ runs|^INFO: exiting: 0 ' "$log"; then
    echo "$t: $summary: no crash"
  else
    status=1
    echo "$t: $summary: $n FAILING INPUT(S) in $art (log $log)"
    # One line per distinct reason, with how many artifacts show it.
    for f in $(find "$art" -maxdepth 1 -type f | sort | head -200); do
      reason_of "$t" "$f"
    done | sort | uniq -c | sort -rn | head -12 | sed 's/^/    /'
    [ "$n" -eq 0 ] && tail -5 "$log" | sed 's/^/    /'
  fi
done
exit "$status"
