// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCBatchCopy: each mode into each driver as destination, from a source
// on SQLite (so every case also crosses drivers, and SQLite to SQLite),
// against a model of the expected table read back by a raw connection; a
// source of no rows; a key that two destination rows hold; the component in
// a form file.
#include "velora/components/ODBCObj.h"
#include "velora/engine/ODBC.h"
#include "velora/classes/FormFiles.h"
#include "support/DatabaseClient.h"
#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace velora;

namespace {

class BatchCopy : public test::DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        if (IsSkipped()) return;
        FRaw = std::make_unique<test::RawConnection>(Drv());
        FSrcRaw = std::make_unique<test::RawConnection>(test::Driver(test::DriverKind::SQLite));
        FOwner.reset(new TComponent(nullptr));
        FDst = Connect(Drv());
        FSrc = Connect(test::Driver(test::DriverKind::SQLite));
        FSource = test::UniqueName("bs");
        FSrcRaw->DropTableIfExists(FSource);
        FSrcRaw->Exec("CREATE TABLE " + FSource + " (id integer primary key, name varchar(20), qty integer)");
        FSrcRaw->Exec("INSERT INTO " + FSource + " VALUES (2, 'TWO', 22), (3, 'THREE', 33), (4, 'four', NULL), "
                      "(5, 'five', 50)");
    }
    void TearDown() override {
        FOwner.reset();
        for (const std::string& t : FTables) FRaw->DropTableIfExists(t);
        if (FSrcRaw) FSrcRaw->DropTableIfExists(FSource);
    }
    TODBCDatabase* Connect(const test::TestDriver& d) {
        auto* db = new TODBCDatabase(FOwner.get());
        db->SetDataSourceName(d.Dsn);
        db->SetLoginPrompt(false);
        if (!d.User.empty()) db->Params()->SetValues("USER NAME", d.User);
        db->Params()->SetValues("PASSWORD", d.Password);
        return db;
    }
    std::string Destination(const std::string& key = "id integer primary key") {
        std::string name = test::UniqueName("bd");
        FRaw->DropTableIfExists(name);
        FRaw->Exec("CREATE TABLE " + name + " (" + key + ", name varchar(20), qty integer)");
        FRaw->Exec("INSERT INTO " + name + " VALUES (1, 'one', 10), (2, 'two', 20), (3, 'three', NULL)");
        FTables.push_back(name);
        return name;
    }
    TODBCBatchCopy* NewBatch(const std::string& table, const std::string& sql) {
        auto* q = new TODBCQuery(FOwner.get());
        q->SetDataBase(FSrc);
        q->SQL()->SetText(sql);
        auto* b = new TODBCBatchCopy(FOwner.get());
        b->SetSource(q);
        b->SetDestination(FDst);
        b->SetTableName(table);
        return b;
    }
    std::vector<test::Row> Rows(const std::string& t) {
        return FRaw->Query("SELECT id, name, qty FROM " + t + " ORDER BY id");
    }

    std::unique_ptr<test::RawConnection> FRaw, FSrcRaw;
    std::unique_ptr<TComponent> FOwner;
    TODBCDatabase* FDst = nullptr;
    TODBCDatabase* FSrc = nullptr;
    std::string FSource;
    std::vector<std::string> FTables;
};

test::Row R(const char* id, const char* name, const char* qty) {
    return {std::string(id), std::string(name), qty ? std::optional<std::string>(qty) : std::nullopt};
}

struct ModeCase {
    TBatchMode Mode;
    int CommitEvery;
    std::int64_t Written, Skipped, InError;
    std::vector<test::Row> Model;
    std::vector<std::int64_t> Problems;  ///< source records refused
};

