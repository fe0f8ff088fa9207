// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Reading SQL text the library builds statements from: which table names the
// table dataset accepts, whether a clause holds a second statement, the table
// a SELECT reads and the transaction statements. All of them read the tokens
// of the SQL text module (velora/odbc/SQLTokens.h), so the table dataset, the
// query, the update-SQL generator and the cursor library agree on them.
#pragma once

#include "velora/odbc/ODBCBoundary.h"
#include "velora/odbc/SQLTokens.h"

#include <string>
#include <string_view>

namespace velora {

/// The dialect of a connection, from its DBMS name; Standard when unknown.
TSQLDialect SQLDialectOf(SQLHDBC dbc);
/// The connection's identifier quote character ('"' when the driver names
/// none or a blank).
char IdentifierQuoteChar(SQLHDBC dbc);

using odbc::IsPlainIdentifier;  // the SQL text module's rule
/// One to three dot-separated parts (table, schema.table,
/// catalog.schema.table), each a plain identifier or a name quoted with
/// `quote` (the quote doubled inside, nothing empty).
bool IsValidTableName(std::string_view name, char quote);
/// Whether `text` holds a ';' outside string literals, quoted names and
/// comments, as the dialect's server reads them. An unterminated literal or
/// comment counts as a separator too: the server's reading of what follows
/// cannot be known.
bool HasStatementSeparator(std::string_view text, TSQLDialect dialect);

/// The table a SELECT reads, as written after its first FROM outside
/// parentheses, literals, quoted names and comments: one to three parts
/// joined by '.', each a plain identifier or a name quoted with '"' (or '`'
/// on MySQL), quotes kept ("Sales Data", main.Sales, public."Mixed Case").
/// Empty when the text has no such FROM or what follows it is no name (a
/// subquery). Records are written back to this table.
std::string SelectTableName(std::string_view text, TSQLDialect dialect);

/// A plain one-row INSERT whose VALUES row can be repeated: `INSERT INTO
/// <table> [(<columns>)] VALUES (<row>)` with nothing after the row but
/// blanks, comments and a final ';'. The row holds only parameter markers,
/// literals (strings, numbers, NULL, TRUE, FALSE, DEFAULT), signs and
/// `::` casts to a type name: nothing whose value could depend on the rows
/// the same statement inserts before it (no function, no subquery).
struct TRepeatableInsert {
    std::size_t RowBegin = 0;  ///< the row's '('
    std::size_t RowEnd = 0;    ///< just after the row's ')'
    int Markers = 0;           ///< '?' markers in the row
};

/// Reads `text` as such an INSERT; false for anything else (RETURNING, ON
/// CONFLICT, INSERT ... SELECT, several rows already, DEFAULT VALUES, a
/// marker outside the row, an unterminated literal or comment).
bool RepeatableInsertOf(std::string_view text, TSQLDialect dialect, TRepeatableInsert& insert);

/// The INSERT of `text` with its row written `rows` times (rows >= 1): the
/// markers of row k follow those of row k - 1.
std::string RepeatedInsertText(std::string_view text, const TRepeatableInsert& insert, int rows);

/// What a statement does to the connection's transaction.
enum class TTransactionKind : std::uint8_t {
    None,      ///< no transaction statement
    Begin,     ///< BEGIN [WORK | TRANSACTION], START TRANSACTION (SQLite: BEGIN [DEFERRED | IMMEDIATE | EXCLUSIVE])
    Commit,    ///< COMMIT [WORK | TRANSACTION], END [WORK | TRANSACTION] (not MySQL)
    Rollback,  ///< ROLLBACK [WORK | TRANSACTION], ABORT (PostgreSQL)
    Other,     ///< SAVEPOINT, RELEASE [SAVEPOINT], ROLLBACK ... TO, COMMIT/ROLLBACK with AND [NO] CHAIN,
               ///< RELEASE or PREPARED: transaction control that runs as written
};

struct TTransactionStatement {
    TTransactionKind Kind = TTransactionKind::None;
    /// Begin, Commit, Rollback: nothing follows the key words (SQLite's
    /// DEFERRED, its default, counts as nothing). A Begin with modes
    /// (ISOLATION LEVEL, READ ONLY, IMMEDIATE) is not plain.
    bool Plain = false;
    /// A Begin that is not plain: where its modes start in the text (the
    /// modes a PostgreSQL SET TRANSACTION takes as they are).
    std::size_t ModesAt = 0;
};

/// Reads the statement's first words, in any case, past blanks and the
/// dialect's comments; a final ';' may follow. MySQL's BEGIN followed by
/// anything but WORK is a compound statement (BEGIN NOT ATOMIC), not a
/// transaction statement.
TTransactionStatement TransactionStatementOf(std::string_view text, TSQLDialect dialect);

}  // namespace velora
