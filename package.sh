#!/usr/bin/env bash
# Builds the Debian package build/brackwell-glimmer_VERSION_ARCH.deb with CPack
# and checks it with lintian.
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-deps.sh
glimmer_need_packages "${GLIMMER_BUILD_PACKAGES[@]}" "${GLIMMER_PACKAGE_PACKAGES[@]}"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLIMMER_APP=ON >/dev/null
cmake --build build -j"$(nproc)" --target glimmer glimmer-cli glimmer_package_files
(cd build && cpack -G DEB >/dev/null)
deb=$(ls -t build/brackwell-glimmer_*.deb | head -1)
echo "Built $deb"
if [ "${GLIMMER_NO_LINTIAN:-0}" != 1 ]; then
  lintian --fail-on error "$deb" || { echo "lintian reports errors" >&2; exit 1; }
fi
