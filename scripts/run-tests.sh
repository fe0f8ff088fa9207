#!/usr/bin/env bash
# Copyright (C) 2026 The Velora developers
# SPDX-License-Identifier: MIT
#
# The whole test run from a fresh clone: installs what is missing, configures
# and builds build-test/ with AddressSanitizer and UndefinedBehaviorSanitizer,
# then runs every test against SQLite, PostgreSQL 15 and MariaDB servers of its
# own (scripts/test.sh). Arguments go to ctest, e.g. `-L sqlite` or `-R Login`.
# A whole run (no arguments) ends with a short run of every fuzz target
# (scripts/run-fuzz.sh, 90 seconds shared by the targets, in build-fuzz/);
# VELORA_SKIP_FUZZ=1 leaves it out.
# Exits non-zero when the build, any test or a fuzz target fails.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${VELORA_JOBS:-$(nproc)}

bash "$root/scripts/setup.sh" test
# A compiler cache keyed on paths relative to the checkout: a second clone, or
# a second run after a small change, compiles only what changed.
if command -v ccache >/dev/null; then
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$root}
  export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
fi
# The "sanitize" preset of CMakePresets.json.
cmake -S "$root" --preset sanitize -B "$root/build-test"
cmake --build "$root/build-test" -j"$jobs"
if [ $# -gt 0 ] || [ "${VELORA_SKIP_FUZZ:-0}" = 1 ]; then
  exec bash "$root/scripts/test.sh" "$root/build-test" "$@"
fi
status=0
bash "$root/scripts/test.sh" "$root/build-test" || status=$?
bash "$root/scripts/setup.sh" fuzz
VELORA_FUZZ_BUDGET=${VELORA_FUZZ_BUDGET:-90} bash "$root/scripts/run-fuzz.sh" || status=1
exit $status
