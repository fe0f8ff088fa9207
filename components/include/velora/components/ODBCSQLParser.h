// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The scanner a query runs over its SQL text: it finds the :name parameter
// markers, replaces each by "?" for the driver, reduces "::" to ":", and
// notes the table the statement names after INTO or FROM. The query's
// CreateParams is ODBCCreateParams; ODBCScanSQL gives the same answers
// without a parameter list (for tools and tests).
//
// The rules, character by character:
// - name delimiters: line feed, carriage return, space, ")", "," and ";"
//   (a tab is not one);
// - word characters: letters, digits, "-", "@" and "_"; a word runs from a
//   word character to the next delimiter (other characters inside it are
//   skipped, so "a.b" is the word "ab"); the end of the text does not end a
//   word;
// - the apostrophe and the double quote both toggle one "in quotes" flag;
//   colons inside quotes are left alone;
// - a ":" outside quotes not followed by ":" starts a marker; its name runs
//   to the next delimiter outside quotes (or the end of the text), so in
//   "a=:a+1 " the name is "a+1"; a name that starts with a quote has one
//   leading and one trailing apostrophe, then double quote, stripped;
// - the character that ends a marker's name is copied but not examined;
// - "::" outside quotes becomes ":" and starts no marker;
// - the column name of a marker is the last word seen before it ("CustNo"
//   in "CustNo = :Cust", "VALUES" in "VALUES (:Name)");
// - the table name is the first word that ends after a word INTO or FROM
//   (any case) has ended, anywhere in the text, quotes included.
// Comments are not recognised. Text after a zero byte is not part of the
// statement and is dropped. Words have no length limit: a column name of
// any length reaches its parameter whole.
#pragma once

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

/// Scans `sql` by the rules above. Never raises; time and memory are linear
/// in the text's length.
TODBCSQLScan ODBCScanSQL(std::string_view sql);

/// The query's CreateParams: rewrites `Text` in place for the driver and,
/// when `List` is given, appends one parameter per marker
/// (CreateParam(ftUnknown, name, ptUnknown, column name)) in marker order.
/// Answers the table name (the query's QueryTableName).
String ODBCCreateParams(TODBCParams* List, String& Text);

}  // namespace velora
