// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The ODBC types a public header needs, without the driver manager's headers:
// sql.h and sqlext.h define some 1,400 macros (SQL_*, BOOL, CALLBACK, FAR)
// that would reach every file of a program including a Velora header. The
// handles are the driver manager's own type (void*), and each integer is the
// fixed-width type of the same size and sign, so a value passes between these
// names and the SQL* ones without a cast; ODBCBoundary.cpp checks that every
// alias is the very type sql.h declares.
#pragma once

#include <cstdint>
#include <string>

namespace velora::odbc {

using Handle = void*;  ///< SQLHANDLE
using HEnv = Handle;   ///< SQLHENV
using HDbc = Handle;   ///< SQLHDBC
using HStmt = Handle;  ///< SQLHSTMT

using Return = std::int16_t;     ///< SQLRETURN
using SmallInt = std::int16_t;   ///< SQLSMALLINT
using Integer = std::int32_t;    ///< SQLINTEGER
using UInteger = std::uint32_t;  ///< SQLUINTEGER
using Len = std::int64_t;        ///< SQLLEN

/// One diagnostic record as SQLGetDiagRec reports it.
struct DiagRecord {
    std::string State;  ///< five-character SQLSTATE
    Integer Native = 0;
    std::string Text;
};

}  // namespace velora::odbc
