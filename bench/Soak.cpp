// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The soak: minutes of mixed work on SQLite, PostgreSQL and MariaDB through
// the components' public API only, run by scripts/soak.sh (which starts the
// servers of its own and builds this program with the bench preset).
//
// Eight threads each own a set of rows in a table "soak" of every database and
// keep an in-memory model of what those rows hold. Each step picks a driver
// and one of: open a fresh database, scan (every value against the model, BLOBs
// through a read stream), edit and post, append, delete, write through an
// update object, write a BLOB through a write stream, cancel a long statement
// from another thread, and let a query timeout stop one. Halfway, both servers
// are killed and started again (tests/support/server-control.sh).
//
// Every sample interval the threads park between steps (each with its three
// databases open), and the process's resident memory, open file handles and
// the servers' connections of the test account are sampled and printed. At
// the end:
//  - the samples after the warm-up must stay within 5 % of the first one after
//    it (connections exactly: the parked threads hold a known number);
//  - every table, read with the database's own client (sqlite3, psql,
//    mariadb), must hold exactly the modelled rows. A write whose outcome is
//    unknown (the server died under it) leaves either the old or the new row.
//  - an error outside the restart window fails the run; a cancel or timeout
//    that does not stop its statement within 10 s fails the run.
//
// Environment (set by scripts/soak.sh): VELORA_SOAK_DIR (servers' folder and
// the SQLite file), VELORA_PG_PORT, VELORA_MARIADB_PORT, VELORA_SOAK_CONTROL
// (path of server-control.sh), VELORA_SOAK_MINUTES (default 60),
// VELORA_SOAK_SAMPLE_SECONDS (default 60), VELORA_SOAK_WARMUP_MINUTES
// (default 10), VELORA_SOAK_THREADS (default 8).
#include <velora/components/ODBCObj.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace velora;
using Clock = std::chrono::steady_clock;

namespace {

std::string Env(const char* name, const std::string& fallback = "") {
    const char* v = std::getenv(name);
    return v && *v ? v : fallback;
}

std::string Run(const std::string& cmd) {
    std::string out;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        char buf[4096];
        std::size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        pclose(p);
    }
    return out;
}

std::string Trim(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ')) s.pop_back();
    return s;
}

// ---- the drivers --------------------------------------------------------------------

enum TDriver { drSQLite, drPostgreSQL, drMariaDB, drCount };
const char* const DriverName[drCount] = {"SQLite", "PostgreSQL", "MariaDB"};

struct TConfig {
    std::string Dir, PgPort, MariaPort, Control;
    int Minutes = 60, SampleSeconds = 60, WarmupMinutes = 10, Threads = 8;
    std::string SQLiteFile() const { return Dir + "/soak.db"; }
    std::string ConnectionString(int d) const {
        switch (d) {
            case drSQLite: return "DRIVER=SQLite3;Database=" + SQLiteFile() + ";Timeout=30000";
            case drPostgreSQL:
                return "DRIVER={PostgreSQL ANSI};Servername=127.0.0.1;Port=" + PgPort +
                       ";Database=velora_test;UID=velora;PWD=velora-pw;BoolsAsChar=0;UpdatableCursors=1";
            default:
                return "DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=" + MariaPort +
                       ";DATABASE=velora_test;UID=velora;PWD=velora-pw";
        }
    }
    /// The database's own client, running one statement; rows are lines, columns split by '|'.
    std::string Client(int d, const std::string& sql) const {
        switch (d) {
            case drSQLite: return Run("sqlite3 -batch -noheader -separator '|' '" + SQLiteFile() + "' \"" + sql + "\" 2>&1");
            case drPostgreSQL:
                return Run("PGPASSWORD=velora-pw psql -X -q -At -F'|' -h 127.0.0.1 -p " + PgPort +
                           " -U velora -d velora_test -c \"" + sql + "\" 2>&1");
            default:
                return Run("mariadb --no-defaults -h 127.0.0.1 -P " + MariaPort +
                           " -u velora -pvelora-pw -N -B velora_test -e \"" + sql + "\" 2>&1");
        }
    }
    /// A statement that runs for many seconds unless stopped.
    static std::string LongStatement(int d) {
        switch (d) {
            case drSQLite:
                return "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n+1 FROM c WHERE n < 300000000) "
                       "SELECT count(*) AS n FROM c";
            case drPostgreSQL: return "SELECT pg_sleep(30) AS n";
            default: return "SELECT SLEEP(30) AS n";
        }
    }
};

