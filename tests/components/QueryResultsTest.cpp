// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCQuery against the drivers: several results of one text (NextResultSet
// and the counts of the statements without a result), and procedures and
// functions whose parameters answer values (output, input-output, result).
// MariaDB runs several statements in one text only with the connection's
// multi-statement flag (OPTION bit 67108864), which these tests set.
#include "velora/components/ODBCQuery.h"

#include "velora/components/ODBCObj.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/odbc/ODBCFaults.h"

#include "components/ComponentTestUtil.h"
#include "support/TestEnv.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace velora {
namespace {

using test::DriverKind;
using test::ErrorOf;

class QueryResults : public test::DatabaseFixture {
protected:
    void SetUp() override {
        DatabaseFixture::SetUp();
        if (IsSkipped()) return;
        // MariaDB's driver takes several statements only when asked to.
        if (Drv().Kind == DriverKind::MariaDB) FDb->SetDataSourceName("DSN=" + Drv().Dsn + ";OPTION=67108864");
    }
    void TearDown() override {
        DatabaseFixture::TearDown();
        for (const std::string& drop : FDrops) FRaw->Exec(drop);
    }
    std::string CreateTable(const std::string& columns) { return DatabaseFixture::CreateTable(columns, "r"); }
    /// Creates a routine from its text with NAME standing for a fresh name.
    std::string CreateRoutine(const char* kind, std::string text) {
        const std::string name = test::UniqueName("p");
        text.replace(text.find("NAME"), 4, name);
        FRaw->Exec(text);
        FDrops.push_back(std::string("DROP ") + kind + " IF EXISTS " + name);
        return name;
    }
    /// Field names and every row of the open query, as text.
    static std::string Rows(TODBCQuery& q) {
        std::string out;
        for (int i = 0; i < q.Fields().Count(); ++i) out += (i ? "," : "") + q.Fields().Fields(i)->FieldName();
        for (; !q.Eof(); q.Next()) {  // from the first record: uni-directional datasets too
            out += " |";
            for (int i = 0; i < q.Fields().Count(); ++i) out += (i ? "," : "") + q.Fields().Fields(i)->AsString();
        }
        return out;
    }

    std::vector<std::string> FDrops;  ///< routines made by the test
};

// ---------------------------------------------------------------------------
// Several results

// Every driver: a single result is the last one; NextResultSet closes the
// query and keeps the query usable; a closed query has no next result.
TEST_P(QueryResults, ASingleResultIsTheLast) {
    const std::string t = CreateTable("id integer");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1)");
    TODBCQuery* q = NewQuery("SELECT id FROM " + t);
    EXPECT_NE(ErrorOf([&] { q->NextResultSet(); }), "");
    q->Open();
    EXPECT_FALSE(q->NextResultSet());
    EXPECT_FALSE(q->Active());
    EXPECT_TRUE(q->RowsAffectedCounts().empty());
    q->Open();
    EXPECT_EQ(Rows(*q), "id |1");
}

// A text set before the database connects is read again in the data
// source's dialect when it is prepared: a colon inside its own literals is
// text, and the value given to a parameter both readings have is kept.
TEST_P(QueryResults, MarkersAreReadInTheDataSourcesDialect) {
    std::string sql = "SELECT CAST(:p AS integer) AS w, 'a:b' AS v";
    std::string value = "a:b";
    if (Drv().Kind == DriverKind::PostgreSQL) sql = "SELECT CAST(:p AS integer) AS w, $q$a:b$q$ AS v";
    if (Drv().Kind == DriverKind::MariaDB) sql = "SELECT CAST(:p AS integer) AS w, 'it\\'s :b' AS v", value = "it's :b";
    TODBCQuery* q = NewQuery(sql);
    ASSERT_FALSE(FDb->Connected());
    q->ParamByName("p")->SetAsInteger(5);
    q->Open();
    EXPECT_EQ(q->ParamCount(), 1);
    EXPECT_EQ(Rows(*q), "w,v |5," + value);
}

