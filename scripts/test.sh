#!/usr/bin/env bash
# Builds and runs every test twice: a normal build, and one with the address
# and undefined-behaviour sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_packages

build_tree build -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd build && ctest --output-on-failure -j "$(nproc)")

build_tree build-asan -DCMAKE_BUILD_TYPE=Debug -DSV_SANITIZE=ON -DSV_BUILD_BENCH=OFF
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j "$(nproc)")
