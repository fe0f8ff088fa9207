// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The engine's row cache against a raw ODBC loop on the same data in the same
// run. A table of 200,000 rows (integer, 40-character string, decimal(12,2),
// small integer, timestamp, 200-character string) is scanned
//   - raw: a forward-only statement, the six columns bound, one SQLFetch a
//     row, every bound value touched;
//   - raw cursor: the same loop over the cursor the engine asks the driver
//     for (prepared, scrollable, read-write, SQLFetchScroll NEXT), which
//     tells what the cursor costs apart from what the engine costs;
//   - engine: a statement opened as a table dataset opens it (keyset or
//     cursor-library road, read-write), TODBC with 20 rows per block,
//     GetNextRecord and every field read with GetField;
//   - engine backward: SetToEnd, then GetPriorRecord to the first row;
//   - dataset: TODBCTable over the table (ordered by id; the 20,000-row scan
//     reads a copy of the first rows), First, then Next until Eof, every
//     field read through AsInteger, AsString, AsFloat or AsDateTime
//     (DataSetScanBench.cpp).
// on SQLite (always) and PostgreSQL (when scripts/run-bench.sh started it).
// Then the fetch phase alone (an open result read to its end) of the
// 200,000 rows: raw loops fetching rowsets of the dataset's block size
// (forward-only; over the scrollable cursor forward, and forward then back)
// beside the table dataset (forward; forward then back) and a
// uni-directional query, and the one-row raw loop.
// The scans of one driver and size run interleaved, round after round; after
// the timings it prints the best round's times and the ratios (best and
// median), then the peak memory of
// each scan at 20,000 and 200,000 rows, each measured in a fresh process of
// its own. On a
// forward-only road (no scrolling) the backward scan is not measured: each
// step back there reads the result again from its start. Last, 10,000
// GotoBookmark calls to random rows of the dataset, counted in block fetches,
// and the allocations of each scan per row: the program replaces the global
// operator new and counts its calls (the drivers allocate with malloc, so
// what is counted is the library's own; the raw loop shows the floor).
#include "BenchTable.h"
#include "DataSetScanBench.h"

#include "velora/engine/ODBC.h"

#include <benchmark/benchmark.h>
#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Counted allocations: every operator new of the program (new[] and the
// nothrow forms go through it).

namespace {
std::atomic<long> gAllocations{0};
}  // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// Not inlined, so that the compiler does not see free() meet a pointer from new.
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

// Pastes two tokens into one name.
#define VELORA_JOIN(a, b) a##b

namespace {

using namespace velora;
using bench::CheckODBC;
using bench::TScanRow;

constexpr int kRows = velora::bench::kScanRows;
constexpr int kRowsPerBlock = 20;
const char* const kTable = velora::bench::kScanTable;
const char* const kColumns = velora::bench::kScanColumns;

struct Driver {
    std::string Name, Dsn, User, Password;
    velora::bench::TBenchSource Source() const { return {Name, Dsn, User, Password}; }
};

std::vector<Driver> Drivers() {
    std::vector<Driver> d = {{"SQLite", "VeloraTestSQLite", "", ""}};
    const char* servers = std::getenv("VELORA_TEST_SERVERS");
    if (servers && std::string(servers) == "1") d.push_back({"PostgreSQL", "VeloraPG", "velora", "velora-pw"});
    return d;
}

std::string SelectText(int limit) {
    return "SELECT id, s40, d, si, ts, s200 FROM " + std::string(kTable) + " WHERE id <= " + std::to_string(limit) +
           " ORDER BY id";
}

/// CPU time of this process (all its threads), in seconds.
double CpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

// ---------------------------------------------------------------------------
// A raw connection (straight to the driver manager, not through the library).

class RawConn {
public:
    explicit RawConn(const Driver& d) {
        ::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &Env);
        ::SQLSetEnvAttr(Env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        ::SQLAllocHandle(SQL_HANDLE_DBC, Env, &Dbc);
        auto s = [](const std::string& v) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(v.c_str())); };
        CheckODBC(::SQLConnect(Dbc, s(d.Dsn), SQL_NTS, s(d.User), SQL_NTS, s(d.Password), SQL_NTS), SQL_HANDLE_DBC, Dbc,
                  "connect " + d.Dsn);
    }
    ~RawConn() {
        ::SQLDisconnect(Dbc);
        ::SQLFreeHandle(SQL_HANDLE_DBC, Dbc);
        ::SQLFreeHandle(SQL_HANDLE_ENV, Env);
    }
    SQLHENV Env = SQL_NULL_HENV;
    SQLHDBC Dbc = SQL_NULL_HDBC;
};