INSTANTIATE_TEST_SUITE_P(Drivers, QueryResults, test::AllDrivers(), test::DriverParamName());

class QueryBatches : public QueryResults {};

// One text, results and counts in order: the dataset walks the result sets
// with their own fields; counts of statements without a result are kept in
// order; the data source holds what every statement did.
TEST_P(QueryBatches, OpenWalksEveryResultAndKeepsTheCounts) {
    const std::string t = CreateTable("a integer");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1), (2), (3)");
    TODBCQuery* q = NewQuery("UPDATE " + t + " SET a = a + 1; SELECT a FROM " + t + " ORDER BY a; DELETE FROM " + t +
                             " WHERE a = 3; SELECT 'x' AS s, 2 AS n; INSERT INTO " + t + " VALUES (9)");
    q->SetName("Q");
    if (Drv().Kind == DriverKind::PostgreSQL) {
        // psqlODBC reads several statements forward-only only.
        EXPECT_EQ(ErrorOf([&] { q->Open(); }),
                  "'Q': the data source reads several statements forward-only; set UniDirectional to open them");
        EXPECT_EQ(FRaw->Scalar("SELECT sum(a) FROM " + t), "6") << "nothing ran";
    }
    q->SetUniDirectional(true);
    q->Open();
    EXPECT_EQ(Rows(*q), "a |2 |3 |4");
    EXPECT_EQ(q->RowsAffectedCounts(), (std::vector<std::int32_t>{3}));
    ASSERT_TRUE(q->NextResultSet());
    EXPECT_EQ(Rows(*q), "s,n |x,2");
    EXPECT_EQ(q->RowsAffectedCounts(), (std::vector<std::int32_t>{3, 1}));
    EXPECT_FALSE(q->CanModify()) << "a later result is no row of the table named first";
    EXPECT_FALSE(q->NextResultSet());
    EXPECT_FALSE(q->Active());
    EXPECT_EQ(q->RowsAffectedCounts(), (std::vector<std::int32_t>{3, 1, 1}));
    EXPECT_EQ(q->RowsAffected(), 1);
    EXPECT_EQ(FRaw->Scalar("SELECT count(*) FROM " + t + " WHERE a IN (2, 4, 9)"), "3");
    EXPECT_EQ(FRaw->Scalar("SELECT count(*) FROM " + t), "3");
    // A text of statements without any result runs once and stays closed.
    q->SQL()->SetText("DELETE FROM " + t + " WHERE a = 2; DELETE FROM " + t);
    EXPECT_FALSE(q->OpenResult());
    EXPECT_FALSE(q->Active());
    EXPECT_EQ(q->RowsAffectedCounts(), (std::vector<std::int32_t>{1, 2}));
    EXPECT_EQ(FRaw->Scalar("SELECT count(*) FROM " + t), "0");
}

TEST_P(QueryBatches, ExecSQLKeepsTheCountOfEveryStatement) {
    const std::string t = CreateTable("a integer");
    TODBCQuery* q = NewQuery("INSERT INTO " + t + " VALUES (1), (2); UPDATE " + t + " SET a = 5 WHERE a = 1;\nDELETE FROM " +
                             t + " WHERE a > 0;");
    q->ExecSQL();
    EXPECT_EQ(q->RowsAffectedCounts(), (std::vector<std::int32_t>{2, 1, 2}));
    EXPECT_EQ(q->RowsAffected(), 2);
    EXPECT_EQ(FRaw->Scalar("SELECT count(*) FROM " + t), "0");
}

