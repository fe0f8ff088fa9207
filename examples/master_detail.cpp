// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Master and detail: a detail query whose :id parameter follows the current
// customer of a master table through a data source.
//   Usage: master_detail [DATABASE-FILE]
#include <velora/components/ODBCObj.h>
#include <velora/components/ODBCTable.h>

#include <cstdio>
#include <string>

using namespace velora;

int main(int argc, char** argv) {
    const std::string file = argc > 1 ? argv[1] : "master_detail.db";
    try {
        TOwnedPtr<TComponent> owner(new TComponent(nullptr));
        auto* db = new TODBCDatabase(owner.get());
        db->SetDataSourceName("DRIVER=SQLite3;Database=" + file);
        db->SetLoginPrompt(false);

        auto* sql = new TODBCQuery(owner.get());
        sql->SetDataBase(db);
        for (const char* text : {"DROP TABLE IF EXISTS orders", "DROP TABLE IF EXISTS customers",
                                 "CREATE TABLE customers (id INTEGER PRIMARY KEY, name VARCHAR(20))",
                                 "CREATE TABLE orders (id INTEGER PRIMARY KEY, cust INTEGER, item VARCHAR(20))",
                                 "INSERT INTO customers VALUES (1, 'Ann'), (2, 'Bob')",
                                 "INSERT INTO orders VALUES (10, 1, 'tea'), (11, 2, 'jam'), (12, 1, 'figs')"}) {
            sql->SQL()->SetText(text);
            sql->ExecSQL();
        }

        auto* customers = new TODBCTable(owner.get());
        customers->SetDataBase(db);
        customers->SetTableName("customers");
        auto* source = new TDataSource(owner.get());
        source->SetDataSet(customers);

        auto* orders = new TODBCQuery(owner.get());
        orders->SetDataBase(db);
        orders->SQL()->SetText("SELECT item FROM orders WHERE cust = :id ORDER BY id");
        orders->SetDataSource(source);  // :id comes from the customer's "id" field

        customers->Open();
        orders->Open();
        for (; !customers->Eof(); customers->Next()) {
            std::printf("%s:", customers->FieldByName("name")->AsString().c_str());
            for (orders->First(); !orders->Eof(); orders->Next())
                std::printf(" %s", orders->FieldByName("item")->AsString().c_str());
            std::printf("\n");
        }
    } catch (const Exception& e) {
        std::fprintf(stderr, "error: %s\n", e.Message().c_str());
        return 1;
    }
    return 0;
}
