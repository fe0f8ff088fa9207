// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The SQL tokenizer, reserved words, name quoting and script splitter (see
// SQLTokens.h). The tokenizer reads one token at a time from any position,
// so the splitter can read text that arrives in pieces without reading it
// again from the start.
#include "velora/odbc/SQLTokens.h"

#include <sqlext.h>

#include <algorithm>
#include <array>
#include <cctype>

namespace velora::odbc {

namespace {

using K = TSQLTokenKind;

bool IsWordStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool IsWordChar(unsigned char c) { return std::isalnum(c) || c == '_' || c == '$' || c >= 0x80; }
bool IsBlank(unsigned char c) { return std::isspace(c) != 0; }

char Upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }

/// The index after a quoted run opened at text[i] and closed by `close` (a
/// doubled closer stands for itself); npos when it never closes.
std::size_t SkipQuoted(std::string_view text, std::size_t i, char close, bool backslash) {
    for (std::size_t j = i + 1; j < text.size(); ++j) {
        if (backslash && text[j] == '\\') {
            ++j;
            continue;
        }
        if (text[j] != close) continue;
        if (j + 1 < text.size() && text[j + 1] == close) {
            ++j;
            continue;
        }
        return j + 1;
    }
    return std::string_view::npos;
}

/// PostgreSQL's $tag$ at text[i] == '$': the tag's length, or 0 when this is
/// no dollar quote ($1 is a parameter of the server's own).
std::size_t DollarTagLength(std::string_view text, std::size_t i) {
    std::size_t j = i + 1;
    if (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) return 0;
    while (j < text.size() && text[j] != '$' && IsWordChar(static_cast<unsigned char>(text[j]))) ++j;
    return j < text.size() && text[j] == '$' ? j - i + 1 : 0;
}

/// Sorted, so that a lookup is a binary search.
constexpr std::array<std::string_view, 101> kReservedWords = {
    "ADD", "ALL", "ALTER", "ANALYZE", "AND", "ANY", "AS", "ASC", "BETWEEN", "BY", "CASE", "CAST", "CHAR", "CHECK",
    "COLLATE", "COLUMN", "CONSTRAINT", "CREATE", "CROSS", "CURRENT", "CURRENT_DATE", "CURRENT_TIME",
    "CURRENT_TIMESTAMP", "CURRENT_USER", "DATABASE", "DATE", "DEFAULT", "DELETE", "DESC", "DISTINCT", "DROP",
    "ELSE", "END", "EXCEPT", "EXISTS", "FALSE", "FETCH", "FOR", "FOREIGN", "FROM", "FULL", "GRANT", "GROUP",
    "GROUPS", "HAVING", "IN", "INDEX", "INNER", "INSERT", "INTEGER", "INTERSECT", "INTERVAL", "INTO", "IS", "JOIN",
    "KEY", "LEFT", "LIKE", "LIMIT", "NATURAL", "NOT", "NULL", "OF", "OFFSET", "ON", "OR", "ORDER", "OUTER",
    "PRIMARY", "RANGE", "RANK", "REFERENCES", "REPLACE", "RIGHT", "ROW", "ROWS", "SCHEMA", "SELECT", "SESSION_USER",
    "SET", "SOME", "TABLE", "THEN", "TIME", "TIMESTAMP", "TO", "TRIGGER", "TRUE", "UNION", "UNIQUE", "UPDATE",
    "USER", "USING", "VALUE", "VALUES", "VARCHAR", "VIEW", "WHEN", "WHERE", "WINDOW", "WITH"};

}  // namespace

TSQLDialect SQLDialectOfDbms(std::string_view dbmsName) {
    std::string dbms(dbmsName);
    for (char& c : dbms) c = Upper(c);
    if (dbms.find("POSTGRES") != std::string::npos) return TSQLDialect::PostgreSQL;
    if (dbms.find("MARIADB") != std::string::npos || dbms.find("MYSQL") != std::string::npos) return TSQLDialect::MySQL;
    return TSQLDialect::Standard;
}

