#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Tarnwick need.
set -euo pipefail
cd "$(dirname "$0")/.."
export DEBIAN_FRONTEND=noninteractive
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
$SUDO apt-get update -qq
# shellcheck disable=SC2046
$SUDO apt-get install -y -qq --no-install-recommends $(grep -v '^#' scripts/packages.txt) >/dev/null
