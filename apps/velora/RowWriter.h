// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// How the velora tool writes rows: one writer per output format, fed one row
// at a time while the dataset is read, so the first row is out before the
// last is fetched and memory stays flat whatever the row count.
//
//   table  aligned columns under a header and a rule, numbers on the right,
//          widths by display width (UTF-8, East Asian wide characters);
//          control characters escaped (\n, \t, \r, \xNN); memo text and
//          binary values cut with "…" to 40 columns, binary as hex with its
//          length; NULL as "(null)"; a count of rows at the end. Expanded
//          (--expanded, the shell's \x): a "-[ RECORD n ]" line per row,
//          then "column | value" per column; "auto" expands when a table
//          line would be wider than the screen
//   csv    RFC 4180: fields with a comma, quote or line break are quoted,
//          quotes doubled, lines end with CR LF; NULL is an empty unquoted
//          field, an empty string is ""
//   tsv    tab-separated; backslash, tab, LF and CR escaped as \\ \t \n \r;
//          NULL is \N
//   json   one array of objects, one object per row
//   jsonl  one object per line
// In csv, tsv and the JSON formats values are whole: decimals with their
// scale, binary values as lowercase hexadecimal text (two digits per byte).
// JSON has numbers as numbers, booleans as true/false, NULL as null.
#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace velora {
class TDataSet;
}

namespace velora::app {

/// What a column holds, which decides alignment and quoting.
enum class TCellKind { Text, Number, Boolean, Binary, Memo };

struct TColumn {
    std::string Name;
    TCellKind Kind = TCellKind::Text;
};

/// One value: Text holds the value as text (binary: the bytes).
struct TCell {
    bool Null = false;
    /// The field's display text instead of its value (a long value the
    /// dataset cannot read), shown as it is in every format.
    bool Placeholder = false;
    std::string Text;
};

using TRow = std::vector<TCell>;

/// Raised when standard output is a pipe nobody reads any more: the tool
/// then ends quietly with status 0.
struct TBrokenPipe {};

class TRowWriter {
public:
    virtual ~TRowWriter() = default;
    virtual void Begin(const std::vector<TColumn>& columns) = 0;
    virtual void Row(const TRow& row) = 0;
    /// After the last row; `rows` is their count.
    virtual void End(long long rows) = 0;
};

struct TOutputOptions;

/// The writer for options.Format, writing to `out`.
/// \throws TUsageError for an unknown format.
std::unique_ptr<TRowWriter> NewRowWriter(const TOutputOptions& options, std::FILE* out);

/// Columns and values of a dataset as the writers take them: decimals
/// carry their scale, long values are read whole through the field.
class TDataSetReader {
public:
    explicit TDataSetReader(TDataSet& ds);
    const std::vector<TColumn>& Columns() const { return FColumns; }
    /// The active record's values.
    void Read(TRow& row);

private:
    TDataSet& FDataSet;
    std::vector<TColumn> FColumns;
    std::vector<int> FScales;  ///< decimals of a decimal column, else -1
    std::vector<bool> FUnreadable;
};

/// Rows done and their rate on standard error, redrawn twice a second once
/// the command has run a few seconds, when standard error is a terminal and
/// standard output is not; erased at the end. Nothing otherwise.
class TProgress {
public:
    /// When the command started (main calls it first thing).
    static std::chrono::steady_clock::time_point ProgramStart();
    TProgress();
    ~TProgress();
    TProgress(const TProgress&) = delete;
    TProgress& operator=(const TProgress&) = delete;
    /// Tells that `rows` rows are done.
    void Step(long long rows);

private:
    static constexpr std::chrono::seconds kQuiet{3};
    std::chrono::steady_clock::time_point FStart, FNext;
    bool FShown = false;
    bool FDrawn = false;
};

/// Writes every row of `ds` from the current one to the end with `writer`,
/// with progress; answers the count.
long long WriteRows(TDataSet& ds, TRowWriter& writer);

/// Writes one row: `row` when given (a row read before it went away),
/// otherwise the active record of `ds`, under the columns of `ds`.
void WriteOneRow(TDataSet& ds, TRowWriter& writer, const TRow* row = nullptr);

/// Columns a display shows `text` in (UTF-8; wide characters count two).
std::size_t DisplayWidth(const std::string& text);

}  // namespace velora::app
