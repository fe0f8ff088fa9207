// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Fuzz target: the engine's readings of SQL text (transaction statements, the
// table a SELECT reads, statement separators, one-row INSERTs that can be
// repeated) in every dialect, on any text.
// Besides the sanitizers it checks what they promise: the table name is a
// piece of the text, and the modes of a BEGIN start inside it.
#include "velora/engine/SQLText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

using namespace velora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string sql(reinterpret_cast<const char*>(data), size);
    for (TSQLDialect dialect : {TSQLDialect::Standard, TSQLDialect::PostgreSQL, TSQLDialect::MySQL}) {
        const TTransactionStatement t = TransactionStatementOf(sql, dialect);
        if (t.ModesAt > sql.size()) std::abort();
        if (t.Kind == TTransactionKind::None && t.Plain) std::abort();
        const std::string table = SelectTableName(sql, dialect);
        if (!table.empty() && sql.find(table) == std::string::npos) std::abort();
        (void)HasStatementSeparator(sql, dialect);
        // A repeatable INSERT's row lies inside the text, and two rows of it
        // hold twice its markers and read as no repeatable INSERT again.
        TRepeatableInsert insert;
        if (RepeatableInsertOf(sql, dialect, insert)) {
            if (insert.RowBegin >= insert.RowEnd || insert.RowEnd > sql.size() || insert.Markers < 1) std::abort();
            if (RepeatableInsertOf(RepeatedInsertText(sql, insert, 2), dialect, insert)) std::abort();
        }
    }
    return 0;
}
