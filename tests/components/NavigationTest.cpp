// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Navigation equivalence: a table dataset walked at random (First, Last,
// Next, Prior, MoveBy, GotoBookmark) must agree step by step with a model
// built from a plain SELECT of the same table, for tables of 0, 1, 19, 20,
// 21 and 1000 rows and blocks of 1, 7, 20 and 200 rows, with and without a
// grid-like link keeping a window of several records, on every driver (the
// keyset road on PostgreSQL, our cursor library on SQLite and MariaDB).
#include "components/DataSetTestUtil.h"
#include "velora/engine/ODBCStatement.h"

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
    void Walk(const std::string& table, int rowSetSize, int windowRows, unsigned seed, int steps) {
        SCOPED_TRACE("table " + table + ", rows per block " + std::to_string(rowSetSize) + ", window " +
                     std::to_string(windowRows) + ", seed " + std::to_string(seed));
        TModel model;
        model.Ids = Column("SELECT id FROM " + table);
        TODBCTable* t = NewTable(table);
        t->SetRowSetSize(rowSetSize);
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
        };
        check("open");
        for (int i = 0; i < steps && !HasFatalFailure(); ++i) {
            switch (rng() % 8) {
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

INSTANTIATE_TEST_SUITE_P(Drivers, Navigation, test::AllDrivers(), test::DriverParamName());

}  // namespace
}  // namespace velora
