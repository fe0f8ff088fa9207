// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Finding a statement's driver handle and its driver's SQLCancel, so that a
// cancel from another thread reaches the driver without the driver manager
// (see DriverCancel.cpp). This file is not part of the Velora API.
#pragma once

#include <sql.h>
#include <sqlext.h>

namespace velora::odbc::detail {

using DriverCancelFn = SQLRETURN (*)(SQLHSTMT);

/// The SQLCancel defined by the driver of a connected `dbc`, or null when the
/// driver cannot be found among the loaded objects or defines none.
DriverCancelFn DriverCancelOf(SQLHDBC dbc);

/// The driver's handle behind the driver manager's statement `stmt` of
/// `dbc`, or null when the driver manager does not say.
SQLHSTMT DriverStatementOf(SQLHDBC dbc, SQLHSTMT stmt);

}  // namespace velora::odbc::detail
