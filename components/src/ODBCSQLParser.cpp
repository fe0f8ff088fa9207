// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The :name marker scanner of queries (rules in ODBCSQLParser.h).
//
// The scan reads the text once and builds the rewritten text as it goes,
// instead of moving the rest of the text left at every marker, and keeps the
// current word in a string, so that neither long texts nor long words cost
// more than their length, and no word is cut.
#include "velora/components/ODBCSQLParser.h"

#include "velora/components/ODBCParams.h"

namespace velora {

namespace {

bool IsNameDelimiter(char c) { return c == '\n' || c == '\r' || c == ' ' || c == ')' || c == ',' || c == ';'; }

bool IsWordChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '@' ||
           c == '_';
}

bool IsQuote(char c) { return c == '\'' || c == '"'; }

/// Removes one `quote` at the start and one at the end, each end on its own.
void StripQuote(String& name, char quote) {
    if (!name.empty() && name.front() == quote) name.erase(0, 1);
    if (!name.empty() && name.back() == quote) name.pop_back();
}

}  // namespace

TODBCSQLScan ODBCScanSQL(std::string_view sql) {
    // The statement ends at its first zero byte, as it does for the driver.
    const std::string_view text = sql.substr(0, sql.find('\0'));
    const std::size_t n = text.size();
    auto at = [&](std::size_t i) -> char { return i < n ? text[i] : '\0'; };

    TODBCSQLScan result;
    result.Text.reserve(n);
    String word;                 // the last word seen
    bool inWord = false;         // a word is being read
    bool afterIntoFrom = false;  // a word INTO or FROM has ended
    bool inQuote = false;

    std::size_t i = 0;
    while (i < n) {
        const char c = text[i];

        // A delimiter ends the word being read.
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

        if (c == ':' && !inQuote && at(i + 1) != ':') {
            // A marker: its name runs to the next delimiter outside quotes.
            std::size_t end = i;
            bool quotedName = false;
            while (at(end) != '\0' && (inQuote || !IsNameDelimiter(at(end)))) {
                ++end;
                if (IsQuote(at(end))) {
                    inQuote = !inQuote;
                    if (end == i + 1) quotedName = true;
                }
            }
            String name(text.substr(i + 1, end - i - 1));
            if (quotedName) {
                StripQuote(name, '\'');
                StripQuote(name, '"');
            }
            result.Markers.push_back(TODBCSQLMarker{std::move(name), word});
            result.Text += '?';
            if (end >= n) break;       // the name ran to the end of the text
            result.Text += text[end];  // the character that ended the name is not examined
            i = end + 1;
            continue;
        }
        if (c == ':' && !inQuote) {
            // "::" stands for one colon; the remaining colon is not examined.
            result.Text += ':';
            i += 2;
            continue;
        }
        if (IsQuote(c)) inQuote = !inQuote;
        result.Text += c;
        ++i;
    }
    return result;
}

String ODBCCreateParams(TODBCParams* List, String& Text) {
    TODBCSQLScan scan = ODBCScanSQL(Text);
    Text = std::move(scan.Text);
    if (List)
        for (const TODBCSQLMarker& marker : scan.Markers)
            List->CreateParam(ftUnknown, marker.Name, ptUnknown, marker.ColumnName);
    return scan.TableName;
}

}  // namespace velora
