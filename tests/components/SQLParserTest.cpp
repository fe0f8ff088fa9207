// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The :name marker scanner: the texts a query sends, the parameters and
// column names it finds, the table name, quoting, "::", and words of any
// length. A literal transcription of the in-place scan (rewriting the text
// and a zero-filled word buffer as it goes) serves as an oracle for a seeded
// run over random texts.
#include "velora/components/ODBCSQLParser.h"

#include "velora/components/ODBCParams.h"
#include "velora/odbc/SQLTokens.h"

#include <gtest/gtest.h>

#include <ostream>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace velora {
namespace {

struct Found {
    String Text;
    String Table;
    std::vector<std::pair<String, String>> Params;  // name, column name
};

/// Runs the query's CreateParams on text and collects what it made.
Found Parse(String text) {
    TODBCParams list;
    Found f;
    f.Table = ODBCCreateParams(&list, text);
    f.Text = text;
    for (int i = 0; i < list.Count(); ++i) {
        TODBCParam* p = list.Entry(i);
        EXPECT_EQ(p->DataType(), ftUnknown);
        EXPECT_EQ(p->ParamType(), ptUnknown);
        f.Params.emplace_back(p->Name(), p->ColumnName());
    }
    return f;
}

using Pairs = std::vector<std::pair<String, String>>;

TEST(SQLParser, OrdersExample) {
    const Found f = Parse("SELECT * FROM Orders WHERE CustNo = :CustNo AND OrderDate > :Since\r\n");
    EXPECT_EQ(f.Text, "SELECT * FROM Orders WHERE CustNo = ? AND OrderDate > ?\r\n");
    EXPECT_EQ(f.Params, (Pairs{{"CustNo", "CustNo"}, {"Since", "OrderDate"}}));
    EXPECT_EQ(f.Table, "Orders");
}

TEST(SQLParser, ColonsInQuotesAndDoubleColons) {
    Found f = Parse("SELECT '12:30' FROM T\r\n");
    EXPECT_EQ(f.Text, "SELECT '12:30' FROM T\r\n");
    EXPECT_TRUE(f.Params.empty());
    EXPECT_EQ(f.Table, "T");

    f = Parse("SELECT a::int FROM T\r\n");
    EXPECT_EQ(f.Text, "SELECT a:int FROM T\r\n");
    EXPECT_TRUE(f.Params.empty());

    // Inside quotes "::" stays as it is; markers inside quotes are text.
    f = Parse("SELECT 'a::b', \":x\" FROM T WHERE c = :c\n");
    EXPECT_EQ(f.Text, "SELECT 'a::b', \":x\" FROM T WHERE c = ?\n");
    EXPECT_EQ(f.Params, (Pairs{{"c", "c"}}));

    // Three colons: one colon, then a marker.
    f = Parse("x:::p\n");
    EXPECT_EQ(f.Text, "x:?\n");
    EXPECT_EQ(f.Params, (Pairs{{"p", "x"}}));
}

TEST(SQLParser, TableNamesAfterIntoAndFrom) {
    Found f = Parse("INSERT INTO Customer (Name) VALUES (:Name)\r\n");
    EXPECT_EQ(f.Text, "INSERT INTO Customer (Name) VALUES (?)\r\n");
    EXPECT_EQ(f.Table, "Customer");
    EXPECT_EQ(f.Params, (Pairs{{"Name", "VALUES"}}));

    f = Parse("SELECT *\r\nFROM\r\nCustomer\r\n");
    EXPECT_EQ(f.Table, "Customer");

    f = Parse("select * from orders, items\n");
    EXPECT_EQ(f.Table, "orders");

    // The end of the text does not end a word.
    f = Parse("SELECT * FROM Orders");
    EXPECT_EQ(f.Table, "");
    EXPECT_EQ(f.Text, "SELECT * FROM Orders");

    // UPDATE names no INTO or FROM.
    f = Parse("UPDATE Orders SET Qty = :Qty WHERE Id = :Id\n");
    EXPECT_EQ(f.Table, "");
    EXPECT_EQ(f.Params, (Pairs{{"Qty", "Qty"}, {"Id", "Id"}}));
}

TEST(SQLParser, QuotedParameterNames) {
    Found f = Parse("SELECT * FROM T WHERE d = :\"Order Date\"\n");
    EXPECT_EQ(f.Text, "SELECT * FROM T WHERE d = ?\n");
    EXPECT_EQ(f.Params, (Pairs{{"Order Date", "d"}}));

    f = Parse("SELECT * FROM T WHERE d = :'Order Date'\n");
    EXPECT_EQ(f.Params, (Pairs{{"Order Date", "d"}}));

    // Only a quote right after the colon makes a quoted name; a literal
    // after a name is no part of it.
    f = Parse("WHERE a = :x'y z' \n");
    EXPECT_EQ(f.Params, (Pairs{{"x", "a"}}));
    EXPECT_EQ(f.Text, "WHERE a = ?'y z' \n");

    // An unterminated quoted name runs to the end of the text.
    f = Parse("WHERE a = :'open name\n");
    EXPECT_EQ(f.Params, (Pairs{{"open name\n", "a"}}));
    EXPECT_EQ(f.Text, "WHERE a = ?");

    // A lone quote is stripped to nothing, without reading outside the name.
    f = Parse(":' \n");
    EXPECT_EQ(f.Params, (Pairs{{" \n", ""}}));
}

TEST(SQLParser, NamesEndWhereTheirCharactersEnd) {
    Found f = Parse("WHERE a=:a)\n");
    EXPECT_EQ(f.Params, (Pairs{{"a", "a"}}));
    EXPECT_EQ(f.Text, "WHERE a=?)\n");

    // The rest of an expression stays in the text (it was once swallowed
    // into the name, and the driver ran "a=?").
    f = Parse("WHERE a=:a+1 \n");
    EXPECT_EQ(f.Params, (Pairs{{"a", "a"}}));
    EXPECT_EQ(f.Text, "WHERE a=?+1 \n");

    f = Parse("WHERE a=:a\tAND b=1\n");
    EXPECT_EQ(f.Params, (Pairs{{"a", "a"}}));
    EXPECT_EQ(f.Text, "WHERE a=?\tAND b=1\n");

    // Names across lines: a line break ends the name.
    f = Parse("SELECT * FROM T WHERE a = :First\r\nAND b = :Second\r\n");
    EXPECT_EQ(f.Text, "SELECT * FROM T WHERE a = ?\r\nAND b = ?\r\n");
    EXPECT_EQ(f.Params, (Pairs{{"First", "a"}, {"Second", "b"}}));

    // A colon without a name is text.
    f = Parse("SELECT :");
    EXPECT_EQ(f.Text, "SELECT :");
    EXPECT_TRUE(f.Params.empty());
}

TEST(SQLParser, TheCharacterEndingANameIsNotExamined) {
    // The ";" ending :a is copied; the word before :b is still "x", since the
    // delimiter that would have ended a word was not examined.
    Found f = Parse("x:a;y = :b\n");
    EXPECT_EQ(f.Text, "x?;y = ?\n");
    EXPECT_EQ(f.Params, (Pairs{{"a", "x"}, {"b", "xy"}}));
}

TEST(SQLParser, RepeatedMarkersBindTheFirstValue) {
    String text = "SELECT * FROM T WHERE a = :X OR b = :X\n";
    TODBCParams list;
    ODBCCreateParams(&list, text);
    ASSERT_EQ(list.Count(), 2);
    list.ParamByName("X")->SetAsInteger(7);
    EXPECT_EQ(list.GetParam(0), list.GetParam(1));
    EXPECT_EQ(list.GetParam(1)->GetAsInteger(), 7);
    EXPECT_EQ(list.Entry(1)->ColumnName(), "b");
}

TEST(SQLParser, LongWordsKeepTheirWholeName) {
    const String column(300, 'c');
    const String table(200, 't');
    const Found f = Parse("SELECT * FROM " + table + " WHERE " + column + " = :p\n");
    EXPECT_EQ(f.Table, table);
    EXPECT_EQ(f.Params, (Pairs{{"p", column}}));

    const String name(1000, 'n');
    const Found g = Parse("WHERE x = :" + name + "\n");
    EXPECT_EQ(g.Params, (Pairs{{name, "x"}}));
    EXPECT_EQ(g.Text, "WHERE x = ?\n");
}

TEST(SQLParser, TextEndsAtAZeroByte) {
    const Found f = Parse(String("SELECT :a\0 FROM T WHERE :b\n", 27));
    EXPECT_EQ(f.Text, "SELECT ?");
    EXPECT_EQ(f.Params, (Pairs{{"a", "SELECT"}}));
}

TEST(SQLParser, WithoutAListOnlyTheTextAndTableChange) {
    String text = "DELETE FROM Items WHERE Id = :Id\n";
    EXPECT_EQ(ODBCCreateParams(nullptr, text), "Items");
    EXPECT_EQ(text, "DELETE FROM Items WHERE Id = ?\n");
}

// ---- each data source's reading ------------------------------------------------

struct DialectCase {
    TSQLDialect Dialect;
    const char* Sql;
    std::vector<String> Names;  ///< the parameters found, in order
    const char* Text;           ///< the text for the driver
};

void PrintTo(const DialectCase& c, std::ostream* os) { *os << testing::PrintToString(std::string(c.Sql)); }

using D = TSQLDialect;

// A colon inside a literal, quoted name or comment of the data source's own
// reading is text; so are ":=" and a colon before a blank. The comments say
// what the character-by-character scan once read in each case.
const DialectCase kDialectCases[] = {
    {D::Standard, "select * from t where a = :a and b = :1", {"a", "1"}, "select * from t where a = ? and b = ?"},
    {D::Standard, "select ':x', \":y\", `:z` from t where c = :Größe", {"Größe"},
     "select ':x', \":y\", `:z` from t where c = ?"},  // was z, Größe
    {D::Standard, "select :c -- :d\n/* :e */", {"c"}, "select ? -- :d\n/* :e */"},  // was c, d, e
    {D::Standard, "select 'a\"b' || :x || 'c\"d'", {"x"}, "select 'a\"b' || ? || 'c\"d'"},  // was none
    {D::Standard, "select :a::int, x:::p", {"a", "p"}, "select ?:int, x:?"},
    {D::PostgreSQL,
     "create function f() returns int language plpgsql as $$ declare v int; begin v := 1; return v; end $$",
     {},
     "create function f() returns int language plpgsql as $$ declare v int; begin v := 1; return v; end $$"},  // was "="
    {D::PostgreSQL, "select $f$ :a $f$, $$:b$$, :c", {"c"}, "select $f$ :a $f$, $$:b$$, ?"},  // was a, b, c
    {D::PostgreSQL, "select E'it\\'s :x', :y", {"y"}, "select E'it\\'s :x', ?"},              // was x
    {D::PostgreSQL, "/* a /* :x */ :y */ select :z", {"z"}, "/* a /* :x */ :y */ select ?"},  // was x, y, z
    {D::PostgreSQL, "do $$ begin perform 1; end $$; select :v::text", {"v"},
     "do $$ begin perform 1; end $$; select ?:text"},
    {D::MySQL, "select 'it\\'s :x', :y", {"y"}, "select 'it\\'s :x', ?"},  // was x
    {D::MySQL, "select \"a\\\" :x\", :y", {"y"}, "select \"a\\\" :x\", ?"},  // was x
    {D::MySQL, "set @v := :a", {"a"}, "set @v := ?"},                             // was "=", a
    {D::MySQL, "select 1 # :x\n, :y", {"y"}, "select 1 # :x\n, ?"},              // was x, y
    {D::MySQL,
     "create procedure p(out r int) begin declare i int default 0; lbl: loop set i := i + 1; "
     "if i > 3 then leave lbl; end if; end loop lbl; set r = i; end",
     {},
     "create procedure p(out r int) begin declare i int default 0; lbl: loop set i := i + 1; "
     "if i > 3 then leave lbl; end if; end loop lbl; set r = i; end"},  // was "", "="
    {D::MySQL, "select `:a`, :b", {"b"}, "select `:a`, ?"},  // was a, b
};

class SQLParserDialect : public testing::TestWithParam<DialectCase> {};

TEST_P(SQLParserDialect, FindsTheParametersOfTheDataSourcesReading) {
    const DialectCase& c = GetParam();
    const TODBCSQLScan scan = ODBCScanSQL(c.Sql, c.Dialect);
    std::vector<String> names;
    for (const TODBCSQLMarker& m : scan.Markers) names.push_back(m.Name);
    EXPECT_EQ(names, c.Names);
    EXPECT_EQ(scan.Text, c.Text);
}

INSTANTIATE_TEST_SUITE_P(Texts, SQLParserDialect, testing::ValuesIn(kDialectCases));

// ---- the oracle -------------------------------------------------------------

bool Delim(char c) { return c == 10 || c == 13 || c == 32 || c == 41 || c == 44 || c == 59; }
bool WordChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == 45 || c == 64 || c == 95;
}
bool Quote(char c) { return c == 39 || c == 34; }