// ---- the model -----------------------------------------------------------------------

struct TRow {
    bool Present = false;
    std::string V;
    int N = 0;
    std::uint32_t BlobSeed = 0;  // 0: NULL
    int BlobLen = 0;
    bool operator==(const TRow&) const = default;
};

std::vector<unsigned char> BlobBytes(std::uint32_t seed, int len) {
    std::vector<unsigned char> b(static_cast<std::size_t>(len));
    for (int i = 0; i < len; ++i) b[static_cast<std::size_t>(i)] = static_cast<unsigned char>(seed * 31u + i * 7u + i / 251);
    return b;
}

std::string Hex(const std::vector<unsigned char>& b) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    s.reserve(b.size() * 2);
    for (unsigned char c : b) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

/// The rows one thread owns in one database: each id with the rows it may hold
/// (one, or two after a write whose outcome is unknown).
using TModel = std::map<int, std::vector<TRow>>;

// ---- the shared state ----------------------------------------------------------------

struct TCounters {
    std::atomic<long> Ops{0}, Expected{0}, Unexpected{0}, Mismatches{0};
    std::atomic<long> Cancels[drCount]{}, CancelStopped[drCount]{}, CancelSlow[drCount]{};
    std::atomic<long> Timeouts[drCount]{}, TimeoutStopped[drCount]{}, TimeoutSlow[drCount]{};
};

struct TShared {
    TConfig Cfg;
    TCounters Count;
    std::atomic<bool> Stop{false};
    std::atomic<bool> Restarting{false};
    Clock::time_point RestartEnd{};  // guarded by Mutex
    std::mutex Mutex;
    std::condition_variable Cv;
    bool Pause = false;
    int Parked = 0;
    std::vector<std::string> Messages;
    Clock::time_point Start = Clock::now();
    /// Keeps the first 40 notes, each with the minute it was made.
    void Note(const std::string& m) {
        char at[32];
        std::snprintf(at, sizeof at, "minute %.2f: ", std::chrono::duration<double>(Clock::now() - Start).count() / 60.0);
        std::lock_guard<std::mutex> lock(Mutex);
        if (Messages.size() < 40) Messages.push_back(at + m);
    }
    bool InRestartWindow() {
        if (Restarting.load()) return true;
        std::lock_guard<std::mutex> lock(Mutex);
        return Clock::now() < RestartEnd;
    }
};

