#!/usr/bin/env bash
# Builds and runs every benchmark; each prints its figures beside a peer measured in the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
for tool in socat bc curl; do command -v $tool >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $tool >/dev/null; done
# The test command's tree: the benchmarks start services of their own, as the tests do.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRIX_TEST_SEAMS=ON \
      -DVELTRIX_TESTS=ON >/dev/null
cmake --build build
echo "== settings store";        build/bench/bench_store
echo "== start-up";              bash bench/startup.sh build
echo "== statistics window";     build/bench/bench_statistics
echo "== Base64";                build/bench/bench_codec
echo "== receiving";             build/bench/bench_receive
echo "== HTTP";                  build/bench/bench_http
echo "== guard program";         bash bench/guard.sh build
echo "== enforcement (service, guard, peer)"; bash bench/enforcement.sh build
echo "== the family list (service)"; bash bench/family.sh build
