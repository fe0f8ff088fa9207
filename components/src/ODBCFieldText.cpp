// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "velora/components/ODBCFieldText.h"

#include "velora/components/ODBCCatalog.h"
#include "velora/engine/ODBCCursor.h"

#include <algorithm>
#include <cstdio>

namespace velora {

namespace {

/// Text of a column attribute ("" when the driver has none).
String ColumnText(SQLHSTMT stmt, int column, SQLUSMALLINT attribute) {
    char text[256] = {};
    SQLSMALLINT length = 0;
    if (!ODBCSucceeded(odbc::SQLColAttribute(stmt, static_cast<SQLUSMALLINT>(column), attribute, text, sizeof text,
                                             &length, nullptr)))
        return {};
    return text;
}

/// The scale a text column's table declares for it ("decimal(p,s)" or
/// "numeric(p,s)"), else -1; `digits` gets the precision.
int DeclaredScale(TODBCDataSet& ds, TField& f, int* digits = nullptr) {
    const SQLHSTMT stmt = ds.StmtHandle();
    if (f.DataType() != ftString || stmt == SQL_NULL_HSTMT || !ds.Database()) return -1;
    const String type = LowerCase(ColumnText(stmt, f.FieldNo(), SQL_DESC_TYPE_NAME));
    if (type != "decimal" && type != "numeric") return -1;
    const String table = ColumnText(stmt, f.FieldNo(), SQL_DESC_BASE_TABLE_NAME);
    const String column = ColumnText(stmt, f.FieldNo(), SQL_DESC_BASE_COLUMN_NAME);
    if (table.empty() || column.empty()) return -1;
    std::vector<TODBCColumnInfo> columns;
    try {
        columns = ODBCListColumns(*ds.Database(), table);
    } catch (const Exception&) {
        return -1;  // no catalog entry: the value shows as read
    }
    for (const TODBCColumnInfo& c : columns) {
        if (!SameText(c.Name, column)) continue;
        int precision = 0, scale = -1;
        char close = 0;
        const String declared = LowerCase(c.TypeName);
        if ((std::sscanf(declared.c_str(), "decimal(%d,%d%c", &precision, &scale, &close) == 3 ||
             std::sscanf(declared.c_str(), "numeric(%d,%d%c", &precision, &scale, &close) == 3) &&
            close == ')' && scale >= 0 && scale <= precision) {
            if (digits) *digits = precision;
            return scale;
        }
    }
    return -1;
}

}  // namespace

int ODBCDecimalScale(TODBCDataSet& DataSet, TField& Field) {
    if (Field.DataType() == ftBCD) return Field.Size();
    if (!DataSet.Engine() || Field.FieldNo() < 1) return -1;
    if (const int declared = DeclaredScale(DataSet, Field); declared >= 0) return declared;
    const auto& columns = DataSet.Engine()->Columns;
    const auto n = static_cast<std::size_t>(Field.FieldNo() - 1);
    if (n >= columns.size()) return -1;
    const TODBCFldDesc& d = columns[n];
    return d.FldType == fcFloat && d.CType == SQL_C_CHAR ? d.Units2 : -1;
}

String WithDecimalScale(String Text, int Scale) {
    if (Scale <= 0 || Text.empty() || Text.find_first_not_of("-0123456789.") != String::npos) return Text;
    if (Text.find_first_of("0123456789") == String::npos || Text.find('-', 1) != String::npos) return Text;
    std::size_t point = Text.find('.');
    if (point != Text.rfind('.')) return Text;
    if (point == String::npos) {
        point = Text.size();
        Text += '.';
    }
    const std::size_t decimals = Text.size() - point - 1;
    if (decimals < static_cast<std::size_t>(Scale)) Text.append(static_cast<std::size_t>(Scale) - decimals, '0');
    return Text;
}

bool ShowDecimalScale(TODBCDataSet& DataSet, TField& Field) {
    const int scale = ODBCDecimalScale(DataSet, Field);
    if (scale <= 0) return false;
    // A decimal the driver hands over as text reads as a number: right
    // aligned, as wide as its declared digits, a sign and the point.
    int digits = 0;
    if (Field.DataType() == ftString && DeclaredScale(DataSet, Field, &digits) >= 0 && digits > 0) {
        Field.SetAlignment(taRightJustify);
        Field.SetDisplayWidth(std::min(Field.DisplayWidth(), digits + 2));
    }
    Field.OnGetText = [scale](TField* Sender, String& Text, bool /*DisplayText*/) {
        // The field's own text first (OnGetText replaces it), then the digits.
        Text = Sender->IsNull() ? String() : WithDecimalScale(Sender->AsString(), scale);
    };
    return true;
}

}  // namespace velora
