// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Editing the rows of a query: the table named after FROM in the query's
// text is the one its edits, appends and deletes write to (the keyset road
// on PostgreSQL, the cursor library on SQLite and MariaDB). Every change is
// read back from a second connection. A read-only query and a query over a
// join offer no editing.
#include "components/DataSetTestUtil.h"

#include "velora/components/ODBCQuery.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace velora {
namespace {

using test::DataSetDriverTest;
using test::ErrorOf;
using test::Row;

class QueryEdit : public DataSetDriverTest {
protected:
    TODBCQuery* NewQuery(const String& sql) {
        auto* q = new TODBCQuery(FOwner.get());
        q->SetDataBase(FDb);
        q->SQL()->SetText(sql);
        return q;
    }

    /// "id|name|amount" of every row of the table, as the oracle reads them.
    std::vector<std::string> Rows(const std::string& table) {
        std::vector<std::string> out;
        for (const Row& r : FRaw->Query("SELECT id, name, amount FROM " + table + " ORDER BY id")) {
            std::string line;
            for (std::size_t i = 0; i < r.size(); ++i) {
                if (i) line += '|';
                line += r[i].value_or("<null>");
            }
            out.push_back(line);
        }
        return out;
    }

    /// The ids of the open query from the first record to the end.
    static std::vector<std::string> Ids(TODBCQuery& q) {
        q.First();
        return test::IdsToEnd(q);
    }
};

TEST_P(QueryEdit, EditAppendAndDeleteThroughAParameterisedQueryReachTheTable) {
    const std::string t = CreateTable("id integer primary key, name varchar(30), amount integer");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1, 'one', 10), (2, 'two', 20), (3, 'three', 30), (4, 'four', 40)");
    TODBCQuery* q = NewQuery("SELECT id, name, amount FROM " + t + " WHERE amount >= :least ORDER BY id");
    EXPECT_EQ(q->QueryTableName(), t);
    q->ParamByName("least")->SetAsInteger(20);
    q->Open();
    ASSERT_TRUE(q->CanModify());
    ASSERT_EQ(Ids(*q), (std::vector<std::string>{"2", "3", "4"}));

    // Edit the second row the query shows.
    q->First();
    q->Next();
    ASSERT_EQ(q->FieldByName("id")->AsString(), "3");
    q->Edit();
    q->FieldByName("name")->SetAsString("THREE");
    q->FieldByName("amount")->SetAsInteger(33);
    q->Post();
    EXPECT_EQ(q->FieldByName("name")->AsString(), "THREE");
    EXPECT_EQ(Rows(t), (std::vector<std::string>{"1|one|10", "2|two|20", "3|THREE|33", "4|four|40"}))
        << "only the edited row changed, the row outside the query's selection included";

    // Append a row the query's condition selects.
    q->Append();
    q->FieldByName("id")->SetAsInteger(5);
    q->FieldByName("name")->SetAsString("five");
    q->FieldByName("amount")->SetAsInteger(50);
    q->Post();
    EXPECT_EQ(Rows(t), (std::vector<std::string>{"1|one|10", "2|two|20", "3|THREE|33", "4|four|40", "5|five|50"}));

    // Delete the first row the query shows.
    q->First();
    ASSERT_EQ(q->FieldByName("id")->AsString(), "2");
    q->Delete();
    EXPECT_EQ(Rows(t), (std::vector<std::string>{"1|one|10", "3|THREE|33", "4|four|40", "5|five|50"}));
    EXPECT_EQ(q->FieldByName("id")->AsString(), "3") << "the next row becomes current";

    // Running the query again shows the table as the oracle sees it.
    q->Close();
    q->Open();
    EXPECT_EQ(Ids(*q), (std::vector<std::string>{"3", "4", "5"}));
    q->Last();
    EXPECT_EQ(q->FieldByName("name")->AsString(), "five");
}

TEST_P(QueryEdit, EditingAfterANewParameterValueWritesTheRowsNowSelected) {
    const std::string t = CreateTable("id integer primary key, name varchar(30), amount integer");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1, 'a', 1), (2, 'b', 2), (3, 'c', 1), (4, 'd', 2)");
    TODBCQuery* q = NewQuery("SELECT * FROM " + t + " WHERE amount = :a ORDER BY id");
    q->ParamByName("a")->SetAsInteger(1);
    q->Open();
    ASSERT_EQ(Ids(*q), (std::vector<std::string>{"1", "3"}));
    q->Close();
    q->ParamByName("a")->SetAsInteger(2);
    q->Open();
    ASSERT_EQ(Ids(*q), (std::vector<std::string>{"2", "4"}));
    q->Last();
    q->Edit();
    q->FieldByName("name")->SetAsString("D");
    q->Post();
    q->First();
    q->Delete();
    EXPECT_EQ(Rows(t), (std::vector<std::string>{"1|a|1", "3|c|1", "4|D|2"}));
}

