#!/usr/bin/env bash
# Draws the layers as the build links them: CMake's --graphviz on a scratch
# configuration (no suites, benchmarks or fuzz targets), reduced to our own
# libraries and programs, rendered by Graphviz's dot.
#   architecture.sh   rewrites docs/architecture.dot and docs/architecture.svg
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh run graphviz

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
# Read from the build folder before the source folder.
cat >"$scratch/CMakeGraphVizOptions.cmake" <<'EOF'
set(GRAPHVIZ_GRAPH_NAME "navlume")
set(GRAPHVIZ_GRAPH_HEADER "rankdir = BT; node [ fontsize = 12, fontname = \"DejaVu Sans\" ];")
set(GRAPHVIZ_EXTERNAL_LIBS FALSE)
set(GRAPHVIZ_CUSTOM_TARGETS FALSE)
set(GRAPHVIZ_GENERATE_PER_TARGET FALSE)
set(GRAPHVIZ_GENERATE_DEPENDERS FALSE)
EOF
cmake -S . -B "$scratch" -DNAVLUME_TESTS=OFF -DNAVLUME_BENCH=OFF -DNAVLUME_FUZZ=OFF \
  --graphviz="$scratch/navlume.dot" >/dev/null
# The picture keeps the graph alone: not CMake's heading comment nor its legend of shapes.
grep -v '^//' "$scratch/navlume.dot" | sed '/subgraph clusterLegend/,/^}/d' >docs/architecture.dot
dot -Tsvg docs/architecture.dot -o docs/architecture.svg
echo "docs/architecture.svg: $(grep -c 'label' docs/architecture.dot) targets, $(grep -c -- '->' docs/architecture.dot) links"
