// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Identifiers, table names and statement separators in SQL text.
#include "velora/engine/SQLText.h"

#include "velora/engine/ODBCConnect.h"

#include <cctype>
#include <string>

namespace velora {

namespace {

bool IsLetter(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool IsNameChar(unsigned char c) { return IsLetter(c) || std::isdigit(c) || c == '$'; }

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

/// Skips a literal or quoted name opened at s[i] and closed by `close`;
/// answers the index after it, or npos when it never closes.
std::size_t SkipQuoted(std::string_view s, std::size_t i, char close, bool backslash) {
    for (std::size_t j = i + 1; j < s.size(); ++j) {
        if (backslash && s[j] == '\\') {
            ++j;
            continue;
        }
        if (s[j] != close) continue;
        if (j + 1 < s.size() && s[j + 1] == close) {
            ++j;
            continue;
        }
        return j + 1;
    }
    return std::string_view::npos;
}

/// PostgreSQL's $tag$ ... $tag$ at s[i] == '$': the index after the closing
/// tag, i itself when this is no dollar quote (a parameter $1), npos when it
/// never closes.
std::size_t SkipDollarQuoted(std::string_view s, std::size_t i) {
    std::size_t j = i + 1;
    while (j < s.size() && s[j] != '$' && IsNameChar(static_cast<unsigned char>(s[j])) && s[j] != '$') ++j;
    if (j >= s.size() || s[j] != '$') return i;
    if (j > i + 1 && std::isdigit(static_cast<unsigned char>(s[i + 1]))) return i;
    const std::string_view tag = s.substr(i, j - i + 1);
    const std::size_t end = s.find(tag, j + 1);
    return end == std::string_view::npos ? end : end + tag.size();
}

}  // namespace

TSQLDialect SQLDialectOf(SQLHDBC dbc) {
    char name[128] = {};
    SQLSMALLINT length = 0;
    if (!ODBCSucceeded(odbc::SQLGetInfo(dbc, SQL_DBMS_NAME, name, sizeof name, &length))) return TSQLDialect::Standard;
    std::string dbms(name);
    for (char& c : dbms) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (dbms.find("POSTGRES") != std::string::npos) return TSQLDialect::PostgreSQL;
    if (dbms.find("MARIADB") != std::string::npos || dbms.find("MYSQL") != std::string::npos) return TSQLDialect::MySQL;
    return TSQLDialect::Standard;
}

char IdentifierQuoteChar(SQLHDBC dbc) {
    char quote[8] = {};
    SQLSMALLINT length = 0;
    if (!ODBCSucceeded(odbc::SQLGetInfo(dbc, SQL_IDENTIFIER_QUOTE_CHAR, quote, sizeof quote, &length)) ||
        quote[0] == '\0' || quote[0] == ' ')
        return '"';
    return quote[0];
}

bool IsPlainIdentifier(std::string_view name) {
    if (name.empty() || !IsLetter(static_cast<unsigned char>(name[0]))) return false;
    for (unsigned char c : name)
        if (!IsNameChar(c)) return false;
    return true;
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

/// One reading of the text; `backslash` says whether MySQL strings take
/// backslash escapes (the server's NO_BACKSLASH_ESCAPES mode turns them off).
bool ScanForSeparator(std::string_view s, TSQLDialect dialect, bool backslash) {
    const bool mysql = dialect == TSQLDialect::MySQL;
    const bool pg = dialect == TSQLDialect::PostgreSQL;
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        const char next = i + 1 < s.size() ? s[i + 1] : '\0';
        std::size_t end = i + 1;
        if (c == ';') return true;
        if (c == '\'') {
            const bool escapes = (mysql && backslash) || (pg && i > 0 && (s[i - 1] == 'E' || s[i - 1] == 'e') &&
                                                          (i < 2 || !IsNameChar(static_cast<unsigned char>(s[i - 2]))));
            end = SkipQuoted(s, i, '\'', escapes);
        } else if (c == '"') {
            end = SkipQuoted(s, i, '"', mysql && backslash);
        } else if (c == '`' && mysql) {
            end = SkipQuoted(s, i, '`', false);
        } else if (c == '$' && pg) {
            end = SkipDollarQuoted(s, i);
            if (end == i) end = i + 1;
        } else if ((c == '-' && next == '-' &&
                    (!mysql || i + 2 >= s.size() || std::isspace(static_cast<unsigned char>(s[i + 2])) ||
                     std::iscntrl(static_cast<unsigned char>(s[i + 2])))) ||
                   (c == '#' && mysql)) {
            // MySQL reads "--" as a comment only before a blank or control
            // character; "--x" is two minus signs.
            end = s.find('\n', i);
            if (end == std::string_view::npos) end = s.size();
        } else if (c == '/' && next == '*') {
            int depth = 1;
            std::size_t j = i + 2;
            while (j < s.size() && depth > 0) {
                if (s[j] == '*' && j + 1 < s.size() && s[j + 1] == '/') {
                    --depth;
                    j += 2;
                } else if (pg && s[j] == '/' && j + 1 < s.size() && s[j + 1] == '*') {
                    ++depth;
                    j += 2;
                } else {
                    ++j;
                }
            }
            end = depth == 0 ? j : std::string_view::npos;
        }
        if (end == std::string_view::npos) return true;
        i = end;
    }
    return false;
}

}  // namespace

namespace {

/// The words of a statement, upper-cased, past blanks and comments; stops at
/// anything else. `tail` tells whether something other than a final ';' and
/// blanks follows the words read.
class TWordReader {
public:
    TWordReader(std::string_view s, TSQLDialect dialect) : S(s), Dialect(dialect) {}