TSQLToken ReadSQLToken(std::string_view text, std::size_t i, const TSQLRules& rules, int& depth) {
    const bool mysql = rules.Dialect == TSQLDialect::MySQL;
    const bool pg = rules.Dialect == TSQLDialect::PostgreSQL;
    const std::size_t n = text.size();
    const auto c = static_cast<unsigned char>(text[i]);
    const char next = i + 1 < n ? text[i + 1] : '\0';
    TSQLToken t{K::Punct, i, i + 1, depth, false};
    auto quoted = [&](K kind, std::size_t from, char close, bool backslash) {
        const std::size_t end = SkipQuoted(text, from, close, backslash);
        t.Kind = kind;
        t.Open = end == std::string_view::npos;
        t.End = t.Open ? n : end;
        return t;
    };
    auto toLineEnd = [&] {
        const std::size_t end = text.find('\n', i);
        t.Kind = K::Comment;
        t.End = end == std::string_view::npos ? n : end;
        return t;
    };

    // Comments.
    if (c == '-' && next == '-') {
        // MySQL reads "--" as a comment only before a blank or a control
        // character; "--x" is two minus signs.
        const auto after = static_cast<unsigned char>(i + 2 < n ? text[i + 2] : ' ');
        if (!mysql || IsBlank(after) || std::iscntrl(after)) return toLineEnd();
    }
    if (c == '#' && mysql) return toLineEnd();
    if (c == '/' && next == '*') {
        const char third = i + 2 < n ? text[i + 2] : '\0';
        if (!(mysql && (third == '!' || third == '+'))) {  // MySQL's /*! */ and /*+ */ hold SQL
            int nested = 1;
            std::size_t j = i + 2;
            while (j < n && nested > 0) {
                if (text[j] == '*' && j + 1 < n && text[j + 1] == '/') {
                    --nested;
                    j += 2;
                } else if (pg && text[j] == '/' && j + 1 < n && text[j + 1] == '*') {
                    ++nested;
                    j += 2;
                } else {
                    ++j;
                }
            }
            t.Kind = K::Comment;
            t.End = j;
            t.Open = nested > 0;
            return t;
        }
    }

    // Literals and quoted names.
    if (c == '\'') return quoted(K::String, i, '\'', mysql && rules.BackslashEscapes);
    if (c == '"') {
        if (mysql) return quoted(K::String, i, '"', rules.BackslashEscapes);
        return quoted(K::QuotedName, i, '"', false);
    }
    if (c == '`' && !pg) return quoted(K::QuotedName, i, '`', false);
    if (c == '$' && pg) {
        if (const std::size_t tag = DollarTagLength(text, i)) {
            const std::size_t end = text.find(text.substr(i, tag), i + tag);
            t.Kind = K::String;
            t.Open = end == std::string_view::npos;
            t.End = t.Open ? n : end + tag;
            return t;
        }
    }
    if (IsWordStart(c)) {
        std::size_t j = i;
        while (j < n && IsWordChar(static_cast<unsigned char>(text[j]))) ++j;
        if (j == i + 1 && j < n && text[j] == '\'') {
            // E'...' (PostgreSQL's escape strings), N'...', X'...', B'...'.
            const char prefix = Upper(static_cast<char>(c));
            if (prefix == 'E' || prefix == 'N' || prefix == 'X' || prefix == 'B')
                return quoted(K::String, j, '\'', (pg && prefix == 'E') || (mysql && rules.BackslashEscapes));
        }
        t.Kind = K::Word;
        t.End = j;
        return t;
    }
    if (std::isdigit(c)) {
        std::size_t j = i;
        while (j < n && (std::isalnum(static_cast<unsigned char>(text[j])) || text[j] == '.')) ++j;
        t.Kind = K::Number;
        t.End = j;
        return t;
    }

    // Parameters, casts and markers.
    if (c == ':') {
        if (next == ':') {
            t.Kind = K::Cast;
            t.End = i + 2;
            return t;
        }
        if (next == '"' || next == '`' || next == '\'') {
            const std::size_t end = SkipQuoted(text, i + 1, next, false);
            t.Kind = K::Param;
            t.Open = end == std::string_view::npos;
            t.End = t.Open ? n : end;
            return t;
        }
        // A name, or a number (":1"): the query's markers take both.
        if (IsWordStart(static_cast<unsigned char>(next)) || std::isdigit(static_cast<unsigned char>(next))) {
            std::size_t j = i + 1;
            while (j < n && IsWordChar(static_cast<unsigned char>(text[j])) && text[j] != '$') ++j;
            t.Kind = K::Param;
            t.End = j;
            return t;
        }
    }
    if (c == '?') {
        t.Kind = K::Marker;
        return t;
    }
    if (c == '(') ++depth;
    if (c == ')' && depth > 0) t.Depth = --depth;
    return t;
}

