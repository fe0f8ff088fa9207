// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Velora beside its peers, reading the scan table (BenchTable.h, 200,000
// rows) in the same run, every value of every row touched:
//   - raw: a forward-only statement, the six columns bound, one SQLFetch a row;
//   - velora table: TODBCTable ordered by id, First to Eof, every field
//     through its field object;
//   - velora query: a uni-directional TODBCQuery, the same reads;
//   - SOCI rowset: rowset<row> over SOCI's ODBC back end (when built with it);
//   - Qt forward-only: QSqlQuery with setForwardOnly(true) over the QODBC
//     driver (when built with it);
// and 10,000 jumps to random rows: raw SQLFetchScroll(SQL_FETCH_ABSOLUTE) on
// the scrollable cursor the engine asks for (the six columns bound, as the
// dataset fetches whole rows), TODBCTable::GotoBookmark, Qt's
// QSqlQuery::seek; and two passes, forward to the end then back to the
// start: the raw scrollable cursor with FETCH_NEXT then FETCH_PRIOR, and
// TODBCTable First..Eof then Last..Bof. The scans run again with the drivers' streaming options
// (SQLite's StepAPI=1, psqlODBC's UseDeclareFetch=1;Fetch=1000) in the
// connection string of every contestant.
// Each contestant runs in a process of its own (this program started again
// with --contestant), so its peak memory (VmHWM, the whole process) is its
// own; the contestants take turns round after round, so a burst of load
// elsewhere on the machine hits all of them alike. Printed: one table of
// contestant, driver, median seconds, ratio to raw (the raw loop of its
// group), peak memory. VELORA_PEER_ROUNDS sets the rounds (default 3).
#include "BenchTable.h"
#include "DataSetScanBench.h"

#include <sql.h>
#include <sqlext.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef VELORA_BENCH_SOCI
// SOCI's Boost integration (binding Boost.Fusion sequences and dates) is
// header-only and not used here; leaving it out spares the Boost headers.
#include <soci/soci-config.h>
#undef SOCI_HAVE_BOOST
#undef SOCI_HAVE_BOOST_DATE_TIME
#include <soci/odbc/soci-odbc.h>
#include <soci/soci.h>
#endif
#ifdef VELORA_BENCH_QT
#include <QCoreApplication>
#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#endif

namespace {

using velora::bench::CheckODBC;
using velora::bench::kScanRows;
using velora::bench::kScanTable;
using velora::bench::TScanRow;

/// A data source, with the driver's own options (`Options`, added to the
/// connection string of every contestant) for the streaming variants.
struct Driver {
    std::string Name, Dsn, User, Password, Options;
    std::string ConnectionString(bool account = true) const {
        std::string s = "DSN=" + Dsn;
        if (!Options.empty()) s += ";" + Options;
        if (account && !User.empty()) s += ";UID=" + User + ";PWD=" + Password;
        return s;
    }
};

/// The drivers as the tests configure them, then with the options that make
/// them hand over rows as they are read instead of holding the whole result:
/// SQLite's StepAPI=1 and psqlODBC's cursor-based fetching.
std::vector<Driver> Drivers() {
    std::vector<Driver> d = {{"SQLite", "VeloraTestSQLite", "", "", ""}};
    const char* servers = std::getenv("VELORA_TEST_SERVERS");
    const bool pg = servers && std::string(servers) == "1";
    if (pg) d.push_back({"PostgreSQL", "VeloraPG", "velora", "velora-pw", ""});
    d.push_back({"SQLite+step", "VeloraTestSQLite", "", "", "StepAPI=1"});
    if (pg) d.push_back({"PG+declare", "VeloraPG", "velora", "velora-pw", "UseDeclareFetch=1;Fetch=1000"});
    return d;
}

constexpr int kJumps = 10000;

const std::string kSelect = "SELECT id, s40, d, si, ts, s200 FROM " + std::string(kScanTable) + " ORDER BY id";

// ---------------------------------------------------------------------------
// The contestants. Each connects (not timed), then answers the seconds one
// scan took and a checksum.

struct Result {
    double Seconds = 0;
    long Sum = 0;
};

template <class F>
Result Timed(F scan) {
    const auto t0 = std::chrono::steady_clock::now();
    Result r;
    r.Sum = scan();
    r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    return r;
}

class RawConn {
public:
    explicit RawConn(const Driver& d) {
        ::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &Env);
        ::SQLSetEnvAttr(Env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        ::SQLAllocHandle(SQL_HANDLE_DBC, Env, &Dbc);
        std::string text = d.ConnectionString();
        SQLSMALLINT outLen = 0;
        CheckODBC(::SQLDriverConnect(Dbc, nullptr, reinterpret_cast<SQLCHAR*>(text.data()), SQL_NTS, nullptr, 0,
                                     &outLen, SQL_DRIVER_NOPROMPT),
                  SQL_HANDLE_DBC, Dbc, "connect");
    }
    ~RawConn() {
        ::SQLDisconnect(Dbc);
        ::SQLFreeHandle(SQL_HANDLE_DBC, Dbc);
        ::SQLFreeHandle(SQL_HANDLE_ENV, Env);
    }
    SQLHENV Env = SQL_NULL_HENV;
    SQLHDBC Dbc = SQL_NULL_HDBC;
};

Result RunRaw(const Driver& d) {
    RawConn c(d);
    return Timed([&] {
        SQLHSTMT st;
        ::SQLAllocHandle(SQL_HANDLE_STMT, c.Dbc, &st);
        CheckODBC(::SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(kSelect.c_str())), SQL_NTS),
                  SQL_HANDLE_STMT, st, "raw select");
        TScanRow r;
        r.Bind(st);
        long sum = 0;
        while (::SQLFetch(st) == SQL_SUCCESS)
            sum += r.Id + r.Si + r.Ind[1] + r.Ind[5] + static_cast<long>(std::strtod(r.Dec, nullptr)) + r.Ts.second;
        ::SQLFreeHandle(SQL_HANDLE_STMT, st);
        return sum;
    });
}

