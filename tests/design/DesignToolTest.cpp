// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// `velora design` without a screen builds a working form file on every
// driver: a database, a query with a typed parameter and an update object
// whose statements its editor generated. The saved file loads, the query
// opens with its parameter and writes through its update object. And
// `velora update-sql` prints what the editor would generate.
#include "components/DataSetTestUtil.h"

#include "velora/classes/FormFiles.h"
#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCUpdateSQL.h"
#include "velora/forms/FormClasses.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#ifndef VELORA_TOOL
#define VELORA_TOOL ""
#endif

namespace velora {
namespace {

/// Runs the tool with arguments; answers its standard output and status.
std::pair<std::string, int> Tool(const std::string& args) {
    const std::string command = std::string(VELORA_TOOL) + " " + args + " 2>&1";
    FILE* p = ::popen(command.c_str(), "r");
    std::string out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    const int status = ::pclose(p);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

std::string Arg(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

class DesignTool : public test::DataSetDriverTest {
protected:
    void SetUp() override {
        if (std::string(VELORA_TOOL).empty()) GTEST_SKIP() << "the velora tool is not built";
        test::DataSetDriverTest::SetUp();
    }
};

TEST_P(DesignTool, BuildsAFormWhoseQueryOpensWithItsParameterAndWritesThroughItsUpdateObject) {
    const std::string t = CreateTable("id integer primary key, name varchar(20), qty integer");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1, 'one', 10), (2, 'two', 20), (3, 'three', 30)");
    const std::string form = (std::filesystem::temp_directory_path() / (test::UniqueName("form") + ".form")).string();
    std::string account = "USER NAME=" + Drv().User + "\\nPASSWORD=" + Drv().Password;
    auto [out, rc] = Tool("design " + Arg(form) +
                          " --add TODBCDatabase:Database1 --add TODBCQuery:Query1 --add TODBCUpdateSQL:UpdateSQL1"
                          " --set Database1.DataSourceName=" +
                          Drv().Dsn + " --set Database1.LoginPrompt=False --set " + Arg("Database1.Params=" + account) +
                          " --set Query1.Database=Database1 --set " +
                          Arg("Query1.SQL=SELECT id, name, qty FROM " + t + " WHERE qty >= :least ORDER BY id") +
                          " --set Query1.UpdateObject=UpdateSQL1 --param Query1.least=Integer:20"
                          " --verb UpdateSQL1:0 --save");
    ASSERT_EQ(rc, 0) << out;
    EXPECT_NE(out.find("Params = (TODBCParams)"), std::string::npos) << out;
    // A value the parameter's type cannot take is refused, and the file is not written.
    auto [badOut, badRc] = Tool("design " + Arg(form) + " --param Query1.least=Integer:2O --save");
    EXPECT_EQ(badRc, 1) << badOut;
    EXPECT_NE(badOut.find("unchanged"), std::string::npos) << badOut;

    RegisterFormClasses();
    TOwnedPtr<TComponent> root(ReadComponentFromFile(form, nullptr));
    std::filesystem::remove(form);
    auto* q = dynamic_cast<TODBCQuery*>(root->FindComponent("Query1"));
    ASSERT_NE(q, nullptr);
    auto* u = dynamic_cast<TODBCUpdateSQL*>(q->UpdateObject());
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(u->DeleteSQL()->Text(), "DELETE FROM " + t + "\r\nWHERE\r\n  id = :OLD_id\r\n");
    q->Open();
    EXPECT_EQ(q->FieldByName("id")->AsInteger(), 2) << "the parameter typed in the designer";
    q->Edit();
    q->FieldByName("qty")->SetAsInteger(21);
    u->Apply(ukModify);
    q->Cancel();
    q->Close();
    EXPECT_EQ(FRaw->Scalar("SELECT qty FROM " + t + " WHERE id = 2"), "21");
}

// Scripted options run in the order given: the parameter typed first, then
// the query opened with it. The fields the open query made are saved with
// names and read back as the same fields.
TEST_P(DesignTool, ScriptedOptionsRunInTheOrderGivenAndOpenFieldsAreSavedWithNames) {
    const std::string t = CreateTable("id integer primary key, name varchar(20), qty integer");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1, 'one', 10), (2, 'two', 20)");
    const std::string form = (std::filesystem::temp_directory_path() / (test::UniqueName("form") + ".form")).string();
    const std::string account = "USER NAME=" + Drv().User + "\\nPASSWORD=" + Drv().Password;
    auto [out, rc] =
        Tool("design " + Arg(form) +
             " --add TODBCDatabase:Database1 --add TODBCQuery:Query1 --set Database1.DataSourceName=" + Drv().Dsn +
             " --set Database1.LoginPrompt=False --set " + Arg("Database1.Params=" + account) +
             " --set Query1.Database=Database1 --set " +
             Arg("Query1.SQL=SELECT id, name FROM " + t + " WHERE qty >= :least") +
             " --param Query1.least=Integer:20 --set Query1.Active=True --save");
    ASSERT_EQ(rc, 0) << out;
    std::ifstream in(form);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("object Query1id: T"), std::string::npos) << text;
    EXPECT_NE(text.find("object Query1name: TStringField"), std::string::npos) << text;

