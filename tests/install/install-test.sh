#!/usr/bin/env bash
# Copyright (C) 2026 The Velora developers
# SPDX-License-Identifier: MIT
#
# Installs the build into a temporary prefix and builds the quickstart there
# as a user would: once with CMake's find_package(Velora), once with a plain
# Makefile over `pkg-config --cflags --libs velora`, and the README's
# CMakeLists as printed over a program that uses the table; runs them all; then moves the
# prefix, builds and runs again (the .pc file, the CMake package and the
# RUNPATHs must all follow the move). The quickstart runs without ODBCINI or
# ODBCSYSINI: its connection string needs no odbc.ini entry.
#   tests/install/install-test.sh BUILD_DIR SOURCE_DIR SANITIZE(0|1)
set -euo pipefail
build=$1
source=$2
sanitize=${3:-0}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

flags=""
if [ "$sanitize" = 1 ] || [ "$sanitize" = ON ]; then
  # The libraries are instrumented: the program must link the runtime too.
  flags="-fsanitize=address,undefined"
  export ASAN_OPTIONS=detect_leaks=0
fi

cmake --install "$build" --prefix "$tmp/first" >/dev/null
mkdir -p "$tmp/app"
cp "$source/examples/quickstart.cpp" "$tmp/app/"
cat >"$tmp/app/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(quickstart CXX)
find_package(Velora REQUIRED)
add_executable(quickstart quickstart.cpp)
target_link_libraries(quickstart PRIVATE Velora::Velora)
CMAKE
# The README's CMakeLists, exactly as printed (no C++ standard set: the
# package's target brings it), over a program that includes ODBCObj.h alone
# and uses the table and the version.
mkdir -p "$tmp/readme"
awk '/^```cmake$/ {on = 1; next} on && /^```$/ {exit} on' "$source/README.md" >"$tmp/readme/CMakeLists.txt"
grep -q 'Velora::Velora' "$tmp/readme/CMakeLists.txt"
cat >"$tmp/readme/app.cpp" <<'CPP'
#include <velora/components/ODBCObj.h>

#include <cstdio>
#include <string>

int main(int, char** argv) {
    using namespace velora;
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    auto* db = new TODBCDatabase(owner.get());
    db->SetDataSourceName(std::string("DRIVER=SQLite3;Database=") + argv[1]);
    db->SetLoginPrompt(false);
    db->Open();
    auto* table = new TODBCTable(owner.get());
    table->SetDataBase(db);
    table->SetTableName("fruit");
    table->Open();
    std::printf("velora %s: %s %d\n", VeloraVersion(), table->FieldByName("name")->AsString().c_str(),
                table->FieldByName("qty")->AsInteger());
    return 0;
}
CPP
cat >"$tmp/app/Makefile" <<'MAKE'
CXXFLAGS += -std=c++20 $(EXTRA) $(shell pkg-config --cflags velora)
LDFLAGS += $(EXTRA) -Wl,-rpath,$(shell pkg-config --variable=libdir velora)
LDLIBS += $(shell pkg-config --libs velora)
quickstart: quickstart.cpp
MAKE

run() {
  local exe=$1 out
  out=$(cd "$tmp" && env -u ODBCINI -u ODBCSYSINI "$exe" "$tmp/quickstart.db")
  rm -f "$tmp/quickstart.db"
  case $out in
    *"apple: 6"*"refused: SQLSTATE"*) ;;
    *) echo "install: $exe printed: $out" >&2; return 1 ;;
  esac
}

build_and_run() {
  local prefix=$1
  rm -rf "$tmp/cmake-build" "$tmp/app/quickstart"
  cmake -S "$tmp/app" -B "$tmp/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
  cmake --build "$tmp/cmake-build" >/dev/null
  run "$tmp/cmake-build/quickstart"
  PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name velora.pc)") make -s -C "$tmp/app" EXTRA="$flags" >/dev/null
  run "$tmp/app/quickstart"
  rm -rf "$tmp/readme-build"
  cmake -S "$tmp/readme" -B "$tmp/readme-build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
  cmake --build "$tmp/readme-build" >/dev/null
  local out
  (cd "$tmp" && env -u ODBCINI -u ODBCSYSINI "$tmp/cmake-build/quickstart" "$tmp/readme.db" >/dev/null)
  out=$(cd "$tmp" && env -u ODBCINI -u ODBCSYSINI "$tmp/readme-build/app" "$tmp/readme.db")
  rm -f "$tmp/readme.db"
  case $out in
    "velora "[0-9]*": apple 6") ;;
    *) echo "install: the README's program printed: $out" >&2; return 1 ;;
  esac
}

build_and_run "$tmp/first"
mv "$tmp/first" "$tmp/moved"
build_and_run "$tmp/moved"
# The installed tool runs from the moved prefix too (RUNPATH $ORIGIN/../lib)
# and follows unixODBC's own lookup: ODBCINI when set, never the build's files.
if [ -x "$tmp/moved/bin/velora" ]; then
  printf '[VeloraInstallProbe]\nDriver=SQLite3\nDatabase=%s/probe.db\n' "$tmp" >"$tmp/user.ini"
  sources=$(env -u ODBCSYSINI ODBCINI="$tmp/user.ini" "$tmp/moved/bin/velora" sources)
  case $sources in
    *VeloraInstallProbe*) ;;
    *) echo "install: the installed tool did not list ODBCINI's data sources: $sources" >&2; exit 1 ;;
  esac
  sources=$(env -u ODBCINI -u ODBCSYSINI "$tmp/moved/bin/velora" sources)
  case $sources in
    *VeloraTestSQLite*) echo "install: the installed tool read the build's odbc.ini" >&2; exit 1 ;;
  esac
fi
echo "install: find_package and pkg-config builds ran, before and after moving the prefix"
