// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// What the driver manager and a connection tell about data sources: the
// data sources it lists, a connected server's name, and the reading of a
// DataSourceName that is a connection string (the catalog header declares
// them).
#include "velora/components/ODBCCatalog.h"

#include "velora/engine/ODBCConnect.h"
#include "velora/odbc/ODBCBoundary.h"

namespace velora {

std::vector<TODBCDataSourceInfo> ODBCListDataSources(TODBCSession& session) {
    const SQLHENV env = session.GetHandle();
    std::vector<TODBCDataSourceInfo> sources;
    // Room for any name and description the driver manager keeps.
    SQLCHAR name[SQL_MAX_DSN_LENGTH + 1];
    SQLCHAR description[1024];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT descriptionLength = 0;
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST;; direction = SQL_FETCH_NEXT) {
        const SQLRETURN rc = odbc::SQLDataSources(env, direction, name, sizeof name, &nameLength, description,
                                                  sizeof description, &descriptionLength);
        if (rc == SQL_NO_DATA) break;
        if (!ODBCSucceeded(rc)) {
            ODBCCheckError(SQL_HANDLE_ENV, env, rc);
            break;  // a code without diagnostics that is no error ends the list
        }
        sources.push_back({reinterpret_cast<const char*>(name), reinterpret_cast<const char*>(description)});
    }
    return sources;
}

String ODBCServerName(TODBCDatabase& db) {
    if (!db.Connected()) DatabaseError("Cannot perform this operation on a closed database");
    SQLCHAR buffer[256] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN rc = odbc::SQLGetInfo(db.Handle(), SQL_SERVER_NAME, buffer, sizeof buffer, &length);
    if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_DBC, db.Handle(), rc);
    return reinterpret_cast<const char*>(buffer);
}

bool ODBCIsConnectionString(const String& target) { return IsConnectionString(target); }

String ODBCConnectionStringValue(const String& connectionString, const String& key, bool* found) {
    return ConnectionStringValue(connectionString, key, found);
}

}  // namespace velora
