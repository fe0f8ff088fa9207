// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The :name marker scanner of queries (rules in ODBCSQLParser.h).
//
// The scan reads the text once, token by token, and builds the rewritten
// text as it goes, keeping the current word in a string, so that neither
// long texts nor long words cost more than their length, and no word is cut.
#include "velora/components/ODBCSQLParser.h"

#include "velora/components/ODBCParams.h"
#include "velora/odbc/SQLTokens.h"

#include <algorithm>

namespace velora {

namespace {

bool IsNameDelimiter(char c) { return c == '\n' || c == '\r' || c == ' ' || c == ')' || c == ',' || c == ';'; }

bool IsWordChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '@' ||
           c == '_';
}

}  // namespace

TODBCSQLScan ODBCScanSQL(std::string_view sql, TSQLDialect dialect) {
    // The statement ends at its first zero byte, as it does for the driver.
    const std::string_view text = sql.substr(0, sql.find('\0'));
    const std::size_t n = text.size();
    const odbc::TSQLRules rules{dialect};

    TODBCSQLScan result;
    result.Text.reserve(n);
    String word;                 // the last word seen
    bool inWord = false;         // a word is being read
    bool afterIntoFrom = false;  // a word INTO or FROM has ended
    // Words are read on every character the scan examines.
    auto examine = [&](char c) {
        if (IsNameDelimiter(c)) {
            if (inWord) {
                if (afterIntoFrom && result.TableName.empty()) result.TableName = word;
                const String upper = UpperCase(word);
                if (upper == "INTO" || upper == "FROM") afterIntoFrom = true;
            }
            inWord = false;
        }
        if (IsWordChar(c)) {
            if (inWord)
                word += c;
            else
                word.assign(1, c), inWord = true;
        }
    };

    int depth = 0;
    for (std::size_t i = 0; i < n;) {
        const odbc::TSQLToken t = odbc::ReadSQLToken(text, i, rules, depth);
        if (t.Kind == odbc::TSQLTokenKind::Param) {
            result.Markers.push_back(TODBCSQLMarker{odbc::UnquotedName(odbc::TokenText(text, t)), word});
            result.Text += '?';
            i = t.End;
            // A delimiter right after the name is copied, not examined.
            if (i < n && IsNameDelimiter(text[i])) result.Text += text[i++];
            continue;
        }
        if (t.Kind == odbc::TSQLTokenKind::Cast) {
            // "::" stands for one colon.
            result.Text += ':';
            i = t.End;
            continue;
        }
        // Blanks, words, literals, names and comments are copied; a blank
        // is read as a token of its own (Punct) and copied the same way.
        const std::size_t end = std::max(t.End, i + 1);
        for (std::size_t k = i; k < end; ++k) examine(text[k]);
        result.Text.append(text.substr(i, end - i));
        i = end;
    }
    return result;
}

String ODBCCreateParams(TODBCParams* List, String& Text, TSQLDialect dialect) {
    TODBCSQLScan scan = ODBCScanSQL(Text, dialect);
    Text = std::move(scan.Text);
    if (List)
        for (const TODBCSQLMarker& marker : scan.Markers)
            List->CreateParam(ftUnknown, marker.Name, ptUnknown, marker.ColumnName);
    return scan.TableName;
}

}  // namespace velora
