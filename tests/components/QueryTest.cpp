// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCQuery: the markers of its SQL text as the query sees them, the
// parameter list across text changes, the flags and their refusals, form
// files, and against the drivers: opening and executing with typed and NULL
// parameters, rows affected, preparing once for many runs, memory across
// many runs, a master/detail pair, server notices, and the statement's life
// against the database's (a closed database leaves nothing to run on).
#include "velora/components/ODBCQuery.h"

#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCconst.h"
#include "velora/rtl/DateUtils.h"
#include "velora/classes/FormFiles.h"
#include "velora/odbc/ODBCFaults.h"

#include "components/ComponentTestUtil.h"
#include "support/TestEnv.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's count of live heap bytes (its allocator interface).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace velora {
namespace {

using test::ErrorOf;

/// Bytes the heap holds for the program right now.
std::size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

std::vector<String> Names(const TODBCParams& params, bool columns = false) {
    std::vector<String> out;
    for (int i = 0; i < params.Count(); ++i)
        out.push_back(columns ? params.Entry(i)->ColumnName() : params.Entry(i)->Name());
    return out;
}

// ---------------------------------------------------------------------------
// The SQL text, without a data source

TEST(QueryText, MarkersBecomeQuestionMarksAndParameters) {
    TODBCQuery q(nullptr);
    q.SQL()->SetText("SELECT * FROM Orders WHERE CustNo = :CustNo AND OrderDate > :Since");
    EXPECT_EQ(q.StmtText(), "SELECT * FROM Orders WHERE CustNo = ? AND OrderDate > ?\r\n");
    EXPECT_EQ(Names(*q.Params()), (std::vector<String>{"CustNo", "Since"}));
    EXPECT_EQ(Names(*q.Params(), true), (std::vector<String>{"CustNo", "OrderDate"}));
    EXPECT_EQ(q.QueryTableName(), "Orders");

    q.SQL()->SetText("SELECT '12:30' FROM T");
    EXPECT_EQ(q.StmtText(), "SELECT '12:30' FROM T\r\n");
    EXPECT_EQ(q.GetParamsCount(), 0);
    q.SQL()->SetText("SELECT a::int FROM T");
    EXPECT_EQ(q.StmtText(), "SELECT a:int FROM T\r\n");
    EXPECT_EQ(q.GetParamsCount(), 0);

    q.SQL()->SetText("INSERT INTO Customer (Name) VALUES (:Name)");
    EXPECT_EQ(q.QueryTableName(), "Customer");
    EXPECT_EQ(Names(*q.Params(), true), (std::vector<String>{"VALUES"}));
    EXPECT_EQ(q.StmtText(), "INSERT INTO Customer (Name) VALUES (?)\r\n");

    q.SQL()->SetText("SELECT *\nFROM\nCustomer");
    EXPECT_EQ(q.QueryTableName(), "Customer");

    q.SQL()->SetText("SELECT * FROM T WHERE d = :\"Order Date\" OR e = :'Ship Date'");
    EXPECT_EQ(Names(*q.Params()), (std::vector<String>{"Order Date", "Ship Date"}));
    EXPECT_EQ(q.StmtText(), "SELECT * FROM T WHERE d = ? OR e = ?\r\n");

    // A name ends where its characters end: the rest of the expression
    // reaches the driver.
    q.SQL()->SetText("SELECT * FROM T WHERE (a=:a) OR b=:a+1 ");
    EXPECT_EQ(Names(*q.Params()), (std::vector<String>{"a", "a"}));
    EXPECT_EQ(q.StmtText(), "SELECT * FROM T WHERE (a=?) OR b=?+1 \r\n");
}

TEST(QueryText, RepeatedMarkersGiveTwoEntriesThatBindTheFirstValue) {
    TODBCQuery q(nullptr);
    q.SQL()->SetText("SELECT * FROM T WHERE a = :X OR b = :X");
    ASSERT_EQ(q.GetParamsCount(), 2);
    q.Params()->Entry(0)->SetAsInteger(5);
    q.Params()->Entry(1)->SetAsInteger(6);
    TODBCParamBuffer buffer;
    std::vector<TODBCFldDesc> d;
    buffer.Build(*q.Params(), d);
    EXPECT_EQ(std::memcmp(buffer.Data() + d[0].Offset, buffer.Data() + d[1].Offset, 4), 0);
    EXPECT_EQ(buffer.Data()[d[1].Offset], std::byte{5});
}

TEST(QueryText, ValuesSurviveATextChangeWhereNamesRecurExactly) {
    TODBCQuery q(nullptr);
    q.SQL()->SetText("SELECT * FROM T WHERE a = :A AND b = :B");
    q.ParamByName("A")->SetAsInteger(1);
    q.ParamByName("B")->SetAsString("two");
    q.SQL()->SetText("SELECT * FROM T WHERE b = :B AND a = :a");
    EXPECT_EQ(q.ParamByName("B")->AsString(), "two");
    EXPECT_EQ(q.ParamByName("a")->DataType(), ftUnknown) << "names are matched case-sensitively";
    EXPECT_EQ(ErrorOf([&] { q.ParamByName("C"); }), "Parameter 'C' not found");
}

TEST(QueryText, WithoutParamCheckTheTextKeepsItsColonsAndTheListStays) {
    TODBCQuery q(nullptr);
    q.SQL()->SetText("SELECT * FROM Orders WHERE id = :id");
    q.ParamByName("id")->SetAsInteger(3);
    q.SetParamCheck(false);
    q.SQL()->SetText("SELECT '1:2' AS t, :x FROM Other");
    EXPECT_EQ(q.StmtText(), "SELECT '1:2' AS t, :x FROM Other\r\n");
    EXPECT_EQ(Names(*q.Params()), (std::vector<String>{"id"}));
    EXPECT_EQ(q.ParamByName("id")->AsInteger(), 3);
    EXPECT_EQ(q.QueryTableName(), "Orders");
}

TEST(QueryText, LongWordsKeepWholeColumnNames) {
    TODBCQuery q(nullptr);
    const String column(300, 'k');
    q.SQL()->SetText("SELECT * FROM T WHERE " + column + " = :p");
    ASSERT_EQ(q.GetParamsCount(), 1);
    EXPECT_EQ(q.Params()->Entry(0)->ColumnName(), column);
}

TEST(QueryFlags, CachedUpdatesNeedAReadOnlyClosedQuery) {
    TODBCQuery q(nullptr);
    EXPECT_EQ(ErrorOf([&] { q.SetCachedUpdates(true); }), "DataSet must be ReadOnly to use cached updates");
    EXPECT_FALSE(q.CachedUpdates());
    q.SetReadOnly(true);
    q.SetCachedUpdates(true);
    EXPECT_TRUE(q.CachedUpdates());
}

TEST(QueryFlags, EmptyTextAndMissingDatabaseAreRefused) {
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    auto* q = new TODBCQuery(owner.get());
    q->SetName("Q1");
    EXPECT_EQ(ErrorOf([&] { q->ExecSQL(); }), "The database property of 'Q1' must be linked to an ODBCDataBase");
    EXPECT_FALSE(q->Prepared());
    EXPECT_EQ(q->RowsAffected(), -1);
}

TEST(QueryForms, SQLParamsAndDataComeBackFromAFormFile) {
    RegisterODBCQueryClasses();
    TComponent root(nullptr);
    root.SetName("Root");
    auto* db = new TODBCDatabase(&root);
    db->SetName("Db");
    db->SetDataSourceName("Nowhere");
    auto* q = new TODBCQuery(&root);
    q->SetName("Q1");
    q->SetDataBase(db);
    q->SQL()->SetText("SELECT *\nFROM Orders\nWHERE CustNo = :CustNo AND Note = :Note");
    q->ParamByName("CustNo")->SetAsInteger(1234);
    q->ParamByName("Note")->Clear();
    q->SetSQLBinary(String("\x00\x01\xFEsql", 6));
    const String form = WriteComponentToString(&root);

    TComponent copy(nullptr);
    copy.SetName("Root");
    ReadComponentStringInto(form, &copy);
    auto* q2 = dynamic_cast<TODBCQuery*>(copy.FindComponent("Q1"));
    ASSERT_NE(q2, nullptr) << form;
    EXPECT_EQ(q2->SQL()->Text(), q->SQL()->Text());
    EXPECT_EQ(q2->StmtText(), "SELECT *\r\nFROM Orders\r\nWHERE CustNo = ? AND Note = ?\r\n");
    EXPECT_EQ(q2->QueryTableName(), "Orders");
    ASSERT_EQ(q2->GetParamsCount(), 2);
    EXPECT_TRUE(q2->Params()->IsEqual(q->Params()));
    EXPECT_EQ(q2->ParamByName("CustNo")->AsInteger(), 1234);
    EXPECT_TRUE(q2->ParamByName("Note")->IsNull());
    EXPECT_EQ(q2->Params()->Entry(0)->ColumnName(), "CustNo");
    ASSERT_TRUE(q2->SQLBinary().has_value());
    EXPECT_EQ(*q2->SQLBinary(), String("\x00\x01\xFEsql", 6));
    EXPECT_EQ(q2->GetDataBase(), copy.FindComponent("Db"));

    // Written again, the form is the same; a new text outside loading drops
    // the opaque data.
    EXPECT_EQ(WriteComponentToString(&copy), form);
    q2->SQL()->SetText("SELECT 1 FROM Orders");
    EXPECT_FALSE(q2->SQLBinary().has_value());
}

// ---------------------------------------------------------------------------
// Against the drivers

class Query : public test::DatabaseFixture {
protected:
    std::string CreateTable(const std::string& columns) { return DatabaseFixture::CreateTable(columns, "q"); }

