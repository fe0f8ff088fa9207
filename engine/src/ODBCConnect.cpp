// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Environment, connection, transactions and the single error path.
#include "velora/engine/ODBCConnect.h"

#include <array>

namespace velora {

namespace {

using namespace velora::odbc;

// The capability bits each road needs; every one must be present.
constexpr std::array<SQLUINTEGER, 8> kKeysetBits = {SQL_CA1_NEXT,           SQL_CA1_ABSOLUTE,     SQL_CA1_RELATIVE,
                                                    SQL_CA1_LOCK_NO_CHANGE, SQL_CA1_POS_POSITION, SQL_CA1_POS_UPDATE,
                                                    SQL_CA1_POS_DELETE,     SQL_CA1_BULK_ADD};
constexpr std::array<SQLUINTEGER, 8> kCursorLibraryBits = {
    SQL_CA1_NEXT,         SQL_CA1_ABSOLUTE,          SQL_CA1_RELATIVE,          SQL_CA1_LOCK_NO_CHANGE,
    SQL_CA1_POS_POSITION, SQL_CA1_POSITIONED_UPDATE, SQL_CA1_POSITIONED_DELETE, SQL_CA1_SELECT_FOR_UPDATE};

SQLPOINTER AsPointer(SQLULEN value) { return reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(value)); }

/// Runs a connection-level call; any failure goes to the error path.
SQLRETURN Checked(SQLHDBC dbc, SQLRETURN rc) {
    if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_DBC, dbc, rc);
    return rc;
}

/// Connects, or frees the handle and raises: the caller's variable is
/// cleared first, so the half-made handle is gone when the exception leaves.
SQLRETURN Connect(SQLHDBC& dbc, const String& dataSource, const String& userName, const String& password) {
    auto text = [](const String& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); };
    SQLRETURN rc = odbc::SQLConnect(dbc, text(dataSource), SQL_NTS, text(userName), SQL_NTS, text(password), SQL_NTS);
    if (!ODBCSucceeded(rc)) {
        SQLHDBC old = dbc;
        dbc = SQL_NULL_HDBC;
        String msg;
        ODBCCheckError(SQL_HANDLE_DBC, old, rc, msg, true);
    }
    return rc;
}

SQLUINTEGER Mask(SQLHDBC dbc, SQLUSMALLINT infoType) {
    SQLUINTEGER mask = 0;
    odbc::SQLGetInfo(dbc, infoType, &mask, sizeof mask, nullptr);  // unanswered means no capability
    return mask;
}

}  // namespace

const char* CursorModeName(TCursorMode mode) {
    switch (mode) {
        case cmForwardOnly:
            return "cmForwardOnly";
        case cmKeyset:
            return "cmKeyset";
        case cmCursorLibrary:
            return "cmCursorLibrary";
    }
    return "cmUnknown";
}

bool HasAllCapabilities(SQLUINTEGER mask, int kind) {
    const std::array<SQLUINTEGER, 8>* bits = kind == 1 ? &kKeysetBits : kind == 2 ? &kCursorLibraryBits : nullptr;
    if (!bits) return true;
    for (SQLUINTEGER bit : *bits)
        if ((mask & bit) == 0) return false;
    return true;
}

SQLRETURN ODBCAllocEnv(SQLHENV& env) {
    SQLRETURN rc = odbc::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
    if (!ODBCSucceeded(rc)) {
        // No environment to read diagnostics from: the error path raises its own line.
        env = SQL_NULL_HENV;
        ODBCCheckError(SQL_HANDLE_ENV, SQL_NULL_HANDLE, rc);
        return rc;
    }
    rc = odbc::SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, AsPointer(SQL_OV_ODBC3), 0);
    if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_ENV, env, rc);
    return rc;
}

SQLRETURN ODBCFreeEnv(SQLHENV env) {
    SQLRETURN rc = odbc::SQLFreeHandle(SQL_HANDLE_ENV, env);
    if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_ENV, env, rc);
    return rc;
}

