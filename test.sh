#!/usr/bin/env bash
# Builds everything and runs every test: the normal build with ctest, the
# engine's tests again under AddressSanitizer and UBSan, and a bounded fuzz
# run over the header, catalogue and row decoding.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-deps.sh
glimmer_need_packages "${GLIMMER_BUILD_PACKAGES[@]}" "${GLIMMER_TEST_PACKAGES[@]}"
glimmer_need_packages "${GLIMMER_PACKAGE_PACKAGES[@]}"

jobs=$(nproc)
status=0

echo "== build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLIMMER_APP=ON >/dev/null
cmake --build build -j"$jobs"

echo "== package (.deb, lintian)"
(cd build && cpack -G DEB >/dev/null) || status=1
lintian --fail-on error build/brackwell-glimmer_*.deb || status=1

if [ "${GLIMMER_QUICK:-0}" != 1 ]; then
  echo "== sanitizer build (engine, SQL and CLI tests)"
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DGLIMMER_APP=OFF -DGLIMMER_SANITIZE=ON >/dev/null
  cmake --build build-asan -j"$jobs"
  echo "== sanitizer tests"
  (cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
     ctest --output-on-failure -j"$jobs" -E 'Bench|Slow') || status=1

  echo "== fuzz (bounded)"
  CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
     -DGLIMMER_APP=OFF -DGLIMMER_TESTS=OFF -DGLIMMER_FUZZ=ON >/dev/null
  cmake --build build-fuzz -j"$jobs" --target fuzz_open fuzz_edit fuzz_sql
  fuzz/run-fuzz.sh build-fuzz/bin/fuzz_open "${GLIMMER_FUZZ_SECONDS:-60}" || status=1
  fuzz/run-fuzz.sh build-fuzz/bin/fuzz_edit "${GLIMMER_FUZZ_SECONDS:-60}" || status=1
  fuzz/run-fuzz.sh build-fuzz/bin/fuzz_sql "${GLIMMER_FUZZ_SECONDS:-60}" || status=1
fi

echo "== tests"
(cd build && ctest --output-on-failure -j"$jobs") || status=1
exit $status
