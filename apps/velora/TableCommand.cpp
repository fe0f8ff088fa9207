// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// velora table: the rows of one table through TODBCTable. The WHERE and
// ORDER BY texts go into FilterParams and IndexParams as they stand, so
// they are the data source's SQL. With --last N the table goes to its end
// with Last and walks back with Prior, which shows the dataset reading
// backwards block by block; the rows are printed in table order all the
// same.
//
// Values are printed as programs exchange them (AsString, "." decimals);
// NULL prints as "(null)". Long (memo and BLOB) values and binary values
// print as the field's display text, such as "(MEMO)" when there is a value
// and "(Memo)" when there is none, as a grid shows them.
#include "TableCommand.h"

#include "RowPrinter.h"
#include "CommandDatabase.h"

#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCTable.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace velora::app {

namespace {

int ParseCount(const std::string& text) {
    long long n = 0;
    if (!TryStrToInt(text, n) || n < 1 || n > 1000000000)
        throw TTableUsageError{"--last needs a positive number, not '" + text + "'"};
    return static_cast<int>(n);
}

}  // namespace

int TableCommand(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    std::string where, order, user, password;
    bool haveWhere = false, haveOrder = false, haveUser = false, havePassword = false;
    int last = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* option) {
            if (i + 1 >= args.size()) throw TTableUsageError{std::string(option) + " needs a value"};
            return args[++i];
        };
        if (a == "--where") {
            where = value("--where");
            haveWhere = true;
        } else if (a == "--order") {
            order = value("--order");
            haveOrder = true;
        } else if (a == "--last") {
            last = ParseCount(value("--last"));
        } else if (a == "--user") {
            user = value("--user");
            haveUser = true;
        } else if (a == "--password") {
            password = value("--password");
            havePassword = true;
        } else if (!a.empty() && a[0] == '-') {
            throw TTableUsageError{"unknown option " + a};
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) throw TTableUsageError{"table needs a data source name and a table name"};
    const std::string& dsn = positional[0];
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    auto* db = NewCommandDatabase(owner.get(), dsn, haveUser ? &user : nullptr, havePassword ? &password : nullptr);

    auto* table = new TODBCTable(owner.get());
    table->SetDataBase(db);
    table->SetTableName(positional[1]);
    table->SetReadOnly(true);
    if (haveWhere) {
        table->FilterParams()->SetText(where);
        table->SetFiltered(true);
    }
    if (haveOrder) {
        table->IndexParams()->SetText(order);
        table->SetIndexed(true);
    }
    table->Open();

    const TRow header = HeaderOf(*table);
    std::vector<TRow> rows;
    if (last > 0) {
        table->Last();
        while (!table->Bof() && static_cast<int>(rows.size()) < last) {
            rows.push_back(ReadRow(*table));
            table->Prior();
        }
        std::reverse(rows.begin(), rows.end());
    } else {
        for (; !table->Eof(); table->Next()) rows.push_back(ReadRow(*table));
    }
    table->Close();
    PrintRows(header, rows);
    return 0;
}

}  // namespace velora::app
