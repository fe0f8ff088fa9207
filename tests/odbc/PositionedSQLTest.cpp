// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The cursor library's reading of SQL text: which statements are positioned
// ones, what table, assignments and cursor they name, which table a SELECT
// reads, and how generated names are quoted. These need no database; the
// cursor library's behaviour against the drivers is in CursorLibraryTest.
#include "../../platform/odbc/src/PositionedSQLInternal.h"

#include <gtest/gtest.h>
#include <sqlext.h>

namespace velora::odbc::cursorlib {
namespace {

const SqlDialect kStandard{};
const SqlDialect kMaria{TSQLDialect::MySQL};
const SqlDialect kPostgres{TSQLDialect::PostgreSQL};

TEST(PositionedSqlTest, RecognisesTheEnginesUpdateWithItsNegativeCursorName) {
    // The engine's text: every writable column, two blanks before WHERE, and a
    // cursor name made from the handle, which may carry a minus sign.
    auto ps = ParsePositioned("UPDATE T SET A = ?, C = ?  WHERE CURRENT OF S-289721760", kStandard);
    ASSERT_TRUE(ps);
    EXPECT_EQ(ps->Op, PositionedStatement::Kind::Update);
    EXPECT_EQ(ps->Table, "T");
    ASSERT_EQ(ps->TableParts.size(), 1u);
    EXPECT_EQ(ps->TableParts[0].Text, "T");
    EXPECT_EQ(ps->SetClause, "A = ?, C = ?");
    EXPECT_EQ(ps->CursorName, "S-289721760");
    EXPECT_EQ(ps->MarkerCount, 2);
    ASSERT_EQ(ps->Assignments.size(), 2u);
    EXPECT_EQ(ps->Assignments[0].Column, "A");
    EXPECT_EQ(ps->Assignments[0].Param, 1);
    EXPECT_EQ(ps->Assignments[1].Column, "C");
    EXPECT_EQ(ps->Assignments[1].Param, 2);
}

TEST(PositionedSqlTest, KeepsExpressionsAndCountsTheirMarkers) {
    auto ps = ParsePositioned(
        "update sales.\"Order Lines\" set qty = qty + ?, note = 'where current of x ?', \"Unit Price\" = ? "
        "where current of \"My Cursor\";",
        kStandard);
    ASSERT_TRUE(ps);
    EXPECT_EQ(ps->Table, "sales.\"Order Lines\"");
    ASSERT_EQ(ps->TableParts.size(), 2u);
    EXPECT_EQ(ps->TableParts[0].Text, "sales");
    EXPECT_FALSE(ps->TableParts[0].Quoted);
    EXPECT_EQ(ps->TableParts[1].Text, "Order Lines");
    EXPECT_TRUE(ps->TableParts[1].Quoted);
    EXPECT_EQ(ps->CursorName, "My Cursor");
    // The marker inside the string literal is no marker.
    EXPECT_EQ(ps->MarkerCount, 2);
    ASSERT_EQ(ps->Assignments.size(), 3u);
    EXPECT_EQ(ps->Assignments[0].Param, 0);  // an expression, not a lone marker
    EXPECT_EQ(ps->Assignments[1].Param, 0);
    EXPECT_EQ(ps->Assignments[2].Column, "Unit Price");
    EXPECT_EQ(ps->Assignments[2].Param, 2);
}

TEST(PositionedSqlTest, RecognisesDeleteAndRejectsOtherTexts) {
    auto del = ParsePositioned("DELETE FROM t WHERE CURRENT OF S17", kStandard);
    ASSERT_TRUE(del);
    EXPECT_EQ(del->Op, PositionedStatement::Kind::Delete);
    EXPECT_EQ(del->Table, "t");
    EXPECT_EQ(del->CursorName, "S17");

    EXPECT_FALSE(ParsePositioned("SELECT * FROM t WHERE CURRENT OF c", kStandard));
    EXPECT_FALSE(ParsePositioned("UPDATE t SET a = 1 WHERE id = 3", kStandard));
    EXPECT_FALSE(ParsePositioned("DELETE FROM t WHERE note = 'x WHERE CURRENT OF c'", kStandard));
    EXPECT_FALSE(ParsePositioned("UPDATE t SET a = (SELECT 1 WHERE CURRENT OF c)", kStandard));
    EXPECT_FALSE(ParsePositioned("DELETE t WHERE CURRENT OF c", kStandard));
}

TEST(PositionedSqlTest, BackslashEscapesOnlyWhereTheDataSourceHasThem) {
    // In MariaDB 'it\'s' is one string; in standard SQL the backslash is a
    // character and the string ends at the second quote.
    const char* text = "UPDATE t SET a = 'it\\'s ?' , b = ? WHERE CURRENT OF c";
    auto maria = ParsePositioned(text, kMaria);
    ASSERT_TRUE(maria);
    EXPECT_EQ(maria->MarkerCount, 1);
    EXPECT_EQ(maria->Assignments.size(), 2u);
    EXPECT_EQ(CountMarkers("SELECT '?', \"?\", `?`, ? -- ?\n /* ? */ FROM t", kMaria), 1);
    // Dollar quotes and E'...' escapes are PostgreSQL's (its connections read it so).
    EXPECT_EQ(CountMarkers("SELECT $$?$$, $q$ ? $q$, E'\\'?', ?", kPostgres), 1);
}

TEST(PositionedSqlTest, FindsTheSingleTableOfASelect) {
    auto t = SingleTableOf("SELECT * FROM t_1 WHERE b > 1\r\n ORDER BY b\r\n", kStandard);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->Text, "t_1");
    auto q = SingleTableOf("select a, (select max(x) from other) from public.\"My Table\" m order by 1", kStandard);
    ASSERT_TRUE(q);
    EXPECT_EQ(q->Text, "public.\"My Table\"");
    ASSERT_EQ(q->Parts.size(), 2u);
    EXPECT_EQ(q->Parts[1].Text, "My Table");
    EXPECT_TRUE(SingleTableOf("SELECT * FROM t FOR UPDATE", kStandard));

