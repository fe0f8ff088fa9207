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
// Ctrl-C never ends the shell. While a statement runs it is a signal: the
// handler writes to a pipe and a watcher thread reading it cancels the
// running statement (CancelRunningStatement). At the prompt the terminal
// sends no signal (neither in the shell's mode nor in the editor's): Ctrl-C
// is a key, read by ReadKey in its place among the others, and ends the
// line as end of input would with gLineCancelled set; the loop then drops
// the line and any statement begun. A signal handled at the prompt instead
// once arrived after the keys typed behind it had been read, and dropped
// them with the line. A statement of several lines is one history entry.
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

#include <dlfcn.h>
#include <editline/readline.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <map>
#include <vector>
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

#ifndef VELORA_LIBEDIT
#define VELORA_LIBEDIT "libedit.so.2"
#endif

/// libedit's readline interface, loaded when an interactive shell starts:
/// every other command (and the shell reading a file or a pipe) runs
/// without loading the editor and the terminal libraries it brings
/// (libtinfo, libbsd, libmd), which cost each start of the tool about as
/// much as connecting to SQLite. The tool does not link libedit; the header
/// gives the types.
struct TLineEditor {
    decltype(&::readline) ReadLine = nullptr;
    decltype(&::using_history) UsingHistory = nullptr;
    decltype(&::add_history) AddHistory = nullptr;
    decltype(&::stifle_history) StifleHistory = nullptr;
    decltype(&::read_history) ReadHistory = nullptr;
    decltype(&::write_history) WriteHistory = nullptr;
    decltype(&::rl_parse_and_bind) ParseAndBind = nullptr;
    decltype(&::rl_completion_matches) CompletionMatches = nullptr;
    decltype(&::rl_getc_function) GetcFunction = nullptr;
    decltype(&::rl_line_buffer) LineBuffer = nullptr;
    decltype(&::rl_attempted_completion_function) AttemptedCompletionFunction = nullptr;
    decltype(&::rl_attempted_completion_over) AttemptedCompletionOver = nullptr;
    decltype(&::rl_pre_input_hook) PreInputHook = nullptr;
};

const TLineEditor* gEdit = nullptr;  ///< set by LoadLineEditor

template <typename T>
void Bind(void* library, T& to, const char* name) {
    to = reinterpret_cast<T>(::dlsym(library, name));
    if (!to) throw Exception(std::string("the shell's line editor (" VELORA_LIBEDIT ") has no ") + name);
}

/// Loads libedit once; a clear error when it cannot be loaded.
void LoadLineEditor() {
    static TLineEditor editor;
    if (gEdit) return;
    void* library = ::dlopen(VELORA_LIBEDIT, RTLD_NOW | RTLD_GLOBAL);
    if (!library) {
        const char* why = ::dlerror();
        throw Exception(std::string("the interactive shell needs the line editor " VELORA_LIBEDIT ": ") +
                        (why ? why : "it cannot be loaded"));
    }
    Bind(library, editor.ReadLine, "readline");
    Bind(library, editor.UsingHistory, "using_history");
    Bind(library, editor.AddHistory, "add_history");
    Bind(library, editor.StifleHistory, "stifle_history");
    Bind(library, editor.ReadHistory, "read_history");
    Bind(library, editor.WriteHistory, "write_history");
    Bind(library, editor.ParseAndBind, "rl_parse_and_bind");
    Bind(library, editor.CompletionMatches, "rl_completion_matches");
    Bind(library, editor.GetcFunction, "rl_getc_function");
    Bind(library, editor.LineBuffer, "rl_line_buffer");
    Bind(library, editor.AttemptedCompletionFunction, "rl_attempted_completion_function");
    Bind(library, editor.AttemptedCompletionOver, "rl_attempted_completion_over");
    Bind(library, editor.PreInputHook, "rl_pre_input_hook");
    gEdit = &editor;  // the library stays loaded until exit
}

