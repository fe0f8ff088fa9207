// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Fuzz target: the SQL text module's tokenizer on any text, in every dialect
// and both MySQL escape modes. Besides the sanitizers it checks what the
// tokens promise: they follow each other in text order with only blanks
// between them, none is empty, only the last may be unterminated (and then
// runs to the end), depths never go below zero, and leaving comments out
// drops exactly the comments.
#include "velora/odbc/SQLTokens.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace velora;
using namespace velora::odbc;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string sql(reinterpret_cast<const char*>(data), size);
    for (const TSQLDialect dialect : {TSQLDialect::Standard, TSQLDialect::PostgreSQL, TSQLDialect::MySQL}) {
        for (const bool escapes : {true, false}) {
            const TSQLRules rules{dialect, escapes};
            const auto all = SQLTokens(sql, rules, true);
            const auto code = SQLTokens(sql, rules, false);
            std::size_t at = 0;
            std::size_t codeAt = 0;
            for (std::size_t k = 0; k < all.size(); ++k) {
                const TSQLToken& t = all[k];
                if (t.Begin < at || t.End <= t.Begin || t.End > sql.size() || t.Depth < 0) std::abort();
                for (std::size_t i = at; i < t.Begin; ++i)
                    if (!std::isspace(static_cast<unsigned char>(sql[i]))) std::abort();
                if (t.Open && (k + 1 != all.size() || t.End != sql.size())) std::abort();
                if (t.Kind != TSQLTokenKind::Comment) {
                    if (codeAt >= code.size() || code[codeAt].Begin != t.Begin || code[codeAt].End != t.End) std::abort();
                    ++codeAt;
                }
                at = t.End;
            }
            if (codeAt != code.size()) std::abort();
            for (std::size_t i = at; i < sql.size(); ++i)
                if (!std::isspace(static_cast<unsigned char>(sql[i]))) std::abort();
        }
    }
    return 0;
}
