#!/usr/bin/env bash
# Copyright (C) 2026 The Velora developers
# SPDX-License-Identifier: MIT
#
# The main job from a fresh clone: installs what is missing, builds the
# release tree build/ (no sanitizers, no tests) and runs the velora tool on the
# embedded SQLite sample database, which the tool creates on first use; then
# draws the login dialog and a form of 3-D text labels into PNG files in build/.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$root/build
jobs=${VELORA_JOBS:-$(nproc)}

bash "$root/scripts/setup.sh" run
# The "release" preset of CMakePresets.json. Warnings are errors in the test
# build (run-tests.sh, CI); here they are only shown, so a false alarm of the
# optimiser at -O3 cannot stop the tool's build.
cmake -S "$root" --preset release -B "$build"
cmake --build "$build" -j"$jobs" --target velora

export ODBCSYSINI=$build/odbc
export ODBCINI=$build/odbc/odbc.ini
velora=$build/apps/velora

run() {
  echo
  echo "\$ velora $*"
  "$velora" "$@"
}

run sources
run connect VeloraSample --no-prompt   # SQLite needs no login: do not ask
run table VeloraSample customers
run table VeloraSample orders --where "amount > 100" --order "amount DESC"
run table VeloraSample orders --last 3
run query VeloraSample "SELECT id, order_date, amount FROM orders WHERE customer_id = :cust ORDER BY id" --param cust=1
run query VeloraSample "SELECT id, name FROM customers WHERE city = :city OR :city = 'all'" --param city=Cork
run tables VeloraSample
run describe VeloraSample orders

# Pictures: the login dialog and a form of rotated 3-D text labels.
run render --login-dialog --out "$build/login-dialog.png"
run render "$root/apps/velora/samples/labels.form" --out "$build/labels.png"
run label "Velora" --style raised --rotation 30 --size 28 --out "$build/label-raised.png"

# Last, the whole sample database: as a table, then as JSON.
for t in customers orders; do run table VeloraSample "$t"; done
for t in customers orders; do run table VeloraSample "$t" --format json; done

