// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Loading and moving rows in bulk, in one run, on SQLite and PostgreSQL:
//
// insert ROWS rows of the benchmark table (BenchTable.h's columns: integer,
// 40-character string, decimal(12,2), small integer, timestamp,
// 200-character string) into an empty table, one transaction each:
//   - raw arrays: one prepared INSERT, the six columns bound column-wise as
//     arrays of 1,000 sets (SQL_ATTR_PARAMSET_SIZE), one SQLExecute a chunk;
//   - velora array query: TODBCQuery's parameter arrays (SetArraySize 1,000,
//     ArrayValues filled set by set, one ExecSQL a chunk);
//   - velora ExecSQL a row: the same query without arrays, its Params
//     assigned and ExecSQL called once a row; it runs ROWS / 50 rows and its
//     time is scaled to ROWS (marked "scaled" in the output);
//   - SOCI vector use: SOCI's ODBC back end, use(std::vector<T>) of 1,000
//     rows a statement execution (when built with SOCI).
// copy the ROWS rows SQLite -> PostgreSQL and PostgreSQL -> SQLite into an
// empty table of the same columns:
//   - velora copy: the built tool (`velora copy SRC bench_bulk DST
//     bench_bulk_copy`), its wall time and peak memory (ru_maxrss);
//   - raw array copy: a forward-only SELECT fetched 1,000 rows a call into
//     column-wise arrays (the source asked to stream, as the tool asks:
//     SQLite's StepAPI=1, psqlODBC's UseDeclareFetch=1;Fetch=1000), the same
//     arrays bound as the parameter arrays of the destination's INSERT.
// Every contestant runs in a process of its own (this program started again
// with --contestant), so its peak memory (VmHWM) is its own. Printed: one
// table of contestant, driver, seconds, ratio to the raw contestant of its
// group, peak memory; then the ratios against their goals (the array query
// within 1.2x of raw arrays, at least 10x faster than ExecSQL a row on
// PostgreSQL, velora copy's peak memory at most 50 MiB).
//
//   BulkBench [ROWS]     (default 1000000; VELORA_TOOL names the tool)
#include "BenchTable.h"

#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCQuery.h"

#include <sql.h>
#include <sqlext.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef VELORA_BENCH_SOCI
#include <soci/soci-config.h>
#undef SOCI_HAVE_BOOST
#undef SOCI_HAVE_BOOST_DATE_TIME
#include <soci/odbc/soci-odbc.h>
#include <soci/soci.h>
#endif

#ifndef VELORA_TOOL
#define VELORA_TOOL "velora"
#endif

