// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBC::GetField and TODBC::PutField: field values between the record and
// the dataset's buffer forms, one small reader and one small writer per form.
//
// Buffer forms by type: string, the zero-terminated text (at most Len bytes
// with the terminator); boolean 1 byte; 16-bit integer 2 bytes; 32-bit
// integer 4 bytes; 64-bit integer 8 bytes; float an 8-byte double (decimals held as text are
// converted with "." whatever the locale); timestamp columns an 8-byte double
// of time-stamp milliseconds; date columns the 4-byte day count of a
// TTimeStamp; time columns 4-byte milliseconds of the day. GetText and
// PutTemporalText carry dates, times and time stamps whole, fraction and all;
// fixed bytes Units1 bytes; variable bytes a 16-bit length followed by the
// bytes (Units1 + 2 bytes); long columns no value (their size decides blank).
#include "velora/engine/ODBCCursor.h"

#include "velora/rtl/ComObj.h"
#include "velora/rtl/DateUtils.h"
#include "velora/rtl/Numbers.h"

#include "EngineInternal.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstring>

namespace velora {

namespace {

using ReadResult = TODBCReadResult;

/// Dates, times and time stamps: the forms held as a point in time.
bool IsTemporalType(std::uint16_t type) { return type == fcDate || type == fcTime || type == fcTimeStamp; }

/// The text held in a record area of `length` bytes (at most Len - 1).
std::string_view AreaText(const std::byte* area, std::int32_t length, const TODBCFldDesc& d) {
    return {reinterpret_cast<const char*>(area), std::min<std::size_t>(static_cast<std::size_t>(length), d.Len - 1u)};
}

ReadResult ReadText(const TODBCFldDesc& d, const std::byte* area, std::int32_t length, std::byte* out) {
    const std::string_view text = AreaText(area, length, d);
    std::memcpy(out, text.data(), text.size());
    out[text.size()] = std::byte{0};
    return ReadResult::Value;
}

/// The plain decimal ([-]digits[.digits]) of a money value as the server
/// shows it ("-$92,233,720,368,547,758.08", "1.234,56 €", "($1.00)"): digits
/// and the sign kept, the currency and the group separators dropped. The
/// decimal separator is the last '.' or ',' when both appear, else the one
/// not followed by a group of exactly three digits.
String PlainMoneyText(std::string_view text) {
    bool negative = false;
    std::size_t point = std::string_view::npos;
    bool seenDot = false, seenComma = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '-' || c == '(') negative = true;
        if (c == '.') seenDot = true;
        if (c == ',') seenComma = true;
        if (c == '.' || c == ',') point = i;
    }
    if (point != std::string_view::npos && !(seenDot && seenComma)) {
        std::size_t digits = 0;
        for (std::size_t i = point + 1; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) ++digits;
        if (digits == 3) point = std::string_view::npos;
    }
    String plain = negative ? "-" : "";
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] >= '0' && text[i] <= '9') plain += text[i];
        if (i == point) plain += '.';
    }
    return plain;
}

ReadResult ReadDecimalText(const TODBCFldDesc& d, const std::byte* area, std::int32_t length, std::byte* out) {
    const String money = d.SubType == fscMoney ? PlainMoneyText(AreaText(area, length, d)) : String();
    const std::string_view text = d.SubType == fscMoney ? std::string_view(money) : AreaText(area, length, d);
    double value = 0;
    if (!TryStrToFloat(text, value)) return Trim(text).empty() ? ReadResult::Blank : ReadResult::Failed;
    std::memcpy(out, &value, sizeof value);
    return ReadResult::Value;
}

/// Time columns (text) as milliseconds of the day; a time that is no time
/// of day (MariaDB's 838:59:59, PostgreSQL's 24:00:00) or has a fraction
/// finer than the millisecond has no such form (AsString reads it whole).
ReadResult ReadTime(const TODBCFldDesc& d, const std::byte* area, std::int32_t length, std::byte* out) {
    const std::string_view text = AreaText(area, length, d);
    detail::TimeParts t;
    if (!detail::ParseTimeParts(text, t) || !t.IsTimeOfDay()) return ReadResult::Failed;
    const auto msecs =
        static_cast<std::int32_t>(((t.Hour * 60 + t.Minute) * 60 + t.Second) * 1000 + t.Nanos / 1000000u);
    std::memcpy(out, &msecs, sizeof msecs);
    return ReadResult::Value;
}

