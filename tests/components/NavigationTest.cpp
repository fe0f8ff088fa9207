// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Navigation equivalence: a table dataset walked at random (First, Last,
// Next, Prior, MoveBy, GotoBookmark) must agree step by step with a model
// built from a plain SELECT of the same table, for tables of 0, 1, 19, 20,
// 21 and 1000 rows and blocks of 1, 7, 20 and 200 rows, with and without a
// grid-like link keeping a window of several records, on every driver (the
// keyset road on PostgreSQL, our cursor library on SQLite and MariaDB). The
// same walks run again with the tables as key range cursors (the instances
// named KeyRange/), plus walks over descending and nullable orders, a
// composite key and a text key of multi-byte characters, and a count of the
// statements a key range cursor runs, which must not grow with the table.
#include "components/DataSetTestUtil.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/odbc/ODBCBoundary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace velora {
namespace {

/// The dataset as the walk expects to see it.
struct TModel {
    std::vector<std::string> Ids;  // the rows in cursor order
    int Pos = 0;
    bool Bof = true;
    bool Eof = true;

    int Count() const { return static_cast<int>(Ids.size()); }
    void First() {
        Pos = 0;
        Bof = true;
        Eof = Ids.empty();
    }
    void Last() {
        Pos = Count() - 1;
        Eof = true;
        Bof = Ids.empty();
    }
    int MoveBy(int distance) {
        if ((distance > 0 && Eof) || (distance < 0 && Bof) || distance == 0) return 0;
        Bof = Eof = false;
        if (distance > 0) {
            const int room = Count() - 1 - Pos;
            const int moved = std::min(distance, room);
            Pos += moved;
            if (distance > room) Eof = true;
            return moved;
        }
        const int moved = std::min(-distance, Pos);
        Pos -= moved;
        if (-distance > Pos + moved) Bof = true;
        return -moved;
    }
    void Goto(int pos) {
        Pos = pos;
        Bof = Eof = false;
    }
};

/// A link that keeps a window of several records, as a grid does.
class TGridLink : public TDataLink {};

class Navigation : public test::DataSetDriverTest {
protected:
    void SetUp() override {
        test::DataSetDriverTest::SetUp();
        const std::string suite = ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name();
        FKeyRange = suite.rfind("KeyRange/", 0) == 0;
    }

    /// A table dataset, a key range cursor in the KeyRange/ instances.
    TODBCTable* NewTable(const std::string& tableName) {
        TODBCTable* t = test::DataSetDriverTest::NewTable(tableName);
        t->SetKeyRangeCursor(FKeyRange);
        return t;
    }

