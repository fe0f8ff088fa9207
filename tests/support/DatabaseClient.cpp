// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "support/DatabaseClient.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace velora::test {
namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string ShellArg(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

/// The client's command line, reading its script from standard input.
std::string ClientCommand(const TestDriver& d) {
    switch (d.Kind) {
        case DriverKind::SQLite:
            return "sqlite3 -batch -noheader -bail -cmd '.timeout 30000' " + ShellArg(SQLiteFile(d.Dsn));
        case DriverKind::PostgreSQL:
            return "PGPASSWORD=" + ShellArg(d.Password) + " psql -XAtq -v ON_ERROR_STOP=1 -h 127.0.0.1 -p " +
                   Env("VELORA_PG_PORT") + " -U " + ShellArg(d.User) + " -d velora_test";
        case DriverKind::MariaDB:
            // Tabs between columns become '|', as the other clients print them.
            return "mariadb --no-defaults --batch --skip-column-names --default-character-set=utf8mb4 --protocol=tcp "
                   "-h 127.0.0.1 -P " +
                   Env("VELORA_MARIADB_PORT") + " -u " + ShellArg(d.User) + " -p" + ShellArg(d.Password) +
                   " velora_test";
    }
    return "false";
}

}  // namespace

std::string SQLiteFile(const std::string& dsn) {
    std::string ini = Env("ODBCINI");
    if (ini.empty() && !Env("ODBCSYSINI").empty()) ini = Env("ODBCSYSINI") + "/odbc.ini";
    std::ifstream in(ini);
    std::string line;
    bool inSection = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[') inSection = line == "[" + dsn + "]";
        if (inSection && line.rfind("Database=", 0) == 0) return line.substr(9);
    }
    return {};
}

ClientResult RunClient(const TestDriver& d, const std::string& script) {
    static int serial = 0;
    const std::filesystem::path base = std::filesystem::temp_directory_path() /
                                       ("velora-client-" + std::to_string(::getpid()) + "-" + std::to_string(++serial));
    const std::filesystem::path in = base.string() + ".sql", err = base.string() + ".err";
    std::ofstream(in, std::ios::binary) << script << "\n";
    std::string command = ClientCommand(d) + " < " + ShellArg(in.string()) + " 2> " + ShellArg(err.string());
    if (d.Kind == DriverKind::MariaDB) command = "set -o pipefail; " + command + " | tr '\\t' '|'";
    ClientResult r;
    if (FILE* p = ::popen(("bash -c " + ShellArg(command)).c_str(), "r")) {
        char buffer[65536];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) r.Output.append(buffer, n);
        const int status = ::pclose(p);
        r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    r.Errors = ReadFile(err);
    std::filesystem::remove(in);
    std::filesystem::remove(err);
    return r;
}

std::string ClientOutput(const TestDriver& d, const std::string& script) {
    ClientResult r = RunClient(d, script);
    if (r.Status != 0) {
        ADD_FAILURE() << d.Name << "'s client failed (" << r.Status << "): " << r.Errors.substr(0, 2000);
        return r.Errors;
    }
    if (!r.Output.empty() && r.Output.back() == '\n') r.Output.pop_back();
    return r.Output;
}

}  // namespace velora::test
