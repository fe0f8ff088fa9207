// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The shell reads lines with libedit's readline interface, so the user has
// the usual line editing and history keys. Lines go into a statement
// splitter; every statement it completes runs on the one open connection.
// A line that starts with a backslash while no statement is open is a
// meta-command. The output of one statement or meta-command is collected in
// memory first: when standard output is a terminal and the text is taller
// than the screen it goes to the pager, else it is written as it is.
#include "ShellCommand.h"

#include "CatalogCommands.h"
#include "QueryCommand.h"
#include "RowWriter.h"
#include "SQLScript.h"

#include "velora/components/ODBCObj.h"

#include <editline/readline.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <sstream>

namespace velora::app {

namespace {

constexpr const char* kShellHelp =
    "Statements end with ;. Meta-commands:\n"
    "  \\dt              lists the tables and views\n"
    "  \\d TABLE         describes a table\n"
    "  \\format FORMAT   table, csv, tsv, json or jsonl\n"
    "  \\timing [on|off] shows how long each statement took\n"
    "  \\?               this help\n"
    "  \\q               quits (so does Ctrl-D)\n";

std::string HistoryFile() {
    if (const char* f = std::getenv("VELORA_HISTORY")) return f;
    if (const char* home = std::getenv("HOME")) return std::string(home) + "/.velora_history";
    return {};
}

int ScreenRows() {
    winsize ws{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0) return ws.ws_row;
    return 24;
}

/// Runs `body` with a memory stream as its output, then shows the text:
/// through the pager when it is taller than the terminal, else directly.
void ShowOutput(const std::function<void(std::FILE*)>& body) {
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* buffer = ::open_memstream(&text, &size);
    if (!buffer) {
        body(stdout);
        return;
    }
    try {
        body(buffer);
    } catch (...) {
        std::fclose(buffer);
        std::fwrite(text, 1, size, stdout);
        std::free(text);
        throw;
    }
    std::fclose(buffer);
    const std::string out(text, size);
    std::free(text);
    std::size_t lines = 0;
    for (char c : out) lines += c == '\n';
    std::fflush(stdout);
    if (::isatty(STDOUT_FILENO) && lines + 1 >= static_cast<std::size_t>(ScreenRows())) {
        const char* pager = std::getenv("PAGER");
        if (std::FILE* p = ::popen(pager && *pager ? pager : "less -FRSX", "w")) {
            std::fwrite(out.data(), 1, out.size(), p);
            ::pclose(p);
            return;
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

std::string Trim(const std::string& s) {
    const std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t;") - first + 1);
}

class TShell {
public:
    TShell(TODBCDatabase& db, const std::string& dsn, TOutputOptions output)
        : FDb(db), FDsn(dsn), FOutput(std::move(output)) {
        FSplitter.SetDialect(SQLDialectOf(db.Handle()));
    }

    void Loop() {
        for (;;) {
            const std::string prompt = FSplitter.Pending() ? std::string(FDsn.size(), ' ') + "-> " : FDsn + "> ";
            char* raw = ::readline(prompt.c_str());
            if (!raw) break;
            const std::string line = raw;
            std::free(raw);
            if (!Trim(line).empty()) ::add_history(line.c_str());
            if (!FSplitter.Pending() && !line.empty() && line[0] == '\\') {
                if (!Meta(Trim(line))) break;
                continue;
            }
            FSplitter.Add(line + "\n");
            for (std::string statement; FSplitter.Next(statement);) Guarded([&] { Run(statement); });
        }
        std::fputs("\n", stdout);
    }

private:
    /// Runs `work`, printing an error instead of ending the shell.
    static void Guarded(const std::function<void()>& work) {
        try {
            work();
        } catch (const TUsageError& e) {
            std::fprintf(stderr, "error: %s\n", e.Message.c_str());
        } catch (const Exception& e) {
            std::string m = e.Message();
            while (!m.empty() && (m.back() == '\n' || m.back() == '\r')) m.pop_back();
            std::fprintf(stderr, "error: %s\n", m.c_str());
        }
        std::fflush(stderr);
    }

    void Run(const std::string& statement) {
        const auto start = std::chrono::steady_clock::now();
        ShowOutput([&](std::FILE* out) { RunStatement(FDb, statement, {}, FOutput, true, out); });
        if (FTiming) {
            const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
            std::printf("Time: %.3f ms\n", took.count());
        }
    }

    /// Runs a meta-command; false to quit.
    bool Meta(const std::string& line) {
        std::istringstream words(line);
        std::string command, argument;
        words >> command;
        std::getline(words >> std::ws, argument);
        if (command == "\\q") return false;
        if (command == "\\?") {
            std::fputs(kShellHelp, stdout);
        } else if (command == "\\dt") {
            Guarded([&] { ShowOutput([&](std::FILE* out) { WriteTables(FDb, FOutput, true, out); }); });
        } else if (command == "\\d" && !argument.empty()) {
            Guarded([&] { ShowOutput([&](std::FILE* out) { WriteColumns(FDb, argument, FOutput, out); }); });
        } else if (command == "\\format" && !argument.empty()) {
            TOutputOptions next = FOutput;
            next.Format = argument;
            Guarded([&] {
                NewRowWriter(next, stdout);  // refuses an unknown format
                FOutput = next;
                std::printf("Output format is %s.\n", argument.c_str());
            });
        } else if (command == "\\timing") {
            FTiming = argument.empty() ? !FTiming : argument == "on";
            std::printf("Timing is %s.\n", FTiming ? "on" : "off");
        } else {
            std::fprintf(stderr, "unknown meta-command %s (\\? lists them)\n", line.c_str());
        }
        std::fflush(stdout);
        return true;
    }

    TODBCDatabase& FDb;
    std::string FDsn;
    TOutputOptions FOutput;
    TStatementSplitter FSplitter;
    bool FTiming = false;
};

}  // namespace

void TShellCommand::Define(CLI::App& cmd) {
    cmd.add_option("DSN", FDsn, "ODBC data source name or connection string")->required();
    cmd.footer(kShellHelp);
    FAccount.Define(cmd);
    FOutput.Define(cmd);
    FOutput.DefineTimeout(cmd);
}

int TShellCommand::Run() {
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    TODBCDatabase* db = FAccount.NewDatabase(owner.get(), FDsn);
    db->Open();
    std::printf("velora shell on %s. Statements end with ;, \\? lists the meta-commands, \\q quits.\n", FDsn.c_str());
    std::fflush(stdout);
    const std::string history = HistoryFile();
    ::using_history();
    ::stifle_history(1000);
    if (!history.empty()) ::read_history(history.c_str());
    TShell(*db, FDsn, FOutput).Loop();
    if (!history.empty()) ::write_history(history.c_str());
    return 0;
}

}  // namespace velora::app
