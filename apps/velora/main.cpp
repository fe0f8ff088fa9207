// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The velora command-line tool: the library's main job, used by people and
// by the run script. Each command is a small function over the components;
// errors print one clear message on standard error and end with a non-zero
// status (1 for a failure, 2 for a command line that cannot be understood).
//
//   velora sources
//   velora connect DSN [--user U] [--password P] [--no-prompt]
//   velora table DSN TABLE [--where TEXT] [--order TEXT] [--last N]
//   velora query DSN "SQL" [--param NAME=VALUE[:TYPE]]...
//   velora edit DSN TABLE --row N --set COLUMN=VALUE ...
//   velora insert DSN TABLE COLUMN=VALUE ...
//   velora delete DSN TABLE --row N
//   velora render FORMFILE|--login-dialog --out FILE.png [--scale N]
//   velora label CAPTION [--style S] [--rotation D] ... --out FILE.png
//   velora browse DSN TABLE | --sql SQL   (BrowseCommand.cpp)
//
// Run from its build tree the tool reads the project's own ODBC configuration
// (ODBCSYSINI and ODBCINI point at the build's odbc folder unless already
// set); installed, it reads the user's and the system's like any ODBC program.
#include "CommandDatabase.h"
#include "BrowseCommand.h"
#include "EditCommand.h"
#include "RenderCommand.h"
#include "SampleDatabase.h"
#include "QueryCommand.h"
#include "TableCommand.h"

#include "velora/components/ODBCObj.h"
#include "velora/odbc/ODBCBoundary.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <unistd.h>

#ifndef VELORA_ODBC_DIR
#define VELORA_ODBC_DIR "odbc"
#endif
#ifndef VELORA_BINARY_DIR
#define VELORA_BINARY_DIR "/nonexistent"
#endif

