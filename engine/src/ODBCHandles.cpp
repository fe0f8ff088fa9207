// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The release routines of the handle owners. Each is the one place where a
// failed free is dropped: the owners run them from destructors and error
// paths, where a second error would only hide the first.
#include "velora/engine/ODBCHandles.h"

#include "velora/engine/ODBCStatement.h"
#include "velora/odbc/ODBCBoundary.h"

namespace velora {

void ODBCReleaseStmt(SQLHSTMT handle) noexcept {
    try {
        ODBCFreeStmt(handle);
    } catch (...) {
        // The handle is forgotten either way.
    }
}

void ODBCReleaseConnect(SQLHDBC handle) noexcept {
    odbc::SQLEndTran(SQL_HANDLE_DBC, handle, SQL_ROLLBACK);
    odbc::SQLDisconnect(handle);
    odbc::SQLFreeHandle(SQL_HANDLE_DBC, handle);
}

void ODBCReleaseEnv(SQLHENV handle) noexcept { odbc::SQLFreeHandle(SQL_HANDLE_ENV, handle); }

}  // namespace velora