    /// The first column of every row of the open query, as text.
    static std::vector<String> Column(TODBCQuery& q) {
        std::vector<String> out;
        for (q.First(); !q.Eof(); q.Next()) out.push_back(q.Fields().Fields(0)->AsString());
        return out;
    }

    std::string Count(const std::string& table, const std::string& where = "1=1") {
        return FRaw->Scalar("SELECT count(*) FROM " + table + " WHERE " + where).value_or("<null>");
    }
};

TEST_P(Query, TypedParametersSelectTheRightRows) {
    const std::string t =
        CreateTable("id integer, i integer, f double precision, s varchar(20), d date, m decimal(10,2)");
    FRaw->Exec("INSERT INTO " + t +
               " VALUES (1, 10, 1.5, 'one', '2024-01-01', 1.25), "
               "(2, 20, 2.5, 'two', '2024-02-02', 2.5), (3, 30, 3.5, 'three', '2024-03-03', 3.75)");
    TODBCQuery* q = NewQuery("SELECT id FROM " + t + " WHERE i = :i OR f = :f OR s = :s OR d = :d ORDER BY id");
    q->ParamByName("i")->SetAsInteger(10);
    q->ParamByName("f")->SetAsFloat(2.5);
    q->ParamByName("s")->SetAsString("three");
    q->ParamByName("d")->SetAsDate(EncodeDate(1999, 1, 1));
    q->Open();
    EXPECT_EQ(Column(*q), (std::vector<String>{"1", "2", "3"}));
    q->Close();
    q->ParamByName("i")->SetAsInteger(0);
    q->ParamByName("f")->SetAsFloat(0);
    q->ParamByName("s")->SetAsString("none");
    q->ParamByName("d")->SetAsDate(EncodeDate(2024, 2, 2));
    q->Open();
    EXPECT_EQ(Column(*q), (std::vector<String>{"2"}));
    // A currency variant gives ftBCD, compared here with a decimal column.
    q->SQL()->SetText("SELECT id FROM " + t + " WHERE m = :m");
    q->ParamByName("m")->SetAsVariant(Variant(Currency::FromUnits(25000)));
    ASSERT_EQ(q->ParamByName("m")->DataType(), ftBCD);
    q->Open();
    EXPECT_EQ(Column(*q), (std::vector<String>{"2"}));
}

TEST_P(Query, NullParametersFollowTheSemanticsOfTheSQL) {
    const std::string t = CreateTable("id integer, v integer, s varchar(20)");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1, 5, 'a'), (2, NULL, NULL)");
    TODBCQuery* q = NewQuery("SELECT id FROM " + t + " WHERE v = :v");
    q->ParamByName("v")->SetAsInteger(5);
    q->ParamByName("v")->Clear();
    q->Open();
    EXPECT_TRUE(Column(*q).empty()) << "NULL = NULL is not true";
    q->Close();