SQLRETURN ODBCConnect(SQLHDBC& dbc, SQLHENV env, const String& dataSource, const String& userName,
                      const String& password, TCursorMode& cursorMode) {
    SQLRETURN rc = odbc::SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    if (!ODBCSucceeded(rc)) {
        // The allocation failed: its diagnostics live on the environment.
        dbc = SQL_NULL_HDBC;
        ODBCCheckError(SQL_HANDLE_ENV, env, rc);
        return rc;
    }
    Checked(dbc, odbc::SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, AsPointer(30), 0));
    Checked(dbc, odbc::SQLSetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, AsPointer(SQL_MODE_READ_WRITE), 0));
    Checked(dbc, odbc::SQLSetConnectAttr(dbc, SQL_ATTR_ODBC_CURSORS, AsPointer(SQL_CUR_USE_DRIVER), 0));
    rc = Connect(dbc, dataSource, userName, password);

    if (HasAllCapabilities(Mask(dbc, SQL_KEYSET_CURSOR_ATTRIBUTES1), 1)) {
        cursorMode = cmKeyset;
        return rc;
    }

    // The driver's keyset cursors cannot do all we need: reconnect through the
    // cursor library, whose static cursors offer positioned statements.
    rc = Checked(dbc, odbc::SQLDisconnect(dbc));
    Checked(dbc, odbc::SQLSetConnectAttr(dbc, SQL_ATTR_ODBC_CURSORS, AsPointer(SQL_CUR_USE_ODBC), 0));
    rc = Connect(dbc, dataSource, userName, password);
    cursorMode = HasAllCapabilities(Mask(dbc, SQL_STATIC_CURSOR_ATTRIBUTES1), 2) ? cmCursorLibrary : cmForwardOnly;
    return rc;
}

SQLRETURN ODBCDisconnect(SQLHDBC dbc) {
    SQLRETURN rc = odbc::SQLDisconnect(dbc);
    if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_DBC, dbc, rc);
    return rc;
}

SQLRETURN ODBCFreeConnect(SQLHDBC dbc) {
    SQLRETURN rc = odbc::SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_DBC, dbc, rc);
    return rc;
}

SQLRETURN ODBCStartTransaction(SQLHDBC dbc) {
    // Commit what is pending, then take the driver's default isolation level.
    Checked(dbc, odbc::SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
    SQLUINTEGER level = 0;
    Checked(dbc, odbc::SQLGetInfo(dbc, SQL_DEFAULT_TXN_ISOLATION, &level, sizeof level, nullptr));
    if (level != 0) Checked(dbc, odbc::SQLSetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, AsPointer(level), 0));
    // Connections start in autocommit mode; without turning it off every
    // statement would commit at once and a rollback would undo nothing.
    return Checked(dbc, odbc::SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, AsPointer(SQL_AUTOCOMMIT_OFF), 0));
}

SQLRETURN ODBCEndTransaction(SQLHDBC dbc, ODBCXEnd how) {
    if (how == xendCOMMITKEEP) return -1;
    SQLSMALLINT completion = how == xendCOMMIT ? SQL_COMMIT : SQL_ROLLBACK;
    SQLRETURN rc = odbc::SQLEndTran(SQL_HANDLE_DBC, dbc, completion);
    if (!ODBCSucceeded(rc)) {
        // Leave autocommit off: the transaction is still open on the server.
        ODBCCheckError(SQL_HANDLE_DBC, dbc, rc);
        return rc;
    }
    return Checked(dbc, odbc::SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, AsPointer(SQL_AUTOCOMMIT_ON), 0));
}

void ODBCCheckError(SQLSMALLINT handleType, SQLHANDLE handle, SQLRETURN& rc, String& msg, bool freeHandle) {
    msg.clear();
    SQLINTEGER count = 0;
    int read = 0;
    String lastState;
    SQLINTEGER lastNative = 0;
    if (handle != SQL_NULL_HANDLE &&
        ODBCSucceeded(odbc::SQLGetDiagField(handleType, handle, 0, SQL_DIAG_NUMBER, &count, SQL_IS_INTEGER, nullptr))) {
        for (SQLINTEGER i = 1; i <= count; ++i) {
            SQLCHAR state[6] = {};
            SQLINTEGER native = 0;
            SQLCHAR text[SQL_MAX_MESSAGE_LENGTH + 1] = {};
            SQLSMALLINT len = 0;
            SQLRETURN drc = odbc::SQLGetDiagRec(handleType, handle, static_cast<SQLSMALLINT>(i), state, &native, text,
                                                sizeof text, &len);
            if (!ODBCSucceeded(drc)) break;
            lastState = reinterpret_cast<const char*>(state);
            lastNative = native;
            msg += "ODBC32 Error ";
            msg += lastState;
            msg += " :";
            msg += reinterpret_cast<const char*>(text);
            msg += "\r\n";
            ++read;
        }
    }
    if (freeHandle && handle != SQL_NULL_HANDLE) odbc::SQLFreeHandle(handleType, handle);
    if (read > 0) throw EODBCError(msg, lastState, lastNative);
    if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) {
        msg = "ODBC32 Error 00000 :return code " + IntToStr(rc) + " without diagnostics\r\n";
        throw EODBCError(msg, "00000", 0);
    }
}

void ODBCCheckError(SQLSMALLINT handleType, SQLHANDLE handle, SQLRETURN rc, bool freeHandle) {
    String msg;
    ODBCCheckError(handleType, handle, rc, msg, freeHandle);
}

}  // namespace velora
