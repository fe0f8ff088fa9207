// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The velora tool's `apply` command: one row of a query written through an
// update object (TODBCUpdateSQL) with a statement of the user's own.
#pragma once

#include "Command.h"

#include <optional>
#include <vector>

namespace velora::app {

/// velora apply DSN SELECT --row N --set COLUMN=VALUE ... --modify-sql UPDATE
/// velora apply DSN SELECT [--row N] --set COLUMN=VALUE ... --insert-sql INSERT
/// velora apply DSN SELECT --row N --delete-sql DELETE
/// Values as in `velora edit` (COLUMN=:null, TEXT:string).
class TApplyCommand : public TCommand {
public:
    void Define(CLI::App& cmd) override;
    int Run() override;

private:
    std::string FDsn, FSQL;
    int FRow = 0;
    std::vector<std::string> FSets;
    std::optional<std::string> FModify, FInsert, FDelete;
    TAccount FAccount;
    TOutputOptions FOutput;
};

}  // namespace velora::app
