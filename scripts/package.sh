#!/usr/bin/env bash
# Builds the Debian package: navlume and navlume-cli in Release with Debian's
# hardening flags, in build-package/, packed by CPack. Prints the .deb's path
# as its last line (install it with: sudo apt install ./navlume_*.deb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh package
# A new build folder is made for Ninja (an existing one keeps its generator).
export CMAKE_GENERATOR=${CMAKE_GENERATOR:-Ninja}
out=build-package
# Debian's flags: -O2, fortified functions, stack protector, read-only
# relocations and immediate binding (position-independent executables are the
# compiler's default). No debug information: the binaries are stripped. No
# build path in any flag, so that ccache, where installed, serves any clone.
export DEB_BUILD_MAINT_OPTIONS="hardening=+all reproducible=-fixfilepath,-fixdebugpath" DEB_CXXFLAGS_MAINT_STRIP=-g
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache) && export CCACHE_BASEDIR="$PWD"
cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE=-DNDEBUG \
  -DNAVLUME_TESTS=OFF -DNAVLUME_BENCH=OFF "${launcher[@]}" \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$out" -j "$(nproc)" >&2
rm -f "$out"/*.deb
(cd "$out" && cpack >&2)
realpath "$out"/*.deb