/// Each keyed mode and append over the source rows (2, 3, 4, 5) into a
/// destination holding 1, 2 and 3: the table each leaves.
const std::vector<ModeCase>& ModeCases() {
    static const std::vector<ModeCase> cases = {
        {batAppend, 0, 2, 0, 2,
         {R("1", "one", "10"), R("2", "two", "20"), R("3", "three", nullptr), R("4", "four", nullptr),
          R("5", "five", "50")},
         {1, 2}},
        {batUpdate, 1, 2, 2, 0, {R("1", "one", "10"), R("2", "TWO", "22"), R("3", "THREE", "33")}, {}},
        {batAppendUpdate, 3, 4, 0, 0,
         {R("1", "one", "10"), R("2", "TWO", "22"), R("3", "THREE", "33"), R("4", "four", nullptr),
          R("5", "five", "50")},
         {}},
        {batDelete, 0, 2, 2, 0, {R("1", "one", "10")}, {}},
    };
    return cases;
}

TEST_P(BatchCopy, EachModeLeavesTheModelTable) {
    for (const ModeCase& c : ModeCases()) {
        SCOPED_TRACE(std::to_string(c.Mode) + " commit every " + std::to_string(c.CommitEvery));
        const std::string t = Destination();
        TODBCBatchCopy* b = NewBatch(t, "SELECT id, name, qty FROM " + FSource + " ORDER BY id");
        b->SetMode(c.Mode);
        b->SetCommitEvery(c.CommitEvery);
        std::vector<std::int64_t> problems;
        std::int64_t lastProgress = 0;
        b->OnProblem = [&](TObject*, std::int64_t recNo, const String&) { problems.push_back(recNo); };
        b->OnProgress = [&](TObject*, std::int64_t read) { lastProgress = read; };
        if (c.Mode == batAppend) {
            try {
                b->Execute();
            } catch (const std::exception& e) {
                ADD_FAILURE() << e.what();
            }
        } else {
            b->Execute();
        }
        EXPECT_EQ(b->RowsRead(), 4);
        EXPECT_EQ(lastProgress, 4);
        EXPECT_EQ(b->RowsWritten(), c.Written);
        EXPECT_EQ(b->RowsSkipped(), c.Skipped);
        EXPECT_EQ(b->RowsInError(), c.InError);
        EXPECT_EQ(problems, c.Problems);
        EXPECT_EQ(Rows(t), c.Model);
        EXPECT_FALSE(FDst->InTransaction());
    }
}

// A source holding a key more than once (4 and 6 twice, 1 matching the
// destination): append-update inserts the key's first record and updates
// that row with each later one, in the source's order, so no key gets two
// rows and each ends with its last record, whatever the array size and
// commits, with a primary key or KeyFields alone. The client reads the table.
TEST_P(BatchCopy, AppendUpdateWritesARepeatedKeyOnceAndKeepsItsLastRecord) {
    struct Case {
        int Chunk, CommitEvery;
        bool PrimaryKey;
    };
    const std::string src = test::UniqueName("bs");
    FSrcRaw->DropTableIfExists(src);
    FSrcRaw->Exec("CREATE TABLE " + src + " (id integer, name varchar(20), qty integer)");
    FSrcRaw->Exec("INSERT INTO " + src + " VALUES (4, 'a', 1), (1, 'b', 2), (4, 'c', 3), (6, 'e', 0), (6, 'f', 5)");
    for (const Case c : {Case{1000, 0, true}, Case{2, 0, true}, Case{1, 0, false}, Case{2, 2, false},
                         Case{1000, 0, false}}) {
        SCOPED_TRACE("chunk " + std::to_string(c.Chunk) + ", commit every " + std::to_string(c.CommitEvery) +
                     (c.PrimaryKey ? ", primary key" : ", KeyFields"));
        const std::string t = Destination(c.PrimaryKey ? "id integer primary key" : "id integer");
        TODBCBatchCopy* b = NewBatch(t, "SELECT id, name, qty FROM " + src + " ORDER BY rowid");
        b->SetMode(batAppendUpdate);
        if (!c.PrimaryKey) b->SetKeyFields("id");
        b->SetArrayChunk(c.Chunk);
        b->SetCommitEvery(c.CommitEvery);
        b->Execute();
        EXPECT_EQ(b->RowsRead(), 5);
        EXPECT_EQ(b->RowsWritten(), 5);
        EXPECT_EQ(b->RowsInError(), 0);
        EXPECT_EQ(test::ClientOutput(Drv(), "SELECT id, name, qty FROM " + t + " WHERE qty IS NOT NULL ORDER BY id;"),
                  "1|b|2\n2|two|20\n4|c|3\n6|f|5");
        EXPECT_EQ(test::ClientOutput(Drv(), "SELECT count(*) FROM " + t + ";"), "5");
    }
    FSrcRaw->DropTableIfExists(src);
}

