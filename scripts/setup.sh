#!/usr/bin/env bash
# Copyright (C) 2026 The Velora developers
# SPDX-License-Identifier: MIT
#
# Installs the Debian 12 packages a role needs, and no more:
#   setup.sh run     build the library and the velora tool and run it on SQLite
#                    (compiler, CMake, unixODBC, the SQLite driver, CLI11, JSON,
#                    libedit, utf8proc, ncurses, cairo, pango and their fonts)
#   setup.sh test    run plus the PostgreSQL and MariaDB drivers, the servers
#                    the tests start for themselves, their clients (the oracles),
#                    GoogleTest and tmux
#   setup.sh bench   test plus Google Benchmark and the benchmark's peers
#   setup.sh fuzz    run plus clang and its libFuzzer runtime
#   setup.sh all     every role (the default)
# Runs as root. When everything is already there it only asks dpkg and
# returns at once; otherwise it runs apt-get update once and installs what is
# missing.
set -euo pipefail

role=${1:-all}
run=(
  g++ cmake make pkg-config
  unixodbc-dev libsqliteodbc
  libcairo2-dev libpango1.0-dev libfontconfig-dev
  fonts-dejavu-core fonts-liberation2 fonts-terminus-otb
  libcli11-dev nlohmann-json3-dev libutf8proc-dev libedit-dev
  libncurses-dev locales
)
test=(
  odbc-postgresql odbc-mariadb
  postgresql postgresql-15 postgresql-client-15
  mariadb-server mariadb-client
  libgtest-dev libgmock-dev python3 tmux sqlite3 ccache
)
# bench/PeersBench's peers read the same table: SOCI with its ODBC back end
# and Qt SQL with its QODBC plugin, about 87 MB on a clean machine (42
# packages with their dependencies).
bench=(libbenchmark-dev libsoci-dev qtbase5-dev libqt5sql5-odbc)
fuzz=(clang libclang-rt-14-dev)
case $role in
  run) packages=("${run[@]}") ;;
  test) packages=("${run[@]}" "${test[@]}") ;;
  bench) packages=("${run[@]}" "${test[@]}" "${bench[@]}") ;;
  fuzz) packages=("${run[@]}" "${fuzz[@]}") ;;
  all) packages=("${run[@]}" "${test[@]}" "${bench[@]}" "${fuzz[@]}") ;;
  *) echo "setup: unknown role $role (run, test, bench, fuzz or all)" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages (${missing[*]}); run this script as root" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"
