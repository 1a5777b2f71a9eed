#!/usr/bin/env bash
# Builds the fuzz targets (tests/fuzz) with clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer into build-fuzz/, then has each replay its seed corpus and run
# FUZZ_RUNS new inputs (20000 unless set). Exits non-zero on a finding; the input that found it is
# in build-fuzz/findings/. A longer run by hand: see README, "Fuzzing".
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${FUZZ_RUNS:-20000}
cmake -S . -B build-fuzz -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE= -DCMAKE_C_FLAGS="-O1 -gline-tables-only" -DCMAKE_CXX_FLAGS="-O1 -gline-tables-only" \
    -DTICKVANE_SANITIZERS=ON -DTICKVANE_FUZZ=ON -DTICKVANE_TESTS=OFF -DFUZZ_RUNS="$runs" >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target fuzz_reply fuzz_texts
# Each run starts from the committed seeds alone, so a run's outcome does not hang on the last one.
rm -rf build-fuzz/fuzz/work-*
echo "Fuzzing ($runs new inputs a target after the seed corpus):"
ctest --test-dir build-fuzz --output-on-failure --timeout 300
