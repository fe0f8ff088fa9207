// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Fuzz target: the :name marker scanner of queries on any text, with a
// parameter list receiving the markers. Besides the sanitizers it checks
// what the scan promises: the text never grows, one parameter per marker,
// and each marker leaves one "?" behind.
#include "velora/components/ODBCParams.h"
#include "velora/components/ODBCSQLParser.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace velora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first byte picks the dialect.
    if (size == 0) return 0;
    const auto dialect = static_cast<TSQLDialect>(data[0] % 3);
    const std::string sql(reinterpret_cast<const char*>(data + 1), size - 1);
    TODBCSQLScan scan = ODBCScanSQL(sql, dialect);
    const std::string statement = sql.substr(0, sql.find('\0'));
    if (scan.Text.size() > statement.size()) std::abort();
    // Every "?" of the result is one of the input's or a marker's.
    const auto questions = [](const std::string& s) { return std::count(s.begin(), s.end(), '?'); };
    if (questions(scan.Text) < static_cast<std::ptrdiff_t>(scan.Markers.size())) std::abort();
    if (questions(scan.Text) > questions(statement) + static_cast<std::ptrdiff_t>(scan.Markers.size())) std::abort();

    TODBCParams list;
    String text = sql;
    const String table = ODBCCreateParams(&list, text, dialect);
    if (text != scan.Text || table != scan.TableName) std::abort();
    if (list.Count() != static_cast<int>(scan.Markers.size())) std::abort();
    return 0;
}
