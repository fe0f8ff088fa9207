// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// A table dataset over a big table of six columns (integer key, 40-character
// text, decimal(12,2), double, date, timestamp), two ways: the data source's
// own scrollable cursor (the keyset road on psqlODBC, the driver's static
// cursor under our cursor library on SQLite and MariaDB) and the key range
// cursor (KeyRangeCursor). Each measurement runs in a fresh process of its
// own, so its peak memory (VmHWM) is its own:
//   - open and first block; Last; 1,000 GotoBookmark to random rows whose
//     bookmarks a first pass over the first rows took; a forward scan of
//     SCAN rows reading every field;
//   - raw ODBC beside them: 1,000 prepared SELECT ... WHERE id = ? lookups of
//     the same keys, and a forward-only loop over SCAN rows with bound
//     columns (ORDER BY id LIMIT SCAN).
// Prints the figures and the ratios against the goals (open under 0.2 s,
// Last under 1 s, lookups within 2x, scan within 1.3x, memory at most
// 50 MiB). Arguments: ROWS (default 1,000,000) and SCAN (default the lesser
// of ROWS and 1,000,000); "--no-own" leaves the data source's own cursor
// out (it holds the whole result: several GB at 10,000,000 rows);
// "--only=NAME" runs one data source (SQLite, PostgreSQL or MariaDB). SQLite
// always (but with "--servers"); PostgreSQL and MariaDB when
// scripts/run-bench.sh started them.
#include "ChildProcess.h"
#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCTable.h"

#include <sql.h>
#include <sqlext.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace velora;
using Clock = std::chrono::steady_clock;

constexpr int kLookups = 1000;

struct TSource {
    std::string Name, Dsn, User, Password;
};

std::vector<TSource> Sources() {
    std::vector<TSource> s = {{"SQLite", "VeloraTestSQLite", "", ""}};
    const char* servers = std::getenv("VELORA_TEST_SERVERS");
    if (servers && std::string(servers) == "1") {
        s.push_back({"PostgreSQL", "VeloraPG", "velora", "velora-pw"});
        s.push_back({"MariaDB", "VeloraMaria", "velora", "velora-pw"});
    }
    return s;
}

double Ms(Clock::time_point from) { return std::chrono::duration<double, std::milli>(Clock::now() - from).count(); }

SQLCHAR* Text(const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }

struct TRaw {
    SQLHENV Env = SQL_NULL_HENV;
    SQLHDBC Dbc = SQL_NULL_HDBC;
    explicit TRaw(const TSource& s) {
        SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &Env);
        SQLSetEnvAttr(Env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        SQLAllocHandle(SQL_HANDLE_DBC, Env, &Dbc);
        if (!SQL_SUCCEEDED(SQLConnect(Dbc, Text(s.Dsn), SQL_NTS, Text(s.User), SQL_NTS, Text(s.Password), SQL_NTS)))
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
        const SQLRETURN rc = SQLExecDirect(st, Text(sql), SQL_NTS);
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) throw std::runtime_error("failed: " + sql);
    }
    long Count(const std::string& sql) {
        SQLHSTMT st = SQL_NULL_HSTMT;
        SQLAllocHandle(SQL_HANDLE_STMT, Dbc, &st);
        SQLINTEGER n = -1;
        SQLLEN ind = 0;
        if (SQL_SUCCEEDED(SQLExecDirect(st, Text(sql), SQL_NTS)) && SQL_SUCCEEDED(SQLFetch(st)))
            SQLGetData(st, 1, SQL_C_SLONG, &n, 0, &ind);
        SQLFreeHandle(SQL_HANDLE_STMT, st);
        return n;
    }
};

std::string TableName(int rows) { return "bench_keyrange_" + std::to_string(rows); }

