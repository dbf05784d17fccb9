#!/bin/bash
# Runs bench_jpeg with repetitions and prints the medians and, for each size,
# the ratio of cjpeg's whole-process time to ours (above 1: ours is faster).
# Usage: bench/jpeg.sh [build dir]   (default: build)
set -euo pipefail
build=${1:-build}
json=$(mktemp)
trap 'rm -f "$json"' EXIT
"$build/bench/bench_jpeg" --benchmark_repetitions=15 --benchmark_report_aggregates_only=true \
    --benchmark_out="$json" --benchmark_out_format=json >/dev/null
python3 - "$json" <<'PY'
import json, sys
runs = json.load(open(sys.argv[1]))["benchmarks"]
med = {r["run_name"]: r for r in runs if r.get("aggregate_name") == "median"}
for size in ("1920", "3840"):
    enc, wr, save, cj = (med[f"BM_{n}/{size}/real_time"]
                         for n in ("EncodeJpeg", "EncodeAndWrite", "SaveAsJpeg", "CjpegProcess"))
    print(f"{enc['label']}: encode {enc['real_time']:.2f} ms, encode+write {wr['real_time']:.2f} ms, "
          f"SaveAsJpeg (temp+fsync+rename) {save['real_time']:.2f} ms, cjpeg process {cj['real_time']:.2f} ms; "
          f"cjpeg/(encode+write) {cj['real_time']/wr['real_time']:.2f}, cjpeg/SaveAsJpeg {cj['real_time']/save['real_time']:.2f}; "
          f"same bytes as cjpeg: "
          f"{'yes' if enc['same_bytes_as_cjpeg'] == 1 else 'NO'}; {int(enc['jpeg_bytes'])} bytes")
PY
