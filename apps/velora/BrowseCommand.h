// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// velora browse: a full-screen data browser over a table or a query.
#pragma once

#include <string>
#include <vector>

namespace velora::app {

/// A browse command line the tool cannot understand.
struct TBrowseUsageError {
    std::string Message;
};

/// velora browse DSN TABLE [--where TEXT] [--order TEXT] [--read-only]
///                         [--user USER] [--password PASSWORD]
/// velora browse DSN --sql "SELECT ..." [...]
int BrowseCommand(const std::vector<std::string>& args);

extern const char* const BrowseUsage;

}  // namespace velora::app
