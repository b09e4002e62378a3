#!/usr/bin/env bash
# Fuzzes the sample-file reader: configures a clang build in BUILD_DIR with
# -DORVO_FUZZ=ON, builds only the fuzz target, and runs it for SECONDS on a
# copy of the seed corpus beside this script. Exits non-zero if the build
# fails or the fuzzer finds a crash, leak, sanitizer report or hang; the
# input that caused it is left in BUILD_DIR/fuzz-sample-file/artifacts/.
#
#   tests/samplefile/run-fuzz.sh BUILD_DIR SECONDS
#
# ORVO_SOURCE_DIR overrides the CMake source folder (default: the repo root).
set -euo pipefail

if [[ $# -ne 2 || ! $2 =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 BUILD_DIR SECONDS" >&2
  exit 2
fi
build_dir=$1
seconds=$2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=${ORVO_SOURCE_DIR:-$(cd "$here/../.." && pwd)}

cmake -S "$source_dir" -B "$build_dir" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DORVO_FUZZ=ON
cmake --build "$build_dir" --target fuzz_sample_file -j"$(nproc)"

work=$build_dir/fuzz-sample-file
rm -rf "$work"
mkdir -p "$work/artifacts"
cp -r "$here/corpus" "$work/corpus"

# -rss_limit_mb also bounds single allocations: the reader must refuse, not
# attempt, anything near that size.
"$build_dir/fuzz_sample_file" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
  -artifact_prefix="$work/artifacts/" -print_final_stats=1 \
  "$work/corpus"

if [[ -n $(ls -A "$work/artifacts") ]]; then
  echo "fuzz_sample_file left artifacts in $work/artifacts" >&2
  exit 1
fi
echo "fuzz_sample_file: no crash in ${seconds}s"
