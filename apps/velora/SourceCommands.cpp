// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "SourceCommands.h"

#include "SampleDatabase.h"

#include "velora/components/ODBCObj.h"
#include "velora/engine/ODBCConnect.h"
#include "velora/odbc/ODBCBoundary.h"

#include <cstdio>
#include <cstdlib>

namespace velora::app {

namespace {

/// SQLGetInfo(SQL_SERVER_NAME) of a connected database.
std::string ServerName(const TODBCDatabase& db) {
    SQLCHAR buffer[256] = {};
    SQLSMALLINT len = 0;
    SQLRETURN rc = odbc::SQLGetInfo(db.Handle(), SQL_SERVER_NAME, buffer, sizeof buffer, &len);
    if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_DBC, db.Handle(), rc);
    return reinterpret_cast<char*>(buffer);
}

}  // namespace

int TSourcesCommand::Run() {
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

void TConnectCommand::Define(CLI::App& cmd) {
    cmd.add_option("DSN", FDsn, "ODBC data source name or connection string")->required();
    cmd.add_flag("--no-prompt", FNoPrompt, "never show the login dialog");
    FAccount.Define(cmd);
}

int TConnectCommand::Run() {
    if (SameText(FDsn, "VeloraSample")) EnsureSampleDatabase();

    TODBCDatabase db(nullptr);
    db.SetDataSourceName(FDsn);
    db.SetLoginPrompt(!FNoPrompt);
    if (FAccount.User) db.Params()->SetValues("USER NAME", *FAccount.User);
    // A PASSWORD line, even an empty one, means: do not ask.
    if (FAccount.Password) db.Params()->Add("PASSWORD=" + *FAccount.Password);
    db.Open();
    std::printf("Connected to %s\n", db.DataSourceName().c_str());  // without a password
    std::printf("Cursor mode: %s\n", CursorModeName(db.CursorMode()));
    std::printf("Server name: %s\n", ServerName(db).c_str());
    db.Close();
    std::printf("Disconnected.\n");
    return 0;
}

}  // namespace velora::app
