// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "RunningStatement.h"

#include "velora/components/ODBCObj.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace velora::app {

namespace {

std::mutex gLock;
TODBCDataSet* gRunning = nullptr;

}  // namespace

TRunningStatement::TRunningStatement(TODBCDataSet& dataSet) {
    std::lock_guard<std::mutex> lock(gLock);
    gRunning = &dataSet;
}

TRunningStatement::~TRunningStatement() {
    std::lock_guard<std::mutex> lock(gLock);
    gRunning = nullptr;
}

bool CancelRunningStatement() {
    // A statement is marked before it is prepared and executed: a cancel
    // that comes before it reaches the data source waits for it to get there
    // (or to end), so a Ctrl-C pressed early is not lost.
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(gLock);
            if (!gRunning) return false;
            if (gRunning->CancelStatement()) return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace velora::app
