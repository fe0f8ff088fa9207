// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// ODBCBindParams: statement parameters from descriptors and a value buffer.
// Each parameter's value form (ParamForm) has one small function that reads
// the value and answers what the single SQLBindParameter call needs (C type,
// SQL type, column size, digits, data pointer, buffer length and the
// length/indicator); values the driver cannot take as they lie (day counts,
// milliseconds, packed decimals) are converted into storage kept with the
// statement (detail::FreshParamScratch).
#include "velora/engine/FMTBCD.h"
#include "velora/engine/ODBCCursor.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/engine/SQL.h"
#include "velora/rtl/DateUtils.h"

#include "EngineInternal.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

namespace velora {

namespace {

using detail::CheckStmt;

char gEmptyValue[1] = {0};

/// How the binder reads and sends one parameter value.
enum class ParamForm {
    Text,             ///< characters; length from the slot or the terminator
    Bytes,            ///< binary; length from the slot or Len
    Fixed,            ///< integers, boolean, double: size from the C type
    UInt32,           ///< unsigned 32-bit, sent as a 64-bit integer (drivers read SQL_C_ULONG signed)
    DecimalText,      ///< a decimal held as its text (records)
    BCD,              ///< ODBCFMTBCD, sent as decimal text
    DayCount,         ///< 32-bit day count, sent as a date
    DateStruct,       ///< SQL_DATE_STRUCT (date-only columns in records)
    TimeMs,           ///< 32-bit milliseconds of the day, sent as time text
    TimeText,         ///< time text (time-only columns in records)
    TimeStampStruct,  ///< SQL_TIMESTAMP_STRUCT (records)
    TimeStampMs,      ///< double of time-stamp milliseconds (query buffers)
    BlobRef,          ///< TODBCBlobRef
    ExactText,        ///< a value's exact text, sent as the SQL type of its code (fscExactText)
};

ParamForm FormOf(const TODBCFldDesc& d, std::uint16_t code) {
    if (d.SubType == fscExactText) return ParamForm::ExactText;
    // A type the engine's table reads as text in a column (DeclaredNames)
    // goes as text when its value is held so, or lies in a query's buffer
    // in the field's buffer form (text).
    if (ODBCTypeFacts(code).TextUnits != 0 && (d.CType == SQL_C_CHAR || d.CType == 0)) return ParamForm::Text;
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
        // Record columns carry the C type they are held in (CType); the
        // query's parameter buffers hold the fields' buffer forms (CType 0).
        case fcDate:
            return d.CType == SQL_C_TYPE_DATE || d.CType == SQL_C_DATE ? ParamForm::DateStruct : ParamForm::DayCount;
        case fcTime:
            return d.CType == SQL_C_CHAR ? ParamForm::TimeText : ParamForm::TimeMs;
        case fcTimeStamp:
            if (d.CType == SQL_C_CHAR) return ParamForm::Text;  // held as text (SQLite)
            return d.Len == 8 ? ParamForm::TimeStampMs : ParamForm::TimeStampStruct;
        case fcBlob:
        case fscMemo:
            return ParamForm::BlobRef;
        default:
            return ParamForm::Fixed;
    }
}

/// The SQL type a time of day is sent as. SQL_TYPE_TIME has no fraction:
/// drivers that follow the standard (MariaDB) refuse one with 22008, so a
/// time with milliseconds goes as character data, which every server converts.
SQLSMALLINT TimeTextType(const char* text, std::size_t length) {
    return std::string_view(text, length).find('.') == std::string_view::npos ? SQL_TYPE_TIME : SQL_VARCHAR;
}

/// The cursor column a parameter is named after, or nil.
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

/// One parameter's value as the binder finds it.
struct ParamSource {
    const TODBCFldDesc& Desc;
    const void* Record;  ///< the whole buffer (indicator slots are read from it)
    const std::byte* Value;
    bool Sized;                  ///< the value's length is in its own indicator slot
    const TODBCFldDesc* Column;  ///< the cursor column of the same name, or nil
    std::deque<String>& Scratch;

    /// Keeps a converted value with the statement.
    String& Keep(String value) const { return Scratch.emplace_back(std::move(value)); }
    template <typename T>
    String& KeepStruct(const T& v) const {
        return Keep(String(reinterpret_cast<const char*>(&v), sizeof v));
    }
    /// Length of a text held in the record: its slot, else up to its terminator.
    SQLLEN TextLength() const {
        std::int32_t len = Sized ? ODBCGetIndicator(Record, Desc)
                                 : static_cast<std::int32_t>(strnlen(reinterpret_cast<const char*>(Value), Desc.Len));
        return len > Desc.Len ? Desc.Len : len;
    }
};

/// What the one SQLBindParameter call takes.
struct ParamBinding {
    SQLSMALLINT CType = 0;
    SQLSMALLINT SQLType = 0;
    SQLULEN ColumnSize = 0;
    SQLSMALLINT Digits = 0;
    SQLPOINTER Data = nullptr;
    SQLLEN BufferLength = 0;
    SQLLEN Slot = 0;

