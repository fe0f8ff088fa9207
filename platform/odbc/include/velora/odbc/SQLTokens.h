// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The one reading of SQL text in Velora: a tokenizer that knows each data
// source's literals, quoted names, comments, parameters and casts; the one
// list of reserved words and the one rule for quoting a name; and the
// splitter of scripts into statements. Everything else that reads SQL text
// (the cursor library, the engine's table-name and transaction readers, the
// update-SQL generator, the velora tool) reads it through these tokens, so a
// ';' or a FROM inside a literal or a comment is never taken for SQL by one
// reader and for text by another.
//
// The dialects, from the DBMS name the driver reports (SQL_DBMS_NAME):
// - Standard (SQLite, others): '...' strings and "..." or `...` names with the
//   quote doubled inside; -- and /* */ comments.
// - PostgreSQL: Standard without `...`, plus E'...' strings with backslash
//   escapes, $tag$...$tag$ strings and nested /* /* */ */ comments.
// - MySQL (MariaDB, MySQL): '...' and "..." are strings with backslash
//   escapes (unless the server runs with NO_BACKSLASH_ESCAPES: BackslashEscapes
//   false), `...` names, # comments, "--" a comment only before a blank or a
//   control character, /*! ... */ and /*+ ... */ read as SQL.
// In every dialect ":name" (or :"quoted name") is a parameter where the
// colon follows no other colon, "::" is a cast, "?" a marker; so in
// "{:r = call f(:x)}" :r and :x are parameters and in ":v::int" v is one,
// followed by a cast.
#pragma once

#include "velora/odbc/SQLDialect.h"

#include <sql.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velora::odbc {

/// The dialect of a DBMS name as SQL_DBMS_NAME reports it; Standard when unknown.
TSQLDialect SQLDialectOfDbms(std::string_view dbmsName);

/// What the tokenizer needs to know about a data source.
struct TSQLRules {
    TSQLDialect Dialect = TSQLDialect::Standard;
    /// MySQL: '\' escapes the next character in '...' and "..." (the server's
    /// NO_BACKSLASH_ESCAPES mode turns this off). Other dialects ignore it.
    bool BackslashEscapes = true;
};

enum class TSQLTokenKind : std::uint8_t {
    Word,        ///< a keyword or plain name: letter, '_' or UTF-8 byte, then those, digits or '$'
    QuotedName,  ///< "..." (not MySQL) or `...` (not PostgreSQL), quotes included
    String,      ///< '...', E'...', N'...', X'...', B'...', $tag$...$tag$, MySQL's "..."
    Number,      ///< a digit, then letters, digits and '.'
    Param,       ///< :name, :1 or :"quoted name"
    Marker,      ///< ?
    Cast,        ///< ::
    Comment,     ///< -- or # to the line's end (the line break not included), /* */
    Punct,       ///< any other single character
};

struct TSQLToken {
    TSQLTokenKind Kind = TSQLTokenKind::Punct;
    std::size_t Begin = 0;  ///< the token is text[Begin, End)
    std::size_t End = 0;
    int Depth = 0;      ///< parentheses open before the token
    bool Open = false;  ///< a literal, quoted name or comment the text ends inside
};

/// The tokens of `text`, blanks left out; comments only when asked for.
std::vector<TSQLToken> SQLTokens(std::string_view text, const TSQLRules& rules, bool comments = false);

/// Reads the token starting at text[pos] (text[pos] is no blank); `depth` is
/// the parenthesis depth before it and is updated.
TSQLToken ReadSQLToken(std::string_view text, std::size_t pos, const TSQLRules& rules, int& depth);

/// The token's text.
inline std::string_view TokenText(std::string_view text, const TSQLToken& t) {
    return text.substr(t.Begin, t.End - t.Begin);
}
/// True when the token is the word `upper` (given in upper case), in any case.
bool IsSQLWord(std::string_view text, const TSQLToken& t, std::string_view upper);
/// True when the token is the punctuation character c.
inline bool IsSQLPunct(std::string_view text, const TSQLToken& t, char c) {
    return t.Kind == TSQLTokenKind::Punct && text[t.Begin] == c;
}
/// A quoted name or parameter name without its quotes, doubled quotes halved
/// (":\"Unit Price\"" -> Unit Price, ":v" -> v, "`a``b`" -> a`b).
std::string UnquotedName(std::string_view quoted);

/// The SQL reserved words a column or table is likely to be named (ORDER,
/// USER, DESC, DATE, RANK, ...), in any case: the one list every writer of
/// generated SQL quotes.
bool IsReservedWord(std::string_view name);
/// A letter or underscore, then letters, digits, underscores or '$'. Bytes of
/// UTF-8 sequences count as letters.
bool IsPlainIdentifier(std::string_view name);
/// True when a name written without quotes would not be read back as itself:
/// anything but ASCII letters, digits and '_' (a digit not first), a reserved
/// word, or letters the data source folds (`identifierCase` is the
/// SQL_IDENTIFIER_CASE answer: with SQL_IC_LOWER a capital needs quotes).
bool NeedsQuoting(std::string_view name, SQLUSMALLINT identifierCase);
/// quote + name (quote doubled inside) + quote.
std::string QuoteName(std::string_view name, char quote);

/// SQLite hands out a REAL as 15 digits; a cursor over SQLite asks for every
/// digit with a hidden companion column per column that may hold a double,
/// placed after the statement's own columns. Its select item for the
/// expression `expr` of result column `column` (1-based): the value as 21
/// digits when it is a REAL, else NULL, labelled so that the cursor library
/// can read it again for a row it changed.
std::string ExactRealCompanion(std::string_view expr, int column);
/// The result column (1-based) whose companion a column labelled `label` is;
/// 0 when it is none.
int ExactRealCompanionOf(std::string_view label);

/// Splits a script into statements at the ';' tokens that end them. Text is
/// added piece by piece (a file at once, or the lines a user types), so a
/// statement may span any number of pieces.
class TSQLSplitter {
public:
    TSQLSplitter() = default;
    explicit TSQLSplitter(TSQLDialect dialect) : FRules{dialect} {}
    void SetDialect(TSQLDialect dialect) { FRules.Dialect = dialect; }
    /// Appends text; a line the user typed should carry its newline.
    void Add(std::string_view text) { FText += text; }
    /// Takes the next complete statement (without its semicolon, the blanks
    /// around it and the comments before and after it); false when none is
    /// complete yet.
    bool Next(std::string& statement);
    /// The incomplete rest (blanks trimmed), taken away: for the end of a
    /// file, whose last statement needs no semicolon.
    std::string TakeRest();
    /// True when text of an unfinished statement is waiting.
    bool Pending() const;
    /// True when the text so far ends inside a quoted value ('...' or $tag$...$tag$).
    bool InValue() const;

private:
    std::string FText;
    std::size_t FScanned = 0;  ///< FText[0, FScanned) is read and holds no statement end
    int FDepth = 0;            ///< parentheses open at FScanned
    std::size_t FCodeBegin = std::string::npos;  ///< the statement's first token outside comments
    std::size_t FCodeEnd = 0;                    ///< the end of its last token outside comments
    TSQLRules FRules;
};

}  // namespace velora::odbc
