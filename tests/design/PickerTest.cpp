// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The data-source and table pickers against the project's odbc.ini and the
// three drivers: names offered as the table needs them, picking one opens
// that table, and the login dialog when the database must prompt.
#include "components/DataSetTestUtil.h"

#include "velora/components/ODBCTable.h"
#include "velora/design/ODBCProp.h"
#include "velora/design/ODBCReg.h"
#include "velora/forms/Presenters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace velora {
namespace {

bool Has(const std::vector<String>& list, const String& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

TEST(DesignPickers, DataSourceListHasEveryProjectDataSourceAndActivatesTheSession) {
    Register();
    TOwnedPtr<TComponent> root(new TComponent(nullptr));
    auto* session = new TODBCSession(root.get());
    auto* db = new TODBCDatabase(root.get());
    db->SetSession(session);
    ASSERT_FALSE(session->Active());
    const std::vector<String> names = GetPropertyEditor(nullptr, db, "DataSourceName")->Values();
    EXPECT_TRUE(session->Active());
    for (const test::TestDriver& d : test::TestDrivers()) EXPECT_TRUE(Has(names, d.Dsn)) << d.Dsn;
    EXPECT_TRUE(Has(names, test::PgLoginDsn));
    EXPECT_FALSE(db->Connected());
}

TEST(DesignPickers, ALongDriverDescriptionNeitherHidesItsDataSourceNorEndsTheList) {
    Register();
    // User data sources of a file of their own: one whose description (the
    // driver manager answers the Driver value) is far longer than 50 bytes
    // between two short ones.
    const std::string ini = ::testing::TempDir() + test::UniqueName("odbc") + ".ini";
    {
        std::ofstream f(ini);
        f << "[DsnBefore]\nDriver=SQLite3\n\n[DsnLongDriver]\nDriver=/usr/lib/x86_64-linux-gnu/odbc/"
          << std::string(200, 'x') << ".so\n\n[DsnAfter]\nDriver=SQLite3\n";
    }
    const char* old = std::getenv("ODBCINI");
    const std::string saved = old ? old : "";
    ::setenv("ODBCINI", ini.c_str(), 1);
    std::vector<String> names;
    {
        TOwnedPtr<TComponent> root(new TComponent(nullptr));
        auto* session = new TODBCSession(root.get());
        auto* db = new TODBCDatabase(root.get());
        db->SetSession(session);
        names = GetPropertyEditor(nullptr, db, "DataSourceName")->Values();
    }
    if (old)
        ::setenv("ODBCINI", saved.c_str(), 1);
    else
        ::unsetenv("ODBCINI");
    std::remove(ini.c_str());
    EXPECT_TRUE(Has(names, "DsnBefore"));
    EXPECT_TRUE(Has(names, "DsnLongDriver"));
    EXPECT_TRUE(Has(names, "DsnAfter"));
    EXPECT_TRUE(Has(names, test::Driver(test::DriverKind::SQLite).Dsn)) << "the system data sources too";
}

class TablePicker : public test::DataSetDriverTest {
protected:
    std::string Q(const std::string& name) const {
        const char q = Drv().Traits.IdentifierQuote;
        return q + name + q;
    }
    std::vector<String> Offered(TODBCTable* table) { return GetPropertyEditor(nullptr, table, "TableName")->Values(); }
    /// Picks `name` and answers the first column of the first row the table opens on.
    String PickAndRead(TODBCTable* table, const String& name) {
        GetPropertyEditor(nullptr, table, "TableName")->SetValue(name);
        table->Open();
        const String value = table->Fields().Fields(0)->AsString();
        table->Close();
        return value;
    }
};

TEST_P(TablePicker, OffersNamesAsTheTableNeedsThemAndPickingOneOpensThatTable) {
    Register();
    const std::string base = test::UniqueName("sales");
    const std::string data = base + " Data";
    FRaw->DropTableIfExists(Q(data));
    FTables.push_back(Q(data));
    FRaw->Exec("CREATE TABLE " + Q(data) + " (what varchar(20))");
    FRaw->Exec("INSERT INTO " + Q(data) + " VALUES ('from data')");
    FRaw->Exec("CREATE TABLE " + base + " (what varchar(20))");
    FTables.push_back(base);
    FRaw->Exec("INSERT INTO " + base + " VALUES ('from sales')");
    const std::string view = base + "_v";
    FRaw->Exec("CREATE VIEW " + view + " AS SELECT what FROM " + base);

    auto* table = new TODBCTable(FOwner.get());
    EXPECT_TRUE(Offered(table).empty()) << "no database: nothing offered";
    table->SetDataBase(FDb);
    ASSERT_FALSE(FDb->Connected());
    const std::vector<String> names = Offered(table);
    EXPECT_TRUE(FDb->Connected());
    EXPECT_TRUE(Has(names, base));
    EXPECT_TRUE(Has(names, Q(data))) << "a name with a blank is offered quoted";
    EXPECT_TRUE(Has(names, view)) << "views are offered";
    EXPECT_EQ(PickAndRead(table, Q(data)), "from data");
    EXPECT_EQ(PickAndRead(table, base), "from sales");
    EXPECT_EQ(PickAndRead(table, view), "from sales");
    FRaw->Exec("DROP VIEW " + view);
}

TEST(DesignPickers, TablesOfTheSameNameInTwoSchemasAreOfferedWithTheirSchemasPostgreSQL) {
    const test::TestDriver& pg = test::Driver(test::DriverKind::PostgreSQL);
    VELORA_REQUIRE_DRIVER(pg);
    Register();
    test::RawConnection raw(pg);
    const std::string s1 = test::UniqueName("sa");
    const std::string s2 = test::UniqueName("sb");
    for (const std::string& s : {s1, s2}) {
        raw.Exec("CREATE SCHEMA " + s);
        raw.Exec("CREATE TABLE " + s + ".dup (what varchar(20))");
        raw.Exec("INSERT INTO " + s + ".dup VALUES ('from " + s + "')");
    }
    std::vector<String> names;
    String read;
    {
        TOwnedPtr<TComponent> root(new TComponent(nullptr));
        auto* table = new TODBCTable(root.get());
        table->SetDataBase(test::NewDatabase(root.get(), pg));
        names = GetPropertyEditor(nullptr, table, "TableName")->Values();
        GetPropertyEditor(nullptr, table, "TableName")->SetValue(s2 + ".dup");
        table->Open();
        read = table->Fields().Fields(0)->AsString();
    }
    for (const std::string& s : {s1, s2}) raw.Exec("DROP SCHEMA " + s + " CASCADE");
    EXPECT_TRUE(Has(names, s1 + ".dup"));
    EXPECT_TRUE(Has(names, s2 + ".dup"));
    EXPECT_FALSE(Has(names, "dup"));
    EXPECT_EQ(read, "from " + s2);
}

INSTANTIATE_TEST_SUITE_P(Drivers, TablePicker, test::AllDrivers(), test::DriverParamName());

TEST(DesignPickers, AClosedDatabaseThatPromptsShowsTheLoginDialogPostgreSQL) {
    VELORA_REQUIRE_DRIVER(test::Driver(test::DriverKind::PostgreSQL));
    Register();
    TOwnedPtr<TComponent> root(new TComponent(nullptr));
    auto* db = new TODBCDatabase(root.get());
    db->SetDataSourceName(test::PgLoginDsn);
    auto* table = new TODBCTable(root.get());
    table->SetDataBase(db);
    auto user = std::make_shared<TScriptedPresenter>();
    user->TypeInto("UserName", test::PgLoginUser).TypeInto("Password", test::PgLoginPassword).Key(VK_RETURN);
    std::vector<String> names;
    {
        TPresenterScope scope(user);
        names = GetPropertyEditor(nullptr, table, "TableName")->Values();
    }
    ASSERT_EQ(user->Shown().size(), 1u);
    EXPECT_EQ(user->Shown()[0].Caption, "Please enter your Login Information");
    EXPECT_TRUE(db->Connected());
}

}  // namespace
}  // namespace velora