/// Creates and fills the table unless it already holds its rows.
void PrepareTable(const Driver& d) {
    RawConn c(d);
    velora::bench::PrepareScanTable(c.Dbc, d.Name.c_str());
}

// ---------------------------------------------------------------------------
// The scans. Each answers a checksum so the compiler keeps the work.

/// Every bound value of a row, touched so that the compiler keeps the fetch.
long Touch(const TScanRow& r) {
    return r.Id + r.Ind[1] + r.Dec[0] + r.Si + r.Ts.second + static_cast<long>(r.Ts.fraction) + r.Ind[5] + r.S40[0] +
           r.S200[0];
}

/// Asks for the cursor the engine asks for: the drivers substitute what they
/// lack (01S02), the SQLite driver a static cursor with lock concurrency.
void AskScrollableCursor(SQLHSTMT st) {
    ::SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_KEYSET_DRIVEN), 0);
    ::SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_ROWVER), 0);
}

/// The raw loop. `scrolling`: over the cursor the engine asks for (a
/// prepared statement, a scrollable read-write cursor, SQLFetchScroll NEXT),
/// which tells the cost of the cursor apart from the cost of the engine.
long RawScan(RawConn& c, int limit, bool scrolling = false) {
    SQLHSTMT st;
    ::SQLAllocHandle(SQL_HANDLE_STMT, c.Dbc, &st);
    std::string sql = SelectText(limit);
    if (scrolling) {
        AskScrollableCursor(st);
        CheckODBC(::SQLPrepare(st, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), SQL_HANDLE_STMT, st,
                  "raw prepare");
        CheckODBC(::SQLExecute(st), SQL_HANDLE_STMT, st, "raw execute");
    } else {
        CheckODBC(::SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), SQL_HANDLE_STMT, st,
                  "raw select");
    }
    TScanRow r;
    r.Bind(st);
    long sum = 0;
    while ((scrolling ? ::SQLFetchScroll(st, SQL_FETCH_NEXT, 0) : ::SQLFetch(st)) == SQL_SUCCESS)
        sum += Touch(r);
    ::SQLFreeHandle(SQL_HANDLE_STMT, st);
    return sum;
}

/// The fetch loops of RawRowsetScan (a function of its own, so that a
/// profiler can be told to count it alone: valgrind --tool=callgrind
/// --toggle-collect='*RawRowsetLoop*').
[[gnu::noinline]] long RawRowsetLoop(SQLHSTMT st, const std::vector<TScanRow>& rows, const SQLULEN& fetched,
                                     bool back) {
    auto touch = [&] {
        long sum = 0;
        for (SQLULEN k = 0; k < fetched; ++k) sum += Touch(rows[k]);
        return sum;
    };
    long sum = 0, count = 0;
    SQLRETURN rc;
    while ((rc = ::SQLFetchScroll(st, SQL_FETCH_NEXT, 0)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
        sum += touch();
        count += static_cast<long>(fetched);
    }
    CheckODBC(rc, SQL_HANDLE_STMT, st, "raw rowset fetch");
    if (back) {
        for (long first = count > 0 ? (count - 1) / kRowsPerBlock * kRowsPerBlock : -1; first >= 0;
             first -= kRowsPerBlock) {
            rc = ::SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, static_cast<SQLLEN>(first + 1));
            CheckODBC(rc, SQL_HANDLE_STMT, st, "raw rowset fetch back");
            sum += touch();
        }
    }
    return sum;
}