/// The benchmark's select on the scrollable cursor the table asks for (the
/// driver may grant a static one).
SQLHSTMT ExecScrollable(SQLHDBC dbc) {
    SQLHSTMT st;
    ::SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st);
    ::SQLSetStmtAttr(st, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_KEYSET_DRIVEN), 0);
    ::SQLSetStmtAttr(st, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_ROWVER), 0);
    CheckODBC(::SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(kSelect.c_str())), SQL_NTS),
              SQL_HANDLE_STMT, st, "raw select");
    return st;
}

/// Raw two passes: the scrollable cursor, forward with FETCH_NEXT to the
/// end, then back with FETCH_PRIOR to the start, the values touched as in
/// the forward loop.
Result RunRawBothWays(const Driver& d) {
    RawConn c(d);
    return Timed([&] {
        SQLHSTMT st = ExecScrollable(c.Dbc);
        TScanRow r;
        r.Bind(st);
        long sum = 0;
        for (SQLSMALLINT way : {SQL_FETCH_NEXT, SQL_FETCH_PRIOR})
            while (::SQLFetchScroll(st, way, 0) == SQL_SUCCESS)
                sum += r.Id + r.Si + r.Ind[1] + r.Ind[5] + static_cast<long>(std::strtod(r.Dec, nullptr)) + r.Ts.second;
        ::SQLFreeHandle(SQL_HANDLE_STMT, st);
        return sum;
    });
}

Result RunVeloraBothWays(const Driver& d) {
    velora::bench::TDataSetBench b({d.Name, d.Dsn, d.User, d.Password});
    return Timed([&] { return b.ScanBothWays(kScanTable); });
}

Result RunVelora(const Driver& d, bool query) {
    // A value holding '=' is a connection string to the database.
    velora::bench::TDataSetBench b({d.Name, d.Options.empty() ? d.Dsn : d.ConnectionString(false), d.User, d.Password});
    return Timed([&] { return query ? b.ScanQuery(kSelect) : b.Scan(kScanTable); });
}

/// The rows the jumps go to, the same for every contestant.
std::vector<int> JumpRows() {
    std::mt19937 rng(20260);
    std::vector<int> rows(kJumps);
    for (int& r : rows) r = static_cast<int>(rng() % kScanRows);
    return rows;
}

/// Raw jumps: the scrollable cursor the engine asks for, SQLFetchScroll
/// ABSOLUTE to each row, the bound values touched.
Result RunRawJumps(const Driver& d) {
    RawConn c(d);
    SQLHSTMT st = ExecScrollable(c.Dbc);
    // The six columns bound, as the dataset fetches the whole row it lands on.
    TScanRow row;
    row.Bind(st);
    const std::vector<int> rows = JumpRows();
    const Result r = Timed([&] {
        long sum = 0;
        for (int n : rows)
            if (SQL_SUCCEEDED(::SQLFetchScroll(st, SQL_FETCH_ABSOLUTE, n + 1))) sum += row.Id + row.Ind[1];
        return sum;
    });
    ::SQLFreeHandle(SQL_HANDLE_STMT, st);
    return r;
}

