// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCTable on the real drivers: the statement text with its WHERE and
// ORDER BY clauses (byte for byte, with the lines' CR LF), switching the
// filter and the ordering of an open table, texts the data source rejects,
// a requery that fails half-way (injected at the ODBC boundary), the table
// name checks, field definitions without opening, and on PostgreSQL a view
// and a table without a key.
#include "components/DataSetTestUtil.h"

#include "velora/classes/FormFiles.h"
#include "velora/components/ODBCQuery.h"
#include "velora/odbc/ODBCBoundary.h"
#include "velora/odbc/ODBCFaults.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velora {
namespace {

using test::DataSetDriverTest;
using test::ErrorOf;
using test::IdsToEnd;
namespace faults = odbc::faults;

/// A table whose statement record can be looked at.
class TProbeTable : public TODBCTable {
public:
    using TODBCTable::TODBCTable;
    String BuiltText() const {
        TStmt stmt;
        GetStmtRecord(stmt);
        String text;
        ODBCBuildStmtText(stmt, text);
        return text;
    }
};

TEST(ODBCBuildStmtText, JoinsTheClausesAsTheyStand) {
    TStmt stmt;
    stmt.BaseText = "SELECT * FROM ORDERS";
    stmt.FilterText = "A = 1\r\n";
    stmt.OrderText = "NAME\r\nID\r\n";
    String text = "previous";
    ODBCBuildStmtText(stmt, text);
    EXPECT_EQ(text, "SELECT * FROM ORDERS");
    stmt.Filtered = true;
    ODBCBuildStmtText(stmt, text);
    EXPECT_EQ(text, "SELECT * FROM ORDERS WHERE A = 1\r\n");
    stmt.Filtered = false;
    stmt.Indexed = true;
    ODBCBuildStmtText(stmt, text);
    EXPECT_EQ(text, "SELECT * FROM ORDERS ORDER BY NAME\r\nID\r\n");
    stmt.Filtered = true;
    stmt.FilterText.clear();
    ODBCBuildStmtText(stmt, text);
    EXPECT_EQ(text, "SELECT * FROM ORDERS WHERE  ORDER BY NAME\r\nID\r\n");
}

TEST(ODBCTableUnit, NewTableHasNoMasterAndFilterListsAreCopied) {
    TOwnedPtr<TODBCTable> t(new TODBCTable(nullptr));
    EXPECT_EQ(t->GetDataSource(), nullptr);
    EXPECT_EQ(t->MasterLink()->DetailDataSet(), t.get());
    EXPECT_FALSE(t->Filtered());
    EXPECT_FALSE(t->Indexed());
    EXPECT_FALSE(t->ReadOnly());
    TStringList lines;
    lines.Add("ID > 5");
    int changes = 0;
    static_cast<TStringList*>(t->FilterParams())->OnChange = [&](TObject*) { ++changes; };
    t->SetFilterParams(&lines);
    EXPECT_EQ(t->FilterParams()->Text(), "ID > 5\r\n");
    EXPECT_EQ(changes, 1) << "one notification for the whole copy";
    t->SetFilterParams(&lines);
    EXPECT_EQ(changes, 1) << "the same text is not assigned again";
    lines.Add("AND ID < 9");
    EXPECT_EQ(t->FilterParams()->Count(), 1) << "the table keeps its own copy";
    // Filtered and Indexed are only stored while closed.
    t->SetFiltered(true);
    t->SetIndexed(true);
    EXPECT_TRUE(t->Filtered());
    EXPECT_TRUE(t->Indexed());
}

using ODBCTable = DataSetDriverTest;

TEST_P(ODBCTable, StatementTextCarriesTheClausesWithTheirLineBreaks) {
    const std::string name = CreateNumbered(12);
    auto* t = new TProbeTable(FOwner.get());
    t->SetDataBase(FDb);
    t->SetTableName(name);
    t->FilterParams()->Add("id > 5");
    t->SetFiltered(true);
    t->Open();
    EXPECT_EQ(t->StmtText(), "SELECT * FROM " + name);
    EXPECT_EQ(t->BuiltText(), "SELECT * FROM " + name + " WHERE id > 5\r\n");
    EXPECT_EQ(t->RecordCount(), 7);
    t->Close();

    t->SetFiltered(false);
    t->IndexParams()->Add("name DESC");
    t->IndexParams()->Add(", id");
    t->SetIndexed(true);
    t->Open();
    EXPECT_EQ(t->BuiltText(), "SELECT * FROM " + name + " ORDER BY name DESC\r\n, id\r\n");
    EXPECT_EQ(IdsToEnd(*t), Column("SELECT id FROM " + name + " ORDER BY name DESC, id"));
}

TEST_P(ODBCTable, SwitchingFilterAndOrderOnAnOpenTableRequeriesAndGoesToTheFirstRecord) {
    const std::string name = CreateNumbered(30);
    TODBCTable* t = NewTable(name);
    t->FilterParams()->Add("id > 20");
    t->IndexParams()->Add("id DESC");
    t->SetRowSetSize(4);
    t->Open();
    TField* id = t->FieldByName("id");
    t->MoveBy(7);
    t->SetFiltered(true);
    EXPECT_TRUE(t->Filtered());
    EXPECT_TRUE(t->Bof());
    EXPECT_EQ(IdsToEnd(*t), Column("SELECT id FROM " + name + " WHERE id > 20"));
    EXPECT_EQ(t->RecordCount(), 10);

    t->SetIndexed(true);
    EXPECT_TRUE(t->Indexed());
    EXPECT_EQ(id->AsInteger(), 30);
    EXPECT_EQ(t->FieldByName("id"), id) << "a requery keeps the field objects";
    t->Last();
    EXPECT_EQ(id->AsInteger(), 21);

    t->SetFiltered(false);
    EXPECT_EQ(id->AsInteger(), 30);
    EXPECT_EQ(t->RecordCount(), 30);
    t->SetIndexed(false);
    EXPECT_EQ(IdsToEnd(*t), Column("SELECT id FROM " + name));

    // Switching to the flag it already has requeries nothing but still goes
    // to the first record.
    t->MoveBy(-3);
    {
        faults::Scope scope;
        t->SetFiltered(false);
        EXPECT_EQ(faults::CallCount("SQLExecDirect"), 0);
        EXPECT_EQ(faults::CallCount("SQLExecute"), 0);
    }
    EXPECT_TRUE(t->Bof());
}

TEST_P(ODBCTable, FilterWithoutTextSwitchesTheFlagOnly) {
    const std::string name = CreateNumbered(5);
    TODBCTable* t = NewTable(name);
    t->Open();
    t->MoveBy(3);
    {
        faults::Scope scope;
        t->SetFiltered(true);
        EXPECT_EQ(faults::CallCount("SQLExecDirect"), 0) << "no trial";
        EXPECT_EQ(faults::CallCount("SQLPrepare"), 0) << "no requery";
    }
    EXPECT_TRUE(t->Filtered());
    EXPECT_TRUE(t->Bof());
    EXPECT_EQ(t->FieldByName("id")->AsString(), Column("SELECT id FROM " + name).front());

    // Opened so, the statement ends in " WHERE ", which the data source
    // refuses when it is prepared.
    t->Close();
    try {
        t->Open();
        FAIL() << "a statement ending in WHERE was accepted";
    } catch (const EODBCError& e) {
        EXPECT_EQ(e.Message().rfind("ODBC32 Error ", 0), 0u) << e.Message();
    }
    EXPECT_FALSE(t->Active());
    EXPECT_EQ(FDb->GetDataSetCount(), 0);
    t->SetFiltered(false);
    t->SetIndexed(true);
    EXPECT_THROW(t->Open(), EODBCError) << "likewise ORDER BY without a list";
}

TEST_P(ODBCTable, RejectedClauseTextsLeaveRowsPositionAndFlags) {
    const std::string name = CreateNumbered(25);
    TODBCTable* t = NewTable(name);
    t->SetRowSetSize(7);
    t->FilterParams()->Add("no_such_column > 1");
    t->IndexParams()->Add("no_such_column");
    t->Open();
    t->MoveBy(9);
    const String id = t->FieldByName("id")->AsString();
    const TBookmark mark = t->GetBookmark();
    try {
        t->SetFiltered(true);
        FAIL() << "the filter was accepted";
    } catch (const EODBCError& e) {
        EXPECT_EQ(e.Message(), "Invalid Expression in FilterParams");
        EXPECT_EQ(e.NativeError, 0);
    }
    EXPECT_FALSE(t->Filtered());
    EXPECT_EQ(t->FieldByName("id")->AsString(), id);
    EXPECT_EQ(t->CompareBookmarks(t->GetBookmark(), mark), 0);
    EXPECT_EQ(ErrorOf([&] { t->SetIndexed(true); }), "Invalid Expression in IndexParams");
    EXPECT_FALSE(t->Indexed());
    EXPECT_EQ(t->FieldByName("id")->AsString(), id);
    t->Next();
    EXPECT_EQ(t->FieldByName("id")->AsInteger(), std::stoi(id) + 1) << "the cursor reads on where it was";
    EXPECT_EQ(t->RecordCount(), 25);
}

TEST_P(ODBCTable, FailedRequeryRunsThePreviousTextAgainOrCloses) {
    const std::string name = CreateNumbered(20);
    TODBCTable* t = NewTable(name);
    t->SetRowSetSize(3);
    t->FilterParams()->Add("id > 10");
    t->Open();
    t->MoveBy(4);
    const odbc::DiagRecord lost{"08S01", 0, "connection lost"};
    {
        // The trial passes; the real execution of the new text fails.
        faults::Scope scope;
        faults::Fault f = test::StatementFault("SQLExecute", t->StmtHandle(), SQL_ERROR, {lost});
        faults::Inject(f);
        EXPECT_NE(ErrorOf([&] { t->SetFiltered(true); }).find("connection lost"), String::npos);
    }
    ASSERT_TRUE(t->Active());
    EXPECT_FALSE(t->Filtered());
    EXPECT_EQ(t->FieldByName("id")->AsInteger(), 5) << "the rows the window shows are still there";
    t->Next();
    EXPECT_EQ(t->FieldByName("id")->AsInteger(), 6);
    t->First();
    EXPECT_EQ(IdsToEnd(*t), Column("SELECT id FROM " + name));

    {
        // Both the new text and the previous one fail: the dataset closes.
        faults::Scope scope;
        faults::Fault f = test::StatementFault("SQLExecute", t->StmtHandle(), SQL_ERROR, {lost});
        f.Times = 2;
        faults::Inject(f);
        EXPECT_NE(ErrorOf([&] { t->SetFiltered(true); }).find("connection lost"), String::npos);
    }
    EXPECT_FALSE(t->Active());
    EXPECT_EQ(t->StmtHandle(), nullptr);
    EXPECT_EQ(FDb->GetDataSetCount(), 0);
    EXPECT_TRUE(FDb->Connected());
    t->Open();
    EXPECT_EQ(t->RecordCount(), 20);
}

TEST_P(ODBCTable, FailedRefreshClosesTheTable) {
    TODBCTable* t = NewTable(CreateNumbered(4));
    t->Open();
    t->Next();
    {
        faults::Scope scope;
        faults::Fault f =
            test::StatementFault("SQLExecute", t->StmtHandle(), SQL_ERROR, {odbc::DiagRecord{"HYT00", 0, "timeout"}});
        faults::Inject(f);
        EXPECT_NE(ErrorOf([&] { t->Refresh(); }).find("timeout"), String::npos);
    }
    EXPECT_FALSE(t->Active());
    EXPECT_EQ(FDb->GetDataSetCount(), 0);
}

TEST_P(ODBCTable, RequeryForgetsTheDeletedRowsOfTheOldResult) {
    const std::string name = CreateNumbered(10);
    TODBCTable* t = NewTable(name);
    t->IndexParams()->Add("id");
    t->Open();
    t->Engine()->AddDeletedRow(3);
    t->SetIndexed(true);
    EXPECT_TRUE(t->Engine()->DeletedRows.empty());
    EXPECT_EQ(IdsToEnd(*t), Column("SELECT id FROM " + name + " ORDER BY id"));
}

TEST_P(ODBCTable, TableNameIsRequired) {
    auto* t = new TODBCTable(FOwner.get());
    t->SetDataBase(FDb);
    EXPECT_EQ(ErrorOf([&] { t->Open(); }), "Missing TableName property");
    EXPECT_FALSE(t->Active());
    EXPECT_EQ(ErrorOf([&] { t->InitFieldDefs(); }), "Missing TableName property");
    EXPECT_EQ(t->DBFlagSet(), 0);
    EXPECT_EQ(FDb->GetDataSetCount(), 0);
}

TEST_P(ODBCTable, InitFieldDefsOfAClosedTableLeavesItClosed) {
    const std::string name = CreateTable("id integer primary key, name varchar(30), ratio double precision");
    TODBCTable* t = NewTable(name);
    int opens = 0;
    t->AfterOpen = [&](TDataSet*) { ++opens; };
    t->InitFieldDefs();
    EXPECT_FALSE(t->Active());
    EXPECT_EQ(t->FieldCount(), 0) << "no fields are left behind";
    EXPECT_EQ(t->DBFlagSet(), 0);
    EXPECT_EQ(FDb->GetDataSetCount(), 0);
    EXPECT_TRUE(FDb->Connected());
    EXPECT_EQ(opens, 1);
    TFieldDefs& defs = *t->FieldDefs();
    ASSERT_EQ(defs.Count(), 3);
    EXPECT_EQ(LowerCase(defs[0]->Name()), "id");
    EXPECT_EQ(defs[0]->DataType(), ftInteger);
    EXPECT_EQ(defs[0]->FieldNo(), 1);
    EXPECT_EQ(LowerCase(defs[1]->Name()), "name");
    EXPECT_EQ(defs[1]->DataType(), ftString);
    EXPECT_GE(defs[1]->Size(), 30);
    EXPECT_EQ(defs[2]->DataType(), ftFloat);
    EXPECT_EQ(defs[2]->FieldNo(), 3);

    t->Open();
    t->FieldDefs()->Clear();
    t->InitFieldDefs();
    EXPECT_TRUE(t->Active()) << "an open table describes its open cursor";
    EXPECT_EQ(t->FieldDefs()->Count(), 3);
    EXPECT_EQ(opens, 2);
}

TEST_P(ODBCTable, SeveralTablesGiveNumberedDuplicateFieldsThroughAQueryNeverThroughATableName) {
    const std::string a = CreateNumbered(2);
    const std::string b = CreateNumbered(3);
    // A table name is one name: a list of tables is refused before anything runs.
    TODBCTable* t = NewTable(a + " x, " + b + " y");
    EXPECT_EQ(ErrorOf([&] { t->Open(); }), "Invalid table name '" + a + " x, " + b + " y'");
    auto* q = new TODBCQuery(FOwner.get());
    q->SetDataBase(FDb);
    q->SQL()->SetText("SELECT * FROM " + a + " x, " + b + " y");
    q->Open();
    EXPECT_EQ(q->RecordCount(), 6);
    std::vector<String> names;
    for (int i = 0; i < q->FieldCount(); ++i) names.push_back(LowerCase(q->Fields().Fields(i)->FieldName()));
    EXPECT_EQ(names, (std::vector<String>{"id", "name", "amount", "id_1", "name_1", "amount_1"}));
}

TEST_P(ODBCTable, FormFileKeepsThePublishedPropertiesAndOpensInLoaded) {
    const std::string name = CreateNumbered(9);
    TOwnedPtr<TComponent> root(new TComponent(nullptr));
    root->SetName("Root");
    auto* db = test::NewDatabase(root.get(), Drv());
    db->SetName("Db");
    auto* t = new TODBCTable(root.get());
    t->SetName("Orders");
    t->SetDataBase(db);
    t->SetTableName(name);
    t->SetRowSetSize(7);
    t->FilterParams()->Add("id > 3");
    t->SetFiltered(true);
    t->IndexParams()->Add("id DESC");
    t->SetIndexed(true);
    t->SetReadOnly(true);
    EXPECT_EQ(WriteComponentToString(root.get()).find("KeyRangeCursor"), String::npos) << "False is not written";
    t->SetKeyRangeCursor(true);
    const String text = WriteComponentToString(root.get());
    EXPECT_NE(text.find("KeyRangeCursor = True"), String::npos) << text;
    EXPECT_NE(text.find("Database = Db"), String::npos) << text;
    EXPECT_NE(text.find("RowSetSize = 7"), String::npos) << text;
    EXPECT_NE(text.find("'id > 3'"), String::npos) << text;
    EXPECT_EQ(text.find("UniDirectional"), String::npos) << "defaults are not written\n" << text;
    EXPECT_EQ(text.find("About"), String::npos) << text;
    t->SetIndexed(false);
    EXPECT_NE(WriteComponentToString(root.get()).find("Indexed = False"), String::npos) << "Indexed is always written";
    t->SetIndexed(true);

    // Read back into a fresh root with Active = True: the table opens once
    // its database has been read, with its clauses applied.
    String stored = WriteComponentToString(root.get());
    const std::size_t at = stored.find("TableName = ");
    ASSERT_NE(at, String::npos);
    stored.insert(at, "Active = True\n    ");
    TOwnedPtr<TComponent> copy(new TComponent(nullptr));
    ReadComponentStringInto(stored, copy.get());
    auto* read = dynamic_cast<TODBCTable*>(copy->FindComponent("Orders"));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->GetDataBase(), copy->FindComponent("Db"));
    EXPECT_EQ(read->RowSetSize(), 7);
    EXPECT_TRUE(read->ReadOnly());
    EXPECT_TRUE(read->KeyRangeCursor());
    ASSERT_TRUE(read->Active());
    EXPECT_TRUE(odbc::UsesKeyRangeCursor(read->StmtHandle()));
    EXPECT_EQ(IdsToEnd(*read), Column("SELECT id FROM " + name + " WHERE id > 3 ORDER BY id DESC"));
}

