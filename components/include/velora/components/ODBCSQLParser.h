// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The scanner a query runs over its SQL text: it finds the :name parameter
// markers, replaces each by "?" for the driver, reduces "::" to ":", and
// notes the table the statement names after INTO or FROM. The query's
// CreateParams is ODBCCreateParams; ODBCScanSQL gives the same answers
// without a parameter list (for tools and tests).
//
// Markers, literals, quoted names and comments are read by the SQL
// tokenizer (velora/odbc/SQLTokens.h) in the data source's dialect:
// - a marker is a parameter token: ":" then a name of letters, digits, "_"
//   and UTF-8 bytes (":Cust", ":1", ":Größe"), or a quoted name (:"Order
//   Date", :'Order Date', quotes stripped, a doubled quote halved; one left
//   open runs to the end of the text); the name ends where such characters
//   end, so ":a+1" is the marker a followed by "+1";
// - a colon inside a literal, quoted name or comment is text, in each
//   dialect's own reading (PostgreSQL's $tag$ bodies, E'..\'..' strings and
//   nested comments, MariaDB's backslash escapes and # comments); ":=" and a
//   colon before a blank are text;
// - "::" outside literals and comments becomes ":" and starts no marker
//   (":::p" is a colon, then the marker p);
// - the character right after a marker, when it is one of the name
//   delimiters below, is copied but not examined.
// Column and table names are read character by character, literals and
// comments included:
// - name delimiters: line feed, carriage return, space, ")", "," and ";"
//   (a tab is not one);
// - word characters: letters, digits, "-", "@" and "_"; a word runs from a
//   word character to the next delimiter (other characters inside it are
//   skipped, so "a.b" is the word "ab"); the end of the text does not end a
//   word;
// - the column name of a marker is the last word seen before it ("CustNo"
//   in "CustNo = :Cust", "VALUES" in "VALUES (:Name)");
// - the table name is the first word that ends after a word INTO or FROM
//   (any case) has ended, anywhere in the text.
// Text after a zero byte is not part of the statement and is dropped. Words
// have no length limit: a column name of any length reaches its parameter
// whole.
#pragma once

#include "velora/odbc/SQLDialect.h"
#include "velora/rtl/SysUtils.h"

#include <string_view>
#include <vector>

namespace velora {

class TODBCParams;

/// One :name marker of an SQL text, in text order.
struct TODBCSQLMarker {
    String Name;        ///< the name without the colon (quotes stripped when it was quoted)
    String ColumnName;  ///< the last word before the marker
};

/// What one scan of an SQL text found.
struct TODBCSQLScan {
    String Text;                          ///< the text for the driver: markers as "?", "::" as ":"
    String TableName;                     ///< the table after INTO or FROM, or empty
    std::vector<TODBCSQLMarker> Markers;  ///< one per marker, repeated names included
};

/// Scans `sql` by the rules above in `dialect`. Never raises; time and
/// memory are linear in the text's length.
TODBCSQLScan ODBCScanSQL(std::string_view sql, TSQLDialect dialect = TSQLDialect::Standard);

/// The query's CreateParams: rewrites `Text` in place for the driver and,
/// when `List` is given, appends one parameter per marker
/// (CreateParam(ftUnknown, name, ptUnknown, column name)) in marker order.
/// Answers the table name (the query's QueryTableName).
String ODBCCreateParams(TODBCParams* List, String& Text, TSQLDialect dialect = TSQLDialect::Standard);

}  // namespace velora
