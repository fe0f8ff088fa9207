// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The velora tool's `edit`, `insert` and `delete` commands: one row of a
// table written through TODBCTable (Edit/Insert/Delete and Post), then read
// back as the data source has it.
#pragma once

#include "Command.h"

#include <vector>

namespace velora::app {

/// One COLUMN=VALUE: Null when the value is :null. A value ending in
/// ":string" is taken without that suffix, so any text can be written.
struct TAssignment {
    std::string Column;
    std::string Value;
    bool Null = false;
};

/// Reads COLUMN=VALUE, COLUMN=:null or COLUMN=TEXT:string.
/// \throws TUsageError without "=" or for a value ending in :null.
TAssignment ParseAssignment(const std::string& text);

/// velora edit DSN TABLE --row N --set COLUMN=VALUE ...
/// velora insert DSN TABLE COLUMN=VALUE ...
/// velora delete DSN TABLE --row N
/// COLUMN=:null writes NULL; a ":string" suffix takes the text before it as
/// it is (COLUMN=:null:string writes the text ":null").
class TEditCommand : public TCommand {
public:
    /// `kind` is "edit", "insert" or "delete".
    explicit TEditCommand(std::string kind) : FKind(std::move(kind)) {}
    void Define(CLI::App& cmd) override;
    int Run() override;

private:
    std::string FKind;
    std::string FDsn, FTable;
    int FRow = 0;
    std::vector<std::string> FSets;
    TAccount FAccount;
    TOutputOptions FOutput;
};

}  // namespace velora::app