    TODBCQuery* u = NewQuery("UPDATE " + t + " SET v = :v, s = :s WHERE id = 1");
    u->ParamByName("v")->SetAsInteger(7);
    u->ParamByName("v")->Clear();
    u->ParamByName("s")->SetAsString("x");
    u->ParamByName("s")->Clear();
    u->ExecSQL();
    EXPECT_EQ(Count(t, "v IS NULL AND s IS NULL"), "2") << "a NULL integer arrived as 0 or a NULL string as '0'";
}

TEST_P(Query, RowsAffectedWhilePreparedAndMinusOneAfterUnPrepare) {
    const std::string t = CreateTable("id integer, v integer");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1, 0), (2, 0), (3, 0), (4, 1)");
    TODBCQuery* q = NewQuery("UPDATE " + t + " SET v = :v WHERE v = 0");
    EXPECT_EQ(q->QueryTableName(), "");
    q->ParamByName("v")->SetAsInteger(9);
    q->ExecSQL();
    EXPECT_TRUE(q->Prepared());
    EXPECT_EQ(q->RowsAffected(), 3);
    q->UnPrepare();
    EXPECT_FALSE(q->Prepared());
    EXPECT_EQ(q->RowsAffected(), -1);
    EXPECT_EQ(Count(t, "v = 9"), "3");
}

