#!/usr/bin/env bash
# Installs what is needed, builds Merrowind, makes a demonstration database (once)
# and starts the program on it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target merrowind
demo="${MERROWIND_DEMO_DIR:-$HOME/merrowind-demo}"
if [ ! -f "$demo/merrowind.db" ]; then
  build/bin/merrowind --create-database "$demo" --demo
fi
cp -f docs/Merrowind.hlp "$demo/" 2>/dev/null || true
cd "$demo"
exec "$OLDPWD/build/bin/merrowind" "$@"