    /// The next word ("" when the next token is no word).
    std::string Next() {
        Skip();
        std::string word;
        while (I < S.size() && IsNameChar(static_cast<unsigned char>(S[I])) && S[I] != '$')
            word += static_cast<char>(std::toupper(static_cast<unsigned char>(S[I++])));
        return word;
    }
    /// Where the next word would be read from.
    std::size_t Pos() const { return I; }
    /// True when only blanks, comments and one final ';' are left.
    bool AtEnd() {
        Skip();
        if (I < S.size() && S[I] == ';') {
            ++I;
            Skip();
        }
        return I >= S.size();
    }

private:
    void Skip() {
        const bool mysql = Dialect == TSQLDialect::MySQL;
        while (I < S.size()) {
            const char c = S[I];
            const char next = I + 1 < S.size() ? S[I + 1] : '\0';
            if (std::isspace(static_cast<unsigned char>(c))) {
                ++I;
            } else if ((c == '-' && next == '-' &&
                        (!mysql || I + 2 >= S.size() || std::isspace(static_cast<unsigned char>(S[I + 2])))) ||
                       (c == '#' && mysql)) {
                const std::size_t end = S.find('\n', I);
                I = end == std::string_view::npos ? S.size() : end + 1;
            } else if (c == '/' && next == '*') {
                int depth = 1;
                std::size_t j = I + 2;
                while (j < S.size() && depth > 0) {
                    if (S[j] == '*' && j + 1 < S.size() && S[j + 1] == '/') {
                        --depth;
                        j += 2;
                    } else if (Dialect == TSQLDialect::PostgreSQL && S[j] == '/' && j + 1 < S.size() &&
                               S[j + 1] == '*') {
                        ++depth;
                        j += 2;
                    } else {
                        ++j;
                    }
                }
                I = j;
            } else {
                return;
            }
        }
    }

    std::string_view S;
    TSQLDialect Dialect;
    std::size_t I = 0;
};

}  // namespace

TTransactionStatement TransactionStatementOf(std::string_view text, TSQLDialect dialect) {
    using K = TTransactionKind;
    TWordReader words(text, dialect);
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
    const bool mysql = dialect == TSQLDialect::MySQL;
    const bool pg = dialect == TSQLDialect::PostgreSQL;
    auto quoteAt = [&](std::size_t i) { return s[i] == '"' || (mysql && s[i] == '`'); };
    int depth = 0;
    for (std::size_t i = 0; i < s.size();) {
        const char c = s[i];
        const char next = i + 1 < s.size() ? s[i + 1] : '\0';
        std::size_t end = i + 1;
        if (c == '\'') {
            end = SkipQuoted(s, i, '\'', mysql || (pg && i > 0 && (s[i - 1] == 'E' || s[i - 1] == 'e')));
        } else if (quoteAt(i)) {
            end = SkipQuoted(s, i, c, false);
        } else if (c == '$' && pg) {
            end = SkipDollarQuoted(s, i);
            if (end == i) end = i + 1;
        } else if ((c == '-' && next == '-') || (c == '#' && mysql)) {
            end = s.find('\n', i);
        } else if (c == '/' && next == '*') {
            end = s.find("*/", i + 2);
            if (end != std::string_view::npos) end += 2;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            --depth;
        } else if (IsLetter(static_cast<unsigned char>(c))) {
            end = i;
            while (end < s.size() && IsNameChar(static_cast<unsigned char>(s[end]))) ++end;
            const bool from = end - i == 4 && depth == 0 && (i == 0 || !IsNameChar(static_cast<unsigned char>(s[i - 1]))) &&
                              std::toupper(static_cast<unsigned char>(s[i])) == 'F' &&
                              std::toupper(static_cast<unsigned char>(s[i + 1])) == 'R' &&
                              std::toupper(static_cast<unsigned char>(s[i + 2])) == 'O' &&
                              std::toupper(static_cast<unsigned char>(s[i + 3])) == 'M';
            if (from) {
                std::size_t j = end;
                while (j < s.size() && std::isspace(static_cast<unsigned char>(s[j]))) ++j;
                const std::size_t begin = j;
                for (int part = 0; part < 3; ++part) {
                    if (j >= s.size()) return {};
                    if (quoteAt(j)) {
                        j = SkipQuoted(s, j, s[j], false);
                        if (j == std::string_view::npos) return {};
                    } else {
                        const std::size_t start = j;
                        while (j < s.size() && IsNameChar(static_cast<unsigned char>(s[j]))) ++j;
                        if (j == start || !IsLetter(static_cast<unsigned char>(s[start]))) return {};
                    }
                    if (j >= s.size() || s[j] != '.') break;
                    ++j;
                }
                return std::string(s.substr(begin, j - begin));
            }
        }
        if (end == std::string_view::npos) return {};
        i = end;
    }
    return {};
}

bool HasStatementSeparator(std::string_view s, TSQLDialect dialect) {
    // Where the server's reading depends on a mode the library cannot see,
    // a separator in either reading refuses the text.
    return ScanForSeparator(s, dialect, true) || (dialect == TSQLDialect::MySQL && ScanForSeparator(s, dialect, false));
}

}  // namespace velora
