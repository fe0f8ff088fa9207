// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The data browser on a table of 1,000,000 rows of three columns (integer
// key, 40-character text, decimal(12,2)): what `velora browse` does, with
// the grid painting on an in-memory screen of 200 x 50 instead of the
// terminal (the same grid, dataset and driver; ncurses only copies the
// screen out). Each measurement runs in a fresh process of its own:
//   - raw: a plain ODBC program executes SELECT * on the cursor the table
//     asks for (psqlODBC: keyset-driven, updatable; SQLite: the static
//     cursor our cursor library runs on), fetches the first row and then
//     the last; its execute time and its peak memory (VmHWM) are the
//     driver's own cost of holding the result;
//   - browse: TODBCTable opened on the table, the grid's first screen
//     painted, then End (the last row) painted; the times from the start of
//     Open and the peak memory.
// Prints, per driver: the first screen less the driver's execute (goal:
// under 1 s), the time to the last row (goal: under 2 s), and the browser's
// peak memory less the raw program's (goal: at most 20 MB). SQLite always;
// PostgreSQL when scripts/run-bench.sh started it. The table is filled on
// first use (SQLite's stays in the build folder).
#include "ChildProcess.h"
#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCTable.h"
#include "velora/tui/DBGrid.h"

#include <sql.h>
#include <sqlext.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace velora;
using Clock = std::chrono::steady_clock;

constexpr int kRows = 1000000;
const char* const kTable = "bench_browse";

struct TSource {
    std::string Name, Dsn, User, Password;
    /// The table's cursor on this driver: keyset-driven and updatable
    /// (psqlODBC, which then also keeps the keys of every row), else the
    /// driver's static cursor under our cursor library (SQLite).
    bool Keyset;
};

std::vector<TSource> Sources() {
    std::vector<TSource> s = {{"SQLite", "VeloraTestSQLite", "", "", false}};
    const char* servers = std::getenv("VELORA_TEST_SERVERS");
    if (servers && std::string(servers) == "1") s.push_back({"PostgreSQL", "VeloraPG", "velora", "velora-pw", true});
    return s;
}

double Ms(Clock::time_point from) { return std::chrono::duration<double, std::milli>(Clock::now() - from).count(); }

/// A plain ODBC connection for the raw measurement and for filling.
struct TRaw {
    SQLHENV Env = SQL_NULL_HENV;
    SQLHDBC Dbc = SQL_NULL_HDBC;
    explicit TRaw(const TSource& s) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &Env);
        SQLSetEnvAttr(Env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, Env, &Dbc);
        auto str = [](const std::string& v) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(v.c_str())); };
        if (!SQL_SUCCEEDED(SQLConnect(Dbc, str(s.Dsn), SQL_NTS, str(s.User), SQL_NTS, str(s.Password), SQL_NTS)))
            throw std::runtime_error("cannot connect to " + s.Dsn);
    }
    ~TRaw() {
        SQLDisconnect(Dbc);
        SQLFreeHandle(SQL_HANDLE_DBC, Dbc);
        SQLFreeHandle(SQL_HANDLE_ENV, Env);
    }
    void Exec(const std::string& sql) {
        SQLHSTMT st = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, Dbc, &st);
        const SQLRETURN rc = SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) throw std::runtime_error("failed: " + sql);
    }
    long Count(const std::string& sql) {
        SQLHSTMT st = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, Dbc, &st);
        SQLINTEGER n = -1;
        SQLLEN ind = 0;
        if (SQL_SUCCEEDED(SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS)) &&
            SQL_SUCCEEDED(SQLFetch(st)))
            SQLGetData(st, 1, SQL_C_SLONG, &n, 0, &ind);
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        return n;
    }
};

void Fill(const TSource& s) {
    TRaw raw(s);
    if (raw.Count(std::string("SELECT count(*) FROM ") + kTable) == kRows) return;
    std::printf("  filling %s with %d rows...\n", kTable, kRows);
    std::fflush(stdout);
    raw.Exec(std::string("DROP TABLE IF EXISTS ") + kTable);
    raw.Exec(std::string("CREATE TABLE ") + kTable +
             " (id integer primary key, name varchar(40), amount decimal(12,2))");
    const std::string values = "x, 'customer name number ' || x, (x % 100000) / 100.0";
    if (s.Name == "PostgreSQL")
        raw.Exec(std::string("INSERT INTO ") + kTable + " SELECT " + values + " FROM generate_series(1, " +
                 std::to_string(kRows) + ") AS g(x)");
    else
        raw.Exec("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " + std::to_string(kRows) +
                 ") INSERT INTO " + std::string(kTable) + " SELECT " + values + " FROM c");
}

/// Figures a child process hands back.
struct TFigures {
    double ExecuteMs = -1;
    double FirstScreenMs = -1;
    double LastRowMs = -1;
    long PeakKb = -1;
    int LastId = -1;
    char Error[160] = {};
};