TEST_P(QueryEdit, RowsAppendedWithoutTheirKeyTakeTheOneTheDataSourceAssigns) {
    const std::string key = Drv().Traits.SerialKey;
    const std::string t = CreateTable(key + ", name varchar(30), amount integer");
    FRaw->Exec("INSERT INTO " + t + " (name, amount) VALUES ('a', 1), ('b', 2)");
    // psqlODBC over-reads its copy of a keyset statement over a serial key
    // that ends with its FROM clause; this one has a condition.
    TODBCQuery* q = NewQuery("SELECT * FROM " + t + " WHERE amount > :n");
    q->ParamByName("n")->SetAsInteger(0);
    q->Open();
    ASSERT_TRUE(q->CanModify());
    q->Append();
    q->FieldByName("name")->SetAsString("c");
    q->FieldByName("amount")->SetAsInteger(3);
    q->Post();
    const auto rows = FRaw->Query("SELECT id, name FROM " + t + " ORDER BY id");
    ASSERT_EQ(rows.size(), 3u);
    ASSERT_TRUE(rows[2][0].has_value());
    EXPECT_NE(rows[2][0], rows[1][0]);
    EXPECT_EQ(rows[2][1], "c");
    q->Close();
    q->Open();
    std::vector<std::string> ids = Ids(*q);
    std::sort(ids.begin(), ids.end());
    std::vector<std::string> expected{*rows[0][0], *rows[1][0], *rows[2][0]};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ids, expected);
}

TEST_P(QueryEdit, ReadOnlyQueriesAndJoinsOfferNoEditing) {
    const std::string t = CreateTable("id integer primary key, name varchar(30), amount integer");
    const std::string u = CreateTable("id integer primary key, note varchar(30)");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1, 'one', 10), (2, 'two', 20)");
    FRaw->Exec("INSERT INTO " + u + " VALUES (1, 'x'), (2, 'y')");

    TODBCQuery* ro = NewQuery("SELECT id, name FROM " + t + " WHERE id >= :id ORDER BY id");
    ro->SetReadOnly(true);
    ro->ParamByName("id")->SetAsInteger(1);
    ro->Open();
    EXPECT_FALSE(ro->CanModify());
    EXPECT_EQ(Ids(*ro), (std::vector<std::string>{"1", "2"}));
    ro->First();
    EXPECT_NE(ErrorOf([&] { ro->Edit(); }), "(no error)");
    EXPECT_EQ(ro->State(), dsBrowse);
    // The flag belongs to a closed query.
    EXPECT_NE(ErrorOf([&] { ro->SetReadOnly(false); }), "(no error)");
    ro->Close();
    ro->SetReadOnly(false);
    ro->Open();
    EXPECT_TRUE(ro->CanModify());

    for (const std::string& sql :
         {"SELECT a.id, a.name, b.note FROM " + t + " a JOIN " + u + " b ON a.id = b.id ORDER BY a.id",
          "SELECT a.id, a.name, b.note FROM " + t + " a, " + u + " b WHERE a.id = b.id ORDER BY a.id"}) {
        SCOPED_TRACE(sql);
        TODBCQuery* j = NewQuery(sql);
        j->Open();
        EXPECT_FALSE(j->CanModify());
        EXPECT_EQ(Ids(*j), (std::vector<std::string>{"1", "2"}));
        j->First();
        EXPECT_NE(ErrorOf([&] { j->Edit(); }), "(no error)");
        j->Close();
    }
    EXPECT_EQ(Rows(t), (std::vector<std::string>{"1|one|10", "2|two|20"}));
}

// A query over a quoted or schema-qualified table writes to that table:
// edit, append and delete reach it, and a table of the scanner's word (the
// first word of a quoted name) is left alone.
TEST_P(QueryEdit, QuotedAndSchemaQualifiedTablesSaveThroughAQuery) {
    const bool maria = Drv().Kind == test::DriverKind::MariaDB;
    const std::string q = maria ? "`" : "\"";
    const std::string schema = Drv().Kind == test::DriverKind::SQLite       ? "main"
                               : Drv().Kind == test::DriverKind::PostgreSQL ? "public"
                                                                            : FRaw->Scalar("SELECT database()").value();
    const std::string word = test::UniqueName("Sales");
    const std::string spaced = q + word + " Data" + q;
    const std::string plain = CreateTable("id integer primary key, name varchar(30), amount integer");
    FRaw->Exec("CREATE TABLE " + word + " (id integer primary key, name varchar(30), amount integer)");
    FTables.push_back(word);
    FRaw->Exec("CREATE TABLE " + spaced + " (id integer primary key, name varchar(30), amount integer)");
    struct TDrop {
        test::RawConnection& Raw;
        std::string Name;
        ~TDrop() { Raw.Exec("DROP TABLE IF EXISTS " + Name); }
    } drop{*FRaw, spaced};
    for (const std::string& table : {spaced, schema + "." + spaced, schema + "." + plain}) {
        SCOPED_TRACE(table);
        FRaw->Exec("DELETE FROM " + table);
        FRaw->Exec("INSERT INTO " + table + " VALUES (1, 'one', 10), (2, 'two', 20)");
        TODBCQuery* query = NewQuery("SELECT id, name, amount FROM " + table + " ORDER BY id");
        query->Open();
        ASSERT_TRUE(query->CanModify());
        query->Edit();
        query->FieldByName("amount")->SetAsInteger(11);
        query->Post();
        query->Append();
        query->FieldByName("id")->SetAsInteger(3);
        query->FieldByName("name")->SetAsString("three");
        query->FieldByName("amount")->SetAsInteger(30);
        query->Post();
        query->First();
        query->Next();
        query->Delete();
        query->Close();
        EXPECT_EQ(Rows(table), (std::vector<std::string>{"1|one|11", "3|three|30"}));
    }
    EXPECT_TRUE(Rows(word).empty()) << "a table named by the first word of the quoted name was written";
}

INSTANTIATE_TEST_SUITE_P(Drivers, QueryEdit, test::AllDrivers(), test::DriverParamName());

}  // namespace
}  // namespace velora