void Fill(const TSource& s, int rows) {
    TRaw raw(s);
    const std::string table = TableName(rows);
    try {
        if (raw.Count("SELECT count(*) FROM " + table) == rows) return;
    } catch (...) {
    }
    std::printf("  filling %s with %d rows...\n", table.c_str(), rows);
    raw.Exec("DROP TABLE IF EXISTS " + table);
    raw.Exec("CREATE TABLE " + table +
             " (id integer primary key, name varchar(40), amount decimal(12,2), ratio double precision, "
             "day date, stamp timestamp)");
    const std::string n = std::to_string(rows);
    if (s.Name == "PostgreSQL") {
        raw.Exec("INSERT INTO " + table +
                 " SELECT x, 'customer name number ' || x, (x % 100000) / 100.0, x / 7.0, "
                 "date '2020-01-01' + (x % 3000), timestamp '2020-01-01' + x * interval '1 second' "
                 "FROM generate_series(1, " + n + ") AS g(x)");
        // What autovacuum does to a table after a bulk insert: the first scan
        // of a table just filled sets every row's hint bits (writing the
        // whole table again), which a table people browse has long behind it.
        raw.Exec("VACUUM ANALYZE " + table);
    } else if (s.Name == "MariaDB") {
        raw.Exec("INSERT INTO " + table +
                 " SELECT seq, concat('customer name number ', seq), (seq % 100000) / 100.0, seq / 7.0, "
                 "date '2020-01-01' + interval (seq % 3000) day, "
                 "timestamp '2020-01-01 00:00:00' + interval seq second FROM seq_1_to_" + n);
    } else {
        raw.Exec("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " + n + ") INSERT INTO " +
                 table + " SELECT x, 'customer name number ' || x, (x % 100000) / 100.0, x / 7.0, "
                 "date('2020-01-01', '+' || (x % 3000) || ' days'), "
                 "datetime('2020-01-01', '+' || x || ' seconds') FROM c");
    }
}

struct TFigures {
    double OpenMs = -1, LastMs = -1, LookupMs = -1, ScanMs = -1;
    long PeakKb = -1;
    long Checksum = 0;
    char Error[200] = {};
};

/// The keys (row numbers) the lookups visit, the same for every contestant.
std::vector<int> LookupRows(int scan) {
    std::mt19937 random(20261209);
    std::uniform_int_distribution<int> pick(1, scan);
    std::vector<int> rows(kLookups);
    for (int& r : rows) r = pick(random);
    return rows;
}

/// The raw forward loop (a function of its own, so a profiler can measure it
/// alone: callgrind --toggle-collect='*RawForwardLoop*').
[[gnu::noinline]] void RawForwardLoop(SQLHSTMT st, const std::string& table, int scan,
                                      const std::function<void()>& bind, const SQLINTEGER& id, TFigures& f) {
    // LIMIT: the drivers would otherwise read the whole table at execution (a
    // scan of 1,000,000 rows of 10,000,000 would read them all).
    const std::string all =
        "SELECT id, name, amount, ratio, day, stamp FROM " + table + " ORDER BY id LIMIT " + std::to_string(scan);
    if (!SQL_SUCCEEDED(SQLExecDirect(st, Text(all), SQL_NTS))) throw std::runtime_error("raw scan failed");
    bind();
    for (int i = 0; i < scan && SQL_SUCCEEDED(SQLFetch(st)); ++i) f.Checksum += id;
}

