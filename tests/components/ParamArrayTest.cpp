// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Parameter arrays of TODBCQuery against the three drivers: sets of every
// value kind (64-bit extremes, maximum-length UTF-8, exact decimals,
// microsecond time stamps, NULLs) arrive whole, by arrays and one by one; a
// set the server refuses is named and the others are written (or rolled back
// with the application's transaction); a value that cannot be sent stops the
// run before any set is written; row counts in all and per set. The oracle is
// a raw connection.
#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCQuery.h"
#include "velora/engine/ODBC.h"
#include "velora/engine/SQLText.h"
#include "velora/odbc/ODBCFaults.h"
#include "components/ComponentTestUtil.h"
#include "support/DatabaseClient.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using namespace velora;

namespace {

class ParamArrays : public test::DatabaseFixture {
protected:
    void SetUp() override {
        DatabaseFixture::SetUp();
        if (IsSkipped()) return;
        FDb->Open();
        if (*Drv().Traits.FastWrites) ODBCExecDirect(FDb->Handle(), Drv().Traits.FastWrites);
    }
    std::string CreateTable(const std::string& columns) { return DatabaseFixture::CreateTable(columns, "pa"); }
    // Column types keeping every value whole on the driver: SQLite keeps a
    // decimal's text only in a text column; time stamps to the microsecond.
    std::string DecimalType() const {
        return Drv().Kind == test::DriverKind::SQLite ? "varchar(60)" : "decimal(38,10)";
    }
    std::string MicroTimeStampType() const {
        return Drv().Kind == test::DriverKind::MariaDB ? "datetime(6)" : "timestamp(6)";
    }
    std::string Count(const std::string& table) { return FRaw->Scalar("SELECT count(*) FROM " + table).value_or(""); }
};

// The values of set i, as the database's own client shows them.
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

std::int64_t BigOf(std::int64_t i) { return i == 0 ? kMin : i == 1 ? kMax : i * 7919 - 3; }

/// 40 characters of 1 to 4 octets each for every third set, else short text.
std::string TextOf(std::int64_t i) {
    if (i % 3 != 0) return "set " + std::to_string(i);
    static const char* const chars[] = {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9D\x84\x9E"};  // a é € 𝄞
    std::string s;
    for (int k = 0; k < 40; ++k) s += chars[(k + i) % 4];
    return s;
}

std::string DecimalOf(std::int64_t i) {
    if (i == 0) return "9999999999999999999999999999.9999999999";
    if (i == 1) return "-9999999999999999999999999999.9999999999";
    std::string frac = std::to_string(i * 37 % 10000000000LL + 1);
    return (i % 2 ? "-" : "") + std::to_string(i) + "." + std::string(10 - frac.size(), '0') + frac;
}

/// Microseconds that end in a non-zero digit (the clients show no trailing zeros).
std::string TimeStampOf(std::int64_t i) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%06d", 1 + static_cast<int>(i % 9999),
                  1 + static_cast<int>(i % 12), 1 + static_cast<int>(i % 28), static_cast<int>(i % 24),
                  static_cast<int>(i % 60), static_cast<int>(i / 60 % 60), static_cast<int>(i % 100000) * 10 + 1);
    return buf;
}

test::Row ExpectedRow(std::int64_t i) {
    test::Row r{std::to_string(i), std::to_string(BigOf(i)), TextOf(i), DecimalOf(i), TimeStampOf(i)};
    r.push_back(i % 2 ? std::optional<std::string>() : std::to_string(i));
    return r;
}

struct SizeCase {
    std::int64_t Sets;
    bool OneByOne;
};