namespace velora::app {
namespace {

constexpr const char* Usage =
    "usage: velora sources\n"
    "       velora connect DSN [--user USER] [--password PASSWORD] [--no-prompt]\n"
    "       velora table DSN TABLE [--where TEXT] [--order TEXT] [--last N]\n"
    "                    [--user USER] [--password PASSWORD]\n"
    "       velora query DSN SQL [--param NAME=VALUE[:TYPE]]... [--user USER] [--password PASSWORD]\n"
    "       velora edit DSN TABLE --row N --set COLUMN=VALUE ... [--user USER] [--password PASSWORD]\n"
    "       velora insert DSN TABLE COLUMN=VALUE ... [--user USER] [--password PASSWORD]\n"
    "       velora delete DSN TABLE --row N [--user USER] [--password PASSWORD]\n"
    "       velora render FORMFILE|--login-dialog --out FILE.png [--scale N]\n"
    "       velora label CAPTION [--style raised|recessed|shadow|normal] [--rotation D] [--font NAME]\n"
    "                    [--size N] [--color C] [--background C] [--offset N] [--scale N] --out FILE.png\n"
    "\n"
    "  sources   lists the ODBC data sources with their descriptions\n"
    "  connect   connects to DSN, prints the cursor mode and the server name, disconnects;\n"
    "            without --password the login dialog asks (unless --no-prompt)\n"
    "  table     prints the rows of TABLE with a header of field names; --where and --order\n"
    "            take the data source's SQL, --last N prints only the last N rows\n"
    "  query     runs SQL with its :name parameters: prints its rows, or the rows it affected;\n"
    "            TYPE is integer, smallint, word, boolean, float, currency, bcd, date, time,\n"
    "            datetime, string, memo or null (without TYPE: integer, float or string)\n"
    "  edit      changes row N (from 1, in primary-key order) and prints it as stored\n"
    "  insert    adds a row with the values given and prints it as stored\n"
    "  delete    deletes row N and prints the row deleted; the VALUE (null) stands for NULL\n"
    "  render    draws a form file (or the login dialog) into a PNG picture\n"
    "  label     draws one 3-D text label into a PNG picture; colours are names or #RRGGBB\n"
    "\n"
    "DSN is a data source name or a connection string (\"DRIVER=...;...\" or \"DSN=...;...\").\n"
    "Passwords: --password PASSWORD is visible to other users (ps, /proc); prefer\n"
    "--password-file FILE (its first line), --password-stdin (one line of standard input)\n"
    "or the environment variable VELORA_PASSWORD.\n"
    "ODBC configuration: run from its build tree the tool reads the build's odbc folder;\n"
    "installed it reads ODBCINI, ~/.odbc.ini and the system files like any ODBC program\n"
    "(--project-odbc or VELORA_ODBC_DIR=DIR choose a project folder instead).\n";

/// A command line the tool cannot understand.
struct TUsageError {
    std::string Message;
};

/// Messages of the error path end each line with CR LF: one LF per line on
/// a terminal, none at the end.
std::string Tidy(std::string message) {
    std::string out;
    for (char c : message)
        if (c != '\r') out += c;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

/// True when the running program lies inside the build tree it was built
/// in (an installed copy lies elsewhere).
bool RunsFromBuildTree() {
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return false;
    const std::string path(exe, static_cast<std::size_t>(n));
    const std::string tree = VELORA_BINARY_DIR "/";
    return path.compare(0, tree.size(), tree) == 0;
}

/// The build tree's ODBC configuration serves the tool run from the build
/// tree, or when asked (--project-odbc as the first argument, or
/// VELORA_ODBC_DIR naming a folder); an installed tool leaves the lookup to
/// unixODBC (ODBCINI, ~/.odbc.ini, the system files), so the user's own data
/// sources are the ones it sees. Variables already set are kept.
void ChooseOdbcConfiguration(std::vector<std::string>& args) {
    std::string dir;
    if (const char* env = std::getenv("VELORA_ODBC_DIR"); env && *env) dir = env;
    if (!args.empty() && args.front() == "--project-odbc") {
        args.erase(args.begin());
        if (dir.empty()) dir = VELORA_ODBC_DIR;
    }
    if (dir.empty() && RunsFromBuildTree()) dir = VELORA_ODBC_DIR;
    if (dir.empty()) return;
    ::setenv("ODBCSYSINI", dir.c_str(), 0);
    ::setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 0);
}

int Sources(const std::vector<std::string>& args) {
    if (!args.empty()) throw TUsageError{"sources takes no arguments"};
    SQLHENV env = Session->GetHandle();
    SQLCHAR name[SQL_MAX_DSN_LENGTH + 1];
    SQLCHAR description[512];
    SQLSMALLINT nameLen = 0;
    SQLSMALLINT descriptionLen = 0;
    int count = 0;
    for (SQLUSMALLINT direction = SQL_FETCH_FIRST;; direction = SQL_FETCH_NEXT) {
        SQLRETURN rc = odbc::SQLDataSources(env, direction, name, sizeof name, &nameLen, description,
                                            sizeof description, &descriptionLen);
        if (rc == SQL_NO_DATA) break;
        if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_ENV, env, rc);
        if (!ODBCSucceeded(rc)) break;
        std::printf("%-20s %s\n", reinterpret_cast<char*>(name), reinterpret_cast<char*>(description));
        ++count;
    }
    const char* ini = std::getenv("ODBCINI");
    if (count == 0) std::printf("no data sources (configuration: %s)\n", ini ? ini : "unixODBC's default lookup");
    return 0;
}

/// SQLGetInfo(SQL_SERVER_NAME) of a connected database.
std::string ServerName(const TODBCDatabase& db) {
    SQLCHAR buffer[256] = {};
    SQLSMALLINT len = 0;
    SQLRETURN rc = odbc::SQLGetInfo(db.Handle(), SQL_SERVER_NAME, buffer, sizeof buffer, &len);
    if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_DBC, db.Handle(), rc);
    return reinterpret_cast<char*>(buffer);
}

