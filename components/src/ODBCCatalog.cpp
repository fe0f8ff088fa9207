// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "velora/components/ODBCCatalog.h"

#include "velora/engine/ODBCHandles.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/odbc/ODBCBoundary.h"

#include <algorithm>

namespace velora {

// The default of TODBCColumnInfo::Nullable, written as a number in the header.
static_assert(SQL_NULLABLE_UNKNOWN == 2);

namespace {

/// A statement on the database's connection. Close frees it and raises when
/// the free fails; on every other path (an error on the way) its owner frees
/// it without raising, since the first error is the one to report and a
/// destructor must not raise.
class TCatalogStatement {
public:
    explicit TCatalogStatement(TODBCDatabase& db) {
        if (!db.Connected()) DatabaseError("Cannot perform this operation on a closed database");
        FOwner.reset(ODBCAllocStmt(db.Handle()));
        FHandle = FOwner.get();
    }
    TCatalogStatement(const TCatalogStatement&) = delete;
    TCatalogStatement& operator=(const TCatalogStatement&) = delete;
    /// Frees the statement; raises EODBCError when the driver refuses.
    void Close() { ODBCFreeStmt(FOwner.release()); }
    SQLHSTMT Handle() const { return FHandle; }
    void Check(SQLRETURN rc) const {
        if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_STMT, FHandle, rc);
    }
    /// Fetches the next row; false at the end.
    bool Fetch() const {
        const SQLRETURN rc = odbc::SQLFetch(FHandle);
        if (rc == SQL_NO_DATA) return false;
        Check(rc);
        return true;
    }
    /// Column `n` (from 1) as text; empty for NULL.
    String Text(SQLUSMALLINT n) const {
        String value;
        char chunk[512];
        for (;;) {
            SQLLEN length = 0;
            const SQLRETURN rc = odbc::SQLGetData(FHandle, n, SQL_C_CHAR, chunk, sizeof chunk, &length);
            if (rc == SQL_NO_DATA) break;
            Check(rc);
            if (length == SQL_NULL_DATA) break;
            const bool more = length == SQL_NO_TOTAL || length >= static_cast<SQLLEN>(sizeof chunk);
            value += more ? std::string(chunk, sizeof chunk - 1) : std::string(chunk, static_cast<std::size_t>(length));
            if (!more) break;
        }
        return value;
    }
    /// Column `n` as a number; `fallback` for NULL.
    SQLLEN Number(SQLUSMALLINT n, SQLLEN fallback) const {
        SQLINTEGER value = 0;
        SQLLEN length = 0;
        Check(odbc::SQLGetData(FHandle, n, SQL_C_SLONG, &value, sizeof value, &length));
        return length == SQL_NULL_DATA ? fallback : value;
    }

private:
    TODBCStmtOwner FOwner;
    SQLHSTMT FHandle = SQL_NULL_HSTMT;
};

SQLCHAR* Arg(String& s) { return s.empty() ? nullptr : reinterpret_cast<SQLCHAR*>(s.data()); }

/// "schema.table" split into its parts ("" schema when not qualified).
std::pair<String, String> SplitName(const String& table) {
    const std::size_t dot = table.rfind('.');
    if (dot == std::string::npos) return {String(), table};
    return {table.substr(0, dot), table.substr(dot + 1)};
}

/// The connection's current catalog (MariaDB: the database in use), empty
/// where the driver has none. Without it MariaDB's SQLTables answers the
/// tables of other databases.
String CurrentCatalog(TODBCDatabase& db) {
    char name[256] = {};
    SQLINTEGER length = 0;
    const SQLRETURN rc = odbc::SQLGetConnectAttr(db.Handle(), SQL_ATTR_CURRENT_CATALOG, name, sizeof name, &length);
    return ODBCSucceeded(rc) && length > 0 && length < static_cast<SQLINTEGER>(sizeof name) ? String(name) : String();
}

}  // namespace

std::vector<TODBCTableInfo> ODBCListTables(TODBCDatabase& db, bool views) {
    TCatalogStatement stmt(db);
    String types = views ? "TABLE,VIEW" : "TABLE";
    String catalog = CurrentCatalog(db);
    stmt.Check(
        odbc::SQLTables(stmt.Handle(), Arg(catalog), SQL_NTS, nullptr, 0, nullptr, 0, Arg(types), SQL_NTS));
    std::vector<TODBCTableInfo> tables;
    while (stmt.Fetch()) tables.push_back({stmt.Text(1), stmt.Text(2), stmt.Text(3), stmt.Text(4)});
    stmt.Close();
    return tables;
}

std::vector<String> ODBCPrimaryKey(TODBCDatabase& db, const String& table) {
    auto [schema, name] = SplitName(table);
    TCatalogStatement stmt(db);
    std::vector<std::pair<SQLLEN, String>> columns;
    const SQLRETURN rc = odbc::SQLPrimaryKeys(stmt.Handle(), nullptr, 0, Arg(schema), SQL_NTS, Arg(name), SQL_NTS);
    if (!ODBCSucceeded(rc)) {
        stmt.Close();
        return {};  // a driver without primary keys answers none known
    }
    while (stmt.Fetch()) columns.emplace_back(stmt.Number(5, 0), stmt.Text(4));
    stmt.Close();
    std::sort(columns.begin(), columns.end());
    std::vector<String> names;
    for (auto& c : columns) names.push_back(c.second);
    return names;
}

