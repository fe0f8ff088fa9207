// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The velora tool's `shell` command: an interactive SQL prompt on one data
// source, with line editing and history (libedit).
#pragma once

#include "Command.h"

namespace velora::app {

/// velora shell DSN
/// Statements may span lines and end with ";". Meta-commands start with a
/// backslash: \dt (tables), \d TABLE (describe), \format FORMAT,
/// \timing [on|off], \? (help), \q (quit). Output longer than the screen
/// goes through the pager ($PAGER, else less) when standard output is a
/// terminal. History is kept in $VELORA_HISTORY, else ~/.velora_history,
/// one entry per statement. Tab completes keywords, meta-commands, tables
/// and columns; Ctrl-C cancels the running statement or clears the line.
/// With -f FILE or piped input: no prompt, no banner, and the first error
/// ends the run with status 1 unless --continue-on-error.
class TShellCommand : public TCommand {
public:
    void Define(CLI::App& cmd) override;
    int Run() override;

private:
    std::string FDsn, FFile;
    bool FContinueOnError = false;
    TAccount FAccount;
    TOutputOptions FOutput;
};

}  // namespace velora::app