namespace {

using velora::bench::CheckODBC;

constexpr int kChunk = 1000;
constexpr int kPerRowShare = 50;  ///< ExecSQL a row runs ROWS / 50 rows
const std::string kTable = "bench_bulk";
const std::string kCopyTable = "bench_bulk_copy";
const std::string kInsert = "INSERT INTO " + kTable + " (id, s40, d, si, ts, s200) VALUES (?, ?, ?, ?, ?, ?)";

struct Driver {
    std::string Name, Dsn, User, Password, Streaming;
    std::string ConnectionString(bool streaming = false) const {
        std::string s = "DSN=" + Dsn;
        if (streaming && !Streaming.empty()) s += ";" + Streaming;
        if (!User.empty()) s += ";UID=" + User + ";PWD=" + Password;
        return s;
    }
};

std::vector<Driver> Drivers() {
    std::vector<Driver> d = {{"SQLite", "VeloraTestSQLite", "", "", "StepAPI=1"}};
    const char* servers = std::getenv("VELORA_TEST_SERVERS");
    if (servers && std::string(servers) == "1")
        d.push_back({"PostgreSQL", "VeloraPG", "velora", "velora-pw", "UseDeclareFetch=1;Fetch=1000"});
    return d;
}

const Driver* FindDriver(const std::string& name) {
    static const std::vector<Driver> all = Drivers();
    for (const Driver& d : all)
        if (d.Name == name) return &d;
    return nullptr;
}

// ---- the rows ---------------------------------------------------------------

/// Row i's values, as every contestant writes them.
struct TRowValues {
    char S40[41];
    char Dec[16];
    char S200[201];
    int Si;
    SQL_TIMESTAMP_STRUCT Ts;
    double DecValue;
    void Make(long i) {
        std::snprintf(S40, sizeof S40, "name %032ld", i);
        DecValue = static_cast<double>(i % 100000) * 1.25 - 50000.0;
        std::snprintf(Dec, sizeof Dec, "%.2f", DecValue);
        std::snprintf(S200, sizeof S200, "%020ld%0180d", i, 0);
        std::memset(S200 + 20, 'x', 180);
        Si = static_cast<int>(i % 30000);
        Ts = SQL_TIMESTAMP_STRUCT{2024, static_cast<SQLUSMALLINT>(1 + i % 12), static_cast<SQLUSMALLINT>(1 + i % 28),
                                  static_cast<SQLUSMALLINT>(i % 24), static_cast<SQLUSMALLINT>(i % 60),
                                  static_cast<SQLUSMALLINT>((i / 7) % 60), static_cast<SQLUINTEGER>(i % 1000) * 1000000};
    }
};

// ---- raw ODBC ---------------------------------------------------------------

class RawConn {
public:
    explicit RawConn(const std::string& text) {
        ::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &Env);
        ::SQLSetEnvAttr(Env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        ::SQLAllocHandle(SQL_HANDLE_DBC, Env, &Dbc);
        std::string s = text;
        SQLSMALLINT outLen = 0;
        CheckODBC(::SQLDriverConnect(Dbc, nullptr, reinterpret_cast<SQLCHAR*>(s.data()), SQL_NTS, nullptr, 0, &outLen,
                                     SQL_DRIVER_NOPROMPT),
                  SQL_HANDLE_DBC, Dbc, "connect");
    }
    ~RawConn() {
        ::SQLDisconnect(Dbc);
        ::SQLFreeHandle(SQL_HANDLE_DBC, Dbc);
        ::SQLFreeHandle(SQL_HANDLE_ENV, Env);
    }
    void Exec(const std::string& sql, bool check = true) {
        SQLHSTMT st;
        ::SQLAllocHandle(SQL_HANDLE_STMT, Dbc, &st);
        const SQLRETURN rc = ::SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
        if (check) CheckODBC(rc, SQL_HANDLE_STMT, st, sql);
        ::SQLFreeHandle(SQL_HANDLE_STMT, st);
    }
    long Count(const std::string& table) {
        SQLHSTMT st;
        ::SQLAllocHandle(SQL_HANDLE_STMT, Dbc, &st);
        const std::string sql = "SELECT COUNT(*) FROM " + table;
        long n = -1;
        if (SQL_SUCCEEDED(::SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS)) &&
            SQL_SUCCEEDED(::SQLFetch(st))) {
            SQLBIGINT v = 0;
            SQLLEN ind = 0;
            ::SQLGetData(st, 1, SQL_C_SBIGINT, &v, 0, &ind);
            n = static_cast<long>(v);
        }
        ::SQLFreeHandle(SQL_HANDLE_STMT, st);
        return n;
    }
    void Autocommit(bool on) {
        ::SQLSetConnectAttr(Dbc, SQL_ATTR_AUTOCOMMIT,
                            reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF)),
                            0);
    }
    void Commit() { CheckODBC(::SQLEndTran(SQL_HANDLE_DBC, Dbc, SQL_COMMIT), SQL_HANDLE_DBC, Dbc, "commit"); }
    SQLHENV Env = SQL_NULL_HENV;
    SQLHDBC Dbc = SQL_NULL_HDBC;
};

/// Column-wise arrays of kChunk rows of the benchmark table, bound as result
/// columns or as parameters (the indicators serve both).
struct TColumnArrays {
    SQLINTEGER Id[kChunk];
    char S40[kChunk][41];
    char Dec[kChunk][16];
    SQLSMALLINT Si[kChunk];
    SQL_TIMESTAMP_STRUCT Ts[kChunk];
    char S200[kChunk][201];
    SQLLEN Ind[6][kChunk];

