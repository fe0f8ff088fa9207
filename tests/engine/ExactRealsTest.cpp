// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Doubles read whole: the companions a SQLite SELECT gets (a table of texts,
// no database), and doubles of every magnitude read through SELECTs of many
// shapes on every driver, checked against the database's own client.
#include "EngineFixture.h"

#include "../../engine/src/EngineInternal.h"
#include "support/DatabaseClient.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>

namespace velora {
namespace {

using test::DriverKind;

/// How `x`, result column `column`, is asked for as its 21 digits.
std::string Companion(const std::string& x, int column) {
    return ", CASE WHEN typeof(" + x + ") = 'real' THEN printf('%!.20e', " + x + ") END AS velora_exact_" +
           std::to_string(column);
}

struct TextCase {
    const char* Text;
    std::vector<String> Labels;
    std::vector<std::uint16_t> Wanted;
    std::string Expected;  ///< the text with its companions; "" when none may be added
};

TEST(ExactRealsText, CompanionsFollowTheSelectListOrNoneAreAdded) {
    const std::vector<TextCase> cases = {
        {"SELECT id, r FROM t", {"id", "r"}, {1}, "SELECT id, r" + Companion("r", 2) + " FROM t"},
        {"select * from t where r > 1 order by id", {"id", "r"}, {1},
         "select *" + Companion("\"r\"", 2) + " from t where r > 1 order by id"},
        {"SELECT t.* FROM main.t AS x;", {"id", "r"}, {1}, "SELECT t.*" + Companion("\"r\"", 2) + " FROM main.t AS x;"},
        // An alias, with or without AS, is not part of the expression.
        {"SELECT r AS x, r y, t.r \"z z\", sum(r) total FROM t", {"x", "y", "z z", "total"}, {0, 1, 2, 3},
         "SELECT r AS x, r y, t.r \"z z\", sum(r) total" + Companion("r", 1) + Companion("r", 2) + Companion("t.r", 3) +
             Companion("sum(r)", 4) + " FROM t"},
        {"SELECT DISTINCT a.r, b.r FROM t a JOIN u b ON a.id = b.id", {"r", "r"}, {0, 1},
         "SELECT DISTINCT a.r, b.r" + Companion("a.r", 1) + Companion("b.r", 2) + " FROM t a JOIN u b ON a.id = b.id"},
        {"SELECT CASE WHEN r > 0 THEN r ELSE 0 END, (SELECT max(r) FROM u) FROM t", {"c", "m"}, {0, 1},
         "SELECT CASE WHEN r > 0 THEN r ELSE 0 END, (SELECT max(r) FROM u)" +
             Companion("CASE WHEN r > 0 THEN r ELSE 0 END", 1) + Companion("(SELECT max(r) FROM u)", 2) + " FROM t"},
        // A star over a join, or labels that repeat, cannot be matched.
        {"SELECT * FROM t, u", {"r", "s"}, {0}, ""},
        {"SELECT *, r FROM t", {"id", "r", "r"}, {1}, ""},
        // Compound statements, CTEs, no FROM, comments or parameters inside
        // an item, a second statement: left alone.
        {"SELECT r FROM t UNION SELECT r FROM u", {"r"}, {0}, ""},
        {"WITH c AS (SELECT r FROM t) SELECT r FROM c", {"r"}, {0}, ""},
        {"SELECT 0.1 + 0.2", {"x"}, {0}, ""},
        {"SELECT r -- the value\n + 1 FROM t", {"x"}, {0}, ""},
        {"SELECT r * ? FROM t WHERE id = ?", {"x"}, {0}, ""},
        {"SELECT id, r FROM t WHERE r > ?", {"id", "r"}, {1}, "SELECT id, r" + Companion("r", 2) + " FROM t WHERE r > ?"},
        {"SELECT r FROM t; SELECT 1", {"r"}, {0}, ""},
        {"UPDATE t SET r = 1", {}, {}, ""},
    };
    for (const TextCase& c : cases) {
        std::vector<std::uint16_t> taken;
        EXPECT_EQ(detail::WithExactReals(c.Text, c.Labels, c.Wanted, taken), c.Expected) << c.Text;
        EXPECT_EQ(taken.size(), c.Expected.empty() ? 0u : c.Wanted.size()) << c.Text;
    }
}

/// SQLite's own text of a REAL stays when it is the shortest text of the
/// double, or that text with ".0" after it; the companion's 21 digits are
/// only trusted to name a double they certainly name. Both never answer
/// otherwise than std::to_chars and std::from_chars would.
TEST(ExactRealsText, OwnTextAndCompanionAgreeWithTheStandardLibrary) {
    struct Case {
        const char* Text;
        const char* Shortest;  ///< the text kept, "" when none may be
    };
    for (const Case& c : std::vector<Case>{{"123.45", "123.45"},
                                           {"-12.5", "-12.5"},
                                           {"0.005", "0.005"},
                                           {"0.0005", ""},
                                           {"100.0", "100"},
                                           {"-99999.0", "-99999"},
                                           {"100000.0", "1e+05"},
                                           {"120000.0", "120000"},
                                           {"123456.0", "123456"},
                                           {"12.50", ""},
                                           {"1.5e+20", ""},
                                           {"-0.0", ""},
                                           {"007.5", ""},
                                           {"1.2.3", ""},
                                           {"12", ""}}) {
        const std::size_t n = detail::ShortestOwnLength(c.Text, std::strlen(c.Text));
        const std::string kept(c.Text, n);
        if (*c.Shortest == 0 || std::string(c.Shortest).find('e') != std::string::npos)
            EXPECT_EQ(n, 0u) << c.Text;  // to_chars writes an exponent there
        else
            EXPECT_EQ(kept, c.Shortest) << c.Text;
    }
    std::mt19937_64 rng(31);
    int decimals = 0, ownKept = 0, named = 0;
    for (int i = 0; i < 200000; ++i) {
        // Two-place decimals (most kept), integers, and doubles of every bit
        // pattern (most not).
        const int kind = i % 3;
        double v = 0;
        if (kind == 0) {
            v = static_cast<double>(static_cast<std::int64_t>(rng() % 2000000000000) - 1000000000000) / 100;
        } else if (kind == 1) {
            v = static_cast<double>(static_cast<std::int64_t>(rng() % 2000000) - 1000000) *
                std::pow(10.0, static_cast<double>(rng() % 8));
        } else {
            const std::uint64_t bits = rng();
            std::memcpy(&v, &bits, sizeof v);
            if (!std::isfinite(v)) continue;
        }
        char own[40];
        std::snprintf(own, sizeof own, "%#.15g", v);  // SQLite's form: the point always there
        std::string text(own);
        if (text.find('e') == std::string::npos) {  // and trailing zeros gone, one kept after the point
            while (text.size() > 2 && text.back() == '0' && text[text.size() - 2] != '.') text.pop_back();
        }
        char shortest[40];
        const std::string expected(shortest, std::to_chars(shortest, shortest + sizeof shortest, v).ptr);
        double read = 0;
        const std::size_t n = detail::ShortestOwnLength(text.c_str(), text.size());
        if (n > 0 && TryStrToFloat(text, read) && std::memcmp(&read, &v, sizeof v) == 0) {
            ASSERT_EQ(text.substr(0, n), expected) << "value " << v;
            ownKept += kind == 0;
        }
        decimals += kind == 0 && v != 0;
        // The companion as SQLite writes it, trailing zeros dropped, names v
        // and never a neighbour of it.
        char exact[40];
        std::snprintf(exact, sizeof exact, "%.20e", v);
        std::string companion(exact);
        const std::size_t e = companion.find('e');
        std::size_t cut = e;
        while (companion[cut - 1] == '0' && companion[cut - 2] != '.') --cut;
        companion.erase(cut, e - cut);
        double truth = 0;
        std::from_chars(companion.data(), companion.data() + companion.size(), truth);
        ASSERT_EQ(std::memcmp(&truth, &v, sizeof v), 0) << companion;
        for (double candidate : {std::nextafter(v, -INFINITY), v, std::nextafter(v, INFINITY)}) {
            if (!detail::CompanionNames(companion, candidate)) continue;
            ASSERT_EQ(std::memcmp(&candidate, &truth, sizeof v), 0) << companion << " named " << candidate;
        }
        named += kind == 0 && detail::CompanionNames(companion, v);
    }
    EXPECT_GE(ownKept, decimals * 99 / 100);
    EXPECT_EQ(named, decimals);
}

class ExactReals : public test::EngineTableTest {
protected:
    ExactReals() : EngineTableTest("xr") {}
};

/// Doubles of every magnitude (extremes, subnormals, the values SQLite's 15
/// and 17 digits misname) read through SELECTs of many shapes as the very
/// value the client shows with every digit it has.
TEST_P(ExactReals, DoublesReadAsTheClientStoresThem) {
    const bool sqlite = Drv().Kind == DriverKind::SQLite;
    const std::string t = Table(std::string("id int primary key, r ") + (sqlite ? "real" : "double precision") +
                                ", d decimal(20,6)");
    std::vector<std::string> values = {"1.7976931348623157e308", "-2.2250738585072014e-308", "0.30000000000000004",
                                       "-1.1545580616824966e+232", "0", "1", "NULL"};
    if (sqlite) values.push_back("4.9406564584124654e-324");  // the least subnormal
    std::mt19937_64 rng(26);
    while (values.size() < 60) {
        const std::uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        if (!std::isfinite(v) || (!sqlite && std::fpclassify(v) == FP_SUBNORMAL)) continue;
        char text[40];
        std::snprintf(text, sizeof text, "%.17g", v);
        values.push_back(text);
    }
    std::string insert;
    for (std::size_t i = 0; i < values.size(); ++i)
        insert += "INSERT INTO " + t + " VALUES (" + std::to_string(i + 1) + ", " + values[i] + ", " +
                  (i < 3 ? "12345678901234.123456" : "-1.5") + ");\n";
    const std::string shown = sqlite ? "printf('%!.20e', r)"
                              : Drv().Kind == DriverKind::PostgreSQL ? "r::text"
                                                                     : "CAST(r AS CHAR)";
    const std::string shownOrBlank = "CASE WHEN r IS NULL THEN '' ELSE " + shown + " END";
    const std::string setup = Drv().Kind == DriverKind::PostgreSQL ? "SET extra_float_digits = 3;\n" : "";
    const std::string out = test::ClientOutput(Drv(), setup + insert + "SELECT " + shownOrBlank + " FROM " + t + " ORDER BY id;\n");
    std::vector<double> stored;
    for (std::size_t at = 0; at < out.size();) {
        std::size_t end = out.find('\n', at);
        if (end == std::string::npos) end = out.size();
        const std::string line = out.substr(at, end - at);
        stored.push_back(line.empty() ? std::numeric_limits<double>::quiet_NaN() : std::strtod(line.c_str(), nullptr));
        at = end + 1;
    }
    ASSERT_EQ(stored.size(), values.size()) << out;

    const std::vector<std::string> shapes = {
        "SELECT * FROM {t} ORDER BY id",
        "SELECT id, r FROM {t} ORDER BY id",
        "SELECT id, r AS value, d FROM {t} ORDER BY 1",
        "SELECT x.id, x.r FROM {t} x WHERE x.id > 0 ORDER BY x.id",
        "SELECT a.id, b.r FROM {t} a JOIN {t} b ON a.id = b.id ORDER BY a.id",
        "SELECT DISTINCT id, r * 1 FROM {t} ORDER BY id",
    };
    for (const std::string& shape : shapes) {
        std::string sql = shape;
        for (std::size_t at; (at = sql.find("{t}")) != std::string::npos;) sql.replace(at, 3, t);
        for (const bool uni : {false, true}) {
            test::OpenedCursor c(*Conn, sql, 7, ODBCREADONLY, uni);
            const int column = 2;  // every shape reads r (or r * 1) second
            std::vector<std::byte> rec(static_cast<std::size_t>(c->RecordSize()));
            for (std::size_t i = 0; i < stored.size(); ++i) {
                ASSERT_EQ(c->GetNextRecord(rec.data(), false), ODBCRecOK) << sql;
                bool blank = true;
                double v = 0;
                c->GetField(column, rec.data(), 0, blank, &v);
                if (std::isnan(stored[i])) {
                    EXPECT_TRUE(blank) << sql << " row " << i + 1;
                } else {
                    EXPECT_FALSE(blank) << sql << " row " << i + 1;
                    EXPECT_EQ(v, stored[i]) << sql << " row " << i + 1 << " stored as " << values[i];
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, ExactReals, test::AllDrivers(), test::DriverParamName());

}  // namespace
}  // namespace velora
