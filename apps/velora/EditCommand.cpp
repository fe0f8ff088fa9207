// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// velora edit, insert and delete: one row of a table written through
// TODBCTable. Row N is reached by navigation (First, then MoveBy), as a grid
// user would reach it, counted in primary-key order when the table has a
// primary key (the table's own order can change with every update on some
// data sources, PostgreSQL among them), else in the table's order. The row
// is written with Edit/Append/Delete and Post,
// so the dataset's own road to the data source (the driver's keyset cursor
// or the cursor library's positioned statements) does the work.
//
// Afterwards the row is read back through a second table on the same
// connection, ordered by the table's primary key, and printed as the data
// source has it: found by its key values, or, for a new row whose key the
// data source assigned, as the last row in key order. A table without a
// primary key is read back by position (the new row: the last one).
//
// Values are given as text and assigned with the field's AsString; the text
// "(null)" clears a field, as the table command prints NULL. Memo and BLOB
// columns take the text as their whole value.
#include "EditCommand.h"

#include "RowPrinter.h"
#include "CommandDatabase.h"

#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCTable.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/odbc/ODBCBoundary.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace velora::app {

namespace {

int ParseRow(const std::string& text) {
    long long n = 0;
    if (!TryStrToInt(text, n) || n < 1 || n > 1000000000)
        throw TEditUsageError{"--row needs a positive number, not '" + text + "'"};
    return static_cast<int>(n);
}

std::pair<std::string, std::string> ParseAssignment(const std::string& text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) throw TEditUsageError{"expected COLUMN=VALUE, not '" + text + "'"};
    return {text.substr(0, eq), text.substr(eq + 1)};
}

/// The table's primary key columns in key order (empty: none known).
std::vector<std::string> PrimaryKey(TODBCDatabase& db, const std::string& table) {
    std::vector<std::pair<int, std::string>> columns;
    SQLHSTMT stmt = ODBCAllocStmt(db.Handle());
    SQLRETURN rc = odbc::SQLPrimaryKeys(stmt, nullptr, 0, nullptr, 0,
                                        reinterpret_cast<SQLCHAR*>(const_cast<char*>(table.c_str())), SQL_NTS);
    while (ODBCSucceeded(rc) && ODBCSucceeded(odbc::SQLFetch(stmt))) {
        char name[256] = {};
        SQLLEN length = 0;
        SQLSMALLINT seq = 0;
        if (!ODBCSucceeded(odbc::SQLGetData(stmt, 4, SQL_C_CHAR, name, sizeof name, &length))) break;
        if (!ODBCSucceeded(odbc::SQLGetData(stmt, 5, SQL_C_SSHORT, &seq, sizeof seq, &length))) seq = 0;
        columns.emplace_back(seq, name);
    }
    ODBCFreeStmt(stmt);
    std::sort(columns.begin(), columns.end());
    std::vector<std::string> names;
    for (auto& c : columns) names.push_back(c.second);
    return names;
}

/// Brings `table` to row `n` (1-based) by navigation.
void GoToRow(TODBCTable& table, int n, const std::string& name) {
    table.First();
    const int moved = table.MoveBy(n - 1);
    if (table.IsEmpty() || moved != n - 1)
        throw Exception("table " + name + " has only " + std::to_string(table.IsEmpty() ? 0 : moved + 1) + " rows");
}

/// Writes `value` as field's value in the record being edited or inserted.
/// Long values go through the cursor's long-data path.
void Assign(TODBCTable& table, TField* field, const std::string& value,
            std::vector<std::pair<TField*, std::string>>& longValues) {
    if (field->IsBlob()) {
        longValues.emplace_back(field, value);
        return;
    }
    if (value == "(null)")
        field->Clear();
    else
        field->SetAsString(value);
    (void)table;
}

void WriteLong(TODBCTable& table, int state, const void* bookmark, TField* field, const std::string& value) {
    if (value == "(null)") throw Exception("a long value cannot be set to NULL here: " + field->FieldName());
    if (table.Engine()->WriteBlob(state, bookmark, field->FieldNo(), 0, static_cast<std::int32_t>(value.size()),
                                  value.data()) != 0)
        throw Exception("writing the long value of " + field->FieldName() + " failed");
}

}  // namespace