std::vector<TSQLToken> SQLTokens(std::string_view text, const TSQLRules& rules, bool comments) {
    std::vector<TSQLToken> out;
    int depth = 0;
    for (std::size_t i = 0; i < text.size();) {
        if (IsBlank(static_cast<unsigned char>(text[i]))) {
            ++i;
            continue;
        }
        const TSQLToken t = ReadSQLToken(text, i, rules, depth);
        if (comments || t.Kind != K::Comment) out.push_back(t);
        i = t.End;
    }
    return out;
}

bool IsSQLWord(std::string_view text, const TSQLToken& t, std::string_view upper) {
    if (t.Kind != K::Word || t.End - t.Begin != upper.size()) return false;
    for (std::size_t k = 0; k < upper.size(); ++k)
        if (Upper(text[t.Begin + k]) != upper[k]) return false;
    return true;
}

std::string UnquotedName(std::string_view quoted) {
    if (!quoted.empty() && quoted.front() == ':') quoted.remove_prefix(1);
    if (quoted.empty()) return {};
    const char q = quoted.front();
    if (q != '"' && q != '`' && q != '\'') return std::string(quoted);
    std::string out;
    const std::size_t end = quoted.size() > 1 && quoted.back() == q ? quoted.size() - 1 : quoted.size();
    for (std::size_t k = 1; k < end; ++k) {
        out += quoted[k];
        if (quoted[k] == q && k + 1 < end && quoted[k + 1] == q) ++k;
    }
    return out;
}

bool IsReservedWord(std::string_view name) {
    std::string upper(name);
    for (char& c : upper) c = Upper(c);
    return std::binary_search(kReservedWords.begin(), kReservedWords.end(), std::string_view(upper));
}

bool IsPlainIdentifier(std::string_view name) {
    if (name.empty() || !IsWordStart(static_cast<unsigned char>(name[0]))) return false;
    return std::all_of(name.begin(), name.end(), [](char c) { return IsWordChar(static_cast<unsigned char>(c)); });
}

bool NeedsQuoting(std::string_view name, SQLUSMALLINT identifierCase) {
    if (name.empty() || !(std::isalpha(static_cast<unsigned char>(name[0])) || name[0] == '_')) return true;
    for (char ch : name) {
        const auto c = static_cast<unsigned char>(ch);
        if (!(std::isalnum(c) || c == '_')) return true;
        // A data source that folds unquoted names would read another name.
        if (identifierCase == SQL_IC_LOWER && std::isupper(c)) return true;
        if (identifierCase == SQL_IC_UPPER && std::islower(c)) return true;
    }
    return IsReservedWord(name);
}

std::string QuoteName(std::string_view name, char quote) {
    std::string out(1, quote);
    for (char c : name) {
        out += c;
        if (c == quote) out += c;
    }
    out += quote;
    return out;
}

namespace {
constexpr std::string_view kExactLabel = "velora_exact_";
}  // namespace

std::string ExactRealCompanion(std::string_view expr, int column) {
    const std::string e(expr);
    return "CASE WHEN typeof(" + e + ") = 'real' THEN printf('%!.20e', " + e + ") END AS " +
           std::string(kExactLabel) + std::to_string(column);
}

