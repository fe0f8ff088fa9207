// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// How a field of a TODBCDataSet reads to a person where its own text loses
// what the column declares: a decimal shows the digits its scale promises
// ("814.50" for numeric(10,2), though the data source hands back "814.5" or
// the field holds a double). Shared by the programs that show rows (the
// browser's grid, the tool's tables), so they agree.
#pragma once

#include "velora/components/ODBCDataSet.h"

namespace velora {

/// The scale of a decimal column (the digits after the point it declares),
/// or -1 when the field holds no decimal or the scale is unknown. A BCD field
/// answers its Size; a decimal held as text answers the column's scale; a
/// text column the driver describes only as "decimal" or "numeric" (SQLite)
/// answers the scale its table declares in the catalog.
int ODBCDecimalScale(TODBCDataSet& DataSet, TField& Field);

/// A plain decimal text given at least `Scale` digits after the point
/// ("96" -> "96.00", "814.5" -> "814.50"); any other text (an exponent, a
/// word) and a scale of 0 or less leave it as it is. Digits are only added,
/// never cut, so the value stays the value read.
String WithDecimalScale(String Text, int Scale);

/// Makes the field's display text carry its decimal scale (an OnGetText
/// handler) when ODBCDecimalScale knows one; true when it was set. A decimal
/// held in a text field is also aligned right and given the display width
/// of its declared digits.
bool ShowDecimalScale(TODBCDataSet& DataSet, TField& Field);

}  // namespace velora