// On the cursor library's road (the driver's keyset cursors hidden) a text
// of several results scrolls through each of them in turn; SQLite's driver
// takes one statement at a time and refuses the text when it is prepared.
TEST_P(QueryResults, SeveralResultsOnTheCursorLibrarysRoad) {
    const std::string t = CreateTable("a integer");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1), (2)");
    {
        odbc::faults::Scope scope;
        odbc::faults::OverrideInfo(SQL_KEYSET_CURSOR_ATTRIBUTES1, 0);
        FDb->Open();
    }
    ASSERT_EQ(FDb->CursorMode(), cmCursorLibrary);
    // A first result longer than a block: the cursor learns its count.
    TODBCQuery* q = NewQuery("WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < 1000) "
                             "SELECT n FROM c; SELECT a FROM " + t + " ORDER BY a; UPDATE " + t +
                             " SET a = a * 10; SELECT 'x' AS s UNION ALL SELECT 'y' UNION ALL SELECT 'z'");
    if (Drv().Kind == DriverKind::SQLite) {
        EXPECT_NE(ErrorOf([&] { q->Open(); }), "");
        EXPECT_FALSE(q->Active());
        EXPECT_EQ(FRaw->Scalar("SELECT sum(a) FROM " + t), "3") << "nothing ran";
        return;
    }
    // psqlODBC reads several statements forward-only only.
    q->SetUniDirectional(Drv().Kind == DriverKind::PostgreSQL);
    q->Open();
    if (!q->UniDirectional()) {
        q->Last();
        EXPECT_EQ(q->Fields().Fields(0)->AsString(), "1000");
        q->First();
    }
    EXPECT_EQ(q->Fields().Fields(0)->AsString(), "1");
    ASSERT_TRUE(q->NextResultSet());
    if (!q->UniDirectional()) {
        q->Last();
        EXPECT_EQ(q->Fields().Fields(0)->AsString(), "2");
        q->First();
    }
    EXPECT_EQ(Rows(*q), "a |1 |2");
    ASSERT_TRUE(q->NextResultSet());
    if (!q->UniDirectional()) {
        // The count and rows of the first result are not this one's.
        q->Last();
        EXPECT_EQ(q->Fields().Fields(0)->AsString(), "z");
        q->Prior();
        EXPECT_EQ(q->Fields().Fields(0)->AsString(), "y");
        q->First();
    }
    EXPECT_EQ(Rows(*q), "s |x |y |z");
    EXPECT_EQ(q->RowsAffectedCounts(), (std::vector<std::int32_t>{2}));
    EXPECT_FALSE(q->NextResultSet());
    EXPECT_EQ(FRaw->Scalar("SELECT sum(a) FROM " + t), "30");
    // The query runs again from its first result.
    q->Open();
    ASSERT_TRUE(q->NextResultSet());
    EXPECT_EQ(Rows(*q), "a |10 |20");
    q->Close();
}

INSTANTIATE_TEST_SUITE_P(Drivers, QueryBatches,
                         ::testing::Values(test::Driver(DriverKind::PostgreSQL), test::Driver(DriverKind::MariaDB)),
                         test::DriverParamName());

// ---------------------------------------------------------------------------
// Procedures and functions with output parameters

struct TOutParam {
    const char* Name;
    TODBCParamType Direction;
    TFieldType Type;
    const char* Input;     ///< nullptr: no input value
    const char* Expected;  ///< the value after the call, as text
};

struct TProcCase {
    const char* Title;
    DriverKind Kind;
    const char* RoutineKind;  ///< PROCEDURE or FUNCTION
    const char* Create;       ///< NAME is the routine's name
    const char* Call;         ///< NAME likewise; :markers for the parameters
    std::vector<TOutParam> Params;
    const char* Rows;  ///< the result sets Open shows ("" for ExecSQL, "-" for none through Open)
};

void PrintTo(const TProcCase& c, std::ostream* os) { *os << c.Title; }