/// Date columns as the day count of a TTimeStamp.
ReadResult ReadDate(const TODBCFldDesc&, const std::byte* area, std::int32_t, std::byte* out) {
    SQL_DATE_STRUCT ds;
    std::memcpy(&ds, area, sizeof ds);
    if (ds.year == 0 && ds.month == 0 && ds.day == 0) return ReadResult::Blank;  // a zero date
    double msecs = 0;
    if (!detail::EncodeMSecs(ds.year, ds.month, ds.day, 0, 0, 0, 0, msecs)) return ReadResult::Failed;
    const auto days = static_cast<std::int32_t>(msecs / MSecsPerDay);
    std::memcpy(out, &days, sizeof days);
    return ReadResult::Value;
}

/// A time stamp held as text (SQLite), as the structure; false when the
/// text is none.
bool TimeStampOfText(const std::byte* area, std::int32_t length, const TODBCFldDesc& d, SQL_TIMESTAMP_STRUCT& ts) {
    return detail::ParseTimeStampText(AreaText(area, length, d), false, ts);
}

ReadResult ReadTimeStamp(const TODBCFldDesc& d, const std::byte* area, std::int32_t length, std::byte* out) {
    SQL_TIMESTAMP_STRUCT ts;
    if (d.CType == SQL_C_CHAR) {
        if (!TimeStampOfText(area, length, d, ts)) return ReadResult::Failed;
    } else {
        std::memcpy(&ts, area, sizeof ts);
    }
    const bool noDate = ts.year == 0 || ts.month == 0 || ts.day == 0;
    if (noDate && ts.hour == 0 && ts.minute == 0 && ts.second == 0 && ts.fraction == 0) return ReadResult::Blank;
    const int ms = static_cast<int>(ts.fraction / 1000000u);  // the fraction is in nanoseconds
    double msecs = 0;
    const bool ok = noDate ? detail::EncodeMSecs(1899, 12, 30, ts.hour, ts.minute, ts.second, ms, msecs)
                           : detail::EncodeMSecs(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second, ms, msecs);
    if (!ok) return ReadResult::Failed;
    std::memcpy(out, &msecs, sizeof msecs);
    return ReadResult::Value;
}

ReadResult ReadFixedBytes(const TODBCFldDesc& d, const std::byte* area, std::int32_t length, std::byte* out) {
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(length), d.Units1);
    std::memcpy(out, area, n);
    std::memset(out + n, 0, d.Units1 - n);
    return ReadResult::Value;
}

ReadResult ReadVarBytes(const TODBCFldDesc& d, const std::byte* area, std::int32_t length, std::byte* out) {
    const auto n = static_cast<std::uint16_t>(std::min<std::size_t>(static_cast<std::size_t>(length), d.Units1));
    std::memcpy(out, &n, sizeof n);
    std::memcpy(out + 2, area, n);
    return ReadResult::Value;
}

/// A 32-bit field's value fetched as 64 bits: failed when it does not fit.
ReadResult ReadInt32Of64(const std::byte* area, std::byte* out) {
    std::int64_t wide = 0;
    std::memcpy(&wide, area, sizeof wide);
    if (wide < INT32_MIN || wide > INT32_MAX) return ReadResult::Failed;
    const auto value = static_cast<std::int32_t>(wide);
    std::memcpy(out, &value, sizeof value);
    return ReadResult::Value;
}

/// Values held in their C type as they are: the buffer form is the area's
/// first N bytes.
template <std::size_t N>
ReadResult ReadAsHeld(const TODBCFldDesc&, const std::byte* area, std::int32_t, std::byte* out) {
    std::memcpy(out, area, N);
    return ReadResult::Value;
}

ReadResult ReadInt32(const TODBCFldDesc& d, const std::byte* area, std::int32_t length, std::byte* out) {
    if (d.CType == SQL_C_SBIGINT) return ReadInt32Of64(area, out);
    return ReadAsHeld<4>(d, area, length, out);
}

ReadResult ReadFloat(const TODBCFldDesc& d, const std::byte* area, std::int32_t length, std::byte* out) {
    if (d.CType == SQL_C_CHAR) return ReadDecimalText(d, area, length, out);
    return ReadAsHeld<8>(d, area, length, out);
}

ReadResult ReadValue(const TODBCFldDesc& d, const std::byte* area, std::int32_t length, std::byte* out) {
    const TODBCTypeFacts& t = ODBCTypeFacts(d.FldType);
    return t.Read ? t.Read(d, area, length, out) : ReadResult::Blank;
}