std::string ErrorText(std::exception_ptr p, std::string* state = nullptr) {
    try {
        std::rethrow_exception(p);
    } catch (const EODBCError& e) {
        if (state) *state = e.SQLState;
        return "[" + e.SQLState + "] " + e.Message();
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "?";
}

// ---- a worker --------------------------------------------------------------------------

class TWorker {
public:
    TWorker(TShared& s, int index) : S(s), Index(index), Rng(static_cast<unsigned>(index * 7919 + 17)) {}

    void Main() {
        for (int d = 0; d < drCount; ++d) {
            try {
                Seed(d);
            } catch (...) {
                ++S.Count.Unexpected;
                S.Note(std::string("seeding ") + DriverName[d] + ": " + ErrorText(std::current_exception()));
            }
        }
        while (!S.Stop.load()) {
            ParkIfAsked();
            if (S.Stop.load()) break;
            Step();
        }
        for (auto& db : Db) db.reset();
    }

    TModel Model[drCount];

private:
    TShared& S;
    int Index;
    std::mt19937 Rng;
    std::unique_ptr<TODBCDatabase> Db[drCount];
    int NextId = 0, Seq = 0;

    int Rand(int n) { return static_cast<int>(Rng() % static_cast<unsigned>(n)); }

    TODBCDatabase* Database(int d) {
        if (!Db[d]) {
            Db[d] = std::make_unique<TODBCDatabase>(nullptr);
            Db[d]->SetDataSourceName(S.Cfg.ConnectionString(d));
            Db[d]->SetLoginPrompt(false);
        }
        if (!Db[d]->Connected()) Db[d]->Open();
        return Db[d].get();
    }

    std::unique_ptr<TODBCQuery> Query(int d, const std::string& sql) {
        auto q = std::make_unique<TODBCQuery>(nullptr);
        q->SetDataBase(Database(d));
        q->SQL()->SetText(sql);
        return q;
    }

    std::unique_ptr<TODBCQuery> OwnRows(int d) {
        auto q = Query(d, "SELECT id, owner, v, n, data FROM soak WHERE owner = :o");
        q->ParamByName("o")->SetAsInteger(Index);
        q->Open();
        return q;
    }

    void Exec(int d, const std::string& sql) {
        auto q = Query(d, sql);
        q->SetParamCheck(false);
        q->ExecSQL();
    }

    /// Ten rows of this thread in every database, written before the clock starts.
    void Seed(int d) {
        for (int k = 0; k < 10; ++k) {
            const int id = Index * 1000000 + NextId++;
            TRow r{true, "seed-" + std::to_string(id), k, 0, 0};
            Exec(d, "INSERT INTO soak (id, owner, v, n) VALUES (" + std::to_string(id) + ", " + std::to_string(Index) +
                        ", '" + r.V + "', " + std::to_string(k) + ")");
            Model[d][id] = {r};
        }
    }

    /// Parks between steps while the sampler reads the figures, with every
    /// database open so that the connection count is known.
    void ParkIfAsked() {
        std::unique_lock<std::mutex> lock(S.Mutex);
        if (!S.Pause) return;
        lock.unlock();
        for (int d = 0; d < drCount; ++d)
            for (int attempt = 0; attempt < 60; ++attempt) {
                try {
                    Database(d);
                    break;
                } catch (...) {
                    Db[d].reset();
                    std::this_thread::sleep_for(std::chrono::milliseconds(500));
                }
            }
        lock.lock();
        ++S.Parked;
        S.Cv.notify_all();
        S.Cv.wait(lock, [&] { return !S.Pause; });
        --S.Parked;
    }

    /// The row the model is sure of, or nothing (an unknown outcome, or absent).
    const TRow* Known(int d, int id) {
        auto it = Model[d].find(id);
        if (it == Model[d].end() || it->second.size() != 1 || !it->second[0].Present) return nullptr;
        return &it->second[0];
    }
    int PickKnown(int d) {
        std::vector<int> ids;
        for (auto& [id, rows] : Model[d])
            if (rows.size() == 1 && rows[0].Present) ids.push_back(id);
        return ids.empty() ? -1 : ids[static_cast<std::size_t>(Rand(static_cast<int>(ids.size())))];
    }

    void Step() {
        const int d = Rand(drCount);
        const int op = Rand(100);
        ++S.Count.Ops;
        // A write in flight when an error comes: its outcome is unknown.
        int pendingId = -1;
        TRow pendingRow;
        const bool windowBefore = S.InRestartWindow();
        try {
            if (op < 8) OpenFresh(d);
            else if (op < 30) Scan(d);
            else if (op < 50) EditPost(d, pendingId, pendingRow);
            else if (op < 60) Append(d, pendingId, pendingRow);
            else if (op < 65) Delete(d, pendingId, pendingRow);
            else if (op < 78) UpdateObject(d, pendingId, pendingRow);
            else if (op < 90) Stream(d, pendingId, pendingRow);
            else if (op < 95) CancelLong(d);
            else TimeoutLong(d);
        } catch (...) {
            const std::string text = ErrorText(std::current_exception());
            if (pendingId >= 0) {
                auto& rows = Model[d][pendingId];
                if (std::find(rows.begin(), rows.end(), pendingRow) == rows.end()) rows.push_back(pendingRow);
            }
            if (windowBefore || S.InRestartWindow()) {
                ++S.Count.Expected;
            } else {
                ++S.Count.Unexpected;
                S.Note(std::string("thread ") + std::to_string(Index) + " " + DriverName[d] + ": " + text);
            }
            Db[d].reset();  // frees the database; the next step connects again
        }
    }

    void OpenFresh(int d) {
        TODBCDatabase db(nullptr);
        db.SetDataSourceName(S.Cfg.ConnectionString(d));
        db.SetLoginPrompt(false);
        db.Open();
        TODBCQuery q(nullptr);
        q.SetDataBase(&db);
        q.SQL()->SetText("SELECT count(*) AS c FROM soak WHERE owner = " + std::to_string(Index));
        q.Open();
        long sure = 0, maybe = 0;
        for (auto& [id, rows] : Model[d]) {
            const bool all = std::all_of(rows.begin(), rows.end(), [](const TRow& r) { return r.Present; });
            const bool any = std::any_of(rows.begin(), rows.end(), [](const TRow& r) { return r.Present; });
            sure += all;
            maybe += any && !all;
        }
        const long c = q.Fields().Fields(0)->AsInteger();
        if (c < sure || c > sure + maybe) {
            ++S.Count.Mismatches;
            S.Note(std::string(DriverName[d]) + " thread " + std::to_string(Index) + ": " + std::to_string(c) +
                   " rows counted, model " + std::to_string(sure) + "+" + std::to_string(maybe));
        }
        q.Close();
        db.Close();
    }

    void Scan(int d) {
        auto q = OwnRows(d);
        for (; !q->Eof(); q->Next()) {
            const int id = q->FieldByName("id")->AsInteger();
            const TRow* m = Known(d, id);
            if (!m) continue;
            TRow r{true, q->FieldByName("v")->AsString(), q->FieldByName("n")->AsInteger(), m->BlobSeed, m->BlobLen};
            TField* data = q->FieldByName("data");
            bool blobOk = data->IsNull() == (m->BlobSeed == 0);
            if (blobOk && m->BlobSeed) {
                std::unique_ptr<TStream> in = q->CreateBlobStream(data, bmRead);
                std::vector<unsigned char> back(static_cast<std::size_t>(in->Size()));
                if (!back.empty()) in->ReadBuffer(back.data(), static_cast<std::int64_t>(back.size()));
                blobOk = back == BlobBytes(m->BlobSeed, m->BlobLen);
            }
            if (!(r == *m) || !blobOk) {
                ++S.Count.Mismatches;
                S.Note(std::string(DriverName[d]) + " row " + std::to_string(id) + " read '" + r.V + "' " +
                       std::to_string(r.N) + (blobOk ? "" : " (BLOB differs)") + ", model '" + m->V + "' " +
                       std::to_string(m->N));
            }
        }
        q->Close();
    }

    /// Locates a row the model is sure of in the thread's live query; -1 when none.
    int LocateKnown(int d, TODBCQuery& q) {
        const int id = PickKnown(d);
        if (id < 0) return -1;
        if (!q.Locate("id", Variant(static_cast<std::int32_t>(id)), {})) {
            ++S.Count.Mismatches;
            S.Note(std::string(DriverName[d]) + " row " + std::to_string(id) + " not found");
            return -1;
        }
        return id;
    }

    void EditPost(int d, int& pendingId, TRow& pending) {
        auto q = OwnRows(d);
        const int id = LocateKnown(d, *q);
        if (id < 0) return;
        TRow r = *Known(d, id);
        r.V = "edit-" + std::to_string(Index) + "-" + std::to_string(++Seq);
        r.N = Seq;
        q->Edit();
        q->FieldByName("v")->SetAsString(r.V);
        q->FieldByName("n")->SetAsInteger(r.N);
        pendingId = id, pending = r;
        q->Post();
        Model[d][id] = {r};
        pendingId = -1;
        q->Close();
    }

    void Append(int d, int& pendingId, TRow& pending) {
        if (Model[d].size() > 40) return Delete(d, pendingId, pending);
        auto q = OwnRows(d);
        const int id = Index * 1000000 + NextId++;
        TRow r{true, "new-" + std::to_string(id), ++Seq, 0, 0};
        q->Append();
        q->FieldByName("id")->SetAsInteger(id);
        q->FieldByName("owner")->SetAsInteger(Index);
        q->FieldByName("v")->SetAsString(r.V);
        q->FieldByName("n")->SetAsInteger(r.N);
        Model[d][id] = {TRow{}};
        pendingId = id, pending = r;
        q->Post();
        Model[d][id] = {r};
        pendingId = -1;
        q->Close();
    }

    void Delete(int d, int& pendingId, TRow& pending) {
        if (Model[d].size() < 6) return;
        auto q = OwnRows(d);
        const int id = LocateKnown(d, *q);
        if (id < 0) return;
        pendingId = id, pending = TRow{};
        q->Delete();
        Model[d][id] = {TRow{}};
        pendingId = -1;
        q->Close();
    }

    void UpdateObject(int d, int& pendingId, TRow& pending) {
        auto q = OwnRows(d);
        TODBCUpdateSQL upd(nullptr);
        upd.ModifySQL()->SetText("UPDATE soak SET v = :v, n = :n WHERE id = :OLD_id");
        q->SetUpdateObject(&upd);
        const int id = LocateKnown(d, *q);
        if (id >= 0) {
            TRow r = *Known(d, id);
            r.V = "upd-" + std::to_string(Index) + "-" + std::to_string(++Seq);
            r.N = -Seq;
            q->Edit();
            q->FieldByName("v")->SetAsString(r.V);
            q->FieldByName("n")->SetAsInteger(r.N);
            pendingId = id, pending = r;
            upd.Apply(ukModify);
            Model[d][id] = {r};
            pendingId = -1;
            q->Cancel();
        }
        q->SetUpdateObject(nullptr);
        q->Close();
    }

    void Stream(int d, int& pendingId, TRow& pending) {
        auto q = OwnRows(d);
        const int id = LocateKnown(d, *q);
        if (id < 0) return;
        TRow r = *Known(d, id);
        r.BlobSeed = static_cast<std::uint32_t>(Rng() | 1u);
        r.BlobLen = 1 + Rand(32768);
        const std::vector<unsigned char> bytes = BlobBytes(r.BlobSeed, r.BlobLen);
        q->Edit();
        {
            std::unique_ptr<TStream> out = q->CreateBlobStream(q->FieldByName("data"), bmWrite);
            for (std::size_t at = 0; at < bytes.size(); at += 4096) {
                const std::size_t piece = std::min<std::size_t>(4096, bytes.size() - at);
                out->WriteBuffer(bytes.data() + at, static_cast<std::int64_t>(piece));
            }
        }
        pendingId = id, pending = r;
        q->Post();
        Model[d][id] = {r};
        pendingId = -1;
        q->Close();
    }

    /// Runs the long statement; true when it was stopped (an error, or an
    /// early end), with the time it took in ms.
    bool RunLong(int d, TODBCQuery& q, long& ms, std::string& state) {
        const auto t0 = Clock::now();
        bool stopped = false;
        try {
            q.Open();
            q.Close();
        } catch (...) {
            ErrorText(std::current_exception(), &state);
            stopped = true;
        }
        ms = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
        // MariaDB's SLEEP ends early with 1 when its query is killed.
        if (!stopped && d == drMariaDB && ms < 10000) stopped = true;
        return stopped;
    }

    void CancelLong(int d) {
        auto q = Query(d, TConfig::LongStatement(d));
        std::atomic<bool> done{false};
        std::thread canceller([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100 + Rand(300)));
            while (!done.load() && !q->CancelStatement()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        });
        long ms = 0;
        std::string state;
        const bool stopped = RunLong(d, *q, ms, state);
        done = true;
        canceller.join();
        ++S.Count.Cancels[d];
        if (stopped && ms < 10000) ++S.Count.CancelStopped[d];
        else if (!S.InRestartWindow()) {
            ++S.Count.CancelSlow[d];
            S.Note(std::string(DriverName[d]) + " cancel: " + std::to_string(ms) + " ms, state " + state);
        }
        if (stopped && state != "HY008" && !(d == drMariaDB && state.empty())) throw EODBCError("cancel ended with " + state, state, 0);
    }

    void TimeoutLong(int d) {
        auto q = Query(d, TConfig::LongStatement(d));
        q->SetQueryTimeout(1);
        long ms = 0;
        std::string state;
        const bool stopped = RunLong(d, *q, ms, state);
        ++S.Count.Timeouts[d];
        if (stopped && ms < 10000) ++S.Count.TimeoutStopped[d];
        else if (!S.InRestartWindow()) {
            ++S.Count.TimeoutSlow[d];
            S.Note(std::string(DriverName[d]) + " timeout: " + std::to_string(ms) + " ms, state " + state);
        }
        if (stopped && state != "HYT00") throw EODBCError("timeout ended with " + state, state, 0);
    }
};