    void Point(String& s, SQLLEN length) {
        Data = s.data();
        BufferLength = length;
    }
};

void BindText(const ParamSource& p, ParamBinding& b) {
    b.Slot = p.TextLength();
    if (!p.Column) b.ColumnSize = static_cast<SQLULEN>(b.Slot > 0 ? b.Slot : 1);
}

void BindBytes(const ParamSource& p, ParamBinding& b) {
    const std::int32_t len = p.Sized ? ODBCGetIndicator(p.Record, p.Desc) : p.Desc.Len;
    b.Slot = len > p.Desc.Len ? p.Desc.Len : len;
    if (!p.Column) b.ColumnSize = static_cast<SQLULEN>(b.Slot > 0 ? b.Slot : 1);
}

void BindDecimalText(const ParamSource& p, ParamBinding& b) {
    b.Slot = p.TextLength();
    b.ColumnSize = p.Desc.Len > 3 ? static_cast<SQLULEN>(p.Desc.Len - 3) : 1;
    b.Digits = p.Desc.Units2 > 0 ? p.Desc.Units2 : 0;
}

void BindBCD(const ParamSource& p, ParamBinding& b) {
    ODBCFMTBCD bcd;
    std::memcpy(&bcd, p.Value, sizeof bcd);
    String& text = p.Keep(ODBCFMTBCDToText(bcd));
    b.Point(text, static_cast<SQLLEN>(text.size() + 1));
    b.Slot = text.empty() ? SQL_NULL_DATA : static_cast<SQLLEN>(text.size());
    b.ColumnSize = bcd.Precision ? bcd.Precision : 1;
    b.Digits = static_cast<SQLSMALLINT>(bcd.SignSpecialPlaces & 0x3F);
}

void BindDayCount(const ParamSource& p, ParamBinding& b) {
    int y, m, dd;
    if (!detail::DecodeDayCount(ReadInt32(p.Value), y, m, dd))
        throw EConvertError("Parameter '" + p.Desc.GetName() + "' holds no valid date");
    SQL_DATE_STRUCT ds{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(m), static_cast<SQLUSMALLINT>(dd)};
    b.Point(p.KeepStruct(ds), sizeof ds);
    b.Slot = 0;
    b.ColumnSize = 10;
}

void BindDateStruct(ParamBinding& b) {
    b.BufferLength = sizeof(SQL_DATE_STRUCT);
    b.Slot = 0;
    b.ColumnSize = 10;
}

void BindTimeMs(const ParamSource& p, ParamBinding& b) {
    const std::int32_t ms = ReadInt32(p.Value);
    if (ms < 0 || ms >= MSecsPerDay) throw EConvertError("Parameter '" + p.Desc.GetName() + "' holds no valid time");
    detail::TimeParts t;
    t.Hour = ms / 3600000;
    t.Minute = ms / 60000 % 60;
    t.Second = ms / 1000 % 60;
    t.Nanos = static_cast<std::uint32_t>(ms % 1000) * 1000000u;
    String& s = p.Keep(detail::FormatTimeParts(t));
    b.Point(s, static_cast<SQLLEN>(s.size() + 1));
    b.Slot = static_cast<SQLLEN>(s.size());
    b.ColumnSize = s.size();
    b.SQLType = TimeTextType(s.data(), s.size());
}

void BindTimeText(const ParamSource& p, ParamBinding& b) {
    b.Slot = p.TextLength();
    b.ColumnSize = static_cast<SQLULEN>(b.Slot);
    b.SQLType = TimeTextType(reinterpret_cast<const char*>(p.Value), static_cast<std::size_t>(b.Slot));
}

void BindTimeStampMs(const ParamSource& p, ParamBinding& b) {
    double msecs;
    std::memcpy(&msecs, p.Value, sizeof msecs);
    int y, mo, dd, h, mi, s, ms;
    if (!detail::DecodeMSecs(msecs, y, mo, dd, h, mi, s, ms))
        throw EConvertError("Parameter '" + p.Desc.GetName() + "' holds no valid date and time");
    SQL_TIMESTAMP_STRUCT ts{static_cast<SQLSMALLINT>(y),
                            static_cast<SQLUSMALLINT>(mo),
                            static_cast<SQLUSMALLINT>(dd),
                            static_cast<SQLUSMALLINT>(h),
                            static_cast<SQLUSMALLINT>(mi),
                            static_cast<SQLUSMALLINT>(s),
                            static_cast<SQLUINTEGER>(ms) * 1000000u};
    b.Point(p.KeepStruct(ts), sizeof ts);
    b.Slot = 0;
    b.ColumnSize = 23;
    b.Digits = 3;
}

/// A time stamp held in a record, fraction to the nanosecond: sent with as
/// many digits of fraction as the value needs (0, 3, 6 or 9), since drivers
/// cut the fraction to the digits the binding names.
void BindTimeStampStruct(const ParamSource& p, ParamBinding& b) {
    SQL_TIMESTAMP_STRUCT ts;
    std::memcpy(&ts, p.Value, sizeof ts);
    b.BufferLength = sizeof(SQL_TIMESTAMP_STRUCT);
    b.Slot = 0;
    b.Digits = ts.fraction == 0 ? 0 : ts.fraction % 1000000u == 0 ? 3 : ts.fraction % 1000u == 0 ? 6 : 9;
    b.ColumnSize = b.Digits == 0 ? 19 : 20u + static_cast<SQLULEN>(b.Digits);
}

void BindBlobRef(const ParamSource& p, ParamBinding& b) {
    TODBCBlobRef ref;
    std::memcpy(&ref, p.Value, sizeof ref);
    b.Data = ref.Data ? const_cast<void*>(ref.Data) : gEmptyValue;
    b.BufferLength = ref.Size > 0 ? ref.Size : 0;
    b.Slot = ref.Size > 0 ? ref.Size : 0;
    if (!b.ColumnSize) b.ColumnSize = static_cast<SQLULEN>(ref.Size > 0 ? ref.Size : 1);
}

void BindUInt32(const ParamSource& p, ParamBinding& b) {
    std::uint32_t u;
    std::memcpy(&u, p.Value, sizeof u);
    const auto wide = static_cast<std::int64_t>(u);
    b.Point(p.KeepStruct(wide), sizeof wide);
    b.Slot = 0;
}

/// A value given as its exact text: the decimal's digits and scale, or the
/// time's fraction digits, travel with it, so the driver neither rounds nor
/// cuts them. A time with a fraction goes as character data (TimeTextType).
void BindExactText(const ParamSource& p, std::uint16_t code, ParamBinding& b) {
    const char* text = reinterpret_cast<const char*>(p.Value);
    const std::size_t length = strnlen(text, p.Desc.Len);
    b.Slot = static_cast<SQLLEN>(length);
    const std::string_view v(text, length);
    const std::size_t point = v.find('.');
    const std::size_t fraction = point == std::string_view::npos ? 0 : length - point - 1;
    b.ColumnSize = length > 0 ? length : 1;
    b.Digits = static_cast<SQLSMALLINT>(fraction);
    if (code == fcBCD) {
        std::size_t digits = 0;
        for (char c : v) digits += c >= '0' && c <= '9';
        b.ColumnSize = digits > 0 ? digits : 1;
    } else if (code == fcTime) {
        b.SQLType = TimeTextType(text, length);
    }
}

/// The C and SQL types of a form, before the value is looked at.
void TypesOf(const ParamSource& p, ParamForm form, std::uint16_t code, const TODBC* cursor, ParamBinding& b) {
    b.CType = FldTypeToCType(code);
    b.SQLType = FldTypeToSQLType(code);
    // A 32-bit integer column's value is held in 64 bits (see MapSQLType):
    // sent whole, the driver refuses what its column cannot take.
    if (code == fcInt32 && p.Desc.CType == SQL_C_SBIGINT) b.CType = SQL_C_SBIGINT;
    switch (form) {
        case ParamForm::Text:
            b.CType = SQL_C_CHAR;
            b.SQLType = SQL_VARCHAR;  // a time stamp or GUID held as text too
            break;
        case ParamForm::DecimalText:
            b.CType = SQL_C_CHAR;
            b.SQLType = SQL_DECIMAL;
            if (p.Column) {
                const SQLSMALLINT t = cursor->SQLTypes[p.Column->FieldNo];
                if (t == SQL_NUMERIC || t == SQL_DECIMAL) b.SQLType = t;
            }
            break;
        case ParamForm::DateStruct:
            b.CType = SQL_C_TYPE_DATE;
            b.SQLType = SQL_TYPE_DATE;
            break;
        case ParamForm::TimeText:
            b.CType = SQL_C_CHAR;
            b.SQLType = SQL_TYPE_TIME;
            break;
        case ParamForm::ExactText:
            b.CType = SQL_C_CHAR;
            break;
        default:
            break;
    }
}

/// Everything SQLBindParameter needs for one parameter.
ParamBinding BindingOf(const ParamSource& p, const TODBC* cursor, SQLLEN callerSlot) {
    const TODBCFldDesc& d = p.Desc;
    const std::uint16_t code = d.SubType == fscMemo ? static_cast<std::uint16_t>(fscMemo) : d.FldType;
    const ParamForm form = FormOf(d, code);
    ParamBinding b;
    TypesOf(p, form, code, cursor, b);
    if (p.Column && IsCharOrBinarySQLType(b.SQLType)) b.ColumnSize = p.Column->Units1;
    if (p.Column && b.CType == SQL_C_CHAR && IsCharOrBinarySQLType(b.SQLType)) ++b.ColumnSize;  // the terminator
    b.Data = const_cast<std::byte*>(p.Value);
    b.BufferLength = d.Len;

    // NULL: the descriptor's own slot, the caller's slot, or an empty string
    // or binary value.
    const bool isNull = callerSlot == SQL_NULL_DATA || (p.Sized && ODBCGetIndicator(p.Record, d) < 0) ||
                        ((form == ParamForm::Text || form == ParamForm::Bytes) && d.Len == 0);
    if (isNull) {
        b.Slot = SQL_NULL_DATA;
        if (form == ParamForm::BlobRef) b.Data = gEmptyValue, b.BufferLength = 0;
        return b;
    }
    switch (form) {
        case ParamForm::Text:
            BindText(p, b);
            break;
        case ParamForm::Bytes:
            BindBytes(p, b);
            break;
        case ParamForm::DecimalText:
            BindDecimalText(p, b);
            break;
        case ParamForm::BCD:
            BindBCD(p, b);
            break;
        case ParamForm::DayCount:
            BindDayCount(p, b);
            break;
        case ParamForm::DateStruct:
            BindDateStruct(b);
            break;
        case ParamForm::TimeMs:
            BindTimeMs(p, b);
            break;
        case ParamForm::TimeText:
            BindTimeText(p, b);
            break;
        case ParamForm::TimeStampMs:
            BindTimeStampMs(p, b);
            break;
        case ParamForm::TimeStampStruct:
            BindTimeStampStruct(p, b);
            break;
        case ParamForm::BlobRef:
            BindBlobRef(p, b);
            break;
        case ParamForm::UInt32:
            BindUInt32(p, b);
            break;
        case ParamForm::ExactText:
            BindExactText(p, code, b);
            break;
        case ParamForm::Fixed:
            b.Slot = 0;  // the driver takes the size of fixed-length values from their type
            break;
    }
    return b;
}

bool IsOutputDir(std::uint8_t dir) { return dir == paramOUT || dir == paramINOUT || dir == paramRET; }

SQLSMALLINT IODirection(std::uint8_t dir) {
    if (dir == paramINOUT) return SQL_PARAM_INPUT_OUTPUT;
    return dir == paramOUT || dir == paramRET ? SQL_PARAM_OUTPUT : SQL_PARAM_INPUT;
}

/// Bytes an output value of a C type needs; text and binary values get a
/// large buffer, decimals and times (held as text) a short one.
std::size_t OutputSize(const ParamBinding& b) {
    switch (b.CType) {
        case SQL_C_BIT:
            return 1;
        case SQL_C_SSHORT:
        case SQL_C_USHORT:
            return 2;
        case SQL_C_SLONG:
            return 4;
        case SQL_C_SBIGINT:
        case SQL_C_DOUBLE:
            return 8;
        case SQL_C_TYPE_DATE:
            return sizeof(SQL_DATE_STRUCT);
        case SQL_C_TYPE_TIMESTAMP:
            return sizeof(SQL_TIMESTAMP_STRUCT);
        case SQL_C_BINARY:
            return kParamOutputBufferSize;
        default:
            break;
    }
    const bool shortText = b.SQLType == SQL_DECIMAL || b.SQLType == SQL_NUMERIC || b.SQLType == SQL_TYPE_TIME;
    return shortText ? 64 : kParamOutputBufferSize + 1;  // room for the terminator
}

/// Moves a parameter bound for output or input-output into a buffer of its
/// own that can take the answer, and notes where the answer lands.
void BindOutput(const ParamSource& p, int number, std::uint8_t dir, ParamBinding& b, SQLLEN& slot,
                std::vector<detail::ParamOutputSlot>& outputs) {
    const std::size_t size = OutputSize(b);
    String& buffer = p.Keep(String(size, '\0'));
    const bool text = b.CType == SQL_C_CHAR, binary = b.CType == SQL_C_BINARY;
    if (dir == paramINOUT && b.Slot != SQL_NULL_DATA && b.Data) {
        std::size_t length = text || binary ? static_cast<std::size_t>(b.Slot) : size;
        if (text && b.Slot == SQL_NTS) length = strnlen(static_cast<const char*>(b.Data), static_cast<std::size_t>(b.BufferLength));
        if (length > (text ? size - 1 : size))
            throw EConvertError("Parameter '" + p.Desc.GetName() + "' holds a value longer than its output buffer of " +
                                std::to_string(size) + " bytes");
        if (!text && !binary && b.BufferLength > 0) length = std::min(length, static_cast<std::size_t>(b.BufferLength));
        std::memcpy(buffer.data(), b.Data, length);
        if (text || binary) b.Slot = static_cast<SQLLEN>(length);
    } else if (dir != paramINOUT) {
        b.Slot = 0;  // never SQL_NULL_DATA (see ODBCBindParams)
    }
    b.Data = buffer.data();
    b.BufferLength = static_cast<SQLLEN>(size);
    if (text || binary) b.ColumnSize = text ? size - 1 : size;
    if (b.CType == SQL_C_TYPE_TIMESTAMP) b.ColumnSize = 29, b.Digits = 9;
    if (b.CType == SQL_C_TYPE_DATE) b.ColumnSize = 10;
    if (b.SQLType == SQL_DECIMAL || b.SQLType == SQL_NUMERIC) b.ColumnSize = 38, b.Digits = b.Digits ? b.Digits : 10;
    outputs.push_back({number, b.CType, &buffer, &slot});
}

}  // namespace

