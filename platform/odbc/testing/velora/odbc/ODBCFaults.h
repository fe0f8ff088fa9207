// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Fault injection at the ODBC boundary, for tests. The real driver stays
// underneath: an armed fault makes one chosen call (say the 3rd SQLExecute
// since arming) answer a chosen return code and, through SQLGetDiagRec and
// SQLGetDiagField on the same handle, chosen diagnostic records, until the
// next call on that handle. An info override makes SQLGetInfo answer a chosen
// (or masked) numeric value. A length rewrite makes SQLGetData hide the total
// length of truncated values. A row failure makes a rowset fetch report chosen
// rows as failed, and a set failure chosen sets of a parameter array. Call
// counting lets a test see which calls ran.
//
// Everything here is process-wide and guarded by a mutex; a Scope clears all
// faults, overrides, rewrites, row failures and counts when it ends, so tests
// cannot leak them.
#pragma once

#include "velora/odbc/ODBCBoundary.h"

#include <optional>
#include <string>
#include <vector>

namespace velora::odbc::faults {

struct Fault {
    std::string Call;               ///< boundary function name, e.g. "SQLExecute"
    int Nth = 1;                    ///< fire on the Nth call of Call after arming (1 = next one)
    int Times = 1;                  ///< how many consecutive calls fire from the Nth on (0 = all later)
    SQLRETURN Rc = SQL_ERROR;       ///< the return code answered
    std::vector<DiagRecord> Diags;  ///< records answered for the handle; may be empty
    bool CallDriver = false;        ///< run the real call first, then answer Rc
    SQLHANDLE Handle = nullptr;     ///< only calls on this handle count (nullptr: any)
};

/// Arms a fault. Several faults may be armed; each counts its own calls.
void Inject(const Fault& fault);

enum class InfoMode { Replace, And };

/// Whose question an info override changes the answer to.
enum class InfoTarget {
    Caller,  ///< the application's SQLGetInfo (on a cursor-library connection: the library's answer)
    Driver,  ///< the driver's answer, also where the cursor library asks it (simulates another driver)
};

/// Makes SQLGetInfo(infoType) answer `value` (Replace) or the driver's answer
/// ANDed with `value` (And), for numeric (32-bit) information types. With a
/// connection handle the override applies only to that connection. With
/// InfoTarget::Driver the cursor library sees the changed answer too, so a
/// test can mask what a driver offers (say, a static cursor that cannot
/// scroll) and watch what the library then offers.
void OverrideInfo(SQLUSMALLINT infoType, SQLUINTEGER value, InfoMode mode = InfoMode::Replace, SQLHDBC dbc = nullptr,
                  InfoTarget target = InfoTarget::Caller);

/// Makes SQLGetData answer SQL_NO_TOTAL in the length/indicator instead of
/// the value's total length whenever the value did not fit the buffer (the
/// call answered SQL_SUCCESS_WITH_INFO with a length beyond the buffer's
/// room, 01004), as a driver that cannot tell the total length does. The data
/// and the return code stay the driver's. With a statement handle only calls
/// on that statement are rewritten. Each rewrite counts as a call of
/// "SQLGetData SQL_NO_TOTAL" (see CallCount).
void HideTotalLengths(SQLHSTMT stmt = nullptr);

/// Makes SQLGetData and SQLRowCount answer every length and count that is
/// not negative `add` larger than the driver wrote (2^32 gives a length
/// whose low 32 bits are the true one), as an SQLLEN the library kept in a
/// 32-bit variable would never show: it would read the true, small value.
/// With a statement handle only calls on that statement are rewritten. Each
/// rewrite counts as a call of "SQLLEN widened" (see CallCount).
void WidenLengths(SQLLEN add, SQLHSTMT stmt = nullptr);

/// Makes the next SQLFetchScroll on `stmt` that returns rows report `rows`
/// (from 0, those fetched only) as SQL_ROW_ERROR in the statement's row
/// status array, as a driver does for rows of a rowset it could not deliver.
/// Arm a fault with CallDriver for the return code and the diagnostics.
void FailFetchedRows(SQLHSTMT stmt, std::vector<int> rows);
/// Makes the next SQLExecute of a parameter array (a parameter-set size
/// above 1 and a parameter status array) on `stmt` (nullptr: on any
/// statement) that succeeds report `sets` (from 0) as SQL_PARAM_ERROR in the
/// status array, after the driver ran them, as a driver does for sets the
/// server refused inside a call that succeeded. Arm a fault with CallDriver
/// for the return code (SQL_SUCCESS_WITH_INFO) and the diagnostics.
void FailParamSets(SQLHSTMT stmt, std::vector<int> sets);
/// Number of calls of the named boundary function since the innermost live
/// Scope began (counting runs only while a Scope is alive).
int CallCount(const std::string& call);

/// Clears every fault, override, length rewrite, row failure and count.
void ClearAll();

/// RAII: starts counting and clears everything when it ends.
class Scope {
public:
    Scope();
    ~Scope();
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;
};

}  // namespace velora::odbc::faults
