// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCParamArray (the values of one parameter across the sets) and the
// layout of a run of sets for the engine (ODBCParamSetLayout.h).
#include "velora/components/ODBCParamArray.h"

#include "ODBCParamSetLayout.h"

#include "velora/classes/Classes.h"
#include "velora/db/DB.h"
#include "velora/rtl/DateUtils.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace velora {

// ---------------------------------------------------------------------------
// TODBCParamArray

namespace {

constexpr std::int64_t kYearUnit = 10000000000LL;  // YYYY MM DD hh mm ss packed in decimal
constexpr std::int64_t kMonthUnit = 100000000LL;
constexpr std::int64_t kDayUnit = 1000000LL;

}  // namespace

std::size_t TODBCParamArray::Index(std::int64_t Set) const {
    if (Set < 0 || Set >= Size())
        throw EListError("Parameter set index out of bounds (" + std::to_string(Set) + ")");
    return static_cast<std::size_t>(Set);
}

void TODBCParamArray::SetSize(std::int64_t Value) {
    if (Value < 0) Value = 0;
    FKinds.resize(static_cast<std::size_t>(Value), TKind::Unset);
    FCells.resize(static_cast<std::size_t>(Value));
}

void TODBCParamArray::Clear() {
    std::fill(FKinds.begin(), FKinds.end(), TKind::Unset);
    FText.clear();
}

void TODBCParamArray::SetNull(std::int64_t Set) { FKinds[Index(Set)] = TKind::Null; }

void TODBCParamArray::SetAsLargeInt(std::int64_t Set, std::int64_t Value) {
    const std::size_t i = Index(Set);
    FKinds[i] = TKind::Int;
    FCells[i].A = Value;
}

void TODBCParamArray::SetAsFloat(std::int64_t Set, double Value) {
    const std::size_t i = Index(Set);
    FKinds[i] = TKind::Float;
    std::memcpy(&FCells[i].A, &Value, sizeof Value);
}

double TODBCParamArray::AsFloat(std::int64_t Set) const {
    double v;
    std::memcpy(&v, &FCells[Index(Set)].A, sizeof v);
    return v;
}

void TODBCParamArray::SetAsDateTime(std::int64_t Set, TDateTime Value) {
    int y, mo, d, h, mi, s, ms;
    DecodeDateTime(Value, y, mo, d, h, mi, s, ms);
    SetAsTimeStamp(Set, y, mo, d, h, mi, s, static_cast<std::uint32_t>(ms) * 1000000u);
}

void TODBCParamArray::SetAsTimeStamp(std::int64_t Set, int Year, int Month, int Day, int Hour, int Minute,
                                     int Second, std::uint32_t Nanos) {
    const std::size_t i = Index(Set);
    if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 || Day > DaysInMonth(Year, Month) ||
        Hour < 0 || Hour > 23 || Minute < 0 || Minute > 59 || Second < 0 || Second > 59 || Nanos > 999999999u)
        throw EConvertError("Parameter set " + std::to_string(Set) + " holds no valid date and time");
    FKinds[i] = TKind::DateTime;
    FCells[i].A = Year * kYearUnit + Month * kMonthUnit + Day * kDayUnit + Hour * 10000 + Minute * 100 + Second;
    FCells[i].B = Nanos;
}

void TODBCParamArray::DecodeTimeStamp(std::int64_t Set, int& Year, int& Month, int& Day, int& Hour, int& Minute,
                                      int& Second, std::uint32_t& Nanos) const {
    const TCell& c = FCells[Index(Set)];
    Year = static_cast<int>(c.A / kYearUnit);
    Month = static_cast<int>(c.A / kMonthUnit % 100);
    Day = static_cast<int>(c.A / kDayUnit % 100);
    Hour = static_cast<int>(c.A / 10000 % 100);
    Minute = static_cast<int>(c.A / 100 % 100);
    Second = static_cast<int>(c.A % 100);
    Nanos = static_cast<std::uint32_t>(c.B);
}

void TODBCParamArray::SetText(std::int64_t Set, const char* Data, std::size_t Length) {
    const std::size_t i = Index(Set);
    FKinds[i] = TKind::Text;
    FCells[i].A = static_cast<std::int64_t>(FText.size());
    FCells[i].B = static_cast<std::int64_t>(Length);
    FText.append(Data, Length);
}