    void Fill(int at, long i) {
        TRowValues v;
        v.Make(i);
        Id[at] = static_cast<SQLINTEGER>(i);
        std::memcpy(S40[at], v.S40, sizeof v.S40);
        std::memcpy(Dec[at], v.Dec, sizeof v.Dec);
        Si[at] = static_cast<SQLSMALLINT>(v.Si);
        Ts[at] = v.Ts;
        std::memcpy(S200[at], v.S200, sizeof v.S200);
        Ind[0][at] = 0;
        Ind[1][at] = static_cast<SQLLEN>(std::strlen(v.S40));
        Ind[2][at] = static_cast<SQLLEN>(std::strlen(v.Dec));
        Ind[3][at] = 0;
        Ind[4][at] = 0;
        Ind[5][at] = static_cast<SQLLEN>(std::strlen(v.S200));
    }
    void BindParams(SQLHSTMT st) {
        ::SQLSetStmtAttr(st, SQL_ATTR_PARAM_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQLULEN{SQL_PARAM_BIND_BY_COLUMN}), 0);
        CheckODBC(::SQLBindParameter(st, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0, Id, 0, Ind[0]),
                  SQL_HANDLE_STMT, st, "bind");
        ::SQLBindParameter(st, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 40, 0, S40, 41, Ind[1]);
        ::SQLBindParameter(st, 3, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_DECIMAL, 12, 2, Dec, 16, Ind[2]);
        ::SQLBindParameter(st, 4, SQL_PARAM_INPUT, SQL_C_SSHORT, SQL_SMALLINT, 0, 0, Si, 0, Ind[3]);
        ::SQLBindParameter(st, 5, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP, 26, 6, Ts, 0, Ind[4]);
        ::SQLBindParameter(st, 6, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 200, 0, S200, 201, Ind[5]);
    }
    void BindColumns(SQLHSTMT st) {
        ::SQLSetStmtAttr(st, SQL_ATTR_ROW_BIND_TYPE, reinterpret_cast<SQLPOINTER>(SQLULEN{SQL_BIND_BY_COLUMN}), 0);
        ::SQLBindCol(st, 1, SQL_C_SLONG, Id, 0, Ind[0]);
        ::SQLBindCol(st, 2, SQL_C_CHAR, S40, 41, Ind[1]);
        ::SQLBindCol(st, 3, SQL_C_CHAR, Dec, 16, Ind[2]);
        ::SQLBindCol(st, 4, SQL_C_SSHORT, Si, 0, Ind[3]);
        ::SQLBindCol(st, 5, SQL_C_TYPE_TIMESTAMP, Ts, 0, Ind[4]);
        ::SQLBindCol(st, 6, SQL_C_CHAR, S200, 201, Ind[5]);
    }
};

void ExecuteChunk(SQLHSTMT st, SQLULEN n) {
    ::SQLSetStmtAttr(st, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(n), 0);
    CheckODBC(::SQLExecute(st), SQL_HANDLE_STMT, st, "raw array insert");
    ::SQLFreeStmt(st, SQL_CLOSE);
}

/// Inserts rows [0, rows) with raw parameter arrays; answers the seconds.
double RawArrays(const Driver& d, long rows) {
    RawConn c(d.ConnectionString());
    auto a = std::make_unique<TColumnArrays>();
    const auto t0 = std::chrono::steady_clock::now();
    c.Autocommit(false);
    SQLHSTMT st;
    ::SQLAllocHandle(SQL_HANDLE_STMT, c.Dbc, &st);
    CheckODBC(::SQLPrepare(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(kInsert.c_str())), SQL_NTS),
              SQL_HANDLE_STMT, st, "prepare");
    a->BindParams(st);
    for (long first = 0; first < rows; first += kChunk) {
        const long n = std::min<long>(kChunk, rows - first);
        for (long k = 0; k < n; ++k) a->Fill(static_cast<int>(k), first + k);
        ExecuteChunk(st, static_cast<SQLULEN>(n));
    }
    ::SQLFreeHandle(SQL_HANDLE_STMT, st);
    c.Commit();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

