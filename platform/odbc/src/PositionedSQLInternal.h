// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// SQL text services of the cursor library: recognising positioned statements
// (UPDATE <table> SET ... WHERE CURRENT OF <cursor>, DELETE FROM <table> WHERE
// CURRENT OF <cursor>), finding the single table a SELECT reads, dropping a
// FOR UPDATE clause the data source does not know, counting parameter
// markers, and quoting identifiers the library writes into its own
// statements. The tokenizer (SQLTokens.h) knows string literals, quoted identifiers and
// comments, so a "?" or a WHERE inside them is never taken for SQL.
// This file is not part of the Velora API.
#pragma once

#include "velora/odbc/SQLTokens.h"

#include <sql.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velora::odbc::cursorlib {

/// How the data source spells SQL text, as far as scanning it needs.
using SqlDialect = TSQLRules;

/// One part of a dotted name such as schema.table, without its quotes.
struct NamePart {
    std::string Text;
    bool Quoted = false;
};

/// One "column = value" item of a SET clause.
struct Assignment {
    std::string Column;  ///< the column, unquoted (last part of a dotted name)
    int Param = 0;       ///< 1-based marker number when the value is a lone "?", else 0
};

/// A positioned UPDATE or DELETE as the application wrote it.
struct PositionedStatement {
    enum class Kind { Update, Delete };
    Kind Op = Kind::Update;
    std::string Table;                    ///< the table as written (may carry an alias)
    std::vector<NamePart> TableParts;     ///< the table's dotted name, unquoted
    std::string SetClause;                ///< UPDATE: the assignments as written
    std::vector<Assignment> Assignments;  ///< UPDATE: the assignments, in order
    int MarkerCount = 0;                  ///< parameter markers in the SET clause
    std::string CursorName;               ///< the cursor named after CURRENT OF, unquoted
};

/// A table reference: its text as written and its dotted name.
struct TableRef {
    std::string Text;
    std::vector<NamePart> Parts;
};

/// Recognises a positioned statement; nullopt for any other text.
std::optional<PositionedStatement> ParsePositioned(std::string_view text, const SqlDialect& dialect);

/// The one table a plain "SELECT ... FROM <table> [WHERE|ORDER BY|...]" reads;
/// nullopt for joins, lists of tables, sub-queries and unions.
std::optional<TableRef> SingleTableOf(std::string_view select, const SqlDialect& dialect);

/// The text of a SELECT without its closing "FOR UPDATE [OF ...]" clause;
/// nullopt when it has none.
std::optional<std::string> WithoutForUpdate(std::string_view select, const SqlDialect& dialect);

/// Number of parameter markers in a text.
int CountMarkers(std::string_view text, const SqlDialect& dialect);

/// A dotted name parsed from text such as `sales."Order Lines"`; empty when
/// the text is not a plain dotted name.
std::vector<NamePart> ParseName(std::string_view text, const SqlDialect& dialect);

/// The name as the library writes it into SQL: unchanged when it is a plain
/// identifier that the data source reads back as itself, else quoted with
/// `quote` (the SQL_IDENTIFIER_QUOTE_CHAR answer; a blank means the data
/// source cannot quote). `identifierCase` is the SQL_IDENTIFIER_CASE answer:
/// with SQL_IC_LOWER (PostgreSQL) a name holding capitals needs quotes.
std::string QuoteIdentifier(const std::string& name, const std::string& quote, SQLUSMALLINT identifierCase);

/// Case-insensitive equality of ASCII names.
bool SameName(std::string_view a, std::string_view b);

/// ASCII upper case.
std::string UpperCase(std::string_view text);

}  // namespace velora::odbc::cursorlib
