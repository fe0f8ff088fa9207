// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The database a velora command works on.
#pragma once

#include "velora/components/ODBCObj.h"

#include <string>
#include <vector>

namespace velora::app {

/// A database component on `dsn`, owned by `owner`, not yet open: the data
/// source's own account unless a user name or password is given (null when
/// not), never a login dialog. The sample database is created first when
/// `dsn` names it.
/// With `streaming` (the command reads forward-only) a plain data source
/// name becomes the connection string of StreamingDataSource.
TODBCDatabase* NewCommandDatabase(TComponent* owner, const std::string& dsn, const std::string* user,
                                  const std::string* password, bool streaming = false);

/// For a data source whose driver is SQLite's or psqlODBC, the connection
/// string that asks that driver to hand a forward-only result over as it is
/// read instead of holding all of it: "DSN=<name>;StepAPI=1" (SQLite) or
/// "DSN=<name>;UseDeclareFetch=1;Fetch=1000" (PostgreSQL) for a plain name,
/// the same keys appended to a connection string that sets none of them
/// itself (one that does is taken as written). The driver is the connection
/// string's DRIVER, else the data source's Driver entry (odbc.ini, user then
/// system) and, when that is a driver's name, its Driver entry in
/// odbcinst.ini; any other driver and an unknown name are answered as given.
std::string StreamingDataSource(const std::string& dsn);

/// A password option the tool cannot use as given.
struct TPasswordUsageError {
    std::string Message;
};

/// Gives a command its password from the sources that keep it off the
/// command line, where `ps` and /proc/PID/cmdline show it to every user:
/// `--password-file FILE` (its first line), `--password-stdin` (one line of
/// standard input) and, when neither nor --password is given, the
/// environment variable VELORA_PASSWORD. The option is replaced in `args` by
/// the "--password VALUE" the commands take (in memory only). `sources`
/// takes no password and is left alone.
/// \throws TPasswordUsageError for two sources at once, a missing file name,
///         or --password-stdin with SQL read from standard input ("-");
///         Exception when the file cannot be read.
void ResolvePasswordSources(const std::string& command, std::vector<std::string>& args);

}  // namespace velora::app
