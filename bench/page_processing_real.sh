#!/usr/bin/env bash
# Page processing on real pages: Debian's python3.11-doc HTML, through the
# scan core and through a gumbo parse-and-collect-links baseline. Installs
# the documentation and gumbo when missing (as root), builds the benchmark in
# BUILD (default build-bench) and runs it; arguments go to Google Benchmark
# (default: --benchmark_filter=RealPages).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
BUILD=${BUILD:-$repo/build-bench}
html=${TESSELLON_BENCH_HTML:-/usr/share/doc/python3.11/html}

need=()
[[ -n ${TESSELLON_BENCH_HTML:-} || -d $html ]] || need+=(python3.11-doc)
pkg-config --exists gumbo 2>/dev/null || need+=(libgumbo-dev)
[[ -e /usr/lib/x86_64-linux-gnu/cmake/benchmark/benchmarkConfig.cmake ||
   -n $(find /usr/lib* -name benchmarkConfig.cmake -print -quit 2>/dev/null) ]] || need+=(libbenchmark-dev)
if ((${#need[@]})); then
  if [[ $(id -u) == 0 ]]; then
    echo "installing ${need[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
  else
    echo "not root: ${need[*]} missing, the benchmark skips what needs them" >&2
  fi
fi

cmake -S "$repo" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTESSELLON_TESTS=OFF >/dev/null
cmake --build "$BUILD" --target bench_page_processing
export TESSELLON_BENCH_HTML=$html
if (($#)); then
  exec "$BUILD/bench/bench_page_processing" "$@"
fi
exec "$BUILD/bench/bench_page_processing" --benchmark_filter=RealPages
