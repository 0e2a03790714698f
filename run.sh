#!/usr/bin/env bash
# Builds the program and starts it on the bundled sample database.
#   ./run.sh                 build, create build/sample.mdb if needed, start the program
#   ./run.sh --screenshots   render the main window's tabs, the password prompt and the
#                            splash window to PNG files in build/screenshots/
set -euo pipefail
cd "$(dirname "$0")"
source scripts/ensure-deps.sh
glimmer_need_packages "${GLIMMER_BUILD_PACKAGES[@]}"
if [ "${1:-}" = "--screenshots" ]; then glimmer_need_packages "${GLIMMER_SCREEN_PACKAGES[@]}"; fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DGLIMMER_APP=ON >/dev/null
cmake --build build -j"$(nproc)"

cli=build/bin/glimmer-cli
sample=build/sample.mdb
if [ ! -f "$sample" ]; then
  if "$cli" sample "$sample" 2>/dev/null; then
    echo "Created the sample database $sample"
  elif [ -f ../shared/fixtures/jet4/test2V2000.mdb ]; then
    cp ../shared/fixtures/jet4/test2V2000.mdb "$sample"
    chmod u+w "$sample"
    echo "This build cannot create the sample database yet; using a fixture from ../shared instead."
  else
    echo "This build cannot create the sample database yet and ../shared is absent." >&2
    exit 1
  fi
fi

if [ "${1:-}" = "--screenshots" ]; then
  mkdir -p build/screenshots
  xvfb-run -a -s "-screen 0 1920x1080x24" build/bin/glimmer --screenshots build/screenshots "$sample"
  echo "Screenshots in build/screenshots/"
  exit 0
fi

if [ -x build/bin/glimmer ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
  exec build/bin/glimmer "$sample"
fi
echo "No display (or no desktop program built): listing the sample database with glimmer-cli."
"$cli" tables "$sample"
