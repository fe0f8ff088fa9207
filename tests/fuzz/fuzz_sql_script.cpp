// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Fuzz target: the script splitter the velora tool runs files, arguments and
// typed lines through, on any text in every dialect. The first byte chooses
// the size of the pieces the text arrives in (as a user types it line by
// line); the statements must be the same as when the text arrives whole, each
// a non-empty piece of the text without blanks around it.
#include "velora/odbc/SQLTokens.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace velora;
using namespace velora::odbc;

namespace {

std::vector<std::string> Split(TSQLDialect dialect, const std::string& sql, std::size_t piece) {
    TSQLSplitter splitter(dialect);
    std::vector<std::string> out;
    std::string statement;
    for (std::size_t i = 0; i < sql.size(); i += piece) {
        splitter.Add(std::string_view(sql).substr(i, piece));
        (void)splitter.Pending();
        (void)splitter.InValue();
        while (splitter.Next(statement)) out.push_back(statement);
    }
    if (std::string rest = splitter.TakeRest(); !rest.empty()) out.push_back(rest);
    if (splitter.Pending()) std::abort();  // TakeRest takes everything
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t piece = data[0] % 8 + 1;
    const std::string sql(reinterpret_cast<const char*>(data + 1), size - 1);
    for (const TSQLDialect dialect : {TSQLDialect::Standard, TSQLDialect::PostgreSQL, TSQLDialect::MySQL}) {
        const std::vector<std::string> whole = Split(dialect, sql, sql.size() + 1);
        if (Split(dialect, sql, piece) != whole) std::abort();
        for (const std::string& s : whole) {
            if (s.empty() || sql.find(s) == std::string::npos) std::abort();
            if (std::isspace(static_cast<unsigned char>(s.front())) || std::isspace(static_cast<unsigned char>(s.back())))
                std::abort();
        }
    }
    return 0;
}
