#!/usr/bin/env bash
# Builds contourmill, generates the bundled sample tile (a hill, a pit and a ridge on a slope) and
# traces its contours every metre into build/sample/sample.wkt.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/release -j2 --target contourmill cm_lasgen
mkdir -p build/sample
build/release/tools/cm_lasgen --surface sample --points 40000 --size 200 --out build/sample/sample.las
build/release/app/contourmill -v -i build/sample/sample.las -owkt -iso_every 1
echo "contours: $(wc -l < build/sample/sample.wkt) lines in build/sample/sample.wkt"
head -c 300 build/sample/sample.wkt; echo
