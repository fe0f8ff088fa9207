// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The library under load: eight threads editing at once, each with its own
// session, database and table, and thousands of open/close cycles and
// prepared executions with the heap, the open files and the server
// connections staying flat.
#include "components/DataSetTestUtil.h"

#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCSession.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/odbc/ODBCFaults.h"

#include <gtest/gtest.h>

#include <cstddef>

#include <dirent.h>
#include <malloc.h>

#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// The AddressSanitizer run-time's count of live heap bytes (GCC ships no
// header declaring it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace velora {
namespace {

using test::DataSetDriverTest;

/// Bytes the heap holds for the program right now.
std::size_t LiveHeap() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return mallinfo2().uordblks;
#endif
}

int OpenFiles() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) ++n;
        closedir(d);
    }
    return n;
}

class Endurance : public DataSetDriverTest {};

TEST_P(Endurance, EightThreadsEachWithItsOwnSessionEditAtOnceAndLoseNothing) {
    constexpr int kThreads = 8, kRowsEach = 10, kPostsEach = 500;
    const std::string t = CreateTable("id integer primary key, owner integer, n integer");
    std::vector<std::string> rows;
    for (int id = 1; id <= kThreads * kRowsEach; ++id)
        rows.push_back(std::to_string(id) + ", " + std::to_string((id - 1) % kThreads) + ", 0");
    test::InsertRows(*FRaw, t, rows);

    std::vector<int> model(kThreads * kRowsEach + 1, 0);
    std::vector<std::string> errors(kThreads);
    std::vector<std::thread> threads;
    for (int k = 0; k < kThreads; ++k) {
        threads.emplace_back([&, k] {
            try {
                TComponent owner(nullptr);
                auto* session = new TODBCSession(&owner);
                session->SetName("Worker" + std::to_string(k));
                TODBCDatabase* db = test::NewDatabase(&owner, Drv());
                db->SetSession(session);
                db->Open();
                if (*Drv().Traits.FastWrites) ODBCExecDirect(db->Handle(), Drv().Traits.FastWrites);
                auto* table = new TODBCTable(&owner);
                table->SetDataBase(db);
                table->SetTableName(t);
                table->FilterParams()->SetText("owner = " + std::to_string(k));
                table->SetFiltered(true);
                table->IndexParams()->SetText("id");
                table->SetIndexed(true);
                table->Open();
                for (int i = 0; i < kPostsEach; ++i) {
                    table->First();
                    table->MoveBy(i % kRowsEach);
                    const int id = table->FieldByName("id")->AsInteger();
                    table->Edit();
                    table->FieldByName("n")->SetAsInteger(k * 100000 + i);
                    table->Post();
                    model[static_cast<std::size_t>(id)] = k * 100000 + i;
                }
            } catch (const std::exception& e) {
                errors[static_cast<std::size_t>(k)] = e.what();
            }
        });
    }
    for (std::thread& th : threads) th.join();
    for (int k = 0; k < kThreads; ++k) EXPECT_EQ(errors[static_cast<std::size_t>(k)], "") << "thread " << k;
    std::vector<std::string> expected, stored;
    for (int id = 1; id <= kThreads * kRowsEach; ++id)
        expected.push_back(std::to_string(id) + "|" + std::to_string(model[static_cast<std::size_t>(id)]));
    for (const test::Row& r : FRaw->Query("SELECT id, n FROM " + t + " ORDER BY id"))
        stored.push_back(r[0].value_or("") + "|" + r[1].value_or(""));
    EXPECT_EQ(stored, expected);
}

TEST_P(Endurance, ThousandsOfCyclesKeepTheHeapTheFilesAndTheConnectionFlat) {
    const std::string t = CreateNumbered(50);
    FDb->Open();
    TODBCTable* table = NewTable(t);
    table->IndexParams()->SetText("id");
    table->SetIndexed(true);
    auto* update = new TODBCQuery(FOwner.get());
    update->SetDataBase(FDb);
    update->SQL()->SetText("UPDATE " + t + " SET name = :name WHERE id = 1");
    auto cycle = [&](int i) {
        table->Open();
        table->Last();
        EXPECT_EQ(table->FieldByName("id")->AsInteger(), 50);
        table->Close();
        update->ParamByName("name")->SetAsString("run " + std::to_string(i));
        update->ExecSQL();
    };
    update->Prepare();
    for (int i = 0; i < 200; ++i) cycle(i);  // caches and pools reach their size
    odbc::faults::Scope counting;
    const std::size_t heap = LiveHeap();
    const int files = OpenFiles();
    for (int i = 0; i < 5000; ++i) cycle(i);
    const long long grown = static_cast<long long>(LiveHeap()) - static_cast<long long>(heap);
    EXPECT_LT(grown, 256 * 1024) << "live heap grew by " << grown << " bytes over 5,000 cycles";
    EXPECT_EQ(OpenFiles(), files);
    EXPECT_EQ(odbc::faults::CallCount("SQLConnect") + odbc::faults::CallCount("SQLDriverConnect"), 0)
        << "one connection for the whole run";
    // SQLite prepares a table holding doubles twice: the second time with
    // the companions that read them whole.
    const int preparesPerOpen = Drv().Kind == test::DriverKind::SQLite ? 2 : 1;
    EXPECT_EQ(odbc::faults::CallCount("SQLPrepare"), 5000 * preparesPerOpen)
        << "the table prepares per open, the update once";
    EXPECT_EQ(FRaw->Query("SELECT name FROM " + t + " WHERE id = 1")[0][0].value_or(""), "run 4999");
}

INSTANTIATE_TEST_SUITE_P(Drivers, Endurance, test::AllDrivers(), test::DriverParamName());

}  // namespace
}  // namespace velora
