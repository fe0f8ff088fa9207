// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The table dataset's side of the scan benchmark (see DataSetScanBench.h).
#include "DataSetScanBench.h"

#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCTable.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/odbc/ODBCFaults.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <random>
#include <stdexcept>
#include <vector>

namespace velora::bench {

std::string DataSetTableName(const std::string& bigTable, int bigRows, int rows) {
    return rows == bigRows ? bigTable : bigTable + "_" + std::to_string(rows);
}

struct TDataSetBench::TImpl {
    TOwnedPtr<TComponent> Owner{new TComponent(nullptr)};
    TODBCDatabase* Db = nullptr;
};

TDataSetBench::TDataSetBench(const TBenchSource& source) : FImpl(std::make_unique<TImpl>()) {
    FImpl->Db = new TODBCDatabase(FImpl->Owner.get());
    FImpl->Db->SetDataSourceName(source.Dsn);
    FImpl->Db->SetLoginPrompt(false);
    if (!source.User.empty()) FImpl->Db->Params()->SetValues("USER NAME", source.User);
    FImpl->Db->Params()->Add("PASSWORD=" + source.Password);
    FImpl->Db->Open();
}

TDataSetBench::~TDataSetBench() = default;

namespace {

TODBCTable* NewTable(TComponent* owner, TODBCDatabase* db, const std::string& table) {
    auto* t = new TODBCTable(owner);
    t->SetDataBase(db);
    t->SetTableName(table);
    t->IndexParams()->Add("id");
    t->SetIndexed(true);
    return t;
}

}  // namespace

namespace {

/// Reads every field of every record of `t` from where it stands (open, on
/// its first record; a uni-directional dataset cannot be sent to First
/// again), forward to Eof or, `back`, backward to Bof.
[[gnu::noinline]] long ReadAll(TODBCDataSet* t, bool back = false) {
    TField* id = t->FieldByName("id");
    TField* s40 = t->FieldByName("s40");
    TField* d = t->FieldByName("d");
    TField* si = t->FieldByName("si");
    TField* ts = t->FieldByName("ts");
    TField* s200 = t->FieldByName("s200");
    long sum = 0;
    for (; back ? !t->Bof() : !t->Eof(); back ? t->Prior() : t->Next()) {
        sum += id->AsInteger() + si->AsInteger();
        sum += static_cast<long>(s40->AsString().size() + s200->AsString().size());
        sum += static_cast<long>(d->AsFloat()) + static_cast<long>(ts->AsDateTime());
    }
    return sum;
}

}  // namespace

namespace {

/// Times what lies between its construction and its end into `seconds[0]`
/// (real) and `seconds[1]` (CPU time of this process), when given.
class TPhase {
public:
    explicit TPhase(double* seconds)
        : FSeconds(seconds), FStart(std::chrono::steady_clock::now()), FCpu(std::clock()) {}
    ~TPhase() {
        if (!FSeconds) return;
        FSeconds[0] = std::chrono::duration<double>(std::chrono::steady_clock::now() - FStart).count();
        FSeconds[1] = static_cast<double>(std::clock() - FCpu) / CLOCKS_PER_SEC;
    }
    TPhase(const TPhase&) = delete;
    TPhase& operator=(const TPhase&) = delete;

private:
    double* FSeconds;
    std::chrono::steady_clock::time_point FStart;
    std::clock_t FCpu;
};

}  // namespace

long TDataSetBench::Scan(const std::string& table, double* fetchSeconds) {
    TOwnedPtr<TODBCTable> t(NewTable(nullptr, FImpl->Db, table));
    t->Open();
    long sum;
    {
        TPhase phase(fetchSeconds);
        sum = ReadAll(t.get());
    }
    t->Close();
    return sum;
}

long TDataSetBench::ScanBothWays(const std::string& table, double* fetchSeconds) {
    TOwnedPtr<TODBCTable> t(NewTable(nullptr, FImpl->Db, table));
    t->Open();
    long sum;
    {
        TPhase phase(fetchSeconds);
        sum = ReadAll(t.get());
        t->Last();
        sum += ReadAll(t.get(), true);
    }
    t->Close();
    return sum;
}

long TDataSetBench::ScanQuery(const std::string& sql, double* fetchSeconds) {
    TOwnedPtr<TODBCQuery> q(new TODBCQuery(nullptr));
    q->SetDataBase(FImpl->Db);
    q->SQL()->SetText(sql);
    q->SetUniDirectional(true);
    q->Open();
    long sum;
    {
        TPhase phase(fetchSeconds);
        sum = ReadAll(q.get());
    }
    q->Close();
    return sum;
}

TBookmarkFigures TDataSetBench::GotoBookmarks(const std::string& table, int calls) {
    TOwnedPtr<TODBCTable> t(NewTable(nullptr, FImpl->Db, table));
    t->Open();
    const int count = t->RecordCount();
    std::mt19937 rng(20260);
    std::vector<int> rows(static_cast<std::size_t>(calls));
    for (int& r : rows) r = static_cast<int>(rng() % static_cast<unsigned>(count));
    std::sort(rows.begin(), rows.end());
    // Mark the rows in one forward pass.
    struct TMark {
        TBookmark Bookmark;
        int Id;
    };
    std::vector<TMark> marks;
    marks.reserve(rows.size());
    t->First();
    int at = 0;
    for (int r : rows) {
        t->MoveBy(r - at);
        at = r;
        marks.push_back({t->GetBookmark(), t->FieldByName("id")->AsInteger()});
    }
    std::shuffle(marks.begin(), marks.end(), rng);

    TBookmarkFigures figures;
    figures.Calls = calls;
    TField* id = t->FieldByName("id");
    // Timed without counting (counting calls takes a lock on every ODBC
    // call); then the same jumps again, counted.
    const auto start = std::chrono::steady_clock::now();
    for (const TMark& m : marks) {
        t->GotoBookmark(m.Bookmark);
        if (id->AsInteger() != m.Id) ++figures.WrongRows;
    }
    const auto elapsed = std::chrono::steady_clock::now() - start;
    int fetches = 0;
    {
        odbc::faults::Scope counting;
        for (const TMark& m : marks) t->GotoBookmark(m.Bookmark);
        fetches = odbc::faults::CallCount("SQLFetchScroll") + odbc::faults::CallCount("SQLFetch");
    }
    figures.BlockFetchesPerCall = static_cast<double>(fetches) / t->RowSetSize() / calls;
    figures.MicrosPerCall = std::chrono::duration<double, std::micro>(elapsed).count() / calls;
    t->Close();
    return figures;
}

void PrepareDataSetTable(const TBenchSource& source, const std::string& bigTable, const std::string& columns,
                         int rows) {
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    auto* db = new TODBCDatabase(owner.get());
    db->SetDataSourceName(source.Dsn);
    db->SetLoginPrompt(false);
    if (!source.User.empty()) db->Params()->SetValues("USER NAME", source.User);
    db->Params()->Add("PASSWORD=" + source.Password);
    db->Open();
    const std::string copy = bigTable + "_" + std::to_string(rows);
    ODBCExecDirect(db->Handle(), "DROP TABLE " + copy);  // absent on the first run
    if (!ODBCSucceeded(ODBCExecDirect(db->Handle(), "CREATE TABLE " + copy + " (" + columns + ")")) ||
        !ODBCSucceeded(ODBCExecDirect(db->Handle(), "INSERT INTO " + copy + " SELECT * FROM " + bigTable +
                                                        " WHERE id <= " + std::to_string(rows))))
        throw std::runtime_error("cannot create " + copy);
}

}  // namespace velora::bench
