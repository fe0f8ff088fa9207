// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Quickstart: connect with a connection string (no odbc.ini entry), run a
// parameterised query, edit a row and post it, group work in a transaction,
// and read an error's SQLSTATE.   Usage: quickstart [DATABASE-FILE]
#include <velora/components/ODBCObj.h>

#include <cstdio>
#include <string>

using namespace velora;

int main(int argc, char** argv) {
    const std::string file = argc > 1 ? argv[1] : "quickstart.db";
    try {
        TOwnedPtr<TComponent> owner(new TComponent(nullptr));  // frees what it owns
        auto* db = new TODBCDatabase(owner.get());
        db->SetDataSourceName("DRIVER=SQLite3;Database=" + file);
        db->SetLoginPrompt(false);  // nothing to ask: the file has no account
        db->Open();

        auto* sql = new TODBCQuery(owner.get());
        sql->SetDataBase(db);
        sql->SQL()->SetText("DROP TABLE IF EXISTS fruit");
        sql->ExecSQL();
        sql->SQL()->SetText("CREATE TABLE fruit (id INTEGER PRIMARY KEY, name VARCHAR(20), qty INTEGER)");
        sql->ExecSQL();
        {
            TODBCTransaction transaction(*db);  // rolled back if anything below throws
            sql->SQL()->SetText("INSERT INTO fruit VALUES (:id, :name, :qty)");
            sql->ParamByName("id")->SetAsInteger(1);
            sql->ParamByName("name")->SetAsString("apple");
            sql->ParamByName("qty")->SetAsInteger(5);
            sql->ExecSQL();
            transaction.Commit();
        }

        auto* query = new TODBCQuery(owner.get());
        query->SetDataBase(db);
        query->SQL()->SetText("SELECT id, name, qty FROM fruit WHERE qty >= :min");
        query->ParamByName("min")->SetAsInteger(1);
        query->Open();
        query->Edit();
        query->FieldByName("qty")->SetAsInteger(query->FieldByName("qty")->AsInteger() + 1);
        query->Post();
        std::printf("%s: %d\n", query->FieldByName("name")->AsString().c_str(), query->FieldByName("qty")->AsInteger());

        try {
            sql->ExecSQL();  // the same id again: the primary key refuses it
        } catch (const EODBCError& e) {
            // SQLState is the last diagnostic record's; Diagnostics holds them all.
            std::printf("refused: SQLSTATE %s (%zu records)\n", e.SQLState.c_str(), e.Diagnostics.size());
        }
    } catch (const Exception& e) {  // EODBCError and EDatabaseError among them
        std::fprintf(stderr, "error: %s\n", e.Message().c_str());
        return 1;
    }
    return 0;
}
