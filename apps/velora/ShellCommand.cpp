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
//
// Ctrl-C never ends the shell: a handler notes it and writes to two pipes.
// A watcher thread reading the one cancels the running statement
// (CancelRunningStatement); the line editor reads its keys through
// ReadKey, which waits on the terminal and the other pipe, so a Ctrl-C at
// the prompt (even one that comes while the prompt is being drawn) ends the
// line as end of input would, with the note set: the loop then drops the
// line and any statement begun. A statement of several lines is one history entry.
// Piped input and -f FILE run without prompts or banner; the first error
// stops the run (status 1) unless --continue-on-error, and names the line
// its statement starts on.
#include "ShellCommand.h"

#include "CatalogCommands.h"
#include "ErrorReport.h"
#include "QueryCommand.h"
#include "RowWriter.h"
#include "RunningStatement.h"
#include "SQLScript.h"

#include "velora/components/ODBCObj.h"

#include <editline/readline.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <thread>

namespace velora::app {

namespace {

constexpr const char* kShellHelp =
    "Statements end with ;. Meta-commands:\n"
    "  \\dt              lists the tables and views\n"
    "  \\d TABLE         describes a table\n"
    "  \\format FORMAT   table, csv, tsv, json or jsonl\n"
    "  \\timing [on|off] shows how long each statement took\n"
    "  \\?               this help\n"
    "  \\q               quits (so does Ctrl-D)\n"
    "Ctrl-C cancels the running statement, or clears the line and the statement begun.\n"
    "With -f FILE or piped input the first error ends the run with status 1 (see --continue-on-error).\n";

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

/// Ctrl-C: noted by the handler, acted on by the watcher and the loop.
std::atomic<bool> gInterrupted{false};
int gWakePipe[2] = {-1, -1};    ///< wakes the watcher
int gPromptPipe[2] = {-1, -1};  ///< wakes ReadKey

extern "C" void OnInterrupt(int) {
    gInterrupted = true;
    const int saved = errno;
    const char byte = 'c';
    [[maybe_unused]] ssize_t n = ::write(gWakePipe[1], &byte, 1);
    n = ::write(gPromptPipe[1], &byte, 1);
    errno = saved;
}

/// Empties the prompt pipe (before a new line is read).
void DrainPromptPipe() {
    char bytes[64];
    while (::read(gPromptPipe[0], bytes, sizeof bytes) > 0) {
    }
}

/// One byte of the terminal, or -1 for end of input and for Ctrl-C.
int ReadByte(FILE* in) {
    const int fd = ::fileno(in);
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {gPromptPipe[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (fds[1].revents & POLLIN) return -1;
        unsigned char byte = 0;
        const ssize_t n = ::read(fd, &byte, 1);
        if (n == 1) return byte;
        if (n < 0 && errno == EINTR) continue;
        return -1;
    }
}

/// The line editor's key reader: one character (UTF-8 decoded, as the
/// editor takes a character per call), or -1 (EOF) for end of input and for
/// Ctrl-C.
extern "C" int ReadKey(FILE* in) {
    const int first = ReadByte(in);
    if (first < 0x80) return first;  // ASCII, or -1
    const int more = first >= 0xF0 ? 3 : first >= 0xE0 ? 2 : first >= 0xC0 ? 1 : 0;
    int code = first & (0x3F >> more);
    for (int i = 0; i < more; ++i) {
        const int next = ReadByte(in);
        if (next < 0) return -1;
        code = (code << 6) | (next & 0x3F);
    }
    return code;
}

/// Installs the Ctrl-C handler and runs the watcher that cancels the running
/// statement; restores the previous handler when it goes.
class TInterruptWatch {
public:
    TInterruptWatch() {
        if (::pipe(gWakePipe) != 0) return;
        if (::pipe2(gPromptPipe, O_NONBLOCK) != 0) return;
        rl_getc_function = ReadKey;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no SA_RESTART: readline's read returns
        ::sigaction(SIGINT, &action, &FPrevious);
        FWatcher = std::thread([] {
            char byte = 0;
            while (::read(gWakePipe[0], &byte, 1) == 1 && byte == 'c') CancelRunningStatement();
        });
    }
    ~TInterruptWatch() {
        if (!FWatcher.joinable()) return;
        ::sigaction(SIGINT, &FPrevious, nullptr);
        const char stop = 'q';
        [[maybe_unused]] const ssize_t n = ::write(gWakePipe[1], &stop, 1);
        FWatcher.join();
        ::close(gWakePipe[0]);
        ::close(gWakePipe[1]);
        ::close(gPromptPipe[0]);
        ::close(gPromptPipe[1]);
    }
    TInterruptWatch(const TInterruptWatch&) = delete;
    TInterruptWatch& operator=(const TInterruptWatch&) = delete;

private:
    struct sigaction FPrevious {};
    std::thread FWatcher;
};

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
        std::string entry;  // the lines of the statement being typed: one history entry
        for (;;) {
            const std::string prompt = FSplitter.Pending() ? std::string(FDsn.size(), ' ') + "-> " : FDsn + "> ";
            gInterrupted = false;
            DrainPromptPipe();
            char* raw = ::readline(prompt.c_str());
            if (gInterrupted) {
                // Ctrl-C at the prompt: the line and any statement begun are dropped.
                std::free(raw);
                FSplitter = TStatementSplitter();
                entry.clear();
                std::fputs("^C\n", stdout);
                std::fflush(stdout);
                continue;
            }
            if (!raw) break;
            const std::string line = raw;
            std::free(raw);
            if (!Trim(line).empty()) entry += (entry.empty() ? "" : "\n") + line;
            if (!FSplitter.Pending() && IsMeta(line)) {
                Remember(entry);
                if (!Meta(Trim(line))) break;
                continue;
            }
            FSplitter.Add(line + "\n");
            for (std::string statement; FSplitter.Next(statement);) Guarded([&] { Run(statement); });
            if (!FSplitter.Pending()) Remember(entry);
        }
        Remember(entry);
        std::fputs("\n", stdout);
    }