Result RunVeloraJumps(const Driver& d) {
    velora::bench::TDataSetBench b({d.Name, d.Dsn, d.User, d.Password});
    const velora::bench::TBookmarkFigures f = b.GotoBookmarks(kScanTable, kJumps);
    if (f.WrongRows) throw std::runtime_error("GotoBookmark landed on a wrong row");
    return {f.MicrosPerCall * f.Calls / 1e6, f.Calls};
}

#ifdef VELORA_BENCH_SOCI
Result RunSoci(const Driver& d) {
    soci::session sql(soci::odbc, d.ConnectionString());
    return Timed([&] {
        long sum = 0;
        soci::rowset<soci::row> rs = (sql.prepare << kSelect);
        for (const soci::row& r : rs) {
            for (std::size_t i = 0; i < r.size(); ++i) {
                if (r.get_indicator(i) == soci::i_null) continue;
                switch (r.get_properties(i).get_data_type()) {
                    case soci::dt_string:
                        sum += static_cast<long>(r.get<std::string>(i).size());
                        break;
                    case soci::dt_double:
                        sum += static_cast<long>(r.get<double>(i));
                        break;
                    case soci::dt_integer:
                        sum += r.get<int>(i);
                        break;
                    case soci::dt_long_long:
                        sum += static_cast<long>(r.get<long long>(i));
                        break;
                    case soci::dt_unsigned_long_long:
                        sum += static_cast<long>(r.get<unsigned long long>(i));
                        break;
                    case soci::dt_date:
                        sum += r.get<std::tm>(i).tm_sec;
                        break;
                    default:
                        break;
                }
            }
        }
        return sum;
    });
}
#endif

#ifdef VELORA_BENCH_QT
Result RunQt(const Driver& d) {
    Result r;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QODBC", "peer");
        // QODBC puts "DSN=" before the text (it has no DRIVER= or FILEDSN=).
        db.setDatabaseName(QString::fromStdString(d.Options.empty() ? d.Dsn : d.Dsn + ";" + d.Options));
        db.setUserName(QString::fromStdString(d.User));
        db.setPassword(QString::fromStdString(d.Password));
        if (!db.open()) throw std::runtime_error("Qt: " + db.lastError().text().toStdString());
        r = Timed([&] {
            QSqlQuery q(db);
            q.setForwardOnly(true);
            if (!q.exec(QString::fromStdString(kSelect)))
                throw std::runtime_error("Qt: " + q.lastError().text().toStdString());
            long sum = 0;
            while (q.next()) {
                sum += q.value(0).toInt() + q.value(3).toInt();
                sum += q.value(1).toString().size() + q.value(5).toString().size();
                sum += static_cast<long>(q.value(2).toDouble());
                sum += q.value(4).toDateTime().time().second();
            }
            return sum;
        });
        db.close();
    }
    QSqlDatabase::removeDatabase("peer");
    return r;
}