void RawRun(const TSource& s, TFigures& f) {
    TRaw raw(s);
    SQLHSTMT st = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, raw.Dbc, &st);
    // The cursor and text the table opens with.
    const SQLULEN type = s.Keyset ? SQL_CURSOR_KEYSET_DRIVEN : SQL_CURSOR_STATIC;
    const SQLULEN concurrency = s.Keyset ? SQL_CONCUR_ROWVER : SQL_CONCUR_READ_ONLY;
    SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(type), 0);
    SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(concurrency), 0);
    const std::string sql = std::string("SELECT * FROM ") + kTable + (s.Keyset ? " WHERE 1=1" : "");
    const auto start = Clock::now();
    if (!SQL_SUCCEEDED(SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS)))
        throw std::runtime_error("raw execute failed");
    f.ExecuteMs = Ms(start);
    SQLINTEGER id = 0;
    SQLLEN ind = 0;
    SQLBindCol(st, 1, SQL_C_SLONG, &id, 0, &ind);
    SQLFetchScroll(st, SQL_FETCH_FIRST, 0);
    f.FirstScreenMs = Ms(start);
    SQLFetchScroll(st, SQL_FETCH_LAST, 0);
    f.LastRowMs = Ms(start);
    f.LastId = id;
    SQLFreeHandle(SQL_HANDLE_STMT, st);
}

void BrowseRun(const TSource& s, TFigures& f) {
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    auto* db = new TODBCDatabase(owner.get());
    db->SetDataSourceName(s.Dsn);
    db->SetLoginPrompt(false);
    if (!s.User.empty()) {
        db->Params()->SetValues("USER NAME", s.User);
        db->Params()->Add("PASSWORD=" + s.Password);
    }
    db->Open();
    auto* table = new TODBCTable(owner.get());
    table->SetDataBase(db);
    table->SetTableName(kTable);
    auto* source = new TDataSource(owner.get());
    source->SetDataSet(table);
    tui::TVirtualScreen screen(200, 50);
    tui::TDBGrid grid;
    grid.SetBounds(1, 0, 47, 200);
    grid.SetDataSource(source);

    const auto start = Clock::now();
    table->Open();
    grid.Paint(screen);
    f.FirstScreenMs = Ms(start);
    grid.HandleKey({tui::TKey::End, 0});
    grid.Paint(screen);
    f.LastRowMs = Ms(start);
    f.LastId = table->FieldByName("id")->AsInteger();
    if (!grid.Message().empty()) throw std::runtime_error(grid.Message());
    grid.SetDataSource(nullptr);
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const char* dir = VELORA_ODBC_DIR;
    ::setenv("ODBCSYSINI", dir, 0);
    ::setenv("ODBCINI", (std::string(dir) + "/odbc.ini").c_str(), 0);
    int failures = 0;
    for (const TSource& s : Sources()) {
        std::printf("%s, %d rows of three columns:\n", s.Name.c_str(), kRows);
        Fill(s);
        const TFigures raw = bench::InChild<TFigures>([&](TFigures& f) { RawRun(s, f); });
        const TFigures browse = bench::InChild<TFigures>([&](TFigures& f) { BrowseRun(s, f); });
        for (const TFigures* f : {&raw, &browse})
            if (f->Error[0]) {
                std::printf("  error: %s\n", f->Error);
                ++failures;
            }
        if (raw.Error[0] || browse.Error[0]) continue;
        const double overFirst = browse.FirstScreenMs - raw.ExecuteMs;
        const double overMemoryMb = (browse.PeakKb - raw.PeakKb) / 1024.0;
        std::printf("  raw ODBC:  execute %.0f ms, last row at %.0f ms, peak memory %.1f MB (last id %d)\n",
                    raw.ExecuteMs, raw.LastRowMs, raw.PeakKb / 1024.0, raw.LastId);
        std::printf("  browse:    first screen at %.0f ms, last row at %.0f ms, peak memory %.1f MB (last id %d)\n",
                    browse.FirstScreenMs, browse.LastRowMs, browse.PeakKb / 1024.0, browse.LastId);
        std::printf("  first screen %.0f ms after the driver's execute (goal < 1000): %s\n", overFirst,
                    overFirst < 1000 ? "met" : "MISSED");
        std::printf("  last row in %.0f ms (goal < 2000): %s\n", browse.LastRowMs - browse.FirstScreenMs,
                    browse.LastRowMs - browse.FirstScreenMs < 2000 ? "met" : "MISSED");
        std::printf("  memory over the driver's holding %.1f MB (goal <= 20): %s\n", overMemoryMb,
                    overMemoryMb <= 20 ? "met" : "MISSED");
        if (browse.LastId != raw.LastId) {
            std::printf("  the browser's last row (%d) is not the driver's (%d)\n", browse.LastId, raw.LastId);
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
