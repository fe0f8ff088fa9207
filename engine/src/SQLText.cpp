// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Table names, statement separators and transaction statements in SQL text,
// read through the SQL text module's tokens.
#include "velora/engine/SQLText.h"

#include "velora/engine/ODBCConnect.h"

#include <cctype>
#include <string>
#include <vector>

namespace velora {

namespace {

/// Reads one part of a dotted name at `i`; answers false when there is none.
bool ReadNamePart(std::string_view s, std::size_t& i, char quote) {
    if (i >= s.size()) return false;
    if (s[i] == quote) {
        std::size_t j = i + 1;
        bool any = false;
        for (;; ++j) {
            if (j >= s.size()) return false;
            if (s[j] != quote) {
                any = true;
                continue;
            }
            if (j + 1 < s.size() && s[j + 1] == quote) {
                any = true;
                ++j;
                continue;
            }
            break;
        }
        i = j + 1;
        return any;
    }
    std::size_t j = i;
    while (j < s.size() && s[j] != '.') ++j;
    if (!IsPlainIdentifier(s.substr(i, j - i))) return false;
    i = j;
    return true;
}

}  // namespace

TSQLDialect SQLDialectOf(SQLHDBC dbc) {
    char name[128] = {};
    SQLSMALLINT length = 0;
    if (!ODBCSucceeded(odbc::SQLGetInfo(dbc, SQL_DBMS_NAME, name, sizeof name, &length))) return TSQLDialect::Standard;
    return odbc::SQLDialectOfDbms(name);
}

char IdentifierQuoteChar(SQLHDBC dbc) {
    char quote[8] = {};
    SQLSMALLINT length = 0;
    if (!ODBCSucceeded(odbc::SQLGetInfo(dbc, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &length)) ||
        quote[0] == '\0' || quote[0] == ' ')
        return '"';
    return quote[0];
}

bool IsValidTableName(std::string_view name, char quote) {
    std::size_t i = 0;
    for (int part = 0; part < 3; ++part) {
        if (!ReadNamePart(name, i, quote)) return false;
        if (i == name.size()) return true;
        if (name[i] != '.') return false;
        ++i;
    }
    return false;
}

namespace {

using odbc::TSQLToken;
using K = odbc::TSQLTokenKind;

/// The statement's words, past comments: what a transaction statement needs.
class TWords {
public:
    TWords(std::string_view s, TSQLDialect dialect) : S(s), Tokens(odbc::SQLTokens(s, {dialect})) {}