    /// `order`: the table's IndexParams; with a `key` the model orders by
    /// `order` and then the key, else it is the rows of a plain SELECT.
    void Walk(const std::string& table, int rowSetSize, int windowRows, unsigned seed, int steps,
              const std::string& order = {}, const std::string& key = {}) {
        SCOPED_TRACE("table " + table + ", rows per block " + std::to_string(rowSetSize) + ", window " +
                     std::to_string(windowRows) + ", seed " + std::to_string(seed) + ", order " + order);
        TModel model;
        model.Ids = Column("SELECT id FROM " + table +
                           (key.empty() ? "" : " ORDER BY " + (order.empty() ? key : order + ", " + key)));
        TODBCTable* t = NewTable(table);
        t->SetRowSetSize(rowSetSize);
        if (!order.empty()) {
            t->IndexParams()->Add(order);
            t->SetIndexed(true);
        }
        auto* source = new TDataSource(FOwner.get());
        TGridLink grid;
        if (windowRows > 1) {
            source->SetDataSet(t);
            grid.SetBufferCount(windowRows);
            grid.SetDataSource(source);
        }
        t->Open();
        TField* id = t->FieldByName("id");
        TField* name = t->FieldByName("name");
        model.First();
        std::map<int, TBookmark> marks;  // model position -> bookmark
        std::mt19937 rng(seed);
        std::string trail;
        auto check = [&](const std::string& step) {
            trail += step + " ";
            ASSERT_EQ(t->Bof(), model.Bof) << trail;
            ASSERT_EQ(t->Eof(), model.Eof) << trail;
            ASSERT_EQ(t->IsEmpty(), model.Ids.empty()) << trail;
            if (model.Ids.empty()) return;
            const std::string& want = model.Ids[static_cast<std::size_t>(model.Pos)];
            ASSERT_EQ(id->AsString(), want) << trail;
            ASSERT_EQ(name->AsString(), "row " + want) << trail;
            // Every record of the window holds its own row, as a grid paints
            // them: records read their rows in the cache until it changes.
            if (windowRows <= 1) return;
            const int active = grid.ActiveRecord();
            for (int j = 0; j < grid.RecordCount(); ++j) {
                grid.SetActiveRecord(j);
                const int pos = model.Pos - active + j;
                ASSERT_TRUE(pos >= 0 && pos < static_cast<int>(model.Ids.size())) << trail << " record " << j;
                const std::string& row = model.Ids[static_cast<std::size_t>(pos)];
                ASSERT_EQ(id->AsString(), row) << trail << " record " << j;
                ASSERT_EQ(name->AsString(), "row " + row) << trail << " record " << j;
            }
            grid.SetActiveRecord(active);
        };
        check("open");
        for (int i = 0; i < steps && !HasFatalFailure(); ++i) {
            switch (rng() % 9) {
                case 0:
                    t->First();
                    model.First();
                    check("First");
                    break;
                case 1:
                    t->Last();
                    model.Last();
                    check("Last");
                    break;
                case 2:
                case 3: {
                    const int got = t->MoveBy(1);
                    ASSERT_EQ(got, model.MoveBy(1)) << trail;
                    check("Next");
                    break;
                }
                case 4: {
                    const int got = t->MoveBy(-1);
                    ASSERT_EQ(got, model.MoveBy(-1)) << trail;
                    check("Prior");
                    break;
                }
                case 5: {
                    const int distance = static_cast<int>(rng() % 61) - 30;
                    const int got = t->MoveBy(distance);
                    ASSERT_EQ(got, model.MoveBy(distance)) << trail;
                    check("MoveBy(" + std::to_string(distance) + ")");
                    break;
                }
                case 6:
                    if (!model.Ids.empty()) marks[model.Pos] = t->GetBookmark();
                    break;
                case 7:
                    if (!marks.empty()) {
                        auto it = marks.begin();
                        std::advance(it, static_cast<long>(rng() % marks.size()));
                        t->GotoBookmark(it->second);
                        model.Goto(it->first);
                        check("GotoBookmark(" + std::to_string(it->first) + ")");
                    }
                    break;
                case 8: {
                    // A row by its number, one past either end included: no such row leaves the place.
                    const int row = static_cast<int>(rng() % (model.Ids.size() + 2));
                    const bool there = row >= 1 && row <= static_cast<int>(model.Ids.size());
                    ASSERT_EQ(t->MoveToRow(row), there) << trail << " row " << row;
                    if (there) model.Goto(row - 1);
                    check("MoveToRow(" + std::to_string(row) + ")");
                    break;
                }
            }
        }
        // Finally every row once more from each end.
        t->First();
        model.First();
        for (const std::string& want : model.Ids) {
            ASSERT_EQ(id->AsString(), want);
            t->Next();
        }
        EXPECT_TRUE(t->Eof());
        t->Last();
        for (auto it = model.Ids.rbegin(); it != model.Ids.rend(); ++it) {
            ASSERT_EQ(id->AsString(), *it);
            t->Prior();
        }
        EXPECT_TRUE(t->Bof());
        EXPECT_EQ(t->RecordCount(), model.Count());
        t->Close();
    }