TEST_P(ParamArrays, EveryValueKindArrivesWholeAtEverySize) {
    const std::string t =
        CreateTable("id bigint primary key, big bigint, s varchar(40), d " + DecimalType() + ", ts " +
                    MicroTimeStampType() + ", n integer");
    const SizeCase cases[] = {{1, false}, {2, false}, {1000, false}, {100001, false}, {2, true}, {1000, true}};
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.Sets) + (c.OneByOne ? " one by one" : " as arrays"));
        FRaw->Exec("DELETE FROM " + t);
        TODBCQuery* q = NewQuery("INSERT INTO " + t + " (id, big, s, d, ts, n) VALUES (:id, :big, :s, :d, :ts, :n)");
        q->ParamByName("id")->SetDataType(ftLargeint);
        q->ParamByName("big")->SetDataType(ftLargeint);
        q->ParamByName("s")->SetDataType(ftString);
        q->ParamByName("d")->SetDataType(ftBCD);
        q->ParamByName("ts")->SetDataType(ftDateTime);
        q->ParamByName("n")->SetDataType(ftInteger);
        q->SetArraySize(c.Sets);
        q->SetArrayOneByOne(c.OneByOne);
        TODBCParamArray* id = q->ArrayValues(0);
        TODBCParamArray* big = q->ArrayValues(1);
        TODBCParamArray* s = q->ArrayValues(2);
        TODBCParamArray* d = q->ArrayValues(3);
        TODBCParamArray* ts = q->ArrayValues(4);
        TODBCParamArray* n = q->ArrayValues(5);
        for (std::int64_t i = 0; i < c.Sets; ++i) {
            id->SetAsLargeInt(i, i);
            big->SetAsLargeInt(i, BigOf(i));
            s->SetAsString(i, TextOf(i));
            d->SetAsString(i, DecimalOf(i));
            ts->SetAsString(i, TimeStampOf(i));
            if (i % 2) n->SetNull(i);
            else n->SetAsInteger(i, static_cast<std::int32_t>(i));
        }
        q->ExecSQL();
        EXPECT_EQ(q->ArrayResult().UsedArrays, !c.OneByOne && c.Sets > 1);
        EXPECT_EQ(q->RowsAffected(), c.Sets);
        EXPECT_EQ(Count(t), std::to_string(c.Sets));
        const std::string cols = "SELECT id, big, s, d, ts, n FROM " + t;
        if (c.Sets <= 1000) {
            const auto rows = FRaw->Query(cols + " ORDER BY id");
            ASSERT_EQ(rows.size(), static_cast<std::size_t>(c.Sets));
            for (std::int64_t i = 0; i < c.Sets; ++i) ASSERT_EQ(rows[static_cast<std::size_t>(i)], ExpectedRow(i));
        } else {
            for (std::int64_t i : {std::int64_t{0}, std::int64_t{1}, c.Sets / 2, c.Sets - 1}) {
                const auto rows = FRaw->Query(cols + " WHERE id = " + std::to_string(i));
                ASSERT_EQ(rows.size(), 1u);
                EXPECT_EQ(rows[0], ExpectedRow(i));
            }
            EXPECT_EQ(FRaw->Scalar("SELECT count(n) FROM " + t), std::to_string((c.Sets + 1) / 2));
        }
        delete q;
    }
}

struct FailCase {
    bool OneByOne;
    bool InTransaction;
    bool Commit = false;  ///< the transaction is committed, not rolled back
    bool PreparedFirst = false;  ///< prepared before the transaction: the array call begins it
};

TEST_P(ParamArrays, ARefusedSetIsNamedAndTheOthersAreWrittenOrRolledBack) {
    const std::string t = CreateTable("id integer primary key, v varchar(10)");
    for (const FailCase c :
         {FailCase{false, false}, FailCase{true, false}, FailCase{false, true}, FailCase{false, true, true},
          FailCase{false, true, true, true}}) {
        SCOPED_TRACE(std::string(c.OneByOne ? "one by one" : "arrays") + (c.InTransaction ? ", transaction" : "") +
                     (c.Commit ? ", committed" : "") + (c.PreparedFirst ? ", prepared first" : ""));
        FRaw->Exec("DELETE FROM " + t);
        FRaw->Exec("INSERT INTO " + t + " VALUES (500, 'before')");
        FRaw->Exec("INSERT INTO " + t + " VALUES (1700, 'before')");
        std::unique_ptr<TODBCQuery> q(NewQuery("INSERT INTO " + t + " (id, v) VALUES (:id, :v)"));
        q->SetArraySize(2000);
        q->SetArrayOneByOne(c.OneByOne);
        for (std::int64_t i = 0; i < 2000; ++i) {
            q->ArrayValues(0)->SetAsInteger(i, static_cast<std::int32_t>(i));
            q->ArrayValues(1)->SetAsString(i, "new");
        }
        if (c.PreparedFirst) q->Prepare();
        if (c.InTransaction) FDb->StartTransaction();
        try {
            q->ExecSQL();
            ADD_FAILURE() << "no error for the duplicate keys";
        } catch (const EODBCParamSetError& e) {
            EXPECT_EQ(e.FailedSets, (std::vector<std::int64_t>{500, 1700}));
            EXPECT_NE(String(e.Message()).find("Parameter set 500 failed (2 of 2000 sets failed)"), String::npos)
                << e.Message();
            EXPECT_EQ(e.SQLState, Drv().Traits.UniqueViolationState);
        }
        EXPECT_EQ(q->ArrayResult().Failed.size(), 2u);
        // A driver that keeps the sets before a failing one in an array call
        // does not tell how many rows they affected.
        if (c.OneByOne || q->RowsAffected() != -1) {
            EXPECT_EQ(q->RowsAffected(), 1998);
        }
        if (c.Commit) {
            // Every set but the refused ones is written, in the transaction
            // too (psqlODBC's rollback of a refused set once took the sets
            // before it in the same call along, which it had marked done).
            FDb->Commit();
            EXPECT_EQ(Count(t), "2000");
            EXPECT_EQ(FRaw->Scalar("SELECT count(*) FROM " + t + " WHERE v = 'before'"), "2");
        } else if (c.InTransaction) {
            FDb->Rollback();
            EXPECT_EQ(Count(t), "2");
        } else {
            EXPECT_EQ(Count(t), "2000");
            EXPECT_EQ(FRaw->Scalar("SELECT count(*) FROM " + t + " WHERE v = 'before'"), "2");
        }
    }
}