/// The raw rowset loop: the six columns bound row-wise into an array of
/// kRowsPerBlock rows (the dataset's block, fetched as the engine fetches
/// it), one SQLFetchScroll a rowset, every bound value of every row touched.
/// `scrolling`: over the cursor the engine asks for (as RawScan), and when
/// `back` is set also backwards to the first row afterwards, a rowset at a
/// time by SQL_FETCH_ABSOLUTE (the engine never fetches PRIOR: SQLite's
/// static cursor answers it differently after a partial rowset). Without
/// `scrolling`, a forward-only statement. `fetchSeconds` gets the time of
/// the fetch loops alone, real and CPU seconds.
long RawRowsetScan(RawConn& c, int limit, bool scrolling, bool back, double* fetchSeconds) {
    SQLHSTMT st;
    ::SQLAllocHandle(SQL_HANDLE_STMT, c.Dbc, &st);
    std::string sql = SelectText(limit);
    if (scrolling) AskScrollableCursor(st);
    CheckODBC(::SQLPrepare(st, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), SQL_HANDLE_STMT, st,
              "raw rowset prepare");
    CheckODBC(::SQLExecute(st), SQL_HANDLE_STMT, st, "raw rowset execute");
    std::vector<TScanRow> rows(kRowsPerBlock);
    std::vector<SQLUSMALLINT> status(kRowsPerBlock);
    SQLULEN fetched = 0;
    ::SQLSetStmtAttr(st, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(sizeof(TScanRow)), 0);
    ::SQLSetStmtAttr(st, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN{kRowsPerBlock}), 0);
    ::SQLSetStmtAttr(st, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    ::SQLSetStmtAttr(st, SQL_ATTR_ROW_STATUS_PTR, status.data(), 0);
    rows[0].Bind(st);
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds();
    const long sum = RawRowsetLoop(st, rows, fetched, scrolling && back);
    if (fetchSeconds) {
        fetchSeconds[0] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        fetchSeconds[1] = CpuSeconds() - cpu;
    }
    ::SQLFreeHandle(SQL_HANDLE_STMT, st);
    return sum;
}

/// The engine's side: a connection through ODBCConnect.
class EngineConn {
public:
    explicit EngineConn(const Driver& d) {
        ODBCAllocEnv(Env);
        ODBCConnect(Dbc, Env, d.Dsn, d.User, d.Password, Mode);
    }
    ~EngineConn() {
        ODBCDisconnect(Dbc);
        ODBCFreeConnect(Dbc);
        ODBCFreeEnv(Env);
    }
    SQLHENV Env = SQL_NULL_HENV;
    SQLHDBC Dbc = SQL_NULL_HDBC;
    TCursorMode Mode = cmForwardOnly;
};

struct EngineStmt {
    EngineStmt(EngineConn& c, int limit) {
        Stmt = ODBCAllocStmt(c.Dbc);
        ODBCPrepareStmt(Stmt, SelectText(limit), ODBCREADWRITE, false, c.Mode);
        Cursor = std::make_unique<TODBC>(c.Dbc, Stmt, kTable, c.Mode);
        ODBCExecute(Stmt);
        Cursor->OpenCache(kRowsPerBlock, Cursor->RecordSize(), false);
        Record.assign(static_cast<std::size_t>(Cursor->RecordSize()) + 16, std::byte{0});
    }
    ~EngineStmt() {
        Cursor.reset();
        ODBCFreeStmt(Stmt);
    }
    /// Reads every field of the current record.
    long ReadFields() {
        long sum = 0;
        bool blank;
        union {
            std::int32_t i;
            std::int16_t s;
            double d;
            char text[256];
        } v;
        for (int f = 1; f <= 6; ++f) {
            Cursor->GetField(f, Record.data(), Cursor->RecordSize(), blank, &v);
            sum += f == 1 ? v.i : f == 4 ? v.s : (f == 3 || f == 5) ? static_cast<long>(v.d) : v.text[0];
        }
        return sum;
    }
    SQLHSTMT Stmt = SQL_NULL_HSTMT;
    std::unique_ptr<TODBC> Cursor;
    std::vector<std::byte> Record;
};