/// Where the character-by-character scan found markers and "::" (offsets
/// into the text it was given).
struct ScanSpans {
    std::vector<std::pair<std::size_t, std::size_t>> Markers;  ///< [colon, end of name)
    std::vector<std::size_t> Casts;                            ///< the first colon of each "::"
};

/// The scan as the algorithm once stated it (colons read outside quotes,
/// "'" and '"' toggling one flag, names running to the next delimiter): the
/// text rewritten in place and a zero-filled word buffer (grown instead of
/// overrun).
TODBCSQLScan InPlaceScan(const String& sql, ScanSpans* spans = nullptr) {
    std::vector<char> t(sql.begin(), sql.end());
    t.push_back('\0');
    std::vector<std::size_t> orig(t.size());  // each character's offset in sql
    for (std::size_t k = 0; k < orig.size(); ++k) orig[k] = k;
    std::vector<char> word(128, '\0');
    std::size_t wordLen = 0;
    bool inWord = false, wordEnded = false, afterIntoFrom = false, inQuote = false, quotedName = false;
    auto wordText = [&] { return String(word.data(), strnlen(word.data(), word.size())); };
    TODBCSQLScan r;
    std::size_t p = 0;
    for (;;) {
        const char c = t[p];
        if (wordEnded && inWord) {
            std::fill(word.begin() + static_cast<std::ptrdiff_t>(std::min(wordLen + 1, word.size())), word.end(), '\0');
            wordEnded = false;
        }
        if (Delim(c) && inWord) {
            if (afterIntoFrom && r.TableName.empty()) r.TableName = wordText();
            const String upper = UpperCase(wordText());
            if (upper == "INTO" || upper == "FROM") afterIntoFrom = true;
        }
        if (Delim(c)) wordEnded = true, inWord = false;
        if (WordChar(c)) {
            if (inWord) {
                if (wordLen + 1 >= word.size()) word.resize(word.size() * 2, '\0');
                word[wordLen++] = c;
            } else {
                inWord = true;
                word[0] = c;
                word[1] = '\0';
                wordLen = 1;
            }
        }
        char visited = c;
        if (c == ':' && !inQuote && t[p + 1] != ':') {
            const std::size_t start = p;
            while (t[p] != '\0' && (inQuote || !Delim(t[p]))) {
                ++p;
                if (Quote(t[p])) {
                    inQuote = !inQuote;
                    if (p == start + 1) quotedName = true;
                }
            }
            String name(t.begin() + static_cast<std::ptrdiff_t>(start + 1), t.begin() + static_cast<std::ptrdiff_t>(p));
            if (quotedName) {
                for (char q : {'\'', '"'}) {
                    if (!name.empty() && name.front() == q) name.erase(0, 1);
                    if (!name.empty() && name.back() == q) name.pop_back();
                }
                quotedName = false;
            }
            r.Markers.push_back(TODBCSQLMarker{name, wordText()});
            if (spans) spans->Markers.emplace_back(orig[start], orig[p]);
            visited = t[p];
            t[start] = '?';
            t.erase(t.begin() + static_cast<std::ptrdiff_t>(start + 1), t.begin() + static_cast<std::ptrdiff_t>(p));
            orig.erase(orig.begin() + static_cast<std::ptrdiff_t>(start + 1),
                       orig.begin() + static_cast<std::ptrdiff_t>(p));
            p = start + 1;
        } else if (c == ':' && !inQuote) {
            if (spans) spans->Casts.push_back(orig[p]);
            t.erase(t.begin() + static_cast<std::ptrdiff_t>(p));
            orig.erase(orig.begin() + static_cast<std::ptrdiff_t>(p));
        } else if (Quote(c)) {
            inQuote = !inQuote;
        }
        if (visited == '\0') break;
        ++p;
    }
    r.Text = String(t.data());
    return r;
}

