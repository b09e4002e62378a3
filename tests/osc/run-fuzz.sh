#!/usr/bin/env bash
# Fuzzes the OSC server's handling of one datagram: configures a clang build
# in BUILD_DIR with -DORVO_FUZZ=ON, builds only the fuzz target, and runs it
# for SECONDS on a copy of the seed corpus beside this script. Exits non-zero
# if the build fails or the fuzzer finds a crash, leak, sanitizer report or
# hang; the input that caused it is left in BUILD_DIR/fuzz-osc-packet/artifacts/.
#
#   tests/osc/run-fuzz.sh BUILD_DIR SECONDS
#
# Replies go to whatever address a request names, so the target runs in a
# network namespace of its own that has only a loopback interface (needs
# root or unprivileged user namespaces). ORVO_SOURCE_DIR overrides the CMake
# source folder (default: the repo root).
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
cmake --build "$build_dir" --target fuzz_osc_packet -j"$(nproc)"

work=$(cd "$build_dir" && pwd)/fuzz-osc-packet
rm -rf "$work"
mkdir -p "$work/artifacts"
cp -r "$here/corpus" "$work/corpus"

if [[ $(id -u) -eq 0 ]]; then
  isolate=(unshare --net)
else
  isolate=(unshare --user --map-root-user --net)
fi
if ! "${isolate[@]}" true 2>/dev/null; then
  echo "$0: cannot make a network namespace (unshare --net); not fuzzing" >&2
  exit 1
fi

# -close_fd_mask=1: the server prints every malformed packet on stdout.
# -max_len: a datagram the receive task takes in one read.
status=0
"${isolate[@]}" sh -c 'ip link set lo up 2>/dev/null || ifconfig lo up 2>/dev/null; exec "$@"' fuzz \
  "$build_dir/fuzz_osc_packet" \
  -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=4096 \
  -close_fd_mask=1 -artifact_prefix="$work/artifacts/" -print_final_stats=1 \
  "$work/corpus" || status=$?

if [[ -n $(ls -A "$work/artifacts") || $status -ne 0 ]]; then
  echo "fuzz_osc_packet failed (status $status); artifacts in $work/artifacts" >&2
  exit 1
fi
echo "fuzz_osc_packet: no crash in ${seconds}s"