std::string_view TODBCParamArray::AsText(std::int64_t Set) const {
    const TCell& c = FCells[Index(Set)];
    return std::string_view(FText).substr(static_cast<std::size_t>(c.A), static_cast<std::size_t>(c.B));
}

// ---------------------------------------------------------------------------
// Layout

namespace {

enum class TBindKind { Int, Bit, Float, Decimal, Text, LongText, Bytes, Date, Time, TimeStamp };

TBindKind BindKindOf(TFieldType type, TODBCParamArray::TKind first) {
    if (type == ftUnknown) {
        // No type given: the kind of the first value set decides.
        if (first == TODBCParamArray::TKind::Int) return TBindKind::Int;
        if (first == TODBCParamArray::TKind::Float) return TBindKind::Float;
        if (first == TODBCParamArray::TKind::DateTime) return TBindKind::TimeStamp;
        return TBindKind::Text;
    }
    // What binds how, by the kind of value the field type holds.
    static constexpr TBindKind byKind[] = {
        TBindKind::Text,       // None (ftCursor)
        TBindKind::Text,       // Text
        TBindKind::LongText,   // LongText
        TBindKind::Int,        // Integer
        TBindKind::Bit,        // Boolean
        TBindKind::Float,      // Float
        TBindKind::Decimal,    // Decimal
        TBindKind::Date,       // Date
        TBindKind::Time,       // Time
        TBindKind::TimeStamp,  // DateTime
        TBindKind::Bytes,      // Bytes
    };
    return byKind[static_cast<std::size_t>(FieldTypeInfo(type).Kind)];
}

[[noreturn]] void SetError(const String& param, std::int64_t set, const String& what) {
    DatabaseError("Parameter '" + param + "', set " + std::to_string(set) + ": " + what);
}

bool ParseInt(std::string_view t, std::int64_t& v) {
    if (!t.empty() && t.front() == '+') t.remove_prefix(1);
    const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), v);
    return ec == std::errc() && end == t.data() + t.size() && !t.empty();
}

/// A decimal's text: sign, digits, an optional point and digits. Answers the
/// number of digits and of fraction digits.
bool ParseDecimal(std::string_view t, std::size_t& digits, std::size_t& fraction) {
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
    digits = fraction = 0;
    bool point = false;
    for (; i < t.size(); ++i) {
        if (t[i] == '.' && !point) point = true;
        else if (t[i] >= '0' && t[i] <= '9') ++digits, fraction += point;
        else return false;
    }
    return digits > 0;
}

bool Digits(std::string_view t, std::size_t at, std::size_t n, int& v) {
    if (at + n > t.size()) return false;
    v = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (t[i] < '0' || t[i] > '9') return false;
        v = v * 10 + (t[i] - '0');
    }
    return true;
}

/// "YYYY-MM-DD", "HH:MM:SS[.f]" or "YYYY-MM-DD HH:MM:SS[.f]" (also with a
/// 'T'); parts not in the text stay as given. Answers false for other text.
bool ParseDateTime(std::string_view t, bool wantDate, bool wantTime, int& y, int& mo, int& d, int& h, int& mi,
                   int& s, std::uint32_t& nanos, int& fractionDigits) {
    std::size_t at = 0;
    fractionDigits = 0;
    if (wantDate) {
        if (!Digits(t, 0, 4, y) || t.size() < 10 || t[4] != '-' || !Digits(t, 5, 2, mo) || t[7] != '-' ||
            !Digits(t, 8, 2, d))
            return false;
        if (y < 1 || mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo))
            return false;
        at = 10;
        if (at == t.size()) return true;
        if (!wantTime || (t[at] != ' ' && t[at] != 'T')) return false;
        ++at;
    }
    if (!Digits(t, at, 2, h) || t.size() < at + 8 || t[at + 2] != ':' || !Digits(t, at + 3, 2, mi) ||
        t[at + 5] != ':' || !Digits(t, at + 6, 2, s))
        return false;
    if (h > 23 || mi > 59 || s > 59) return false;
    at += 8;
    nanos = 0;
    if (at < t.size()) {
        if (t[at] != '.') return false;
        ++at;
        const std::size_t n = t.size() - at;
        if (n == 0 || n > 9) return false;
        int f;
        if (!Digits(t, at, n, f)) return false;
        fractionDigits = static_cast<int>(n);
        nanos = static_cast<std::uint32_t>(f);
        for (std::size_t k = n; k < 9; ++k) nanos *= 10;
    }
    return true;
}

