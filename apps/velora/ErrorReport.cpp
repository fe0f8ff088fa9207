// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "ErrorReport.h"

#include "velora/components/ODBCObj.h"

#include <vector>

namespace velora::app {

namespace {

std::string& CurrentDataSource() {
    static std::string dsn;
    return dsn;
}

struct TRecord {
    std::string State;
    std::string Text;
    long Native = 0;
    bool HasNative = false;
};

std::string WithoutReturns(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c != '\r') out += c;
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

/// The records of the library's message: "ODBC32 Error <state> :<text>"
/// pieces ended by CR LF (a text may hold a line break of its own).
std::vector<TRecord> ParseMessage(const std::string& message) {
    static const std::string kHead = "ODBC32 Error ";
    std::vector<TRecord> records;
    std::size_t at = 0;
    while (at < message.size()) {
        std::size_t end = message.find("\r\n", at);
        if (end == std::string::npos) end = message.size();
        const std::string piece = message.substr(at, end - at);
        at = end + 2;
        const std::size_t colon = piece.find(" :");
        if (piece.compare(0, kHead.size(), kHead) == 0 && colon != std::string::npos && colon > kHead.size()) {
            records.push_back({piece.substr(kHead.size(), colon - kHead.size()), piece.substr(colon + 2)});
        } else if (!records.empty()) {
            records.back().Text += "\n" + piece;
        } else if (!piece.empty()) {
            records.push_back({"", piece});
        }
    }
    return records;
}

/// The driver's text as a person reads it.
std::string PersonText(const TRecord& r) {
    std::string text = WithoutReturns(r.Text);
    // "[unixODBC][Driver Manager]", "[SQLite]", "[ma-3.1.15][10.11-MariaDB]":
    // which layer spoke, noise to the reader.
    while (!text.empty() && text[0] == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string::npos) break;
        text.erase(0, close + 1);
    }
    // psqlODBC ends the server's message with ";\n" and a remark on the
    // statement handle ("Error while executing the query", "No query has
    // been executed with that handle").
    for (const char* remark : {";\nError while executing the query", ";\nNo query has been executed with that handle"}) {
        const std::size_t pos = text.rfind(remark);
        if (pos != std::string::npos && pos + std::string(remark).size() == text.size()) text.erase(pos);
    }
    // The server's own "ERROR:" (PostgreSQL) is the one the tool prints.
    if (text.compare(0, 6, "ERROR:") == 0) text.erase(0, text.find_first_not_of(' ', 6));
    // SQLite repeats its native code at the end: "... syntax error (1)".
    if (r.HasNative) {
        const std::string code = " (" + std::to_string(r.Native) + ")";
        if (text.size() > code.size() && text.compare(text.size() - code.size(), code.size(), code) == 0)
            text.erase(text.size() - code.size());
    }
    return text;
}

}  // namespace

void NoteDataSource(const std::string& dsn) { CurrentDataSource() = dsn; }

std::string ErrorReport(const EODBCError& e) {
    std::vector<TRecord> records;
    if (!e.Diagnostics.empty()) {
        for (const odbc::DiagRecord& d : e.Diagnostics) records.push_back({d.State, d.Text, d.Native, true});
    } else {
        records = ParseMessage(e.Message());
    }
    if (records.empty()) return ErrorReport(e.Message());
    std::string out;
    for (const TRecord& r : records) {
        std::string text = PersonText(r);
        if (r.State == "IM002") {
            const std::string& dsn = CurrentDataSource();
            if (dsn.find('=') != std::string::npos)
                text = "the connection string \"" + dsn +
                       "\" names no data source or driver found in the ODBC configuration";
            else
                text = "data source \"" + dsn + "\" not found (\"velora sources\" lists the data sources)";
        }
        out += "ERROR: " + text + "\n";
        if (!r.State.empty() && r.State != "00000") out += "SQLSTATE " + r.State + "\n";
    }
    return out;
}

std::string ErrorReport(const std::string& message) { return "ERROR: " + WithoutReturns(message) + "\n"; }

std::string ProblemLine(const std::string& message) {
    std::vector<TRecord> records = ParseMessage(message);
    if (records.size() > 1 && records.front().State.empty()) records.erase(records.begin());
    std::string out;
    for (const TRecord& r : records) {
        std::string text = PersonText(r);
        for (char& c : text)
            if (c == '\n' || c == '\t') c = ' ';
        // The native code SQLite's driver repeats at the end ("... (19)"),
        // which the message no longer carries apart.
        const std::size_t open = text.rfind(" (");
        if (open != std::string::npos && text.back() == ')' && open + 3 < text.size() &&
            text.find_first_not_of("0123456789", open + 2) == text.size() - 1)
            text.erase(open);
        if (!out.empty()) out += "; ";
        out += text;
        if (!r.State.empty() && r.State != "00000") out += " (SQLSTATE " + r.State + ")";
    }
    return out.empty() ? WithoutReturns(message) : out;
}

}  // namespace velora::app
