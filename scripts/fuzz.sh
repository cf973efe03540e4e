#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs one of them.
# Usage: scripts/fuzz.sh <target> [seconds] [seed folders...]
#   (targets: the *_fuzzer.cpp names under modules/tarnvale/fuzz; the target's corpus is always a seed)
set -euo pipefail
cd "$(dirname "$0")/.."
target=${1:?target}
seconds=${2:-60}
seeds=("${@:3}")
bash scripts/install-deps.sh
CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DTARNVALE_FUZZERS=ON -DTARNVALE_TESTS=OFF -DTARNVALE_SANITIZE=ON
cmake --build build/fuzz -j "${JOBS:-3}" --target "${target}_fuzzer"
fuzz_dir=modules/tarnvale/fuzz
work=fuzz-out/$target
mkdir -p "$work"
dict=()
[ -f "$fuzz_dir/$target.dict" ] && dict=(-dict="$fuzz_dir/$target.dict")
build/fuzz/modules/tarnvale/fuzz/"${target}_fuzzer" "${dict[@]}" -max_total_time="$seconds" \
  -artifact_prefix="$work/" "$work" "$fuzz_dir/corpus/$target" "${seeds[@]}"