/// True when every value of the column that is not NULL reads as a value:
/// then whether a field has one is told by its indicator alone. A column
/// held as text where its code holds a binary form (decimals), or in a wider
/// area than its code's (32-bit integers fetched as 64 bits), may read as
/// blank or fail to convert, so only reading it tells.
bool AlwaysAValue(const TODBCFldDesc& d) {
    const TODBCTypeFacts& t = ODBCTypeFacts(d.FldType);
    if (!t.AlwaysAValue || d.CType == 0) return t.AlwaysAValue;
    if ((d.CType == SQL_C_CHAR) != (t.CType == SQL_C_CHAR)) return false;
    return t.AreaSize == 0 || d.Len <= t.AreaSize;
}

// ---- writers -----------------------------------------------------------------

/// Stores `text` whole in the column's area, or refuses it.
void PutText(void* record, std::byte* area, const TODBCFldDesc& d, const String& text) {
    if (text.size() > d.Len - 1u) throw EConvertError(Format("Value '%s' does not fit column %s", text, d.GetName()));
    std::memset(area, 0, d.Len);
    std::memcpy(area, text.data(), text.size());
    ODBCSetIndicator(record, d, static_cast<std::int32_t>(text.size()));
}

void PutFixed(void* record, std::byte* area, const TODBCFldDesc& d, const std::byte* in, std::int32_t size) {
    std::memcpy(area, in, static_cast<std::size_t>(size));
    ODBCSetIndicator(record, d, size);
}

/// The number of UTF-8 code points of `text` (bytes that do not continue a
/// sequence).
std::size_t CodePoints(std::string_view text) {
    std::size_t n = 0;
    for (char ch : text)
        if ((static_cast<unsigned char>(ch) & 0xC0u) != 0x80u) ++n;
    return n;
}

/// Text for a character column: refused, before anything is stored, when it
/// has more characters than the column's declared size.
void PutString(void* record, std::byte* area, const TODBCFldDesc& d, const std::byte* in) {
    const std::size_t n = strnlen(reinterpret_cast<const char*>(in), d.Len - 1u);
    const std::size_t chars = CodePoints({reinterpret_cast<const char*>(in), n});
    if (d.CharSize > 0 && chars > d.CharSize)
        throw EDatabaseError(Format("Value of %d characters is too long for field '%s' of size %d",
                                    static_cast<int>(chars), d.GetName(), static_cast<int>(d.CharSize)));
    std::memset(area, 0, d.Len);
    std::memcpy(area, in, n);
    ODBCSetIndicator(record, d, static_cast<std::int32_t>(n));
}

void PutBoolean(void* record, std::byte* area, const TODBCFldDesc& d, const std::byte* in) {
    area[0] = std::to_integer<int>(in[0]) != 0 ? std::byte{1} : std::byte{0};
    ODBCSetIndicator(record, d, 1);
}

void PutFloat(void* record, std::byte* area, const TODBCFldDesc& d, const std::byte* in) {
    double value;
    std::memcpy(&value, in, sizeof value);
    if (d.CType != SQL_C_CHAR) return PutFixed(record, area, d, in, 8);
    if (!std::isfinite(value))
        throw EConvertError(Format("Column %s cannot hold a value that is not a number", d.GetName()));
    if (d.Units2 == kAnyScale) {
        // No scale to round to: the shortest text that reads back as the double.
        char text[32];
        const auto end = std::to_chars(text, text + sizeof text, value).ptr;
        return PutText(record, area, d, String(text, end));
    }
    PutText(record, area, d, FloatToStrF(value, ffFixed, std::min<int>(d.Units1, 18), std::max<int>(d.Units2, 0)));
}

/// A time stamp into its column: the structure, or its text.
void PutTimeStampStruct(void* record, std::byte* area, const TODBCFldDesc& d, const SQL_TIMESTAMP_STRUCT& ts) {
    if (d.CType == SQL_C_CHAR) return PutText(record, area, d, detail::FormatTimeStampText(ts));
    PutFixed(record, area, d, reinterpret_cast<const std::byte*>(&ts), sizeof ts);
}