// A driver may answer an array call SQL_SUCCESS_WITH_INFO and still mark
// sets the server refused SQL_PARAM_ERROR in the status array. None of the
// three does, so the status array is rewritten at the ODBC boundary after
// the real call: the refused sets are named by their index, never taken as
// written. The INSERT reads its row from a SELECT, so that psqlODBC too runs
// it as an array call (a one-row VALUES runs as INSERTs of many rows there).
TEST_P(ParamArrays, SetsRefusedInACallThatSucceededWithInformationAreNamed) {
    const std::string t = CreateTable("id integer primary key, v varchar(10)");
    const std::vector<std::vector<int>> cases = {{3, 7}, {0}, {9}};
    for (const std::vector<int>& failed : cases) {
        SCOPED_TRACE("sets " + std::to_string(failed.front()) + " of " + std::to_string(failed.size()));
        FRaw->Exec("DELETE FROM " + t);
        std::unique_ptr<TODBCQuery> q(NewQuery("INSERT INTO " + t + " (id, v) SELECT :id, :v"));
        q->SetArraySize(10);
        for (std::int64_t i = 0; i < 10; ++i) {
            q->ArrayValues(0)->SetAsInteger(i, static_cast<std::int32_t>(i));
            q->ArrayValues(1)->SetAsString(i, "v");
        }
        q->Prepare();
        odbc::faults::Scope scope;
        odbc::faults::Fault info;
        info.Call = "SQLExecute";
        info.Rc = SQL_SUCCESS_WITH_INFO;
        info.CallDriver = true;
        info.Diags = {{"01000", 0, "set refused by the server"}};
        odbc::faults::Inject(info);
        odbc::faults::FailParamSets(nullptr, failed);
        try {
            q->ExecSQL();
            ADD_FAILURE() << "no error for the refused sets";
        } catch (const EODBCParamSetError& e) {
            EXPECT_EQ(e.FailedSets, std::vector<std::int64_t>(failed.begin(), failed.end()));
            const std::string head = "Parameter set " + std::to_string(failed.front()) + " failed (" +
                                     std::to_string(failed.size()) + " of 10 sets failed)";
            EXPECT_NE(std::string(e.Message()).find(head), std::string::npos) << e.Message();
        }
        EXPECT_EQ(odbc::faults::CallCount("SQLExecute"), 1);
    }
}