TEST_P(BatchCopy, MappingsAnEmptySourceAndAnAmbiguousKey) {
    // dest=source lines; a source of no rows changes nothing.
    const std::string t = Destination();
    TODBCBatchCopy* b = NewBatch(t, "SELECT id AS k, name AS label FROM " + FSource + " WHERE id > 4");
    b->Mappings()->SetText("id=k\nname=label");
    b->Execute();
    EXPECT_EQ(b->RowsWritten(), 1);
    EXPECT_EQ(Rows(t).back(), R("5", "five", nullptr));
    TODBCBatchCopy* empty = NewBatch(t, "SELECT id, name, qty FROM " + FSource + " WHERE id > 100");
    empty->SetMode(batAppendUpdate);
    empty->Execute();
    EXPECT_EQ(empty->RowsRead(), 0);
    EXPECT_EQ(empty->RowsWritten(), 0);
    EXPECT_EQ(Rows(t).size(), 4u);

    // A key that two destination rows hold refuses the batch before any write.
    const std::string dup = Destination("id integer");
    FRaw->Exec("INSERT INTO " + dup + " VALUES (2, 'again', 2)");
    TODBCBatchCopy* u = NewBatch(dup, "SELECT id, name, qty FROM " + FSource);
    u->SetMode(batUpdate);
    u->SetKeyFields("id");
    try {
        u->Execute();
        ADD_FAILURE() << "no error for the ambiguous key";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(String(e.Message()).find("matches more than one row"), String::npos) << e.Message();
    }
    EXPECT_EQ(FRaw->Scalar("SELECT count(*) FROM " + dup + " WHERE qty = 22 OR qty = 33"), "0");
    // Without a primary key and without KeyFields a keyed mode is refused.
    u->SetKeyFields("");
    EXPECT_THROW(u->Execute(), EDatabaseError);
}