    /// The next word, upper-cased ("" when the next token is no word).
    std::string Next() {
        if (I >= Tokens.size() || Tokens[I].Kind != K::Word) return {};
        std::string word(odbc::TokenText(S, Tokens[I++]));
        for (char& c : word) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return word;
    }
    /// Where the next word would be read from.
    std::size_t Pos() const { return I < Tokens.size() ? Tokens[I].Begin : S.size(); }
    /// True when nothing but one final ';' is left.
    bool AtEnd() const {
        return I == Tokens.size() || (I + 1 == Tokens.size() && odbc::IsSQLPunct(S, Tokens[I], ';'));
    }

private:
    std::string_view S;
    std::vector<TSQLToken> Tokens;
    std::size_t I = 0;
};

}  // namespace

TTransactionStatement TransactionStatementOf(std::string_view text, TSQLDialect dialect) {
    using K = TTransactionKind;
    TWords words(text, dialect);
    const std::string first = words.Next();
    // The word after a key word and its optional noise word (WORK, or
    // TRANSACTION), and where it starts.
    std::string word;
    std::size_t modesAt = 0;
    auto noiseAt = [&](bool transactionToo) {
        modesAt = words.Pos();
        word = words.Next();
        if (word == "WORK" || (transactionToo && word == "TRANSACTION")) {
            modesAt = words.Pos();
            word = words.Next();
        }
    };
    if (first == "BEGIN") {
        const bool mysql = dialect == TSQLDialect::MySQL;
        noiseAt(!mysql);
        if (word.empty() && words.AtEnd()) return {K::Begin, true};
        if (mysql) return {};
        if (dialect == TSQLDialect::Standard) {
            // SQLite: BEGIN [DEFERRED | IMMEDIATE | EXCLUSIVE] [TRANSACTION].
            if (word != "DEFERRED" && word != "IMMEDIATE" && word != "EXCLUSIVE") return {};
            const bool deferred = word == "DEFERRED";
            std::string rest = words.Next();
            if (rest == "TRANSACTION") rest = words.Next();
            if (!rest.empty() || !words.AtEnd()) return {};
            return {K::Begin, deferred};
        }
        return {K::Begin, false, modesAt};  // PostgreSQL: ISOLATION LEVEL, READ ONLY, ...
    }
    if (first == "START") {
        if (dialect == TSQLDialect::Standard || words.Next() != "TRANSACTION") return {};
        modesAt = words.Pos();
        const bool plain = words.AtEnd();
        return {K::Begin, plain, plain ? 0 : modesAt};
    }
    const bool commit = first == "COMMIT" || (first == "END" && dialect != TSQLDialect::MySQL);
    const bool rollback = first == "ROLLBACK" || (first == "ABORT" && dialect == TSQLDialect::PostgreSQL);
    if (commit || rollback) {
        noiseAt(true);
        if (word.empty() && words.AtEnd()) return {commit ? K::Commit : K::Rollback, true};
        return {K::Other, false};  // TO [SAVEPOINT] name, AND [NO] CHAIN, RELEASE, PREPARED 'id'
    }
    if (first == "SAVEPOINT" || first == "RELEASE") return {K::Other, false};
    return {};
}

std::string SelectTableName(std::string_view s, TSQLDialect dialect) {
    const std::vector<TSQLToken> tokens = odbc::SQLTokens(s, {dialect}, true);
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (tokens[i].Depth != 0 || !odbc::IsSQLWord(s, tokens[i], "FROM")) continue;
        // One to three name parts joined by '.', nothing between them.
        std::size_t j = i + 1;
        for (int part = 0; part < 3; ++part) {
            if (j >= tokens.size() || tokens[j].Open ||
                (tokens[j].Kind != K::Word && tokens[j].Kind != K::QuotedName))
                return {};
            if (part == 2 || j + 2 >= tokens.size() || !odbc::IsSQLPunct(s, tokens[j + 1], '.') ||
                tokens[j + 1].Begin != tokens[j].End || tokens[j + 2].Begin != tokens[j + 1].End)
                break;
            j += 2;
        }
        return std::string(s.substr(tokens[i + 1].Begin, tokens[j].End - tokens[i + 1].Begin));
    }
    return {};
}

namespace {

/// Reads a table or column name of one to three parts joined by '.' at
/// tokens[i]; answers the index after it, or 0 when there is none.
std::size_t SkipDottedName(std::string_view s, const std::vector<TSQLToken>& tokens, std::size_t i) {
    for (int part = 0; part < 3; ++part) {
        if (i >= tokens.size() || (tokens[i].Kind != K::Word && tokens[i].Kind != K::QuotedName)) return 0;
        ++i;
        if (part == 2 || i >= tokens.size() || !odbc::IsSQLPunct(s, tokens[i], '.')) break;
        ++i;
    }
    return i;
}

}  // namespace