void RawRun(const TSource& s, int rows, int scan, TFigures& f) {
    TRaw raw(s);
    const std::string table = TableName(rows);
    SQLHSTMT st = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, raw.Dbc, &st);
    SQLINTEGER key = 0, id = 0;
    SQLLEN keyInd = 0, ind[6] = {};
    char name[41], amount[32], day[16], stamp[32];
    double ratio = 0;
    SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, &key, 0, &keyInd);
    const std::string one = "SELECT id, name, amount, ratio, day, stamp FROM " + table + " WHERE id = ?";
    auto bind = [&] {
        SQLBindCol(st, 1, SQL_C_SLONG, &id, 0, &ind[0]);
        SQLBindCol(st, 2, SQL_C_CHAR, name, sizeof name, &ind[1]);
        SQLBindCol(st, 3, SQL_C_CHAR, amount, sizeof amount, &ind[2]);
        SQLBindCol(st, 4, SQL_C_DOUBLE, &ratio, 0, &ind[3]);
        SQLBindCol(st, 5, SQL_C_CHAR, day, sizeof day, &ind[4]);
        SQLBindCol(st, 6, SQL_C_CHAR, stamp, sizeof stamp, &ind[5]);
    };
    if (!SQL_SUCCEEDED(SQLPrepare(st, Text(one), SQL_NTS))) throw std::runtime_error("raw prepare failed");
    bind();
    auto start = Clock::now();
    for (int row : LookupRows(scan)) {
        key = row;
        if (!SQL_SUCCEEDED(SQLExecute(st)) || !SQL_SUCCEEDED(SQLFetch(st))) throw std::runtime_error("raw lookup");
        f.Checksum += id;
        SQLFreeStmt(st, SQL_CLOSE);
    }
    f.LookupMs = Ms(start);
    SQLFreeHandle(SQL_HANDLE_STMT, st);

    SQLAllocHandle(SQL_HANDLE_STMT, raw.Dbc, &st);
    start = Clock::now();
    RawForwardLoop(st, table, scan, bind, id, f);
    f.ScanMs = Ms(start);
    SQLFreeHandle(SQL_HANDLE_STMT, st);
}

/// The dataset's forward scan (callgrind --toggle-collect='*TableScan*'),
/// taking the bookmarks of the rows in `sorted`.
[[gnu::noinline]] void TableScan(TODBCTable& table, TField* const* fields, int scan, const std::vector<int>& sorted,
                                 std::vector<std::pair<int, TBookmark>>& marks, TFigures& f) {
    table.First();
    std::size_t next = 0;
    for (int i = 1; i <= scan && !table.Eof(); ++i) {
        const int id = fields[0]->AsInteger();
        f.Checksum += id;
        for (int c = 1; c < 6; ++c) f.Checksum += static_cast<long>(fields[c]->AsString().size());
        while (next < sorted.size() && sorted[next] == id) {
            marks.emplace_back(id, table.GetBookmark());
            ++next;
        }
        table.Next();
    }
}