const TProcCase kProcCases[] = {
    {"PgProcedureInOut",
     DriverKind::PostgreSQL,
     "PROCEDURE",
     "CREATE PROCEDURE NAME(INOUT a integer, INOUT b text) LANGUAGE plpgsql AS $$ BEGIN a := a + 1; "
     "b := b || '!' || a; END $$",
     "{call NAME(:a, :b)}",
     {{"a", ptInputOutput, ftInteger, "5", "6"}, {"b", ptInputOutput, ftString, "hi", "hi!6"}},
     ""},
    {"PgProcedureInOutPlainCall",
     DriverKind::PostgreSQL,
     "PROCEDURE",
     "CREATE PROCEDURE NAME(INOUT a integer, INOUT b text) LANGUAGE plpgsql AS $$ BEGIN a := a * 2; b := NULL; END $$",
     "CALL NAME(:a, :b)",
     {{"a", ptInputOutput, ftInteger, "21", "42"}, {"b", ptInputOutput, ftString, "x", "<null>"}},
     ""},
    {"PgFunctionOut",
     DriverKind::PostgreSQL,
     "FUNCTION",
     "CREATE FUNCTION NAME(x integer, OUT y integer, OUT z text) LANGUAGE plpgsql AS $$ BEGIN y := x * 2; "
     "z := 'z' || x; END $$",
     "{call NAME(:x, :y, :z)}",
     {{"x", ptInput, ftInteger, "7", "7"}, {"y", ptOutput, ftInteger, nullptr, "14"}, {"z", ptOutput, ftUnknown, nullptr, "z7"}},
     ""},
    {"PgFunctionResult",
     DriverKind::PostgreSQL,
     "FUNCTION",
     "CREATE FUNCTION NAME(x numeric) RETURNS numeric LANGUAGE sql AS $$ SELECT x * 2 $$",
     "{:r = call NAME(:x)}",
     {{"r", ptResult, ftBCD, nullptr, "2.4690"}, {"x", ptInput, ftBCD, "1.2345", "1.2345"}},
     ""},
    {"MariaProcedureOutInOut",
     DriverKind::MariaDB,
     "PROCEDURE",
     "CREATE PROCEDURE NAME(IN a integer, OUT b integer, INOUT c varchar(20), OUT d double) BEGIN SET b = a * 2; "
     "SET c = concat(c, a); SET d = a / 4; END",
     "{call NAME(:a, :b, :c, :d)}",
     {{"a", ptInput, ftInteger, "3", "3"},
      {"b", ptOutput, ftInteger, nullptr, "6"},
      {"c", ptInputOutput, ftString, "c=", "c=3"},
      {"d", ptOutput, ftFloat, nullptr, "0.75"}},
     ""},
    {"MariaFunctionResult",
     DriverKind::MariaDB,
     "FUNCTION",
     "CREATE FUNCTION NAME(x integer, s varchar(20)) RETURNS varchar(40) RETURN concat(s, x * 2)",
     "{:r = call NAME(:x, :s)}",
     {{"r", ptResult, ftString, nullptr, "x=4"}, {"x", ptInput, ftInteger, "2", "2"}, {"s", ptInput, ftString, "x=", "x="}},
     ""},
    {"MariaFunctionResultOpen",
     DriverKind::MariaDB,
     "FUNCTION",
     "CREATE FUNCTION NAME(x integer) RETURNS integer RETURN x * 3",
     "{ :r = call NAME(:x) }",
     {{"r", ptResult, ftInteger, nullptr, "21"}, {"x", ptInput, ftInteger, "7", "7"}},
     "-"},
    {"MariaProcedureRowsThenOutput",
     DriverKind::MariaDB,
     "PROCEDURE",
     "CREATE PROCEDURE NAME(IN a integer, OUT b integer) BEGIN SELECT a AS first UNION ALL SELECT a + 1; "
     "SET b = a * 5; END",
     "CALL NAME(:a, :b)",
     {{"a", ptInput, ftInteger, "4", "4"}, {"b", ptOutput, ftInteger, nullptr, "20"}},
     "first |4 |5"},
};

class QueryProcedures : public ::testing::TestWithParam<TProcCase> {};

