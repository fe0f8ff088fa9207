// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The statement the tool is running now, so another thread (the shell's
// Ctrl-C watcher) can cancel it through the dataset's CancelStatement.
#pragma once

namespace velora {
class TODBCDataSet;
}

namespace velora::app {

/// Marks `dataSet` as the running statement for its lifetime.
class TRunningStatement {
public:
    explicit TRunningStatement(TODBCDataSet& dataSet);
    ~TRunningStatement();
    TRunningStatement(const TRunningStatement&) = delete;
    TRunningStatement& operator=(const TRunningStatement&) = delete;
};

/// Cancels the running statement, if any (CancelStatement); true when one
/// was cancelled. A statement marked but not executing yet (being prepared,
/// or reading its rows) is waited for until it executes or ends. Safe from
/// any thread.
bool CancelRunningStatement();

}  // namespace velora::app