INSTANTIATE_TEST_SUITE_P(Drivers, ODBCTable, test::AllDrivers(), test::DriverParamName());

// psqlODBC refuses a writable cursor over a view; the table opens read-only.
// A table without a key keeps a writable cursor.
class ODBCTablePostgreSQL : public DataSetDriverTest {};

TEST_P(ODBCTablePostgreSQL, ViewOpensReadOnlyAndKeylessTableOpens) {
    const std::string base = CreateNumbered(6);
    const std::string view = test::UniqueName("v");
    FRaw->Exec("CREATE VIEW " + view + " AS SELECT id, name FROM " + base + " WHERE id > 2");
    TODBCTable* t = NewTable(view);
    try {
        t->Open();
        EXPECT_FALSE(t->CanModify()) << "the driver made the cursor read-only";
        EXPECT_EQ(IdsToEnd(*t), Column("SELECT id FROM " + view));
        t->Close();
    } catch (...) {
        FRaw->Exec("DROP VIEW " + view);
        throw;
    }
    FRaw->Exec("DROP VIEW " + view);

    const std::string keyless = CreateTable("id integer, name varchar(10)");
    test::InsertRows(*FRaw, keyless, {"1, 'a'", "2, 'b'", "2, 'b'"});
    TODBCTable* k = NewTable(keyless);
    k->Open();
    EXPECT_EQ(k->RecordCount(), 3);
    EXPECT_TRUE(k->CanModify());
    k->Last();
    EXPECT_EQ(k->FieldByName("name")->AsString(), "b");
}