/// Copies kTable of `from` into kCopyTable of `to` through column-wise
/// arrays fetched and written kChunk rows at a time.
double RawCopy(const Driver& from, const Driver& to) {
    RawConn src(from.ConnectionString(true));
    RawConn dst(to.ConnectionString());
    auto a = std::make_unique<TColumnArrays>();
    const auto t0 = std::chrono::steady_clock::now();
    dst.Autocommit(false);
    SQLHSTMT in, out;
    ::SQLAllocHandle(SQL_HANDLE_STMT, src.Dbc, &in);
    ::SQLAllocHandle(SQL_HANDLE_STMT, dst.Dbc, &out);
    SQLULEN fetched = 0;
    ::SQLSetStmtAttr(in, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(SQLULEN{kChunk}), 0);
    ::SQLSetStmtAttr(in, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    a->BindColumns(in);
    const std::string select = "SELECT id, s40, d, si, ts, s200 FROM " + kTable;
    CheckODBC(::SQLExecDirect(in, reinterpret_cast<SQLCHAR*>(const_cast<char*>(select.c_str())), SQL_NTS),
              SQL_HANDLE_STMT, in, "raw copy select");
    const std::string insert = "INSERT INTO " + kCopyTable + " (id, s40, d, si, ts, s200) VALUES (?, ?, ?, ?, ?, ?)";
    CheckODBC(::SQLPrepare(out, reinterpret_cast<SQLCHAR*>(const_cast<char*>(insert.c_str())), SQL_NTS),
              SQL_HANDLE_STMT, out, "prepare");
    a->BindParams(out);
    for (;;) {
        const SQLRETURN rc = ::SQLFetchScroll(in, SQL_FETCH_NEXT, 0);
        if (rc == SQL_NO_DATA) break;
        CheckODBC(rc, SQL_HANDLE_STMT, in, "raw copy fetch");
        ExecuteChunk(out, fetched);
    }
    ::SQLFreeHandle(SQL_HANDLE_STMT, in);
    ::SQLFreeHandle(SQL_HANDLE_STMT, out);
    dst.Commit();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// ---- velora -----------------------------------------------------------------

using namespace velora;

struct TVeloraConn {
    TOwnedPtr<TComponent> Owner{new TComponent(nullptr)};
    TODBCDatabase* Db = nullptr;
    explicit TVeloraConn(const Driver& d) {
        Db = new TODBCDatabase(Owner.get());
        Db->SetDataSourceName(d.Dsn);
        Db->SetLoginPrompt(false);
        if (!d.User.empty()) Db->Params()->SetValues("USER NAME", d.User);
        Db->Params()->Add("PASSWORD=" + d.Password);
        Db->Open();
    }
    TODBCQuery* Insert() {
        auto* q = new TODBCQuery(Owner.get());
        q->SetDataBase(Db);
        q->SQL()->SetText("INSERT INTO " + kTable + " (id, s40, d, si, ts, s200) VALUES (:id, :s40, :d, :si, :ts, :s200)");
        const TFieldType types[] = {ftInteger, ftString, ftBCD, ftSmallint, ftDateTime, ftString};
        for (int i = 0; i < 6; ++i) q->Params()->Entry(i)->SetDataType(types[i]);
        return q;
    }
};

double VeloraArrays(const Driver& d, long rows) {
    TVeloraConn c(d);
    TODBCQuery* q = c.Insert();
    const auto t0 = std::chrono::steady_clock::now();
    c.Db->StartTransaction();
    q->SetArraySize(kChunk);
    TODBCParamArray* a[6];
    for (int i = 0; i < 6; ++i) a[i] = q->ArrayValues(i);
    TRowValues v;
    for (long first = 0; first < rows; first += kChunk) {
        const long n = std::min<long>(kChunk, rows - first);
        if (n != q->ArraySize()) q->SetArraySize(n);
        for (int i = 0; i < 6; ++i) a[i] = q->ArrayValues(i);
        for (int i = 0; i < 6; ++i) a[i]->Clear();
        for (long k = 0; k < n; ++k) {
            v.Make(first + k);
            a[0]->SetAsLargeInt(k, first + k);
            a[1]->SetText(k, v.S40, std::strlen(v.S40));
            a[2]->SetText(k, v.Dec, std::strlen(v.Dec));
            a[3]->SetAsLargeInt(k, v.Si);
            a[4]->SetAsTimeStamp(k, v.Ts.year, v.Ts.month, v.Ts.day, v.Ts.hour, v.Ts.minute, v.Ts.second,
                                 v.Ts.fraction);
            a[5]->SetText(k, v.S200, std::strlen(v.S200));
        }
        q->ExecSQL();
    }
    c.Db->Commit();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

double VeloraPerRow(const Driver& d, long rows) {
    TVeloraConn c(d);
    TODBCQuery* q = c.Insert();
    const auto t0 = std::chrono::steady_clock::now();
    c.Db->StartTransaction();
    TODBCParam* p[6];
    for (int i = 0; i < 6; ++i) p[i] = q->Params()->Entry(i);
    TRowValues v;
    for (long i = 0; i < rows; ++i) {
        v.Make(i);
        p[0]->SetAsInteger(static_cast<int>(i));
        p[1]->SetAsString(v.S40);
        p[2]->SetAsString(v.Dec);
        p[3]->SetAsSmallInt(v.Si);
        p[4]->SetAsDateTime(EncodeDate(v.Ts.year, v.Ts.month, v.Ts.day) +
                            EncodeTime(v.Ts.hour, v.Ts.minute, v.Ts.second, v.Ts.fraction / 1000000));
        p[5]->SetAsString(v.S200);
        q->ExecSQL();
    }
    c.Db->Commit();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

#ifdef VELORA_BENCH_SOCI
double SociVectors(const Driver& d, long rows) {
    soci::session sql(soci::odbc, d.ConnectionString());
    std::vector<int> id(kChunk);
    std::vector<std::string> s40(kChunk), s200(kChunk);
    std::vector<double> dec(kChunk);
    std::vector<short> si(kChunk);
    std::vector<std::tm> ts(kChunk);
    const auto t0 = std::chrono::steady_clock::now();
    soci::transaction tr(sql);
    TRowValues v;
    for (long first = 0; first < rows; first += kChunk) {
        const long n = std::min<long>(kChunk, rows - first);
        for (auto* vec : {&s40, &s200}) vec->resize(static_cast<std::size_t>(n));
        id.resize(static_cast<std::size_t>(n));
        dec.resize(static_cast<std::size_t>(n));
        si.resize(static_cast<std::size_t>(n));
        ts.resize(static_cast<std::size_t>(n));
        for (long k = 0; k < n; ++k) {
            const auto u = static_cast<std::size_t>(k);
            v.Make(first + k);
            id[u] = static_cast<int>(first + k);
            s40[u] = v.S40;
            dec[u] = v.DecValue;
            si[u] = static_cast<short>(v.Si);
            std::tm t{};
            t.tm_year = v.Ts.year - 1900;
            t.tm_mon = v.Ts.month - 1;
            t.tm_mday = v.Ts.day;
            t.tm_hour = v.Ts.hour;
            t.tm_min = v.Ts.minute;
            t.tm_sec = v.Ts.second;
            ts[u] = t;
            s200[u] = v.S200;
        }
        sql << "INSERT INTO " + kTable + " (id, s40, d, si, ts, s200) VALUES (:id, :s40, :d, :si, :ts, :s200)",
            soci::use(id), soci::use(s40), soci::use(dec), soci::use(si), soci::use(ts), soci::use(s200);
    }
    tr.commit();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}
#endif

// ---- the contestants ----------------------------------------------------------

enum Group { InsertGroup, CopyGroup };

struct Contestant {
    const char* Name;
    Group In;
    int Share;  ///< runs ROWS / Share rows, its time scaled by Share
    double (*Run)(const Driver&, long);
};

const std::vector<Contestant>& Contestants() {
    static const std::vector<Contestant> all = {
        {"raw arrays (1,000 sets)", InsertGroup, 1, RawArrays},
        {"velora array query", InsertGroup, 1, VeloraArrays},
        {"velora ExecSQL a row", InsertGroup, kPerRowShare, VeloraPerRow},
#ifdef VELORA_BENCH_SOCI
        {"SOCI vector use", InsertGroup, 1, SociVectors},
#endif
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

struct TRun {
    double Seconds = -1;
    long PeakKB = -1;
};

/// Runs `args` with standard output on /dev/null; its time and peak memory.
TRun RunProgram(const std::vector<std::string>& args, bool wantOutput, double* reported) {
    int pipeFd[2];
    if (::pipe(pipeFd) != 0) return {};
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(pipeFd[1], STDOUT_FILENO);
        ::close(pipeFd[0]);
        ::close(pipeFd[1]);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        std::perror(argv[0]);
        ::_exit(127);
    }
    ::close(pipeFd[1]);
    std::string out;
    char buf[512];
    for (ssize_t n; (n = ::read(pipeFd[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
    ::close(pipeFd[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    TRun r;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "BulkBench: %s failed: %s\n", args[1].c_str(), out.c_str());
        return r;
    }
    r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.PeakKB = usage.ru_maxrss;
    if (wantOutput && reported) *reported = std::strtod(out.c_str(), nullptr);
    return r;
}

void Prepare(const Driver& d, const std::string& table) {
    RawConn c(d.ConnectionString());
    c.Exec("DROP TABLE " + table, false);  // absent on the first run
    c.Exec("CREATE TABLE " + table + " (" + velora::bench::kScanColumns + ")");
}

void Line(const std::string& what, const std::string& driver, double seconds, double base, long kb,
          const char* note = "") {
    if (seconds < 0) {
        std::printf("%-34s %-22s %10s\n", what.c_str(), driver.c_str(), "failed");
        return;
    }
    std::printf("%-34s %-22s %10.2f %8.2f %10.1f %s\n", what.c_str(), driver.c_str(), seconds,
                base > 0 ? seconds / base : 0.0, static_cast<double>(kb) / 1024, note);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("ODBCSYSINI", VELORA_ODBC_DIR, 0);
    setenv("ODBCINI", VELORA_ODBC_DIR "/odbc.ini", 0);
    if (argc == 5 && std::string(argv[1]) == "--contestant") {
        // In the contestant's own process: "seconds peak-kB".
        try {
            const Driver* d = FindDriver(argv[2]);
            if (!d) throw std::runtime_error("no driver " + std::string(argv[2]));
            const long rows = std::atol(argv[4]);
            const std::string which = argv[3];
            double s = 0;
            if (which == "copy") {
                const Driver* to = FindDriver(d->Name == "SQLite" ? "PostgreSQL" : "SQLite");
                s = RawCopy(*d, *to);
            } else {
                s = Contestants().at(static_cast<std::size_t>(std::atoi(which.c_str()))).Run(*d, rows);
            }
            std::printf("%.6f %ld\n", s, PeakKb());
        } catch (const std::exception& e) {
            std::printf("%s\n", e.what());
            return 1;
        }
        return 0;
    }
    const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
    const std::string tool = std::getenv("VELORA_TOOL") ? std::getenv("VELORA_TOOL") : VELORA_TOOL;
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    self[n > 0 ? n : 0] = '\0';
    const std::vector<Driver> drivers = Drivers();

    std::printf("%ld rows of %s's columns, one transaction a contestant, each in a process of its own\n", rows,
                kTable.c_str());
    std::printf("%-34s %-22s %10s %8s %10s\n", "contestant", "driver", "seconds", "ratio", "peak MiB");
    struct TFigure {
        std::string Name, Driver;
        double Seconds;
    };
    std::vector<TFigure> figures;
    auto seconds = [&](const std::string& name, const std::string& driver) {
        for (const TFigure& f : figures)
            if (f.Name == name && f.Driver == driver) return f.Seconds;
        return -1.0;
    };
    for (const Driver& d : drivers) {
        double raw = 0;
        // Raw last, so the table holds all the rows for the copies.
        std::vector<std::size_t> order;
        for (std::size_t k = 1; k < Contestants().size(); ++k) order.push_back(k);
        order.insert(order.begin(), 0);
        order.push_back(0);
        for (std::size_t pass = 0; pass < order.size(); ++pass) {
            const std::size_t k = order[pass];
            const Contestant& c = Contestants()[k];
            const long count = rows / c.Share;
            Prepare(d, kTable);
            double reported = -1;
            const TRun r = RunProgram({self, "--contestant", d.Name, std::to_string(k), std::to_string(count)}, true,
                                      &reported);
            // The contestant reports its own peak (VmHWM) after the time.
            const double s = r.Seconds < 0 ? -1 : reported * c.Share;
            if (pass == order.size() - 1) {
                if (s < 0 || RawConn(d.ConnectionString()).Count(kTable) != rows)
                    std::fprintf(stderr, "BulkBench: %s holds no %ld rows for the copies\n", kTable.c_str(), rows);
                continue;  // the second raw run only fills the table
            }
            if (k == 0) raw = s;
            figures.push_back({c.Name, d.Name, s});
            Line(c.Name, d.Name, s, raw, r.PeakKB, c.Share > 1 ? "(scaled)" : "");
        }
    }
    if (drivers.size() > 1) {
        const Driver& sqlite = drivers[0];
        const Driver& pg = drivers[1];
        for (const auto& [from, to] : {std::pair{&sqlite, &pg}, std::pair{&pg, &sqlite}}) {
            const std::string route = from->Name + " -> " + to->Name;
            Prepare(*to, kCopyTable);
            double reported = -1;
            const TRun raw = RunProgram({self, "--contestant", from->Name, "copy", std::to_string(rows)}, true,
                                        &reported);
            Line("raw array copy", route, raw.Seconds < 0 ? -1 : reported, reported, raw.PeakKB);
            Prepare(*to, kCopyTable);
            const Driver& account = from->User.empty() ? *to : *from;  // PostgreSQL's (SQLite takes none)
            const std::vector<std::string> args = {tool,     "copy",          from->Dsn,   kTable,   to->Dsn,
                                                   kCopyTable, "--user", account.User, "--password", account.Password};
            const TRun tool = RunProgram(args, false, nullptr);
            const long copied = RawConn(to->ConnectionString()).Count(kCopyTable);
            if (copied != rows) std::fprintf(stderr, "BulkBench: velora copy wrote %ld rows, not %ld\n", copied, rows);
            Line("velora copy", route, tool.Seconds, reported, tool.PeakKB);
            figures.push_back({"raw copy", route, raw.Seconds < 0 ? -1 : reported});
            figures.push_back({"velora copy", route, tool.Seconds});
            figures.push_back({"velora copy peak KiB", route, static_cast<double>(tool.PeakKB)});
            Prepare(*to, kCopyTable);
        }
    }
    for (const Driver& d : drivers) RawConn(d.ConnectionString()).Exec("DROP TABLE " + kCopyTable, false);
    for (const Driver& d : drivers) RawConn(d.ConnectionString()).Exec("DROP TABLE " + kTable, false);

    std::printf("\nratios (goal in brackets)\n");
    for (const Driver& d : drivers) {
        const double raw = seconds(Contestants()[0].Name, d.Name), arrays = seconds("velora array query", d.Name);
        const double perRow = seconds("velora ExecSQL a row", d.Name);
        if (raw > 0 && arrays > 0)
            std::printf("  %-11s array query / raw arrays        %6.2fx  (<= 1.2x)\n", d.Name.c_str(), arrays / raw);
        if (perRow > 0 && arrays > 0)
            std::printf("  %-11s ExecSQL a row / array query     %6.1fx  (%s; the per-row run took %ld rows, scaled)\n",
                        d.Name.c_str(), perRow / arrays, d.Name == "PostgreSQL" ? ">= 10x" : "no goal",
                        rows / kPerRowShare);
#ifdef VELORA_BENCH_SOCI
        const double soci = seconds("SOCI vector use", d.Name);
        if (raw > 0 && soci > 0)
            std::printf("  %-11s SOCI vector use / raw arrays    %6.2fx\n", d.Name.c_str(), soci / raw);
#endif
    }
    for (const char* route : {"SQLite -> PostgreSQL", "PostgreSQL -> SQLite"}) {
        const double raw = seconds("raw copy", route), tool = seconds("velora copy", route);
        const double kb = seconds("velora copy peak KiB", route);
        if (raw > 0 && tool > 0)
            std::printf("  %-22s velora copy / raw array copy %6.2fx, velora copy peak %.1f MiB (<= 50 MiB)\n", route,
                        tool / raw, kb / 1024);
    }
    return 0;
}