long EngineScan(EngineConn& c, int limit) {
    EngineStmt s(c, limit);
    long sum = 0;
    while (s.Cursor->GetNextRecord(s.Record.data(), false) == ODBCRecOK) sum += s.ReadFields();
    return sum;
}

long EngineBackward(EngineConn& c, int limit) {
    EngineStmt s(c, limit);
    long sum = 0;
    s.Cursor->SetToEnd();
    while (s.Cursor->GetPriorRecord(s.Record.data()) == ODBCRecOK) sum += s.ReadFields();
    return sum;
}

// ---------------------------------------------------------------------------
// Timings. The machine is shared, so the scans of one driver and size run
// interleaved, in a rotating order, round after round: a burst of load
// elsewhere then hits every scan alike instead of one of them.

enum ScanKind { kRaw, kRawCursor, kEngine, kBackward, kDataSet, kKinds };
const char* const kKindNames[kKinds] = {"raw", "raw_cursor", "engine", "backward", "dataset"};

/// Real and CPU seconds of each scan, per round.
struct Samples {
    std::vector<double> Real[kKinds], Cpu[kKinds];
};
std::map<std::string, Samples> gSamples;  // by "<driver>/<rows>"

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}


/// True when the engine's connection to the driver scrolls. On a
/// forward-only connection each step back reads the result again from its
/// start, so a backward scan is not measured there.
bool Scrolls(const Driver& d) {
    EngineConn c(d);
    return c.Mode != cmForwardOnly;
}

void RegisterTimings(const Driver& d, bool scrolls) {
    for (int rows : {20000, kRows}) {
        const std::string key = d.Name + "/" + std::to_string(rows);
        benchmark::RegisterBenchmark(
            ("Scans/" + key).c_str(),
            [d, rows, scrolls, key](benchmark::State& st) {
                RawConn raw(d);
                EngineConn eng(d);
                velora::bench::TDataSetBench dsb(d.Source());
                const std::string dsTable = velora::bench::DataSetTableName(kTable, kRows, rows);
                Samples& s = gSamples[key];
                int round = 0;
                for (auto _ : st) {
                    for (int k = 0; k < kKinds; ++k) {
                        const auto kind = static_cast<ScanKind>((k + round) % kKinds);
                        if (kind == kBackward && !scrolls) continue;
                        const auto t0 = std::chrono::steady_clock::now();
                        const double c0 = CpuSeconds();
                        switch (kind) {
                            case kRaw:
                                benchmark::DoNotOptimize(RawScan(raw, rows));
                                break;
                            case kRawCursor:
                                benchmark::DoNotOptimize(RawScan(raw, rows, true));
                                break;
                            case kEngine:
                                benchmark::DoNotOptimize(EngineScan(eng, rows));
                                break;
                            case kDataSet:
                                benchmark::DoNotOptimize(dsb.Scan(dsTable));
                                break;
                            default:
                                benchmark::DoNotOptimize(EngineBackward(eng, rows));
                                break;
                        }
                        s.Cpu[kind].push_back(CpuSeconds() - c0);
                        s.Real[kind].push_back(
                            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
                    }
                    ++round;
                }
                for (int k = 0; k < kKinds; ++k)
                    if (!s.Real[k].empty()) st.counters[std::string(kKindNames[k]) + "_ms"] = Median(s.Real[k]) * 1e3;
                st.SetItemsProcessed(st.iterations() * rows);
            })
            ->Unit(benchmark::kMillisecond)
            ->Iterations(rows == kRows ? 7 : 15)
            ->UseRealTime();
    }
}

// ---------------------------------------------------------------------------
// The fetch phase: the time from an open result to its end, without opening
// and closing, where only the library's own work differs from a raw loop.
// The raw rowset loops fetch blocks of the dataset's RowSetSize as the
// engine does; the table dataset is compared with the forward-only one (the
// floor of any scan) and with the scrollable one it rides on, forward and
// forward then back; the uni-directional query with the forward-only one.

enum PhaseKind { kPhRaw, kPhRowset, kPhRowsetScroll, kPhRowsetBoth, kPhTable, kPhTableBoth, kPhQuery, kPhKinds };
const char* const kPhaseNames[kPhKinds] = {"raw one row a fetch", "raw rowsets",        "raw scrollable rowsets",
                                           "raw scrollable both ways", "table",           "table both ways",
                                           "uni-directional query"};
/// Real and CPU seconds of each kind's fetch phase, per round.
struct PhaseSamples {
    std::vector<double> Real[kPhKinds], Cpu[kPhKinds];
};
std::map<std::string, PhaseSamples> gPhases;  // by "<driver>/<rows>"

/// The one-row raw loop's fetch phase (RawScan without the execute).
long RawScanPhase(RawConn& c, int limit, double* fetchSeconds) {
    SQLHSTMT st;
    ::SQLAllocHandle(SQL_HANDLE_STMT, c.Dbc, &st);
    std::string sql = SelectText(limit);
    CheckODBC(::SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS), SQL_HANDLE_STMT, st,
              "raw select");
    TScanRow r;
    r.Bind(st);
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuSeconds();
    long sum = 0;
    while (::SQLFetch(st) == SQL_SUCCESS)
        sum += Touch(r);
    fetchSeconds[0] = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fetchSeconds[1] = CpuSeconds() - cpu;
    ::SQLFreeHandle(SQL_HANDLE_STMT, st);
    return sum;
}