bool ODBCParamOutputValue(SQLHSTMT handle, int number, TODBCParamOutput& out) {
    for (const detail::ParamOutputSlot& o : detail::ParamOutputs(handle)) {
        if (o.Number != number) continue;
        out = TODBCParamOutput{};
        out.CType = o.CType;
        const SQLLEN length = *o.Slot;
        if (length == SQL_NULL_DATA) return true;
        out.Length = length;
        out.IsNull = false;
        std::size_t room = o.Buffer->size();
        if (o.CType == SQL_C_CHAR) --room;
        std::size_t n = room;
        if (o.CType == SQL_C_CHAR || o.CType == SQL_C_BINARY) {
            if (length == SQL_NO_TOTAL || length > static_cast<SQLLEN>(room))
                out.Truncated = true;
            else if (length >= 0)
                n = static_cast<std::size_t>(length);
            if (o.CType == SQL_C_CHAR) n = std::min(n, strnlen(o.Buffer->data(), room));
        }
        out.Data.assign(o.Buffer->data(), n);
        return true;
    }
    return false;
}

SQLRETURN ODBCBindParams(SQLHSTMT handle, int count, const TODBCFldDesc* descs, const void* buffer, const TODBC* cursor,
                         SQLLEN* indicators) {
    // Earlier bindings may point into storage about to be replaced.
    CheckStmt(handle, odbc::SQLFreeStmt(handle, SQL_RESET_PARAMS));
    std::deque<String>& scratch = detail::FreshParamScratch(handle);
    std::vector<detail::ParamOutputSlot>& outputs = detail::ParamOutputs(handle);
    const auto* base = static_cast<const std::byte*>(buffer);
    SQLRETURN rc = SQL_SUCCESS;
    for (int k = 1; k <= count; ++k) {
        const TODBCFldDesc& d = descs[k - 1];
        SQLLEN& slot = indicators[k - 1];
        const ParamSource source{d, buffer, base + d.Offset, d.NullOffset > d.Offset, MatchColumn(cursor, d), scratch};
        ParamBinding b = BindingOf(source, cursor, d.ParamDir == paramOUT || d.ParamDir == paramRET ? 0 : slot);
        if (IsOutputDir(d.ParamDir)) BindOutput(source, k, d.ParamDir, b, slot, outputs);
        slot = b.Slot;
        rc = odbc::SQLBindParameter(handle, static_cast<SQLUSMALLINT>(k), IODirection(d.ParamDir), b.CType, b.SQLType,
                                    b.ColumnSize, b.Digits, b.Data, b.BufferLength, &slot);
        if (!ODBCSucceeded(rc)) {
            ODBCCheckError(SQL_HANDLE_STMT, handle, rc);
            return rc;
        }
    }
    return rc;
}

}  // namespace velora
