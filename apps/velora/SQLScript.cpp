// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "SQLScript.h"

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
    for (std::size_t& i = FScanned; i < FText.size(); ++i) {
        const char c = FText[i];
        const char next = i + 1 < FText.size() ? FText[i + 1] : '\0';
        switch (FQuote) {
            case 0:
                if (c == '\'' || c == '"' || c == '`') {
                    FQuote = c;
                } else if (c == '-' && next == '-') {
                    FQuote = '-';
                    ++i;
                } else if (c == '/' && next == '*') {
                    FQuote = '*';
                    ++i;
                } else if (c == '$') {
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
                    statement = Trim(FText.substr(0, i));
                    FText.erase(0, i + 1);
                    i = 0;
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
                    FQuote = 0;
                    ++i;
                }
                break;
            case '$':
                if (FText.compare(i, FDollarTag.size(), FDollarTag) == 0) {
                    i += FDollarTag.size() - 1;
                    FQuote = 0;
                }
                break;
            default:
                if (c == FQuote) FQuote = 0;  // a doubled quote closes and opens again
                break;
        }
    }
    return false;
}

std::string TStatementSplitter::TakeRest() {
    std::string rest = Trim(FText);
    FText.clear();
    FScanned = 0;
    FQuote = 0;
    return rest;
}

bool TStatementSplitter::Pending() const { return !Trim(FText).empty(); }

}  // namespace velora::app
