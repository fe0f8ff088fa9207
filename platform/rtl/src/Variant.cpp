// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Conversions, comparison and arrays of the Variant type (Variant.h).
//
// The alternatives of Variant::Storage are kept in the order of their use in
// VarType below; the index of the held alternative decides the type code.
#include "velora/rtl/Variant.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <vector>

namespace velora {

namespace detail {

struct TVarArrayData {
    TVarType ElementType = varVariant;
    int LowBound = 0;
    std::vector<Variant> Items;
};

TVarArrayBox::TVarArrayBox(std::unique_ptr<TVarArrayData> data) : FData(std::move(data)) {}
TVarArrayBox::TVarArrayBox(const TVarArrayBox& other) : FData(std::make_unique<TVarArrayData>(*other.FData)) {}
TVarArrayBox::TVarArrayBox(TVarArrayBox&&) noexcept = default;
TVarArrayBox& TVarArrayBox::operator=(const TVarArrayBox& other) {
    if (this != &other) FData = std::make_unique<TVarArrayData>(*other.FData);
    return *this;
}
TVarArrayBox& TVarArrayBox::operator=(TVarArrayBox&&) noexcept = default;
TVarArrayBox::~TVarArrayBox() = default;

/// The representation of a variant, for the helpers of this file.
struct TVariantAccess {
    static const auto& Get(const Variant& v) { return v.FValue; }
    [[noreturn]] static void Cast(const Variant& v, TVarType target) { v.CastError(target); }
    [[noreturn]] static void Overflow(const Variant& v, TVarType target) { v.OverflowError(target); }
};

}  // namespace detail

namespace {

enum StorageIndex : std::size_t {
    siEmpty,
    siNull,
    siSmallint,
    siInteger,
    siSingle,
    siDouble,
    siCurrency,
    siDate,
    siOleStr,
    siBoolean,
    siByte,
    siString,
    siArray,
    siInt64
};

constexpr TVarType IndexTypes[] = {varEmpty, varNull,   varSmallint, varInteger, varSingle, varDouble, varCurrency,
                                   varDate,  varOleStr, varBoolean,  varByte,    varString, varArray,  varInt64};

/// x rounded half to even (the variant's conversion of floating point to integer).
double RoundHalfEven(double x) {
    double f = std::floor(x);
    double diff = x - f;
    if (diff > 0.5 || (diff == 0.5 && std::fmod(f, 2.0) != 0)) f += 1;
    return f;
}

String DateText(TDateTime value) {
    TTimeStamp ts = DateTimeToTimeStamp(value);
    if (ts.Date == DateDelta) return TimeToStr(value);
    if (ts.Time == 0) return DateToStr(value);
    return DateToStr(value) + " " + TimeToStr(value);
}

/// How two values compare: exactly as scaled integers, as doubles, as text,
/// or not at all.
enum class TCompareKind { Empty, Null, Exact, Float, Text, Array };

}  // namespace

// ---- construction and type -------------------------------------------------

Variant Variant::FromDateTime(TDateTime value) { return Variant(Storage(detail::TDateTag{value})); }

Variant Variant::FromOleStr(String value) { return Variant(Storage(detail::TOleStrTag{std::move(value)})); }

Variant Null() { return Variant(Variant::Storage(detail::TNullTag{})); }

TVarType Variant::VarType() const noexcept {
    if (FValue.index() == siArray)
        return static_cast<TVarType>(varArray | std::get<siArray>(FValue).Data().ElementType);
    return IndexTypes[FValue.index()];
}

bool Variant::IsArray() const noexcept { return FValue.index() == siArray; }

String VarTypeAsText(TVarType varType) {
    String prefix;
    if (varType & varArray) prefix = "Array ";
    switch (varType & varTypeMask) {
        case varEmpty:
            return prefix + "Empty";
        case varNull:
            return prefix + "Null";
        case varSmallint:
            return prefix + "Smallint";
        case varInteger:
            return prefix + "Integer";
        case varSingle:
            return prefix + "Single";
        case varDouble:
            return prefix + "Double";
        case varCurrency:
            return prefix + "Currency";
        case varDate:
            return prefix + "Date";
        case varOleStr:
            return prefix + "OleStr";
        case varBoolean:
            return prefix + "Boolean";
        case varVariant:
            return prefix + "Variant";
        case varByte:
            return prefix + "Byte";
        case varInt64:
            return prefix + "Int64";
        case varString:
            return prefix + "String";
        default: {
            char buf[16];
            std::snprintf(buf, sizeof buf, "$%04X", static_cast<unsigned>(varType & varTypeMask));
            return prefix + buf;
        }
    }
}

void Variant::CastError(TVarType target) const {
    throw EVariantError("Could not convert variant of type (" + VarTypeAsText(VarType()) + ") into type (" +
                        VarTypeAsText(target) + ")");
}

void Variant::OverflowError(TVarType target) const {
    throw EVariantError("Overflow while converting variant of type (" + VarTypeAsText(VarType()) + ") into type (" +
                        VarTypeAsText(target) + ")");
}

// ---- conversions -------------------------------------------------------------

namespace {

using detail::TVariantAccess;

/// The text of a string variant, or null for other kinds.
const String* TextOf(const Variant& v) {
    const auto& s = TVariantAccess::Get(v);
    if (s.index() == siString) return &std::get<siString>(s);
    if (s.index() == siOleStr) return &std::get<siOleStr>(s).Value;
    return nullptr;
}

}  // namespace

double Variant::AsDouble() const {
    switch (FValue.index()) {
        case siEmpty:
            return 0;
        case siSmallint:
            return std::get<siSmallint>(FValue);
        case siInteger:
            return std::get<siInteger>(FValue);
        case siByte:
            return std::get<siByte>(FValue);
        case siInt64:
            return static_cast<double>(std::get<siInt64>(FValue));
        case siSingle:
            return std::get<siSingle>(FValue);
        case siDouble:
            return std::get<siDouble>(FValue);
        case siCurrency:
            return std::get<siCurrency>(FValue).ToDouble();
        case siDate:
            return std::get<siDate>(FValue).Value;
        case siBoolean:
            return std::get<siBoolean>(FValue) ? -1 : 0;
        case siOleStr:
        case siString: {
            double d = 0;
            if (TryStrToFloat(AsString(), d)) return d;
            break;
        }
        default:
            break;
    }
    CastError(varDouble);
}

namespace {

/// Integer conversion shared by AsInteger and AsType(varSmallint/varByte):
/// the value as a whole number within [lo, hi].
std::int64_t WholeValue(const Variant& v, TVarType target, std::int64_t lo, std::int64_t hi) {
    const auto& s = TVariantAccess::Get(v);
    std::int64_t r = 0;
    auto fromDouble = [&](double x) {
        double f = RoundHalfEven(x);
        // 2^63 is the first double beyond every 64-bit integer.
        if (!(f >= static_cast<double>(lo) && f <= static_cast<double>(hi)) || f >= 9223372036854775808.0)
            TVariantAccess::Overflow(v, target);
        return static_cast<std::int64_t>(f);
    };
    switch (s.index()) {
        case siEmpty:
            r = 0;
            break;
        case siSmallint:
            r = std::get<siSmallint>(s);
            break;
        case siInteger:
            r = std::get<siInteger>(s);
            break;
        case siByte:
            r = std::get<siByte>(s);
            break;
        case siInt64:
            r = std::get<siInt64>(s);
            break;
        case siBoolean:
            r = std::get<siBoolean>(s) ? -1 : 0;
            break;
        case siSingle:
            return fromDouble(std::get<siSingle>(s));
        case siDouble:
            return fromDouble(std::get<siDouble>(s));
        case siDate:
            return fromDouble(std::get<siDate>(s).Value);
        case siCurrency: {
            std::int64_t u = std::get<siCurrency>(s).Units();
            std::int64_t q = u / Currency::Scale, rem = u % Currency::Scale;
            std::int64_t twice = 2 * (rem < 0 ? -rem : rem);
            if (twice > Currency::Scale || (twice == Currency::Scale && q % 2 != 0)) q += u < 0 ? -1 : 1;
            r = q;
            break;
        }
        case siOleStr:
        case siString: {
            const String& text = *TextOf(v);
            long long i = 0;
            double d = 0;
            if (TryStrToInt(text, i))
                r = i;
            else if (TryStrToFloat(text, d))
                return fromDouble(d);
            else
                TVariantAccess::Cast(v, target);
            break;
        }
        default:
            TVariantAccess::Cast(v, target);
    }
    if (r < lo || r > hi) TVariantAccess::Overflow(v, target);
    return r;
}

}  // namespace

std::int32_t Variant::AsInteger() const {
    return static_cast<std::int32_t>(WholeValue(*this, varInteger, INT32_MIN, INT32_MAX));
}

std::int64_t Variant::AsInt64() const { return WholeValue(*this, varInt64, INT64_MIN, INT64_MAX); }

Currency Variant::AsCurrency() const {
    Currency c;
    switch (FValue.index()) {
        case siEmpty:
            return c;
        case siSmallint:
            return Currency::FromInt(std::get<siSmallint>(FValue));
        case siInteger:
            return Currency::FromInt(std::get<siInteger>(FValue));
        case siByte:
            return Currency::FromInt(std::get<siByte>(FValue));
        case siBoolean:
            return Currency::FromInt(std::get<siBoolean>(FValue) ? -1 : 0);
        case siCurrency:
            return std::get<siCurrency>(FValue);
        case siInt64: {
            const std::int64_t v = std::get<siInt64>(FValue);
            if (v > INT64_MAX / Currency::Scale || v < INT64_MIN / Currency::Scale) OverflowError(varCurrency);
            return Currency::FromInt(v);
        }
        case siSingle:
        case siDouble:
        case siDate:
            if (!Currency::TryFromDouble(AsDouble(), c)) OverflowError(varCurrency);
            return c;
        case siOleStr:
        case siString: {
            const String& text = *TextOf(*this);
            if (TryStrToCurr(text, c)) return c;
            double d = 0;
            if (TryStrToFloat(text, d)) OverflowError(varCurrency);
            break;
        }
        default:
            break;
    }
    CastError(varCurrency);
}

bool Variant::AsBoolean() const {
    switch (FValue.index()) {
        case siEmpty:
            return false;
        case siBoolean:
            return std::get<siBoolean>(FValue);
        case siInt64:
            return std::get<siInt64>(FValue) != 0;
        case siSmallint:
        case siInteger:
        case siByte:
        case siSingle:
        case siDouble:
        case siDate:
            return AsDouble() != 0;
        case siCurrency:
            return std::get<siCurrency>(FValue).Units() != 0;
        case siOleStr:
        case siString: {
            const String& text = *TextOf(*this);
            String t = Trim(text);
            if (SameText(t, "True")) return true;
            if (SameText(t, "False")) return false;
            double d = 0;
            if (TryStrToFloat(text, d)) return d != 0;
            break;
        }
        default:
            break;
    }
    CastError(varBoolean);
}

TDateTime Variant::AsDateTime() const {
    switch (FValue.index()) {
        case siOleStr:
        case siString: {
            TDateTime d = 0;
            if (TryStrToDateTime(*TextOf(*this), d)) return d;
            CastError(varDate);
        }
        case siNull:
        case siArray:
            CastError(varDate);
        default:
            return AsDouble();
    }
}

String Variant::AsString() const {
    switch (FValue.index()) {
        case siEmpty:
            return String();
        case siSmallint:
            return IntToStr(std::get<siSmallint>(FValue));
        case siInteger:
            return IntToStr(std::get<siInteger>(FValue));
        case siByte:
            return IntToStr(std::get<siByte>(FValue));
        case siInt64:
            return IntToStr(static_cast<long long>(std::get<siInt64>(FValue)));
        case siSingle:
            return FloatToStrF(std::get<siSingle>(FValue), ffGeneral, 7, 0);
        case siDouble:
            return FloatToStr(std::get<siDouble>(FValue));
        case siCurrency:
            return CurrToStr(std::get<siCurrency>(FValue));
        case siDate:
            return DateText(std::get<siDate>(FValue).Value);
        case siBoolean:
            return std::get<siBoolean>(FValue) ? "True" : "False";
        case siOleStr:
        case siString:
            return *TextOf(*this);
        default:
            CastError(varString);
    }
}

Variant Variant::AsType(TVarType varType) const {
    switch (varType) {
        case varEmpty:
            return Variant();
        case varNull:
            return Null();
        case varSmallint:
            return Variant(static_cast<std::int16_t>(WholeValue(*this, varSmallint, INT16_MIN, INT16_MAX)));
        case varInteger:
            return Variant(AsInteger());
        case varByte:
            return Variant(static_cast<std::uint8_t>(WholeValue(*this, varByte, 0, UINT8_MAX)));
        case varInt64:
            return Variant(AsInt64());
        case varSingle: {
            double d = 0;
            try {
                d = AsDouble();
            } catch (const EVariantError&) {
                CastError(varSingle);
            }
            if (std::isfinite(d) && std::fabs(d) > FLT_MAX) OverflowError(varSingle);
            return Variant(static_cast<float>(d));
        }
        case varDouble:
            return Variant(AsDouble());
        case varCurrency:
            return Variant(AsCurrency());
        case varDate:
            return FromDateTime(AsDateTime());
        case varOleStr:
            return FromOleStr(AsString());
        case varBoolean:
            return Variant(AsBoolean());
        case varString:
            return Variant(AsString());
        case varVariant:
            return *this;
        default:
            CastError(varType);
    }
}

String VarToStr(const Variant& v) { return v.IsNull() ? String() : v.AsString(); }

// ---- arrays ------------------------------------------------------------------

Variant VarArrayCreate(int lowBound, int highBound, TVarType elementType) {
    Variant element;
    switch (elementType) {
        case varSmallint:
            element = Variant(std::int16_t{0});
            break;
        case varInteger:
            element = Variant(std::int32_t{0});
            break;
        case varSingle:
            element = Variant(0.0f);
            break;
        case varDouble:
            element = Variant(0.0);
            break;
        case varCurrency:
            element = Variant(Currency());
            break;
        case varDate:
            element = Variant::FromDateTime(0);
            break;
        case varOleStr:
            element = Variant::FromOleStr(String());
            break;
        case varBoolean:
            element = Variant(false);
            break;
        case varByte:
            element = Variant(std::uint8_t{0});
            break;
        case varVariant:
            break;
        default:
            throw EVariantError("Error creating variant array");
    }
    std::int64_t count = static_cast<std::int64_t>(highBound) - lowBound + 1;
    if (count < 0 || count > (std::int64_t{1} << 28)) throw EVariantError("Error creating variant array");
    auto data = std::make_unique<detail::TVarArrayData>();
    data->ElementType = elementType;
    data->LowBound = lowBound;
    data->Items.assign(static_cast<std::size_t>(count), element);
    return Variant(Variant::Storage(detail::TVarArrayBox(std::move(data))));
}

detail::TVarArrayData& Variant::ArrayData() const {
    if (FValue.index() != siArray) throw EVariantError("Variant is not an array");
    return std::get<siArray>(FValue).Data();
}

int VarArrayDimCount(const Variant& v) { return v.IsArray() ? 1 : 0; }

int VarArrayLowBound(const Variant& v, int dim) {
    const detail::TVarArrayData& a = v.ArrayData();
    if (dim != 1) throw EVariantError("Variant or safe array index out of bounds");
    return a.LowBound;
}

int VarArrayHighBound(const Variant& v, int dim) {
    const detail::TVarArrayData& a = v.ArrayData();
    if (dim != 1) throw EVariantError("Variant or safe array index out of bounds");
    return static_cast<int>(a.LowBound + static_cast<std::int64_t>(a.Items.size()) - 1);
}

const Variant& Variant::operator[](int index) const {
    const detail::TVarArrayData& a = ArrayData();
    std::int64_t i = static_cast<std::int64_t>(index) - a.LowBound;
    if (i < 0 || i >= static_cast<std::int64_t>(a.Items.size()))
        throw EVariantError("Variant or safe array index out of bounds");
    return a.Items[static_cast<std::size_t>(i)];
}

void Variant::PutElement(int index, const Variant& value) {
    detail::TVarArrayData& a = ArrayData();
    std::int64_t i = static_cast<std::int64_t>(index) - a.LowBound;
    if (i < 0 || i >= static_cast<std::int64_t>(a.Items.size()))
        throw EVariantError("Variant or safe array index out of bounds");
    // Convert first: a failing conversion leaves the element unchanged.
    Variant stored = a.ElementType == varVariant ? value : value.AsType(a.ElementType);
    a.Items[static_cast<std::size_t>(i)] = std::move(stored);
}

// ---- comparison --------------------------------------------------------------

namespace {

TCompareKind KindOf(const Variant& v) {
    switch (TVariantAccess::Get(v).index()) {
        case siEmpty:
            return TCompareKind::Empty;
        case siNull:
            return TCompareKind::Null;
        case siSmallint:
        case siInteger:
        case siByte:
        case siBoolean:
        case siCurrency:
        case siInt64:
            return TCompareKind::Exact;
        case siSingle:
        case siDouble:
        case siDate:
            return TCompareKind::Float;
        case siOleStr:
        case siString:
            return TCompareKind::Text;
        default:
            return TCompareKind::Array;
    }
}

/// An exact value in 1/10000 units.
__int128 ScaledUnits(const Variant& v) {
    const auto& s = TVariantAccess::Get(v);
    if (s.index() == siCurrency) return std::get<siCurrency>(s).Units();
    return static_cast<__int128>(v.AsInt64()) * Currency::Scale;
}

std::partial_ordering CompareDoubles(double a, double b) { return a <=> b; }

}  // namespace

std::partial_ordering operator<=>(const Variant& a, const Variant& b) {
    TCompareKind ka = KindOf(a), kb = KindOf(b);
    if (ka == TCompareKind::Empty || ka == TCompareKind::Null || kb == TCompareKind::Empty || kb == TCompareKind::Null)
        return ka == kb ? std::partial_ordering::equivalent : std::partial_ordering::unordered;
    if (ka == TCompareKind::Array || kb == TCompareKind::Array) {
        if (ka != kb) return std::partial_ordering::unordered;
        const auto& da = std::get<siArray>(a.FValue).Data();
        const auto& db = std::get<siArray>(b.FValue).Data();
        if (da.LowBound != db.LowBound || da.Items.size() != db.Items.size()) return std::partial_ordering::unordered;
        for (std::size_t i = 0; i < da.Items.size(); ++i) {
            std::partial_ordering c = da.Items[i] <=> db.Items[i];
            if (c != 0) return c;
        }
        return std::partial_ordering::equivalent;
    }
    if (ka == TCompareKind::Text && kb == TCompareKind::Text) {
        int c = TextOf(a)->compare(*TextOf(b));
        return c < 0 ? std::partial_ordering::less
                     : (c > 0 ? std::partial_ordering::greater : std::partial_ordering::equivalent);
    }
    if (ka == TCompareKind::Text || kb == TCompareKind::Text) {
        // A string against a number compares as a number, when it is one.
        double da = 0, db = 0;
        if (ka == TCompareKind::Text ? !TryStrToFloat(*TextOf(a), da) : (da = a.AsDouble(), false))
            return std::partial_ordering::unordered;
        if (kb == TCompareKind::Text ? !TryStrToFloat(*TextOf(b), db) : (db = b.AsDouble(), false))
            return std::partial_ordering::unordered;
        return CompareDoubles(da, db);
    }
    if (ka == TCompareKind::Exact && kb == TCompareKind::Exact) {
        __int128 ua = ScaledUnits(a), ub = ScaledUnits(b);
        return ua < ub ? std::partial_ordering::less
                       : (ua > ub ? std::partial_ordering::greater : std::partial_ordering::equivalent);
    }
    return CompareDoubles(a.AsDouble(), b.AsDouble());
}

bool operator==(const Variant& a, const Variant& b) { return (a <=> b) == 0; }

}  // namespace velora
