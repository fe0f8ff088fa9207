// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The table dataset on the benchmark's table: TODBCTable opened over the
// 200,000-row table (and a 20,000-row copy of its first rows), First, then
// Next until Eof, every field read through AsInteger, AsString, AsFloat or
// AsDateTime; and 10,000 GotoBookmark calls to random rows, counted in
// block fetches. EngineScanBench.cpp registers these next to its raw loop
// and prints the ratios against it.
#pragma once

#include <memory>
#include <string>

namespace velora::bench {

/// A data source of the benchmark run.
struct TBenchSource {
    std::string Name, Dsn, User, Password;
};

/// The table the dataset reads for a scan of `rows` rows (the big table
/// itself, or its copy of the first rows).
std::string DataSetTableName(const std::string& bigTable, int bigRows, int rows);

/// Creates (again) the copy of the first `rows` rows of `bigTable`, with the
/// big table's column list `columns` (a copy made by CREATE TABLE ... AS
/// SELECT would lose the declared types on SQLite).
void PrepareDataSetTable(const TBenchSource& source, const std::string& bigTable, const std::string& columns, int rows);

/// What the bookmark run found.
struct TBookmarkFigures {
    int Calls = 0;
    double BlockFetchesPerCall = 0;  ///< row fetches the calls caused, in blocks of RowSetSize
    double MicrosPerCall = 0;
    int WrongRows = 0;  ///< calls that did not land on the bookmarked row
};

/// A database connected to the source, with table datasets opened on it.
class TDataSetBench {
public:
    explicit TDataSetBench(const TBenchSource& source);
    ~TDataSetBench();
    TDataSetBench(const TDataSetBench&) = delete;
    TDataSetBench& operator=(const TDataSetBench&) = delete;

    /// Opens `table` (ordered by id), reads every field of every record from
    /// First to Eof, closes; answers a checksum. `fetchSeconds`, when given,
    /// gets the time of the fetch phase alone (from the open dataset's first
    /// record to Eof, without opening and closing): two values, real and CPU
    /// seconds of this process.
    long Scan(const std::string& table, double* fetchSeconds = nullptr);
    /// First..Eof, then Last..Bof, every field of every row read both ways
    /// (`fetchSeconds`: both walks, without opening and closing).
    long ScanBothWays(const std::string& table, double* fetchSeconds = nullptr);
    /// Opens a uni-directional TODBCQuery over `sql` (the scan table's six
    /// columns), reads every field of every record to Eof; a checksum.
    long ScanQuery(const std::string& sql, double* fetchSeconds = nullptr);
    /// Marks `calls` random rows of `table`, then goes to each mark in random
    /// order with GotoBookmark.
    TBookmarkFigures GotoBookmarks(const std::string& table, int calls);

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};

}  // namespace velora::bench