    bool FKeyRange = false;
};

TEST_P(Navigation, RandomWalksAgreeWithAPlainSelect) {
    unsigned seed = 1;
    for (int rows : {0, 1, 19, 20, 21, 1000}) {
        const std::string table = CreateNumbered(rows);
        for (int rowSetSize : {1, 7, 20, 200}) {
            // Long walks on the large table only where each step stays cheap.
            const int steps = rows == 1000 ? 120 : 80;
            Walk(table, rowSetSize, 1, seed++, steps);
            if (HasFatalFailure()) return;
            Walk(table, rowSetSize, 4, seed++, steps / 2);
            if (HasFatalFailure()) return;
        }
    }
}

// Jumps that land outside the cache fetch their row alone and leave the rest
// of the block to be fetched as Next and Prior reach it; edits and deletes
// between the jumps must not let a stale or missing row through.
TEST_P(Navigation, JumpsNextAndPriorWithEditsAndDeletesBetweenAgreeWithTheModel) {
    FDb->Open();
    if (*Drv().Traits.FastWrites) {
        ASSERT_EQ(ODBCExecDirect(FDb->Handle(), Drv().Traits.FastWrites), 0);
    }
    unsigned seed = 100;
    for (int rows : {0, 1, 19, 20, 21, 1000}) {
        for (int rowSetSize : {1, 7, 20}) {
            SCOPED_TRACE(std::to_string(rows) + " rows, rows per block " + std::to_string(rowSetSize));
            const std::string table = CreateNumbered(rows);
            std::vector<std::pair<int, std::string>> model;  // id, name in id order
            for (int i = 1; i <= rows; ++i) model.emplace_back(i, "row " + std::to_string(i));
            TODBCTable* t = NewTable(table);
            t->SetRowSetSize(rowSetSize);
            t->IndexParams()->Add("id");
            t->SetIndexed(true);
            t->Open();
            TField* id = t->FieldByName("id");
            TField* name = t->FieldByName("name");
            auto pos = [&]() -> int {  // the model position of the current record
                const int want = id->AsInteger();
                for (std::size_t i = 0; i < model.size(); ++i)
                    if (model[i].first == want) return static_cast<int>(i);
                return -1;
            };
            std::map<int, TBookmark> marks;  // id -> bookmark, taken since the last delete
            std::mt19937 rng(seed++);
            std::string trail;
            for (int i = 0; i < 60 && !model.empty() && !HasFatalFailure(); ++i) {
                const int at = pos();
                ASSERT_GE(at, 0) << trail;
                ASSERT_EQ(name->AsString(), model[static_cast<std::size_t>(at)].second) << trail;
                const int last = static_cast<int>(model.size()) - 1;
                switch (rng() % 7) {
                    case 0:
                    case 1:
                        trail += "Next ";
                        t->Next();
                        ASSERT_EQ(pos(), std::min(at + 1, last)) << trail;
                        ASSERT_EQ(t->Eof(), at == last) << trail;
                        break;
                    case 2:
                        trail += "Prior ";
                        t->Prior();
                        ASSERT_EQ(pos(), std::max(at - 1, 0)) << trail;
                        ASSERT_EQ(t->Bof(), at == 0) << trail;
                        break;
                    case 3:
                        marks[id->AsInteger()] = t->GetBookmark();
                        t->MoveBy(static_cast<int>(rng() % 400) - 200);  // somewhere else, often another block
                        trail += "Mark+MoveBy ";
                        break;
                    case 4:
                        if (!marks.empty()) {
                            auto it = marks.begin();
                            std::advance(it, static_cast<long>(rng() % marks.size()));
                            trail += "Goto(" + std::to_string(it->first) + ") ";
                            t->GotoBookmark(it->second);
                            ASSERT_EQ(id->AsInteger(), it->first) << trail;
                        }
                        break;
                    case 5: {
                        trail += "Edit ";
                        std::string& value = model[static_cast<std::size_t>(at)].second;
                        value = "edit " + std::to_string(i);
                        t->Edit();
                        name->SetAsString(value);
                        t->Post();
                        break;
                    }
                    default:
                        // A delete renumbers the rows behind it: the bookmarks
                        // taken before it are given up.
                        trail += "Delete ";
                        t->Delete();
                        model.erase(model.begin() + at);
                        marks.clear();
                        if (model.empty()) {
                            ASSERT_TRUE(t->IsEmpty()) << trail;
                            break;
                        }
                        // The row behind the deleted one takes its place; after
                        // the last row, the new last row.
                        ASSERT_EQ(pos(), std::min(at, static_cast<int>(model.size()) - 1)) << trail;
                        break;
                }
            }
            if (HasFatalFailure()) return;
            // The whole result once more, forward, after all the jumps.
            std::vector<std::pair<int, std::string>> seen;
            for (t->First(); !t->Eof(); t->Next()) seen.emplace_back(id->AsInteger(), name->AsString());
            EXPECT_EQ(seen, model);
            // What the table holds, as the oracle reads it.
            std::vector<std::string> stored = Column("SELECT name FROM " + table + " ORDER BY id"), want;
            for (auto& [key, value] : model) want.push_back(value);
            EXPECT_EQ(stored, want);
            t->Close();
        }
    }
}

// Deleting the last row leaves the dataset on the new last row, down to an
// empty table, with or without a window of several records and whether the
// end was met by reading or by counting.
TEST_P(Navigation, DeletingTheLastRowStandsOnTheNewLastRow) {
    for (int rowSetSize : {1, 7, 20}) {
        for (int windowRows : {1, 4}) {
            SCOPED_TRACE("rows per block " + std::to_string(rowSetSize) + ", window " + std::to_string(windowRows));
            TODBCTable* t = NewTable(CreateNumbered(22));
            t->SetRowSetSize(rowSetSize);
            auto* source = new TDataSource(FOwner.get());
            TGridLink grid;
            source->SetDataSet(t);
            grid.SetBufferCount(windowRows);
            grid.SetDataSource(source);
            t->IndexParams()->Add("id");
            t->SetIndexed(true);
            t->Open();
            TField* id = t->FieldByName("id");
            for (int count = 22; count > 0; --count) {
                if (count % 2 == 0) {
                    t->Last();
                } else {
                    t->First();
                    t->MoveBy(count - 1);
                }
                ASSERT_EQ(id->AsInteger(), count);
                t->Delete();
                if (count == 1) break;
                ASSERT_EQ(id->AsInteger(), count - 1);
                t->Prior();
                EXPECT_EQ(id->AsInteger(), std::max(count - 2, 1));
            }
            EXPECT_TRUE(t->IsEmpty());
            t->Close();
        }
    }
}

// Walks over key range cursors whose order is not a plain ascending integer
// key: each case a table (its rows "id, name, grp"), the dataset's order and
// the key the order is completed with.
struct TOrderCase {
    const char* Label;
    const char* Columns;
    const char* Order;
    const char* Key;
    bool TextIds;
};

class KeyRangeCursor : public Navigation {
protected:
    void SetUp() override {
        Navigation::SetUp();
        FKeyRange = true;
    }

