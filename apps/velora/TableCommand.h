// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The velora tool's `table` command: writes a table of a data source
// through TODBCTable, optionally filtered and ordered by the data source's
// own SQL, or only its last rows reached from the end with Last and Prior.
#pragma once

#include "Command.h"

namespace velora::app {

/// velora table DSN TABLE [--where TEXT] [--order TEXT] [--last N]
class TTableCommand : public TCommand {
public:
    void Define(CLI::App& cmd) override;
    int Run() override;

private:
    std::string FDsn, FTable;
    std::optional<std::string> FWhere, FOrder;
    int FLast = 0;
    TAccount FAccount;
    TOutputOptions FOutput;
};

}  // namespace velora::app