String RandomSql(std::mt19937& rng) {
    static const char* const pieces[] = {":",      "::", "'",    "\"", " ",    "\r\n", "\n",    ")",
                                         "(",      ",",  ";",    "\t", "=",    "a",    "Cust",  "x_1",
                                         "@v",     "-",  ".",    "+",  "FROM", "into", "From ", "INTO ",
                                         "VALUES", "?",  "\xE9", ":'", ":\"",  "'x'",  ":a ", ":Cust\r\n",
                                         ":x_1)",  ":'Order Date' ", ":\"d\",", "\0"};
    std::uniform_int_distribution<int> len(0, 24);
    std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
    String s;
    for (int i = len(rng); i > 0; --i) {
        const std::size_t k = pick(rng);
        if (k == std::size(pieces) - 1)
            s += '\0';
        else
            s += pieces[k];
    }
    return s;
}

/// True when the character-by-character scan read the text soundly: it
/// found markers and "::" exactly where the tokenizer finds parameters and
/// casts (no marker in a comment or a quoted name, no name running on past
/// its characters, no nameless marker).
bool SoundlyRead(const String& sql, const ScanSpans& spans) {
    const std::string_view text = std::string_view(sql).substr(0, sql.find('\0'));
    ScanSpans tokens;
    for (const odbc::TSQLToken& t : odbc::SQLTokens(text, {TSQLDialect::Standard})) {
        // A quoted name left open is no sound name (the old scan stripped
        // whatever quote it ended with).
        if (t.Kind == odbc::TSQLTokenKind::Param && t.Open) return false;
        if (t.Kind == odbc::TSQLTokenKind::Param) tokens.Markers.emplace_back(t.Begin, t.End);
        if (t.Kind == odbc::TSQLTokenKind::Cast) tokens.Casts.push_back(t.Begin);
    }
    if (tokens.Markers != spans.Markers || tokens.Casts != spans.Casts) return false;
    // A quote doubled inside a quoted name stands for one (the old scan
    // kept both).
    for (const auto& [begin, end] : spans.Markers) {
        const std::string_view name = text.substr(begin + 1, end - begin - 1);
        if (name.size() < 2 || (name[0] != '"' && name[0] != '\'')) continue;
        const std::string_view inside = name.substr(1, name.size() - 2);
        if (inside.find(std::string(2, name[0])) != std::string_view::npos) return false;
        // The old scan stripped the other quote too at either end.
        const char other = name[0] == '"' ? '\'' : '"';
        if (!inside.empty() && (inside.front() == other || inside.back() == other)) return false;
    }
    return true;
}