TEST_P(Query, PreparedOnceRunsManyTimesWithNewValues) {
    const std::string t = CreateTable("id integer, name varchar(20)");
    TODBCQuery* q = NewQuery("INSERT INTO " + t + " (id, name) VALUES (:id, :name)");
    q->Prepare();
    odbc::faults::Scope counting;
    for (int i = 1; i <= 20; ++i) {
        q->ParamByName("id")->SetAsInteger(i);
        q->ParamByName("name")->SetAsString("n" + std::to_string(i));
        q->ExecSQL();
        EXPECT_EQ(q->RowsAffected(), 1);
    }
    EXPECT_EQ(odbc::faults::CallCount("SQLPrepare"), 0);
    EXPECT_EQ(odbc::faults::CallCount("SQLExecute"), 20);
    EXPECT_EQ(Count(t), "20");
    EXPECT_EQ(Count(t, "id = 17 AND name = 'n17'"), "1");
}

TEST_P(Query, PreparingAStatementWithoutResultReadsNoRows) {
    const std::string t = CreateTable("id integer, v integer");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1, 1), (2, 2)");
    for (const String& sql : {"INSERT INTO " + t + " (id, v) VALUES (:id, :v)",
                              "UPDATE " + t + " SET v = :v WHERE id = :id", "DELETE FROM " + t + " WHERE id = :id"}) {
        TODBCQuery* q = NewQuery(sql);
        FDb->Open();
        odbc::faults::Scope counting;
        q->Prepare();
        EXPECT_EQ(q->ResultColumnCount(), 0) << sql;
        EXPECT_EQ(odbc::faults::CallCount("SQLExecDirect"), 0) << sql;
        EXPECT_EQ(odbc::faults::CallCount("SQLExecute"), 0) << sql;
        EXPECT_EQ(odbc::faults::CallCount("SQLFetch") + odbc::faults::CallCount("SQLFetchScroll"), 0) << sql;
        q->ParamByName("id")->SetAsInteger(3);
        if (q->Params()->FindParam("v")) q->ParamByName("v")->SetAsInteger(3);
        q->ExecSQL();
        EXPECT_EQ(odbc::faults::CallCount("SQLFetch") + odbc::faults::CallCount("SQLFetchScroll"), 0) << sql;
    }
    EXPECT_EQ(Count(t), "2");
}

TEST_P(Query, ClosingTheDatabaseUnpreparesAQueryThatRanExecSQL) {
    const std::string t = CreateTable("id integer");
    TODBCQuery* q = NewQuery("INSERT INTO " + t + " (id) VALUES (:id)");
    q->ParamByName("id")->SetAsInteger(1);
    q->ExecSQL();
    EXPECT_TRUE(q->Prepared());
    FDb->Close();
    EXPECT_FALSE(q->Prepared()) << "the statement died with the connection";
    q->ParamByName("id")->SetAsInteger(2);
    q->ExecSQL();  // reconnects and prepares again
    EXPECT_TRUE(FDb->Connected());
    EXPECT_EQ(Count(t), "2") << "the second ExecSQL ran on a freed statement";
    // Deleting the database first must leave the query nothing to free.
    delete FDb;
    FDb = nullptr;
    EXPECT_FALSE(q->Prepared());
}

