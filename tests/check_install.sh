#!/usr/bin/env bash
# Usage: check_install.sh BUILD_DIR SOURCE_DIR WORK_DIR
# Installs the build into a scratch prefix, builds two clients with
# find_package (tests/install_client and the example in README.md, taken from
# the README itself) and runs them: the example against the simulator when the
# build has one, else against a port nobody listens on.
set -euo pipefail
build=$1 source=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
cmake --install "$build" --prefix "$work/prefix" >/dev/null
awk '/readme-example: end/ { on = 0 } on && !/^```/ { print } /readme-example: begin/ { on = 1 }' \
  "$source/README.md" >"$work/readme_example.cpp"
[ -s "$work/readme_example.cpp" ] || { echo "no example between the markers in README.md"; exit 1; }
cmake -S "$source/tests/install_client" -B "$work/client" -DCMAKE_PREFIX_PATH="$work/prefix" \
  -DREADME_EXAMPLE="$work/readme_example.cpp" >/dev/null
cmake --build "$work/client" >/dev/null
export LD_LIBRARY_PATH="$work/prefix/lib:${LD_LIBRARY_PATH:-}"
"$work/client/install_client"

root=http://127.0.0.1:9 expect="telegraph: failed"
if [ -x "$build/tools/news_service_sim" ]; then
  "$build/tools/news_service_sim" --port 0 >"$work/sim.out" &
  sim=$!
  trap 'kill $sim' EXIT
  for _ in $(seq 100); do grep -q '^listening on ' "$work/sim.out" && break; sleep 0.1; done
  root=http://$(sed -n 's/^listening on //p' "$work/sim.out") expect="telegraph: ok, [1-9]"
fi
timeout 30 "$work/client/readme_example" "$root" >"$work/example.out" 2>"$work/example.err"
grep -q "^$expect" "$work/example.out" || { echo "README example, expected \"$expect\":"; cat "$work/example.out"; exit 1; }
echo "installed package builds and runs a client and the README's example"
