// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "Command.h"

#include "CommandDatabase.h"

#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

namespace velora::app {

bool ParseBoolean(const std::string& text, bool& value) {
    static const char* const kTrue[] = {"1", "yes", "on", "true", "t"};
    static const char* const kFalse[] = {"0", "no", "off", "false", "f"};
    for (const char* t : kTrue)
        if (SameText(text, t)) return value = true, true;
    for (const char* f : kFalse)
        if (SameText(text, f)) return value = false, true;
    return false;
}

bool BooleanInput(const std::string& text, const std::string& what) {
    bool value = false;
    if (!ParseBoolean(text, value))
        throw Exception("'" + text + "' is not a boolean for " + what +
                        " (1/0, yes/no, on/off, true/false or t/f)");
    return value;
}

void TAccount::Define(CLI::App& cmd) {
    cmd.add_option("--user", User, "user name (default: the data source's own)");
    cmd.add_option("--password", Password,
                   "password (default: the data source's own); visible to other users (ps, /proc): prefer "
                   "--password-file, --password-stdin or VELORA_PASSWORD");
    // Read before parsing (ResolvePasswordSources) and handed on as --password;
    // declared here for the help.
    static std::string unusedFile;
    static bool unusedStdin = false;
    cmd.add_option("--password-file", unusedFile, "the password: the first line of FILE");
    cmd.add_flag("--password-stdin", unusedStdin, "the password: one line of standard input");
}

TODBCDatabase* TAccount::NewDatabase(TComponent* owner, const std::string& dsn, bool streaming) const {
    return NewCommandDatabase(owner, dsn, User ? &*User : nullptr, Password ? &*Password : nullptr, streaming);
}

void TOutputOptions::Define(CLI::App& cmd) {
    cmd.add_option("--format", Format, "table, csv, tsv, json or jsonl (default table)")
        ->check(CLI::IsMember({"table", "csv", "tsv", "json", "jsonl"}));
    cmd.add_flag("--no-header", NoHeader, "leave out the header (table, csv, tsv)");
    cmd.add_option("--null", Null, "text for NULL (default: (null) in table, empty in csv, \\N in tsv)");
    cmd.add_flag_callback("-x,--expanded", [this] { Expanded = "on"; },
                          "table format: each row as a block of lines, one per column (column | value)");
}

void TOutputOptions::DefineTimeout(CLI::App& cmd) {
    cmd.add_option("--timeout", QueryTimeout,
                   "SECONDS a statement may run before it is cancelled with \"Timeout expired\" (default 0: no limit)")
        ->check(CLI::NonNegativeNumber);
}

std::string ReadSQLText(const std::string& text, const std::string& file) {
    if (!file.empty() && !text.empty()) throw TUsageError{"give the SQL as an argument or with -f, not both"};
    if (file.empty() && text.empty()) throw TUsageError{"no SQL given (an argument, -f FILE, or - for standard input)"};
    std::ostringstream all;
    if (!file.empty() && file != "-") {
        std::ifstream in(file, std::ios::binary);
        if (!in) throw Exception("cannot read " + file);
        all << in.rdbuf();
    } else if (text == "-" || file == "-") {
        all << std::cin.rdbuf();
    } else {
        return text;
    }
    return all.str();
}

}  // namespace velora::app