std::vector<TODBCColumnInfo> ODBCListColumns(TODBCDatabase& db, const String& table) {
    auto [schema, name] = SplitName(table);
    std::vector<TODBCColumnInfo> columns;
    {
        TCatalogStatement stmt(db);
        stmt.Check(odbc::SQLColumns(stmt.Handle(), nullptr, 0, Arg(schema), SQL_NTS, Arg(name), SQL_NTS, nullptr, 0));
        while (stmt.Fetch()) {
            TODBCColumnInfo c;
            c.Name = stmt.Text(4);
            c.SQLType = static_cast<SQLSMALLINT>(stmt.Number(5, 0));
            c.TypeName = stmt.Text(6);
            c.Size = stmt.Number(7, 0);
            c.Decimals = static_cast<SQLSMALLINT>(stmt.Number(9, -1));
            c.Nullable = static_cast<SQLSMALLINT>(stmt.Number(11, SQL_NULLABLE_UNKNOWN));
            // SQLite's driver writes NULL for a column without a default.
            if (const String def = stmt.Text(13); !def.empty() && !SameText(def, "NULL")) c.Default = def;
            columns.push_back(std::move(c));
        }
        stmt.Close();
    }
    if (columns.empty()) DatabaseError("Table '" + table + "' has no columns or does not exist");
    const std::vector<String> key = ODBCPrimaryKey(db, table);
    for (TODBCColumnInfo& c : columns)
        for (std::size_t i = 0; i < key.size(); ++i)
            if (SameText(key[i], c.Name)) c.KeySequence = static_cast<int>(i + 1);
    return columns;
}

String ODBCDeclaredType(const TODBCColumnInfo& c) {
    if (c.TypeName.find('(') != String::npos) return c.TypeName;
    switch (c.SQLType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_WCHAR:
        case SQL_WVARCHAR:
        case SQL_BINARY:
        case SQL_VARBINARY:
            return c.Size > 0 ? c.TypeName + "(" + std::to_string(c.Size) + ")" : c.TypeName;
        case SQL_DECIMAL:
        case SQL_NUMERIC:
            if (c.Size <= 0) return c.TypeName;
            return c.TypeName + "(" + std::to_string(c.Size) +
                   (c.Decimals > 0 ? "," + std::to_string(c.Decimals) : String()) + ")";
        default:
            return c.TypeName;
    }
}

std::vector<TODBCIndexInfo> ODBCListIndexes(TODBCDatabase& db, const String& table) {
    auto [schema, name] = SplitName(table);
    TCatalogStatement stmt(db);
    stmt.Check(odbc::SQLStatistics(stmt.Handle(), nullptr, 0, Arg(schema), SQL_NTS, Arg(name), SQL_NTS, SQL_INDEX_ALL,
                                   SQL_QUICK));
    std::vector<TODBCIndexInfo> indexes;
    while (stmt.Fetch()) {
        if (stmt.Number(7, SQL_TABLE_STAT) == SQL_TABLE_STAT) continue;  // the table's own statistics row
        const bool unique = stmt.Number(4, 1) == 0;
        const String index = stmt.Text(6);
        const String column = stmt.Text(9);
        if (indexes.empty() || indexes.back().Name != index) indexes.push_back({index, unique, {}});
        indexes.back().Columns.push_back(column);
    }
    stmt.Close();
    return indexes;
}

std::vector<TODBCForeignKeyInfo> ODBCListForeignKeys(TODBCDatabase& db, const String& table) {
    auto [schema, name] = SplitName(table);
    TCatalogStatement stmt(db);
    stmt.Check(odbc::SQLForeignKeys(stmt.Handle(), nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, Arg(schema),
                                    SQL_NTS, Arg(name), SQL_NTS));
    std::vector<TODBCForeignKeyInfo> keys;
    while (stmt.Fetch()) {
        const String refSchema = stmt.Text(2), refTable = stmt.Text(3), refColumn = stmt.Text(4);
        const String column = stmt.Text(8);
        const SQLLEN sequence = stmt.Number(9, 1);
        const String keyName = stmt.Text(12);
        const String target = refSchema.empty() ? refTable : refSchema + "." + refTable;
        // A key sequence of 1 starts the next key.
        if (keys.empty() || sequence <= 1 || keys.back().Name != keyName || keys.back().RefTable != target)
            keys.push_back({keyName, {}, target, {}});
        keys.back().Columns.push_back(column);
        keys.back().RefColumns.push_back(refColumn);
    }
    stmt.Close();
    return keys;
}

std::vector<TODBCTypeInfo> ODBCListTypes(TODBCDatabase& db) {
    TCatalogStatement stmt(db);
    stmt.Check(odbc::SQLGetTypeInfo(stmt.Handle(), SQL_ALL_TYPES));
    std::vector<TODBCTypeInfo> types;
    while (stmt.Fetch()) {
        TODBCTypeInfo t;
        t.Name = stmt.Text(1);
        t.SQLType = static_cast<SQLSMALLINT>(stmt.Number(2, 0));
        t.Size = stmt.Number(3, 0);
        t.CreateParams = stmt.Text(6);
        t.Unsigned = stmt.Number(10, 0) == 1;
        t.AutoUnique = stmt.Number(12, 0) == 1;
        t.MaxScale = static_cast<SQLSMALLINT>(stmt.Number(15, -1));
        types.push_back(std::move(t));
    }
    stmt.Close();
    return types;
}

}  // namespace velora
