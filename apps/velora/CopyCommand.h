// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The velora tool's `copy` command: the rows of a table or of a SELECT on
// one data source written into a table of another (or the same) through
// TODBCBatchCopy, in one of its modes.
#pragma once

#include "Command.h"

#include <optional>
#include <string>
#include <vector>

namespace velora::app {

/// velora copy SRC_DSN SOURCE DST_DSN TABLE [--mode MODE] [--map DEST=SRC]...
///     [--key COL]... [--commit-every N]
/// velora copy SRC_DSN --sql "SELECT ..." DST_DSN TABLE [...]
/// The source is read forward-only, once. A progress line on a terminal;
/// the counts at the end; each refused row on standard error with its
/// number and the server's message; status 1 when rows were refused.
class TCopyCommand : public TCommand {
public:
    void Define(CLI::App& cmd) override;
    int Run() override;

private:
    std::string FSrcDsn, FSource, FDstDsn, FTable, FSQL;
    std::string FMode = "append";
    std::vector<std::string> FMaps, FKeys;
    int FCommitEvery = 0;
    std::optional<std::string> FSourceUser, FSourcePassword;
    TAccount FAccount;
};

}  // namespace velora::app