TEST_P(ParamArrays, AValueThatCannotBeSentStopsTheRunBeforeAnySetIsWritten) {
    const std::string t = CreateTable("id integer primary key, d " + DecimalType() + ", w date");
    struct Bad {
        int Param;
        const char* Text;  // nullptr: a floating-point value
        const char* Words;
    };
    const Bad cases[] = {
        {0, "12x", "'12x' is not a valid integer value"},
        {1, "1.2.3", "'1.2.3' is not a valid decimal value"},
        {1, nullptr, "a floating-point value for a decimal parameter"},
        {2, "2026-02-30", "'2026-02-30' is not a valid date"},
        {2, "2026-01-01 10:00:00", "is not a valid date"},
    };
    for (const Bad& b : cases) {
        SCOPED_TRACE(b.Words);
        std::unique_ptr<TODBCQuery> q(NewQuery("INSERT INTO " + t + " (id, d, w) VALUES (:id, :d, :w)"));
        q->ParamByName("id")->SetDataType(ftInteger);
        q->ParamByName("d")->SetDataType(ftBCD);
        q->ParamByName("w")->SetDataType(ftDate);
        q->SetArraySize(2500);
        q->SetArrayChunk(1000);
        for (std::int64_t i = 0; i < 2500; ++i) {
            q->ArrayValues(0)->SetAsLargeInt(i, i);
            q->ArrayValues(1)->SetAsString(i, "1.5");
            q->ArrayValues(2)->SetAsString(i, "2026-12-09");
        }
        if (b.Text) q->ArrayValues(b.Param)->SetAsString(2100, b.Text);
        else q->ArrayValues(b.Param)->SetAsFloat(2100, 0.1);
        try {
            q->ExecSQL();
            ADD_FAILURE() << "no error";
        } catch (const EDatabaseError& e) {
            EXPECT_NE(String(e.Message()).find("set 2100: "), String::npos) << e.Message();
            EXPECT_NE(String(e.Message()).find(b.Words), String::npos) << e.Message();
        }
        EXPECT_EQ(Count(t), "0");
    }
    // A set left without a value is refused the same way.
    std::unique_ptr<TODBCQuery> q(NewQuery("INSERT INTO " + t + " (id) VALUES (:id)"));
    q->SetArraySize(3);
    q->ArrayValues(0)->SetAsInteger(0, 1);
    q->ArrayValues(0)->SetAsInteger(2, 3);
    EXPECT_THROW(q->ExecSQL(), EDatabaseError);
    EXPECT_EQ(Count(t), "0");
}

TEST_P(ParamArrays, RowsAffectedInAllAndPerSet) {
    const std::string t = CreateTable("id integer primary key, grp integer, v integer");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1, 10, 0), (2, 10, 0), (3, 30, 0)");
    for (const bool oneByOne : {false, true}) {
        SCOPED_TRACE(oneByOne ? "one by one" : "arrays");
        std::unique_ptr<TODBCQuery> q(NewQuery("UPDATE " + t + " SET v = v + 1 WHERE grp = :g"));
        q->SetArraySize(3);
        q->SetArrayOneByOne(oneByOne);
        const int groups[] = {10, 20, 30};
        for (int i = 0; i < 3; ++i) q->ArrayValues(0)->SetAsInteger(i, groups[i]);
        q->ExecSQL();
        EXPECT_EQ(q->RowsAffected(), 3);
        const std::vector<std::int64_t> perSet{2, 0, 1};
        for (std::size_t i = 0; i < 3; ++i)
            if (oneByOne || q->ArrayResult().SetRows[i] >= 0) {
                EXPECT_EQ(q->ArrayResult().SetRows[i], perSet[i]) << i;
            }
        // The statement runs single sets again afterwards.
        q->SetArraySize(0);
        q->ParamByName("g")->SetAsInteger(30);
        q->ExecSQL();
        EXPECT_EQ(q->RowsAffected(), 1);
    }
    EXPECT_EQ(FRaw->Scalar("SELECT sum(v) FROM " + t), "8");
}