    /// A new table of `rows` numbered rows (its name into `table`), open in blocks of 20.
    TODBCTable* OpenNumbered(int rows, std::string& table) {
        table = CreateNumbered(rows);
        TODBCTable* t = NewTable(table);
        t->SetRowSetSize(20);
        t->Open();
        return t;
    }
};

TEST_P(KeyRangeCursor, WalksOverOrdersAndKeysAgreeWithAPlainSelect) {
    const TOrderCase cases[] = {
        {"descending key", "id integer primary key, name varchar(30), grp integer", "id DESC", "id", false},
        {"NULLs in an ordering column", "id integer primary key, name varchar(30), grp integer", "grp", "id", false},
        {"NULLs, descending", "id integer primary key, name varchar(30), grp integer", "grp DESC", "id", false},
        // The key's columns in the table's order: SQLite's driver numbers a
        // key's columns (KEY_SEQ) in that order, not the key's.
        {"composite key", "grp integer not null, id integer not null, name varchar(30), primary key (grp, id)", "",
         "grp, id", false},
        {"multi-byte text key", "id varchar(20) primary key, name varchar(30), grp integer", "", "id", true},
    };
    const char* multiByte[] = {"\xC3\xA4", "\xE6\x97\xA5\xE6\x9C\xAC", "z", "\xC3\x9F", "A", "\xE2\x82\xAC"};
    unsigned seed = 500;
    for (const TOrderCase& c : cases) {
        for (int rows : {0, 1, 20, 21, 150}) {
            SCOPED_TRACE(std::string(c.Label) + ", " + std::to_string(rows) + " rows");
            const std::string table = CreateTable(c.Columns);
            std::vector<std::string> values;
            for (int i = 1; i <= rows; ++i) {
                // Every third row without a group; groups of seven rows otherwise.
                const std::string grp = std::string(c.Key) == "grp, id" ? std::to_string(i % 5)
                                        : i % 3 == 0                     ? "NULL"
                                                                         : std::to_string(i % 7);
                const std::string id = c.TextIds ? std::string(multiByte[i % 6]) + "-" + std::to_string(1000 + i)
                                                 : std::to_string(i);
                values.push_back(std::string(c.Key) == "grp, id" ? grp + ", '" + id + "', 'row " + id + "'"
                                                                 : "'" + id + "', 'row " + id + "', " + grp);
            }
            // The text ids are literals; numbers go in quoted too (every data source converts them).
            test::InsertRows(*FRaw, table, values);
            for (int rowSetSize : {1, 7, 20}) {
                Walk(table, rowSetSize, rowSetSize == 7 ? 4 : 1, seed++, 60, c.Order, c.Key);
                if (HasFatalFailure()) return;
            }
        }
    }
}

// A key range cursor runs the same number of statements for the same moves
// whatever the table's size, and none to scroll within its window.
TEST_P(KeyRangeCursor, StatementsDoNotGrowWithTheTable) {
    std::vector<unsigned long> counts;
    for (int rows : {300, 3000}) {
        TODBCTable* t = NewTable(CreateNumbered(rows));
        t->SetRowSetSize(20);
        t->Open();
        TField* id = t->FieldByName("id");
        for (int i = 0; i < 40; ++i) t->Next();  // within the first window
        const unsigned long firstWindow = odbc::KeyRangeDriverStatements(t->StmtHandle());
        EXPECT_EQ(id->AsInteger(), 41);
        t->MoveBy(100);
        TBookmark mark = t->GetBookmark();
        t->Last();
        EXPECT_EQ(id->AsInteger(), rows);
        for (int i = 0; i < 30; ++i) t->Prior();
        EXPECT_EQ(id->AsInteger(), rows - 30);
        t->First();
        t->GotoBookmark(mark);
        EXPECT_EQ(id->AsInteger(), 141);
        EXPECT_EQ(t->RecordCount(), rows);
        counts.push_back(odbc::KeyRangeDriverStatements(t->StmtHandle()));
        EXPECT_EQ(firstWindow, 1u) << "the first window serves the first 60 rows";
        t->Close();
    }
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts[0], counts[1]);
    EXPECT_LE(counts[1], 12u);
}

