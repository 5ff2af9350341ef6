#!/usr/bin/env bash
# Installs what is missing, builds Merrowind and runs its tests. The PostgreSQL
# tests start a private server of their own on 127.0.0.1; nothing outside the build
# directory is touched.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
build="${BUILD_DIR:-build}"
cmake -S . -B "$build" -G Ninja -DMERROWIND_WERROR=ON ${CMAKE_ARGS:-} >/dev/null
cmake --build "$build"
cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"
