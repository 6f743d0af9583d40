#!/usr/bin/env bash
# Builds optimised and runs every benchmark.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_packages

build_tree build-bench -DCMAKE_BUILD_TYPE=Release -DSV_BUILD_TESTS=OFF
for b in build-bench/bench/*_bench; do
  echo "== $b"
  "$b" "$@"
done