TEST_P(Query, APreparedQueryOpensClosesAndRunsAgain) {
    const std::string t = CreateTable("id integer");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1), (2)");
    TODBCQuery* q = NewQuery("SELECT id FROM " + t + " WHERE id > :lo ORDER BY id");
    q->ParamByName("lo")->SetAsInteger(0);
    q->Prepare();
    EXPECT_TRUE(q->Prepared());
    EXPECT_EQ(q->ResultColumnCount(), 1);
    q->Open();
    EXPECT_EQ(Column(*q), (std::vector<String>{"1", "2"}));
    // Closing frees the statement; the database's Close finds nothing left.
    q->Close();
    EXPECT_FALSE(q->Prepared());
    q->ParamByName("lo")->SetAsInteger(1);
    q->Open();
    EXPECT_EQ(Column(*q), (std::vector<String>{"2"}));
    // The database closes an open query before it disconnects.
    FDb->Close();
    EXPECT_FALSE(q->Active());
    EXPECT_FALSE(q->Prepared());
    // A failing run leaves the query usable and the database's list tidy.
    q->SQL()->SetText("INSERT INTO no_such_table_" + t + " VALUES (:v)");
    q->ParamByName("v")->SetAsInteger(1);
    EXPECT_THROW(q->ExecSQL(), Exception);
    q->SQL()->SetText("INSERT INTO " + t + " VALUES (:v)");
    q->ParamByName("v")->SetAsInteger(3);
    q->ExecSQL();
    EXPECT_EQ(Count(t), "3");
    FDb->Close();
    EXPECT_FALSE(q->Prepared());
}

TEST_P(Query, OpeningNavigatingAndReopening) {
    const std::string t = CreateTable("id integer, name varchar(20)");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1, 'a'), (2, 'b'), (3, 'c')");
    TODBCQuery* q = NewQuery("SELECT id, name FROM " + t + " WHERE id >= :lo ORDER BY id");
    EXPECT_EQ(ErrorOf([&] { q->Open(); }), "No value for parameter 'lo'");
    EXPECT_FALSE(q->Active());
    q->ParamByName("lo")->SetAsInteger(2);
    q->Open();
    EXPECT_EQ(Column(*q), (std::vector<String>{"2", "3"}));
    q->Last();
    EXPECT_EQ(q->FieldByName("name")->AsString(), "c");
    q->Prior();
    EXPECT_EQ(q->FieldByName("name")->AsString(), "b");
    // The same text again leaves it open; ExecSQL on an open query is refused.
    TStringList same;
    same.SetText(q->SQL()->Text());
    q->SetQuery(&same);
    EXPECT_TRUE(q->Active());
    EXPECT_EQ(ErrorOf([&] { q->ExecSQL(); }), "Cannot perform this operation on an open dataset");
    EXPECT_EQ(ErrorOf([&] { q->SetReadOnly(true); }), "Cannot perform this operation on an open dataset");
    q->Close();
    q->ParamByName("lo")->SetAsInteger(3);
    q->Open();
    EXPECT_EQ(Column(*q), (std::vector<String>{"3"}));
    // A new text closes it.
    q->SQL()->SetText("SELECT id FROM " + t);
    EXPECT_FALSE(q->Active());
    EXPECT_FALSE(q->Prepared());
    q->SQL()->Clear();
    EXPECT_EQ(ErrorOf([&] { q->Open(); }), "No SQL statement available");
    EXPECT_EQ(ErrorOf([&] { q->ExecSQL(); }), "No SQL statement available");
}

TEST_P(Query, ExecSQLOfASelectThenOpenRunsItAgain) {
    const std::string t = CreateTable("id integer");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1), (2)");
    TODBCQuery* q = NewQuery("SELECT id FROM " + t + " ORDER BY id");
    q->ExecSQL();
    q->ExecSQL();  // the unread result of the first run does not stand in the way
    q->Open();
    EXPECT_EQ(Column(*q), (std::vector<String>{"1", "2"}));
}

