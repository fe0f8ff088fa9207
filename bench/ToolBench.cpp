// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The velora tool beside the databases' own clients, in one run:
//   start-up  a one-row `velora query` against `sqlite3 FILE` and `psql -c`
//             (the median of several runs each);
//   export    `velora query ... --format csv` of ROWS rows against
//             `sqlite3 -csv` and `psql --csv` on the same table, with the
//             peak memory of each (ru_maxrss).
// Every program writes to /dev/null; the figures are wall-clock seconds and
// the ratio velora / client. The PostgreSQL rows need VELORA_TEST_SERVERS=1
// (scripts/run-bench.sh) and psql; they are left out otherwise.
//
//   ToolBench [ROWS]        (default 1000000; VELORA_TOOL names the tool)
#include <sys/resource.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#ifndef VELORA_TOOL
#define VELORA_TOOL "velora"
#endif

namespace {

struct TRun {
    double Seconds = 0;
    long PeakKB = 0;
    int Status = 0;
};

/// Runs `args` with standard output (and input) on /dev/null; its time and peak memory.
TRun Run(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {}) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDOUT_FILENO);
        for (const auto& [name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        std::perror(argv[0]);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    TRun r;
    r.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.PeakKB = usage.ru_maxrss;
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    return r;
}

/// The median time of `times` runs.
double Median(const std::vector<std::string>& args, int times, const std::map<std::string, std::string>& env = {}) {
    std::vector<double> seconds;
    for (int i = 0; i < times; ++i) {
        const TRun r = Run(args, env);
        if (r.Status != 0) {
            std::fprintf(stderr, "ToolBench: %s failed (%d)\n", args[0].c_str(), r.Status);
            return -1;
        }
        seconds.push_back(r.Seconds);
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[seconds.size() / 2];
}

/// The keys of one data source of the ODBC configuration ($ODBCINI).
std::map<std::string, std::string> DataSource(const std::string& name) {
    std::map<std::string, std::string> keys;
    const char* ini = std::getenv("ODBCINI");
    if (!ini) return keys;
    std::ifstream in(ini);
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line[0] == '[') {
            inside = line == "[" + name + "]";
            continue;
        }
        const std::size_t eq = line.find('=');
        if (inside && eq != std::string::npos) {
            auto trim = [](std::string s) {
                s.erase(0, s.find_first_not_of(" \t"));
                s.erase(s.find_last_not_of(" \t\r") + 1);
                return s;
            };
            keys[trim(line.substr(0, eq))] = trim(line.substr(eq + 1));
        }
    }
    return keys;
}

void Row(const char* what, double tool, double client, long toolKB = -1, long clientKB = -1) {
    if (tool < 0 || client <= 0) {
        std::printf("%-40s  failed\n", what);
        return;
    }
    std::printf("%-40s %9.3f %9.3f %7.2fx", what, tool, client, tool / client);
    if (toolKB >= 0) std::printf(" %9.1f %9.1f", toolKB / 1024.0, clientKB / 1024.0);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    const long rows = argc > 1 ? std::atol(argv[1]) : 1000000;
    const std::string tool = std::getenv("VELORA_TOOL") ? std::getenv("VELORA_TOOL") : VELORA_TOOL;
    const int times = 9;
    char dir[] = "/tmp/velora-toolbench-XXXXXX";
    if (!::mkdtemp(dir)) return 1;
    const std::string file = std::string(dir) + "/bench.db";
    const std::string sqliteDsn = "DRIVER=SQLite3;Database=" + file;
    const std::string table = "bench_tool_csv";
    const std::string make = "CREATE TABLE " + table +
                             " AS WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < " +
                             std::to_string(rows) + ") SELECT x AS id, 'row ' || x AS name, x * 0.25 AS amount FROM c";
    if (Run({"sqlite3", file, make}).Status != 0) {
        std::fprintf(stderr, "ToolBench: sqlite3 could not make the table\n");
        return 1;
    }
    const std::string select = "SELECT id, name, amount FROM " + table;

    std::printf("%-40s %9s %9s %8s %9s %9s\n", "", "velora s", "client s", "ratio", "velora MB", "client MB");
    Row("one row, SQLite (sqlite3)", Median({tool, "query", sqliteDsn, "SELECT 1"}, times),
        Median({"sqlite3", file, "SELECT 1"}, times));
    const TRun toolCSV = Run({tool, "query", sqliteDsn, select, "--format", "csv"});
    const TRun clientCSV = Run({"sqlite3", "-csv", file, select});
    Row(("csv " + std::to_string(rows) + " rows, SQLite (sqlite3 -csv)").c_str(),
        toolCSV.Status ? -1 : toolCSV.Seconds, clientCSV.Seconds, toolCSV.PeakKB, clientCSV.PeakKB);

    const char* servers = std::getenv("VELORA_TEST_SERVERS");
    auto pg = DataSource("VeloraPG");
    if (servers && std::string(servers) == "1" && !pg.empty() && Run({"psql", "--version"}).Status == 0) {
        const std::map<std::string, std::string> env = {{"PGPASSWORD", "velora-pw"},
                                                        {"PGOPTIONS", "-c client_min_messages=warning"}};
        const std::vector<std::string> psql = {"psql",        "-X", "-q", "-h", pg["Servername"], "-p", pg["Port"],
                                               "-U",          "velora", "-d", pg["Database"]};
        const std::vector<std::string> account = {"--user", "velora", "--password", "velora-pw"};
        auto with = [](std::vector<std::string> a, const std::vector<std::string>& b) {
            a.insert(a.end(), b.begin(), b.end());
            return a;
        };
        Run(with(psql, {"-c", "DROP TABLE IF EXISTS " + table}), env);
        Run(with(psql, {"-c", "CREATE TABLE " + table + " AS SELECT x AS id, 'row ' || x AS name, x * 0.25 AS amount "
                              "FROM generate_series(1, " + std::to_string(rows) + ") x"}),
            env);
        Row("one row, PostgreSQL (psql -c)", Median(with({tool, "query", "VeloraPG", "SELECT 1"}, account), times),
            Median(with(psql, {"-c", "SELECT 1"}), times, env));
        const TRun pgTool = Run(with({tool, "query", "VeloraPG", select, "--format", "csv"}, account));
        const TRun pgClient = Run(with(psql, {"--csv", "-c", select}), env);
        Row(("csv " + std::to_string(rows) + " rows, PostgreSQL (psql --csv)").c_str(),
            pgTool.Status ? -1 : pgTool.Seconds, pgClient.Seconds, pgTool.PeakKB, pgClient.PeakKB);
        Run(with(psql, {"-c", "DROP TABLE " + table}), env);
    } else {
        std::printf("PostgreSQL left out (VELORA_TEST_SERVERS=1 and psql needed)\n");
    }
    ::unlink(file.c_str());
    ::rmdir(dir);
    return 0;
}
