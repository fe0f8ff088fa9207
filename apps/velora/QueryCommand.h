// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The velora tool's `query` command: runs SQL with :name parameters through
// TODBCQuery and writes its rows, or, for a statement without a result, the
// number of rows it affected.
#pragma once

#include "Command.h"

#include <cstdio>
#include <vector>

namespace velora {
class TODBCDatabase;
}

namespace velora::app {

/// velora query DSN [SQL | -] [-f FILE] [--param NAME=VALUE[:TYPE]]...
/// SQL from a file or standard input may hold several statements ended by
/// semicolons; they run in turn. Without --param, SQL holding "::" (a
/// PostgreSQL cast) goes to the data source as it stands; with --param,
/// ":name" is a parameter and "::" one colon.
class TQueryCommand : public TCommand {
public:
    void Define(CLI::App& cmd) override;
    int Run() override;

private:
    std::string FDsn, FSQL, FFile;
    std::vector<std::string> FParams;
    TAccount FAccount;
    TOutputOptions FOutput;
};

/// Runs one statement on an open database and writes its rows (or the rows
/// affected) with `output`; `params` are NAME=VALUE[:TYPE] texts, each
/// given to every marker of that name; written to `out`. Shared with the
/// shell. Answers the
/// rows read or affected (-1: not counted).
/// \throws TUsageError for a parameter without value or unknown to the SQL
long long RunStatement(TODBCDatabase& db, const std::string& sql, const std::vector<std::string>& params,
                       const TOutputOptions& output, bool requireAllParams = true, std::FILE* out = stdout);

}  // namespace velora::app
