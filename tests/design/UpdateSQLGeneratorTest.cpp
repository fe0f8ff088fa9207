// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The update-SQL generator byte for byte, the table name it reads from a
// query, and, on every driver, the dialog's defaults and each generated
// statement run through an update object against real rows.
#include "components/DataSetTestUtil.h"

#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCUpdateSQL.h"
#include "velora/design/ODBCReg.h"
#include "velora/design/ODBCUpd.h"
#include "velora/forms/Presenters.h"

#include <gtest/gtest.h>

namespace velora {
namespace {

const TIdentifierRules kStandard{'"', SQL_IC_MIXED};

TEST(UpdateSQLGenerator, OrdersExampleWithAndWithoutQuotingAndTheDeleteHasFrom) {
    const std::vector<TUpdateField> fields{{"ID", true, true}, {"QTY", true, true}};
    TUpdateStatements s = GenerateUpdateSQL("ORDERS", fields, false, kStandard);
    EXPECT_EQ(s.Modify,
              "UPDATE ORDERS\r\nSET\r\n  ID = :ID,\r\n  QTY = :QTY\r\nWHERE\r\n  ID = :OLD_ID AND\r\n  QTY = :OLD_QTY");
    EXPECT_EQ(s.Insert, "INSERT INTO ORDERS\r\n  (ID, QTY)\r\nVALUES\r\n  (:ID, :QTY)");
    EXPECT_EQ(s.Delete, "DELETE FROM ORDERS\r\nWHERE\r\n  ID = :OLD_ID AND\r\n  QTY = :OLD_QTY");

    s = GenerateUpdateSQL("ORDERS", fields, true, kStandard);
    EXPECT_EQ(
        s.Modify,
        "UPDATE ORDERS\r\nSET\r\n  \"ID\" = :\"ID\",\r\n  \"QTY\" = :\"QTY\"\r\nWHERE\r\n  ORDERS.\"ID\" = :\"OLD_ID\" "
        "AND\r\n  ORDERS.\"QTY\" = :\"OLD_QTY\"");
    EXPECT_EQ(s.Insert, "INSERT INTO ORDERS\r\n  (\"ID\", \"QTY\")\r\nVALUES\r\n  (:\"ID\", :\"QTY\")");
    EXPECT_EQ(s.Delete,
              "DELETE FROM ORDERS\r\nWHERE\r\n  ORDERS.\"ID\" = :\"OLD_ID\" AND\r\n  ORDERS.\"QTY\" = :\"OLD_QTY\"");

    // MariaDB's quote character; nothing selected leaves the parts empty.
    s = GenerateUpdateSQL("ORDERS", {{"ID", true, false}, {"QTY", false, false}}, true, {'`', SQL_IC_MIXED});
    EXPECT_EQ(s.Modify, "UPDATE ORDERS\r\nSET\r\n  \r\nWHERE\r\n  ORDERS.`ID` = :\"OLD_ID\"");
    EXPECT_EQ(s.Insert, "INSERT INTO ORDERS\r\n  ()\r\nVALUES\r\n  ()");
}

TEST(UpdateSQLGenerator, NamesWithBlanksReservedWordsFoldedCaseAndSchemasAreWrittenToWork) {
    const std::vector<TUpdateField> fields{{"Unit Price", false, true}, {"order", true, true}};
    TUpdateStatements s = GenerateUpdateSQL("\"Sales Data\"", fields, false, kStandard);
    EXPECT_EQ(s.Modify,
              "UPDATE \"Sales Data\"\r\nSET\r\n  \"Unit Price\" = :\"Unit Price\",\r\n  \"order\" = "
              ":order\r\nWHERE\r\n  \"order\" = :OLD_order");
    EXPECT_EQ(s.Delete, "DELETE FROM \"Sales Data\"\r\nWHERE\r\n  \"order\" = :OLD_order");
    // PostgreSQL folds unquoted names to lower case: a mixed-case column is quoted.
    s = GenerateUpdateSQL("sales.orders", {{"Qty", true, true}, {"id", false, true}}, false, {'"', SQL_IC_LOWER});
    EXPECT_EQ(s.Insert, "INSERT INTO sales.orders\r\n  (\"Qty\", id)\r\nVALUES\r\n  (:Qty, :id)");

    EXPECT_EQ(StatementTableName("select * from sales.orders where a = 1"), "sales.orders");
    EXPECT_EQ(StatementTableName("SELECT \"x from\" FROM \"Sales Data\" s"), "\"Sales Data\"");
    EXPECT_EQ(StatementTableName("SELECT a FROM `my db`.`t 1`,u"), "`my db`.`t 1`");
    EXPECT_EQ(StatementTableName("INSERT INTO t(a) VALUES (1)"), "t");
    EXPECT_EQ(StatementTableName("-- from x\nSELECT 1 FROM y"), "y");
    EXPECT_EQ(StatementTableName("SELECT 1"), "");
    EXPECT_EQ(TableNameParts("\"a\"\"b\".\"c d\""), (std::vector<String>{"a\"b", "c d"}));
}

// ---- the dialog and the statements on the drivers --------------------------------------------

class UpdateSQLEditor : public test::DataSetDriverTest {
protected:
    void SetUp() override {
        test::DataSetDriverTest::SetUp();
        if (IsSkipped()) return;
        Register();
        FDesigner.SetRoot(FOwner.get());
    }
    std::string Quoted(const std::string& name) const {
        const char q = Drv().Traits.IdentifierQuote;
        return q + name + q;
    }
    /// Opens the editor on a query over table `sql`, runs the script, and
    /// answers what the memos showed when the dialog closed.
    TFormView RunEditor(TODBCUpdateSQL* update, std::function<void(TScriptedPresenter&)> script) {
        auto user = std::make_shared<TScriptedPresenter>();
        script(*user);
        TPresenterScope scope(user);
        GetComponentEditor(update, &FDesigner)->Edit();
        EXPECT_FALSE(user->Exhausted());
        return user->Closed().empty() ? TFormView() : user->Closed().back();
    }
    TDesigner FDesigner;
};

TEST_P(UpdateSQLEditor, DefaultsAreThePrimaryKeyAndEveryGeneratedStatementWritesExactlyItsRow) {
    const std::string t = test::UniqueName("Gen Table");
    FRaw->DropTableIfExists(Quoted(t));
    FTables.push_back(Quoted(t));
    FRaw->Exec("CREATE TABLE " + Quoted(t) + " (id integer primary key, " + Quoted("Unit Price") + " integer, " +
               Quoted("order") + " varchar(20), note varchar(20))");
    FRaw->Exec("INSERT INTO " + Quoted(t) + " VALUES (1, 10, 'a', NULL), (2, 20, 'b', NULL)");
    auto* q = new TODBCQuery(FOwner.get());
    q->SetName("Query1");
    q->SetDataBase(FDb);
    q->SQL()->SetText("SELECT * FROM " + Quoted(t) + " ORDER BY id");
    auto* u = new TODBCUpdateSQL(FOwner.get());
    u->SetName("UpdateSQL1");
    q->SetUpdateObject(u);

    // Cancel changes nothing, even after generating.
    RunEditor(u, [](TScriptedPresenter& p) { p.Click("Generate").Click("btnCancel"); });
    EXPECT_EQ(u->ModifySQL()->Count(), 0);
    EXPECT_FALSE(FDesigner.IsModified());
    EXPECT_FALSE(q->Active()) << "the editor leaves the query as it found it";

    RunEditor(u, [](TScriptedPresenter& p) { p.Click("Generate").Click("btnOK"); });
    EXPECT_TRUE(FDesigner.IsModified()) << "OK marks the form modified, so the statements are saved";
    const std::string T = Quoted(t);
    const std::string unit = Quoted("Unit Price");
    const std::string order = Quoted("order");
    EXPECT_EQ(u->DeleteSQL()->Text(), "DELETE FROM " + T + "\r\nWHERE\r\n  id = :OLD_id\r\n");
    EXPECT_EQ(u->ModifySQL()->Text(), "UPDATE " + T + "\r\nSET\r\n  id = :id,\r\n  " + unit +
                                          " = :\"Unit Price\",\r\n  " + order +
                                          " = :order,\r\n  note = :note\r\n"
                                          "WHERE\r\n  id = :OLD_id\r\n");

    // Each statement through the update object, each on its own row.
    q->Open();
    q->Next();  // id 2
    q->Edit();
    q->FieldByName("Unit Price")->SetAsInteger(25);
    q->FieldByName("order")->SetAsString("bb");
    u->Apply(ukModify);
    q->Cancel();
    q->Insert();
    q->FieldByName("id")->SetAsInteger(3);
    q->FieldByName("Unit Price")->SetAsInteger(30);
    q->FieldByName("order")->SetAsString("c");
    u->Apply(ukInsert);
    q->Cancel();
    q->First();  // id 1
    u->Apply(ukDelete);
    q->Close();
    std::vector<std::string> rows;
    for (const test::Row& r : FRaw->Query("SELECT id, " + unit + ", " + order + " FROM " + T + " ORDER BY id"))
        rows.push_back(*r[0] + "|" + *r[1] + "|" + *r[2]);
    EXPECT_EQ(rows, (std::vector<std::string>{"2|25|bb", "3|30|c"}));
}

TEST_P(UpdateSQLEditor, AKeylessTableKeysOnItsComparableColumnsAndQuotedNamesRunToo) {
    const std::string t = CreateTable("code integer, label varchar(20), ratio " + std::string(Drv().Traits.DoubleType) +
                                      ", memo " + test::MemoType(Drv()));
    FRaw->Exec("INSERT INTO " + t + " VALUES (1, 'x', 0.5, 'long'), (2, NULL, 0.25, 'text')");
    auto* q = new TODBCQuery(FOwner.get());
    q->SetName("Query1");
    q->SetDataBase(FDb);
    q->SQL()->SetText("SELECT code, label, ratio, memo FROM " + t + " ORDER BY code");
    auto* u = new TODBCUpdateSQL(FOwner.get());
    q->SetUpdateObject(u);
    const TFormView shown = RunEditor(u, [](TScriptedPresenter& p) {
        // The memo is written elsewhere; leave it out of the statements.
        p.Examine([](TCustomForm& f) { static_cast<TUpdateEdit&>(f).UpdateFieldsList->SetSelected(3, false); })
            .Click("QuoteIt")
            .Click("Generate")
            .Click("btnOK");
    });
    const char qc = Drv().Traits.IdentifierQuote;
    auto Q = [&](const std::string& n) { return qc + n + qc; };
    EXPECT_EQ(u->DeleteSQL()->Text(), "DELETE FROM " + t + "\r\nWHERE\r\n  " + t + "." + Q("code") +
                                          " = :\"OLD_code\" AND\r\n  " + t + "." + Q("label") + " = :\"OLD_label\"\r\n")
        << "no float or memo column in the key";
    EXPECT_EQ(u->InsertSQL()->Text(), "INSERT INTO " + t + "\r\n  (" + Q("code") + ", " + Q("label") + ", " +
                                          Q("ratio") + ")\r\nVALUES\r\n  (:\"code\", :\"label\", :\"ratio\")\r\n");
    // The quoted statements run: change the row without NULLs, delete it.
    q->Open();
    q->Edit();
    q->FieldByName("label")->SetAsString("y");
    u->Apply(ukModify);
    q->Cancel();
    q->Refresh();
    EXPECT_EQ(q->FieldByName("label")->AsString(), "y");
    u->Apply(ukDelete);
    q->Close();
    EXPECT_EQ(FRaw->Scalar("SELECT COUNT(*) FROM " + t), "1");
}

TEST_P(UpdateSQLEditor, ASerialKeyIsLeftOutOfTheUpdateFieldsAndTheGeneratedInsertLetsTheServerNumberIt) {
    const std::string t = CreateTable(std::string(Drv().Traits.SerialKey) + ", name varchar(20)");
    FRaw->Exec("INSERT INTO " + t + " (name) VALUES ('first')");
    auto* q = new TODBCQuery(FOwner.get());
    q->SetDataBase(FDb);
    q->SQL()->SetText("SELECT id, name FROM " + t + " ORDER BY id");
    q->Open();
    const std::vector<TUpdateField> fields = DefaultUpdateFields(*q, t);
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_TRUE(fields[0].Key);
    EXPECT_FALSE(fields[1].Key) << "the primary key alone";
    if (Drv().Traits.SerialKeyIsAutoUnique) {
        EXPECT_FALSE(fields[0].Update) << "the data source numbers it";
    }
    auto* u = new TODBCUpdateSQL(FOwner.get());
    const TUpdateStatements s = GenerateUpdateSQL(t, fields, false, IdentifierRulesOf(FDb->Handle()));
    u->InsertSQL()->SetText(s.Insert);
    q->SetUpdateObject(u);
    q->Insert();
    q->FieldByName("name")->SetAsString("second");
    if (fields[0].Update) q->FieldByName("id")->SetAsInteger(2);
    u->Apply(ukInsert);
    q->Cancel();
    q->Close();
    EXPECT_EQ(FRaw->Scalar("SELECT COUNT(*) FROM " + t + " WHERE name = 'second' AND id IS NOT NULL"), "1");
}

INSTANTIATE_TEST_SUITE_P(Drivers, UpdateSQLEditor, test::AllDrivers(), test::DriverParamName());

}  // namespace
}  // namespace velora