// Records in error land in the problem table with their number, the error
// and their values; a problem table without its columns refuses the batch
// before anything is written.
TEST_P(BatchCopy, RecordsInErrorLandInTheProblemTable) {
    const std::string t = Destination();
    const std::string problems = test::UniqueName("bp");
    FRaw->DropTableIfExists(problems);
    FTables.push_back(problems);
    TODBCBatchCopy* b = NewBatch(t, "SELECT id, name, qty FROM " + FSource + " ORDER BY id");
    b->SetProblemTable(problems);
    std::vector<String> messages;
    b->OnProblem = [&](TObject*, std::int64_t, const String& message) { messages.push_back(message); };
    b->Execute();
    EXPECT_EQ(b->RowsInError(), 2);
    EXPECT_EQ(FRaw->Query("SELECT batch_record_no, id, name, qty FROM " + problems + " ORDER BY batch_record_no"),
              (std::vector<test::Row>{{"1", "2", "TWO", "22"}, {"2", "3", "THREE", "33"}}));
    const auto errors = FRaw->Query("SELECT batch_error FROM " + problems + " ORDER BY batch_record_no");
    ASSERT_EQ(errors.size(), 2u);
    ASSERT_EQ(messages.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(errors[i][0], std::optional<std::string>(messages[i]));
    EXPECT_EQ(Rows(t).size(), 5u);

    // A second batch appends to the existing table.
    TODBCBatchCopy* again = NewBatch(t, "SELECT id, name, qty FROM " + FSource + " WHERE id = 5");
    again->SetProblemTable(problems);
    again->Execute();
    EXPECT_EQ(FRaw->Scalar("SELECT count(*) FROM " + problems + " WHERE batch_record_no = 1"), "2");

    const std::string bad = test::UniqueName("bp");
    FRaw->DropTableIfExists(bad);
    FRaw->Exec("CREATE TABLE " + bad + " (id integer)");
    FTables.push_back(bad);
    const std::string fresh = Destination();
    TODBCBatchCopy* refused = NewBatch(fresh, "SELECT id, name, qty FROM " + FSource);
    refused->SetProblemTable(bad);
    try {
        refused->Execute();
        ADD_FAILURE() << "no error for a problem table without its columns";
    } catch (const EDatabaseError& e) {
        EXPECT_NE(e.Message().find("batch_record_no"), String::npos) << e.Message();
    }
    EXPECT_EQ(Rows(fresh).size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(Drivers, BatchCopy, test::AllDrivers(), test::DriverParamName());

TEST(BatchCopyForms, PropertiesComeBackFromAFormFile) {
    RegisterODBCBatchCopyClasses();
    TComponent root(nullptr);
    root.SetName("Root");
    auto* db = new TODBCDatabase(&root);
    db->SetName("Db");
    db->SetDataSourceName("Nowhere");
    auto* q = new TODBCQuery(&root);
    q->SetName("Src");
    auto* b = new TODBCBatchCopy(&root);
    b->SetName("Batch");
    b->SetSource(q);
    b->SetDestination(db);
    b->SetTableName("Orders");
    b->SetMode(batAppendUpdate);
    b->Mappings()->SetText("id=k\nname=label");
    b->SetKeyFields("id");
    b->SetCommitEvery(500);
    b->SetProblemTable("Rejects");
    const String form = WriteComponentToString(&root);
    TComponent copy(nullptr);
    copy.SetName("Root");
    ReadComponentStringInto(form, &copy);
    auto* b2 = dynamic_cast<TODBCBatchCopy*>(copy.FindComponent("Batch"));
    ASSERT_NE(b2, nullptr) << form;
    EXPECT_EQ(b2->Source(), copy.FindComponent("Src"));
    EXPECT_EQ(b2->Destination(), copy.FindComponent("Db"));
    EXPECT_EQ(b2->TableName(), "Orders");
    EXPECT_EQ(b2->Mode(), batAppendUpdate);
    EXPECT_EQ(b2->Mappings()->Text(), b->Mappings()->Text());
    EXPECT_EQ(b2->KeyFields(), "id");
    EXPECT_EQ(b2->CommitEvery(), 500);
    EXPECT_EQ(b2->ProblemTable(), "Rejects");
    EXPECT_EQ(WriteComponentToString(&copy), form);
}

}  // namespace

// ---------------------------------------------------------------------------
// Across drivers: each pair of the three as source and destination.

namespace velora {
namespace {

struct DriverPair {
    test::DriverKind Src, Dst;
};

std::string PairName(const ::testing::TestParamInfo<DriverPair>& info) {
    return test::Driver(info.param.Src).Name + "To" + test::Driver(info.param.Dst).Name;
}

class BatchCopyPairs : public ::testing::TestWithParam<DriverPair> {
protected:
    void SetUp() override {
        VELORA_REQUIRE_DRIVER(Src());
        VELORA_REQUIRE_DRIVER(Dst());
        FOwner.reset(new TComponent(nullptr));
        FSrcRaw = std::make_unique<test::RawConnection>(Src());
        FDstRaw = std::make_unique<test::RawConnection>(Dst());
        FSrcDb = Connect(Src());
        FDstDb = Connect(Dst());
    }
    void TearDown() override {
        FOwner.reset();
        for (const std::string& t : FSrcTables) FSrcRaw->DropTableIfExists(t);
        for (const std::string& t : FDstTables) FDstRaw->DropTableIfExists(t);
    }
    const test::TestDriver& Src() const { return test::Driver(GetParam().Src); }
    const test::TestDriver& Dst() const { return test::Driver(GetParam().Dst); }
    TODBCDatabase* Connect(const test::TestDriver& d) {
        auto* db = new TODBCDatabase(FOwner.get());
        db->SetDataSourceName(d.Dsn);
        db->SetLoginPrompt(false);
        if (!d.User.empty()) db->Params()->SetValues("USER NAME", d.User);
        db->Params()->SetValues("PASSWORD", d.Password);
        return db;
    }
    std::string SourceTable(const std::string& columns) {
        std::string name = test::UniqueName("ps");
        FSrcRaw->DropTableIfExists(name);
        FSrcRaw->Exec("CREATE TABLE " + name + " (" + columns + ")");
        FSrcTables.push_back(name);
        return name;
    }
    std::string DestinationName() {
        std::string name = test::UniqueName("pd");
        FDstRaw->DropTableIfExists(name);
        FDstTables.push_back(name);
        return name;
    }
    TODBCBatchCopy* NewBatch(const std::string& sql, const std::string& table, TBatchMode mode) {
        auto* q = new TODBCQuery(FOwner.get());
        q->SetDataBase(FSrcDb);
        q->SQL()->SetText(sql);
        auto* b = new TODBCBatchCopy(FOwner.get());
        b->SetSource(q);
        b->SetDestination(FDstDb);
        b->SetTableName(table);
        b->SetMode(mode);
        b->OnProblem = [this](TObject*, std::int64_t recNo, const String& message) {
            FProblems.push_back(recNo);
            FMessages.push_back(message);
        };
        return b;
    }
    /// `expr` of column `column` in every row of `table` (by id) through the
    /// destination's own client, NULL as "NULL".
    std::vector<std::string> Column(const std::string& table, const std::string& column, const std::string& expr) {
        const std::string out = test::ClientOutput(
            Dst(), "SELECT CASE WHEN " + column + " IS NULL THEN 'NULL' ELSE " + expr + " END FROM " + table +
                       " ORDER BY id;");
        std::vector<std::string> rows;
        std::size_t at = 0;
        while (!out.empty() && at <= out.size()) {
            const std::size_t end = std::min(out.find('\n', at), out.size());
            rows.push_back(out.substr(at, end - at));
            at = end + 1;
        }
        return rows;
    }
    bool DestinationHas(const std::string& table) {
        const std::string sql =
            Dst().Kind == test::DriverKind::SQLite
                ? "SELECT count(*) FROM sqlite_master WHERE name = '" + table + "';"
                : "SELECT count(*) FROM information_schema.tables WHERE table_name = '" + table + "'" +
                      (Dst().Kind == test::DriverKind::MariaDB ? " AND table_schema = database();" : ";");
        return test::ClientOutput(Dst(), sql) != "0";
    }

    std::unique_ptr<TComponent> FOwner;
    std::unique_ptr<test::RawConnection> FSrcRaw, FDstRaw;
    TODBCDatabase* FSrcDb = nullptr;
    TODBCDatabase* FDstDb = nullptr;
    std::vector<std::string> FSrcTables, FDstTables;
    std::vector<std::int64_t> FProblems;
    std::vector<String> FMessages;
};

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) out += {digits[c >> 4], digits[c & 15]};
    return out;
}

/// Drops the trailing zeros of a fraction (and the point left alone).
std::string NoTrailingZeros(std::string s) {
    if (s.find('.') == std::string::npos) return s;
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == '.') s.pop_back();
    return s;
}

TEST_P(BatchCopyPairs, CopyCreatesTheTableAndKeepsEveryValueWhole) {
    using test::DriverKind;
    const DriverKind src = GetParam().Src, dst = GetParam().Dst;
    // The same columns in each source's own types.
    const std::string ts = src == DriverKind::SQLite ? "timestamp" : src == DriverKind::PostgreSQL ? "timestamp(6)"
                                                                                                  : "datetime(6)";
    const std::string table = SourceTable(
        "id integer primary key, i64 bigint, amount decimal(15,6), s varchar(20), d date, t time, ts " + ts +
        ", memo " + test::MemoType(Src()) + ", bin " + Src().Traits.BlobType);
    const std::string emoji = Repeat("\xF0\x9F\x98\x80", 20);  // 20 characters of 4 bytes: the column's most
    const std::string memo = Repeat("\xE2\x82\xAC" "a\xC3\xA4", 30000);  // 90000 characters of long text
    std::string bin;
    for (int i = 0; i < 70000; ++i) bin += static_cast<char>((i * 7 + i / 256) & 0xFF);
    const auto binLiteral = [&](const std::string& b) {
        return Src().Traits.ByteaLiterals ? "'\\x" + Hex(b) + "'::bytea" : "X'" + Hex(b) + "'";
    };
    FSrcRaw->Exec("INSERT INTO " + table + " (id) VALUES (1)");
    FSrcRaw->Exec("INSERT INTO " + table + " VALUES (2, -9223372036854775808, -123456789.123456, '" + emoji +
                  "', '2024-02-29', '00:00:00', '2024-02-29 13:45:56', '" + memo + "', " + binLiteral(bin) + ")");
    FSrcRaw->Exec("INSERT INTO " + table + " VALUES (3, 9223372036854775807, 999999999.999999, 'ab', " +
                  "'9999-12-31', '23:59:59', '2024-02-29 13:45:56.123', 'x', " + binLiteral(std::string(1, '\0')) +
                  ")");
    FSrcRaw->Exec("INSERT INTO " + table + " VALUES (4, 0, 0.000001, '', '1000-01-01', '12:30:00', " +
                  "'1999-12-31 23:59:59.123456', '', " + binLiteral("\xFF") + ")");

    const std::string dest = DestinationName();
    TODBCBatchCopy* b = NewBatch("SELECT * FROM " + table + " ORDER BY id", dest, batCopy);
    b->SetKeyFields("id");
    b->SetArrayChunk(3);
    const std::string problems = DestinationName();
    b->SetProblemTable(problems);
    b->Execute();

    // A fraction of a second the destination's time stamp type does not keep
    // (the driver's MAXIMUM_SCALE: 3 on SQLite, 0 on MariaDB) refuses its row.
    const std::vector<std::int64_t> refused = dst == DriverKind::PostgreSQL ? std::vector<std::int64_t>{}
                                              : dst == DriverKind::SQLite   ? std::vector<std::int64_t>{4}
                                                                            : std::vector<std::int64_t>{3, 4};
    EXPECT_EQ(FProblems, refused);
    for (const String& m : FMessages) EXPECT_NE(m.find("fraction"), String::npos) << m;
    EXPECT_EQ(b->RowsRead(), 4);
    EXPECT_EQ(b->RowsWritten(), 4 - static_cast<std::int64_t>(refused.size()));
    EXPECT_EQ(b->RowsInError(), static_cast<std::int64_t>(refused.size()));
    // The refused records in the problem table, their time stamps whole.
    std::vector<std::string> refusedIds, refusedStamps;
    for (std::int64_t id : refused) {
        refusedIds.push_back(std::to_string(id));
        refusedStamps.push_back(id == 3 ? "2024-02-29 13:45:56.123" : "1999-12-31 23:59:59.123456");
    }
    EXPECT_EQ(Column(problems, "id", "id"), refusedIds);
    std::vector<std::string> stamps = Column(problems, "ts", "ts");
    for (std::string& v : stamps) v = NoTrailingZeros(v);
    EXPECT_EQ(stamps, refusedStamps);

    struct Expected {
        const char* Name;
        std::string SQLite, PostgreSQL, MariaDB;  ///< the client's expression of the column
        std::vector<std::string> Values;           ///< rows 1 to 4
        bool Normalize = false;                    ///< trailing fraction zeros dropped on the client's side
    };
    const Expected columns[] = {
        {"i64", "i64", "i64::text", "CAST(i64 AS CHAR)",
         {"NULL", "-9223372036854775808", "9223372036854775807", "0"}},
        {"amount", "printf('%.6f', amount)", "CAST(amount AS numeric(30,6))::text",
         "CAST(CAST(amount AS DECIMAL(30,6)) AS CHAR)",
         {"NULL", "-123456789.123456", "999999999.999999", "0.000001"}},
        {"s", "s", "s", "s", {"NULL", emoji, "ab", ""}},
        {"d", "d", "d::text", "CAST(d AS CHAR)", {"NULL", "2024-02-29", "9999-12-31", "1000-01-01"}},
        {"t", "t", "t::text", "CAST(t AS CHAR)", {"NULL", "00:00:00", "23:59:59", "12:30:00"}, true},
        {"ts", "ts", "CAST(ts AS timestamp)::text", "CAST(ts AS CHAR)",
         {"NULL", "2024-02-29 13:45:56", "2024-02-29 13:45:56.123", "1999-12-31 23:59:59.123456"}, true},
        {"memo", "memo", "memo", "memo", {"NULL", memo, "x", ""}},
        {"bin", "hex(bin)", "upper(encode(bin, 'hex'))", "hex(bin)", {"NULL", Hex(bin), "00", "FF"}},
    };
    for (const Expected& c : columns) {
        SCOPED_TRACE(c.Name);
        std::vector<std::string> want;
        for (std::size_t row = 0; row < 4; ++row)
            if (std::find(refused.begin(), refused.end(), static_cast<std::int64_t>(row + 1)) == refused.end())
                want.push_back(c.Values[row]);
        std::vector<std::string> got = Column(
            dest, c.Name, dst == DriverKind::SQLite ? c.SQLite : dst == DriverKind::PostgreSQL ? c.PostgreSQL : c.MariaDB);
        if (c.Normalize)
            for (std::string& v : got) v = NoTrailingZeros(v);
        ASSERT_EQ(got.size(), want.size());
        for (std::size_t i = 0; i < want.size(); ++i)
            EXPECT_TRUE(got[i] == want[i]) << "row " << i << ": " << got[i].substr(0, 80) << " != "
                                           << want[i].substr(0, 80);
    }

    // A field no type of the destination holds whole refuses the batch before
    // anything is created: a decimal of 18 digits, 10 of them after the point
    // (PostgreSQL's driver lists a scale of 6 at most, SQLite no decimal
    // type, and a double holds 15 digits), every such field named.
    if (src != DriverKind::SQLite && dst != DriverKind::MariaDB) {
        const std::string wide = DestinationName();
        const std::string cast = src == DriverKind::PostgreSQL ? "CAST(1.5 AS numeric(18,10))"
                                                               : "CAST(1.5 AS DECIMAL(18,10))";
        TODBCBatchCopy* w = NewBatch("SELECT 1 AS id, " + cast + " AS w", wide, batCopy);
        try {
            w->Execute();
            w->Source()->Open();
            TField* f = w->Source()->FieldByName("w");
            ADD_FAILURE() << "no error for a decimal of 18 digits: " << FieldTypeName(f->DataType()) << " "
                          << f->Size();
        } catch (const EDatabaseError& e) {
            EXPECT_NE(e.Message().find("Cannot create table " + wide), String::npos) << e.Message();
            EXPECT_NE(e.Message().find("'w' (ftBCD)"), String::npos) << e.Message();
        }
        EXPECT_FALSE(DestinationHas(wide));
        EXPECT_FALSE(w->Source()->Active());
    }
    // A table that exists already is refused by the server, and kept.
    TODBCBatchCopy* again = NewBatch("SELECT * FROM " + table, dest, batCopy);
    EXPECT_THROW(again->Execute(), EODBCError);
    EXPECT_TRUE(DestinationHas(dest));
}

// The modes between the servers and back to SQLite (the other test has
// SQLite as the source of every mode), against the same model.
TEST_P(BatchCopyPairs, EachModeLeavesTheModelTable) {
    const std::string source = SourceTable("id integer primary key, name varchar(20), qty integer");
    FSrcRaw->Exec("INSERT INTO " + source + " VALUES (2, 'TWO', 22), (3, 'THREE', 33), (4, 'four', NULL), "
                  "(5, 'five', 50)");
    for (const ModeCase& c : ModeCases()) {
        SCOPED_TRACE(std::to_string(c.Mode) + " commit every " + std::to_string(c.CommitEvery));
        const std::string t = DestinationName();
        FDstRaw->Exec("CREATE TABLE " + t + " (id integer primary key, name varchar(20), qty integer)");
        FDstRaw->Exec("INSERT INTO " + t + " VALUES (1, 'one', 10), (2, 'two', 20), (3, 'three', NULL)");
        FProblems.clear();
        TODBCBatchCopy* b = NewBatch("SELECT id, name, qty FROM " + source + " ORDER BY id", t, c.Mode);
        b->SetCommitEvery(c.CommitEvery);
        b->SetArrayChunk(2);
        b->Execute();
        EXPECT_EQ(b->RowsRead(), 4);
        EXPECT_EQ(b->RowsWritten(), c.Written);
        EXPECT_EQ(b->RowsSkipped(), c.Skipped);
        EXPECT_EQ(b->RowsInError(), c.InError);
        EXPECT_EQ(FProblems, c.Problems);
        EXPECT_EQ(FDstRaw->Query("SELECT id, name, qty FROM " + t + " ORDER BY id"), c.Model);
        EXPECT_FALSE(FDstDb->InTransaction());
    }
}

// Decimals wider than a double go as their exact text into an existing
// table (the source's dataset holds them as text).
TEST_P(BatchCopyPairs, WideDecimalsArriveWhole) {
    if (!Src().Traits.HasExactDecimals || !Dst().Traits.HasExactDecimals)
        GTEST_SKIP() << "a decimal of 38 digits is held exactly on both sides only by the servers";
    const std::string source = SourceTable("id integer primary key, v decimal(38,10)");
    const std::vector<std::string> values = {"9999999999999999999999999999.9999999999", "-0.0000000001",
                                             "1234567890123456789.0123456789"};
    for (std::size_t i = 0; i < values.size(); ++i)
        FSrcRaw->Exec("INSERT INTO " + source + " VALUES (" + std::to_string(i + 1) + ", " + values[i] + ")");
    const std::string t = DestinationName();
    FDstRaw->Exec("CREATE TABLE " + t + " (id integer primary key, v decimal(38,10))");
    TODBCBatchCopy* b = NewBatch("SELECT id, v FROM " + source + " ORDER BY id", t, batAppend);
    b->Execute();
    EXPECT_EQ(b->RowsWritten(), 3);
    EXPECT_EQ(Column(t, "v", Dst().Kind == test::DriverKind::PostgreSQL ? "v::text" : "CAST(v AS CHAR)"), values);
}

const DriverPair kPairs[] = {
    {test::DriverKind::SQLite, test::DriverKind::PostgreSQL},  {test::DriverKind::PostgreSQL, test::DriverKind::MariaDB},
    {test::DriverKind::MariaDB, test::DriverKind::SQLite},     {test::DriverKind::PostgreSQL, test::DriverKind::SQLite},
    {test::DriverKind::MariaDB, test::DriverKind::PostgreSQL}, {test::DriverKind::SQLite, test::DriverKind::MariaDB},
};
INSTANTIATE_TEST_SUITE_P(Pairs, BatchCopyPairs, ::testing::ValuesIn(kPairs), PairName);

}  // namespace
}  // namespace velora
