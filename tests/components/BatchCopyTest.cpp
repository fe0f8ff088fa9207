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
#include "support/TestEnv.h"

#include <gtest/gtest.h>

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

TEST_P(BatchCopy, EachModeLeavesTheModelTable) {
    const ModeCase cases[] = {
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
    for (const ModeCase& c : cases) {
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
    EXPECT_EQ(WriteComponentToString(&copy), form);
}

}  // namespace
