// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The embedded sample database behind the VeloraSample data source: an SQLite
// file (its path is in the project's odbc.ini) that the velora tool creates on
// first use, so the tool has something to show without any server.
#pragma once

namespace velora::app {

/// Makes sure the VeloraSample data source holds the sample tables. When the
/// file does not exist yet (the SQLite driver creates it on connect) or has no
/// `customers` table, creates `customers` and `orders` with their rows in one
/// transaction; an existing sample database is left untouched.
/// Throws velora::Exception with the ODBC diagnostics when that fails.
void EnsureSampleDatabase();

}  // namespace velora::app
