// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "SourceCommands.h"

#include "SampleDatabase.h"

#include "velora/components/ODBCObj.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace velora::app {

int TSourcesCommand::Run() {
    const std::vector<TODBCDataSourceInfo> sources = ODBCListDataSources(*Session);
    for (const TODBCDataSourceInfo& s : sources) std::printf("%-20s %s\n", s.Name.c_str(), s.Description.c_str());
    const char* ini = std::getenv("ODBCINI");
    if (sources.empty()) std::printf("no data sources (configuration: %s)\n", ini ? ini : "unixODBC's default lookup");
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
    std::printf("Server name: %s\n", ODBCServerName(db).c_str());
    db.Close();
    std::printf("Disconnected.\n");
    return 0;
}

}  // namespace velora::app