// psqlODBC reads past its own copy of a statement that ends with its FROM
// clause when it opens a writable keyset cursor over a table with a serial
// key (AddressSanitizer stops the test there). The table must open, edit,
// switch a filter off again and refresh without sending such a text.
TEST_P(ODBCTablePostgreSQL, WritableTableWithASerialKeyOpensWithoutTheDriversOverRead) {
    const std::string name = CreateTable("id serial primary key, name varchar(20)");
    FRaw->Exec("INSERT INTO " + name + " (name) VALUES ('a'), ('b'), ('c')");
    TODBCTable* t = NewTable(name);
    t->FilterParams()->Add("id > 1");
    t->Open();
    EXPECT_TRUE(t->CanModify());
    EXPECT_EQ(t->StmtText(), "SELECT * FROM " + name) << "the table's own text stays as it is";
    EXPECT_EQ(t->RecordCount(), 3);
    ASSERT_TRUE(t->Locate("name", Variant("b"), {}));
    t->Edit();
    t->FieldByName("name")->SetAsString("B");
    t->Post();
    EXPECT_EQ(Column("SELECT name FROM " + name + " ORDER BY id"), (std::vector<std::string>{"a", "B", "c"}));

    t->SetFiltered(true);
    EXPECT_EQ(t->RecordCount(), 2);
    t->SetFiltered(false);
    EXPECT_EQ(t->RecordCount(), 3);
    t->Refresh();
    EXPECT_EQ(t->RecordCount(), 3);
}

INSTANTIATE_TEST_SUITE_P(Drivers, ODBCTablePostgreSQL, ::testing::Values(test::Driver(test::DriverKind::PostgreSQL)),
                         test::DriverParamName());

}  // namespace
}  // namespace velora
