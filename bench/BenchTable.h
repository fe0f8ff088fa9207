// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The benchmarks' scan table: 200,000 rows of integer, 40-character string,
// decimal(12,2), small integer, timestamp and 200-character string, filled
// once over a raw ODBC connection (EngineScanBench.cpp, PeersBench.cpp).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

namespace velora::bench {

inline constexpr int kScanRows = 200000;
inline constexpr const char* kScanTable = "bench_scan";
inline constexpr const char* kScanColumns =
    "id int primary key, s40 varchar(40), d decimal(12,2), si smallint, ts timestamp, s200 varchar(200)";

/// Creates and fills the scan table on `dbc` unless it already holds its
/// rows; answers false when it had to be filled. \throws std::runtime_error
bool PrepareScanTable(SQLHDBC dbc, const char* driverName);

/// Raises std::runtime_error with `what` and the handle's diagnostic records
/// unless `rc` succeeded or answered no data.
void CheckODBC(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE h, const std::string& what);

/// One row of the scan table as a raw loop binds it: all six columns, so the
/// driver converts as much as it does for the library.
struct TScanRow {
    SQLINTEGER Id = 0;
    char S40[41]{}, Dec[16]{}, S200[201]{};
    SQLSMALLINT Si = 0;
    SQL_TIMESTAMP_STRUCT Ts{};
    SQLLEN Ind[6]{};
    /// Binds the six columns of `st` to this row.
    void Bind(SQLHSTMT st);
};

}  // namespace velora::bench
