#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer, and
# runs every test through CTest (the threaded ones under ThreadSanitizer too); then builds and
# checks the Debian packages.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake --preset asan
cmake --build --preset asan -j2
# The fuzzers first (briefly), then the threaded tests under ThreadSanitizer, so that the
# closing summary is the whole suite's.
cmake --preset fuzz
cmake --build --preset fuzz -j2
ctest --preset fuzz -j2
cmake --preset tsan
cmake --build --preset tsan -j2
ctest --preset tsan -j2
ctest --preset asan -j2
# The Debian packages, built from the release preset and checked as installed.
bash scripts/package-check.sh
