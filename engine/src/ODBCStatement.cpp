// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Statement handles: allocation, preparation, execution, parameter binding,
// row counts and release.
//
// The engine remembers, per statement it prepared, the text and the storage
// the binder filled with converted parameter values (they must live until the
// statement runs). Both go when the statement is freed through ODBCFreeStmt.
#include "velora/engine/ODBCStatement.h"

#include "velora/engine/FMTBCD.h"
#include "velora/engine/ODBCCursor.h"
#include "velora/rtl/DateUtils.h"

#include "EngineInternal.h"

#include <cstring>
#include <deque>
#include <mutex>
#include <unordered_map>

namespace velora {

namespace {

using namespace velora::odbc;
using detail::CheckStmt;

SQLPOINTER AsPointer(SQLULEN value) { return reinterpret_cast<SQLPOINTER>(static_cast<std::uintptr_t>(value)); }
SQLCHAR* Text(const String& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }

/// What the engine keeps per statement.
struct StmtInfo {
    String Text;                 ///< the text last prepared through the engine
    std::deque<String> Scratch;  ///< converted parameter values (stable addresses)
};

struct StmtRegistry {
    std::mutex Mu;
    std::unordered_map<SQLHSTMT, StmtInfo> Map;
};

StmtRegistry& Registry() {
    static StmtRegistry* r = new StmtRegistry;  // outlives static destruction
    return *r;
}

void RememberText(SQLHSTMT stmt, const String& text) {
    auto& r = Registry();
    std::lock_guard lock(r.Mu);
    r.Map[stmt].Text = text;
}

bool RememberedText(SQLHSTMT stmt, String& text) {
    auto& r = Registry();
    std::lock_guard lock(r.Mu);
    auto it = r.Map.find(stmt);
    if (it == r.Map.end() || it->second.Text.empty()) return false;
    text = it->second.Text;
    return true;
}

void Forget(SQLHSTMT stmt) {
    auto& r = Registry();
    std::lock_guard lock(r.Mu);
    r.Map.erase(stmt);
}

/// Replaces the statement's converted parameter values by a fresh list.
std::deque<String>& FreshScratch(SQLHSTMT stmt) {
    auto& r = Registry();
    std::lock_guard lock(r.Mu);
    auto& s = r.Map[stmt].Scratch;
    s.clear();
    return s;  // the deque is used by the binding thread only
}

/// psqlODBC reads a keyset cursor's rows by their "ctid", which a view has
/// not: execution of a ROWVER cursor over a view fails with 42703.
bool IsRowVersionOverView(const std::vector<DiagRecord>& records) {
    for (const auto& r : records)
        if (r.State == "42703" && r.Text.find("ctid") != String::npos) return true;
    return false;
}

/// Prepares the statement again with a read-only cursor. The driver manager
/// allows cursor attributes only on a statement that is not prepared, and a
/// statement returns to that state when an execution of a new text fails. A
/// text with one parameter marker more than the statement has bound is
/// refused by the driver before it reaches the server (07002), and changes
/// nothing.
bool PrepareReadOnly(SQLHSTMT stmt, const String& text) {
    SQLSMALLINT params = 0;
    if (!ODBCSucceeded(odbc::SQLNumParams(stmt, &params)) || params < 0) params = 0;
    String probe = "SELECT ?";
    for (int i = 0; i < params; ++i) probe += ", ?";
    SQLRETURN rc = odbc::SQLExecDirect(stmt, Text(probe), SQL_NTS);
    if (rc != SQL_ERROR) {
        odbc::SQLFreeStmt(stmt, SQL_CLOSE);
        return false;
    }
    if (!ODBCSucceeded(
            odbc::SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, AsPointer(SQL_CONCUR_READ_ONLY), SQL_IS_INTEGER)))
        return false;
    CheckStmt(stmt, odbc::SQLPrepare(stmt, Text(text), static_cast<SQLINTEGER>(text.size())));
    return true;
}

/// The SQL type a time of day is sent as. SQL_TYPE_TIME has no fraction:
/// drivers that follow the standard (MariaDB) refuse one with 22008, so a
/// time with milliseconds goes as character data, which every server converts.
SQLSMALLINT TimeTextType(const char* text, std::size_t length) {
    return std::string_view(text, length).find('.') == std::string_view::npos ? SQL_TYPE_TIME : SQL_VARCHAR;
}

constexpr char kBase36[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

/// Column size of the cursor column a parameter is named after (0 if none).
const TODBCFldDesc* MatchColumn(const TODBC* cursor, const TODBCFldDesc& d) {
    if (!cursor) return nullptr;
    String name = d.GetName();
    for (const auto& c : cursor->Columns)
        if (c.NameIs(name)) return &c;
    return nullptr;
}

bool IsCharOrBinarySQLType(SQLSMALLINT t) {
    return t == SQL_CHAR || t == SQL_VARCHAR || t == SQL_LONGVARCHAR || t == SQL_BINARY || t == SQL_VARBINARY ||
           t == SQL_LONGVARBINARY;
}

std::int32_t ReadInt32(const std::byte* p) {
    std::int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

/// How the binder reads and sends one parameter value.
enum class ParamForm {
    Text,             ///< characters; length from the slot or the terminator
    Bytes,            ///< binary; length from the slot or Len
    Fixed,            ///< integers, boolean, double: size from the C type
    UInt32,           ///< unsigned 32-bit, sent as a 64-bit integer (drivers read SQL_C_ULONG signed)
    DecimalText,      ///< a decimal held as its text (records)
    BCD,              ///< ODBCFMTBCD, sent as decimal text
    DayCount,         ///< 32-bit TTimeStamp day count, sent as a date
    DateStruct,       ///< SQL_DATE_STRUCT (date-only columns in records)
    TimeMs,           ///< 32-bit milliseconds of the day, sent as time text
    TimeText,         ///< time text (time-only columns in records)
    TimeStampStruct,  ///< SQL_TIMESTAMP_STRUCT (records)
    TimeStampMs,      ///< double of time-stamp milliseconds (query buffers)
    BlobRef,          ///< TODBCBlobRef
};

ParamForm FormOf(const TODBCFldDesc& d, std::uint16_t code) {
    switch (code) {
        case fcString:
            return ParamForm::Text;
        case fcBytes:
        case fcVarBytes:
            return ParamForm::Bytes;
        case fcFloat:
            return d.CType == SQL_C_CHAR ? ParamForm::DecimalText : ParamForm::Fixed;
        case fcBCD:
            return ParamForm::BCD;
        case fcUInt32:
            return ParamForm::UInt32;
        case fcDate:
            return ParamForm::DayCount;
        case fcTime:
            return ParamForm::TimeMs;
        case fcTimeStamp:
            if (d.CType == SQL_C_TYPE_DATE || d.CType == SQL_C_DATE) return ParamForm::DateStruct;
            if (d.CType == SQL_C_CHAR) return ParamForm::TimeText;
            return d.Len == 8 ? ParamForm::TimeStampMs : ParamForm::TimeStampStruct;
        case fcBlob:
        case fscMemo:
            return ParamForm::BlobRef;
        default:
            return ParamForm::Fixed;
    }
}

}  // namespace

SQLHSTMT ODBCAllocStmt(SQLHDBC dbc) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLRETURN rc = odbc::SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    if (!ODBCSucceeded(rc)) {
        ODBCCheckError(SQL_HANDLE_DBC, dbc, rc);
        // A failure the driver did not describe still leaves no statement.
        throw EODBCError("ODBC32 Error 00000 :statement allocation failed with return code " + IntToStr(rc) + "\r\n",
                         "00000", 0);
    }
    return stmt;
}

bool ODBCSetQueryTimeout(SQLHSTMT handle, SQLULEN seconds) {
    SQLRETURN rc = odbc::SQLSetStmtAttr(handle, SQL_ATTR_QUERY_TIMEOUT, AsPointer(seconds), SQL_IS_UINTEGER);
    if (!ODBCSucceeded(rc)) {
        // No limit is every driver's default: a driver that knows no
        // timeouts may refuse the attribute then.
        if (seconds != 0) ODBCCheckError(SQL_HANDLE_STMT, handle, rc);
        return seconds == 0;
    }
    SQLULEN kept = seconds;
    if (rc == SQL_SUCCESS_WITH_INFO &&
        !ODBCSucceeded(odbc::SQLGetStmtAttr(handle, SQL_ATTR_QUERY_TIMEOUT, &kept, sizeof kept, nullptr)))
        kept = 0;
    return kept == seconds;
}

String ODBCCursorName(SQLHSTMT handle) {
    // User-space addresses fit 12 base-36 digits (36^12 > 2^62), so the name
    // is at most 13 characters and distinct handles give distinct names.
    std::uintptr_t v = reinterpret_cast<std::uintptr_t>(handle);
    char digits[16];
    int n = 0;
    do {
        digits[n++] = kBase36[v % 36];
        v /= 36;
    } while (v != 0 && n < 12);
    String name = "S";
    while (n > 0) name += digits[--n];
    return name;
}

SQLRETURN ODBCPrepareStmt(SQLHSTMT handle, const String& text, ODBCOpenMode openMode, bool uniDirectional,
                          std::uint8_t cursorMode) {
    SQLRETURN rc = odbc::SQLSetStmtAttr(handle, SQL_ATTR_ROW_BIND_TYPE, AsPointer(SQL_BIND_BY_COLUMN), SQL_IS_INTEGER);
    if (rc != SQL_SUCCESS) ODBCCheckError(SQL_HANDLE_STMT, handle, rc);

    SQLULEN cursorType = SQL_CURSOR_KEYSET_DRIVEN;
    if (uniDirectional || cursorMode == cmForwardOnly)
        cursorType = SQL_CURSOR_FORWARD_ONLY;
    else if (cursorMode == cmCursorLibrary)
        cursorType = SQL_CURSOR_STATIC;
    CheckStmt(handle, odbc::SQLSetStmtAttr(handle, SQL_ATTR_CURSOR_TYPE, AsPointer(cursorType), SQL_IS_UINTEGER));

    SQLULEN concurrency = openMode == ODBCREADONLY ? SQL_CONCUR_READ_ONLY : SQL_CONCUR_ROWVER;
    CheckStmt(handle, odbc::SQLSetStmtAttr(handle, SQL_ATTR_CONCURRENCY, AsPointer(concurrency), SQL_IS_INTEGER));
    CheckStmt(handle, odbc::SQLSetStmtAttr(handle, SQL_ATTR_USE_BOOKMARKS, AsPointer(SQL_UB_OFF), SQL_IS_INTEGER));

    String name = ODBCCursorName(handle);
    rc = odbc::SQLSetCursorName(handle, Text(name), SQL_NTS);
    if (!ODBCSucceeded(rc)) {
        // A driver without cursor names (IM001) is no failure: only the
        // positioned statements use the name, and they are not sent there.
        if (!detail::AllRecordsAre(odbc::ReadDiagnostics(SQL_HANDLE_STMT, handle), "IM001"))
            ODBCCheckError(SQL_HANDLE_STMT, handle, rc);
    }
    return ODBCPrepareText(handle, text);
}

SQLRETURN ODBCPrepareText(SQLHSTMT handle, const String& text) {
    SQLRETURN rc = CheckStmt(handle, odbc::SQLPrepare(handle, Text(text), static_cast<SQLINTEGER>(text.size())));
    RememberText(handle, text);
    return rc;
}

SQLRETURN ODBCExecute(SQLHSTMT handle, std::vector<DiagRecord>* warnings) {
    SQLRETURN rc = odbc::SQLExecute(handle);
    if (rc == SQL_SUCCESS || rc == SQL_NO_DATA || rc == SQL_NEED_DATA) return rc;

    if (rc == SQL_SUCCESS_WITH_INFO) {
        std::vector<DiagRecord> records = odbc::ReadDiagnostics(SQL_HANDLE_STMT, handle);
        if (warnings) *warnings = records;
        // A cursor attribute the driver substituted: the cursor works.
        if (records.empty() || detail::AllRecordsAre(records, "01S02")) return rc;
        // A statement without a result has run; its notices are no failure.
        SQLSMALLINT cols = 0;
        if (ODBCSucceeded(odbc::SQLNumResultCols(handle, &cols)) && cols == 0) return rc;
        detail::RaiseDiagnostics(records);
    }

    if (rc == SQL_ERROR) {
        std::vector<DiagRecord> records = odbc::ReadDiagnostics(SQL_HANDLE_STMT, handle);
        String text;
        SQLULEN concurrency = SQL_CONCUR_READ_ONLY;
        if (IsRowVersionOverView(records) && RememberedText(handle, text) &&
            ODBCSucceeded(odbc::SQLGetStmtAttr(handle, SQL_ATTR_CONCURRENCY, &concurrency, SQL_IS_UINTEGER, nullptr)) &&
            concurrency != SQL_CONCUR_READ_ONLY && PrepareReadOnly(handle, text))
            return ODBCExecute(handle, warnings);
        if (records.empty()) ODBCCheckError(SQL_HANDLE_STMT, handle, rc);
        detail::RaiseDiagnostics(records);
    }
    ODBCCheckError(SQL_HANDLE_STMT, handle, rc);
    return rc;
}

SQLSMALLINT FldTypeToCType(std::uint16_t fldType) {
    switch (fldType) {
        case fcUnknown:
            return SQL_C_DEFAULT;
        case fcString:
            return SQL_C_CHAR;
        case fcDate:
            return SQL_C_TYPE_DATE;
        case fcBlob:
            return SQL_C_BINARY;
        case fcBoolean:
            return SQL_C_BIT;
        case fcInt16:
            return SQL_C_SSHORT;
        case fcInt32:
            return SQL_C_SLONG;
        case fcFloat:
            return SQL_C_DOUBLE;
        case fcBCD:
            return SQL_C_CHAR;
        case fcBytes:
            return SQL_C_BINARY;
        case fcTime:
            return SQL_C_CHAR;
        case fcTimeStamp:
            return SQL_C_TYPE_TIMESTAMP;
        case fcUInt16:
            return SQL_C_USHORT;
        case fcUInt32:
            return SQL_C_SBIGINT;
        case fcVarBytes:
            return SQL_C_BINARY;
        case fscMemo:
            return SQL_C_CHAR;
        default:
            return 0;
    }
}

SQLSMALLINT FldTypeToSQLType(std::uint16_t fldType) {
    switch (fldType) {
        case fcString:
            return SQL_VARCHAR;
        case fcDate:
            return SQL_TYPE_DATE;
        case fcBlob:
            return SQL_LONGVARBINARY;
        case fcBoolean:
            return SQL_BIT;
        case fcInt16:
            return SQL_SMALLINT;
        case fcInt32:
            return SQL_INTEGER;
        case fcFloat:
            return SQL_DOUBLE;
        case fcBCD:
            return SQL_DECIMAL;
        case fcBytes:
            return SQL_BINARY;
        case fcTime:
            return SQL_TYPE_TIME;
        case fcTimeStamp:
            return SQL_TYPE_TIMESTAMP;
        case fcUInt16:
            return SQL_INTEGER;
        case fcUInt32:
            return SQL_BIGINT;
        case fcVarBytes:
            return SQL_VARBINARY;
        case fscMemo:
            return SQL_LONGVARCHAR;
        default:
            return 0;
    }
}

SQLRETURN ODBCBindParams(SQLHSTMT handle, int count, const TODBCFldDesc* descs, const void* buffer, const TODBC* cursor,
                         SQLLEN* indicators) {
    // Earlier bindings may point into storage about to be replaced.
    CheckStmt(handle, odbc::SQLFreeStmt(handle, SQL_RESET_PARAMS));
    std::deque<String>& scratch = FreshScratch(handle);
    auto keep = [&](String value) -> String& { return scratch.emplace_back(std::move(value)); };
    static char emptyValue[1] = {0};
    const auto* base = static_cast<const std::byte*>(buffer);
    SQLRETURN rc = SQL_SUCCESS;

    for (int k = 1; k <= count; ++k) {
        const TODBCFldDesc& d = descs[k - 1];
        SQLLEN& slot = indicators[k - 1];
        const std::byte* value = base + d.Offset;
        const bool sized = d.NullOffset > d.Offset;  // the value's length is in its own slot
        const std::uint16_t code = d.SubType == fscMemo ? static_cast<std::uint16_t>(fscMemo) : d.FldType;
        const ParamForm form = FormOf(d, code);

        SQLSMALLINT cType = FldTypeToCType(code);
        SQLSMALLINT sqlType = FldTypeToSQLType(code);
        const TODBCFldDesc* column = MatchColumn(cursor, d);
        switch (form) {
            case ParamForm::DecimalText:
                cType = SQL_C_CHAR;
                sqlType = SQL_DECIMAL;
                if (column) {
                    SQLSMALLINT t = cursor->SQLTypes[column->FieldNo];
                    if (t == SQL_NUMERIC || t == SQL_DECIMAL) sqlType = t;
                }
                break;
            case ParamForm::DateStruct:
                cType = SQL_C_TYPE_DATE;
                sqlType = SQL_TYPE_DATE;
                break;
            case ParamForm::TimeText:
                cType = SQL_C_CHAR;
                sqlType = SQL_TYPE_TIME;
                break;
            default:
                break;
        }

        // NULL: the descriptor's own slot, the caller's slot, or an empty
        // string or binary value.
        bool isNull = slot == SQL_NULL_DATA || (sized && ODBCGetIndicator(buffer, d) < 0) ||
                      ((form == ParamForm::Text || form == ParamForm::Bytes) && d.Len == 0);

        SQLULEN columnSize = 0;
        if (column && IsCharOrBinarySQLType(sqlType)) columnSize = column->Units1;
        if (column && cType == SQL_C_CHAR && IsCharOrBinarySQLType(sqlType)) ++columnSize;  // the terminator
        SQLSMALLINT digits = 0;
        SQLPOINTER data = const_cast<std::byte*>(value);
        SQLLEN bufferLength = d.Len;
        // Length of a text held in the record: its slot, else up to its terminator.
        auto textLength = [&]() -> SQLLEN {
            std::int32_t len = sized ? ODBCGetIndicator(buffer, d)
                                     : static_cast<std::int32_t>(strnlen(reinterpret_cast<const char*>(value), d.Len));
            return len > d.Len ? d.Len : len;
        };

        if (isNull) {
            slot = SQL_NULL_DATA;
            if (form == ParamForm::BlobRef) data = emptyValue, bufferLength = 0;
        } else {
            switch (form) {
                case ParamForm::Text:
                    slot = textLength();
                    if (!column) columnSize = static_cast<SQLULEN>(slot > 0 ? slot : 1);
                    break;
                case ParamForm::Bytes: {
                    std::int32_t len = sized ? ODBCGetIndicator(buffer, d) : d.Len;
                    slot = len > d.Len ? d.Len : len;
                    if (!column) columnSize = static_cast<SQLULEN>(slot > 0 ? slot : 1);
                    break;
                }
                case ParamForm::DecimalText:
                    slot = textLength();
                    columnSize = d.Len > 3 ? static_cast<SQLULEN>(d.Len - 3) : 1;
                    digits = d.Units2 > 0 ? d.Units2 : 0;
                    break;
                case ParamForm::BCD: {
                    ODBCFMTBCD bcd;
                    std::memcpy(&bcd, value, sizeof bcd);
                    String& text = keep(ODBCFMTBCDToText(bcd));
                    data = text.data();
                    bufferLength = static_cast<SQLLEN>(text.size() + 1);
                    slot = text.empty() ? SQL_NULL_DATA : static_cast<SQLLEN>(text.size());
                    columnSize = bcd.Precision ? bcd.Precision : 1;
                    digits = static_cast<SQLSMALLINT>(bcd.SignSpecialPlaces & 0x3F);
                    break;
                }
                case ParamForm::DayCount: {
                    int y, m, dd;
                    if (!detail::DecodeDayCount(ReadInt32(value), y, m, dd))
                        throw EConvertError("Parameter '" + d.GetName() + "' holds no valid date");
                    SQL_DATE_STRUCT ds{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(m),
                                       static_cast<SQLUSMALLINT>(dd)};
                    String& s = keep(String(reinterpret_cast<const char*>(&ds), sizeof ds));
                    data = s.data();
                    bufferLength = sizeof ds;
                    slot = 0;
                    columnSize = 10;
                    break;
                }
                case ParamForm::DateStruct:
                    bufferLength = sizeof(SQL_DATE_STRUCT);
                    slot = 0;
                    columnSize = 10;
                    break;
                case ParamForm::TimeMs: {
                    std::int32_t ms = ReadInt32(value);
                    if (ms < 0 || ms >= MSecsPerDay)
                        throw EConvertError("Parameter '" + d.GetName() + "' holds no valid time");
                    String& s = keep(detail::FormatTimeText(ms / 3600000, ms / 60000 % 60, ms / 1000 % 60, ms % 1000));
                    data = s.data();
                    bufferLength = static_cast<SQLLEN>(s.size() + 1);
                    slot = static_cast<SQLLEN>(s.size());
                    columnSize = s.size();
                    sqlType = TimeTextType(s.data(), s.size());
                    break;
                }
                case ParamForm::TimeText:
                    slot = textLength();
                    columnSize = static_cast<SQLULEN>(slot);
                    sqlType = TimeTextType(reinterpret_cast<const char*>(value), static_cast<std::size_t>(slot));
                    break;
                case ParamForm::TimeStampMs: {
                    double msecs;
                    std::memcpy(&msecs, value, sizeof msecs);
                    int y, mo, dd, h, mi, s, ms;
                    if (!detail::DecodeMSecs(msecs, y, mo, dd, h, mi, s, ms))
                        throw EConvertError("Parameter '" + d.GetName() + "' holds no valid date and time");
                    SQL_TIMESTAMP_STRUCT ts{static_cast<SQLSMALLINT>(y),
                                            static_cast<SQLUSMALLINT>(mo),
                                            static_cast<SQLUSMALLINT>(dd),
                                            static_cast<SQLUSMALLINT>(h),
                                            static_cast<SQLUSMALLINT>(mi),
                                            static_cast<SQLUSMALLINT>(s),
                                            static_cast<SQLUINTEGER>(ms) * 1000000u};
                    String& st = keep(String(reinterpret_cast<const char*>(&ts), sizeof ts));
                    data = st.data();
                    bufferLength = sizeof ts;
                    slot = 0;
                    columnSize = 23;
                    digits = 3;
                    break;
                }
                case ParamForm::TimeStampStruct:
                    bufferLength = sizeof(SQL_TIMESTAMP_STRUCT);
                    slot = 0;
                    columnSize = 23;
                    digits = 3;
                    break;
                case ParamForm::BlobRef: {
                    TODBCBlobRef ref;
                    std::memcpy(&ref, value, sizeof ref);
                    data = ref.Data ? const_cast<void*>(ref.Data) : emptyValue;
                    bufferLength = ref.Size > 0 ? ref.Size : 0;
                    slot = ref.Size > 0 ? ref.Size : 0;
                    if (!columnSize) columnSize = static_cast<SQLULEN>(ref.Size > 0 ? ref.Size : 1);
                    break;
                }
                case ParamForm::UInt32: {
                    std::uint32_t u;
                    std::memcpy(&u, value, sizeof u);
                    const auto wide = static_cast<std::int64_t>(u);
                    String& s = keep(String(reinterpret_cast<const char*>(&wide), sizeof wide));
                    data = s.data();
                    bufferLength = sizeof wide;
                    slot = 0;
                    break;
                }
                case ParamForm::Fixed:
                    // The driver takes the size of fixed-length values from their type.
                    slot = 0;
                    break;
            }
        }

        rc = odbc::SQLBindParameter(handle, static_cast<SQLUSMALLINT>(k), SQL_PARAM_INPUT, cType, sqlType, columnSize,
                                    digits, data, bufferLength, &slot);
        if (!ODBCSucceeded(rc)) {
            ODBCCheckError(SQL_HANDLE_STMT, handle, rc);
            return rc;
        }
    }
    return rc;
}

int ODBCRowCount(SQLHSTMT handle, std::int32_t& count) {
    if (handle == SQL_NULL_HSTMT) return -1;
    SQLLEN n = 0;
    odbc::SQLRowCount(handle, &n);
    if (n > INT32_MAX) n = INT32_MAX;
    if (n < INT32_MIN) n = INT32_MIN;
    count = static_cast<std::int32_t>(n);
    return 0;
}

SQLRETURN ODBCExecDirect(SQLHDBC dbc, const String& text) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLRETURN rc = odbc::SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    if (!ODBCSucceeded(rc)) return rc;
    rc = odbc::SQLExecDirect(stmt, Text(text), static_cast<SQLINTEGER>(text.size()));
    odbc::SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return rc;
}

SQLRETURN ODBCFreeStmt(SQLHSTMT handle) {
    Forget(handle);
    SQLRETURN rc = odbc::SQLFreeHandle(SQL_HANDLE_STMT, handle);
    if (!ODBCSucceeded(rc)) ODBCCheckError(SQL_HANDLE_STMT, handle, rc);
    return rc;
}

}  // namespace velora
