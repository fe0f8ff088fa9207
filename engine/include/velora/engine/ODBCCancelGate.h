// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The gate a statement passes while the driver executes it: the one moment
// another thread may cancel it (TODBCDataSet::CancelStatement, the query
// timeout's watchdog).
#pragma once

#include "velora/odbc/ODBCDefs.h"

#include <mutex>

namespace velora {

/// The door through which another thread may cancel a statement: open only
/// while the owning thread is inside the driver's execute call. A driver's
/// SQLCancel on a statement that is not executing acts as
/// SQLFreeStmt(SQL_CLOSE) (SQLite, MariaDB); from another thread that would
/// race the owner's next calls on the handle and its free. So the owner
/// enters the gate just before SQLExecute and leaves it just after; leaving
/// waits for a SQLCancel in flight, so the owner makes no call on the handle
/// while the cancel runs, and the handle cannot be freed under it. A cancel
/// while the gate is closed touches nothing and answers false.
class TODBCCancelGate {
public:
    /// Forgets an earlier cancel (a new run begins).
    void Arm();
    /// Cancels the statement inside the gate with SQLCancel; answers false,
    /// touching nothing, when no statement is inside.
    bool Cancel();
    /// Whether a cancel reached the statement since Arm.
    bool Cancelled();

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
    std::mutex FLock;
    odbc::HStmt FInside = nullptr;
    bool FCancelled = false;
};

}  // namespace velora