void PutTimeStamp(void* record, std::byte* area, const TODBCFldDesc& d, const std::byte* in) {
    double msecs;
    std::memcpy(&msecs, in, sizeof msecs);
    int y, mo, dd, h, mi, s, ms;
    if (!detail::DecodeMSecs(msecs, y, mo, dd, h, mi, s, ms))
        throw EConvertError(Format("Column %s cannot hold this date and time", d.GetName()));
    SQL_TIMESTAMP_STRUCT ts{static_cast<SQLSMALLINT>(y),
                            static_cast<SQLUSMALLINT>(mo),
                            static_cast<SQLUSMALLINT>(dd),
                            static_cast<SQLUSMALLINT>(h),
                            static_cast<SQLUSMALLINT>(mi),
                            static_cast<SQLUSMALLINT>(s),
                            static_cast<SQLUINTEGER>(ms) * 1000000u};
    PutTimeStampStruct(record, area, d, ts);
}

void PutDateStruct(void* record, std::byte* area, const TODBCFldDesc& d, int y, int mo, int dd) {
    SQL_DATE_STRUCT ds{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(mo), static_cast<SQLUSMALLINT>(dd)};
    std::memset(area, 0, d.Len);
    PutFixed(record, area, d, reinterpret_cast<const std::byte*>(&ds), sizeof ds);
}

/// A day count (ftDate's buffer form) into a date column.
void PutDate(void* record, std::byte* area, const TODBCFldDesc& d, const std::byte* in) {
    std::int32_t days;
    std::memcpy(&days, in, sizeof days);
    int y, mo, dd;
    if (!detail::DecodeDayCount(days, y, mo, dd))
        throw EConvertError(Format("Column %s cannot hold this date", d.GetName()));
    PutDateStruct(record, area, d, y, mo, dd);
}

/// Milliseconds of the day (ftTime's buffer form) into a time column's text.
void PutTime(void* record, std::byte* area, const TODBCFldDesc& d, const std::byte* in) {
    std::int32_t ms;
    std::memcpy(&ms, in, sizeof ms);
    if (ms < 0 || ms >= MSecsPerDay) throw EConvertError(Format("Column %s cannot hold this time", d.GetName()));
    detail::TimeParts t;
    t.Hour = ms / 3600000;
    t.Minute = ms / 60000 % 60;
    t.Second = ms / 1000 % 60;
    t.Nanos = static_cast<std::uint32_t>(ms % 1000) * 1000000u;
    PutText(record, area, d, detail::FormatTimeParts(t));
}

template <std::uint16_t N>
void PutAsHeld(void* record, std::byte* area, const TODBCFldDesc& d, const std::byte* in) {
    PutFixed(record, area, d, in, N);
}

/// A 32-bit integer into its column, widened when it is held in 64 bits.
void PutInt32(void* record, std::byte* area, const TODBCFldDesc& d, const std::byte* in) {
    if (d.CType != SQL_C_SBIGINT) return PutFixed(record, area, d, in, 4);
    std::int32_t value = 0;
    std::memcpy(&value, in, sizeof value);
    const std::int64_t wide = value;
    PutFixed(record, area, d, reinterpret_cast<const std::byte*>(&wide), 8);
}

void PutFixedBytes(void* record, std::byte* area, const TODBCFldDesc& d, const std::byte* in) {
    PutFixed(record, area, d, in, d.Units1);
}

void PutVarBytes(void* record, std::byte* area, const TODBCFldDesc& d, const std::byte* in) {
    std::uint16_t n;
    std::memcpy(&n, in, sizeof n);
    if (n > d.Units1)
        throw EDatabaseError(Format("Value of %d bytes is too long for field '%s' of size %d", static_cast<int>(n),
                                    d.GetName(), static_cast<int>(d.Units1)));
    std::memset(area, 0, d.Len);
    PutFixed(record, area, d, in + 2, n);
}

/// GUIDs: the buffer form is the text {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
/// (upper case); a column holds SQL_C_GUID's 16 bytes, or text (SQLite),
/// which is read in any case, with or without braces, and written in the
/// buffer form.
bool ParseGuidText(std::string_view text, TGUID& g) {
    if (text.size() == 36) return detail::ParseGUID("{" + String(text) + "}", g);
    return detail::ParseGUID(text, g);
}