TEST_P(QueryProcedures, OutputValuesAreReadThroughTheParameters) {
    const TProcCase& c = GetParam();
    const test::TestDriver& driver = test::Driver(c.Kind);
    VELORA_REQUIRE_DRIVER(driver);
    test::RawConnection raw(driver);
    const std::string name = test::UniqueName("p");
    auto named = [&](std::string text) { return text.replace(text.find("NAME"), 4, name); };
    raw.Exec(named(c.Create));
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    auto* db = new TODBCDatabase(owner.get());
    db->SetDataSourceName(driver.Dsn);
    db->SetLoginPrompt(false);
    db->Params()->SetValues("USER NAME", driver.User);
    db->Params()->SetValues("PASSWORD", driver.Password);
    auto* q = new TODBCQuery(owner.get());
    q->SetDataBase(db);
    q->SQL()->SetText(named(c.Call));
    auto fill = [&] {
        for (const TOutParam& p : c.Params) {
            TODBCParam* param = q->ParamByName(p.Name);
            param->SetParamType(p.Direction);
            param->SetDataType(p.Type);
            if (p.Input) param->SetText(p.Input); else param->Clear();
        }
    };
    auto check = [&](const char* road) {
        for (const TOutParam& p : c.Params) {
            TODBCParam* param = q->ParamByName(p.Name);
            EXPECT_EQ(param->IsNull() ? String("<null>") : param->AsString(), p.Expected) << road << " :" << p.Name;
        }
    };
    fill();
    if (*c.Rows == '\0') {
        q->ExecSQL();
        check("ExecSQL");
    } else if (std::string(c.Rows) == "-") {
        // No result set: Open runs the call once and stays closed.
        EXPECT_FALSE(q->OpenResult());
        EXPECT_FALSE(q->Active());
        check("Open");
        fill();
        q->ExecSQL();
        check("ExecSQL after Open");
    } else {
        q->Open();
        String rows;
        for (q->First(); !q->Eof(); q->Next()) rows += " |" + q->Fields().Fields(0)->AsString();
        EXPECT_EQ(q->Fields().Fields(0)->FieldName() + rows, c.Rows);
        while (q->NextResultSet()) {
        }
        check("Open and NextResultSet");
    }
    raw.Exec(std::string("DROP ") + c.RoutineKind + " " + name);
}

INSTANTIATE_TEST_SUITE_P(Drivers, QueryProcedures, ::testing::ValuesIn(kProcCases),
                         [](const auto& info) { return std::string(info.param.Title); });

// Output values longer than a page arrive whole (100 kB of text and of
// bytes, from a function's return value, a procedure's INOUT and OUT
// parameters); one longer than the output buffer is refused with the size it
// needs, never cut.
struct TLongOutCase {
    const char* Title;
    DriverKind Kind;
    const char* RoutineKind;
    const char* Create;  ///< NAME is the routine's name; N the length
    const char* Call;    ///< :r is the long value, :n its length
    TODBCParamType Direction;
    TFieldType Type;
    char Fill;  ///< the value is N times this character
};

void PrintTo(const TLongOutCase& c, std::ostream* os) { *os << c.Title; }

const TLongOutCase kLongOutCases[] = {
    {"PgFunctionText", DriverKind::PostgreSQL, "FUNCTION",
     "CREATE FUNCTION NAME(n integer) RETURNS text LANGUAGE sql AS $$ SELECT repeat('x', n) $$", "{:r = call NAME(:n)}",
     ptResult, ftMemo, 'x'},
    {"PgFunctionBytes", DriverKind::PostgreSQL, "FUNCTION",
     "CREATE FUNCTION NAME(n integer) RETURNS bytea LANGUAGE sql AS $$ SELECT convert_to(repeat('y', n), 'UTF8') $$",
     "{:r = call NAME(:n)}", ptResult, ftBlob, 'y'},
    {"PgProcedureInOut", DriverKind::PostgreSQL, "PROCEDURE",
     "CREATE PROCEDURE NAME(INOUT r text, n integer) LANGUAGE plpgsql AS $$ BEGIN r := repeat('z', n); END $$",
     "CALL NAME(:r, :n)", ptInputOutput, ftMemo, 'z'},
    {"MariaProcedureText", DriverKind::MariaDB, "PROCEDURE",
     "CREATE PROCEDURE NAME(OUT r longtext, IN n integer) SET r = repeat('x', n)", "{call NAME(:r, :n)}", ptOutput,
     ftMemo, 'x'},
    {"MariaProcedureBytes", DriverKind::MariaDB, "PROCEDURE",
     "CREATE PROCEDURE NAME(OUT r longblob, IN n integer) SET r = repeat('y', n)", "{call NAME(:r, :n)}", ptOutput,
     ftBlob, 'y'},
};