// ---- sampling --------------------------------------------------------------------------

struct TSample {
    double Minute;
    long Ops, RssKB, Fds, Conns[drCount];
};

long RssKB() {
    std::ifstream f("/proc/self/status");
    std::string line;
    while (std::getline(f, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

long OpenFds() {
    long n = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.') ++n;
        closedir(dir);
        --n;  // the folder's own handle
    }
    return n;
}

long ServerConnections(const TConfig& cfg, int d) {
    std::string out;
    if (d == drPostgreSQL)
        out = cfg.Client(d, "SELECT count(*) FROM pg_stat_activity WHERE usename = 'velora' AND pid <> pg_backend_pid()");
    else if (d == drMariaDB)
        out = cfg.Client(d, "SELECT count(*) FROM information_schema.processlist WHERE user = 'velora' AND id <> CONNECTION_ID()");
    else
        return 0;
    return std::atol(Trim(out).c_str());
}

void PrintSample(const TSample& s) {
    std::printf("| %6.1f | %8ld | %9ld | %5ld | %7ld | %7ld |\n", s.Minute, s.Ops, s.RssKB, s.Fds, s.Conns[drPostgreSQL],
                s.Conns[drMariaDB]);
    std::fflush(stdout);
}

bool Within(long base, long value, double share) {
    return std::abs(static_cast<double>(value - base)) <= share * static_cast<double>(base);
}

void CreateTables(const TConfig& cfg) {
    const char* blob[drCount] = {"BLOB", "bytea", "LONGBLOB"};
    for (int d = 0; d < drCount; ++d) {
        TODBCDatabase db(nullptr);
        db.SetDataSourceName(cfg.ConnectionString(d));
        db.SetLoginPrompt(false);
        db.Open();
        auto exec = [&](const std::string& sql) {
            TODBCQuery q(nullptr);
            q.SetDataBase(&db);
            q.SetParamCheck(false);
            q.SQL()->SetText(sql);
            q.ExecSQL();
        };
        if (d == drSQLite) {
            // Readers and writers of eight connections on one file: WAL lets
            // a scan run beside a commit.
            TODBCQuery q(nullptr);
            q.SetDataBase(&db);
            q.SQL()->SetText("PRAGMA journal_mode=WAL");
            q.Open();
            q.Close();
        }
        exec("DROP TABLE IF EXISTS soak");
        exec(std::string("CREATE TABLE soak (id integer PRIMARY KEY, owner integer NOT NULL, v varchar(60), n integer, data ") +
             blob[d] + ")");
        db.Close();
    }
}

/// Rows of the database read by its own client against the merged model;
/// returns the number of rows that differ.
long CheckWithClient(const TConfig& cfg, int d, const TModel& model) {
    std::string sql;
    switch (d) {
        case drSQLite: sql = "SELECT id, ifnull(v, ''), ifnull(n, ''), ifnull(hex(data), '') FROM soak ORDER BY id"; break;
        case drPostgreSQL:
            sql = "SELECT id, coalesce(v, ''), coalesce(n::text, ''), upper(coalesce(encode(data, 'hex'), '')) FROM soak ORDER BY id";
            break;
        default:
            sql = "SELECT CONCAT_WS('|', id, IFNULL(v, ''), IFNULL(n, ''), IFNULL(HEX(data), '')) FROM soak ORDER BY id";
    }
    std::istringstream in(cfg.Client(d, sql));
    std::map<int, std::string> stored;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty()) continue;
        const auto bar = line.find('|');
        stored[std::atoi(line.substr(0, bar).c_str())] = line;
    }
    long bad = 0, unknown = 0;
    for (const auto& [id, rows] : model) {
        auto it = stored.find(id);
        bool ok = false;
        for (const TRow& r : rows) {
            if (!r.Present) ok = ok || it == stored.end();
            else if (it != stored.end()) {
                const std::string want = std::to_string(id) + "|" + r.V + "|" + std::to_string(r.N) + "|" +
                                         (r.BlobSeed ? Hex(BlobBytes(r.BlobSeed, r.BlobLen)) : "");
                ok = ok || it->second == want;
            }
        }
        unknown += rows.size() > 1;
        if (!ok) {
            ++bad;
            if (bad <= 5)
                std::printf("  %s row %d: stored %s\n", DriverName[d], id,
                            it == stored.end() ? "(absent)" : it->second.substr(0, 80).c_str());
        }
        if (it != stored.end()) stored.erase(it);
    }
    bad += static_cast<long>(stored.size());
    for (const auto& [id, text] : stored) std::printf("  %s row %d stored, not in the model\n", DriverName[d], id);
    std::printf("%-10s  %5zu rows modelled (%ld of unknown outcome), %ld differ\n", DriverName[d], model.size(), unknown, bad);
    return bad;
}

}  // namespace

