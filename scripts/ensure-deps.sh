#!/usr/bin/env bash
# Installs what building and testing need on a bare Debian 12 machine, once.
# Sourced by run.sh and test.sh.
set -euo pipefail

glimmer_need_packages() {
  local missing=()
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# Build tools, Qt 6, GoogleTest, and mdbtools (the independent reader the tests
# compare against).
GLIMMER_BUILD_PACKAGES=(g++ make cmake ninja-build pkg-config qt6-base-dev libgl-dev libgtest-dev mdbtools)
# SQLite (migrations and the query language's peer in tests and benchmarks) and
# PostgreSQL's client library (migrations).
GLIMMER_BUILD_PACKAGES+=(libsqlite3-dev libpq-dev)
# Encrypted .accdb files: cryptography and the XML of the encryption header.
GLIMMER_BUILD_PACKAGES+=(libssl-dev libexpat1-dev)
# Attachments: the deflated data of attached files.
GLIMMER_BUILD_PACKAGES+=(zlib1g-dev)
# Fuzzing and the sanitizer builds (test.sh only).
GLIMMER_TEST_PACKAGES=(clang libclang-rt-14-dev)
# The migration tests: sqlite3, and a PostgreSQL server they start themselves.
GLIMMER_TEST_PACKAGES+=(sqlite3 postgresql)
# Screenshots of the program (run.sh --screenshots).
GLIMMER_SCREEN_PACKAGES=(xvfb xauth)
# Building and checking the Debian package (package.sh, test.sh).
GLIMMER_PACKAGE_PACKAGES=(dpkg-dev fakeroot file lintian gzip)
# The bare-root install test (scripts/test-package.sh).
GLIMMER_PACKAGE_TEST_PACKAGES=(debootstrap)
# The structure printout's font where Arial is not installed (metric-compatible).
GLIMMER_BUILD_PACKAGES+=(fonts-liberation)
# Reading printed reports back in tests (pdftotext, pdftoppm).
GLIMMER_TEST_PACKAGES+=(poppler-utils)
