#!/usr/bin/env bash
# Measures the OSC server of a real instrument instance over loopback UDP:
# /set messages handled per second (goal: at least 50 000) and the /get
# round-trip latency, p50 and p99 (goal: p99 at most 1 ms). Configures
# BUILD_DIR if needed, builds orvo_osc_bench and runs it.
#
#   bench/osc-bench.sh BUILD_DIR [SET_COUNT [GET_COUNT]]
set -euo pipefail

if [[ $# -lt 1 || $# -gt 3 ]]; then
  echo "usage: $0 BUILD_DIR [SET_COUNT [GET_COUNT]]" >&2
  exit 2
fi
build_dir=$1
shift
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source_dir=${ORVO_SOURCE_DIR:-$(cd "$here/.." && pwd)}

if [[ ! -f $build_dir/CMakeCache.txt ]]; then
  cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build_dir" --target orvo_osc_bench -j"$(nproc)"
exec "$build_dir/bench/orvo_osc_bench" "$@"
