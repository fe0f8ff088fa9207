// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The gate a statement passes while the driver executes it: the one moment
// another thread may cancel it (TODBCDataSet::CancelStatement, the query
// timeout's watchdog).
#pragma once

#include "velora/odbc/ODBCDefs.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace velora {

/// The door through which another thread may cancel a statement: open only
/// while the owning thread is inside a driver call that runs the statement
/// (SQLExecute, and the fetches: a forward-only SQLite statement does its
/// work in its first SQLFetch). A driver's SQLCancel on a statement that is
/// not inside a call acts as SQLFreeStmt(SQL_CLOSE) (SQLite, MariaDB); from
/// another thread that would race the owner's next calls on the handle and
/// its free. So the owner enters the gate just before the call and leaves it
/// just after; leaving waits for a SQLCancel in flight, so the owner makes no
/// call on the handle while the cancel runs, and the handle cannot be freed
/// under it. A cancel while the gate is closed touches nothing and answers
/// false.
///
/// The gate also times each call inside it: with a timeout set, a watchdog
/// thread (started at the first timed call, ended with the gate) cancels a
/// call that is still inside after that many seconds, as Cancel would, and
/// remembers it timed out. Each call has the whole limit: a slow reader of a
/// result is never cut off, a statement working inside one call is.
class TODBCCancelGate {
public:
    TODBCCancelGate() = default;
    ~TODBCCancelGate();
    TODBCCancelGate(const TODBCCancelGate&) = delete;
    TODBCCancelGate& operator=(const TODBCCancelGate&) = delete;

    /// Forgets an earlier cancel and timeout (a new run begins) and sets the
    /// seconds each call may take (0: no limit). With `prepareAgain`, a
    /// statement a cancel reached is prepared again from its text before
    /// RaiseCancelled raises: MariaDB Connector/ODBC's KILL QUERY that
    /// interrupts SQLExecute leaves the prepared statement waiting for rows
    /// the server never sends, so its next SQLExecute polls without end.
    void Arm(int timeoutSeconds = 0, bool prepareAgain = false);
    /// Cancels the statement inside the gate with SQLCancel; answers false,
    /// touching nothing, when no statement is inside.
    bool Cancel();
    /// Whether a cancel (or the watchdog) reached the statement since Arm.
    bool Cancelled();
    /// Whether the watchdog cancelled a call since Arm.
    bool TimedOut();
    /// After a call on `handle` that a cancel reached: closes the statement
    /// (prepared again when armed so) and raises EODBCError with `records`
    /// (the call's diagnostics) and a last record HYT00 "Timeout expired" or
    /// HY008 "Operation canceled".
    /// A statement that answered although cancelled (MariaDB's SLEEP returns
    /// 1 when killed; a fetch the cancel closed reads no more rows) is never
    /// passed off as its result.
    [[noreturn]] void RaiseCancelled(odbc::HStmt handle, std::vector<odbc::DiagRecord> records);

    /// Holds the gate open for one driver call on `handle` (no-op for a null gate).
    class TScope {
    public:
        TScope(TODBCCancelGate* gate, odbc::HStmt handle);
        ~TScope();
        TScope(const TScope&) = delete;
        TScope& operator=(const TScope&) = delete;

    private:
        TODBCCancelGate* FGate;
    };

private:
    void Watch();

    std::mutex FLock;
    std::condition_variable FWake;
    odbc::HStmt FInside = nullptr;
    bool FCancelled = false;
    bool FTimedOut = false;
    bool FPrepareAgain = false;
    bool FStop = false;
    int FTimeout = 0;
    std::uint64_t FCall = 0;  ///< counts the calls through the gate
    std::chrono::steady_clock::time_point FDeadline;
    std::thread FWatchdog;
};

}  // namespace velora