int main() {
    TShared s;
    TConfig& cfg = s.Cfg;
    cfg.Dir = Env("VELORA_SOAK_DIR");
    cfg.PgPort = Env("VELORA_PG_PORT");
    cfg.MariaPort = Env("VELORA_MARIADB_PORT");
    cfg.Control = Env("VELORA_SOAK_CONTROL");
    cfg.Minutes = std::atoi(Env("VELORA_SOAK_MINUTES", "60").c_str());
    cfg.SampleSeconds = std::atoi(Env("VELORA_SOAK_SAMPLE_SECONDS", "60").c_str());
    cfg.WarmupMinutes = std::atoi(Env("VELORA_SOAK_WARMUP_MINUTES", "10").c_str());
    cfg.Threads = std::atoi(Env("VELORA_SOAK_THREADS", "8").c_str());
    if (cfg.Dir.empty() || cfg.PgPort.empty() || cfg.MariaPort.empty() || cfg.Control.empty()) {
        std::fprintf(stderr, "soak: run through scripts/soak.sh (VELORA_SOAK_DIR and the ports are missing)\n");
        return 2;
    }
    try {
        CreateTables(cfg);
    } catch (...) {
        std::fprintf(stderr, "soak: cannot create the tables: %s\n", ErrorText(std::current_exception()).c_str());
        return 2;
    }

    std::vector<std::unique_ptr<TWorker>> workers;
    std::vector<std::thread> threads;
    for (int i = 0; i < cfg.Threads; ++i) workers.push_back(std::make_unique<TWorker>(s, i));
    const auto start = Clock::now();
    s.Start = start;
    for (auto& w : workers) threads.emplace_back([&w] { w->Main(); });

    std::printf("%d threads, %d minutes, a sample every %d s, warm-up %d minutes\n", cfg.Threads, cfg.Minutes,
                cfg.SampleSeconds, cfg.WarmupMinutes);
    std::printf("| minute |      ops |    RSS kB |   fds | PG conn | MDB conn |\n");
    std::vector<TSample> samples;
    const auto end = start + std::chrono::minutes(cfg.Minutes);
    const auto restartAt = start + (end - start) / 2;
    bool restarted = false;
    auto next = start;
    while (true) {
        next += std::chrono::seconds(cfg.SampleSeconds);
        while (Clock::now() < std::min(next, end)) {
            if (!restarted && Clock::now() >= restartAt) {
                // Both servers die under the load and come back on the same port.
                restarted = true;
                s.Restarting = true;
                std::printf("-- killing PostgreSQL and MariaDB, starting them again\n");
                const std::string ctl = "bash '" + cfg.Control + "' ";
                Run(ctl + "stop pg '" + cfg.Dir + "'");
                Run(ctl + "stop mariadb '" + cfg.Dir + "'");
                std::this_thread::sleep_for(std::chrono::seconds(3));
                Run(ctl + "restart pg '" + cfg.Dir + "' " + cfg.PgPort);
                Run(ctl + "restart mariadb '" + cfg.Dir + "' " + cfg.MariaPort);
                {
                    std::lock_guard<std::mutex> lock(s.Mutex);
                    s.RestartEnd = Clock::now() + std::chrono::seconds(15);
                }
                s.Restarting = false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        const bool last = Clock::now() >= end;
        {
            std::unique_lock<std::mutex> lock(s.Mutex);
            s.Pause = true;
            s.Cv.wait(lock, [&] { return s.Parked == cfg.Threads; });
        }
        TSample smp{std::chrono::duration<double>(Clock::now() - start).count() / 60.0, s.Count.Ops.load(), RssKB(),
                    OpenFds(), {}};
        for (int d = 0; d < drCount; ++d) smp.Conns[d] = ServerConnections(cfg, d);
        samples.push_back(smp);
        PrintSample(smp);
        if (last) s.Stop = true;
        {
            std::lock_guard<std::mutex> lock(s.Mutex);
            s.Pause = false;
        }
        s.Cv.notify_all();
        if (last) break;
    }
    for (auto& t : threads) t.join();

    int failures = 0;
    // Flat after the warm-up: every later sample within 5 % of the first one after it.
    const TSample* base = nullptr;
    for (const TSample& smp : samples)
        if (smp.Minute >= cfg.WarmupMinutes - 0.01 && !base) base = &smp;
    if (!base || base == &samples.back()) {
        std::printf("flatness: not judged (fewer than two samples after the %d-minute warm-up)\n", cfg.WarmupMinutes);
    } else {
        long maxRss = 0, maxFds = 0;
        bool connsFlat = true, rssFlat = true, fdsFlat = true;
        for (const TSample* p = base; p <= &samples.back(); ++p) {
            maxRss = std::max(maxRss, std::abs(p->RssKB - base->RssKB));
            maxFds = std::max(maxFds, std::abs(p->Fds - base->Fds));
            rssFlat = rssFlat && Within(base->RssKB, p->RssKB, 0.05);
            fdsFlat = fdsFlat && Within(base->Fds, p->Fds, 0.05);
            connsFlat = connsFlat && p->Conns[drPostgreSQL] == base->Conns[drPostgreSQL] &&
                        p->Conns[drMariaDB] == base->Conns[drMariaDB];
        }
        std::printf("flatness from minute %.1f: RSS %s (largest change %ld kB of %ld), fds %s (%ld of %ld), connections %s\n",
                    base->Minute, rssFlat ? "flat" : "NOT FLAT", maxRss, base->RssKB, fdsFlat ? "flat" : "NOT FLAT", maxFds,
                    base->Fds, connsFlat ? "flat" : "NOT FLAT");
        failures += !rssFlat + !fdsFlat + !connsFlat;
    }

    std::printf("steps %ld; errors in the restart window %ld, elsewhere %ld; reads that differ from the model %ld\n",
                s.Count.Ops.load(), s.Count.Expected.load(), s.Count.Unexpected.load(), s.Count.Mismatches.load());
    for (int d = 0; d < drCount; ++d)
        std::printf("%-10s  cancels %ld (stopped %ld, slow %ld), timeouts %ld (stopped %ld, slow %ld)\n", DriverName[d],
                    s.Count.Cancels[d].load(), s.Count.CancelStopped[d].load(), s.Count.CancelSlow[d].load(),
                    s.Count.Timeouts[d].load(), s.Count.TimeoutStopped[d].load(), s.Count.TimeoutSlow[d].load());
    for (const std::string& m : s.Messages) std::printf("  %s\n", m.c_str());
    failures += s.Count.Unexpected.load() > 0;
    failures += s.Count.Mismatches.load() > 0;
    for (int d = 0; d < drCount; ++d) failures += s.Count.CancelSlow[d].load() + s.Count.TimeoutSlow[d].load() > 0;

    // The stored rows, read by each database's own client, against the model.
    for (int d = 0; d < drCount; ++d) {
        TModel merged;
        for (auto& w : workers) merged.insert(w->Model[d].begin(), w->Model[d].end());
        failures += CheckWithClient(cfg, d, merged) > 0;
    }
    std::printf("soak: %s\n", failures ? "FAILED" : "passed");
    return failures ? 1 : 0;
}
