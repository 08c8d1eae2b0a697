#!/usr/bin/env bash
# Usage: check_install.sh BUILD_DIR SOURCE_DIR WORK_DIR
# Installs the build into a scratch prefix and builds and runs a client that
# finds it with find_package.
set -euo pipefail
build=$1 source=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
cmake -S "$source/tests/install_client" -B "$work/client" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/client" >/dev/null
LD_LIBRARY_PATH="$work/prefix/lib:${LD_LIBRARY_PATH:-}" "$work/client/install_client"
echo "installed package builds and runs a client"