// Last finds the last rows without counting them (one look-up and one
// window, whatever the table's size); rows reached from there are walked,
// bookmarked, compared and edited before anything counts them, and keep
// their places once the rows are counted.
TEST_P(KeyRangeCursor, LastCountsNothingAndTheRowsFromTheEndKeepTheirPlaces) {
    std::vector<unsigned long> counts;
    for (int rows : {300, 3000}) {
        SCOPED_TRACE(std::to_string(rows) + " rows");
        std::string table;
        TODBCTable* t = OpenNumbered(rows, table);
        TField* id = t->FieldByName("id");
        const TBookmark first = t->GetBookmark();
        const unsigned long before = odbc::KeyRangeDriverStatements(t->StmtHandle());
        t->Last();
        EXPECT_EQ(id->AsInteger(), rows);
        EXPECT_LE(odbc::KeyRangeDriverStatements(t->StmtHandle()) - before, 2u);
        t->MoveBy(-45);
        const TBookmark back = t->GetBookmark();
        EXPECT_EQ(id->AsInteger(), rows - 45);
        t->Edit();
        t->FieldByName("name")->SetAsString("edited at the end");
        t->Post();
        EXPECT_EQ(t->KnownRecordCount(), -1) << "nothing counted the rows";
        counts.push_back(odbc::KeyRangeDriverStatements(t->StmtHandle()) - before);
        EXPECT_EQ(Column("SELECT name FROM " + table + " WHERE id = " + std::to_string(rows - 45)),
                  std::vector<std::string>{"edited at the end"});
        EXPECT_TRUE(t->BookmarkValid(back));
        EXPECT_LT(t->CompareBookmarks(first, back), 0);
        t->First();
        t->GotoBookmark(back);
        EXPECT_EQ(id->AsInteger(), rows - 45);
        t->Next();
        EXPECT_EQ(id->AsInteger(), rows - 44);
        // A row by its number is found without counting; one past the end is
        // none, and the dataset stays on its record.
        EXPECT_TRUE(t->MoveToRow(rows - 7));
        EXPECT_EQ(id->AsInteger(), rows - 7);
        EXPECT_FALSE(t->MoveToRow(rows + 1));
        EXPECT_EQ(id->AsInteger(), rows - 7);
        EXPECT_EQ(t->KnownRecordCount(), -1);
        t->Next();
        EXPECT_EQ(id->AsInteger(), rows - 6);
        // Deleting a row reached from the end counts the rows first; the
        // bookmarks taken before keep their rows and their order.
        t->Last();
        t->Delete();
        EXPECT_EQ(id->AsInteger(), rows - 1);
        EXPECT_EQ(t->KnownRecordCount(), rows - 1);
        EXPECT_EQ(Column("SELECT count(*) FROM " + table), std::vector<std::string>{std::to_string(rows - 1)});
        t->GotoBookmark(back);
        EXPECT_EQ(id->AsInteger(), rows - 45);
        EXPECT_LT(t->CompareBookmarks(first, back), 0);
        EXPECT_GT(t->CompareBookmarks(t->GetBookmark(), first), 0);
        t->Close();
    }
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts[0], counts[1]);
}

