// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The velora command-line tool: the library's main job, used by people and
// by the run script. Each command is a class over the components (see
// Command.h) registered in the table below; one parser (CLI11) reads every
// command line. Errors print one clear line on standard error and end with
// a non-zero status: 1 for a failure, 2 for a command line that cannot be
// understood (the line names the mistake and points at the command's
// --help). `velora help COMMAND` and `velora COMMAND --help` print a
// command's help; `velora --man` prints the manual page built from the same
// text.
//
// Run from its build tree the tool reads the project's own ODBC configuration
// (ODBCSYSINI and ODBCINI point at the build's odbc folder unless already
// set); installed, it reads the user's and the system's like any ODBC program.
//
// Built as `velora` (VELORA_DATA_COMMANDS_ONLY) the table holds the commands
// that read and write data, and the program links no drawing or full-screen
// terminal library: it starts as fast as the data components allow. Any
// other command line but --version (a screen command, help, --man, a mistake)
// runs `velora-screens`, the same tool with every command, from the folder
// of velora's own executable.
#include "ApplyCommand.h"
#include "BrowseCommand.h"
#include "CatalogCommands.h"
#include "Command.h"
#include "CommandDatabase.h"
#include "CopyCommand.h"
#include "DesignCommand.h"
#include "EditCommand.h"
#include "ErrorReport.h"
#include "QueryCommand.h"
#include "RenderCommand.h"
#include "RowWriter.h"
#include "ShellCommand.h"
#include "SourceCommands.h"
#include "TableCommand.h"

#include "velora/components/ODBCObj.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#ifndef VELORA_ODBC_DIR
#define VELORA_ODBC_DIR "odbc"
#endif
#ifndef VELORA_BINARY_DIR
#define VELORA_BINARY_DIR "/nonexistent"
#endif
#ifndef VELORA_VERSION
#define VELORA_VERSION "0"
#endif

