#!/usr/bin/env bash
# Builds the reader fuzz harnesses with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer: the CMake option FLUVIAGEN_FUZZ with clang++
# compiles the core sources once into an instrumented library, then links one
# program per reader (BUILD_FOLDER/fuzz_<reader>).
#
#   tests/fuzz/build.sh [BUILD_FOLDER]     (default: build-fuzz in the project root)
#
# Needs clang++ with its fuzzer runtime (Debian: clang and libclang-rt-dev of
# the same version; tools/install-deps --tests installs them).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="${1:-$root/build-fuzz}"
# Debug without -O0: assertions stay on, and the campaigns run at -O1.
CXX="${CXX:-clang++}" cmake -S "$root" -B "$out" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
    -DFLUVIAGEN_TESTS=OFF -DFLUVIAGEN_BENCH=OFF -DFLUVIAGEN_FUZZ=ON
if ! grep -qx 'FLUVIAGEN_HAVE_LIBFUZZER:INTERNAL=1' "$out/CMakeCache.txt"; then
    echo "build.sh: $out is not configured with clang and libFuzzer (remove it, or set CXX to a clang++ with its fuzzer runtime)" >&2
    exit 1
fi
cmake --build "$out" -j"${JOBS:-2}" --target fuzzers
