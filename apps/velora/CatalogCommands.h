// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The velora tool's `tables` and `describe` commands: what a data source
// holds, from the driver's catalog (velora/components/ODBCCatalog.h).
#pragma once

#include "Command.h"

#include <cstdio>

namespace velora {
class TODBCDatabase;
}

namespace velora::app {

/// velora tables DSN [--tables-only]
class TTablesCommand : public TCommand {
public:
    void Define(CLI::App& cmd) override;
    int Run() override;

private:
    std::string FDsn;
    bool FTablesOnly = false;
    TAccount FAccount;
    TOutputOptions FOutput;
};

/// velora describe DSN TABLE
class TDescribeCommand : public TCommand {
public:
    void Define(CLI::App& cmd) override;
    int Run() override;

private:
    std::string FDsn, FTable;
    TAccount FAccount;
    TOutputOptions FOutput;
};

/// The tables and views of an open database, written with `output`.
void WriteTables(TODBCDatabase& db, const TOutputOptions& output, bool views = true, std::FILE* out = stdout);
/// The columns of `table`, written with `output`: name, SQL type, size,
/// decimals, nullable, key, and the field type the dataset gives them.
void WriteColumns(TODBCDatabase& db, const std::string& table, const TOutputOptions& output, std::FILE* out = stdout);

}  // namespace velora::app
