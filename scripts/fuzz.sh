#!/usr/bin/env bash
# Builds the Access reader's libFuzzer target with clang (build-fuzz/) and runs
# it for SECONDS (default 60), seeded from the public samples and the damaged
# files kept as regression cases. An input that crashes the reader, runs past
# 20 s or asks for more than 1 GiB at once is saved in build-fuzz/artifacts/
# and fails the run: keep it in tests/data/access-damaged/ once it is fixed.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
build="$root/build-fuzz"
clang="$(command -v clang++-14 || command -v clang++)"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER="$clang" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKOLVANE_FUZZ=ON -DKOLVANE_BENCH=OFF \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address -fno-omit-frame-pointer" >/dev/null
cmake --build "$build" --target kolvane_access_fuzz -j"$(nproc)"

corpus="$(mktemp -d)"
trap 'rm -rf "$corpus"' EXIT
mkdir -p "$build/artifacts"
# libmdb is not built with the sanitizer: what it leaks on a damaged file is
# not looked for; its crashes and our code's faults are.
ASAN_OPTIONS="detect_leaks=0${ASAN_OPTIONS:+:$ASAN_OPTIONS}" "$build/bin/kolvane_access_fuzz" -max_total_time="$seconds" -timeout=20 -malloc_limit_mb=1024 \
    -rss_limit_mb=2048 -detect_leaks=0 -print_final_stats=1 -artifact_prefix="$build/artifacts/" \
    "$corpus" "$root/tests/data/access-samples" "$root/tests/data/access-damaged"