void RegisterFetchPhase(const Driver& d, bool scrolls) {
    const int rows = kRows;
    const std::string key = d.Name + "/" + std::to_string(rows);
    benchmark::RegisterBenchmark(
        ("FetchPhase/" + key).c_str(),
        [d, rows, scrolls, key](benchmark::State& st) {
            RawConn raw(d);
            velora::bench::TDataSetBench dsb(d.Source());
            const std::string dsTable = velora::bench::DataSetTableName(kTable, kRows, rows);
            auto& s = gPhases[key];
            int round = 0;
            for (auto _ : st) {
                for (int k = 0; k < kPhKinds; ++k) {
                    const auto kind = static_cast<PhaseKind>((k + round) % kPhKinds);
                    if ((kind == kPhRowsetBoth || kind == kPhTableBoth) && !scrolls) continue;
                    double t[2] = {0, 0};
                    switch (kind) {
                        case kPhRaw:
                            benchmark::DoNotOptimize(RawScanPhase(raw, rows, t));
                            break;
                        case kPhRowset:
                            benchmark::DoNotOptimize(RawRowsetScan(raw, rows, false, false, t));
                            break;
                        case kPhRowsetScroll:
                            benchmark::DoNotOptimize(RawRowsetScan(raw, rows, true, false, t));
                            break;
                        case kPhRowsetBoth:
                            benchmark::DoNotOptimize(RawRowsetScan(raw, rows, true, true, t));
                            break;
                        case kPhTable:
                            benchmark::DoNotOptimize(dsb.Scan(dsTable, t));
                            break;
                        case kPhTableBoth:
                            benchmark::DoNotOptimize(dsb.ScanBothWays(dsTable, t));
                            break;
                        default:
                            benchmark::DoNotOptimize(dsb.ScanQuery(SelectText(rows), t));
                            break;
                    }
                    s.Real[kind].push_back(t[0]);
                    s.Cpu[kind].push_back(t[1]);
                }
                ++round;
            }
            st.SetItemsProcessed(st.iterations() * rows);
        })
        ->Unit(benchmark::kMillisecond)
        ->Iterations(7)
        ->UseRealTime();
}

