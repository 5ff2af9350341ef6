#!/usr/bin/env bash
# Installs what building, running and testing Merrowind need (Debian).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
sudo=""
[ "$(id -u)" = 0 ] || sudo="sudo"
missing=$(while read -r p; do [ -n "$p" ] && ! dpkg -s "$p" >/dev/null 2>&1 && echo "$p"; done < "$here/packages.txt" || true)
if [ -n "$missing" ]; then
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  # shellcheck disable=SC2086
  $sudo apt-get install -y -qq --no-install-recommends $missing
fi