ReadResult ReadGuid(const TODBCFldDesc& d, const std::byte* area, std::int32_t length, std::byte* out) {
    TGUID g;
    if (d.CType == SQL_C_GUID) {
        SQLGUID held;
        std::memcpy(&held, area, sizeof held);
        g.D1 = held.Data1, g.D2 = held.Data2, g.D3 = held.Data3;
        std::memcpy(g.D4.data(), held.Data4, sizeof held.Data4);
    } else if (static_cast<std::size_t>(length) > d.Len - 1u) {
        return ReadResult::Failed;  // longer than any GUID's text: not cut silently
    } else if (!ParseGuidText(AreaText(area, length, d), g)) {
        return ReadText(d, area, length, out);  // text that is no GUID reads as it is stored
    }
    const String text = GUIDToString(g);
    std::memcpy(out, text.c_str(), text.size() + 1);
    return ReadResult::Value;
}

void PutGuid(void* record, std::byte* area, const TODBCFldDesc& d, const std::byte* in) {
    const std::string_view text(reinterpret_cast<const char*>(in), strnlen(reinterpret_cast<const char*>(in), 38));
    TGUID g;
    if (!ParseGuidText(text, g))
        throw EConvertError(Format("'%s' is not a valid GUID value for field '%s'", String(text), d.GetName()));
    if (d.CType != SQL_C_GUID) return PutText(record, area, d, GUIDToString(g));
    SQLGUID held{g.D1, g.D2, g.D3, {}};
    std::memcpy(held.Data4, g.D4.data(), sizeof held.Data4);
    PutFixed(record, area, d, reinterpret_cast<const std::byte*>(&held), sizeof held);
}

/// The engine's type table, one row per code (see TODBCTypeFacts).
struct TypeTable {
    TODBCTypeFacts Rows[kFldTypeCodes] = {};
    constexpr TypeTable() {
        //                    Name           CType                 SQL type             Area Always Reader          Writer
        Rows[fcUnknown] =    {"fcUnknown",   SQL_C_DEFAULT,        0,                   0,   false, nullptr,        nullptr};
        Rows[fcString] =     {"fcString",    SQL_C_CHAR,           SQL_VARCHAR,         0,   true,  ReadText,       PutString};
        Rows[fcDate] =       {"fcDate",      SQL_C_TYPE_DATE,      SQL_TYPE_DATE,       16,  false, ReadDate,       PutDate};
        Rows[fcBlob] =       {"fcBlob",      SQL_C_BINARY,         SQL_LONGVARBINARY,   0,   false, nullptr,        nullptr};
        Rows[fcBoolean] =    {"fcBoolean",   SQL_C_BIT,            SQL_BIT,             2,   true,  ReadAsHeld<1>,  PutBoolean};
        Rows[fcInt16] =      {"fcInt16",     SQL_C_SSHORT,         SQL_SMALLINT,        2,   true,  ReadAsHeld<2>,  PutAsHeld<2>};
        Rows[fcInt32] =      {"fcInt32",     SQL_C_SLONG,          SQL_INTEGER,         4,   true,  ReadInt32,      PutInt32};
        Rows[fcFloat] =      {"fcFloat",     SQL_C_DOUBLE,         SQL_DOUBLE,          8,   true,  ReadFloat,      PutFloat};
        Rows[fcBCD] =        {"fcBCD",       SQL_C_CHAR,           SQL_DECIMAL,         0,   false, nullptr,        nullptr};
        Rows[fcBytes] =      {"fcBytes",     SQL_C_BINARY,         SQL_BINARY,          0,   true,  ReadFixedBytes, PutFixedBytes};
        Rows[fcTime] =       {"fcTime",      SQL_C_CHAR,           SQL_TYPE_TIME,       32,  true,  ReadTime,       PutTime};
        Rows[fcTimeStamp] =  {"fcTimeStamp", SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIMESTAMP,  16,  false, ReadTimeStamp,  PutTimeStamp};
        Rows[fcUInt16] =     {"fcUInt16",    SQL_C_USHORT,         SQL_INTEGER,         2,   false, nullptr,        nullptr};
        Rows[fcUInt32] =     {"fcUInt32",    SQL_C_SBIGINT,        SQL_BIGINT,          8,   false, nullptr,        nullptr};
        Rows[fcVarBytes] =   {"fcVarBytes",  SQL_C_BINARY,         SQL_VARBINARY,       0,   true,  ReadVarBytes,   PutVarBytes};
        Rows[fcCursor] =     {"fcCursor",    0,                    0,                   0,   false, nullptr,        nullptr};
        Rows[fcInt64] =      {"fcInt64",     SQL_C_SBIGINT,        SQL_BIGINT,          8,   true,  ReadAsHeld<8>,  PutAsHeld<8>};
        Rows[fcGuid] =       {"fcGuid",      SQL_C_GUID,           SQL_GUID,            16,  true,  ReadGuid,       PutGuid,
                              SQL_GUID, "guid uuid uuidtext uniqueidentifier", 38};
        Rows[fscMemo] =      {"fscMemo",     SQL_C_CHAR,           SQL_LONGVARCHAR,     0,   false, nullptr,        nullptr};
    }
};