    EXPECT_FALSE(SingleTableOf("SELECT * FROM a, b", kStandard));
    EXPECT_FALSE(SingleTableOf("SELECT * FROM a JOIN b ON a.x = b.x", kStandard));
    EXPECT_FALSE(SingleTableOf("SELECT * FROM a x LEFT JOIN b y ON x.i = y.i", kStandard));
    EXPECT_FALSE(SingleTableOf("SELECT * FROM (SELECT 1) s", kStandard));
    EXPECT_FALSE(SingleTableOf("SELECT a FROM t UNION SELECT a FROM u", kStandard));
    EXPECT_FALSE(SingleTableOf("UPDATE t SET a = 1", kStandard));
}

TEST(PositionedSqlTest, DropsOnlyAClosingForUpdateClause) {
    EXPECT_EQ(WithoutForUpdate("SELECT * FROM t WHERE a = 'for update' FOR UPDATE OF a, b;", kStandard),
              "SELECT * FROM t WHERE a = 'for update'");
    EXPECT_EQ(WithoutForUpdate("select * from t for update nowait", kStandard), "select * from t");
    EXPECT_FALSE(WithoutForUpdate("SELECT * FROM t WHERE a = 'for update'", kStandard));
    EXPECT_FALSE(WithoutForUpdate("SELECT * FROM t FOR UPDATE OF a LIMIT 3", kStandard));
}

TEST(PositionedSqlTest, QuotesOnlyNamesTheDataSourceWouldNotReadBack) {
    EXPECT_EQ(QuoteIdentifier("price", "\"", SQL_IC_LOWER), "price");
    EXPECT_EQ(QuoteIdentifier("Price", "\"", SQL_IC_LOWER), "\"Price\"");  // PostgreSQL folds to price
    EXPECT_EQ(QuoteIdentifier("Price", "`", SQL_IC_MIXED), "Price");
    EXPECT_EQ(QuoteIdentifier("unit price", "`", SQL_IC_MIXED), "`unit price`");
    EXPECT_EQ(QuoteIdentifier("order", "\"", SQL_IC_SENSITIVE), "\"order\"");
    EXPECT_EQ(QuoteIdentifier("a\"b", "\"", SQL_IC_MIXED), "\"a\"\"b\"");
    EXPECT_EQ(QuoteIdentifier("2nd", "\"", SQL_IC_MIXED), "\"2nd\"");
    EXPECT_EQ(QuoteIdentifier("odd name", " ", SQL_IC_MIXED), "odd name");  // no quoting available
}

TEST(PositionedSqlTest, ParsesDottedNames) {
    auto parts = ParseName("cat.\"Sch\"\"ema\".tbl", kStandard);
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[0].Text, "cat");
    EXPECT_EQ(parts[1].Text, "Sch\"ema");
    EXPECT_TRUE(parts[1].Quoted);
    EXPECT_EQ(parts[2].Text, "tbl");
    EXPECT_TRUE(ParseName("a b", kStandard).empty());
}

}  // namespace
}  // namespace velora::odbc::cursorlib