// ---------------------------------------------------------------------------
// Peak memory. Each scan runs in a fresh process of its own (this program
// started again with --velora-peak): a forked child would share the
// parent's heap, whose freed pages hide new allocations. The high-water mark
// is reset after connecting, so the figure is what the statement and its
// scan add.

long ReadStatusKb(const char* field) {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + std::strlen(field), nullptr, 10);
    return -1;
}

/// Kinds of scan a fresh process runs besides the ScanKinds (also for
/// profiling one scan alone, e.g. under callgrind): the uni-directional
/// query, the raw forward-only rowset loop, the raw scrollable rowset loop
/// forward then back, and the table forward then back.
enum : int { kPeakQuery = kKinds, kPeakRawRowset, kPeakRawRowsetBoth, kPeakTableBoth };

/// In the fresh process: connect, reset the high-water mark, scan, answer
/// the growth in kB.
long MeasurePeak(const Driver& d, int rows, int kind) {
    std::unique_ptr<RawConn> raw;
    std::unique_ptr<EngineConn> eng;
    std::unique_ptr<velora::bench::TDataSetBench> ds;
    if (kind == kRaw || kind == kRawCursor || kind == kPeakRawRowset || kind == kPeakRawRowsetBoth)
        raw = std::make_unique<RawConn>(d);
    else if (kind == kDataSet || kind == kPeakQuery || kind == kPeakTableBoth)
        ds = std::make_unique<velora::bench::TDataSetBench>(d.Source());
    else
        eng = std::make_unique<EngineConn>(d);
    { std::ofstream("/proc/self/clear_refs") << "5"; }
    const long base = ReadStatusKb("VmRSS:");
    if (kind == kRaw || kind == kRawCursor)
        RawScan(*raw, rows, kind == kRawCursor);
    else if (kind == kEngine)
        EngineScan(*eng, rows);
    else if (kind == kDataSet)
        ds->Scan(velora::bench::DataSetTableName(kTable, kRows, rows));
    else if (kind == kPeakQuery)
        ds->ScanQuery(SelectText(rows));
    else if (kind == kPeakRawRowset || kind == kPeakRawRowsetBoth)
        RawRowsetScan(*raw, rows, kind == kPeakRawRowsetBoth, kind == kPeakRawRowsetBoth, nullptr);
    else if (kind == kPeakTableBoth)
        ds->ScanBothWays(velora::bench::DataSetTableName(kTable, kRows, rows));
    else
        EngineBackward(*eng, rows);
    return ReadStatusKb("VmHWM:") - base;
}

