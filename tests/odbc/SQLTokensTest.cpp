// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The SQL text module: the tokens, parameters and statements of texts as each
// dialect's server reads them (one table per dialect), and the one quoting
// rule. The splitter is fed each text whole and one character at a time, so a
// token that a piece cuts in two is read whole in both.
#include "velora/odbc/SQLTokens.h"

#include <gtest/gtest.h>
#include <sqlext.h>

#include <string>
#include <vector>

namespace velora::odbc {
namespace {

using Strings = std::vector<std::string>;

struct TextCase {
    std::string Sql;
    Strings Tokens;      ///< kind letter + text, "!" after an unterminated one
    Strings Statements;  ///< what the splitter gives, the rest included
};

std::string Render(std::string_view sql, const TSQLToken& t) {
    static constexpr char kLetters[] = {'W', 'Q', 'S', 'N', 'V', 'M', 'C', '#', 'P'};
    std::string s(1, kLetters[static_cast<int>(t.Kind)]);
    s += TokenText(sql, t);
    if (t.Open) s += '!';
    return s;
}

Strings Split(TSQLDialect dialect, const std::string& sql, bool byCharacter) {
    TSQLSplitter splitter(dialect);
    Strings out;
    std::string statement;
    for (std::size_t i = 0; i < sql.size(); i += byCharacter ? 1 : sql.size()) {
        splitter.Add(std::string_view(sql).substr(i, byCharacter ? 1 : sql.size()));
        while (splitter.Next(statement)) out.push_back(statement);
    }
    if (std::string rest = splitter.TakeRest(); !rest.empty()) out.push_back(rest);
    return out;
}

void Check(TSQLDialect dialect, const TextCase& c) {
    Strings tokens;
    for (const TSQLToken& t : SQLTokens(c.Sql, {dialect}, true)) tokens.push_back(Render(c.Sql, t));
    EXPECT_EQ(tokens, c.Tokens) << c.Sql;
    EXPECT_EQ(Split(dialect, c.Sql, false), c.Statements) << c.Sql;
    EXPECT_EQ(Split(dialect, c.Sql, true), c.Statements) << c.Sql << " (one character at a time)";
}

// Reads that hold in every dialect: parameters beside casts, ODBC escapes.
const TextCase kCommon[] = {
    {":v::int, x:::p", {"V:v", "C::", "Wint", "P,", "Wx", "C::", "V:p"}, {":v::int, x:::p"}},
    {"{call p(:a, ?)}", {"P{", "Wcall", "Wp", "P(", "V:a", "P,", "M?", "P)", "P}"}, {"{call p(:a, ?)}"}},
    {"{:r = call f(:x)};", {"P{", "V:r", "P=", "Wcall", "Wf", "P(", "V:x", "P)", "P}", "P;"}, {"{:r = call f(:x)}"}},
    {"where a = :\"Unit Price\"", {"Wwhere", "Wa", "P=", "V:\"Unit Price\""}, {"where a = :\"Unit Price\""}},
    // A number after the colon is a parameter's name too; ":=" and ": " are no parameters.
    {"a = :1 or b := 2 or c: d", {"Wa", "P=", "V:1", "Wor", "Wb", "P:", "P=", "N2", "Wor", "Wc", "P:", "Wd"},
     {"a = :1 or b := 2 or c: d"}},
};

class SQLTextSQLite : public testing::TestWithParam<TextCase> {};
class SQLTextPostgreSQL : public testing::TestWithParam<TextCase> {};
class SQLTextMariaDB : public testing::TestWithParam<TextCase> {};

TEST_P(SQLTextSQLite, ReadsTokensAndStatements) { Check(TSQLDialect::Standard, GetParam()); }
TEST_P(SQLTextPostgreSQL, ReadsTokensAndStatements) { Check(TSQLDialect::PostgreSQL, GetParam()); }
TEST_P(SQLTextMariaDB, ReadsTokensAndStatements) { Check(TSQLDialect::MySQL, GetParam()); }

INSTANTIATE_TEST_SUITE_P(Common, SQLTextSQLite, testing::ValuesIn(kCommon));
INSTANTIATE_TEST_SUITE_P(Common, SQLTextPostgreSQL, testing::ValuesIn(kCommon));
INSTANTIATE_TEST_SUITE_P(Common, SQLTextMariaDB, testing::ValuesIn(kCommon));

INSTANTIATE_TEST_SUITE_P(
    Dialect, SQLTextSQLite,
    testing::Values(
        TextCase{"select 'it''s; x', \"a \"\"b\"\"\", `c;d` -- e; f\n/* g; */ ;",
                 {"Wselect", "S'it''s; x'", "P,", "Q\"a \"\"b\"\"\"", "P,", "Q`c;d`", "#-- e; f", "#/* g; */", "P;"},
                 {"select 'it''s; x', \"a \"\"b\"\"\", `c;d`"}},
        // No backslash escapes, no E'...' strings, no dollar quotes, no nesting.
        TextCase{"select 'a\\'; select E'b\\'c'; select $a$;$a$",
                 {"Wselect", "S'a\\'", "P;", "Wselect", "SE'b\\'", "Wc", "S'; select $a$;$a$!"},
                 {"select 'a\\'", "select E'b\\'c'; select $a$;$a$"}},
        TextCase{"/* a /* b; */ select 1; */ x", {"#/* a /* b; */", "Wselect", "N1", "P;", "P*", "P/", "Wx"},
                 {"select 1", "*/ x"}},
        TextCase{"# c\nselect 2", {"P#", "Wc", "Wselect", "N2"}, {"# c\nselect 2"}}));

INSTANTIATE_TEST_SUITE_P(
    Dialect, SQLTextPostgreSQL,
    testing::Values(
        TextCase{"select E'it\\'s; x', $f$ a; 'b $f$, $1, e'\\\\'; select 2",
                 {"Wselect", "SE'it\\'s; x'", "P,", "S$f$ a; 'b $f$", "P,", "P$", "N1", "P,", "Se'\\\\'", "P;",
                  "Wselect", "N2"},
                 {"select E'it\\'s; x', $f$ a; 'b $f$, $1, e'\\\\'", "select 2"}},
        TextCase{"/* a /* b; */ c; */ select 1; select 2 -- x;",
                 {"#/* a /* b; */ c; */", "Wselect", "N1", "P;", "Wselect", "N2", "#-- x;"},
                 {"select 1", "select 2"}},
        // Standard strings: a backslash escapes nothing.
        TextCase{"select 'a\\'; select x::text[]",
                 {"Wselect", "S'a\\'", "P;", "Wselect", "Wx", "C::", "Wtext", "P[", "P]"},
                 {"select 'a\\'", "select x::text[]"}},
        TextCase{"select `a` from \"S\".\"T\"", {"Wselect", "P`", "Wa", "P`", "Wfrom", "Q\"S\"", "P.", "Q\"T\""},
                 {"select `a` from \"S\".\"T\""}},
        TextCase{"select $$a;", {"Wselect", "S$$a;!"}, {"select $$a;"}},
        // A tag cut by a piece ("$a" then "b$") is read whole.
        TextCase{"select $ab$ x; $ab$;", {"Wselect", "S$ab$ x; $ab$", "P;"}, {"select $ab$ x; $ab$"}}));

INSTANTIATE_TEST_SUITE_P(
    Dialect, SQLTextMariaDB,
    testing::Values(
        TextCase{"select 'it\\'s; x', \"a\\\"; b\" # c; d\nfrom t",
                 {"Wselect", "S'it\\'s; x'", "P,", "S\"a\\\"; b\"", "## c; d", "Wfrom", "Wt"},
                 {"select 'it\\'s; x', \"a\\\"; b\" # c; d\nfrom t"}},
        // "--" is a comment only before a blank.
        TextCase{"select 1 -- c; d\n; select 2--1;",
                 {"Wselect", "N1", "#-- c; d", "P;", "Wselect", "N2", "P-", "P-", "N1", "P;"},
                 {"select 1", "select 2--1"}},
        TextCase{"select `a``b` from `s`.`t`", {"Wselect", "Q`a``b`", "Wfrom", "Q`s`", "P.", "Q`t`"},
                 {"select `a``b` from `s`.`t`"}},
        // Executable comments are SQL; MariaDB's := is no parameter.
        TextCase{"/*!40101 SET NAMES utf8 */; set @a := 1",
                 {"P/", "P*", "P!", "N40101", "WSET", "WNAMES", "Wutf8", "P*", "P/", "P;", "Wset", "P@", "Wa", "P:",
                  "P=", "N1"},
                 {"/*!40101 SET NAMES utf8 */", "set @a := 1"}},
        TextCase{"select /* a /* b */ 'c\\", {"Wselect", "#/* a /* b */", "S'c\\!"}, {"select /* a /* b */ 'c\\"}}));

struct QuotingCase {
    std::string Name;
    SQLUSMALLINT Case;
    bool Needs;
};

class NeedsQuotingTest : public testing::TestWithParam<QuotingCase> {};

TEST_P(NeedsQuotingTest, QuotesWhatWouldNotReadBackAsItself) {
    EXPECT_EQ(NeedsQuoting(GetParam().Name, GetParam().Case), GetParam().Needs) << GetParam().Name;
}

// Words from each of the lists the library had before (rank, date, of) are
// all reserved now; names beyond ASCII letters, digits and '_' are quoted.
INSTANTIATE_TEST_SUITE_P(Names, NeedsQuotingTest,
                         testing::Values(QuotingCase{"price", SQL_IC_LOWER, false},
                                         QuotingCase{"Price", SQL_IC_LOWER, true},
                                         QuotingCase{"PRICE", SQL_IC_UPPER, false},
                                         QuotingCase{"Price", SQL_IC_MIXED, false},
                                         QuotingCase{"_x1", SQL_IC_MIXED, false},
                                         QuotingCase{"order", SQL_IC_MIXED, true},
                                         QuotingCase{"Rank", SQL_IC_MIXED, true},
                                         QuotingCase{"date", SQL_IC_LOWER, true},
                                         QuotingCase{"of", SQL_IC_MIXED, true},
                                         QuotingCase{"current_timestamp", SQL_IC_MIXED, true},
                                         QuotingCase{"a$b", SQL_IC_MIXED, true},
                                         QuotingCase{"pr\xc3\xa9nom", SQL_IC_MIXED, true},
                                         QuotingCase{"2nd", SQL_IC_MIXED, true},
                                         QuotingCase{"", SQL_IC_MIXED, true}));

TEST(SQLTextNames, QuoteAndUnquoteRoundTrip) {
    for (const char quote : {'"', '`'}) {
        for (const std::string name : {"a b", "a\"b", "a`b", "x"}) {
            const std::string quoted = QuoteName(name, quote);
            EXPECT_EQ(UnquotedName(quoted), name) << quoted;
            const std::vector<TSQLToken> tokens = SQLTokens(quoted, {TSQLDialect::Standard});
            ASSERT_EQ(tokens.size(), 1u) << quoted;
            EXPECT_EQ(tokens[0].Kind, TSQLTokenKind::QuotedName) << quoted;
        }
    }
    EXPECT_EQ(UnquotedName(":\"Unit Price\""), "Unit Price");
    EXPECT_EQ(UnquotedName(":v"), "v");
}

TEST(SQLTextSplitter, TakingTheRestKeepsTheDialect) {
    // The shell drops a statement begun (Ctrl-C) this way and reads on.
    TSQLSplitter splitter(TSQLDialect::MySQL);
    splitter.Add("select 'abandoned");
    EXPECT_EQ(splitter.TakeRest(), "select 'abandoned");
    EXPECT_FALSE(splitter.Pending());
    splitter.Add("select 'a\\'; b';");
    std::string statement;
    ASSERT_TRUE(splitter.Next(statement));
    EXPECT_EQ(statement, "select 'a\\'; b'");
}

}  // namespace
}  // namespace velora::odbc