bool RepeatableInsertOf(std::string_view s, TSQLDialect dialect, TRepeatableInsert& insert) {
    std::vector<TSQLToken> tokens;
    for (const TSQLToken& t : odbc::SQLTokens(s, {dialect}, true)) {
        if (t.Open) return false;
        if (t.Kind != K::Comment) tokens.push_back(t);
    }
    std::size_t i = 0;
    if (tokens.size() < 5 || !odbc::IsSQLWord(s, tokens[0], "INSERT") || !odbc::IsSQLWord(s, tokens[1], "INTO"))
        return false;
    i = SkipDottedName(s, tokens, 2);
    if (i == 0 || i >= tokens.size()) return false;
    if (odbc::IsSQLPunct(s, tokens[i], '(')) {
        // The column list: names separated by commas.
        for (++i;; ++i) {
            if (i >= tokens.size() || (tokens[i].Kind != K::Word && tokens[i].Kind != K::QuotedName)) return false;
            if (++i >= tokens.size()) return false;
            if (odbc::IsSQLPunct(s, tokens[i], ')')) break;
            if (!odbc::IsSQLPunct(s, tokens[i], ',')) return false;
        }
        ++i;
    }
    if (i + 1 >= tokens.size() || !odbc::IsSQLWord(s, tokens[i], "VALUES") || !odbc::IsSQLPunct(s, tokens[i + 1], '('))
        return false;
    const std::size_t open = ++i;
    int markers = 0;
    bool typeName = false;  // the words of a type name after "::" (double precision)
    for (++i; i < tokens.size(); ++i) {
        const TSQLToken& t = tokens[i];
        if (t.Depth == 0 && odbc::IsSQLPunct(s, t, ')')) break;
        switch (t.Kind) {
            case K::Marker:
                ++markers;
                typeName = false;
                break;
            case K::String:
            case K::Number:
                typeName = false;
                break;
            case K::Cast:
                if (i + 1 >= tokens.size() || (tokens[i + 1].Kind != K::Word && tokens[i + 1].Kind != K::QuotedName))
                    return false;
                typeName = true;
                break;
            case K::Word:
                if (!typeName && !odbc::IsSQLWord(s, t, "NULL") && !odbc::IsSQLWord(s, t, "TRUE") &&
                    !odbc::IsSQLWord(s, t, "FALSE") && !odbc::IsSQLWord(s, t, "DEFAULT"))
                    return false;
                break;
            case K::QuotedName:
                if (!typeName) return false;
                break;
            case K::Punct: {
                const char c = s[t.Begin];
                if (c != ',' && c != '(' && c != ')' && c != '+' && c != '-' && c != '.') return false;
                // Only a type's size may follow a type name in parentheses.
                if (c != '(' && c != ')' && !(typeName && c == ',' && t.Depth > 1)) typeName = false;
                break;
            }
            default:
                return false;
        }
    }
    if (i >= tokens.size() || markers == 0) return false;
    // Nothing but a final ';' after the row.
    const std::size_t close = i;
    if (close + 1 < tokens.size() && (close + 2 != tokens.size() || !odbc::IsSQLPunct(s, tokens[close + 1], ';')))
        return false;
    insert.RowBegin = tokens[open].Begin;
    insert.RowEnd = tokens[close].End;
    insert.Markers = markers;
    return true;
}

std::string RepeatedInsertText(std::string_view s, const TRepeatableInsert& insert, int rows) {
    const std::string_view row = s.substr(insert.RowBegin, insert.RowEnd - insert.RowBegin);
    std::string out;
    out.reserve(s.size() + static_cast<std::size_t>(rows > 1 ? rows - 1 : 0) * (row.size() + 2));
    out.append(s.substr(0, insert.RowEnd));
    for (int k = 1; k < rows; ++k) {
        out += ", ";
        out += row;
    }
    out.append(s.substr(insert.RowEnd));
    return out;
}

bool HasStatementSeparator(std::string_view s, TSQLDialect dialect) {
    // Where the server's reading depends on a mode the library cannot see
    // (MySQL's NO_BACKSLASH_ESCAPES), a separator in either reading refuses
    // the text. An unterminated literal or comment counts as one too: the
    // server's reading of what follows cannot be known.
    for (const bool escapes : {true, false}) {
        for (const TSQLToken& t : odbc::SQLTokens(s, {dialect, escapes}, true))
            if (t.Open || odbc::IsSQLPunct(s, t, ';')) return true;
        if (dialect != TSQLDialect::MySQL) break;
    }
    return false;
}

}  // namespace velora