// Wherever the old scan read a text soundly, the parameters it made (names
// and column names, kept in form files), the table name and the text for
// the driver stay the same.
TEST(SQLParserRobustness, MatchesTheInPlaceScanOnRandomTexts) {
    std::mt19937 rng(20260101);
    int withMarkers = 0;
    int sound = 0;
    for (int i = 0; i < 100000; ++i) {
        const String sql = RandomSql(rng);
        ScanSpans spans;
        const TODBCSQLScan want = InPlaceScan(sql, &spans);
        if (!SoundlyRead(sql, spans)) continue;
        ++sound;
        const TODBCSQLScan got = ODBCScanSQL(sql);
        ASSERT_EQ(got.Text, want.Text) << "case " << i << ": " << testing::PrintToString(sql);
        ASSERT_EQ(got.TableName, want.TableName) << "case " << i << ": " << testing::PrintToString(sql);
        ASSERT_EQ(got.Markers.size(), want.Markers.size()) << "case " << i << ": " << testing::PrintToString(sql);
        for (std::size_t m = 0; m < got.Markers.size(); ++m) {
            ASSERT_EQ(got.Markers[m].Name, want.Markers[m].Name) << "case " << i << ": " << testing::PrintToString(sql);
            ASSERT_EQ(got.Markers[m].ColumnName, want.Markers[m].ColumnName) << "case " << i;
        }
        ASSERT_LE(got.Text.size(), sql.size());
        withMarkers += got.Markers.empty() ? 0 : 1;
    }
    // The generator reaches the interesting paths.
    EXPECT_GT(sound, 30000);
    EXPECT_GT(withMarkers, 10000);
}

TEST(SQLParserRobustness, EveryPrefixOfTheExamplesScans) {
    const String examples[] = {
        "SELECT * FROM Orders WHERE CustNo = :CustNo AND OrderDate > :Since\r\n",
        "INSERT INTO Customer (Name) VALUES (:Name)\r\n",
        "SELECT * FROM T WHERE d = :\"Order Date\" AND e = :'x' AND f = 'a:b' AND g = a::int\n",
    };
    std::size_t sound = 0, all = 0;
    for (const String& sql : examples) {
        all += sql.size() + 1;
        for (std::size_t n = 0; n <= sql.size(); ++n) {
            const String prefix = sql.substr(0, n);
            ScanSpans spans;
            const String want = InPlaceScan(prefix, &spans).Text;
            // Prefixes ending in a bare ":" or inside a quoted name were
            // read as a nameless or open marker.
            if (!SoundlyRead(prefix, spans)) continue;
            ++sound;
            EXPECT_EQ(ODBCScanSQL(prefix).Text, want) << testing::PrintToString(prefix);
        }
    }
    EXPECT_GT(sound * 10, all * 8);
}

}  // namespace
}  // namespace velora