namespace velora::app {
namespace {

struct TCommandEntry {
    const char* Name;
    const char* Summary;
    std::function<std::unique_ptr<TCommand>()> Make;
};

template <typename T, typename... A>
std::function<std::unique_ptr<TCommand>()> Make(A... args) {
    return [=] { return std::make_unique<T>(args...); };
}

const std::vector<TCommandEntry>& Commands() {
    static const std::vector<TCommandEntry> commands = {
        {"sources", "lists the ODBC data sources with their descriptions", Make<TSourcesCommand>()},
        {"connect", "connects to DSN, prints the cursor mode and the server name, disconnects",
         Make<TConnectCommand>()},
        {"tables", "lists the tables and views of DSN", Make<TTablesCommand>()},
        {"describe",
         "lists the columns of a table (declared type, size and decimals where the type has them, default, nullable, "
         "key, field type), then its indexes and foreign keys",
         Make<TDescribeCommand>()},
        {"table", "writes the rows of a table", Make<TTableCommand>()},
        {"query", "runs SQL with :name parameters and writes its rows, or the rows it affected", Make<TQueryCommand>()},
        {"shell", "an interactive SQL prompt with line editing and history", Make<TShellCommand>()},
        {"edit", "changes row N of a table and writes it as stored", Make<TEditCommand>(std::string("edit"))},
        {"insert", "adds a row to a table and writes it as stored", Make<TEditCommand>(std::string("insert"))},
        {"delete", "deletes row N of a table and writes the row deleted", Make<TEditCommand>(std::string("delete"))},
        {"apply", "writes row N of a query through an update object with an UPDATE, INSERT or DELETE of your own",
         Make<TApplyCommand>()},
        {"copy",
         "copies the rows of a table or a SELECT into a table of another (or the same) data source in batches: "
         "append, update, append-update, delete or copy; prints the counts and each row in error, status 1 when rows "
         "were refused",
         Make<TCopyCommand>()},
#ifndef VELORA_DATA_COMMANDS_ONLY
        {"browse", "a full-screen browser of a table or query: scroll, go to a record, edit, insert, delete, filter, order",
         Make<TBrowseCommand>()},
        {"design", "edits a form file through the design-time editors: add, set, parameters, verbs, save",
         Make<TDesignCommand>()},
        {"update-sql", "prints the modify, insert and delete statements generated for a query",
         Make<TUpdateSQLCommand>()},
        {"render", "draws a form file (or a dialog: login, parameters, update SQL, About) into a PNG picture",
         Make<TRenderCommand>()},
        {"label", "draws one 3-D text label into a PNG picture", Make<TLabelCommand>()},
#endif
    };
    return commands;
}

/// Messages of the error path end each line with CR LF: one LF per line on
/// a terminal, none at the end.
std::string Tidy(std::string message) {
    std::string out;
    for (char c : message)
        if (c != '\r') out += c;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

/// The whole text on one line.
std::string OneLine(std::string text) {
    text = Tidy(text);
    for (char& c : text)
        if (c == '\n') c = ' ';
    return text;
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

#ifdef VELORA_DATA_COMMANDS_ONLY
/// The commands velora-screens adds.
constexpr const char* kScreenCommands[] = {"browse", "design", "update-sql", "render", "label"};

/// Runs velora-screens, beside this program, with the same arguments when
/// the first is no data command; returns when it is one (or the program is
/// missing and the command line needs no screen command).
void HandOverUnlessDataCommand(int argc, char** argv) {
    const int at = argc > 2 && std::string(argv[1]) == "--project-odbc" ? 2 : 1;
    const std::string command = at < argc ? argv[at] : "";
    // The version is the same in both programs: no reason to start the other.
    if (command == "--version") return;
    for (const TCommandEntry& e : Commands())
        if (command == e.Name) return;
    char exe[4096];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return;
    std::string path(exe, static_cast<std::size_t>(n));
    path = path.substr(0, path.rfind('/') + 1) + "velora-screens";
    ::execv(path.c_str(), argv);  // returns only when it cannot run
    for (const char* screen : kScreenCommands)
        if (command == screen)
            throw Exception("the " + command + " command is in velora-screens, which cannot run from " + path + " (" +
                            std::strerror(errno) + ")");
}
#endif

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

/// The command line: the tool and one subcommand per command.
class TCommandLine {
public:
    TCommandLine() : FApp("data-access components over ODBC, at the command line", "velora") {
        FApp.set_version_flag("--version", "velora " VELORA_VERSION, "prints the version and ends");
        FApp.add_flag("--man", FMan, "prints the manual page (roff) and ends")->group("");
        FApp.require_subcommand(0, 1);
        FApp.footer(
            "DSN is a data source name or a connection string (\"DRIVER=...;...\" or \"DSN=...;...\").\n"
            "Passwords: --password PASSWORD is visible to other users (ps, /proc); prefer --password-file FILE\n"
            "(its first line), --password-stdin (one line of standard input) or VELORA_PASSWORD.\n"
            "ODBC configuration: run from its build tree the tool reads the build's odbc folder; installed it\n"
            "reads ODBCINI, ~/.odbc.ini and the system files (--project-odbc or VELORA_ODBC_DIR=DIR choose a\n"
            "project folder instead).\n"
            "Run 'velora help COMMAND' or 'velora COMMAND --help' for the options of a command.");
        for (const TCommandEntry& e : Commands()) {
            FSubs.push_back(FApp.add_subcommand(e.Name, e.Summary));
            FCommands.emplace_back();
        }
        CLI::App* help = FApp.add_subcommand("help", "prints the help of a command");
        help->add_option("COMMAND", FHelpTopic, "the command");
        FHelp = help;
    }

    int Main(int argc, char** argv) {
        try {
            std::vector<std::string> args(argv + 1, argv + argc);
            ChooseOdbcConfiguration(args);
            if (!args.empty() && args[0][0] != '-' && !Find(args[0]))
                throw TUsageError{std::string("unknown command ") + args[0]};
            DefineCommands(args.empty() ? std::string() : args[0]);
            // Passwords kept off the command line become the --password the
            // commands take, in memory only.
            if (!args.empty()) {
                std::vector<std::string> rest(args.begin() + 1, args.end());
                try {
                    ResolvePasswordSources(args[0], rest);
                } catch (const TPasswordUsageError& e) {
                    throw TUsageError{e.Message};
                }
                rest.insert(rest.begin(), args[0]);
                args = std::move(rest);
            }
            std::reverse(args.begin(), args.end());
            FApp.parse(args);
            if (FMan) {
                std::fputs(ManPage().c_str(), stdout);
                return 0;
            }
            if (FHelp->parsed()) return Help();
            for (std::size_t i = 0; i < FSubs.size(); ++i)
                if (FSubs[i]->parsed() && FCommands[i]) return FCommands[i]->Run();
            throw TUsageError{"no command given"};
        } catch (const CLI::CallForHelp&) {
            std::fputs(FApp.help().c_str(), stdout);
            return 0;
        } catch (const CLI::CallForVersion& e) {
            std::printf("%s\n", e.what());
            return 0;
        } catch (const CLI::ParseError& e) {
            return Usage(e.what());
        } catch (const TUsageError& e) {
            return Usage(e.Message);
        }
    }

private:
    /// Makes the commands and declares their options: only the one named
    /// when the line starts with a command (building every command's options
    /// and validators is a good part of the tool's start), none for
    /// --version, every one for the tool's own help and manual page.
    void DefineCommands(const std::string& first) {
        if (first == "--version") return;  // answered before any command runs
        const std::vector<TCommandEntry>& entries = Commands();
        const bool one = std::any_of(entries.begin(), entries.end(),
                                     [&](const TCommandEntry& e) { return first == e.Name; });
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (one && first != entries[i].Name) continue;
            FCommands[i] = entries[i].Make();
            FCommands[i]->Define(*FSubs[i]);
        }
    }

    /// The subcommand called `name`, or null.
    CLI::App* Find(const std::string& name) {
        for (CLI::App* sub : FApp.get_subcommands([](const CLI::App*) { return true; }))
            if (sub->get_name() == name) return sub;
        return nullptr;
    }

    int Usage(const std::string& message) {
        std::string where = "velora";
        for (CLI::App* sub : FApp.get_subcommands()) where += " " + sub->get_name();
        std::fprintf(stderr, "%s: %s (see '%s --help')\n", where.c_str(), OneLine(message).c_str(), where.c_str());
        return 2;
    }

    int Help() {
        if (FHelpTopic.empty()) {
            std::fputs(FApp.help().c_str(), stdout);
            return 0;
        }
        CLI::App* sub = Find(FHelpTopic);
        if (!sub) throw TUsageError{"unknown command " + FHelpTopic};
        std::fputs(sub->help("velora").c_str(), stdout);
        return 0;
    }

    static std::string Roff(std::string text) {
        std::string out;
        for (char c : text) {
            if (c == '\\')
                out += "\\e";
            else if (c == '-')
                out += "\\-";
            else
                out += c;
        }
        if (!out.empty() && (out[0] == '.' || out[0] == '\'')) out.insert(0, "\\&");
        return out;
    }

    std::string ManPage() {
        std::string m = ".TH VELORA 1 \"\" \"velora " VELORA_VERSION "\" \"User Commands\"\n";
        m += ".SH NAME\nvelora \\- " + Roff(FApp.get_description()) + "\n";
        m += ".SH SYNOPSIS\n.B velora\n\\fICOMMAND\\fR [\\fIARGUMENTS\\fR] [\\fIOPTIONS\\fR]\n";
        m += ".SH COMMANDS\n";
        for (CLI::App* sub : FSubs) {
            std::string synopsis = "velora " + sub->get_name();
            for (const CLI::Option* o : sub->get_options([](const CLI::Option* o) { return o->get_positional(); }))
                synopsis += " " + (o->get_required() ? o->get_name() : "[" + o->get_name() + "]");
            m += ".SS \"" + Roff(synopsis) + "\"\n" + Roff(sub->get_description()) + "\n";
            for (const CLI::Option* o : sub->get_options()) {
                if (o->get_name() == "--help" || o->get_name() == "-h,--help") continue;
                m += ".TP\n.B " + Roff(o->get_name()) +
                     (o->get_type_size() > 0 && !o->get_positional() ? " " + Roff(o->get_type_name()) : "") + "\n" +
                     Roff(o->get_description()) + "\n";
            }
        }
        m += ".SH OUTPUT FORMATS\n"
             ".TP\n.B table\naligned columns by display width, numbers on the right, decimals with their scale, "
             "control characters escaped (\\en, \\et), memo text and binary values (hexadecimal, with their "
             "length) cut with an ellipsis to 40 columns, NULL as (null), the row count at the end; with \\-x "
             "(\\-\\-expanded, the shell's \\ex) each row is a -[ RECORD n ] block of column | value lines\n"
             ".TP\n.B csv\nRFC 4180: quoted where needed, lines end with CR LF; NULL is an empty field, the empty "
             "string is \"\"\n"
             ".TP\n.B tsv\ntab-separated, with \\e\\e, \\et, \\en and \\er escapes; NULL is \\eN\n"
             ".TP\n.B json\none array of objects: numbers as numbers, booleans as true and false, NULL as null, "
             "binary values as hexadecimal strings\n"
             ".TP\n.B jsonl\none object per line, as in json\n"
             "Rows are written as they are fetched. A reader that goes away (velora ... | head) ends the tool "
             "quietly. When standard error is a terminal and standard output is not, long reads show the rows "
             "done and their rate.\n";
        m += ".SH DIAGNOSTICS\nWhat the data source refuses prints on standard error as one \\fBERROR:\\fR line with "
             "the driver's text and one \\fBSQLSTATE\\fR line with its code, for every diagnostic record; a data "
             "source name that is not found (IM002) is named, with a pointer to \\fBvelora sources\\fR. The shell "
             "running a file (\\-f) or piped input puts the file and the line its statement starts on before the "
             "error (stdin:3: ERROR: ...).\n";
        m += ".SH BOOLEANS\nBoolean values of \\-\\-set, COLUMN=VALUE and \\-\\-param (TYPE boolean) are 1/0, yes/no, "
             "on/off, true/false or t/f, in any case.\n";
        m += ".SH EXIT STATUS\n0 on success (also when the reader of the output went away), 1 when the data source "
             "refuses the work (in the shell with \\-f or piped input: when a statement failed), 2 for a command line "
             "that cannot be understood.\n";
        m += ".SH ENVIRONMENT\n.TP\n.B ODBCINI\nthe data sources (run from its build tree: the build's own odbc.ini; "
             "installed: "
             "unixODBC's lookup, ~/.odbc.ini and the system files)\n"
             ".TP\n.B VELORA_PASSWORD\nthe password when no other is given\n"
             ".TP\n.B VELORA_ODBC_DIR\na folder holding odbcinst.ini and odbc.ini to use instead\n"
             ".TP\n.B ODBCSYSINI\nthe folder of odbcinst.ini, the drivers\n";
        return m;
    }

    CLI::App FApp;
    bool FMan = false;
    std::string FHelpTopic;
    CLI::App* FHelp = nullptr;
    std::vector<std::unique_ptr<TCommand>> FCommands;
    std::vector<CLI::App*> FSubs;
};

}  // namespace
}  // namespace velora::app

int main(int argc, char** argv) {
    using namespace velora;
    app::TProgress::ProgramStart();
    // A reader that goes away (velora ... | head) ends the tool quietly.
    std::signal(SIGPIPE, SIG_IGN);
    // Rows written to a file or a pipe go out in 64 KiB writes, not 4 KiB.
    if (!::isatty(STDOUT_FILENO)) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    int status = 1;
    try {
#ifdef VELORA_DATA_COMMANDS_ONLY
        app::HandOverUnlessDataCommand(argc, argv);
#endif
        app::TCommandLine commandLine;
        status = commandLine.Main(argc, argv);
        if (std::fflush(stdout) != 0 && errno == EPIPE) return 0;
    } catch (const app::TBrokenPipe&) {
        return 0;
    } catch (const EODBCError& e) {
        std::fputs(app::ErrorReport(e).c_str(), stderr);
    } catch (const Exception& e) {
        std::fprintf(stderr, "velora: %s\n", app::Tidy(e.Message()).c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velora: %s\n", e.what());
    }
    return status;
}
