// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Unit SQL: the enumerations shared by the engine and the components. Their
// ordinals are part of the interface (they are stored and compared), so the
// order of the values must not change.
#pragma once

#include <cstdint>

namespace velora {

/// How a transaction ends.
enum ODBCXEnd : std::uint8_t { xendCOMMIT = 0, xendCOMMITKEEP = 1, xendABORT = 2 };

/// Isolation levels as the components name them (not applied to connections).
enum ODBCXType : std::uint8_t { tiDirtyRead = 0, tiReadCommitted = 1, tiRepeatableRead = 2 };

/// Chooses a statement's concurrency: ROWVER for read-write, READ_ONLY otherwise.
enum ODBCOpenMode : std::uint8_t { ODBCREADWRITE = 0, ODBCREADONLY = 1 };

enum ODBCSTMTParamType : std::uint8_t { paramUNKNOWN = 0, paramIN, paramOUT, paramINOUT, paramRET };
enum ODBCSTMTParamFormat : std::uint8_t { paramfmtUNKNOWN = 0, paramfmtNUMBER, paramfmtNAME };
enum ODBCXLTMode : std::uint8_t { xltNONE = 0, xltRECORD, xltFIELD };
enum ODBCFLDRights : std::uint8_t { fldrREADWRITE = 0, fldrREADONLY, fldrNONE, fldrUNKNOWN };

/// How statements on a connection get their cursors and write back changes;
/// decided once per connection by ODBCConnect.
enum TCursorMode : std::uint8_t {
    cmForwardOnly = 0,    ///< forward-only cursors; rows cannot be written back
    cmKeyset = 1,         ///< the driver's keyset cursors, SQLSetPos/SQLBulkOperations
    cmCursorLibrary = 2,  ///< static cursors and positioned SQL through our cursor library
};

/// "cmForwardOnly", "cmKeyset" or "cmCursorLibrary".
const char* CursorModeName(TCursorMode mode);

}  // namespace velora
