// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Helpers shared by the engine's sources: raising EODBCError from diagnostic
// records already read, checking return codes, and the conversions between
// ODBC's date and time structures and time-stamp milliseconds (velora/rtl/DateUtils.h).
// This file is not part of the Velora API.
#pragma once

#include "velora/engine/ODBCConnect.h"
#include "velora/odbc/ODBCBoundary.h"

#include <cstdint>
#include <deque>
#include <vector>

namespace velora::detail {

/// Sub-type of a text column holding a GUID (SQL_GUID read as text): the
/// driver may spell its hex digits in upper case (psqlODBC does), the server
/// and RFC 4122 spell them in lower case; the value is the same, and it is
/// read as the server shows it.
constexpr std::uint16_t kSubTypeGuidText = 0x4700;

/// Folds the hex digits of a GUID's text to lower case in place.
inline void LowerGuidText(char* text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        if (text[i] >= 'A' && text[i] <= 'F') text[i] = static_cast<char>(text[i] - 'A' + 'a');
}

/// Raises EODBCError whose message holds one "ODBC32 Error <state> :<text>\r\n"
/// line per record, as ODBCCheckError words them.
[[noreturn]] void RaiseDiagnostics(const std::vector<odbc::DiagRecord>& records);

/// Any code but SQL_SUCCESS and SQL_SUCCESS_WITH_INFO goes to the error path
/// (which raises when there is anything to say). Answers `rc`.
SQLRETURN CheckStmt(SQLHSTMT stmt, SQLRETURN rc);

/// Replaces the statement's converted parameter values (kept until it is
/// bound again or freed) by a fresh, empty list and answers it.
std::deque<String>& FreshParamScratch(SQLHSTMT stmt);

/// True when every record has the SQLSTATE `state` (and there is one at least).
bool AllRecordsAre(const std::vector<odbc::DiagRecord>& records, const char* state);

/// Time-stamp milliseconds (day count from 0001-01-01 plus one, times
/// 86400000, plus milliseconds of the day) of a calendar date and time.
/// False for an invalid date or time. Built directly from the day count, so
/// dates before 1899-12-30 with a time of day are exact.
bool EncodeMSecs(int year, int month, int day, int hour, int minute, int second, int msec, double& msecs);

/// The parts of time-stamp milliseconds (rounded to a whole millisecond).
/// False for values before 0001-01-01 or beyond 9999-12-31.
bool DecodeMSecs(double msecs, int& year, int& month, int& day, int& hour, int& minute, int& second, int& msec);

/// The calendar date of a day count (TTimeStamp.Date). False out of range.
bool DecodeDayCount(std::int32_t days, int& year, int& month, int& day);

/// Parses a time of day as drivers write it: "[h]h:mm:ss[.fraction]" followed
/// by anything that does not start with a digit (a zone). The fraction is cut
/// to milliseconds. False for other text or an hour beyond 23.
bool ParseTimeText(const char* text, std::size_t length, int& hour, int& minute, int& second, int& msec);

/// "hh:mm:ss", with ".zzz" when `msec` is not 0.
String FormatTimeText(int hour, int minute, int second, int msec);

}  // namespace velora::detail
