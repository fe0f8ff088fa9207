// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// What every velora command shares: the one usage error, the account
// options (--user, --password) and the output options (--format,
// --no-header, --null, --expanded). A command is a class that declares its
// arguments on its own subcommand of the command line (Define) and then runs with what
// the parser filled in (Run), so reading the command line and doing the work
// stay apart.
#pragma once

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace velora {
class TComponent;
class TODBCDatabase;
}  // namespace velora

namespace velora::app {

/// A command line the tool cannot understand; main prints it in one line
/// that names the command and points at its --help, and ends with status 2.
struct TUsageError {
    std::string Message;
};

/// One velora command: Define declares its arguments, Run does the work.
class TCommand {
public:
    virtual ~TCommand() = default;
    /// Declares the command's positionals and options on `cmd`, binding
    /// them to the command's own members.
    virtual void Define(CLI::App& cmd) = 0;
    /// Runs with the parsed arguments; answers the exit status.
    /// \throws TUsageError for arguments that only make sense together;
    /// the library's exceptions for anything the data source refuses.
    virtual int Run() = 0;
};

/// The account of a data source: the DSN's own unless given.
struct TAccount {
    std::optional<std::string> User;
    std::optional<std::string> Password;
    /// Adds --user and --password to `cmd`.
    void Define(CLI::App& cmd);
    /// A database component on `dsn`, owned by `owner`, not yet open.
    /// `streaming`: the command reads forward-only, and the drivers that can
    /// are asked to stream (StreamingDataSource in CommandDatabase.h).
    TODBCDatabase* NewDatabase(TComponent* owner, const std::string& dsn, bool streaming = false) const;
};

/// How rows are written.
struct TOutputOptions {
    std::string Format = "table";
    bool NoHeader = false;
    std::optional<std::string> Null;
    /// Seconds a statement may run (0: no limit): the query's QueryTimeout.
    /// The query and shell commands define it (DefineTimeout).
    int QueryTimeout = 0;
    /// The table format's expanded display: "off", "on" (a block per row, a
    /// line per column) or "auto" (expanded when a row is wider than Width).
    std::string Expanded = "off";
    /// Columns of the screen the output goes to; 0 when it is no screen
    /// (then "auto" stays with the table).
    int Width = 0;
    /// Adds --format, --no-header, --null and --expanded to `cmd`.
    void Define(CLI::App& cmd);
    /// Adds --timeout SECONDS to `cmd`.
    void DefineTimeout(CLI::App& cmd);
};

/// A boolean as people type it: 1/0, yes/no, on/off, true/false or t/f, in
/// any case. False when `text` is none of these.
bool ParseBoolean(const std::string& text, bool& value);

/// The value of a boolean input named `what` (a column or parameter).
/// \throws Exception naming the accepted spellings when `text` is none.
bool BooleanInput(const std::string& text, const std::string& what);

/// The SQL text of a command: `text` as given, or, when it is "-", all of
/// standard input; `file` (when not empty) instead names a file to read.
/// \throws TUsageError when neither or both are given, Exception when the
/// file cannot be read.
std::string ReadSQLText(const std::string& text, const std::string& file);

}  // namespace velora::app
