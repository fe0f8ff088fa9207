// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Private services of the ODBC boundary for the cursor library: posting
// diagnostics that SQLGetDiagRec then answers for a handle, reading the
// driver's own records, finding a statement's connection, and asking the
// driver for information the way a test may have masked it.
// This file is not part of the Velora API.
#pragma once

#include "velora/odbc/ODBCBoundary.h"

namespace velora::odbc::detail {

/// Makes SQLGetDiagRec/SQLGetDiagField answer `records` for `handle` until the
/// next call on that handle (replacing what the driver holds).
void PostDiagnostics(SQLHANDLE handle, std::vector<DiagRecord> records);

/// Reads the driver's own diagnostic records of a handle, bypassing the
/// boundary's posted records.
std::vector<DiagRecord> DriverDiagnostics(SQLSMALLINT handleType, SQLHANDLE handle);

/// The connection a statement was allocated on (nullptr when unknown).
SQLHDBC ConnectionOf(SQLHSTMT stmt);

/// SQLGetInfo as the driver answers it, with the info overrides aimed at the
/// driver (faults::InfoTarget::Driver) applied: the cursor library's own
/// questions go through here.
SQLRETURN DriverGetInfo(SQLHDBC dbc, SQLUSMALLINT infoType, SQLPOINTER value, SQLSMALLINT bufferLength,
                        SQLSMALLINT* stringLength);

}  // namespace velora::odbc::detail