TEST_P(Query, ManyRunsOfAParameterisedInsertKeepMemoryFlat) {
    const std::string t = CreateTable("id integer, name varchar(40), note varchar(400)");
    TODBCQuery* q = NewQuery("INSERT INTO " + t + " (id, name, note) VALUES (:id, :name, :note)");
    const String note(300, 'n');  // a long value: passed by reference
    int inserted = 0;
    auto run = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            q->ParamByName("id")->SetAsInteger(i);
            q->ParamByName("name")->SetAsString("name " + std::to_string(i));
            q->ParamByName("note")->SetAsString(note);
            q->ExecSQL();
            inserted += q->RowsAffected();
            // The rows go again now and then, so that the SQLite driver's
            // page cache, which lives in this process, does not grow with
            // the table.
            if (i % 100 == 99) FRaw->Exec("DELETE FROM " + t);
        }
    };
    run(0, 200);
    const std::size_t before = HeapInUse();
    run(200, 1000);
    const std::size_t after = HeapInUse();
    EXPECT_LE(after, before + 16 * 1024) << "grew by " << (after - before) << " bytes over 800 runs";
    EXPECT_EQ(inserted, 1000);
}

TEST_P(Query, DetailQueryFollowsItsMasterQuery) {
    const std::string m = CreateTable("id integer, name varchar(20)");
    const std::string d = CreateTable("id integer, item varchar(20)");
    FRaw->Exec("INSERT INTO " + m + " VALUES (1, 'one'), (2, 'two'), (3, 'three')");
    FRaw->Exec("INSERT INTO " + d + " VALUES (1, 'a'), (1, 'b'), (2, 'c')");
    TODBCQuery* master = NewQuery("SELECT id, name FROM " + m + " ORDER BY id");
    auto* source = new TDataSource(FOwner.get());
    source->SetDataSet(master);
    TODBCQuery* detail = NewQuery("SELECT item FROM " + d + " WHERE id = :id ORDER BY item");
    detail->SetDataSource(source);
    EXPECT_EQ(ErrorOf([&] { master->SetDataSource(source); }), "Circular datalinks are not allowed");
    master->Open();
    detail->Open();
    EXPECT_EQ(Column(*detail), (std::vector<String>{"a", "b"}));
    master->Next();
    EXPECT_EQ(Column(*detail), (std::vector<String>{"c"}));
    master->Next();
    EXPECT_TRUE(Column(*detail).empty());
    EXPECT_FALSE(detail->ParamByName("id")->Bound()) << "the parameter keeps following the master";
    // A value the application gives wins over the master's.
    detail->ParamByName("id")->SetAsInteger(1);
    master->First();
    master->Next();
    EXPECT_EQ(Column(*detail), (std::vector<String>{"a", "b"}));
}

// Transaction statements typed as SQL, as the server's own client runs them:
// the work between BEGIN and ROLLBACK is undone, between BEGIN and COMMIT
// kept, and InTransaction agrees with the server at every step (another
// connection sees nothing before the end).
TEST_P(Query, TransactionStatementsTypedAsSQLEndAsWrittenAndInTransactionFollows) {
    using K = test::DriverKind;
    struct TCase {
        const char* Begin;
        const char* End;
        bool Kept;
        bool OnSQLite, OnPostgreSQL, OnMariaDB;
    };
    static const TCase kCases[] = {
        {"BEGIN", "ROLLBACK", false, true, true, true},
        {"  /* a comment */ begin -- more\n", "rollback work;", false, true, true, true},
        {"Begin Transaction", "END", true, true, true, false},
        {"BEGIN WORK", "Commit Work", true, false, true, true},
        {"START TRANSACTION", "COMMIT", true, false, true, true},
        {"START TRANSACTION", "ROLLBACK", false, false, true, true},
        {"begin deferred transaction", "end transaction", true, true, false, false},
        {"BEGIN", "ABORT", false, false, true, false},
    };
    const std::string t = CreateTable("id integer");
    TODBCQuery* q = NewQuery("");
    auto run = [&](const String& sql) {
        q->SQL()->SetText(sql);
        q->ExecSQL();
    };
    int expected = 0;
    for (const TCase& c : kCases) {
        if (!(Drv().Kind == K::SQLite ? c.OnSQLite : Drv().Kind == K::PostgreSQL ? c.OnPostgreSQL : c.OnMariaDB))
            continue;
        SCOPED_TRACE(std::string(c.Begin) + " ... " + c.End);
        run(c.Begin);
        EXPECT_TRUE(FDb->InTransaction());
        run("INSERT INTO " + t + " VALUES (1)");
        EXPECT_EQ(Count(t), std::to_string(expected)) << "the row is visible before the transaction ends";
        run(c.End);
        EXPECT_FALSE(FDb->InTransaction());
        if (c.Kept) ++expected;
        EXPECT_EQ(Count(t), std::to_string(expected));
        // Autocommit again: a row written now is another connection's at once.
        run("INSERT INTO " + t + " VALUES (2)");
        EXPECT_EQ(Count(t, "id = 2"), "1");
        run("DELETE FROM " + t + " WHERE id = 2");
    }
}

