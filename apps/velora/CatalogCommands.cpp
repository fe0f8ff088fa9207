// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// `describe` finds the field type of each column the way an application
// meets it: a query over the table (with a condition that holds for no row)
// is opened, and its fields are the ones a dataset gives the columns. The
// rest comes from the catalog component: the declared type (size and scale
// only where the type has them), default, nullability and key, then, in the
// table format, the indexes and foreign keys where the driver lists them.
#include "CatalogCommands.h"

#include "RowWriter.h"

#include "velora/components/ODBCCatalog.h"
#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCQuery.h"
#include "velora/odbc/ODBCBoundary.h"

#include <algorithm>
#include <cstdio>

namespace velora::app {

namespace {

TCell Text(const std::string& s) { return {false, false, s}; }
TCell Number(long long n) { return {false, false, std::to_string(n)}; }
TCell Null() { return {true, false, {}}; }

/// "a, b"
std::string Joined(const std::vector<String>& names) {
    std::string out;
    for (const String& n : names) out += (out.empty() ? "" : ", ") + n;
    return out;
}

/// The indexes and foreign keys of `table` as lines under the columns; a
/// driver that does not list them is named so.
void WriteKeys(TODBCDatabase& db, const std::string& table, std::FILE* out) {
    std::string text;
    try {
        const std::vector<TODBCIndexInfo> indexes = ODBCListIndexes(db, table);
        text += indexes.empty() ? "Indexes: none\n" : "Indexes:\n";
        for (const TODBCIndexInfo& i : indexes)
            text += "  " + i.Name + (i.Unique ? " UNIQUE (" : " (") + Joined(i.Columns) + ")\n";
    } catch (const EODBCError&) {
        text += "Indexes: not listed by the driver\n";
    }
    try {
        const std::vector<TODBCForeignKeyInfo> keys = ODBCListForeignKeys(db, table);
        text += keys.empty() ? "Foreign keys: none\n" : "Foreign keys:\n";
        for (const TODBCForeignKeyInfo& k : keys)
            text += "  " + (k.Name.empty() ? "" : k.Name + " ") + "(" + Joined(k.Columns) + ") REFERENCES " + k.RefTable +
                    " (" + Joined(k.RefColumns) + ")\n";
    } catch (const EODBCError&) {
        text += "Foreign keys: not listed by the driver\n";
    }
    std::fputs(text.c_str(), out);
}

}  // namespace

void WriteTables(TODBCDatabase& db, const TOutputOptions& output, bool views, std::FILE* out) {
    const std::vector<TODBCTableInfo> tables = ODBCListTables(db, views);
    const bool schemas = std::any_of(tables.begin(), tables.end(), [](const auto& t) { return !t.Schema.empty(); });
    const bool catalogs =
        !schemas && std::any_of(tables.begin(), tables.end(), [](const auto& t) { return !t.Catalog.empty(); });
    std::vector<TColumn> columns;
    if (schemas) columns.push_back({"schema"});
    if (catalogs) columns.push_back({"catalog"});
    columns.push_back({"name"});
    columns.push_back({"type"});
    auto writer = NewRowWriter(output, out);
    writer->Begin(columns);
    for (const TODBCTableInfo& t : tables) {
        TRow row;
        if (schemas) row.push_back(Text(t.Schema));
        if (catalogs) row.push_back(Text(t.Catalog));
        row.push_back(Text(t.Name));
        row.push_back(Text(t.Type));
        writer->Row(row);
    }
    writer->End(static_cast<long long>(tables.size()));
}

void WriteColumns(TODBCDatabase& db, const std::string& table, const TOutputOptions& output, std::FILE* out) {
    const std::vector<TODBCColumnInfo> columns = ODBCListColumns(db, table);
    TOwnedPtr<TODBCQuery> query(new TODBCQuery(nullptr));
    query->SetDataBase(&db);
    query->SetReadOnly(true);
    query->SQL()->SetText("SELECT * FROM " + table + " WHERE 1=0");
    query->Open();

    auto writer = NewRowWriter(output, out);
    writer->Begin({{"column"},
                   {"type"},
                   {"size", TCellKind::Number},
                   {"decimals", TCellKind::Number},
                   {"default"},
                   {"nullable"},
                   {"key", TCellKind::Number},
                   {"field type"}});
    for (const TODBCColumnInfo& c : columns) {
        TField* field = query->FindField(c.Name);
        // Size and decimals as the declared type has them, none where it has none.
        const std::string declared = ODBCDeclaredType(c);
        long long size = -1, decimals = -1;
        if (const std::size_t open = declared.find('('); open != std::string::npos) {
            int p = -1, d = -1;
            const int n = std::sscanf(declared.c_str() + open, "(%d,%d", &p, &d);
            size = n >= 1 ? p : -1;
            decimals = n >= 2 ? d : -1;
        }
        writer->Row({Text(c.Name), Text(declared), size < 0 ? Null() : Number(size),
                     decimals < 0 ? Null() : Number(decimals), c.Default ? Text(*c.Default) : Null(),
                     Text(c.Nullable == SQL_NO_NULLS   ? "no"
                          : c.Nullable == SQL_NULLABLE ? "yes"
                                                       : "unknown"),
                     c.KeySequence > 0 ? Number(c.KeySequence) : Null(),
                     field ? Text(FieldTypeName(field->DataType())) : Text("(none: not read)")});
    }
    writer->End(static_cast<long long>(columns.size()));
    if (output.Format == "table") WriteKeys(db, table, out);
    query->Close();
}

void TTablesCommand::Define(CLI::App& cmd) {
    cmd.add_option("DSN", FDsn, "ODBC data source name or connection string")->required();
    cmd.add_flag("--tables-only", FTablesOnly, "leaves out the views");
    FAccount.Define(cmd);
    FOutput.Define(cmd);
}

int TTablesCommand::Run() {
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    TODBCDatabase* db = FAccount.NewDatabase(owner.get(), FDsn);
    db->Open();
    WriteTables(*db, FOutput, !FTablesOnly);
    return 0;
}

void TDescribeCommand::Define(CLI::App& cmd) {
    cmd.add_option("DSN", FDsn, "ODBC data source name or connection string")->required();
    cmd.add_option("TABLE", FTable, "table name, or SCHEMA.TABLE")->required();
    FAccount.Define(cmd);
    FOutput.Define(cmd);
}

int TDescribeCommand::Run() {
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    TODBCDatabase* db = FAccount.NewDatabase(owner.get(), FDsn);
    db->Open();
    WriteColumns(*db, FTable, FOutput);
    return 0;
}

}  // namespace velora::app