void TableRun(const TSource& s, int rows, int scan, bool keyRange, TFigures& f) {
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
    table->SetTableName(TableName(rows));
    table->SetKeyRangeCursor(keyRange);
    table->IndexParams()->Add("id");
    table->SetIndexed(true);

    auto start = Clock::now();
    table->Open();
    f.OpenMs = Ms(start);
    start = Clock::now();
    table->Last();
    f.LastMs = Ms(start);
    if (table->FieldByName("id")->AsInteger() != rows) throw std::runtime_error("Last is not the last row");

    // The scan: every field read, and the bookmarks of the rows the lookups visit.
    const std::vector<int> targets = LookupRows(scan);
    std::vector<int> sorted = targets;
    std::sort(sorted.begin(), sorted.end());
    std::vector<std::pair<int, TBookmark>> marks;
    TField* fields[6];
    for (int i = 0; i < 6; ++i) fields[i] = table->Fields().Fields(i);
    start = Clock::now();
    TableScan(*table, fields, scan, sorted, marks, f);
    f.ScanMs = Ms(start);
    std::sort(marks.begin(), marks.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    start = Clock::now();
    long lookups = 0;
    for (int row : targets) {
        auto it = std::lower_bound(marks.begin(), marks.end(), row,
                                   [](const auto& m, int r) { return m.first < r; });
        if (it == marks.end() || it->first != row) throw std::runtime_error("a bookmark is missing");
        table->GotoBookmark(it->second);
        lookups += fields[0]->AsInteger();
    }
    f.LookupMs = Ms(start);
    // The lookups' checksum agrees with the raw lookups' (which count the same ids).
    f.Checksum = lookups;
    table->Close();
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const char* dir = VELORA_ODBC_DIR;
    ::setenv("ODBCSYSINI", dir, 0);
    ::setenv("ODBCINI", (std::string(dir) + "/odbc.ini").c_str(), 0);
    int rows = 1000000, scan = -1;
    bool own = true, serversOnly = false;
    std::string only;
    std::vector<int> numbers;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--no-own") == 0)
            own = false;
        else if (std::strncmp(argv[i], "--only=", 7) == 0)
            only = argv[i] + 7;
        else if (std::strcmp(argv[i], "--servers") == 0)
            serversOnly = true;
        else
            numbers.push_back(std::atoi(argv[i]));
    }
    if (!numbers.empty() && numbers[0] > 0) rows = numbers[0];
    if (numbers.size() > 1) scan = numbers[1];
    if (scan <= 0) scan = std::min(rows, 1000000);
    scan = std::min(scan, rows);
    int failures = 0;
    for (const TSource& s : Sources()) {
        if ((serversOnly && s.Name == "SQLite") || (!only.empty() && s.Name != only)) continue;
        std::printf("%s, %d rows of six columns, scan of %d rows:\n", s.Name.c_str(), rows, scan);
        Fill(s, rows);
        const TFigures raw = bench::InChild<TFigures>([&](TFigures& f) { RawRun(s, rows, scan, f); });
        const TFigures range = bench::InChild<TFigures>([&](TFigures& f) { TableRun(s, rows, scan, true, f); });
        TFigures ownCursor;
        if (own) ownCursor = bench::InChild<TFigures>([&](TFigures& f) { TableRun(s, rows, scan, false, f); });
        for (const TFigures* f : {&raw, &range, const_cast<const TFigures*>(&ownCursor)})
            if (f->Error[0]) {
                std::printf("  error: %s\n", f->Error);
                ++failures;
            }
        if (raw.Error[0] || range.Error[0]) continue;
        std::printf("  %-22s %10s %10s %14s %12s %10s\n", "", "open ms", "Last ms", "1,000 jumps ms", "scan ms",
                    "peak MiB");
        std::printf("  %-22s %10s %10s %14.0f %12.0f %10.1f\n", "raw ODBC", "", "", raw.LookupMs, raw.ScanMs,
                    raw.PeakKb / 1024.0);
        std::printf("  %-22s %10.0f %10.0f %14.0f %12.0f %10.1f\n", "key range cursor", range.OpenMs, range.LastMs,
                    range.LookupMs, range.ScanMs, range.PeakKb / 1024.0);
        if (own && !ownCursor.Error[0])
            std::printf("  %-22s %10.0f %10.0f %14.0f %12.0f %10.1f\n", "the data source's own", ownCursor.OpenMs,
                        ownCursor.LastMs, ownCursor.LookupMs, ownCursor.ScanMs, ownCursor.PeakKb / 1024.0);
        const auto verdict = [](bool met) { return met ? "met" : "MISSED"; };
        std::printf("  key range: open %.2f s (goal <= 0.2) %s; Last %.2f s (goal <= 1) %s; jumps %.2fx raw lookups "
                    "(goal <= 2) %s; scan %.2fx raw loop (goal <= 1.3) %s; peak %.1f MiB (goal <= 50) %s\n",
                    range.OpenMs / 1000, verdict(range.OpenMs <= 200), range.LastMs / 1000,
                    verdict(range.LastMs <= 1000), range.LookupMs / raw.LookupMs,
                    verdict(range.LookupMs <= 2 * raw.LookupMs), range.ScanMs / raw.ScanMs,
                    verdict(range.ScanMs <= 1.3 * raw.ScanMs), range.PeakKb / 1024.0,
                    verdict(range.PeakKb <= 50 * 1024));
        long expected = 0;
        for (int row : LookupRows(scan)) expected += row;
        if (range.Checksum != expected) {
            std::printf("  the key range cursor's jumps landed on other rows (%ld, expected %ld)\n", range.Checksum,
                        expected);
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