    RegisterFormClasses();
    TOwnedPtr<TComponent> root(ReadComponentFromFile(form, nullptr));
    std::filesystem::remove(form);
    auto* q = dynamic_cast<TODBCQuery*>(root->FindComponent("Query1"));
    ASSERT_NE(q, nullptr);
    if (!q->Active()) q->Open();
    EXPECT_EQ(q->FieldCount(), 2) << "the saved fields, not a second set";
    EXPECT_EQ(q->FieldByName("name")->Name(), "Query1name");
    EXPECT_EQ(q->FieldByName("name")->AsString(), "two") << "opened with the parameter typed before";
}

TEST_P(DesignTool, UpdateSQLPrintsTheGeneratedStatements) {
    const std::string t = CreateTable("id integer primary key, qty integer");
    std::string account = Drv().User.empty() ? "" : " --user " + Drv().User + " --password " + Arg(Drv().Password);
    auto [out, rc] = Tool("update-sql " + Drv().Dsn + account + " " + Arg("SELECT id, qty FROM " + t));
    ASSERT_EQ(rc, 0) << out;
    EXPECT_EQ(out, "-- ModifySQL\nUPDATE " + t +
                       "\nSET\n  id = :id,\n  qty = :qty\nWHERE\n  id = :OLD_id\n\n"
                       "-- InsertSQL\nINSERT INTO " +
                       t +
                       "\n  (id, qty)\nVALUES\n  (:id, :qty)\n\n"
                       "-- DeleteSQL\nDELETE FROM " +
                       t + "\nWHERE\n  id = :OLD_id\n");
    std::tie(out, rc) = Tool("update-sql " + Drv().Dsn + account + " " + Arg("SELECT id, qty FROM " + t) +
                             " --keys qty --update qty --quote");
    ASSERT_EQ(rc, 0) << out;
    const char q = Drv().Traits.IdentifierQuote;
    EXPECT_NE(out.find(std::string("UPDATE ") + t + "\nSET\n  " + q + "qty" + q + " = :\"qty\"\nWHERE\n  " + t + "." +
                       q + "qty" + q + " = :\"OLD_qty\""),
              std::string::npos)
        << out;
    std::tie(out, rc) = Tool("update-sql " + Drv().Dsn + account + " " + Arg("SELECT id FROM " + t) + " --keys nope");
    EXPECT_EQ(rc, 2) << out;
}

INSTANTIATE_TEST_SUITE_P(Drivers, DesignTool, test::AllDrivers(), test::DriverParamName());

}  // namespace
}  // namespace velora
