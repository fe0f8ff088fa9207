// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Environment, connection, transactions and the single error path.
#include "velora/engine/ODBCConnect.h"

#include <algorithm>
#include <array>
#include <cstring>

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

/// Overwrites a secret before its memory is released.
void Wipe(String& secret) noexcept {
    volatile char* p = secret.data();
    for (std::size_t i = 0; i < secret.size(); ++i) p[i] = 0;
    secret.clear();
}

/// One attribute of a connection string as written: the key, and the value
/// with its braces (the text between '=' and the ';' that ends it).
struct TAttribute {
    String Key;
    String Raw;
};

std::vector<TAttribute> Attributes(const String& cs) {
    std::vector<TAttribute> out;
    std::size_t i = 0;
    while (i < cs.size()) {
        std::size_t eq = cs.find('=', i);
        std::size_t semi = cs.find(';', i);
        if (eq == String::npos || (semi != String::npos && semi < eq)) {
            // A piece without '=' (an empty one between ";;") is skipped.
            if (semi == String::npos) break;
            i = semi + 1;
            continue;
        }
        TAttribute a{Trim(cs.substr(i, eq - i)), String()};
        std::size_t j = eq + 1;
        while (j < cs.size() && cs[j] == ' ') ++j;
        if (j < cs.size() && cs[j] == '{') {
            // Braced: up to the '}' that is not doubled.
            std::size_t k = j + 1;
            while (k < cs.size()) {
                if (cs[k] == '}') {
                    if (k + 1 < cs.size() && cs[k + 1] == '}') {
                        k += 2;
                        continue;
                    }
                    break;
                }
                ++k;
            }
            std::size_t end = cs.find(';', std::min(k, cs.size()));
            a.Raw = cs.substr(eq + 1, (end == String::npos ? cs.size() : end) - eq - 1);
            i = end == String::npos ? cs.size() : end + 1;
        } else {
            std::size_t end = cs.find(';', eq + 1);
            a.Raw = cs.substr(eq + 1, (end == String::npos ? cs.size() : end) - eq - 1);
            i = end == String::npos ? cs.size() : end + 1;
        }
        out.push_back(std::move(a));
    }
    return out;
}

String Unbraced(const String& raw) {
    String v = Trim(raw);
    if (v.size() < 2 || v.front() != '{' || v.back() != '}') return v;
    String out;
    for (std::size_t i = 1; i + 1 < v.size(); ++i) {
        out += v[i];
        if (v[i] == '}' && i + 2 < v.size() && v[i + 1] == '}') ++i;
    }
    return out;
}

bool InKeys(const String& key, const std::vector<String>& keys) {
    for (const String& k : keys)
        if (SameText(k, key)) return true;
    return false;
}

SQLCHAR* Text(const String& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }

