// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// velora copy: TODBCBatchCopy from a uni-directional source (a TODBCTable,
// or a TODBCQuery for --sql) on one database component to a table of
// another. The source's database asks its driver to stream (as `table` and
// `query` do), so a copy of any size holds one block of source rows and one
// parameter array of destination rows. Everything about the writing (the
// statements, keys, transactions, the counts) is the component's; the
// command maps the command line onto its properties, draws the progress
// from its OnProgress event and prints what OnProblem reports.
#include "CopyCommand.h"

#include "CommandDatabase.h"
#include "ErrorReport.h"

#include "velora/components/ODBCBatchCopy.h"
#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCTable.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <utility>

namespace velora::app {

namespace {

struct TModeName {
    const char* Name;
    TBatchMode Mode;
};

constexpr TModeName kModes[] = {
    {"append", batAppend}, {"update", batUpdate}, {"append-update", batAppendUpdate},
    {"delete", batDelete}, {"copy", batCopy},
};

/// "1:05:09" or "5:09".
std::string Clock(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(buf, sizeof buf, "%ld:%02ld", s / 60, s % 60);
    return buf;
}

/// The copy's progress on standard error when it is a terminal (the counts
/// go to standard output, which may be a file): rows read and their rate,
/// and with the source's row count known a bar, the share done and the
/// time left. Redrawn at most twice a second; erased before anything else
/// is written to the terminal and at the end.
class TCopyProgress {
public:
    explicit TCopyProgress(long long total) : FTotal(total), FStart(std::chrono::steady_clock::now()) {
        FNext = FStart + std::chrono::milliseconds(500);
    }
    ~TCopyProgress() { Erase(); }
    TCopyProgress(const TCopyProgress&) = delete;
    TCopyProgress& operator=(const TCopyProgress&) = delete;

    static bool Wanted() { return ::isatty(STDERR_FILENO) != 0; }

    void Step(long long rows) {
        if (!Wanted()) return;
        const auto now = std::chrono::steady_clock::now();
        if (now < FNext) return;
        FNext = now + std::chrono::milliseconds(500);
        const double seconds = std::chrono::duration<double>(now - FStart).count();
        const double rate = seconds > 0 ? rows / seconds : 0;
        std::string line = "\r\033[K";
        if (FTotal > 0) {
            const double done = rows >= FTotal ? 1.0 : static_cast<double>(rows) / static_cast<double>(FTotal);
            constexpr int kWidth = 30;
            const int filled = static_cast<int>(done * kWidth);
            line += "[" + std::string(static_cast<std::size_t>(filled), '#') +
                    std::string(static_cast<std::size_t>(kWidth - filled), '-') + "] ";
            char buf[160];
            std::snprintf(buf, sizeof buf, "%3.0f%% %lld/%lld rows, %.0f rows/s", done * 100, rows, FTotal, rate);
            line += buf;
            if (rate > 0 && rows < FTotal) line += ", " + Clock(static_cast<double>(FTotal - rows) / rate) + " left";
        } else {
            char buf[96];
            std::snprintf(buf, sizeof buf, "%lld rows, %.0f rows/s", rows, rate);
            line += buf;
        }
        std::fputs(line.c_str(), stderr);
        std::fflush(stderr);
        FDrawn = true;
    }

