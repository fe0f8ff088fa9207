#!/usr/bin/env bash
# Copyright (C) 2026 The Velora developers
# SPDX-License-Identifier: MIT
#
# The whole test run from a fresh clone: installs what is missing, configures
# and builds build-test/ with AddressSanitizer and UndefinedBehaviorSanitizer,
# then runs every test against SQLite, PostgreSQL 15 and MariaDB servers of its
# own (scripts/test.sh). Arguments go to ctest, e.g. `-L sqlite` or `-R Login`.
# Every fuzz target runs for a few seconds among the tests (ctest label
# "fuzz", a deterministic driver in this build); scripts/run-fuzz.sh does the
# long coverage-guided runs with libFuzzer.
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
exec bash "$root/scripts/test.sh" "$root/build-test" "$@"
