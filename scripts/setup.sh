#!/usr/bin/env bash
# Copyright (C) 2026 The Velora developers
# SPDX-License-Identifier: MIT
#
# Installs the Debian 12 packages Velora needs to build, test and run: the
# compiler and CMake, unixODBC, the three ODBC drivers, the PostgreSQL 15 and
# MariaDB servers the tests start for themselves, GoogleTest, Google Benchmark,
# clang (libFuzzer), cairo, pango and the fonts the raster canvas draws with,
# and ncurses, utf8proc and tmux for the terminal layer and its tests. Runs as
# root. When everything is already there it only
# asks dpkg and returns at once; otherwise it runs apt-get update once and
# installs what is missing.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  unixodbc-dev libsqliteodbc odbc-postgresql odbc-mariadb
  postgresql postgresql-15 postgresql-client-15
  mariadb-server mariadb-client
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  libcairo2-dev libpango1.0-dev libfontconfig-dev
  fonts-dejavu-core fonts-liberation2 fonts-terminus-otb
  libcli11-dev nlohmann-json3-dev libutf8proc-dev libedit-dev python3
  locales
  libncurses-dev libutf8proc-dev tmux
  # Only for bench/PeersBench (the peers read the same table): SOCI with its
  # ODBC back end and Qt SQL with its QODBC plugin, about 87 MB on a clean
  # machine (42 packages with their dependencies).
  libsoci-dev qtbase5-dev libqt5sql5-odbc
)

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
