// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// How the velora tool prints rows: values as programs exchange them
// (AsString, "." decimals), NULL as "(null)", long and binary values as the
// field's display text ("(MEMO)" with a value, "(Memo)" without), in columns
// under a header of field names.
#pragma once

#include "velora/db/DB.h"

#include <string>
#include <vector>

namespace velora::app {

using TRow = std::vector<std::string>;

/// The field names of a dataset, in field order.
TRow HeaderOf(TDataSet& ds);
/// The active record's values as the tool prints them.
TRow ReadRow(TDataSet& ds);
/// Prints the header, a rule, the rows and their count; a column is as wide
/// as its widest value up to 40 characters (longer values print whole).
void PrintRows(const TRow& header, const std::vector<TRow>& rows);

}  // namespace velora::app