    /// Runs the statements and meta-commands read from `in` (a file or piped
    /// input) without prompts; `source` names it in errors. Answers the exit
    /// status: 1 when a statement failed (the run stops at the first unless
    /// `continueOnError`).
    int Script(std::istream& in, const std::string& source, bool continueOnError) {
        int status = 0;
        int lineNo = 0, startLine = 0;
        std::string line;
        while (std::getline(in, line)) {
            ++lineNo;
            if (!FSplitter.Pending()) startLine = lineNo;
            if (!FSplitter.Pending() && IsMeta(line)) {
                if (!Meta(Trim(line))) return status;
                continue;
            }
            FSplitter.Add(line + "\n");
            for (std::string statement; FSplitter.Next(statement);) {
                if (!Guarded([&] { Run(statement); }, source + ":" + std::to_string(startLine) + ": ")) {
                    status = 1;
                    if (!continueOnError) return status;
                }
                startLine = lineNo;  // the rest of the line starts the next statement
            }
        }
        if (const std::string rest = FSplitter.TakeRest(); !rest.empty())
            if (!Guarded([&] { Run(rest); }, source + ":" + std::to_string(startLine) + ": ")) status = 1;
        return status;
    }

private:
    /// A meta-command: a line that starts with a backslash (after blanks),
    /// read only at the start of a statement.
    static bool IsMeta(const std::string& line) {
        const std::size_t first = line.find_first_not_of(" \t");
        return first != std::string::npos && line[first] == '\\';
    }

    /// Adds the lines of one statement or meta-command as one history entry.
    static void Remember(std::string& entry) {
        if (!entry.empty()) ::add_history(entry.c_str());
        entry.clear();
    }

    /// Runs `work`, printing an error (each line after `where`, the place of
    /// the statement in a script) instead of ending the shell; false when
    /// it failed.
    static bool Guarded(const std::function<void()>& work, const std::string& where = "") {
        std::string report;
        try {
            work();
            return true;
        } catch (const TUsageError& e) {
            report = ErrorReport(e.Message);
        } catch (const EODBCError& e) {
            report = ErrorReport(e);
        } catch (const Exception& e) {
            report = ErrorReport(e.Message());
        }
        std::fflush(stdout);
        std::fputs((where + report).c_str(), stderr);
        std::fflush(stderr);
        return false;
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
    cmd.add_option("-f,--file", FFile,
                   "runs the statements and meta-commands of FILE and ends (as piped input does: no prompt, no "
                   "banner)");
    cmd.add_flag("--continue-on-error", FContinueOnError,
                 "with -f or piped input, runs on after a failed statement (the exit status is still 1); "
                 "without it the first error ends the run with status 1");
    cmd.footer(kShellHelp);
    FAccount.Define(cmd);
    FOutput.Define(cmd);
    FOutput.DefineTimeout(cmd);
}

int TShellCommand::Run() {
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    TODBCDatabase* db = FAccount.NewDatabase(owner.get(), FDsn);
    db->Open();
    TShell shell(*db, FDsn, FOutput);
    if (!FFile.empty()) {
        std::ifstream in(FFile);
        if (!in) throw Exception("cannot read " + FFile);
        return shell.Script(in, FFile, FContinueOnError);
    }
    if (!::isatty(STDIN_FILENO)) return shell.Script(std::cin, "stdin", FContinueOnError);
    std::printf("velora shell on %s. Statements end with ;, \\? lists the meta-commands, \\q quits.\n", FDsn.c_str());
    std::fflush(stdout);
    const TInterruptWatch watch;  // before the editor starts: it reads keys through ReadKey
    const std::string history = HistoryFile();
    ::using_history();
    ::stifle_history(1000);
    if (!history.empty()) ::read_history(history.c_str());
    shell.Loop();
    if (!history.empty()) ::write_history(history.c_str());
    return 0;
}

}  // namespace velora::app