// Long values (memo, BLOB) in parameter arrays: every byte of a long
// multi-byte text and of a binary value with every byte value (NUL too),
// beside NULLs, empty values and short ones, by arrays and one by one.
TEST_P(ParamArrays, LongValuesArriveWholeByArraysAndOneByOne) {
    const std::string t = CreateTable(std::string("id integer primary key, m ") + test::MemoType(Drv()) + ", b " +
                                      Drv().Traits.BlobType);
    std::string memo, blob;
    for (int k = 0; k < 100000; ++k) memo += k % 2 ? "\xE2\x82\xAC" : "a\xC3\xA9";  // 150000 characters
    for (int k = 0; k < 300000; ++k) blob += static_cast<char>((k * 31 + k / 256) & 0xFF);
    const std::vector<std::optional<std::string>> memos = {std::nullopt, memo, "", "short", memo + "!"};
    const std::vector<std::optional<std::string>> blobs = {std::nullopt, blob, "", std::string("\0x", 2), blob};
    for (const bool oneByOne : {false, true}) {
        SCOPED_TRACE(oneByOne ? "one by one" : "as arrays");
        FRaw->Exec("DELETE FROM " + t);
        TODBCQuery* q = NewQuery("INSERT INTO " + t + " (id, m, b) VALUES (:id, :m, :b)");
        q->ParamByName("id")->SetDataType(ftInteger);
        q->ParamByName("m")->SetDataType(ftMemo);
        q->ParamByName("b")->SetDataType(ftBlob);
        q->SetArraySize(static_cast<std::int64_t>(memos.size()));
        q->SetArrayChunk(3);  // two driver calls, the long values in both
        q->SetArrayOneByOne(oneByOne);
        for (std::size_t i = 0; i < memos.size(); ++i) {
            const auto set = static_cast<std::int64_t>(i);
            q->ArrayValues(0)->SetAsInteger(set, static_cast<std::int32_t>(i));
            if (memos[i]) q->ArrayValues(1)->SetAsString(set, *memos[i]);
            else q->ArrayValues(1)->SetNull(set);
            if (blobs[i]) q->ArrayValues(2)->SetAsString(set, *blobs[i]);
            else q->ArrayValues(2)->SetNull(set);
        }
        q->ExecSQL();
        EXPECT_EQ(q->ArrayResult().UsedArrays, !oneByOne && !Drv().Traits.BinaryArraysOneByOne);
        EXPECT_EQ(q->RowsAffected(), static_cast<std::int32_t>(memos.size()));
        const auto texts = FRaw->Query("SELECT m FROM " + t + " ORDER BY id");
        const auto bytes = FRaw->Query("SELECT b FROM " + t + " ORDER BY id", SQL_C_BINARY);
        ASSERT_EQ(texts.size(), memos.size());
        ASSERT_EQ(bytes.size(), blobs.size());
        for (std::size_t i = 0; i < memos.size(); ++i) {
            SCOPED_TRACE("set " + std::to_string(i));
            EXPECT_TRUE(texts[i][0] == memos[i]) << (texts[i][0] ? texts[i][0]->size() : 0);
            EXPECT_TRUE(bytes[i][0] == blobs[i]) << (bytes[i][0] ? bytes[i][0]->size() : 0);
        }
        delete q;
    }
}

// psqlODBC sends the sets of an array call in batches (one message of many
// statements) rather than one round trip a set: the server gives every
// statement of one message the same statement_timestamp().
TEST_P(ParamArrays, SetsReachPostgreSQLInBatches) {
    if (Drv().Kind != test::DriverKind::PostgreSQL) GTEST_SKIP() << "psqlODBC's batches";
    const std::string t = CreateTable("id integer primary key, at timestamptz default statement_timestamp()");
    for (const bool inTransaction : {false, true}) {
        SCOPED_TRACE(inTransaction ? "transaction" : "autocommit");
        FRaw->Exec("DELETE FROM " + t);
        std::unique_ptr<TODBCQuery> q(NewQuery("INSERT INTO " + t + " (id) VALUES (:id)"));
        q->SetArraySize(1000);
        for (std::int64_t i = 0; i < 1000; ++i) q->ArrayValues(0)->SetAsInteger(i, static_cast<std::int32_t>(i));
        if (inTransaction) FDb->StartTransaction();
        q->ExecSQL();
        if (inTransaction) FDb->Commit();
        EXPECT_EQ(q->RowsAffected(), 1000);
        EXPECT_EQ(Count(t), "1000");
        // 100 sets a batch (the driver's BatchSize); one a set would give about 1,000.
        const int messages = std::stoi(FRaw->Scalar("SELECT count(DISTINCT at) FROM " + t).value_or("0"));
        EXPECT_LE(messages, 20);
    }
}

