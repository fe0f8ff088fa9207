// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// velora apply: the update-object pattern at the command line. A TODBCQuery
// reads the SELECT and stands on row N (First, then MoveBy); the fields are
// changed in the dataset's record only (Edit or Insert, SetAsString or
// Clear, never Post); a TODBCUpdateSQL attached to the query writes the
// record with the user's statement (Apply of the kind), and the edit is then
// cancelled. A delete is applied in browse state. Each statement must touch
// exactly one row, else the update object undoes it and raises "Update
// failed" (exit 1).
//
// Afterwards the query is read again (Refresh) and the row is printed as the
// data source has it: the first row, looking at row N first, whose assigned
// columns hold the values the record held when it was written. A row the
// query no longer shows (the new values move it out of the query's WHERE) is
// reported on standard error (as is a value the statement did not write);
// the write itself stands. A delete prints the
// row as read before the delete and the number of rows the query shows
// afterwards.
#include "ApplyCommand.h"

#include "EditCommand.h"
#include "RowWriter.h"

#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCUpdateSQL.h"

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace velora::app {

namespace {

/// A column's value as the record holds it: null, or its text.
using TExpected = std::pair<TField*, std::optional<std::string>>;

bool Matches(const std::vector<TExpected>& expected) {
    for (const auto& [field, value] : expected) {
        if (field->IsNull() != !value.has_value()) return false;
        if (!value) continue;
        const std::string stored = field->AsString();
        if (stored == *value) continue;
        // A number reads back in the column's own form ("3" as "3.00").
        double a = 0, b = 0;
        if (!TryStrToFloat(stored, a) || !TryStrToFloat(*value, b) || a != b) return false;
    }
    return true;
}

/// Brings `query` to row `n` (1-based); false when it has fewer rows.
bool GoTo(TODBCQuery& query, int n) {
    query.First();
    return !query.IsEmpty() && query.MoveBy(n - 1) == n - 1;
}

}  // namespace

void TApplyCommand::Define(CLI::App& cmd) {
    cmd.add_option("DSN", FDsn, "ODBC data source name or connection string")->required();
    cmd.add_option("SQL", FSQL, "the SELECT whose row is written")->required();
    cmd.add_option("--row", FRow, "row number of the SELECT, from 1 (modify and delete; an insert goes before it)")
        ->check(CLI::Range(1, 1000000000));
    cmd.add_option("--set", FSets,
                   "COLUMN=VALUE assigned in the record before it is written: VALUE as text; COLUMN=:null "
                   "assigns NULL, and a value ending in :null or :string is written whole with :string added");
    auto* modify = cmd.add_option(
        "--modify-sql", FModify, "UPDATE writing the edited row; :COLUMN is the new value, :OLD_COLUMN the value read");
    auto* insert = cmd.add_option("--insert-sql", FInsert, "INSERT writing a new row from the assigned columns");
    auto* remove = cmd.add_option("--delete-sql", FDelete, "DELETE removing row N; :OLD_COLUMN is its value");
    modify->excludes(insert)->excludes(remove);
    insert->excludes(remove);
    FAccount.Define(cmd);
    FOutput.Define(cmd);
}

int TApplyCommand::Run() {
    if (!FModify && !FInsert && !FDelete) throw TUsageError{"give one of --modify-sql, --insert-sql, --delete-sql"};
    if (!FInsert && FRow == 0) throw TUsageError{"--row is required with --modify-sql and --delete-sql"};
    if (FDelete && !FSets.empty()) throw TUsageError{"--set has no use with --delete-sql"};
    if (!FDelete && FSets.empty()) throw TUsageError{"--set COLUMN=VALUE is required"};
    std::vector<TAssignment> sets;
    for (const std::string& text : FSets) sets.push_back(ParseAssignment(text));
    const TUpdateKind kind = FModify ? ukModify : FInsert ? ukInsert : ukDelete;
    const std::string& statement = FModify ? *FModify : FInsert ? *FInsert : *FDelete;

    auto writer = NewRowWriter(FOutput, stdout);
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    TODBCDatabase* db = FAccount.NewDatabase(owner.get(), FDsn);
    auto* query = new TODBCQuery(owner.get());
    query->SetDataBase(db);
    query->SQL()->SetText(FSQL);
    auto* update = new TODBCUpdateSQL(owner.get());
    update->GetSQL(kind)->SetText(statement);
    query->SetUpdateObject(update);
    query->Open();
    if (FRow > 0 && !GoTo(*query, FRow))
        throw Exception("the query has only " + std::to_string(query->IsEmpty() ? 0 : query->RecNo()) + " rows");
    const bool notes = FOutput.Format == "table";  // the other formats stay machine-readable

    if (kind == ukDelete) {
        TRow gone;
        TDataSetReader(*query).Read(gone);
        update->Apply(ukDelete);
        query->Refresh();
        const int left = query->RecordCount();
        if (notes) std::printf("deleted row %d:\n", FRow);
        WriteOneRow(*query, *writer, &gone);
        if (notes) std::printf("(%d row%s left)\n", left, left == 1 ? "" : "s");
        return 0;
    }

    if (kind == ukModify)
        query->Edit();
    else
        query->Insert();
    std::vector<std::pair<std::string, std::optional<std::string>>> written;
    try {
        for (const TAssignment& a : sets) {
            TField* field = query->FieldByName(a.Column);
            if (a.Null)
                field->Clear();
            else if (field->DataType() == ftBoolean)
                field->SetAsBoolean(BooleanInput(a.Value, field->FieldName()));
            else
                field->SetAsString(a.Value);
        }
        for (const TAssignment& a : sets) {
            TField* field = query->FieldByName(a.Column);
            written.emplace_back(a.Column,
                                 field->IsNull() ? std::nullopt : std::optional<std::string>(field->AsString()));
        }
        update->Apply(kind);
    } catch (...) {
        query->Cancel();
        throw;
    }
    query->Cancel();

    // Read the query again and find the row as stored.
    query->Refresh();
    std::vector<TExpected> expected;
    for (auto& [column, value] : written) expected.emplace_back(query->FieldByName(column), value);
    bool found = FRow > 0 && GoTo(*query, FRow) && Matches(expected);
    if (!found)
        for (query->First(); !found && !query->Eof();) {
            found = Matches(expected);
            if (!found) query->Next();
        }
    if (!found) {
        std::fprintf(stderr,
                     "velora: the row was written; no row of the query now holds the values assigned (the statement "
                     "did not write them all, or the row left the query)\n");
        return 0;
    }
    if (notes) std::printf("%s row:\n", kind == ukModify ? "modified" : "inserted");
    WriteOneRow(*query, *writer);
    return 0;
}

}  // namespace velora::app