class QueryLongOutputs : public ::testing::TestWithParam<TLongOutCase> {};

TEST_P(QueryLongOutputs, ArriveWholeOrAreRefusedWithTheirSize) {
    const TLongOutCase& c = GetParam();
    const test::TestDriver& driver = test::Driver(c.Kind);
    VELORA_REQUIRE_DRIVER(driver);
    test::RawConnection raw(driver);
    const std::string name = test::UniqueName("p");
    auto named = [&](std::string text) { return text.replace(text.find("NAME"), 4, name); };
    raw.Exec(named(c.Create));
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    auto* db = new TODBCDatabase(owner.get());
    db->SetDataSourceName(driver.Dsn);
    db->SetLoginPrompt(false);
    db->Params()->SetValues("USER NAME", driver.User);
    db->Params()->SetValues("PASSWORD", driver.Password);
    auto* q = new TODBCQuery(owner.get());
    q->SetName("Q");
    q->SetDataBase(db);
    q->SQL()->SetText(named(c.Call));
    auto run = [&](int n) {
        TODBCParam* r = q->ParamByName("r");
        r->SetParamType(c.Direction);
        r->SetDataType(c.Type);
        if (c.Direction == ptInputOutput) r->SetAsMemo("in"); else r->Clear();
        q->ParamByName("n")->SetAsInteger(n);
        q->ExecSQL();
    };
    run(100000);
    const String value = q->ParamByName("r")->AsString();
    EXPECT_EQ(value.size(), 100000u);
    EXPECT_EQ(value, String(100000, c.Fill));
    const int tooLong = kParamOutputBufferSize + 5;
    EXPECT_EQ(ErrorOf([&] { run(tooLong); }), "Output parameter 'r' holds a value of " + std::to_string(tooLong) +
                                                  " bytes, longer than its output buffer of " +
                                                  std::to_string(kParamOutputBufferSize) + " bytes");
    owner.reset();
    raw.Exec(std::string("DROP ") + c.RoutineKind + " " + name);
}

INSTANTIATE_TEST_SUITE_P(Drivers, QueryLongOutputs, ::testing::ValuesIn(kLongOutCases),
                         [](const auto& info) { return std::string(info.param.Title); });

// SQLite's driver has no procedures and leaves output parameters untouched:
// a statement with one is refused before it runs.
TEST(QueryProceduresSQLite, OutputParametersAreRefused) {
    const test::TestDriver& driver = test::Driver(DriverKind::SQLite);
    VELORA_REQUIRE_DRIVER(driver);
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    auto* db = new TODBCDatabase(owner.get());
    db->SetDataSourceName(driver.Dsn);
    db->SetLoginPrompt(false);
    auto* q = new TODBCQuery(owner.get());
    q->SetDataBase(db);
    q->SQL()->SetText("SELECT :x");
    q->ParamByName("x")->SetParamType(ptOutput);
    q->ParamByName("x")->SetDataType(ftInteger);
    EXPECT_EQ(ErrorOf([&] { q->ExecSQL(); }), "The data source has no procedures: parameter 'x' cannot be bound for output");
    EXPECT_EQ(ErrorOf([&] { q->Open(); }), "The data source has no procedures: parameter 'x' cannot be bound for output");
}

}  // namespace
}  // namespace velora
