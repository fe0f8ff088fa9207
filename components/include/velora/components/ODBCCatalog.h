// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// What a connected database holds, read from the driver's catalog functions
// (SQLTables, SQLColumns, SQLPrimaryKeys, SQLStatistics, SQLForeignKeys, SQLGetTypeInfo): the lists behind the velora
// tool's `tables` and `describe` commands, the design-time table picker and the tables a batch creates.
#pragma once

#include "velora/components/ODBCDatabase.h"
#include "velora/odbc/ODBCDefs.h"

#include <optional>
#include <vector>

namespace velora {

/// One table or view. Catalog and Schema are empty where the driver has
/// none (SQLite has neither; MariaDB names the database as the catalog).
struct TODBCTableInfo {
    String Catalog;
    String Schema;
    String Name;
    String Type;  ///< "TABLE" or "VIEW", as the driver reports it
};

/// The tables and views of a connected database (with `views` false: the
/// tables only), in the driver's order (by type, catalog, schema, name).
/// System tables are left out.
/// \throws EODBCError when the driver refuses; EDatabaseError when `db` is
///         not connected.
std::vector<TODBCTableInfo> ODBCListTables(TODBCDatabase& db, bool views = true);

/// One column of a table as the driver's catalog describes it.
struct TODBCColumnInfo {
    String Name;
    String TypeName;               ///< the data source's own type name
    odbc::SmallInt SQLType = 0;    ///< SQL_xxx
    odbc::Len Size = 0;            ///< COLUMN_SIZE (characters, digits or bytes)
    odbc::SmallInt Decimals = -1;  ///< DECIMAL_DIGITS; -1 when it does not apply
    /// SQL_NO_NULLS (0), SQL_NULLABLE (1) or SQL_NULLABLE_UNKNOWN (2).
    odbc::SmallInt Nullable = 2;
    int KeySequence = 0;  ///< position in the primary key from 1; 0: not in it
    /// COLUMN_DEF: the default as the data source writes it (a literal is
    /// quoted, 'x'); none when the column has no default (or NULL) or the driver
    /// does not say.
    std::optional<String> Default;
};

/// The declared type of a column for people: the type name with the length
/// of a character or binary type and the precision and scale of a decimal
/// ("varchar(40)", "numeric(10,2)"), the name alone for the other types
/// (whose COLUMN_SIZE and DECIMAL_DIGITS say nothing the name does not), and
/// the name as it is when it carries its own declaration (SQLite keeps
/// "decimal(10,2)").
String ODBCDeclaredType(const TODBCColumnInfo& column);

/// The columns of `table` in their order, with their place in the primary
/// key. `table` may be "schema.table".
/// \throws EODBCError when the driver refuses; EDatabaseError when `db` is
///         not connected or the table has no columns (it does not exist).
std::vector<TODBCColumnInfo> ODBCListColumns(TODBCDatabase& db, const String& table);

/// One index of a table (SQLStatistics), its columns in index order.
struct TODBCIndexInfo {
    String Name;
    bool Unique = false;
    std::vector<String> Columns;
};

/// The indexes of `table` in the driver's order (unique ones first).
/// `table` may be "schema.table".
/// \throws EODBCError when the driver does not answer.
std::vector<TODBCIndexInfo> ODBCListIndexes(TODBCDatabase& db, const String& table);

/// One foreign key of a table (SQLForeignKeys): its columns and the
/// columns of the table they refer to, in key order.
struct TODBCForeignKeyInfo {
    String Name;  ///< empty when the driver gives none
    std::vector<String> Columns;
    String RefTable;  ///< "schema.table" where the driver names a schema
    std::vector<String> RefColumns;
};

/// The foreign keys `table` holds. `table` may be "schema.table".
/// \throws EODBCError when the driver does not answer.
std::vector<TODBCForeignKeyInfo> ODBCListForeignKeys(TODBCDatabase& db, const String& table);

/// The primary-key columns of `table` in key order (empty: none known).
/// `table` may be "schema.table".
std::vector<String> ODBCPrimaryKey(TODBCDatabase& db, const String& table);

/// One data type of the data source (a row of SQLGetTypeInfo).
struct TODBCTypeInfo {
    String Name;                ///< TYPE_NAME, as a CREATE TABLE takes it
    odbc::SmallInt SQLType = 0;  ///< DATA_TYPE (SQL_xxx)
    /// COLUMN_SIZE: the most characters, bytes or digits; 0 or less when the
    /// driver gives none or no total (a type without a limit it names).
    odbc::Len Size = 0;
    String CreateParams;         ///< CREATE_PARAMS ("length", "precision,scale", ...); empty: none
    bool Unsigned = false;       ///< UNSIGNED_ATTRIBUTE is true
    bool AutoUnique = false;     ///< AUTO_UNIQUE_VALUE is true (the data source numbers it)
    odbc::SmallInt MaxScale = -1;  ///< MAXIMUM_SCALE; -1 when NULL
};

/// The data types of a connected database in the driver's order (by
/// DATA_TYPE, then the closest match first).
/// \throws EODBCError when the driver refuses; EDatabaseError when `db` is
///         not connected.
std::vector<TODBCTypeInfo> ODBCListTypes(TODBCDatabase& db);

/// One data source the driver manager lists (SQLDataSources).
struct TODBCDataSourceInfo {
    String Name;
    String Description;  ///< the driver's description; empty when none
};

/// The user and system data sources of the session's environment, in the
/// driver manager's order; starts the session.
/// \throws EODBCError when the driver manager refuses.
std::vector<TODBCDataSourceInfo> ODBCListDataSources(TODBCSession& session);

/// The name of the server a connected database talks to (SQL_SERVER_NAME;
/// the database file on SQLite).
/// \throws EODBCError when the driver refuses; EDatabaseError when `db` is
///         not connected.
String ODBCServerName(TODBCDatabase& db);

/// Whether `target` (a DataSourceName) is a connection string ("DSN=x;...")
/// rather than the name of a data source, which never holds '='.
bool ODBCIsConnectionString(const String& target);

/// The value of `key` (any case) in a connection string, braces removed;
/// empty when absent (`found` tells an empty value from none).
String ODBCConnectionStringValue(const String& connectionString, const String& key, bool* found = nullptr);

}  // namespace velora