int EditCommand(const std::string& command, const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> sets;
    std::string user, password;
    bool haveUser = false, havePassword = false;
    int row = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* option) {
            if (i + 1 >= args.size()) throw TEditUsageError{std::string(option) + " needs a value"};
            return args[++i];
        };
        if (a == "--row" && command != "insert") {
            row = ParseRow(value("--row"));
        } else if (a == "--set" && command == "edit") {
            sets.push_back(ParseAssignment(value("--set")));
        } else if (a == "--user") {
            user = value("--user");
            haveUser = true;
        } else if (a == "--password") {
            password = value("--password");
            havePassword = true;
        } else if (!a.empty() && a[0] == '-') {
            throw TEditUsageError{"unknown option " + a};
        } else if (command == "insert" && positional.size() >= 2) {
            sets.push_back(ParseAssignment(a));
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) throw TEditUsageError{command + " needs a data source name and a table name"};
    if (command != "insert" && row == 0) throw TEditUsageError{command + " needs --row N"};
    if (command != "delete" && sets.empty()) throw TEditUsageError{command + " needs at least one COLUMN=VALUE"};
    const std::string& dsn = positional[0];
    const std::string& name = positional[1];
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    auto* db = NewCommandDatabase(owner.get(), dsn, haveUser ? &user : nullptr, havePassword ? &password : nullptr);

    db->Open();
    const std::vector<std::string> key = PrimaryKey(*db, name);
    String order;
    for (const std::string& k : key) order += (order.empty() ? "" : ", ") + k;

    auto* table = new TODBCTable(owner.get());
    table->SetDataBase(db);
    table->SetTableName(name);
    if (!order.empty()) {
        table->IndexParams()->SetText(order);
        table->SetIndexed(true);
    }
    table->Open();
    if (!table->CanModify()) throw Exception("table " + name + " cannot be modified through this connection");

    if (command == "delete") {
        GoToRow(*table, row, name);
        const TRow gone = ReadRow(*table);
        table->Delete();
        table->Refresh();
        const int left = table->RecordCount();
        std::printf("deleted row %d:\n", row);
        PrintRows(HeaderOf(*table), {gone});
        std::printf("(%d row%s left)\n", left, left == 1 ? "" : "s");
        return 0;
    }

    std::vector<std::pair<TField*, std::string>> longValues;
    std::vector<std::string> keyValues;
    std::int32_t bookmark = -1;
    if (command == "edit") {
        GoToRow(*table, row, name);
        table->Edit();
        std::memcpy(&bookmark, table->GetBookmark().data(), sizeof bookmark);
    } else {
        table->Append();
    }
    for (const auto& [column, value] : sets) Assign(*table, table->FieldByName(column), value, longValues);
    if (command == "insert")
        for (auto& [field, value] : longValues) WriteLong(*table, dsInsert, &bookmark, field, value);
    for (const std::string& k : key) {
        TField* field = table->FindField(k);
        keyValues.push_back(field && !field->IsNull() ? std::string(field->AsString()) : std::string());
    }
    const bool keyKnown = !key.empty() && std::none_of(keyValues.begin(), keyValues.end(),
                                                       [](const std::string& v) { return v.empty(); });
    table->Post();
    if (command == "edit")
        for (auto& [field, value] : longValues) WriteLong(*table, dsEdit, &bookmark, field, value);
    table->Close();

    // Read the row back as the data source has it now.
    auto* check = new TODBCTable(owner.get());
    check->SetDataBase(db);
    check->SetTableName(name);
    check->SetReadOnly(true);
    if (!order.empty()) {
        check->IndexParams()->SetText(order);
        check->SetIndexed(true);
    }
    check->Open();
    bool found = false;
    if (keyKnown) {
        for (check->First(); !check->Eof() && !found;) {
            found = true;
            for (std::size_t i = 0; i < key.size() && found; ++i) {
                TField* field = check->FindField(key[i]);
                found = field && !field->IsNull() && std::string(field->AsString()) == keyValues[i];
            }
            if (!found) check->Next();
        }
    } else if (command == "insert") {
        check->Last();
        found = !check->IsEmpty();
    } else {
        GoToRow(*check, row, name);
        found = true;
    }
    if (!found) throw Exception("the row written is not in " + name + " any more");
    std::printf("%s row:\n", command == "edit" ? "edited" : "inserted");
    PrintRows(HeaderOf(*check), {ReadRow(*check)});
    return 0;
}

}  // namespace velora::app
