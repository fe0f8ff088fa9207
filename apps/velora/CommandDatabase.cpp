// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "CommandDatabase.h"

#include "SampleDatabase.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iostream>

namespace velora::app {

TODBCDatabase* NewCommandDatabase(TComponent* owner, const std::string& dsn, const std::string* user,
                                  const std::string* password) {
    if (SameText(dsn, "VeloraSample")) EnsureSampleDatabase();
    auto* db = new TODBCDatabase(owner);
    db->SetDataSourceName(dsn);
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