int Connect(const std::vector<std::string>& args) {
    std::string dsn;
    std::string user;
    std::string password;
    bool haveUser = false;
    bool havePassword = false;
    bool prompt = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* option) {
            if (i + 1 >= args.size()) throw TUsageError{std::string(option) + " needs a value"};
            return args[++i];
        };
        if (a == "--user") {
            user = value("--user");
            haveUser = true;
        } else if (a == "--password") {
            password = value("--password");
            havePassword = true;
        } else if (a == "--no-prompt") {
            prompt = false;
        } else if (!a.empty() && a[0] == '-') {
            throw TUsageError{"unknown option " + a};
        } else if (dsn.empty()) {
            dsn = a;
        } else {
            throw TUsageError{"one data source only (" + dsn + ", " + a + ")"};
        }
    }
    if (dsn.empty()) throw TUsageError{"connect needs a data source name"};

    if (SameText(dsn, "VeloraSample")) EnsureSampleDatabase();

    TODBCDatabase db(nullptr);
    db.SetDataSourceName(dsn);
    db.SetLoginPrompt(prompt);
    if (haveUser) db.Params()->SetValues("USER NAME", user);
    // A PASSWORD line, even an empty one, means: do not ask.
    if (havePassword) db.Params()->Add("PASSWORD=" + password);
    db.Open();
    std::printf("Connected to %s\n", db.DataSourceName().c_str());  // without a password
    std::printf("Cursor mode: %s\n", CursorModeName(db.CursorMode()));
    std::printf("Server name: %s\n", ServerName(db).c_str());
    db.Close();
    std::printf("Disconnected.\n");
    return 0;
}

int Run(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    ChooseOdbcConfiguration(args);
    if (args.empty()) throw TUsageError{"no command given"};
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "-h" || command == "--help" || command == "help") {
        std::fputs(Usage, stdout);
        std::fputs(BrowseUsage, stdout);
        return 0;
    }
    try {
        ResolvePasswordSources(command, args);
    } catch (const TPasswordUsageError& e) {
        throw TUsageError{e.Message};
    }
    if (command == "sources") return Sources(args);
    if (command == "connect") return Connect(args);
    if (command == "table") {
        try {
            return TableCommand(args);
        } catch (const TTableUsageError& e) {
            throw TUsageError{e.Message};
        }
    }
    if (command == "query") {
        try {
            return QueryCommand(args);
        } catch (const TQueryUsageError& e) {
            throw TUsageError{e.Message};
        }
    }
    if (command == "browse") {
        try {
            return BrowseCommand(args);
        } catch (const TBrowseUsageError& e) {
            throw TUsageError{e.Message};
        }
    }
    if (command == "edit" || command == "insert" || command == "delete") {
        try {
            return EditCommand(command, args);
        } catch (const TEditUsageError& e) {
            throw TUsageError{e.Message};
        }
    }
    if (command == "render" || command == "label") {
        try {
            return command == "render" ? RenderCommand(args) : LabelCommand(args);
        } catch (const TRenderUsageError& e) {
            throw TUsageError{e.Message};
        }
    }
    throw TUsageError{"unknown command " + command};
}

}  // namespace
}  // namespace velora::app

int main(int argc, char** argv) {
    using namespace velora;
    try {
        return app::Run(argc, argv);
    } catch (const app::TUsageError& e) {
        std::fprintf(stderr, "velora: %s\n\n%s%s", e.Message.c_str(), app::Usage, app::BrowseUsage);
        return 2;
    } catch (const EODBCError& e) {
        std::fprintf(stderr, "velora: ODBC error\n%s\n", app::Tidy(e.Message()).c_str());
        return 1;
    } catch (const Exception& e) {
        std::fprintf(stderr, "velora: %s\n", app::Tidy(e.Message()).c_str());
        return 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velora: %s\n", e.what());
        return 1;
    }
}