int ExactRealCompanionOf(std::string_view label) {
    if (label.size() <= kExactLabel.size() || label.substr(0, kExactLabel.size()) != kExactLabel) return 0;
    int column = 0;
    for (const char c : label.substr(kExactLabel.size())) {
        if (c < '0' || c > '9' || column > 100000) return 0;
        column = column * 10 + (c - '0');
    }
    return column;
}

// ---- the splitter -------------------------------------------------------------

bool TSQLSplitter::Next(std::string& statement) {
    for (std::size_t i = FScanned; i < FText.size();) {
        if (IsBlank(static_cast<unsigned char>(FText[i]))) {
            FScanned = ++i;
            continue;
        }
        int depth = FDepth;
        const TSQLToken t = ReadSQLToken(FText, i, FRules, depth);
        const bool semicolon = IsSQLPunct(FText, t, ';');
        // A token that reaches the end of the text may go on in the next
        // piece ("-" of "--", a word, an open literal): read it again then.
        if (!semicolon && t.End >= FText.size()) return false;
        // So may a PostgreSQL $tag whose closing '$' is still to come.
        if (FRules.Dialect == TSQLDialect::PostgreSQL && IsSQLPunct(FText, t, '$')) {
            std::size_t j = t.End;
            while (j < FText.size() && FText[j] != '$' && IsWordChar(static_cast<unsigned char>(FText[j]))) ++j;
            if (j >= FText.size()) return false;
        }
        FDepth = depth;
        FScanned = i = t.End;
        if (!semicolon) {
            if (t.Kind != K::Comment) {
                if (FCodeBegin == std::string::npos) FCodeBegin = t.Begin;
                FCodeEnd = t.End;
            }
            continue;
        }
        // The statement without the comments around it: SQLite's driver
        // refuses a ';' in them as a second statement.
        const bool empty = FCodeBegin == std::string::npos;
        if (!empty) statement = FText.substr(FCodeBegin, FCodeEnd - FCodeBegin);
        FText.erase(0, t.End);
        FScanned = i = 0;
        FDepth = 0;
        FCodeBegin = std::string::npos;
        FCodeEnd = 0;
        if (!empty) return true;
    }
    return false;
}

std::string TSQLSplitter::TakeRest() {
    // What is left is all there is: its last token is read to the end.
    bool open = false;
    for (std::size_t i = FScanned; i < FText.size();) {
        if (IsBlank(static_cast<unsigned char>(FText[i]))) {
            ++i;
            continue;
        }
        const TSQLToken t = ReadSQLToken(FText, i, FRules, FDepth);
        i = t.End;
        if (t.Kind == K::Comment) continue;
        if (FCodeBegin == std::string::npos) FCodeBegin = t.Begin;
        FCodeEnd = t.End;
        open = open || t.Open;
    }
    std::string rest;
    if (FCodeBegin != std::string::npos) rest = FText.substr(FCodeBegin, (open ? FText.size() : FCodeEnd) - FCodeBegin);
    while (!rest.empty() && IsBlank(static_cast<unsigned char>(rest.back()))) rest.pop_back();
    FText.clear();
    FScanned = 0;
    FDepth = 0;
    FCodeBegin = std::string::npos;
    FCodeEnd = 0;
    return rest;
}

bool TSQLSplitter::Pending() const {
    if (FCodeBegin != std::string::npos) return true;
    int depth = FDepth;
    for (std::size_t i = FScanned; i < FText.size();) {
        if (IsBlank(static_cast<unsigned char>(FText[i]))) {
            ++i;
            continue;
        }
        const TSQLToken t = ReadSQLToken(FText, i, FRules, depth);
        if (t.Kind != K::Comment) return true;
        i = t.End;
    }
    return false;
}

bool TSQLSplitter::InValue() const {
    int depth = FDepth;
    for (std::size_t i = FScanned; i < FText.size();) {
        if (IsBlank(static_cast<unsigned char>(FText[i]))) {
            ++i;
            continue;
        }
        const TSQLToken t = ReadSQLToken(FText, i, FRules, depth);
        if (t.Open) return t.Kind == K::String;
        i = t.End;
    }
    return false;
}

}  // namespace velora::odbc
