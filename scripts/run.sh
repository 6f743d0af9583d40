#!/usr/bin/env bash
# Builds the program and its shipped tables, then lists the OSTRA threads
# that match a source colour (Madeira 1000 unless other svmatch arguments are
# given), e.g.:  bash scripts/run.sh --palette DMC --number 321
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/packages.sh
install_packages

build_tree build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSV_BUILD_TESTS=OFF -DSV_BUILD_BENCH=OFF
if [ $# -eq 0 ]; then
  set -- --palette Madeira --number 1000
fi
exec build/tools/svmatch --data build/shipped "$@"