// On psqlODBC a plain one-row INSERT runs its sets as prepared INSERTs of
// many rows; every other statement keeps the batches. One message a
// statement: 1,000 sets of two parameters are one INSERT of 1,000 rows, ten
// batches otherwise. Run twice on the same query (the statements prepared
// by the first run serve the second); the stored values checked with psql.
TEST_P(ParamArrays, PlainInsertsReachPostgreSQLAsMultiRowStatements) {
    if (Drv().Kind != test::DriverKind::PostgreSQL) GTEST_SKIP() << "psqlODBC's multi-row statements";
    const std::string t =
        CreateTable("id integer primary key, v varchar(20), at timestamptz default statement_timestamp()");
    struct Case {
        std::string Sql;     ///< "TBL" is the table
        bool MultiRow;       ///< one statement for the 1,000 sets
        std::int64_t Rows;   ///< rows the call inserts (999: a row of id 500 is there before)
        std::string Wanted;  ///< each row's v, as an SQL expression of its id
    };
    const std::string v = "CASE WHEN id % 7 = 0 THEN NULL ELSE 'v' || id END";
    const Case cases[] = {
        {"INSERT INTO TBL (id, v) VALUES (:id, :v)", true, 1000, v},
        {"insert into TBL(id,v) values(:id,:v) ;", true, 1000, v},
        {"/* first */ INSERT INTO TBL VALUES (:id, 'lit', DEFAULT) -- last", true, 1000, "'lit'"},
        {"INSERT INTO TBL (id, v) VALUES (:id, :v) ON CONFLICT (id) DO NOTHING", false, 999,
         "CASE WHEN id = 500 THEN 'before' ELSE " + v + " END"},
        {"INSERT INTO TBL (id, v) SELECT :id, :v", false, 1000, v},
        {"INSERT INTO TBL (id, v) VALUES (:id, :v), (-1 - :id, 'second')", false, 2000,
         "CASE WHEN id < 0 THEN 'second' ELSE " + v + " END"},
        {"INSERT INTO TBL (id, v) VALUES (:id, upper(:v))", false, 1000, "upper(" + v + ")"},
    };
    for (const Case& c : cases) {
        std::string sql = c.Sql;
        sql.replace(sql.find("TBL"), 3, t);
        SCOPED_TRACE(sql);
        std::unique_ptr<TODBCQuery> q(NewQuery(sql));
        q->SetArraySize(1000);
        TODBCParamArray* v1 = q->Params()->Count() > 1 ? q->ArrayValues(1) : nullptr;
        for (std::int64_t i = 0; i < 1000; ++i) {
            q->ArrayValues(0)->SetAsInteger(i, static_cast<std::int32_t>(i));
            if (!v1) continue;
            if (i % 7 == 0)
                v1->SetNull(i);
            else
                v1->SetAsString(i, "v" + std::to_string(i));
        }
        for (int round = 0; round < 2; ++round) {
            FRaw->Exec("DELETE FROM " + t);
            if (c.Rows == 999) FRaw->Exec("INSERT INTO " + t + " (id, v) VALUES (500, 'before')");
            ASSERT_NO_THROW(q->ExecSQL());
            EXPECT_EQ(q->RowsAffected(), c.Rows);
            const std::string messages = test::ClientOutput(Drv(), "SELECT count(DISTINCT at) FROM " + t + ";");
            if (c.MultiRow) {
                EXPECT_EQ(messages, "1");
            } else {
                EXPECT_GE(std::stoi(messages), 5);
            }
            const std::string total = c.Rows == 999 ? "1000" : std::to_string(c.Rows);
            EXPECT_EQ(test::ClientOutput(Drv(), "SELECT count(*), count(*) FILTER (WHERE v IS DISTINCT FROM " +
                                                    c.Wanted + ") FROM " + t + ";"),
                      total + "|0");
        }
    }
    // A statement refused inside a transaction (a key twice): its sets run
    // again alone, the refused one named; the kept statements serve the next
    // call of the same transaction.
    FRaw->Exec("DELETE FROM " + t);
    FRaw->Exec("INSERT INTO " + t + " (id, v) VALUES (500, 'before')");
    std::unique_ptr<TODBCQuery> q(NewQuery("INSERT INTO " + t + " (id, v) VALUES (:id, :v)"));
    q->SetArraySize(1000);
    FDb->StartTransaction();
    for (std::int64_t first : {0, 1000}) {
        for (std::int64_t i = 0; i < 1000; ++i) {
            q->ArrayValues(0)->SetAsInteger(i, static_cast<std::int32_t>(first + i));
            q->ArrayValues(1)->SetAsString(i, "v" + std::to_string(first + i));
        }
        if (first == 0) {
            try {
                q->ExecSQL();
                ADD_FAILURE() << "no error for the duplicate key";
            } catch (const EODBCParamSetError& e) {
                EXPECT_EQ(e.FailedSets, std::vector<std::int64_t>{500});
            }
            EXPECT_EQ(q->RowsAffected(), 999);
        } else {
            ASSERT_NO_THROW(q->ExecSQL());
            EXPECT_EQ(q->RowsAffected(), 1000);
        }
    }
    FDb->Commit();
    EXPECT_EQ(test::ClientOutput(Drv(),
                                 "SELECT count(*), count(*) FILTER (WHERE v = 'v' || id), "
                                 "count(DISTINCT at) FILTER (WHERE id >= 1000) FROM " +
                                     t + ";"),
              "2000|1999|1");
    // Calls of changing sizes on one query: more statement sizes than are
    // kept, the least used freed and prepared again when wanted.
    FRaw->Exec("DELETE FROM " + t);
    std::int64_t next = 0;
    for (const std::int64_t sets : {1000, 1500, 7, 3, 11, 1000, 7}) {
        q->SetArraySize(sets);
        for (std::int64_t i = 0; i < sets; ++i) {
            q->ArrayValues(0)->SetAsInteger(i, static_cast<std::int32_t>(next + i));
            q->ArrayValues(1)->SetAsString(i, "v" + std::to_string(next + i));
        }
        ASSERT_NO_THROW(q->ExecSQL());
        EXPECT_EQ(q->RowsAffected(), sets);
        next += sets;
    }
    EXPECT_EQ(test::ClientOutput(Drv(), "SELECT count(*), count(*) FILTER (WHERE v = 'v' || id), min(id), max(id) "
                                        "FROM " + t + ";"),
              std::to_string(next) + "|" + std::to_string(next) + "|0|" + std::to_string(next - 1));
}

