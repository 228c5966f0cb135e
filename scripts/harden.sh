#!/usr/bin/env bash
# Hardening checks: the core test suite built with AddressSanitizer and UndefinedBehaviorSanitizer
# (any report fails), the import's tests under ThreadSanitizer, then a bounded libFuzzer run of
# every fuzz target over its seed corpus.
# FUZZ_SECONDS sets the time per target (default 60; 0 skips fuzzing).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
FUZZ_SECONDS="${FUZZ_SECONDS:-60}"
export CC=clang CXX=clang++
SAN="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"

./scripts/configure.sh build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVENDRIX_CORE_ONLY=ON -DVENDRIX_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS="$SAN" \
    -DCMAKE_EXE_LINKER_FLAGS="$SAN"
cmake --build build-asan
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build-asan --output-on-failure -j2

# The import reads the office's script on a thread of its own while the statements run: its
# tests once more under ThreadSanitizer (any report fails).
TSAN="-fsanitize=thread -fno-omit-frame-pointer"
./scripts/configure.sh build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVENDRIX_CORE_ONLY=ON -DVENDRIX_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS="$TSAN" \
    -DCMAKE_EXE_LINKER_FLAGS="$TSAN"
cmake --build build-tsan --target exchange_files_test import_faults_test
TSAN_OPTIONS="halt_on_error=1" build-tsan/tests/exchange_files_test
TSAN_OPTIONS="halt_on_error=1" build-tsan/tests/import_faults_test

if [ "$FUZZ_SECONDS" = "0" ]; then
    exit 0
fi
./scripts/configure.sh build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVENDRIX_CORE_ONLY=ON -DVENDRIX_BUILD_BENCH=OFF -DVENDRIX_BUILD_TESTS=OFF -DVENDRIX_FUZZ=ON \
    -DCMAKE_CXX_FLAGS="$SAN -fsanitize=fuzzer-no-link" -DCMAKE_EXE_LINKER_FLAGS="$SAN"
cmake --build build-fuzz --target fuzz_import fuzz_zip fuzz_values fuzz_export_text

# Seed corpora from the project's fixtures and seeds, plus the regression cases kept in
# fuzz/regressions. A seed folder that moves must fail here, not leave a target without seeds.
corpus="$PWD/build-fuzz/corpus"
rm -rf "$corpus"
mkdir -p "$corpus"/{import,zip,values,export_text}
cp tests/fixtures/zip/*.zip "$corpus/zip/"
cp fuzz/seeds/import/* "$corpus/import/"
cp fuzz/seeds/values/* "$corpus/values/"
cp tests/fixtures/export/*.xml fuzz/seeds/values/* "$corpus/export_text/"
for t in import zip values export_text; do
    if [ -d "fuzz/regressions/$t" ]; then
        cp fuzz/regressions/$t/* "$corpus/$t/" 2>/dev/null || true
        # Every kept crash must stay fixed.
        for f in fuzz/regressions/$t/*; do
            [ -f "$f" ] && "build-fuzz/fuzz/fuzz_$t" "$f"
        done
    fi
    echo "Fuzzing fuzz_$t for ${FUZZ_SECONDS}s"
    (cd build-fuzz && "./fuzz/fuzz_$t" -max_total_time="$FUZZ_SECONDS" -max_len=65536 \
        -timeout=20 -rss_limit_mb=2048 -print_final_stats=1 "$corpus/$t" 2>&1 | grep -E "^(stat::number_of_executed_units|Done|==|SUMMARY|ERROR)|DEATH|crash-" )
done
