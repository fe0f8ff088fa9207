// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "CommandDatabase.h"

#include "ErrorReport.h"
#include "SampleDatabase.h"

#include "velora/components/ODBCCatalog.h"

#include <odbcinst.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>

namespace velora::app {

namespace {

/// An entry of an ODBC configuration file ("odbc.ini": the user's data
/// sources, then the system's; "odbcinst.ini": the drivers), or "".
std::string ProfileEntry(const std::string& section, const char* entry, const char* file) {
    char value[1024] = {};
    const int n = SQLGetPrivateProfileString(section.c_str(), entry, "", value, sizeof value, file);
    return n > 0 ? std::string(value, std::strlen(value)) : std::string();
}

}  // namespace

std::string StreamingDataSource(const std::string& dsn) {
    if (dsn.empty()) return dsn;
    const bool connectionString = ODBCIsConnectionString(dsn);
    // The driver: named by the connection string, or by the data source's entry.
    std::string driver = connectionString ? ODBCConnectionStringValue(dsn, "DRIVER") : std::string();
    if (driver.empty()) {
        const std::string name = connectionString ? ODBCConnectionStringValue(dsn, "DSN") : dsn;
        if (name.empty()) return dsn;
        driver = ProfileEntry(name, "Driver", "odbc.ini");
    }
    if (!driver.empty() && driver.find('/') == std::string::npos) {
        const std::string library = ProfileEntry(driver, "Driver", "odbcinst.ini");
        if (!library.empty()) driver = library;
    }
    const std::string file =
        LowerCase(driver.substr(driver.rfind('/') == std::string::npos ? 0 : driver.rfind('/') + 1));
    std::vector<std::string> keys;  // the streaming setting's names: one given by the user is kept
    std::string streaming;
    if (file.find("sqlite3odbc") != std::string::npos) {
        keys = {"StepAPI"};
        streaming = "StepAPI=1";
    } else if (file.find("psqlodbc") != std::string::npos) {
        keys = {"UseDeclareFetch", "B6"};
        streaming = "UseDeclareFetch=1;Fetch=1000";
    } else {
        return dsn;
    }
    if (!connectionString) return "DSN=" + dsn + ";" + streaming;
    for (const std::string& key : keys) {
        bool found = false;
        ODBCConnectionStringValue(dsn, key, &found);
        if (found) return dsn;
    }
    return dsn + (dsn.back() == ';' ? "" : ";") + streaming;
}

TODBCDatabase* NewCommandDatabase(TComponent* owner, const std::string& dsn, const std::string* user,
                                  const std::string* password, bool streaming) {
    if (SameText(dsn, "VeloraSample")) EnsureSampleDatabase();
    NoteDataSource(dsn);
    auto* db = new TODBCDatabase(owner);
    db->SetDataSourceName(streaming ? StreamingDataSource(dsn) : dsn);
    db->SetLoginPrompt(false);
    if (user) db->Params()->SetValues("USER NAME", *user);
    if (password) db->Params()->Add("PASSWORD=" + *password);
    return db;
}

namespace {

/// One line without its end (LF or CR LF).
std::string FirstLine(std::istream& in) {
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

void ResolvePasswordSources(const std::string& command, std::vector<std::string>& args) {
    if (command == "sources") return;
    int sources = 0;
    bool given = false;
    std::string password;
    std::vector<std::string> out;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--password") {
            ++sources;
            out.push_back(a);
            if (i + 1 < args.size()) out.push_back(args[++i]);
            continue;
        }
        if (a == "--password-file") {
            ++sources;
            if (i + 1 >= args.size()) throw TPasswordUsageError{"--password-file needs a file name"};
            const std::string& file = args[++i];
            std::ifstream in(file);
            if (!in) throw Exception("cannot read the password file " + file);
            password = FirstLine(in);
            given = true;
            continue;
        }
        if (a == "--password-stdin") {
            ++sources;
            if (command == "query" && std::find(args.begin(), args.end(), "-") != args.end())
                throw TPasswordUsageError{"--password-stdin and SQL read from standard input cannot be used together"};
            password = FirstLine(std::cin);
            given = true;
            continue;
        }
        out.push_back(a);
    }
    if (sources > 1)
        throw TPasswordUsageError{"give the password one way only (--password, --password-file or --password-stdin)"};
    if (sources == 0) {
        const char* env = std::getenv("VELORA_PASSWORD");
        if (env) {
            password = env;
            given = true;
        }
    }
    if (given) {
        out.push_back("--password");
        out.push_back(password);
    }
    args = std::move(out);
}

}  // namespace velora::app
