#!/usr/bin/env bash
# Runs one fuzzing campaign for a fixed time on one core.
#
#   tests/fuzz/run.sh READER SECONDS [BUILD_FOLDER]
#
# READER is settings, node, segment, population, dynamic or map. The corpus
# grows in BUILD_FOLDER/corpus/READER (seeded from tests/fuzz/seeds/READER);
# a crashing input is written to BUILD_FOLDER/crash-* and ends the campaign.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
reader="$1"
seconds="$2"
out="${3:-$root/build-fuzz}"
mkdir -p "$out/corpus/$reader"
cd "$out"
exec "./fuzz_$reader" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
    -print_final_stats=1 -artifact_prefix="$out/" "corpus/$reader" "$root/tests/fuzz/seeds/$reader"