Result RunQtJumps(const Driver& d) {
    Result r;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QODBC", "peer");
        db.setDatabaseName(QString::fromStdString(d.Dsn));
        db.setUserName(QString::fromStdString(d.User));
        db.setPassword(QString::fromStdString(d.Password));
        if (!db.open()) throw std::runtime_error("Qt: " + db.lastError().text().toStdString());
        {
            QSqlQuery q(db);
            if (!q.exec(QString::fromStdString(kSelect)))
                throw std::runtime_error("Qt: " + q.lastError().text().toStdString());
            const std::vector<int> rows = JumpRows();
            r = Timed([&] {
                long sum = 0;
                for (int row : rows)
                    if (q.seek(row)) sum += q.value(0).toInt() + q.value(1).toString().size();
                return sum;
            });
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("peer");
    return r;
}
#endif

/// The groups of contestants; each ratio is to the group's first contestant.
/// Jumps and two passes run only on the drivers as the tests configure them.
enum Group : std::size_t { ScansGroup, JumpsGroup, BothWaysGroup, GroupCount };

/// A contestant of a group: scans (every row, ratio to the raw forward
/// loop), jumps (10,000 random rows, ratio to raw absolute fetches) or two
/// passes (forward then back, ratio to the raw scrollable cursor doing so).
struct Contestant {
    const char* Name;
    Group In;
    Result (*Run)(const Driver&);
};

const std::vector<Contestant>& Contestants() {
    static const std::vector<Contestant> all = {
        {"raw forward loop", ScansGroup, RunRaw},
        {"velora TODBCTable", ScansGroup, [](const Driver& d) { return RunVelora(d, false); }},
        {"velora uni-directional query", ScansGroup, [](const Driver& d) { return RunVelora(d, true); }},
#ifdef VELORA_BENCH_SOCI
        {"SOCI rowset", ScansGroup, RunSoci},
#endif
#ifdef VELORA_BENCH_QT
        {"Qt forward-only QSqlQuery", ScansGroup, RunQt},
#endif
        {"raw jumps (FETCH_ABSOLUTE)", JumpsGroup, RunRawJumps},
        {"velora jumps (GotoBookmark)", JumpsGroup, RunVeloraJumps},
#ifdef VELORA_BENCH_QT
        {"Qt jumps (QSqlQuery::seek)", JumpsGroup, RunQtJumps},
#endif
        {"raw scrollable, both ways", BothWaysGroup, RunRawBothWays},
        {"velora TODBCTable both ways", BothWaysGroup, RunVeloraBothWays},
    };
    return all;
}

long PeakKb() {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("ODBCSYSINI", VELORA_ODBC_DIR, 0);
    setenv("ODBCINI", VELORA_ODBC_DIR "/odbc.ini", 0);
    const std::vector<Driver> drivers = Drivers();
    if (argc == 4 && std::string(argv[1]) == "--contestant") {
        // In the contestant's own process: one scan, "seconds checksum peak-kB".
#ifdef VELORA_BENCH_QT
        QCoreApplication app(argc, argv);
#endif
        try {
            for (const Driver& d : drivers) {
                if (d.Name != argv[2]) continue;
                const Result r = Contestants().at(static_cast<std::size_t>(std::atoi(argv[3]))).Run(d);
                std::printf("%.6f %ld %ld\n", r.Seconds, r.Sum, PeakKb());
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", argv[2], e.what());
            return 1;
        }
        return 0;
    }
    for (const Driver& d : drivers) {
        RawConn c(d);
        velora::bench::PrepareScanTable(c.Dbc, d.Name.c_str());
    }
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    self[n > 0 ? n : 0] = '\0';
    const char* roundsText = std::getenv("VELORA_PEER_ROUNDS");
    const int rounds = std::max(1, roundsText ? std::atoi(roundsText) : 3);
    const std::size_t kinds = Contestants().size();

    std::printf("%d rows of %s, %d rounds, every contestant in a process of its own\n", kScanRows, kScanTable, rounds);
    std::printf("%-30s %-11s %10s %8s %10s\n", "contestant", "driver", "median s", "ratio", "peak MiB");
    for (const Driver& d : drivers) {
        std::vector<std::vector<double>> seconds(kinds);
        std::vector<long> peak(kinds, -1);
        std::vector<bool> failed(kinds, false);
        for (int round = 0; round < rounds; ++round) {
            for (std::size_t k = 0; k < kinds; ++k) {
                const std::size_t kind = (k + static_cast<std::size_t>(round)) % kinds;
                if (failed[kind] || (Contestants()[kind].In != ScansGroup && !d.Options.empty())) continue;
                const std::string cmd = std::string(self) + " --contestant " + d.Name + " " + std::to_string(kind);
                FILE* p = popen(cmd.c_str(), "r");
                double s = 0;
                long sum = 0, kb = 0;
                const bool ok = p && std::fscanf(p, "%lf %ld %ld", &s, &sum, &kb) == 3;
                if (p) pclose(p);
                if (!ok) {
                    failed[kind] = true;
                    continue;
                }
                seconds[kind].push_back(s);
                peak[kind] = std::max(peak[kind], kb);
            }
        }
        double raw[GroupCount] = {};  // the first contestant of each group
        for (std::size_t k = kinds; k-- > 0;) raw[Contestants()[k].In] = Median(seconds[k]);
        for (std::size_t k = 0; k < kinds; ++k) {
            if (Contestants()[k].In != ScansGroup && !d.Options.empty()) continue;
            if (failed[k] || seconds[k].empty()) {
                std::printf("%-30s %-11s %10s %8s %10s\n", Contestants()[k].Name, d.Name.c_str(), "failed", "-", "-");
                continue;
            }
            const double m = Median(seconds[k]);
            const double base = raw[Contestants()[k].In];
            std::printf("%-30s %-11s %10.3f %8.2f %10.1f\n", Contestants()[k].Name, d.Name.c_str(), m,
                        base > 0 ? m / base : 0.0, static_cast<double>(peak[k]) / 1024);
        }
        std::fflush(stdout);
    }
    return 0;
}
