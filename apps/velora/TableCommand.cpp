// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// velora table: the rows of one table through TODBCTable. The WHERE and
// ORDER BY texts go into FilterParams and IndexParams as they stand, so
// they are the data source's SQL. The whole table is read forward-only, long
// columns included, and written as it is fetched. With --last N the table goes to its end with
// Last and walks back with Prior, which shows the dataset reading backwards
// block by block; the rows are written in table order all the same.
#include "TableCommand.h"

#include "RowWriter.h"

#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCTable.h"

#include <algorithm>
#include <string>
#include <vector>

namespace velora::app {

void TTableCommand::Define(CLI::App& cmd) {
    cmd.add_option("DSN", FDsn, "ODBC data source name or connection string")->required();
    cmd.add_option("TABLE", FTable, "table name")->required();
    cmd.add_option("--where", FWhere,
                   "only the rows this condition holds for (trusted text: runs on the data source as written; a second "
                   "statement is refused)");
    cmd.add_option(
        "--order", FOrder,
        "the rows in this order (trusted text: runs on the data source as written; a second statement is refused)");
    cmd.add_option("--last", FLast, "only the last N rows, reached from the end")->check(CLI::Range(1, 1000000000));
    FAccount.Define(cmd);
    FOutput.Define(cmd);
}

int TTableCommand::Run() {
    auto writer = NewRowWriter(FOutput, stdout);
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    TODBCDatabase* db = FAccount.NewDatabase(owner.get(), FDsn, FLast == 0);

    auto* table = new TODBCTable(owner.get());
    table->SetDataBase(db);
    table->SetTableName(FTable);
    table->SetReadOnly(true);
    table->SetUniDirectional(FLast == 0);
    if (FWhere) {
        table->FilterParams()->SetText(*FWhere);
        table->SetFiltered(true);
    }
    if (FOrder) {
        table->IndexParams()->SetText(*FOrder);
        table->SetIndexed(true);
    }
    table->Open();

    if (FLast == 0) {
        WriteRows(*table, *writer);
    } else {
        TDataSetReader reader(*table);
        std::vector<TRow> rows;
        table->Last();
        while (!table->Bof() && static_cast<int>(rows.size()) < FLast) {
            reader.Read(rows.emplace_back());
            table->Prior();
        }
        std::reverse(rows.begin(), rows.end());
        writer->Begin(reader.Columns());
        for (const TRow& row : rows) writer->Row(row);
        writer->End(static_cast<long long>(rows.size()));
    }
    table->Close();
    return 0;
}

}  // namespace velora::app