/// "YYYY-MM-DD HH:MM:SS[.f]" with `digits` fraction digits (0: none).
String StampText(int y, int mo, int d, int h, int mi, int s, std::uint32_t ns, int digits) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%09u", y, mo, d, h, mi, s, ns);
    return String(buf, static_cast<std::size_t>(19 + (digits > 0 ? digits + 1 : 0)));
}

/// The fraction digits of a laid-out time stamp's text.
int StampDigits(std::string_view t) { return t.size() > 20 ? static_cast<int>(t.size() - 20) : 0; }

String FloatText(double v) {
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? String(buf, end) : String();
}

}  // namespace

void TODBCParamSetLayout::LayOut(const std::vector<TODBCParamArray*>& arrays, const std::vector<String>& names,
                                 const std::vector<TFieldType>& types, std::int64_t first, std::int64_t count,
                                 std::vector<TODBCArrayParam>& out) {
    FColumns.resize(arrays.size());
    for (std::size_t k = 0; k < arrays.size(); ++k)
        LayOutColumn(*arrays[k], names[k], types[k], first, count, FColumns[k], out[k]);
}

void TODBCParamSetLayout::LayOutColumn(const TODBCParamArray& a, const String& name, TFieldType type,
                                       std::int64_t first, std::int64_t count, TColumn& col, TODBCArrayParam& p) {
    using K = TODBCParamArray::TKind;
    TODBCParamArray::TKind firstKind = K::Unset;
    for (std::int64_t i = 0; i < a.Size() && firstKind == K::Unset; ++i)
        if (a.Kind(i) != K::Null && a.Kind(i) != K::Unset) firstKind = a.Kind(i);
    const TBindKind bind = BindKindOf(type, firstKind);
    const auto n = static_cast<std::size_t>(count);
    col.Indicators.assign(n, 0);
    p = TODBCArrayParam{};
    p.Indicators = col.Indicators.data();

    // Text-like values: the widest of the run decides the width.
    auto textOf = [&](std::int64_t set, String& scratch) -> std::string_view {
        switch (a.Kind(set)) {
            case K::Text:
                if (bind == TBindKind::TimeStamp) {
                    const std::string_view t = a.AsText(set);
                    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, fd = 0;
                    std::uint32_t ns = 0;
                    if (!ParseDateTime(t, true, true, y, mo, d, h, mi, s, ns, fd))
                        SetError(name, set, "'" + String(t) + "' is not a valid date and time");
                    scratch = StampText(y, mo, d, h, mi, s, ns, fd);
                    return scratch;
                }
                return a.AsText(set);
            case K::Int:
                scratch = std::to_string(a.AsLargeInt(set));
                return scratch;
            case K::Float:
                if (bind == TBindKind::Decimal)
                    SetError(name, set, "a floating-point value for a decimal parameter; give its exact text");
                scratch = FloatText(a.AsFloat(set));
                return scratch;
            case K::DateTime: {
                int y, mo, d, h, mi, s;
                std::uint32_t ns;
                a.DecodeTimeStamp(set, y, mo, d, h, mi, s, ns);
                const int fd = ns == 0 ? 0 : ns % 1000000u == 0 ? 3 : ns % 1000u == 0 ? 6 : 9;
                scratch = StampText(y, mo, d, h, mi, s, ns, fd);
                if (bind == TBindKind::Time) scratch.erase(0, 11);
                return scratch;
            }
            default:
                return {};
        }
    };
    auto check = [&](std::int64_t set) -> bool {  // false for NULL
        const K k = a.Kind(set);
        if (k == K::Unset) SetError(name, set, "no value");
        return k != K::Null;
    };

    switch (bind) {
        case TBindKind::Int:
        case TBindKind::Bit:
        case TBindKind::Float: {
            const std::size_t width = bind == TBindKind::Bit ? 1 : 8;
            col.Data.assign(n * width, std::byte{0});
            p.CType = bind == TBindKind::Int ? SQL_C_SBIGINT : bind == TBindKind::Bit ? SQL_C_BIT : SQL_C_DOUBLE;
            p.SQLType = bind == TBindKind::Int ? SQL_BIGINT : bind == TBindKind::Bit ? SQL_BIT : SQL_DOUBLE;
            p.ColumnSize = bind == TBindKind::Int ? 19 : bind == TBindKind::Bit ? 1 : 15;
            p.Width = static_cast<SQLLEN>(width);
            for (std::size_t i = 0; i < n; ++i) {
                const std::int64_t set = first + static_cast<std::int64_t>(i);
                if (!check(set)) {
                    col.Indicators[i] = SQL_NULL_DATA;
                    continue;
                }
                std::byte* at = col.Data.data() + i * width;
                std::int64_t iv = 0;
                double dv = 0;
                switch (a.Kind(set)) {
                    case K::Int:
                        iv = a.AsLargeInt(set);
                        dv = static_cast<double>(iv);
                        if (bind == TBindKind::Float && static_cast<std::int64_t>(dv) != iv)
                            SetError(name, set, "the integer does not fit a floating-point value exactly");
                        break;
                    case K::Float:
                        dv = a.AsFloat(set);
                        if (bind != TBindKind::Float) {
                            if (!(dv >= -9.2233720368547758e18 && dv < 9.2233720368547758e18) ||
                                static_cast<double>(static_cast<std::int64_t>(dv)) != dv)
                                SetError(name, set, "the value is no integer");
                            iv = static_cast<std::int64_t>(dv);
                        }
                        break;
                    case K::Text: {
                        const std::string_view t = a.AsText(set);
                        if (bind == TBindKind::Float) {
                            const auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), dv);
                            if (ec != std::errc() || end != t.data() + t.size() || t.empty())
                                SetError(name, set, "'" + String(t) + "' is not a valid floating point value");
                        } else if (bind == TBindKind::Bit && (t == "True" || t == "true" || t == "False" || t == "false")) {
                            iv = t[0] == 'T' || t[0] == 't';
                        } else if (!ParseInt(t, iv)) {
                            SetError(name, set, "'" + String(t) + "' is not a valid integer value");
                        }
                        break;
                    }
                    default:
                        SetError(name, set, "a date and time for a numeric parameter");
                }
                if (bind == TBindKind::Int) std::memcpy(at, &iv, 8);
                else if (bind == TBindKind::Float) std::memcpy(at, &dv, 8);
                else {
                    if (iv != 0 && iv != 1) SetError(name, set, "a Boolean value is 0 or 1");
                    *at = static_cast<std::byte>(iv);
                }
            }
            break;
        }
        case TBindKind::Date: {
            const bool date = true;
            const std::size_t width = date ? sizeof(SQL_DATE_STRUCT) : sizeof(SQL_TIMESTAMP_STRUCT);
            col.Data.assign(n * width, std::byte{0});
            p.CType = date ? SQL_C_TYPE_DATE : SQL_C_TYPE_TIMESTAMP;
            p.SQLType = date ? SQL_TYPE_DATE : SQL_TYPE_TIMESTAMP;
            p.Width = static_cast<SQLLEN>(width);
            for (std::size_t i = 0; i < n; ++i) {
                const std::int64_t set = first + static_cast<std::int64_t>(i);
                if (!check(set)) {
                    col.Indicators[i] = SQL_NULL_DATA;
                    continue;
                }
                int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0, fd = 0;
                std::uint32_t ns = 0;
                if (a.Kind(set) == K::DateTime) {
                    a.DecodeTimeStamp(set, y, mo, d, h, mi, s, ns);
                } else if (a.Kind(set) == K::Text) {
                    const std::string_view t = a.AsText(set);
                    if (!ParseDateTime(t, true, false, y, mo, d, h, mi, s, ns, fd))
                        SetError(name, set, "'" + String(t) + "' is not a valid date");
                } else {
                    SetError(name, set, "a number for a date or time parameter");
                }
                if (h || mi || s || ns) SetError(name, set, "a date parameter holds no time of day");
                SQL_DATE_STRUCT v{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(mo),
                                  static_cast<SQLUSMALLINT>(d)};
                std::memcpy(col.Data.data() + i * width, &v, sizeof v);
            }
            p.ColumnSize = 10;
            break;
        }
        default: {
            // Characters, bytes, decimals and times as text: every value of
            // the run at the width of the longest.
            String scratch;
            std::size_t widest = 0, digits = 0, fraction = 0;
            int stampDigits = 0;
            bool timeFraction = false;
            for (std::size_t i = 0; i < n; ++i) {
                const std::int64_t set = first + static_cast<std::int64_t>(i);
                if (!check(set)) continue;
                if (bind == TBindKind::Bytes && a.Kind(set) != K::Text) SetError(name, set, "no bytes for a binary parameter");
                const std::string_view t = textOf(set, scratch);
                widest = std::max(widest, t.size());
                if (bind == TBindKind::Decimal) {
                    std::size_t dg, fr;
                    if (!ParseDecimal(t, dg, fr)) SetError(name, set, "'" + String(t) + "' is not a valid decimal value");
                    digits = std::max(digits - std::min(digits, fraction), dg - fr) + std::max(fraction, fr);
                    fraction = std::max(fraction, fr);
                } else if (bind == TBindKind::Time) {
                    int y, mo, d, h, mi, s, fd;
                    std::uint32_t ns;
                    if (!ParseDateTime(t, false, true, y, mo, d, h, mi, s, ns, fd))
                        SetError(name, set, "'" + String(t) + "' is not a valid time");
                    timeFraction |= fd > 0;
                } else if (bind == TBindKind::TimeStamp) {
                    stampDigits = std::max(stampDigits, StampDigits(t));
                }
            }
            const std::size_t width = widest + 1;
            col.Data.assign(n * width, std::byte{0});
            for (std::size_t i = 0; i < n; ++i) {
                const std::int64_t set = first + static_cast<std::int64_t>(i);
                if (a.Kind(set) == K::Null) {
                    col.Indicators[i] = SQL_NULL_DATA;
                    continue;
                }
                const std::string_view t = textOf(set, scratch);
                if (!t.empty()) std::memcpy(col.Data.data() + i * width, t.data(), t.size());
                col.Indicators[i] = static_cast<SQLLEN>(t.size());
            }
            p.Width = static_cast<SQLLEN>(width);
            p.ColumnSize = widest > 0 ? widest : 1;
            p.CType = bind == TBindKind::Bytes ? SQL_C_BINARY : SQL_C_CHAR;
            switch (bind) {
                case TBindKind::Bytes:
                    p.SQLType = SQL_LONGVARBINARY;
                    break;
                case TBindKind::LongText:
                    p.SQLType = SQL_LONGVARCHAR;
                    break;
                case TBindKind::Decimal:
                    p.SQLType = SQL_DECIMAL;
                    p.ColumnSize = digits > 0 ? digits : 1;
                    p.Digits = static_cast<SQLSMALLINT>(fraction);
                    break;
                case TBindKind::TimeStamp:
                    // Text, not SQL_TIMESTAMP_STRUCT: the SQLite driver writes a
                    // structure's fraction to the millisecond only. The digits
                    // named are the run's most, as drivers cut the fraction to them.
                    p.SQLType = SQL_TYPE_TIMESTAMP;
                    p.Digits = static_cast<SQLSMALLINT>(stampDigits);
                    p.ColumnSize = stampDigits == 0 ? 19 : 20u + static_cast<SQLULEN>(stampDigits);
                    break;
                case TBindKind::Time:
                    // SQL_TYPE_TIME has no fraction (MariaDB refuses one): a
                    // time with a fraction goes as character data.
                    p.SQLType = timeFraction ? SQL_VARCHAR : SQL_TYPE_TIME;
                    break;
                default:
                    p.SQLType = SQL_VARCHAR;
                    break;
            }
            break;
        }
    }
    p.Data = col.Data.empty() ? nullptr : col.Data.data();
}

}  // namespace velora
