// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Helpers shared by the engine's sources: raising EODBCError from diagnostic
// records already read, checking return codes, and the conversions between
// ODBC's date and time structures and time-stamp milliseconds (velora/rtl/DateUtils.h).
// This file is not part of the Velora API.
#pragma once

#include "velora/engine/ODBCConnect.h"
#include "velora/engine/ODBCTypes.h"
#include "velora/odbc/ODBCBoundary.h"

#include <cstdint>
#include <deque>
#include <string_view>
#include <vector>

namespace velora::detail {

/// Raises EODBCError whose message holds one "ODBC32 Error <state> :<text>\r\n"
/// line per record, as ODBCCheckError words them.
[[noreturn]] void RaiseDiagnostics(const std::vector<odbc::DiagRecord>& records);

/// Any code but SQL_SUCCESS and SQL_SUCCESS_WITH_INFO goes to the error path
/// (which raises when there is anything to say). Answers `rc`.
SQLRETURN CheckStmt(SQLHSTMT stmt, SQLRETURN rc);

/// Replaces the statement's converted parameter values (kept until it is
/// bound again or freed) by a fresh, empty list and answers it.
std::deque<String>& FreshParamScratch(SQLHSTMT stmt);

/// Where a parameter bound for output receives its value: the buffer (in the
/// statement's scratch list) and the caller's length/indicator slot.
struct ParamOutputSlot {
    int Number = 0;  ///< 1-based parameter number
    SQLSMALLINT CType = 0;
    String* Buffer = nullptr;
    SQLLEN* Slot = nullptr;
};

/// The statement's output slots of its last binding (cleared with the
/// scratch list by FreshParamScratch).
std::vector<ParamOutputSlot>& ParamOutputs(SQLHSTMT stmt);

/// The text last prepared on the statement through the engine; false when
/// none was.
bool PreparedText(SQLHSTMT stmt, String& text);

/// A statement of `owner`'s connection prepared for owner's sake under `key`
/// (AttachStmt); nil when there is none.
SQLHSTMT AttachedStmt(SQLHSTMT owner, int key);
/// Hands `attached` to `owner` under `key`: it is freed with owner (through
/// ODBCFreeStmt), when owner is prepared with another text, or when newer
/// ones push it out (a few are kept; the least recently used goes first).
void AttachStmt(SQLHSTMT owner, int key, SQLHSTMT attached);

/// A result column whose stored value may be a double, as the text of a
/// SELECT gives it (see WithExactReals).
struct TExactRealColumn {
    std::uint16_t Column;  ///< 0-based result column
    String Label;          ///< the name the result gives it
};

/// SQLite: the SELECT `text` with, after its select list, one more column per
/// wanted column holding the column's value as SQLite's 17-digit text when
/// the value is a REAL (NULL otherwise). `labels` are every result column's
/// labels. Answers the text and sets `taken` to the wanted columns given a
/// companion, in order; answers "" (taken empty) when the text cannot be read
/// safely: no plain SELECT, a compound or WITH statement, or select items
/// that cannot be matched to the result columns.
String WithExactReals(std::string_view text, const std::vector<String>& labels,
                      const std::vector<std::uint16_t>& wanted, std::vector<std::uint16_t>& taken);

/// True when every record has the SQLSTATE `state` (and there is one at least).
bool AllRecordsAre(const std::vector<odbc::DiagRecord>& records, const char* state);

/// True when the connection's driver (SQL_DRIVER_NAME) is psqlODBC.
bool IsPsqlODBC(SQLHDBC dbc);

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

/// A time of day, or a time interval, as drivers write it as text:
/// "[-]h:mm:ss[.fraction]" with hours of any width (MariaDB's time runs from
/// -838:59:59 to 838:59:59, PostgreSQL's reaches 24:00:00), the fraction
/// kept to the nanosecond.
struct TimeParts {
    bool Negative = false;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    std::uint32_t Nanos = 0;  ///< 0 .. 999,999,999

    /// True for a time of day (00:00:00 up to 23:59:59.999999999).
    bool IsTimeOfDay() const { return !Negative && Hour <= 23; }
};

/// Parses TimeParts; anything after the seconds that does not start with a
/// digit (a zone) is ignored. Digits of the fraction beyond the ninth must be
/// zero (nothing is cut silently).
bool ParseTimeParts(std::string_view text, TimeParts& time);

/// "hh:mm:ss" and the fraction (FormatFraction).
String FormatTimeParts(const TimeParts& time);

/// "" for 0, else ".zzz", ".zzzzzz" or ".zzzzzzzzz", the shortest of these
/// that holds `nanos` exactly.
String FormatFraction(std::uint32_t nanos);

/// Parses "yyyy-mm-dd" (dateOnly) or "yyyy-mm-dd[( |T)hh:mm[:ss[.fraction]]]"
/// into a valid calendar date and time of day. False otherwise.
bool ParseTimeStampText(std::string_view text, bool dateOnly, SQL_TIMESTAMP_STRUCT& ts);

/// The length of std::to_chars' text (the shortest that reads as the same
/// double) of the double the `n` characters at `text` read as, when that text
/// is `text` itself or `text` without a ".0" at its end; 0 when it may be
/// neither (SQLite's text of a REAL is one of these for most values).
std::size_t ShortestOwnLength(const char* text, std::size_t n);

/// True when `text`, printf's "%.20e" form (trailing zeros may be dropped),
/// certainly reads as `candidate`; false when it does not or when that
/// cannot be told cheaply (zero, subnormals, exponents beyond +-27 from the
/// digits): std::from_chars decides then.
bool CompanionNames(std::string_view text, double candidate);

/// The one text form of dates, times and time stamps: "yyyy-mm-dd" (kind
/// fcDate), "hh:mm:ss" and the fraction (FormatFraction; kind fcTime), or
/// both separated by a space (any other kind). `midnightAsDate` is the one
/// difference between display and exact text: a time stamp at 00:00:00
/// shows its date alone (the form DateTimeToStr gives), while the exact text
/// that parameters and stored text take keeps the time.
String FormatTemporal(const SQL_TIMESTAMP_STRUCT& ts, std::uint16_t kind, bool midnightAsDate);

/// "yyyy-mm-dd hh:mm:ss" and the fraction: the form a time stamp held as
/// text is stored in.
String FormatTimeStampText(const SQL_TIMESTAMP_STRUCT& ts);

/// "yyyy-mm-dd", then " hh:mm:ss" and the fraction unless the time of day is
/// 00:00:00 (the form DateTimeToStr gives, with the whole fraction).
String FormatTimeStamp(const SQL_TIMESTAMP_STRUCT& ts);

}  // namespace velora::detail
