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
// Values are given as text and assigned with the field's AsString;
// COLUMN=:null clears a field (the way query takes a NULL parameter), and a
// ":string" suffix takes any text as it is, so no real value is mistaken
// for NULL. Memo and BLOB columns take the text as their whole value,
// through the field's BLOB stream.
#include "EditCommand.h"

#include "RowWriter.h"

#include "velora/components/ODBCCatalog.h"
#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCTable.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace velora::app {

TAssignment ParseAssignment(const std::string& text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) throw TUsageError{"expected COLUMN=VALUE, not '" + text + "'"};
    TAssignment a{text.substr(0, eq), text.substr(eq + 1)};
    static const std::string kString = ":string";
    if (a.Value.size() >= kString.size() && SameText(a.Value.substr(a.Value.size() - kString.size()), kString))
        a.Value.erase(a.Value.size() - kString.size());
    else if (SameText(a.Value, ":null"))
        a.Null = true;
    else if (a.Value.size() > 5 && SameText(a.Value.substr(a.Value.size() - 5), ":null"))
        throw TUsageError{"'" + text + "': a value ending in :null is written as " + text + ":string"};
    return a;
}

namespace {

/// Brings `table` to row `n` (1-based) by navigation.
void GoToRow(TODBCTable& table, int n, const std::string& name) {
    table.First();
    const int moved = table.MoveBy(n - 1);
    if (table.IsEmpty() || moved != n - 1)
        throw Exception("table " + name + " has only " + std::to_string(table.IsEmpty() ? 0 : moved + 1) + " rows");
}

/// Writes `value` as field's value in the record being edited or inserted.
/// Long values go through the field's BLOB stream, whole; the post writes
/// them with the row.
void Assign(TDataSet& data, TField* field, const TAssignment& a) {
    if (a.Null)
        field->Clear();
    else if (field->IsBlob())
        data.CreateBlobStream(field, bmWrite)->WriteBuffer(a.Value.data(), static_cast<std::int64_t>(a.Value.size()));
    else if (field->DataType() == ftBoolean)
        field->SetAsBoolean(BooleanInput(a.Value, field->FieldName()));
    else
        field->SetAsString(a.Value);
}

}  // namespace

void TEditCommand::Define(CLI::App& cmd) {
    cmd.add_option("DSN", FDsn, "ODBC data source name or connection string")->required();
    cmd.add_option("TABLE", FTable, "table name")->required();
    if (FKind != "insert")
        cmd.add_option("--row", FRow, "row number, from 1, in primary-key order")
            ->required()
            ->check(CLI::Range(1, 1000000000));
    const char* valueHelp =
        "COLUMN=VALUE: VALUE as text; COLUMN=:null writes NULL, and a value ending in :null or :string is "
        "written whole with :string added (COLUMN=:null:string writes the text :null)";
    if (FKind == "edit") cmd.add_option("--set", FSets, valueHelp)->required();
    if (FKind == "insert") cmd.add_option("COLUMN=VALUE", FSets, valueHelp)->required();
    FAccount.Define(cmd);
    FOutput.Define(cmd);
}

int TEditCommand::Run() {
    const std::string& command = FKind;
    const int row = FRow;
    std::vector<TAssignment> sets;
    for (const std::string& text : FSets) sets.push_back(ParseAssignment(text));
    const std::string& dsn = FDsn;
    const std::string& name = FTable;
    auto writer = NewRowWriter(FOutput, stdout);
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    TODBCDatabase* db = FAccount.NewDatabase(owner.get(), dsn);

    db->Open();
    const std::vector<String> key = ODBCPrimaryKey(*db, name);
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
        TRow gone;
        TDataSetReader(*table).Read(gone);
        table->Delete();
        table->Refresh();
        const int left = table->RecordCount();
        const bool notes = FOutput.Format == "table";  // the other formats stay machine-readable
        if (notes) std::printf("deleted row %d:\n", row);
        WriteOneRow(*table, *writer, &gone);
        if (notes) std::printf("(%d row%s left)\n", left, left == 1 ? "" : "s");
        return 0;
    }

    std::vector<std::string> keyValues;
    if (command == "edit") {
        GoToRow(*table, row, name);
        table->Edit();
    } else {
        table->Append();
    }
    for (const TAssignment& a : sets) Assign(*table, table->FieldByName(a.Column), a);
    for (const std::string& k : key) {
        TField* field = table->FindField(k);
        keyValues.push_back(field && !field->IsNull() ? std::string(field->AsString()) : std::string());
    }
    const bool keyKnown = !key.empty() && std::none_of(keyValues.begin(), keyValues.end(),
                                                       [](const std::string& v) { return v.empty(); });
    table->Post();
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
    if (FOutput.Format == "table") std::printf("%s row:\n", command == "edit" ? "edited" : "inserted");
    WriteOneRow(*check, *writer);
    return 0;
}

}  // namespace velora::app