TEST_P(Query, SavepointsTypedAsSQLUndoPartOfATransaction) {
    const std::string t = CreateTable("id integer");
    TODBCQuery* q = NewQuery("");
    for (const String& sql : {String("BEGIN"), "INSERT INTO " + t + " VALUES (1)", String("SAVEPOINT s1"),
                              "INSERT INTO " + t + " VALUES (2)", String("ROLLBACK TO SAVEPOINT s1"),
                              "INSERT INTO " + t + " VALUES (3)", String("RELEASE SAVEPOINT s1"),
                              String("COMMIT")}) {
        q->SQL()->SetText(sql);
        q->ExecSQL();
    }
    EXPECT_FALSE(FDb->InTransaction());
    EXPECT_EQ(FRaw->Scalar("SELECT sum(id) FROM " + t).value_or("<null>"), "4");
}

// A COMMIT outside a transaction gets the server's own answer: PostgreSQL's
// warning, MariaDB's silence, SQLite's error. A BEGIN inside one too.
TEST_P(Query, TransactionStatementsOutOfPlaceGetTheServersAnswer) {
    TODBCQuery* q = NewQuery("COMMIT");
    const String error = test::ErrorOf([&] { q->ExecSQL(); });
    switch (Drv().Kind) {
        case test::DriverKind::SQLite:
            EXPECT_NE(error.find("no transaction is active"), String::npos) << error;
            break;
        case test::DriverKind::PostgreSQL:
            EXPECT_EQ(error, "(no error)");
            ASSERT_EQ(q->ExecWarnings().size(), 1u);
            EXPECT_EQ(q->ExecWarnings()[0].State, "25P01");
            break;
        case test::DriverKind::MariaDB:
            EXPECT_EQ(error, "(no error)");
            EXPECT_TRUE(q->ExecWarnings().empty());
            break;
    }
    EXPECT_FALSE(FDb->InTransaction());
    q->SQL()->SetText("BEGIN");
    q->ExecSQL();
    const String again = test::ErrorOf([&] { q->ExecSQL(); });
    if (Drv().Kind == test::DriverKind::SQLite) {
        EXPECT_NE(again.find("within a transaction"), String::npos) << again;
    } else if (Drv().Kind == test::DriverKind::PostgreSQL) {
        ASSERT_EQ(q->ExecWarnings().size(), 1u);
        EXPECT_EQ(q->ExecWarnings()[0].State, "25001");  // already a transaction in progress
    }
    EXPECT_TRUE(FDb->InTransaction());
    q->SQL()->SetText("ROLLBACK");
    q->ExecSQL();
    EXPECT_FALSE(FDb->InTransaction());
}

// A BEGIN with modes keeps its modes: MariaDB runs it as written and the
// connection joins the transaction, PostgreSQL's begins with SET TRANSACTION
// of the modes (SQLite's driver cannot join: there InTransaction stays False
// while the server's transaction runs, and the end runs as written).
TEST_P(Query, ABeginWithModesRunsAsWritten) {
    const std::string t = CreateTable("id integer");
    const char* begin = Drv().Kind == test::DriverKind::SQLite       ? "BEGIN IMMEDIATE"
                        : Drv().Kind == test::DriverKind::PostgreSQL ? "BEGIN ISOLATION LEVEL SERIALIZABLE"
                                                                     : "START TRANSACTION READ ONLY";
    TODBCQuery* q = NewQuery(begin);
    q->ExecSQL();
    EXPECT_EQ(FDb->InTransaction(), Drv().Kind != test::DriverKind::SQLite);
    if (Drv().Kind == test::DriverKind::PostgreSQL) {
        TODBCQuery* level = NewQuery("SELECT current_setting('transaction_isolation')");
        level->Open();
        EXPECT_EQ(level->Fields().Fields(0)->AsString(), "serializable");
        level->Close();
    }
    q->SQL()->SetText("INSERT INTO " + t + " VALUES (1)");
    if (Drv().Kind == test::DriverKind::MariaDB)
        EXPECT_NE(test::ErrorOf([&] { q->ExecSQL(); }).find("READ ONLY"), String::npos) << "the mode was lost";
    else
        q->ExecSQL();
    EXPECT_EQ(Count(t), "0");
    q->SQL()->SetText("ROLLBACK");
    q->ExecSQL();
    EXPECT_FALSE(FDb->InTransaction());
    EXPECT_EQ(Count(t), "0");
}

