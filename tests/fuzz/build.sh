#!/usr/bin/env bash
# Builds the reader fuzz harnesses with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer: the core sources once into a library, then one
# program per reader.
#
#   tests/fuzz/build.sh [BUILD_FOLDER]     (default: build-fuzz in the project root)
#
# Needs clang++ with its fuzzer runtime (Debian: clang and libclang-rt-dev of
# the same version).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
out="${1:-$root/build-fuzz}"
mkdir -p "$out/obj"
CXX="${CXX:-clang++}"
flags=(-std=c++20 -g -O1 -ffp-contract=off -fno-omit-frame-pointer
       -fsanitize=address,undefined -fno-sanitize-recover=undefined -I "$root/src")

objects=()
pids=()
for src in $(cd "$root" && find src -name '*.cpp' ! -path src/app/main.cpp | sort); do
    obj="$out/obj/$(echo "$src" | tr '/' '_' | sed 's/\.cpp$/.o/')"
    objects+=("$obj")
    if [ ! -f "$obj" ] || [ "$root/$src" -nt "$obj" ] || [ -n "$(find "$root/src" -name '*.h' -newer "$obj" -print -quit)" ]; then
        echo "compile $src"
        "$CXX" "${flags[@]}" -fsanitize=fuzzer-no-link -c "$root/$src" -o "$obj.tmp" && mv "$obj.tmp" "$obj" &
        pids+=($!)
        while [ "$(jobs -r | wc -l)" -ge "${JOBS:-2}" ]; do sleep 0.2; done
    fi
done
for pid in "${pids[@]}"; do wait "$pid"; done  # stops at the first failed compilation
rm -f "$out/libfluviagen_fuzz.a"
ar rcs "$out/libfluviagen_fuzz.a" "${objects[@]}"

for harness in "$root"/tests/fuzz/fuzz_*.cpp; do
    name="$(basename "$harness" .cpp)"
    echo "link $name"
    "$CXX" "${flags[@]}" -fsanitize=fuzzer -I "$root/tests/fuzz" "$harness" "$out/libfluviagen_fuzz.a" -o "$out/$name"
done
