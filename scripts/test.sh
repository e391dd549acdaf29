#!/usr/bin/env bash
# Installs what is missing, builds with AddressSanitizer and UndefinedBehaviorSanitizer, and
# runs every test through CTest.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake --preset asan
cmake --build --preset asan -j2
ctest --preset asan -j2
