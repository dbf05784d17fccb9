#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer into build-asan/, and runs every test there.
# The real binary the end-to-end tests start inherits the same options.
#
# Address and leak reports, from a test executable or from that binary, are
# written to build-asan/sanitizer-reports/ and fail the run: the binary's own
# output goes to a log inside the test's temporary home, gone once the test
# ends, and a test that stops the binary with a signal never sees its exit
# code. Undefined-behaviour reports cannot go there (gcc's UBSan runtime
# beside ASan writes to stderr only): they end the process with code 1 and
# show in the test's output, or, from the binary, fail the test through its
# exit code or its windows going away.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bash scripts/install-deps.sh

# -O1: a quarter less compile time than -O2 for this build, and stacks
# with fewer frames folded away.
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g -DNDEBUG" \
  -DZELBRIK_SANITIZE=ON >/dev/null
cmake --build build-asan -j"$(nproc)"

reports="$root/build-asan/sanitizer-reports"
rm -rf "$reports"
mkdir -p "$reports"

# halt_on_error with -fno-sanitize-recover: the first report ends the process.
# Leaks are reported at exit with a non-zero code; libraries of others whose
# leaks are not ours to fix are named in tests/lsan.supp.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0:halt_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:log_path=$reports/asan:log_exe_name=1"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
# Undefined-behaviour reports of the real binary go to its stderr, the log the
# end-to-end tests give it: they keep a copy of each here.
export ZELBRIK_KEEP_PROGRAM_LOGS="$reports/programs"

status=0
(cd build-asan && ctest --output-on-failure -j2 --timeout 600) || status=$?

# Files are named asan.<executable>.<pid>. A file with only a
# warning of the runtime in it is shown but does not fail the run.
shopt -s nullglob
errors=0
for f in "$reports"/*; do
  [ -f "$f" ] || continue
  echo "===== $(basename "$f")"
  cat "$f"
  if grep -qE 'ERROR: (Address|Leak)Sanitizer' "$f"; then
    errors=$((errors + 1))
  fi
done
for f in "$reports"/programs/*; do
  if grep -qE 'runtime error:|ERROR: (Address|Leak)Sanitizer' "$f"; then
    echo "===== $(basename "$f")"
    cat "$f"
    errors=$((errors + 1))
  fi
done
if [ "$errors" -gt 0 ]; then
  echo "$errors sanitizer error report(s) in $reports" >&2
  [ "$status" -ne 0 ] || status=1
fi
exit "$status"
