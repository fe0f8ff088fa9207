// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The engine's environment, connection and transaction routines, and its
// single error path: every failing ODBC call of the library is turned into an
// EODBCError by ODBCCheckError. The routines keep no state and remember no
// handle; the session owns the environment, the database the connection and
// its cursor mode.
#pragma once

#include "velora/engine/ODBCError.h"
#include "velora/engine/SQL.h"
#include "velora/odbc/ODBCBoundary.h"
#include "velora/rtl/SysUtils.h"

#include <cstdint>
#include <vector>

namespace velora {

/// Capability sets tested by ODBCConnect: 1 keyset cursors, 2 cursor library.
/// Every bit of the set must be present; another kind answers true.
bool HasAllCapabilities(SQLUINTEGER mask, int kind);

/// Allocates an environment and declares ODBC 3 behaviour.
/// \throws EODBCError when the driver manager reports the failure.
SQLRETURN ODBCAllocEnv(SQLHENV& env);
SQLRETURN ODBCFreeEnv(SQLHENV env);

/// True when `target` is a connection string ("DRIVER=...;..." or
/// "DSN=...;..."), not the name of a data source: data source names cannot
/// hold '='.
bool IsConnectionString(const String& target);
/// The value of `key` (case-insensitive; braces removed) in a connection
/// string, or "" when absent. `found` tells absent from empty.
String ConnectionStringValue(const String& connectionString, const String& key, bool* found = nullptr);
/// The connection string without the attributes named in `keys`
/// (case-insensitive), the others kept as written.
String ConnectionStringWithout(const String& connectionString, const std::vector<String>& keys);
/// The attribute names that carry a user name (UID, USER, USERNAME) and a
/// password (PWD, PASSWORD) in the connection strings of the drivers.
const std::vector<String>& ConnectionStringUserKeys();
const std::vector<String>& ConnectionStringPasswordKeys();
/// `key=value`; a value holding ';', '{' or '}' or spaces at either end is
/// braced with every '}' doubled, so any text survives.
String ConnectionStringAttribute(const String& key, const String& value);

/// True when the driver manager knows a data source of that name (user and
/// system data sources). A connection string answers true unless it names
/// a DSN that does not exist.
bool ODBCDataSourceExists(SQLHENV env, const String& target);

/// True when a data source name or connection string reaches MariaDB's
/// driver (a library named libmaodbc*, looked up through the driver
/// manager's lists of data sources and drivers).
bool ODBCIsMariaDBTarget(SQLHENV env, const String& target);
/// What ODBCConnect passes to the driver for a login timeout: MariaDB's
/// driver does not apply SQL_ATTR_LOGIN_TIMEOUT to the handshake (it waits
/// on for a server that accepts and never answers), but keeps its own
/// CONN_TIMEOUT option; so for a MariaDB target with a non-zero timeout a
/// data source name becomes "DSN=name;CONN_TIMEOUT=n" and a connection
/// string gets ";CONN_TIMEOUT=n" unless it sets CONN_TIMEOUT itself.
/// Any other target is answered unchanged.
String ODBCWithLoginTimeout(SQLHENV env, const String& target, SQLUINTEGER loginTimeout);

/// Connects `dbc` (allocated here) to a data source and decides the cursor
/// mode: keyset when the driver's keyset cursors have every capability the
/// engine uses, else a reconnect through the cursor library (cursor library
/// or forward-only). `dataSource` is a data source name (SQLConnect) or a
/// connection string (SQLDriverConnect, never prompting); a non-empty user
/// name and password are added to the string as UID and PWD, replacing what
/// it holds. An empty user name or password is passed as none at all (a null
/// pointer), so the data source's own account applies. A failing connect
/// leaves `dbc` nil and freed; a failing attribute call leaves it allocated
/// in `dbc` for the caller to free. `loginTimeout` is in seconds (0: none).
/// \throws EODBCError on any failure.
SQLRETURN ODBCConnect(SQLHDBC& dbc, SQLHENV env, const String& dataSource, const String& userName,
                      const String& password, TCursorMode& cursorMode, SQLUINTEGER loginTimeout = 30);
SQLRETURN ODBCDisconnect(SQLHDBC dbc);
SQLRETURN ODBCFreeConnect(SQLHDBC dbc);

/// Commits pending work, sets the driver's default isolation level and turns
/// autocommit off, so that the work that follows can be rolled back.
/// \throws EODBCError
SQLRETURN ODBCStartTransaction(SQLHDBC dbc);
/// Turns autocommit off without ending anything: the server already has a
/// transaction open (a BEGIN with modes run as written), which the
/// connection's later work joins and SQLEndTran ends.
/// \throws EODBCError
SQLRETURN ODBCJoinTransaction(SQLHDBC dbc);
/// Commits (xendCOMMIT) or rolls back (xendABORT) and turns autocommit back
/// on; xendCOMMITKEEP makes no call, leaves the transaction open, answers -1.
/// \throws EODBCError
SQLRETURN ODBCEndTransaction(SQLHDBC dbc, ODBCXEnd how);

/// The single error path. Reads every diagnostic record of `handle` into
/// `msg` (one "ODBC32 Error <state> :<text>\r\n" line each; reading stops at
/// the first failing SQLGetDiagRec), frees the handle when `freeHandle` is
/// set, and raises EODBCError when there was at least one record. A failure
/// without records raises a line of its own ("ODBC32 Error 00000 :return code
/// <rc> without diagnostics") when `rc` is SQL_ERROR or SQL_INVALID_HANDLE;
/// other codes without records (SQL_NO_DATA, SQL_NEED_DATA, ...) raise
/// nothing and leave the decision to the caller. `rc` is never changed.
void ODBCCheckError(SQLSMALLINT handleType, SQLHANDLE handle, SQLRETURN& rc, String& msg, bool freeHandle);
/// The same without the caller's message variable.
void ODBCCheckError(SQLSMALLINT handleType, SQLHANDLE handle, SQLRETURN rc, bool freeHandle = false);

/// True for SQL_SUCCESS and SQL_SUCCESS_WITH_INFO.
inline bool ODBCSucceeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

}  // namespace velora