    /// Clears the line so a message can take its place.
    void Erase() {
        if (!FDrawn) return;
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        FDrawn = false;
    }

private:
    long long FTotal;
    std::chrono::steady_clock::time_point FStart, FNext;
    bool FDrawn = false;
};

/// The rows of `table` on `db` (COUNT(*)), or -1 when the data source
/// does not answer.
long long CountRows(TODBCDatabase& db, const std::string& table) {
    try {
        TODBCQuery q(nullptr);
        q.SetDataBase(&db);
        q.SetParamCheck(false);
        q.SetUniDirectional(true);
        q.SQL()->SetText("SELECT COUNT(*) FROM " + table);
        q.Open();
        const long long n = q.Eof() ? -1 : q.Fields().Fields(0)->AsLargeInt();
        q.Close();
        return n;
    } catch (const Exception&) {
        return -1;  // the estimate is a courtesy; the copy itself reports the real error
    }
}

}  // namespace

void TCopyCommand::Define(CLI::App& cmd) {
    cmd.add_option("SRC_DSN", FSrcDsn, "the data source to read (a name or a connection string)")->required();
    cmd.add_option("SOURCE", FSource, "the table to read (left out with --sql)");
    cmd.add_option("DST_DSN", FDstDsn, "the data source to write (may be SRC_DSN)")->required();
    // TABLE is checked in Run: with --sql the parser fills SOURCE, DST_DSN
    // with what are DST_DSN and TABLE (an option between positionals keeps it
    // from skipping the optional one).
    cmd.add_option("TABLE", FTable, "the table to write (always given)");
    cmd.add_option("--sql", FSQL, "read the rows of this SELECT instead of a table (runs on SRC_DSN as written)");
    cmd.add_option("--mode", FMode,
                   "append (insert every row, the default), update (update the rows whose key matches, skip the "
                   "others), append-update (update the matches, insert the rest), delete (delete the rows whose key "
                   "matches), copy (create TABLE from the source's columns, then append)")
        ->check(CLI::IsMember({"append", "update", "append-update", "delete", "copy"}));
    cmd.add_option("--map", FMaps,
                   "DEST=SRC: write source column SRC into column DEST (repeatable); with --map only the columns "
                   "named are written, without it every column of TABLE with a source column of the same name")
        ->allow_extra_args(false);
    cmd.add_option("--key", FKeys,
                   "a key column of TABLE (repeatable) that decides which rows match in update, append-update and "
                   "delete (default: TABLE's primary key)")
        ->allow_extra_args(false);
    cmd.add_option("--commit-every", FCommitEvery,
                   "commit after every N rows read (default 0: the whole copy is one transaction, undone when it "
                   "stops on an error)")
        ->check(CLI::NonNegativeNumber);
    cmd.add_option("--source-user", FSourceUser, "user name on SRC_DSN (default: --user, else the data source's own)");
    cmd.add_option("--source-password", FSourcePassword,
                   "password on SRC_DSN (default: --password, else the data source's own)");
    FAccount.Define(cmd);
}

int TCopyCommand::Run() {
    if (!FSQL.empty() && FTable.empty()) {
        FTable = std::move(FDstDsn);
        FDstDsn = std::move(FSource);
        FSource.clear();
    }
    if (FTable.empty()) throw TUsageError{"TABLE is required"};
    if (FSource.empty() == FSQL.empty())
        throw TUsageError{FSQL.empty() ? "no source given (a table name, or --sql \"SELECT ...\")"
                                       : "give a source table or --sql, not both"};
    TBatchMode mode = batAppend;
    for (const TModeName& m : kModes)
        if (FMode == m.Name) mode = m.Mode;
    for (const std::string& map : FMaps)
        if (map.find('=') == std::string::npos || map.front() == '=' || map.back() == '=')
            throw TUsageError{"--map needs DEST=SRC, not '" + map + "'"};

    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    const std::optional<std::string>& srcUser = FSourceUser ? FSourceUser : FAccount.User;
    const std::optional<std::string>& srcPassword = FSourcePassword ? FSourcePassword : FAccount.Password;
    // One SQLite file read while it is written: a streamed read holds the
    // file's shared lock, which a second connection's writing (its commit,
    // or a large transaction spilling its pages) then waits on until the
    // busy timeout. The source then reads on the destination's connection,
    // which does not stream: SQLite's driver steps one statement a
    // connection, and a write on it ends a streamed read early (measured: 20
    // of 200,000 rows read, the copy "done"). So such a source is held
    // whole by the driver while it is copied.
    const bool sameAccount = !FSourceUser && !FSourcePassword;
    const bool oneSQLiteFile =
        FSrcDsn == FDstDsn && sameAccount && StreamingDataSource(FSrcDsn).find(";StepAPI=1") != std::string::npos;
    TODBCDatabase* destination = FAccount.NewDatabase(owner.get(), FDstDsn);
    TODBCDatabase* source = oneSQLiteFile
                                ? destination
                                : NewCommandDatabase(owner.get(), FSrcDsn, srcUser ? &*srcUser : nullptr,
                                                     srcPassword ? &*srcPassword : nullptr, true);

    TDataSet* rows = nullptr;
    if (FSQL.empty()) {
        auto* table = new TODBCTable(owner.get());
        table->SetDataBase(source);
        table->SetTableName(FSource);
        table->SetReadOnly(true);
        table->SetUniDirectional(true);
        rows = table;
    } else {
        auto* query = new TODBCQuery(owner.get());
        query->SetDataBase(source);
        query->SetParamCheck(false);  // the text goes as written: "::" is a cast, ":x" no marker
        query->SQL()->SetText(FSQL);
        query->SetReadOnly(true);
        query->SetUniDirectional(true);
        rows = query;
    }

    auto* batch = new TODBCBatchCopy(owner.get());
    batch->SetSource(rows);
    batch->SetDestination(destination);
    batch->SetTableName(FTable);
    batch->SetMode(mode);
    for (const std::string& map : FMaps) batch->Mappings()->Add(map);
    std::string keys;
    for (const std::string& k : FKeys) keys += (keys.empty() ? "" : ";") + k;
    batch->SetKeyFields(keys);
    batch->SetCommitEvery(FCommitEvery);

    // The count for the estimate is asked only where someone sees it, and
    // only of a table: a SELECT would run twice.
    source->Open();
    const long long total = TCopyProgress::Wanted() && FSQL.empty() ? CountRows(*source, FSource) : -1;
    TCopyProgress progress(total);
    batch->OnProgress = [&](TObject*, std::int64_t read) { progress.Step(read); };
    batch->OnProblem = [&](TObject*, std::int64_t row, const String& message) {
        progress.Erase();
        std::fprintf(stderr, "row %lld: %s\n", static_cast<long long>(row), ProblemLine(message).c_str());
    };
    batch->Execute();
    progress.Erase();

    std::printf("read %lld, written %lld, skipped %lld, in error %lld\n", static_cast<long long>(batch->RowsRead()),
                static_cast<long long>(batch->RowsWritten()), static_cast<long long>(batch->RowsSkipped()),
                static_cast<long long>(batch->RowsInError()));
    return batch->RowsInError() > 0 ? 1 : 0;
}

}  // namespace velora::app