// A jump to a bookmark is one seek by the row's values, whatever the table's
// size and however far the row lies from every row read before, and lands on
// the bookmarked row after others added and deleted rows before and between
// the bookmarked ones (the numbers the rows had are no longer theirs).
TEST_P(KeyRangeCursor, AJumpIsOneSeekAndFindsItsRowAfterOthersWrote) {
    std::vector<unsigned long> counts;
    for (int rows : {300, 3000}) {
        SCOPED_TRACE(std::to_string(rows) + " rows");
        std::string table;
        TODBCTable* t = OpenNumbered(rows, table);
        TField* id = t->FieldByName("id");
        // Ten bookmarks a tenth of the table apart, taken on a scan.
        std::vector<std::pair<int, TBookmark>> marks;
        for (; !t->Eof(); t->Next())
            if (id->AsInteger() % (rows / 10) == 7) marks.emplace_back(id->AsInteger(), t->GetBookmark());
        ASSERT_EQ(marks.size(), 10u);
        std::mt19937 rng(42);
        const unsigned long before = odbc::KeyRangeDriverStatements(t->StmtHandle());
        for (int i = 0; i < 1000 && !HasFatalFailure(); ++i) {
            const auto& [want, mark] = marks[rng() % marks.size()];
            t->GotoBookmark(mark);
            ASSERT_EQ(id->AsInteger(), want);
        }
        counts.push_back(odbc::KeyRangeDriverStatements(t->StmtHandle()) - before);
        EXPECT_LE(counts.back(), 1000u) << "at most one statement a jump";
        // Others add rows before every bookmarked row and delete rows between them.
        FRaw->Exec("DELETE FROM " + table + " WHERE id % 5 = 1 AND id > 1");
        std::vector<std::string> added;
        for (int i = 0; i < 30; ++i) added.push_back(std::to_string(-i) + ", 'row " + std::to_string(-i) + "', 0");
        test::InsertRows(*FRaw, table, added);
        for (int i = 0; i < 40; ++i) {
            const auto& [want, mark] = marks[rng() % marks.size()];
            t->GotoBookmark(mark);
            ASSERT_EQ(id->AsInteger(), want);
            t->Next();
            ASSERT_EQ(id->AsInteger(), want + 1) << "the row after it in the table as it is now";
        }
        t->Close();
    }
    ASSERT_EQ(counts.size(), 2u);
    EXPECT_EQ(counts[0], counts[1]);
}

// A query of one table with a key is a key range cursor too: its filter and
// order hold, moves and a jump land where a plain SELECT says, an edit
// reaches the table; a statement other than a SELECT runs as without the
// property, and a SELECT with parameters is refused with the cursor's reason.
TEST_P(KeyRangeCursor, AQueryOfOneTableScrollsByKeyRanges) {
    const std::string table = CreateNumbered(500);
    auto* q = new TODBCQuery(FOwner.get());
    q->SetDataBase(FDb);
    q->SetKeyRangeCursor(true);
    q->SetRowSetSize(20);
    q->SQL()->SetText("SELECT id, name FROM " + table + " WHERE id > 100 ORDER BY id DESC");
    q->Open();
    EXPECT_TRUE(odbc::UsesKeyRangeCursor(q->StmtHandle()));
    TField* id = q->FieldByName("id");
    EXPECT_EQ(id->AsInteger(), 500);
    q->MoveBy(250);
    EXPECT_EQ(id->AsInteger(), 250);
    const TBookmark mark = q->GetBookmark();
    q->Last();
    EXPECT_EQ(id->AsInteger(), 101);
    EXPECT_EQ(q->RecordCount(), 400);
    q->GotoBookmark(mark);
    EXPECT_EQ(id->AsInteger(), 250);
    q->Edit();
    q->FieldByName("name")->SetAsString("edited");
    q->Post();
    EXPECT_EQ(Column("SELECT name FROM " + table + " WHERE id = 250"), std::vector<std::string>{"edited"});
    q->Prior();
    EXPECT_EQ(id->AsInteger(), 251);
    q->Close();

    q->SQL()->SetText("UPDATE " + table + " SET name = 'again' WHERE id = 7");
    q->ExecSQL();
    EXPECT_EQ(Column("SELECT name FROM " + table + " WHERE id = 7"), std::vector<std::string>{"again"});

    q->SQL()->SetText("SELECT id FROM " + table + " WHERE id > :low");
    q->ParamByName("low")->SetAsInteger(3);
    try {
        q->Open();
        FAIL() << "opened";
    } catch (const EODBCError& e) {
        EXPECT_NE(std::string(e.what()).find("A key range cursor takes no parameters"), std::string::npos) << e.what();
    }
    EXPECT_FALSE(q->Active());
}

