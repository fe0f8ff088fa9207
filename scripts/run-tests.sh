#!/usr/bin/env bash
# Copyright (C) 2026 The Velora developers
# SPDX-License-Identifier: MIT
#
# The whole test run from a fresh clone: installs what is missing, configures
# and builds build-test/ with AddressSanitizer and UndefinedBehaviorSanitizer,
# then runs every test against SQLite, PostgreSQL 15 and MariaDB servers of its
# own (scripts/test.sh). Arguments go to ctest, e.g. `-L sqlite` or `-R Login`.
# Exits non-zero when the build or any test fails.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${VELORA_JOBS:-$(nproc)}

bash "$root/scripts/setup.sh" test
# The "sanitize" preset of CMakePresets.json.
cmake -S "$root" --preset sanitize -B "$root/build-test"
cmake --build "$root/build-test" -j"$jobs"
exec bash "$root/scripts/test.sh" "$root/build-test" "$@"