constexpr TypeTable kTypes;

}  // namespace

const TODBCTypeFacts& ODBCTypeFacts(std::uint16_t code) {
    static constexpr TODBCTypeFacts none{};
    return code < kFldTypeCodes ? kTypes.Rows[code] : none;
}

std::uint16_t ODBCTypeOfColumn(odbc::SmallInt sqlType, std::string_view typeName) {
    String name(typeName);
    for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    for (std::uint16_t code = 0; code < kFldTypeCodes; ++code) {
        const TODBCTypeFacts& t = kTypes.Rows[code];
        if (t.DescribedSQLType != 0 && t.DescribedSQLType == sqlType) return code;
        if (t.DeclaredNames == nullptr || name.empty()) continue;
        for (std::string_view names = t.DeclaredNames; !names.empty();) {
            const std::size_t space = names.find(' ');
            if (names.substr(0, space) == name) return code;
            names = space == std::string_view::npos ? std::string_view() : names.substr(space + 1);
        }
    }
    return fcUnknown;
}

int TODBC::GetFieldAt(int fieldNo, const void* record, const void* bookmark, bool& blank, void* dest) {
    blank = true;
    if (fieldNo < 1 || fieldNo > FieldCount()) return -1;
    const TODBCFldDesc& d = Columns[static_cast<std::size_t>(fieldNo - 1)];
    if (d.FldType == fcUnknown) return 0;
    try {
        if (d.FldType == fcBlob) {
            std::int32_t size = 0;
            bool null = true;
            GetBlobSize(bookmark, 0, size, fieldNo, &null);
            blank = null;
            return 0;
        }
        const std::int32_t length = ODBCGetIndicator(record, d);
        if (length < 0) return 0;
        const std::byte* area = static_cast<const std::byte*>(record) + d.Offset;
        ReadResult r;
        if (dest != nullptr) {
            r = ReadValue(d, area, length, static_cast<std::byte*>(dest));
        } else if (AlwaysAValue(d)) {
            r = ReadResult::Value;
        } else {
            // Room for any form that may read as blank or fail (eight bytes,
            // a GUID's text).
            alignas(8) std::byte value[64];
            r = ReadValue(d, area, length, value);
        }
        if (r == ReadResult::Failed) return -1;
        blank = r == ReadResult::Blank;
    } catch (const std::exception&) {
        blank = true;
        return -1;
    }
    return 0;
}

int TODBC::PutField(int fieldNo, void* record, const void* src) {
    if (fieldNo < 1 || fieldNo > FieldCount()) return -1;
    const TODBCFldDesc& d = Columns[static_cast<std::size_t>(fieldNo - 1)];
    if (d.FldType == fcUnknown || d.FldType == fcBlob) return 0;
    auto* area = static_cast<std::byte*>(record) + d.Offset;
    if (FAssigned.size() != Columns.size()) ClearAssigned();
    if (src == nullptr) {
        std::memset(area, 0, d.Len);
        ODBCSetIndicator(record, d, -1);
        FAssigned[static_cast<std::size_t>(fieldNo - 1)] = true;
        return 0;
    }
    const TODBCTypeFacts& t = ODBCTypeFacts(d.FldType);
    if (t.Write) t.Write(record, area, d, static_cast<const std::byte*>(src));
    FAssigned[static_cast<std::size_t>(fieldNo - 1)] = true;
    return 0;
}

int TODBC::GetDecimalText(int fieldNo, const void* record, String& text) const {
    if (fieldNo < 1 || fieldNo > FieldCount()) return -1;
    const TODBCFldDesc& d = Columns[static_cast<std::size_t>(fieldNo - 1)];
    if (d.FldType != fcFloat || d.CType != SQL_C_CHAR) return -1;
    const std::int32_t length = ODBCGetIndicator(record, d);
    if (length < 0) return 0;
    text = String(AreaText(static_cast<const std::byte*>(record) + d.Offset, length, d));
    if (d.SubType == fscMoney) text = PlainMoneyText(text);
    return 1;
}

