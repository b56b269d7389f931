#!/usr/bin/env bash
# Builds the line-cutter fuzz target with clang and runs it for a bounded number of inputs.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="${1:-$root/build/fuzz}"
runs="${2:-200000}"
mkdir -p "$out/corpus"
clang++ -std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$root" "$root/tests/fuzz/LineCutterFuzz.cpp" "$root/serial/LineCutter.cpp" \
    -o "$out/line_cutter_fuzz"
"$out/line_cutter_fuzz" -runs="$runs" -max_len=4096 "$out/corpus"
