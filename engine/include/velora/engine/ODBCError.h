// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// EODBCError, the exception every failed ODBC call of the library raises
// (ODBCCheckError in ODBCConnect.h builds it). A header of its own so that a
// program catching it needs none of the driver manager's headers.
#pragma once

#include "velora/odbc/ODBCDefs.h"
#include "velora/rtl/SysUtils.h"

#include <cstdint>
#include <utility>
#include <vector>

namespace velora {

/// The exception of every failed ODBC call. The message holds one line per
/// diagnostic record: "ODBC32 Error " + SQLSTATE + " :" + text + CR LF.
/// SQLState and NativeError keep the last record's values; Diagnostics keeps
/// every record read, in the order the driver reported them.
class EODBCError : public Exception {
public:
    EODBCError(std::int16_t nativeCode, String message) : Exception(std::move(message)), NativeError(nativeCode) {}
    EODBCError(String message, String sqlState, odbc::Integer nativeError)
        : Exception(std::move(message)), SQLState(std::move(sqlState)), NativeError(nativeError) {}
    /// SQLState and NativeError are taken from the last record.
    EODBCError(String message, std::vector<odbc::DiagRecord> diagnostics)
        : Exception(std::move(message)), Diagnostics(std::move(diagnostics)) {
        if (!Diagnostics.empty()) {
            SQLState = Diagnostics.back().State;
            NativeError = Diagnostics.back().Native;
        }
    }

    String SQLState;                            ///< SQLSTATE of the last diagnostic record ("" when none)
    odbc::Integer NativeError = 0;              ///< native code of the last diagnostic record
    std::vector<odbc::DiagRecord> Diagnostics;  ///< every record, first to last (empty for the library's own errors)
};

}  // namespace velora