bool TODBC::IsTemporal(int fieldNo) const {
    if (fieldNo < 1 || fieldNo > FieldCount()) return false;
    return IsTemporalType(Columns[static_cast<std::size_t>(fieldNo - 1)].FldType);
}

bool TODBC::PutTemporalText(int fieldNo, void* record, std::string_view text) {
    if (!IsTemporal(fieldNo)) return false;
    const TODBCFldDesc& d = Columns[static_cast<std::size_t>(fieldNo - 1)];
    auto* area = static_cast<std::byte*>(record) + d.Offset;
    if (d.FldType == fcTime) {
        detail::TimeParts t;
        if (!detail::ParseTimeParts(text, t)) return false;
        PutText(record, area, d, detail::FormatTimeParts(t));
    } else {
        SQL_TIMESTAMP_STRUCT ts{};
        if (!detail::ParseTimeStampText(text, d.FldType == fcDate, ts)) return false;
        if (d.FldType == fcDate)
            PutDateStruct(record, area, d, ts.year, ts.month, ts.day);
        else
            PutTimeStampStruct(record, area, d, ts);
    }
    if (FAssigned.size() != Columns.size()) ClearAssigned();
    FAssigned[static_cast<std::size_t>(fieldNo - 1)] = true;
    return true;
}

namespace {

/// The text GetText answers for a date, time or time stamp held in `area`.
int TemporalText(const TODBCFldDesc& d, const std::byte* area, std::int32_t length, String& text) {
    if (d.FldType == fcTime) {
        const std::string_view held = AreaText(area, length, d);
        detail::TimeParts t;
        text = detail::ParseTimeParts(held, t) ? detail::FormatTimeParts(t) : String(held);
        return 1;
    }
    SQL_TIMESTAMP_STRUCT ts{};
    if (d.CType == SQL_C_CHAR) {  // a time stamp held as text: as written when it is none
        if (!TimeStampOfText(area, length, d, ts)) {
            text = String(AreaText(area, length, d));
            return 1;
        }
    } else if (d.FldType == fcDate) {
        SQL_DATE_STRUCT ds;
        std::memcpy(&ds, area, sizeof ds);
        ts.year = ds.year, ts.month = ds.month, ts.day = ds.day;
    } else {
        std::memcpy(&ts, area, sizeof ts);
    }
    if (ts.year == 0 && ts.month == 0 && ts.day == 0) {
        if (ts.hour == 0 && ts.minute == 0 && ts.second == 0 && ts.fraction == 0) return 0;  // a zero date
        detail::TimeParts t{false, ts.hour, ts.minute, ts.second, ts.fraction};
        text = detail::FormatTimeParts(t);
        return 1;
    }
    text = detail::FormatTimeStamp(ts);
    return 1;
}

}  // namespace

int TODBC::GetTextAt(int fieldNo, const void* record, const void* bookmark, String& text) const {
    if (fieldNo < 1 || fieldNo > FieldCount()) return -1;
    const TODBCFldDesc& d = Columns[static_cast<std::size_t>(fieldNo - 1)];
    // A binary value longer than its column's declared size (SQLite keeps
    // what it is given) is answered whole; any other the field reads itself.
    if (d.FldType == fcBytes || d.FldType == fcVarBytes)
        return record && OverflowTextAt(fieldNo, record, bookmark, text) ? 1 : -1;
    const bool decimal = d.FldType == fcFloat && d.CType == SQL_C_CHAR;
    const bool temporal = IsTemporalType(d.FldType);
    if (d.FldType != fcString && !decimal && !temporal) return -1;
    if (record == nullptr) return 0;
    const std::int32_t length = ODBCGetIndicator(record, d);
    if (length < 0) return 0;
    if (temporal) return TemporalText(d, static_cast<const std::byte*>(record) + d.Offset, length, text);
    if (OverflowTextAt(fieldNo, record, bookmark, text)) return 1;
    std::string_view value = AreaText(static_cast<const std::byte*>(record) + d.Offset, length, d);
    // Character values end at their first NUL, as in the field's buffer form.
    if (!decimal) value = value.substr(0, strnlen(value.data(), value.size()));
    text.assign(value);
    if (d.SubType == fscMoney) text = PlainMoneyText(text);
    return 1;
}

