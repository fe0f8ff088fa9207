// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// velora browse: a full-screen data browser over a table or a query.
#pragma once

#include "Command.h"

#include <optional>
#include <string>

namespace velora::app {

/// velora browse DSN TABLE [--where TEXT] [--order TEXT] [--read-only]
/// velora browse DSN --sql "SELECT ..." [--read-only]
/// with --user and --password (or the other password sources) as elsewhere.
class TBrowseCommand : public TCommand {
public:
    void Define(CLI::App& cmd) override;
    int Run() override;

private:
    std::string FDsn, FTable;
    std::optional<std::string> FSQL, FWhere, FOrder;
    bool FReadOnly = false;
    TAccount FAccount;
};

}  // namespace velora::app
