// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "SQLScript.h"

#include <algorithm>
#include <cctype>

namespace velora::app {

namespace {

/// The text without the blanks around it and the comments before it
/// (drivers differ in what they make of a leading comment).
std::string Trim(const std::string& s) {
    std::size_t first = 0;
    for (;;) {
        first = s.find_first_not_of(" \t\r\n", first);
        if (first == std::string::npos) return {};
        if (s.compare(first, 2, "--") == 0) {
            first = s.find('\n', first);
        } else if (s.compare(first, 2, "/*") == 0) {
            first = s.find("*/", first + 2);
            if (first != std::string::npos) first += 2;
        } else {
            break;
        }
        if (first == std::string::npos) return {};
    }
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

bool LineBreakInQuotedValue(const std::string& sql) {
    // The splitter's scanner, fed up to each line break in turn: a break
    // while a value quote is open is one inside the value.
    TStatementSplitter scan;
    std::string statement;
    for (std::size_t start = 0; start < sql.size();) {
        const std::size_t end = sql.find_first_of("\r\n", start);
        scan.Add(sql.substr(start, end == std::string::npos ? std::string::npos : end - start));
        while (scan.Next(statement)) {}
        if (end == std::string::npos) break;
        if (scan.InValue()) return true;
        scan.Add(std::string(1, sql[end]));
        start = end + 1;
    }
    return false;
}

void TStatementSplitter::Add(const std::string& text) { FText += text; }

bool TStatementSplitter::Next(std::string& statement) {
    const bool mysql = FDialect == TSQLDialect::MySQL;
    const bool pg = FDialect == TSQLDialect::PostgreSQL;
    auto nameChar = [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || static_cast<unsigned char>(c) >= 0x80;
    };
    for (std::size_t& i = FScanned; i < FText.size(); ++i) {
        const char c = FText[i];
        const bool more = i + 1 < FText.size();
        const char next = more ? FText[i + 1] : '\0';
        // MariaDB's /*! ... */ and /*+ ... */ are read as SQL, not comments.
        const bool executable = mysql && c == '/' && next == '*' && i + 2 < FText.size() &&
                                (FText[i + 2] == '!' || FText[i + 2] == '+');
        if (FQuote != '-' && FQuote != '*' && c != ';' && !std::isspace(static_cast<unsigned char>(c)) &&
            !(FQuote == 0 && ((c == '-' && next == '-') || (c == '#' && mysql) ||
                              (c == '/' && next == '*' && !executable))))
            FCodeEnd = i + 1;
        switch (FQuote) {
            case 0:
                if (c == '\'' || c == '"' || (c == '`' && !pg)) {
                    FQuote = c;
                    // MariaDB escapes in strings ("..." is one without
                    // ANSI_QUOTES); PostgreSQL only in E'...'.
                    FEscapes = (mysql && c != '`') ||
                               (pg && c == '\'' && i > 0 && (FText[i - 1] == 'E' || FText[i - 1] == 'e') &&
                                (i < 2 || !nameChar(FText[i - 2])));
                } else if (c == '-' && next == '-') {
                    // MariaDB reads "--" as a comment only before a blank.
                    if (mysql && i + 2 >= FText.size()) return false;  // wait for the next character
                    if (mysql && !std::isspace(static_cast<unsigned char>(FText[i + 2]))) break;
                    FQuote = '-';
                    ++i;
                } else if (c == '#' && mysql) {
                    FQuote = '-';
                } else if (c == '/' && next == '*' && !executable) {
                    FQuote = '*';
                    FDepth = 1;
                    ++i;
                } else if (c == '$' && !mysql) {
                    const std::size_t end = FText.find('$', i + 1);
                    if (end == std::string::npos) break;
                    const std::string tag = FText.substr(i, end - i + 1);
                    if (tag.find_first_not_of("$_abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789") !=
                            std::string::npos ||
                        (tag.size() > 2 && tag[1] >= '0' && tag[1] <= '9'))
                        break;
                    FQuote = '$';
                    FDollarTag = tag;
                    i = end;
                } else if (c == ';') {
                    // Without the comments after its text: SQLite's driver
                    // refuses a ';' in them as a second statement.
                    statement = Trim(FText.substr(0, std::min(FCodeEnd, i)));
                    FText.erase(0, i + 1);
                    i = 0;
                    FCodeEnd = 0;
                    if (statement.empty()) {
                        --i;  // the loop's ++i brings it back to 0
                        continue;
                    }
                    return true;
                }
                break;
            case '-':
                if (c == '\n') FQuote = 0;
                break;
            case '*':
                if (c == '*' && next == '/') {
                    if (--FDepth == 0) FQuote = 0;
                    ++i;
                } else if (pg && c == '/' && next == '*') {
                    ++FDepth;
                    ++i;
                } else if (!more && (c == '*' || c == '/')) {
                    return false;  // the pair may end in the next piece
                }
                break;
            case '$':
                if (FText.compare(i, FDollarTag.size(), FDollarTag) == 0) {
                    i += FDollarTag.size() - 1;
                    FQuote = 0;
                }
                break;
            default:
                if (FEscapes && c == '\\') {
                    if (!more) return false;  // the escaped character is in the next piece
                    ++i;
                } else if (c == FQuote) {
                    FQuote = 0;  // a doubled quote closes and opens again
                }
                break;
        }
    }
    return false;
}

std::string TStatementSplitter::TakeRest() {
    std::string rest = Trim(FScanned >= FText.size() && FQuote != '\'' && FQuote != '"' && FQuote != '`' && FQuote != '$'
                                ? FText.substr(0, FCodeEnd)
                                : FText);
    FCodeEnd = 0;
    FText.clear();
    FScanned = 0;
    FQuote = 0;
    FDepth = 0;
    return rest;
}

bool TStatementSplitter::Pending() const { return !Trim(FText).empty(); }

}  // namespace velora::app