constexpr const char* kShellHelp =
    "Statements end with ;. Meta-commands:\n"
    "  \\dt              lists the tables and views\n"
    "  \\d TABLE         describes a table\n"
    "  \\format FORMAT   table, csv, tsv, json or jsonl\n"
    "  \\timing [on|off] shows how long each statement took\n"
    "  \\x [on|off|auto] expanded display: each row as a block, a line per column\n"
    "                   (auto: when a row is wider than the screen; no argument toggles)\n"
    "  \\?               this help\n"
    "  \\q               quits (so does Ctrl-D)\n"
    "Ctrl-C cancels the running statement, or clears the line and the statement begun.\n"
    "Tab completes SQL keywords, meta-commands, table names and, after TABLE. or ALIAS., column names.\n"
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

/// Columns of the terminal on standard output; 0 when it is none.
int ScreenColumns() {
    winsize ws{};
    if (!::isatty(STDOUT_FILENO)) return 0;
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
    return 80;
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

/// Ctrl-C while a statement runs: the handler wakes the watcher, which
/// cancels it. Ctrl-C at the prompt is a key (the prompt's terminal mode
/// sends no signal), read in its place among the keys typed: it ends the
/// line and sets gLineCancelled.
std::atomic<bool> gLineCancelled{false};
int gWakePipe[2] = {-1, -1};  ///< wakes the watcher

extern "C" void OnInterrupt(int) {
    const int saved = errno;
    const char byte = 'c';
    [[maybe_unused]] const ssize_t n = ::write(gWakePipe[1], &byte, 1);
    errno = saved;
}

/// One byte of the terminal, or -1 for end of input and for Ctrl-C. A NUL
/// byte is skipped: it is what the terminal's canonical mode leaves of a
/// Ctrl-D typed while a statement ran, and the editor would take it as the
/// start of a quoted insert, making the next Ctrl-D a character of the line.
int ReadByte(FILE* in) {
    const int fd = ::fileno(in);
    for (;;) {
        unsigned char byte = 0;
        const ssize_t n = ::read(fd, &byte, 1);
        if (n == 1 && byte == 0) continue;
        if (n == 1 && byte == 0x03) {
            gLineCancelled = true;
            return -1;
        }
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
        *gEdit->GetcFunction = ReadKey;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;  // no SA_RESTART: readline's read returns
        ::sigaction(SIGINT, &action, &FPrevious);
        FWatcher = std::thread([] {
            // The handler runs on the main thread: a read interrupted here
            // would end the watcher.
            sigset_t interrupt;
            sigemptyset(&interrupt);
            sigaddset(&interrupt, SIGINT);
            ::pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
            for (char byte = 0;;) {
                const ssize_t n = ::read(gWakePipe[0], &byte, 1);
                if (n < 0 && errno == EINTR) continue;
                if (n != 1 || byte != 'c') break;
                CancelRunningStatement();
            }
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
    }
    TInterruptWatch(const TInterruptWatch&) = delete;
    TInterruptWatch& operator=(const TInterruptWatch&) = delete;

private:
    struct sigaction FPrevious {};
    std::thread FWatcher;
};

/// Keeps the terminal out of canonical mode while a line is read. The line
/// editor writes the prompt before it switches the terminal to its own mode:
/// a Ctrl-D typed in between would be the canonical end of file, which that
/// switch turns into a NUL byte, and the editor would not end. Switching
/// first, before the prompt is drawn, makes every Ctrl-D typed at a visible
/// prompt a key the editor reads; the terminal's settings come back after
/// the line, for the statement's run and the pager.
class TLineMode {
public:
    TLineMode() {
        if (::tcgetattr(STDIN_FILENO, &FSaved) != 0) return;
        termios keys = FSaved;
        keys.c_lflag &= ~(ICANON | ECHO | ISIG);
        keys.c_cc[VMIN] = 1;
        keys.c_cc[VTIME] = 0;
        FActive = ::tcsetattr(STDIN_FILENO, TCSADRAIN, &keys) == 0;
    }
    ~TLineMode() {
        if (FActive) ::tcsetattr(STDIN_FILENO, TCSADRAIN, &FSaved);
    }
    TLineMode(const TLineMode&) = delete;
    TLineMode& operator=(const TLineMode&) = delete;

private:
    termios FSaved{};
    bool FActive = false;
};

/// Tab completion: SQL keywords, meta-commands, the tables of the data
/// source and, after "TABLE." or "ALIAS.", that table's columns; words of
/// the tables named on the line complete too. The catalog is read once per
/// table and kept while the shell runs.
class TCompleter {
public:
    explicit TCompleter(TODBCDatabase& db) : FDb(db) {}

    /// The words that complete `word`, given the whole line.
    std::vector<std::string> Candidates(const std::string& word, const std::string& line) {
        std::vector<std::string> out;
        auto offer = [&](const std::string& candidate, const std::string& prefix, const std::string& typed) {
            if (candidate.size() >= typed.size() && SameText(candidate.substr(0, typed.size()), typed))
                out.push_back(prefix + candidate);
        };
        if (!word.empty() && word[0] == '\\') {
            for (const char* m : {"\\dt", "\\d", "\\format", "\\timing", "\\x", "\\?", "\\q"}) offer(m, "", word);
            return out;
        }
        if (const std::size_t dot = word.rfind('.'); dot != std::string::npos) {
            const std::string table = TableOf(word.substr(0, dot), line);
            if (!table.empty())
                for (const std::string& c : Columns(table)) offer(c, word.substr(0, dot + 1), word.substr(dot + 1));
            return out;
        }
        const bool upper = !word.empty() && std::isupper(static_cast<unsigned char>(word[0]));
        for (const char* k : kKeywords) offer(upper ? std::string(k) : LowerCase(k), "", word);
        for (const std::string& t : Tables()) offer(t, "", word);
        for (const std::string& t : Tables())
            if (Mentions(line, t))
                for (const std::string& c : Columns(t)) offer(c, "", word);
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
        return out;
    }

private:
    static constexpr const char* kKeywords[] = {
        "SELECT", "FROM",   "WHERE",  "GROUP",    "BY",      "ORDER",  "HAVING", "LIMIT",    "OFFSET",   "INSERT",
        "INTO",   "VALUES", "UPDATE", "SET",      "DELETE",  "CREATE", "TABLE",  "VIEW",     "INDEX",    "DROP",
        "ALTER",  "ADD",    "COLUMN", "PRIMARY",  "KEY",     "FOREIGN", "REFERENCES", "UNIQUE", "NOT",    "NULL",
        "DEFAULT", "AND",   "OR",     "IN",       "IS",      "LIKE",   "BETWEEN", "EXISTS",  "JOIN",     "LEFT",
        "RIGHT",  "INNER",  "OUTER",  "ON",       "AS",      "DISTINCT", "UNION", "ALL",     "CASE",     "WHEN",
        "THEN",   "ELSE",   "END",    "BEGIN",    "COMMIT",  "ROLLBACK", "WITH",  "COUNT",   "ASC",      "DESC"};

    const std::vector<std::string>& Tables() {
        if (!FTablesRead) {
            FTablesRead = true;
            try {
                for (const TODBCTableInfo& t : ODBCListTables(FDb)) FTables.push_back(t.Name);
            } catch (const Exception&) {
                // No catalog: no table names to offer.
            }
        }
        return FTables;
    }

    const std::vector<std::string>& Columns(const std::string& table) {
        auto found = FColumns.find(LowerCase(table));
        if (found != FColumns.end()) return found->second;
        std::vector<std::string>& list = FColumns[LowerCase(table)];
        try {
            for (const TODBCColumnInfo& c : ODBCListColumns(FDb, table)) list.push_back(c.Name);
        } catch (const Exception&) {
        }
        return list;
    }

    /// True when `line` holds `name` as a word.
    static bool Mentions(const std::string& line, const std::string& name) {
        const std::string lower = LowerCase(line), word = LowerCase(name);
        for (std::size_t at = lower.find(word); at != std::string::npos; at = lower.find(word, at + 1)) {
            const bool before = at == 0 || !(std::isalnum(static_cast<unsigned char>(lower[at - 1])) || lower[at - 1] == '_');
            const std::size_t end = at + word.size();
            const bool after = end >= lower.size() || !(std::isalnum(static_cast<unsigned char>(lower[end])) || lower[end] == '_');
            if (before && after) return true;
        }
        return false;
    }

    /// The table `name` stands for: a table itself, or the alias given to a
    /// table on the line ("customers c", "customers AS c").
    std::string TableOf(const std::string& name, const std::string& line) {
        for (const std::string& t : Tables())
            if (SameText(t, name)) return t;
        std::istringstream words(line);
        std::vector<std::string> list;
        for (std::string w; words >> w;) {
            while (!w.empty() && (w.back() == ',' || w.back() == ';' || w.back() == ')')) w.pop_back();
            list.push_back(w);
        }
        for (std::size_t i = 1; i < list.size(); ++i) {
            if (!SameText(list[i], name)) continue;
            std::size_t t = i - 1;
            if (SameText(list[t], "AS") && t > 0) --t;
            for (const std::string& table : Tables())
                if (SameText(table, list[t])) return table;
        }
        return {};
    }

    TODBCDatabase& FDb;
    bool FTablesRead = false;
    std::vector<std::string> FTables;
    std::map<std::string, std::vector<std::string>> FColumns;
};

TCompleter* gCompleter = nullptr;

extern "C" char* CompletionWord(const char* text, int state) {
    static std::vector<std::string> matches;
    static std::size_t next = 0;
    if (state == 0) {
        matches = gCompleter ? gCompleter->Candidates(text, *gEdit->LineBuffer ? *gEdit->LineBuffer : "") : matches;
        next = 0;
    }
    return next < matches.size() ? ::strdup(matches[next++].c_str()) : nullptr;
}

/// Run by the editor for every line, after it set up its terminal modes and
/// before it switches to its own: that mode, too, sends no signal for Ctrl-C,
/// so at the prompt Ctrl-C is a key read in its place among the others
/// (ReadKey), never a note that could come after keys typed later and drop
/// them with the line. (The editor resets its modes on every line.)
extern "C" int KeysWithoutSignals() { return gEdit->ParseAndBind("setty -d -isig"); }

extern "C" char** CompleteWord(const char* text, int, int) {
    *gEdit->AttemptedCompletionOver = 1;  // no file names
    return gEdit->CompletionMatches(text, CompletionWord);
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
        std::string entry;  // the lines of the statement being typed: one history entry
        for (;;) {
            const std::string prompt = FSplitter.Pending() ? std::string(FDsn.size(), ' ') + "-> " : FDsn + "> ";
            gLineCancelled = false;
            char* raw = nullptr;
            {
                const TLineMode keys;
                raw = gEdit->ReadLine(prompt.c_str());
            }
            if (gLineCancelled) {
                // Ctrl-C at the prompt: the line and any statement begun are dropped.
                std::free(raw);
                (void)FSplitter.TakeRest();  // the data source's dialect stays
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
        if (!entry.empty()) gEdit->AddHistory(entry.c_str());
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
        FOutput.Width = ScreenColumns();
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
        } else if (command == "\\x") {
            if (argument.empty()) argument = FOutput.Expanded == "on" ? "off" : "on";
            if (argument == "on" || argument == "off" || argument == "auto") {
                FOutput.Expanded = argument;
                std::puts(argument == "on"    ? "Expanded display is on."
                          : argument == "off" ? "Expanded display is off."
                                              : "Expanded display is used automatically.");
            } else {
                std::fprintf(stderr, "\\x takes on, off or auto\n");
            }
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
    LoadLineEditor();
    std::printf("velora shell on %s. Statements end with ;, \\? lists the meta-commands, \\q quits.\n", FDsn.c_str());
    std::fflush(stdout);
    const TInterruptWatch watch;  // before the editor starts: it reads keys through ReadKey
    TCompleter completer(*db);
    gCompleter = &completer;
    *gEdit->AttemptedCompletionFunction = CompleteWord;
    const std::string history = HistoryFile();
    gEdit->UsingHistory();
    *gEdit->PreInputHook = KeysWithoutSignals;
    gEdit->StifleHistory(1000);
    if (!history.empty()) gEdit->ReadHistory(history.c_str());
    shell.Loop();
    gCompleter = nullptr;
    if (!history.empty()) gEdit->WriteHistory(history.c_str());
    return 0;
}

}  // namespace velora::app