long PeakOfScan(const char* self, const Driver& d, int rows, int kind) {
    std::string cmd =
        std::string(self) + " --velora-peak " + d.Name + " " + std::to_string(rows) + " " + std::to_string(kind);
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return -1;
    long result = -1;
    if (std::fscanf(p, "%ld", &result) != 1) result = -1;
    pclose(p);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("ODBCSYSINI", VELORA_ODBC_DIR, 0);
    setenv("ODBCINI", VELORA_ODBC_DIR "/odbc.ini", 0);
    const std::vector<Driver> drivers = Drivers();
    if (argc == 5 && std::string(argv[1]) == "--velora-peak") {
        for (const auto& d : drivers)
            if (d.Name == argv[2]) std::printf("%ld\n", MeasurePeak(d, std::atoi(argv[3]), std::atoi(argv[4])));
        return 0;
    }
    const char* self = "/proc/self/exe";
    char path[4096];
    ssize_t n = readlink(self, path, sizeof path - 1);
    std::string selfPath = n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string(argv[0]);
    std::map<std::string, bool> scrolls;
    for (const auto& d : drivers) {
        PrepareTable(d);
        velora::bench::PrepareDataSetTable(d.Source(), kTable, kColumns, 20000);
        scrolls[d.Name] = Scrolls(d);
        if (!scrolls[d.Name])
            std::printf("%s: the engine's connection is forward-only; no backward scan\n", d.Name.c_str());
        RegisterTimings(d, scrolls[d.Name]);
        RegisterFetchPhase(d, scrolls[d.Name]);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::VELORA_JOIN(RunSpe, cifiedBenchmarks)();

    // The best round is the one least disturbed by the rest of the machine;
    // the medians show how steady the figures were.
    std::printf("\nTimes in ms, best round (real; in brackets CPU time of this process), and ratios:\n");
    for (const auto& d : drivers) {
        for (int rows : {20000, kRows}) {
            auto it = gSamples.find(d.Name + "/" + std::to_string(rows));
            if (it == gSamples.end()) continue;
            const Samples& s = it->second;
            double r[kKinds], c[kKinds], mr[kKinds], mc[kKinds];
            for (int k = 0; k < kKinds; ++k) {
                r[k] = s.Real[k].empty() ? 0 : *std::min_element(s.Real[k].begin(), s.Real[k].end());
                c[k] = s.Cpu[k].empty() ? 0 : *std::min_element(s.Cpu[k].begin(), s.Cpu[k].end());
                mr[k] = Median(s.Real[k]);
                mc[k] = Median(s.Cpu[k]);
            }
            std::printf("  %-10s %6d rows (%zu rounds): raw %.0f (%.0f), raw cursor %.0f (%.0f), engine %.0f (%.0f)",
                        d.Name.c_str(), rows, s.Real[kRaw].size(), r[kRaw] * 1e3, c[kRaw] * 1e3, r[kRawCursor] * 1e3,
                        c[kRawCursor] * 1e3, r[kEngine] * 1e3, c[kEngine] * 1e3);
            if (r[kBackward] > 0) std::printf(", backward %.0f (%.0f)", r[kBackward] * 1e3, c[kBackward] * 1e3);
            std::printf(", dataset %.0f (%.0f)", r[kDataSet] * 1e3, c[kDataSet] * 1e3);
            std::printf("\n    best:    engine / raw %.2f (%.2f), engine / raw cursor %.2f (%.2f)",
                        r[kEngine] / r[kRaw], c[kEngine] / c[kRaw], r[kEngine] / r[kRawCursor],
                        c[kEngine] / c[kRawCursor]);
            if (r[kBackward] > 0)
                std::printf(", backward / forward %.2f (%.2f)", r[kBackward] / r[kEngine], c[kBackward] / c[kEngine]);
            std::printf(", dataset / raw %.2f (%.2f)", r[kDataSet] / r[kRaw], c[kDataSet] / c[kRaw]);
            std::printf("\n    medians: engine / raw %.2f (%.2f), engine / raw cursor %.2f (%.2f)",
                        mr[kEngine] / mr[kRaw], mc[kEngine] / mc[kRaw], mr[kEngine] / mr[kRawCursor],
                        mc[kEngine] / mc[kRawCursor]);
            if (mr[kBackward] > 0)
                std::printf(", backward / forward %.2f (%.2f)", mr[kBackward] / mr[kEngine],
                            mc[kBackward] / mc[kEngine]);
            std::printf(", dataset / raw %.2f (%.2f)", mr[kDataSet] / mr[kRaw], mc[kDataSet] / mc[kRaw]);
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    std::printf("\nFetch phase (open result to its end), ms, and ratios:\n");
    for (const auto& d : drivers) {
        auto it = gPhases.find(d.Name + "/" + std::to_string(kRows));
        if (it == gPhases.end()) continue;
        double best[kPhKinds], med[kPhKinds], cpu[kPhKinds];
        for (int k = 0; k < kPhKinds; ++k) {
            const auto& v = it->second.Real[k];
            const auto& c = it->second.Cpu[k];
            best[k] = v.empty() ? 0 : *std::min_element(v.begin(), v.end());
            med[k] = Median(v);
            cpu[k] = c.empty() ? 0 : *std::min_element(c.begin(), c.end());
        }
        std::printf("  %-10s %d rows, best real (median real) [best CPU]:", d.Name.c_str(), kRows);
        for (int k = 0; k < kPhKinds; ++k)
            if (best[k] > 0)
                std::printf("%s %s %.0f (%.0f) [%.0f]", k ? "," : "", kPhaseNames[k], best[k] * 1e3, med[k] * 1e3,
                            cpu[k] * 1e3);
        auto ratios = [&](const char* what, const double* v) {
            std::printf("\n    %s: table / raw rowsets %.2f, uni-directional query / raw rowsets %.2f, "
                        "table / raw scrollable rowsets %.2f",
                        what, v[kPhTable] / v[kPhRowset], v[kPhQuery] / v[kPhRowset], v[kPhTable] / v[kPhRowsetScroll]);
            if (v[kPhTableBoth] > 0)
                std::printf(", table both ways / raw scrollable both ways %.2f", v[kPhTableBoth] / v[kPhRowsetBoth]);
        };
        ratios("best real", best);
        ratios("median real", med);
        ratios("best CPU", cpu);
        std::printf("\n");
        std::fflush(stdout);
    }
    // VELORA_BENCH_NO_PEAK=1 leaves the peak memory out (a quicker run).
    const bool peaks = std::getenv("VELORA_BENCH_NO_PEAK") == nullptr;
    if (peaks) std::printf("\nPeak memory added by one scan (kB, a fresh process per scan):\n");
    for (const auto& d : peaks ? drivers : std::vector<Driver>{}) {
        for (int rows : {20000, kRows}) {
            const long raw = PeakOfScan(selfPath.c_str(), d, rows, kRaw);
            const long cursor = PeakOfScan(selfPath.c_str(), d, rows, kRawCursor);
            const long fwd = PeakOfScan(selfPath.c_str(), d, rows, kEngine);
            std::printf(
                "  %-10s %6d rows: raw %7ld, raw cursor %7ld, engine %7ld (%+ld over raw, %+ld over raw cursor)",
                d.Name.c_str(), rows, raw, cursor, fwd, fwd - raw, fwd - cursor);
            if (scrolls[d.Name]) {
                const long back = PeakOfScan(selfPath.c_str(), d, rows, kBackward);
                std::printf(", backward %7ld (%+ld)", back, back - raw);
            }
            const long dataset = PeakOfScan(selfPath.c_str(), d, rows, kDataSet);
            std::printf(", dataset %7ld (%+ld)", dataset, dataset - raw);
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    std::printf("\nAllocations per row of a 20,000-row scan (operator new calls):\n");
    for (const auto& d : drivers) {
        RawConn raw(d);
        EngineConn eng(d);
        velora::bench::TDataSetBench dsb(d.Source());
        const std::string dsTable = velora::bench::DataSetTableName(kTable, kRows, 20000);
        auto perRow = [](auto&& scan) {
            scan();  // once to warm up what is made once per connection
            const long before = gAllocations.load();
            scan();
            return static_cast<double>(gAllocations.load() - before) / 20000;
        };
        const double r = perRow([&] { RawScan(raw, 20000); });
        const double e = perRow([&] { EngineScan(eng, 20000); });
        const double t = perRow([&] { dsb.Scan(dsTable); });
        const double q = perRow([&] { dsb.ScanQuery(SelectText(20000)); });
        std::printf("  %-10s raw %.3f, engine %.3f, table dataset %.3f, uni-directional query %.3f\n", d.Name.c_str(),
                    r, e, t, q);
        std::fflush(stdout);
    }
    std::printf("\nGotoBookmark to 10,000 random rows of the dataset (%d rows):\n", kRows);
    for (const auto& d : drivers) {
        velora::bench::TDataSetBench b(d.Source());
        const velora::bench::TBookmarkFigures f = b.GotoBookmarks(kTable, 10000);
        std::printf("  %-10s block fetches per call %.2f, %.1f us per call, %d calls on a wrong row\n", d.Name.c_str(),
                    f.BlockFetchesPerCall, f.MicrosPerCall, f.WrongRows);
        std::fflush(stdout);
    }
    benchmark::Shutdown();
    return 0;
}
