// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "RunningStatement.h"

#include "velora/components/ODBCObj.h"

#include <mutex>

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
    std::lock_guard<std::mutex> lock(gLock);
    return gRunning && gRunning->CancelStatement();
}

}  // namespace velora::app
