#!/usr/bin/env bash
# Copyright (C) 2026 The Velora developers
# SPDX-License-Identifier: MIT
#
# The thread tests under ThreadSanitizer: configures and builds build-tsan/
# (the "tsan" preset: velora_thread_tests, the four files of the components'
# tests that hold the thread tests), then runs the tests
# that use threads (statements cancelled from another thread, query timeouts,
# the cancel race, sessions and databases used from several threads) against
# the three drivers with scripts/test.sh. A report fails the run
# (halt_on_error). Extra arguments go to the test program, e.g.
# --gtest_repeat=20 or another --gtest_filter.
#
#   scripts/run-tsan.sh [test program arguments...]
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${VELORA_JOBS:-2}
build=$root/build-tsan

cmake -S "$root" --preset tsan -B "$build" >/dev/null
cmake --build "$build" -j"$jobs" --target velora_thread_tests

# The drivers are not instrumented: what they do inside a call is outside the
# sanitizer's view, the library's own threads and locks are what it checks.
# Races inside a driver, with the evidence for each, are suppressed in
# tests/support/tsan-suppressions.txt.
export TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1 suppressions=$root/tests/support/tsan-suppressions.txt ${TSAN_OPTIONS:-}"
filter=${VELORA_TSAN_FILTER:-'Drivers/Connect.Cancel*:Drivers/Connect.*Timeout*:*Thread*:*/ConnectLoginTimeout.*'}
exec bash "$root/scripts/test.sh" "$build" --exec "$build/tests/velora_thread_tests" --gtest_filter="$filter" "$@"