// Long values are read on whatever row a key range cursor stands, and an
// edit of one reaches the table (read back by the oracle).
TEST_P(KeyRangeCursor, LongValuesAreReadAndWrittenOnAnyRow) {
    const std::string table = CreateTable("id integer primary key, memo text");
    auto memo = [](int id) { return "memo " + std::to_string(id) + " " + std::string(300 + id, 'x'); };
    std::vector<std::string> rows;
    for (int i = 1; i <= 150; ++i) rows.push_back(std::to_string(i) + ", '" + memo(i) + "'");
    test::InsertRows(*FRaw, table, rows);
    TODBCTable* t = NewTable(table);
    t->SetRowSetSize(20);
    t->Open();
    for (int id : {1, 97, 150, 40, 149}) {
        t->First();
        t->MoveBy(id - 1);
        ASSERT_EQ(t->FieldByName("id")->AsInteger(), id);
        EXPECT_EQ(t->FieldByName("memo")->AsString(), memo(id));
    }
    t->Last();
    EXPECT_EQ(t->FieldByName("memo")->AsString(), memo(150));
    t->First();
    t->MoveBy(96);
    const std::string edited(5000, 'e');
    t->Edit();
    t->FieldByName("memo")->SetAsString(edited);
    t->Post();
    EXPECT_EQ(t->FieldByName("memo")->AsString(), edited);
    EXPECT_EQ(Column("SELECT memo FROM " + table + " WHERE id = 97"), std::vector<std::string>{edited});
    EXPECT_EQ(Column("SELECT count(*) FROM " + table + " WHERE memo = 'memo 98 " + std::string(398, 'x') + "'"),
              std::vector<std::string>{"1"});
    t->Close();
}

// A filter or order switched while the table is open reads the table again
// through the new windows, counts included.
TEST_P(KeyRangeCursor, FilterAndOrderSwitchedWhileOpenApply) {
    TODBCTable* t = NewTable(CreateNumbered(300));
    t->SetRowSetSize(20);
    t->Open();
    TField* id = t->FieldByName("id");
    t->Last();
    EXPECT_EQ(id->AsInteger(), 300);
    TStringList filter;
    filter.Add("id > 250 AND id <= 290");
    t->SetFilterParams(&filter);
    t->SetFiltered(true);
    EXPECT_EQ(id->AsInteger(), 251);
    EXPECT_EQ(t->RecordCount(), 40);
    t->Last();
    EXPECT_EQ(id->AsInteger(), 290);
    t->IndexParams()->Add("id DESC");
    t->SetIndexed(true);
    EXPECT_EQ(id->AsInteger(), 290);
    t->MoveBy(25);
    EXPECT_EQ(id->AsInteger(), 265);
    t->Last();
    EXPECT_EQ(id->AsInteger(), 251);
    t->SetFiltered(false);
    EXPECT_EQ(t->RecordCount(), 300);
    t->First();
    EXPECT_EQ(id->AsInteger(), 300);
    t->MoveBy(150);
    EXPECT_EQ(id->AsInteger(), 150);
}

// A table without a primary key cannot be a key range cursor.
TEST_P(KeyRangeCursor, RefusesATableWithoutAKey) {
    const std::string table = CreateTable("id integer, name varchar(30)");
    TODBCTable* t = NewTable(table);
    try {
        t->Open();
        FAIL() << "opened";
    } catch (const EODBCError& e) {
        EXPECT_NE(std::string(e.what()).find("has no primary key: a key range cursor needs one"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(t->Active());
}

INSTANTIATE_TEST_SUITE_P(Drivers, Navigation, test::AllDrivers(), test::DriverParamName());
INSTANTIATE_TEST_SUITE_P(KeyRange, Navigation, test::AllDrivers(), test::DriverParamName());
INSTANTIATE_TEST_SUITE_P(Drivers, KeyRangeCursor, test::AllDrivers(), test::DriverParamName());

}  // namespace
}  // namespace velora