// Open refuses a statement without a result before it runs (every driver
// describes a prepared statement's columns); a procedure call, which no
// driver can describe before it runs, runs once and leaves the query closed.
TEST_P(Query, OpenOnAStatementWithoutResultRaisesAndRunsNothing) {
    const std::string t = CreateTable("id integer");
    for (const String& sql :
         {"INSERT INTO " + t + " VALUES (1)", "UPDATE " + t + " SET id = 2", String("BEGIN"), String("COMMIT")}) {
        TODBCQuery* q = NewQuery(sql);
        q->SetName("Q");
        EXPECT_EQ(test::ErrorOf([&] { q->Open(); }),
                  "'Q': the SQL statement returns no result set; use ExecSQL")
            << sql;
        EXPECT_FALSE(q->Active());
        EXPECT_FALSE(FDb->InTransaction());
        delete q;
    }
    EXPECT_EQ(Count(t), "0");
    if (Drv().Kind == test::DriverKind::SQLite) return;
    const std::string proc = test::UniqueName("p");
    if (Drv().Kind == test::DriverKind::PostgreSQL)
        FRaw->Exec("CREATE PROCEDURE " + proc + "() LANGUAGE SQL AS $$ INSERT INTO " + t + " VALUES (7) $$");
    else
        FRaw->Exec("CREATE PROCEDURE " + proc + "() INSERT INTO " + t + " VALUES (7)");
    TODBCQuery* q = NewQuery("CALL " + proc + "()");
    q->SetName("Q");
    EXPECT_EQ(test::ErrorOf([&] { q->Open(); }), "'Q': the SQL statement returns no result set; use ExecSQL");
    EXPECT_FALSE(q->Active());
    EXPECT_EQ(Count(t, "id = 7"), "1");
    FRaw->Exec("DROP PROCEDURE " + proc);
}

INSTANTIATE_TEST_SUITE_P(Drivers, Query, test::AllDrivers(), test::DriverParamName());

// PostgreSQL answers DROP ... IF EXISTS and CREATE ... IF NOT EXISTS with
// notices, which psqlODBC reports as warnings of a successful statement.
class QueryPostgreSQL : public Query {};

TEST_P(QueryPostgreSQL, StatementsAnsweredWithNoticesSucceedAndKeepThem) {
    const std::string missing = test::UniqueName("gone");
    TODBCQuery* q = NewQuery("DROP TABLE IF EXISTS " + missing);
    q->ExecSQL();
    ASSERT_FALSE(q->ExecWarnings().empty());
    EXPECT_NE(q->ExecWarnings()[0].Text.find("does not exist"), std::string::npos) << q->ExecWarnings()[0].Text;

    const std::string t = CreateTable("id integer");
    q->SQL()->SetText("CREATE TABLE IF NOT EXISTS " + t + " (id integer)");
    q->ExecSQL();
    ASSERT_FALSE(q->ExecWarnings().empty());
    EXPECT_NE(q->ExecWarnings()[0].Text.find("already exists"), std::string::npos) << q->ExecWarnings()[0].Text;
    q->SQL()->SetText("INSERT INTO " + t + " VALUES (1)");
    q->ExecSQL();
    EXPECT_TRUE(q->ExecWarnings().empty());
}

INSTANTIATE_TEST_SUITE_P(Drivers, QueryPostgreSQL, ::testing::Values(test::Driver(test::DriverKind::PostgreSQL)),
                         test::DriverParamName());

}  // namespace
}  // namespace velora