void TODBC::PutDecimalText(int fieldNo, void* record, const String& text) {
    String current;
    if (GetDecimalText(fieldNo, record, current) < 0) throw EDatabaseError("Column is not a decimal held as text");
    const TODBCFldDesc& d = Columns[static_cast<std::size_t>(fieldNo - 1)];
    // [sign] digits [. digits]: what every data source reads as a decimal.
    const String trimmed = Trim(text);
    std::string_view v = trimmed;
    String plain;
    if (!v.empty() && (v[0] == '-' || v[0] == '+')) {
        if (v[0] == '-') plain += '-';
        v.remove_prefix(1);
    }
    const std::size_t point = v.find('.');
    std::string_view whole = v.substr(0, point), fraction = point == std::string_view::npos ? "" : v.substr(point + 1);
    auto digits = [](std::string_view s) { return s.find_first_not_of("0123456789") == std::string_view::npos; };
    if ((whole.empty() && fraction.empty()) || !digits(whole) || !digits(fraction))
        throw EDatabaseError(Format("'%s' is not a valid decimal value for field '%s'", text, d.GetName()));
    while (whole.size() > 1 && whole[0] == '0') whole.remove_prefix(1);
    // A column of any scale keeps the digits as given: PostgreSQL's
    // unconstrained numeric stores its display scale with the value.
    if (d.Units2 != kAnyScale)
        while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
    const int scale = d.Units2 == kAnyScale ? static_cast<int>(fraction.size()) : std::max<int>(d.Units2, 0);
    const int integerDigits = whole == "0" ? 0 : static_cast<int>(whole.size());
    if (static_cast<int>(fraction.size()) > scale ||
        (d.Precision > 0 && integerDigits > static_cast<int>(d.Precision) - scale))
        throw EDatabaseError(Format("Value '%s' does not fit field '%s' of precision %d and scale %d", text,
                                    d.GetName(), static_cast<int>(d.Precision), scale));
    plain += whole.empty() ? std::string_view("0") : whole;
    if (!fraction.empty()) plain += "." + String(fraction);
    PutText(record, static_cast<std::byte*>(record) + d.Offset, d, plain);
    if (FAssigned.size() != Columns.size()) ClearAssigned();
    FAssigned[static_cast<std::size_t>(fieldNo - 1)] = true;
}

bool TODBC::HasAssigned() const {
    for (bool b : FAssigned)
        if (b) return true;
    return false;
}

}  // namespace velora

namespace velora {

int TODBC::GetExactValue(int fieldNo, const void* record, String& text, std::uint16_t& kind) const {
    if (fieldNo < 1 || fieldNo > FieldCount()) return -1;
    const TODBCFldDesc& d = Columns[static_cast<std::size_t>(fieldNo - 1)];
    if (d.FldType == fcFloat && d.CType == SQL_C_CHAR) {
        kind = fcBCD;
        return record == nullptr ? 0 : GetDecimalText(fieldNo, record, text);
    }
    if (!IsTemporalType(d.FldType)) return -1;
    // The kind follows how the column is held: text (times everywhere, time
    // stamps on SQLite) is what the column's code says, a time structure a
    // time of day, a date structure a date; a timestamp structure is
    // whatever the column's code says.
    const bool dateStruct = d.CType == SQL_C_TYPE_DATE || d.CType == SQL_C_DATE;
    const bool timeStruct = d.CType == SQL_C_TYPE_TIME || d.CType == SQL_C_TIME;
    if (d.CType == SQL_C_CHAR)
        kind = d.FldType;
    else if (timeStruct)
        kind = fcTime;
    else if (dateStruct)
        kind = fcDate;
    else
        kind = d.FldType;
    if (record == nullptr) return 0;
    const std::int32_t length = ODBCGetIndicator(record, d);
    if (length < 0) return 0;
    const std::byte* area = static_cast<const std::byte*>(record) + d.Offset;
    if (d.CType == SQL_C_CHAR) {
        text.assign(AreaText(area, length, d));
        return 1;
    }
    SQL_TIMESTAMP_STRUCT ts{};
    if (dateStruct) {
        SQL_DATE_STRUCT ds;
        std::memcpy(&ds, area, sizeof ds);
        ts.year = ds.year, ts.month = ds.month, ts.day = ds.day;
    } else if (timeStruct) {
        SQL_TIME_STRUCT t;
        std::memcpy(&t, area, sizeof t);
        ts.hour = t.hour, ts.minute = t.minute, ts.second = t.second;
    } else {
        std::memcpy(&ts, area, sizeof ts);
    }
    text = detail::FormatTemporal(ts, kind, false);
    return 1;
}

}  // namespace velora
