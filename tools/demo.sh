#!/usr/bin/env bash
# The demo: shows what a host sees of both plug-ins.
set -euo pipefail
build=${1:-build/release}
for plugin in OrvoVST OrvoEffVST; do
  echo "=== $plugin.so ==="
  "$build/orvo-host" info "$build/$plugin.so"
  echo
done