// Which statements may run as one INSERT of many rows: a plain one-row
// INSERT whose row holds markers and literals only, nothing after it.
TEST(RepeatableInsert, OnlyPlainOneRowInsertsOfMarkersAndLiteralsRepeat) {
    struct Case {
        const char* Text;
        const char* TwoRows;  ///< nullptr: not repeatable
    };
    const Case cases[] = {
        {"INSERT INTO t (a, b) VALUES (?, ?)", "INSERT INTO t (a, b) VALUES (?, ?), (?, ?)"},
        {"insert into s.\"T t\" values (?, 'x''y', -1.5, NULL, DEFAULT, ?::numeric(12,2), "
         "?::timestamp with time zone, E'\\'');",
         "insert into s.\"T t\" values (?, 'x''y', -1.5, NULL, DEFAULT, ?::numeric(12,2), "
         "?::timestamp with time zone, E'\\''), (?, 'x''y', -1.5, NULL, DEFAULT, ?::numeric(12,2), "
         "?::timestamp with time zone, E'\\'');"},
        {"/* c */ INSERT INTO t VALUES (? -- x\n) -- end",
         "/* c */ INSERT INTO t VALUES (? -- x\n), (? -- x\n) -- end"},
        {"INSERT INTO t (a) VALUES (?) RETURNING a", nullptr},
        {"INSERT INTO t (a) VALUES (?) ON CONFLICT DO NOTHING", nullptr},
        {"INSERT INTO t (a) SELECT ?", nullptr},
        {"INSERT INTO t VALUES (?), (?)", nullptr},
        {"INSERT INTO t VALUES (?, now())", nullptr},
        {"INSERT INTO t VALUES ((SELECT max(a) FROM t), ?)", nullptr},
        {"INSERT INTO t VALUES (? || ?)", nullptr},
        {"INSERT INTO t DEFAULT VALUES", nullptr},
        {"INSERT INTO t VALUES (1)", nullptr},
        {"INSERT INTO t AS x VALUES (?)", nullptr},
        {"INSERT INTO t VALUES (?); DELETE FROM t", nullptr},
        {"INSERT INTO t VALUES (?, 'open", nullptr},
        {"WITH x AS (SELECT 1) INSERT INTO t VALUES (?)", nullptr},
        {"UPDATE t SET a = ?", nullptr},
    };
    for (const Case& c : cases) {
        TRepeatableInsert insert;
        const bool repeatable = RepeatableInsertOf(c.Text, TSQLDialect::PostgreSQL, insert);
        EXPECT_EQ(repeatable, c.TwoRows != nullptr) << c.Text;
        if (repeatable && c.TwoRows) {
            EXPECT_EQ(RepeatedInsertText(c.Text, insert, 2), c.TwoRows);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, ParamArrays, test::AllDrivers(), test::DriverParamName());

}  // namespace
