// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// What the dataset tests share: a fixture over the test drivers with a root
// component owning a connected database, tables created and dropped through
// the raw ODBC oracle, and the ids of a table as a plain SELECT delivers
// them (the model navigation is compared with).
#pragma once

#include "support/TestEnv.h"
#include "support/TestSupport.h"

#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCDataSet.h"
#include "velora/components/ODBCTable.h"
#include "velora/engine/ODBC.h"  // the tests reach into the engine too
#include "velora/odbc/ODBCFaults.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace velora::test {

/// A database component on the driver's data source, owned by `owner`;
/// never prompts.
inline TODBCDatabase* NewDatabase(TComponent* owner, const TestDriver& driver) {
    auto* db = new TODBCDatabase(owner);
    db->SetDataSourceName(driver.Dsn);
    db->SetLoginPrompt(false);
    if (!driver.User.empty()) db->Params()->SetValues("USER NAME", driver.User);
    db->Params()->SetValues("PASSWORD", driver.Password);
    return db;
}

/// Rows of "INSERT INTO name VALUES (...)" in chunks, through the oracle.
inline void InsertRows(RawConnection& raw, const std::string& table, const std::vector<std::string>& values) {
    for (std::size_t first = 0; first < values.size(); first += 200) {
        std::string sql = "INSERT INTO " + table + " VALUES ";
        for (std::size_t i = first; i < values.size() && i < first + 200; ++i)
            sql += (i == first ? "(" : ", (") + values[i] + ")";
        raw.Exec(sql);
    }
}

/// The driver's fixture: a root component owning a database on the
/// driver's data source (not yet connected), the oracle connection, and the
/// tables a test creates (dropped when it ends).
class DataSetDriverTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        if (IsSkipped()) return;
        FRaw = std::make_unique<RawConnection>(Drv());
        FOwner.reset(new TComponent(nullptr));
        FDb = NewDatabase(FOwner.get(), Drv());
    }
    void TearDown() override {
        FOwner.reset();
        for (const std::string& t : FTables) FRaw->DropTableIfExists(t);
        FRaw.reset();
    }

    /// Creates a table with `columns` (SQL text of the column list) under a
    /// fresh name and answers the name.
    std::string CreateTable(const std::string& columns) {
        std::string name = UniqueName("ds");
        FRaw->DropTableIfExists(name);
        FRaw->Exec("CREATE TABLE " + name + " (" + columns + ")");
        FTables.push_back(name);
        return name;
    }

    /// A table num(id, name, amount) holding ids 1..n (name "row <id>",
    /// amount id * 1.5).
    std::string CreateNumbered(int n) {
        std::string name = CreateTable("id integer primary key, name varchar(30), amount decimal(10,2)");
        std::vector<std::string> rows;
        for (int i = 1; i <= n; ++i)
            rows.push_back(std::to_string(i) + ", 'row " + std::to_string(i) + "', " + std::to_string(i * 1.5));
        InsertRows(*FRaw, name, rows);
        return name;
    }

    /// A table dataset on the fixture's database, owned by the root.
    TODBCTable* NewTable(const std::string& tableName) {
        auto* t = new TODBCTable(FOwner.get());
        t->SetDataBase(FDb);
        t->SetTableName(tableName);
        return t;
    }

    /// The first column of every row of a query, as the oracle reads it.
    std::vector<std::string> Column(const std::string& sql) {
        std::vector<std::string> out;
        for (const Row& r : FRaw->Query(sql)) out.push_back(r.at(0).value_or("<null>"));
        return out;
    }

    std::unique_ptr<RawConnection> FRaw;
    TOwnedPtr<TComponent> FOwner;
    TODBCDatabase* FDb = nullptr;
    std::vector<std::string> FTables;
};

/// A fault on the named boundary call of one statement: answers rc with
/// the records.
inline odbc::faults::Fault StatementFault(const std::string& call, SQLHSTMT stmt, SQLRETURN rc,
                                          std::vector<odbc::DiagRecord> diags) {
    odbc::faults::Fault f;
    f.Call = call;
    f.Handle = stmt;
    f.Rc = rc;
    f.Diags = std::move(diags);
    return f;
}

/// The SQLSTATE of the EODBCError `f` raises: "(no error)" when it raised
/// nothing, "(other)" for another exception, "(none)" for an error without one.
template <class F>
std::string SQLStateRaised(F&& f) {
    try {
        f();
    } catch (const EODBCError& e) {
        return e.SQLState.empty() ? "(none)" : e.SQLState;
    } catch (const std::exception&) {
        return "(other)";
    }
    return "(no error)";
}

/// Reads the "ID" field of every record from the active one to the end.
inline std::vector<std::string> IdsToEnd(TDataSet& ds, const char* field = "id") {
    std::vector<std::string> ids;
    while (!ds.Eof()) {
        ids.push_back(ds.FieldByName(field)->AsString());
        ds.Next();
    }
    return ids;
}

}  // namespace velora::test
