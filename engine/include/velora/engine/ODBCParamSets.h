// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Parameter arrays: one prepared statement executed for many parameter sets.
// The caller lays out the values of a run of sets column-wise (one array per
// parameter, Width bytes a set, one length/indicator a set); the engine binds
// the arrays, sets SQL_ATTR_PARAMSET_SIZE and executes them in one driver
// call, or runs the sets one by one on the same statement where the driver
// takes no arrays or the caller asks for it.
//
// Whatever the road, the outcome is the same: every set that can be written is
// written, in order; every set the server refuses is listed with its index and
// (for the first) its diagnostic records. Where a driver undoes a whole array
// call when one set fails (psqlODBC, MariaDB Connector/ODBC), the sets of that
// call run again one by one, so the good ones are written and the failing
// ones named; where it stops at the failing set and keeps the ones before it
// (the SQLite driver), the run goes on after it. Under the application's
// transaction a rollback undoes them all. On psqlODBC the sets run on a
// statement of their own, which the driver sends in batches of sets (one
// round trip a batch); inside a transaction each call runs behind a
// savepoint, so a failed call is undone whole before its sets run again.
// There a plain one-row INSERT (RepeatableInsertOf, SQLText.h) runs as
// prepared INSERTs of many rows instead, one set a row, kept with `handle`
// for the next call; a refused one runs its sets again alone.
// docs/platform-notes-local.md has the measurements.
#pragma once

#include "velora/engine/ODBCError.h"
#include "velora/odbc/ODBCDefs.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace velora {

/// One parameter's values for a run of sets (column-wise binding).
struct TODBCArrayParam {
    odbc::SmallInt CType = 1;    ///< SQL_C_CHAR
    odbc::SmallInt SQLType = 12;  ///< SQL_VARCHAR
    std::uint64_t ColumnSize = 1;
    odbc::SmallInt Digits = 0;
    std::byte* Data = nullptr;           ///< Width bytes a set
    odbc::Len Width = 0;                 ///< bytes a set (the buffer length given to the driver)
    odbc::Len* Indicators = nullptr;     ///< one length/indicator a set
};

/// Lays out sets First .. First + Count - 1: fills one TODBCArrayParam per
/// parameter, whose storage lives until the next call.
using TODBCParamSetPacker =
    std::function<void(std::int64_t First, std::int64_t Count, std::vector<TODBCArrayParam>& Params)>;

/// How the sets reach the driver.
enum class TODBCParamSetRoad {
    Arrays,   ///< SQL_ATTR_PARAMSET_SIZE where the driver takes it, else one by one
    OneByOne  ///< one execution a set, on the same prepared statement
};

/// What a run of parameter sets did.
struct TODBCParamSetResult {
    std::int64_t Sets = 0;           ///< sets run
    std::int64_t RowsAffected = -1;  ///< rows the sets affected in all; -1 when a driver did not tell
    std::vector<std::int64_t> SetRows;  ///< rows a set affected; -1 where the driver tells only the total
    std::vector<std::int64_t> Failed;   ///< indexes (from 0) of the sets the server refused, in order
    std::vector<odbc::DiagRecord> FirstFailure;  ///< the diagnostic records of the first failed set
    bool UsedArrays = false;         ///< some sets went to the driver as an array
};

/// A run of parameter sets in which sets failed. The message names the first
/// failed set's index and how many failed, then the driver's records of it;
/// FailedSets lists every failed index. The other sets have run.
class EODBCParamSetError : public EODBCError {
public:
    EODBCParamSetError(String message, std::vector<odbc::DiagRecord> diagnostics, std::vector<std::int64_t> failed)
        : EODBCError(std::move(message), std::move(diagnostics)), FailedSets(std::move(failed)) {}
    std::vector<std::int64_t> FailedSets;  ///< every failed set, in order
};

/// Executes the prepared statement `handle` of connection `dbc` (with `paramCount` parameters)
/// for `count` sets, at most `chunk` sets a driver call. The statement's
/// parameter bindings are reset afterwards and its parameter-set size is 1
/// again, so single executions work as before. Failures of sets are answered
/// in `result`, not raised (ODBCRaiseParamSetFailures raises them); a
/// failure of the statement itself (binding, the driver refusing an
/// attribute) raises EODBCError.
void ODBCExecuteParamSets(odbc::HDbc dbc, odbc::HStmt handle, int paramCount, std::int64_t count, int chunk, TODBCParamSetRoad road,
                          const TODBCParamSetPacker& pack, TODBCParamSetResult& result);

/// Raises EODBCParamSetError when sets failed in `result`.
void ODBCRaiseParamSetFailures(const TODBCParamSetResult& result);

}  // namespace velora