/// Connects, or frees the handle and raises: the caller's variable is
/// cleared first, so the half-made handle is gone when the exception leaves.
/// Empty user name and password go as none (null, length 0).
SQLRETURN Connect(SQLHDBC& dbc, const String& dataSource, const String& userName, const String& password) {
    SQLRETURN rc;
    if (IsConnectionString(dataSource)) {
        String cs = dataSource;
        if (!userName.empty())
            cs = ConnectionStringWithout(cs, ConnectionStringUserKeys()) + ";" +
                 ConnectionStringAttribute("UID", userName);
        if (!password.empty()) {
            String without = ConnectionStringWithout(cs, ConnectionStringPasswordKeys());
            String attribute = ConnectionStringAttribute("PWD", password);
            Wipe(cs);
            cs = without + ";" + attribute;
            Wipe(attribute);
        }
        rc = odbc::SQLDriverConnect(dbc, nullptr, Text(cs), SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
        Wipe(cs);
    } else {
        auto arg = [](const String& s) { return s.empty() ? nullptr : Text(s); };
        auto len = [](const String& s) { return static_cast<SQLSMALLINT>(s.empty() ? 0 : SQL_NTS); };
        rc = odbc::SQLConnect(dbc, Text(dataSource), SQL_NTS, arg(userName), len(userName), arg(password),
                              len(password));
    }
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

bool IsConnectionString(const String& target) { return target.find('=') != String::npos; }

String ConnectionStringValue(const String& connectionString, const String& key, bool* found) {
    if (found) *found = false;
    for (const TAttribute& a : Attributes(connectionString))
        if (SameText(a.Key, key)) {
            if (found) *found = true;
            return Unbraced(a.Raw);
        }
    return String();
}

String ConnectionStringWithout(const String& connectionString, const std::vector<String>& keys) {
    String out;
    for (const TAttribute& a : Attributes(connectionString)) {
        if (InKeys(a.Key, keys)) continue;
        if (!out.empty()) out += ";";
        out += a.Key + "=" + a.Raw;
    }
    return out;
}

const std::vector<String>& ConnectionStringUserKeys() {
    static const std::vector<String> keys = {"UID", "USER", "USERNAME"};
    return keys;
}

const std::vector<String>& ConnectionStringPasswordKeys() {
    static const std::vector<String> keys = {"PWD", "PASSWORD"};
    return keys;
}

String ConnectionStringAttribute(const String& key, const String& value) {
    // Braces only where the value needs them: psqlODBC takes them literally.
    const bool plain =
        value.find_first_of(";{}") == String::npos && (value.empty() || (value.front() != ' ' && value.back() != ' '));
    if (plain) return key + "=" + value;
    String out = key + "={";
    for (char c : value) {
        out += c;
        if (c == '}') out += '}';
    }
    return out + "}";
}

bool ODBCDataSourceExists(SQLHENV env, const String& target) {
    String name = target;
    if (IsConnectionString(target)) {
        bool found = false;
        name = ConnectionStringValue(target, "DSN", &found);
        if (!found || !ConnectionStringValue(target, "DRIVER").empty()) return true;
    }
    SQLCHAR dsn[256];  // names longer than SQL_MAX_DSN_LENGTH exist and must not be cut
    SQLCHAR description[256];
    SQLSMALLINT nameLen = 0;
    SQLSMALLINT descriptionLen = 0;
    bool exists = false;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (ODBCSucceeded(odbc::SQLDataSources(env, direction, dsn, sizeof dsn, &nameLen, description,
                                              sizeof description, &descriptionLen))) {
        direction = SQL_FETCH_NEXT;
        if (SameText(reinterpret_cast<const char*>(dsn), name)) exists = true;
    }
    return exists;
}

namespace {

/// The driver a data source names (its odbc.ini "Driver": a name or a path),
/// "" when the driver manager knows no such data source.
String DataSourceDriver(SQLHENV env, const String& name) {
    SQLCHAR dsn[256];
    SQLCHAR driver[512];
    SQLSMALLINT nameLen = 0;
    SQLSMALLINT driverLen = 0;
    String found;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (ODBCSucceeded(
        odbc::SQLDataSources(env, direction, dsn, sizeof dsn, &nameLen, driver, sizeof driver, &driverLen))) {
        direction = SQL_FETCH_NEXT;
        if (found.empty() && SameText(reinterpret_cast<const char*>(dsn), name))
            found = reinterpret_cast<const char*>(driver);
    }
    return found;
}

/// The library of an installed driver (its odbcinst.ini "Driver"), "" when unknown.
String DriverLibrary(SQLHENV env, const String& driver) {
    if (driver.find('/') != String::npos) return driver;
    SQLCHAR description[256];
    SQLCHAR attributes[2048];  // "key=value\0key=value\0\0"
    SQLSMALLINT descriptionLen = 0;
    SQLSMALLINT attributesLen = 0;
    String found;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (ODBCSucceeded(odbc::SQLDrivers(env, direction, description, sizeof description, &descriptionLen, attributes,
                                          sizeof attributes, &attributesLen))) {
        direction = SQL_FETCH_NEXT;
        if (!found.empty() || !SameText(reinterpret_cast<const char*>(description), driver)) continue;
        const char* end = reinterpret_cast<const char*>(attributes) + sizeof attributes;
        for (const char* a = reinterpret_cast<const char*>(attributes); a < end && *a; a += std::strlen(a) + 1) {
            String pair(a, strnlen(a, static_cast<std::size_t>(end - a)));
            if (pair.size() > 7 && SameText(pair.substr(0, 7), "Driver=")) found = pair.substr(7);
        }
    }
    return found;
}

}  // namespace

bool ODBCIsMariaDBTarget(SQLHENV env, const String& target) {
    String driver;
    if (IsConnectionString(target)) {
        driver = ConnectionStringValue(target, "DRIVER");
        if (driver.empty()) driver = DataSourceDriver(env, ConnectionStringValue(target, "DSN"));
    } else {
        driver = DataSourceDriver(env, target);
    }
    if (driver.empty()) return false;
    String library = DriverLibrary(env, driver);
    std::size_t slash = library.rfind('/');
    String file = slash == String::npos ? library : library.substr(slash + 1);
    return file.rfind("libmaodbc", 0) == 0;
}

String ODBCWithLoginTimeout(SQLHENV env, const String& target, SQLUINTEGER loginTimeout) {
    if (loginTimeout == 0 || !ODBCIsMariaDBTarget(env, target)) return target;
    if (!IsConnectionString(target))
        return ConnectionStringAttribute("DSN", target) + ";CONN_TIMEOUT=" + IntToStr(static_cast<int>(loginTimeout));
    bool found = false;
    ConnectionStringValue(target, "CONN_TIMEOUT", &found);
    if (found) return target;  // the caller's own choice stands
    String cs = target;
    while (!cs.empty() && (cs.back() == ';' || cs.back() == ' ')) cs.pop_back();
    return cs + ";CONN_TIMEOUT=" + IntToStr(static_cast<int>(loginTimeout));
}

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
                      const String& password, TCursorMode& cursorMode, SQLUINTEGER loginTimeout) {
    SQLRETURN rc = odbc::SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
    if (!ODBCSucceeded(rc)) {
        // The allocation failed: its diagnostics live on the environment.
        dbc = SQL_NULL_HDBC;
        ODBCCheckError(SQL_HANDLE_ENV, env, rc);
        return rc;
    }
    Checked(dbc, odbc::SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, AsPointer(loginTimeout), 0));
    Checked(dbc, odbc::SQLSetConnectAttr(dbc, SQL_ATTR_ACCESS_MODE, AsPointer(SQL_MODE_READ_WRITE), 0));
    Checked(dbc, odbc::SQLSetConnectAttr(dbc, SQL_ATTR_ODBC_CURSORS, AsPointer(SQL_CUR_USE_DRIVER), 0));
    const String target = ODBCWithLoginTimeout(env, dataSource, loginTimeout);
    rc = Connect(dbc, target, userName, password);

    if (HasAllCapabilities(Mask(dbc, SQL_KEYSET_CURSOR_ATTRIBUTES1), 1)) {
        cursorMode = cmKeyset;
        return rc;
    }

    // The driver's keyset cursors cannot do all we need: reconnect through the
    // cursor library, whose static cursors offer positioned statements.
    rc = Checked(dbc, odbc::SQLDisconnect(dbc));
    Checked(dbc, odbc::SQLSetConnectAttr(dbc, SQL_ATTR_ODBC_CURSORS, AsPointer(SQL_CUR_USE_ODBC), 0));
    rc = Connect(dbc, target, userName, password);
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

SQLRETURN ODBCJoinTransaction(SQLHDBC dbc) {
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
    std::vector<odbc::DiagRecord> records;
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
            records.push_back({reinterpret_cast<const char*>(state), native, reinterpret_cast<const char*>(text)});
            msg += "ODBC32 Error " + records.back().State + " :" + records.back().Text + "\r\n";
        }
    }
    if (freeHandle && handle != SQL_NULL_HANDLE) odbc::SQLFreeHandle(handleType, handle);
    if (!records.empty()) throw EODBCError(msg, std::move(records));
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
