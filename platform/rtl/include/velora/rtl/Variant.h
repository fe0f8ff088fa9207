// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The variant: a small value type that holds one value of a handful of
// kinds (integers, floating point, currency, date, Boolean, string), the
// states Empty and Null, or a one-dimensional array of values, and converts
// between them by fixed rules (see Variant). Parameters keep their values in it, and
// fields hand values out through it.
//
// Variants have value semantics: copying one copies its array too. The type
// codes are fixed numbers, since they are stored in form files and compared by
// parameter code.
#pragma once

#include "velora/rtl/DateUtils.h"
#include "velora/rtl/Numbers.h"
#include "velora/rtl/SysUtils.h"

#include <compare>
#include <cstdint>
#include <memory>
#include <string_view>
#include <variant>

namespace velora {

/// A variant type code (VarType).
using TVarType = std::uint16_t;

inline constexpr TVarType varEmpty = 0x0000;
inline constexpr TVarType varNull = 0x0001;
inline constexpr TVarType varSmallint = 0x0002;  ///< 16-bit signed integer
inline constexpr TVarType varInteger = 0x0003;   ///< 32-bit signed integer
inline constexpr TVarType varSingle = 0x0004;
inline constexpr TVarType varDouble = 0x0005;
inline constexpr TVarType varCurrency = 0x0006;
inline constexpr TVarType varDate = 0x0007;
inline constexpr TVarType varOleStr = 0x0008;
inline constexpr TVarType varBoolean = 0x000B;
inline constexpr TVarType varVariant = 0x000C;  ///< element type of arrays of variants
inline constexpr TVarType varByte = 0x0011;
inline constexpr TVarType varInt64 = 0x0014;  ///< 64-bit signed integer
inline constexpr TVarType varString = 0x0100;
inline constexpr TVarType varTypeMask = 0x0FFF;
inline constexpr TVarType varArray = 0x2000;

class Variant;

namespace detail {
struct TVarArrayData;
/// The array of a variant, copied deeply with its variant.
class TVarArrayBox {
public:
    explicit TVarArrayBox(std::unique_ptr<TVarArrayData> data);
    TVarArrayBox(const TVarArrayBox& other);
    TVarArrayBox(TVarArrayBox&&) noexcept;
    TVarArrayBox& operator=(const TVarArrayBox& other);
    TVarArrayBox& operator=(TVarArrayBox&&) noexcept;
    ~TVarArrayBox();
    TVarArrayData& Data() const { return *FData; }

private:
    std::unique_ptr<TVarArrayData> FData;
};
struct TNullTag {
    friend bool operator==(TNullTag, TNullTag) = default;
};
struct TDateTag {
    TDateTime Value;
};
struct TOleStrTag {
    String Value;
};
struct TVariantAccess;
}  // namespace detail

/// A variant.
///
/// Conversions (As...) follow these rules:
/// - Empty converts to 0, 0.0, False, "" and date 0; Null and arrays raise
///   EVariantError "Could not convert variant of type (Null) into type
///   (Integer)" (with the actual type names);
/// - floating point to integer rounds half to even; a result out of the
///   target's range raises EVariantError "Overflow while converting variant of
///   type (Double) into type (Integer)";
/// - Boolean True is -1 as a number and "True" as text (False: 0, "False");
///   numbers are True when not 0; the texts "True"/"False" (any case) and
///   numeric texts convert to Boolean;
/// - strings convert to numbers with "." as decimal separator (StrToFloat,
///   StrToCurr syntax, whatever the locale) and to dates by StrToDateTime;
/// - dates convert to text with the date alone when the time is 00:00, the
///   time alone when the date part is 1899-12-30 (day 0), else both;
///   single-precision values with 7 significant digits, doubles with 15.
class Variant {
public:
    Variant() noexcept = default;  ///< Empty
    Variant(std::int16_t value) : FValue(value) {}
    Variant(std::int32_t value) : FValue(value) {}
    Variant(std::int64_t value) : FValue(value) {}
    Variant(std::uint8_t value) : FValue(value) {}
    Variant(bool value) : FValue(value) {}
    Variant(float value) : FValue(value) {}
    Variant(double value) : FValue(value) {}
    Variant(Currency value) : FValue(value) {}
    Variant(String value) : FValue(std::move(value)) {}
    Variant(const char* value) : FValue(String(value ? value : "")) {}
    Variant(std::string_view value) : FValue(String(value)) {}

    /// A varDate variant.
    static Variant FromDateTime(TDateTime value);
    /// A varOleStr variant (a string of the OLE kind; it behaves as varString).
    static Variant FromOleStr(String value);

    /// The type code; varArray | element type for arrays.
    TVarType VarType() const noexcept;
    bool IsEmpty() const noexcept { return FValue.index() == 0; }
    bool IsNull() const noexcept { return FValue.index() == 1; }
    bool IsArray() const noexcept;

    std::int32_t AsInteger() const;
    /// The value as a 64-bit integer, by the rules of AsInteger.
    std::int64_t AsInt64() const;
    double AsDouble() const;
    Currency AsCurrency() const;
    bool AsBoolean() const;
    TDateTime AsDateTime() const;
    String AsString() const;
    /// The value converted to the type `varType` (a scalar code; Empty and
    /// Null are kept as they are only for those targets), as VarAsType.
    Variant AsType(TVarType varType) const;

    /// Array access: index between the low and the high bound, else
    /// EVariantError "Variant or safe array index out of bounds"; on a
    /// variant that is no array, EVariantError "Variant is not an array".
    const Variant& operator[](int index) const;
    Variant GetElement(int index) const { return (*this)[index]; }
    /// Stores value, converted to the element type unless the array holds
    /// variants.
    void PutElement(int index, const Variant& value);

    /// Equality across numeric kinds (integers, floating point, currency,
    /// date, Boolean as -1/0); strings compare exactly, and a string equals a
    /// number when it converts to that number; Empty equals only Empty, Null
    /// only Null; arrays compare element by element.
    friend bool operator==(const Variant& a, const Variant& b);
    /// Ordering by the same rules; unordered for Null, Empty, arrays against
    /// anything but their own kind, and strings that are no numbers against
    /// numbers. Strings order by their bytes.
    friend std::partial_ordering operator<=>(const Variant& a, const Variant& b);

private:
    friend struct detail::TVariantAccess;
    friend Variant Null();
    friend Variant VarArrayCreate(int lowBound, int highBound, TVarType elementType);
    friend int VarArrayLowBound(const Variant& v, int dim);
    friend int VarArrayHighBound(const Variant& v, int dim);

    using Storage = std::variant<std::monostate, detail::TNullTag, std::int16_t, std::int32_t, float, double, Currency,
                                 detail::TDateTag, detail::TOleStrTag, bool, std::uint8_t, String, detail::TVarArrayBox,
                                 std::int64_t>;
    explicit Variant(Storage value) : FValue(std::move(value)) {}
    [[noreturn]] void CastError(TVarType target) const;
    [[noreturn]] void OverflowError(TVarType target) const;
    detail::TVarArrayData& ArrayData() const;

    Storage FValue;
};

/// The Null variant (an SQL NULL).
Variant Null();
/// The Empty variant (no value assigned).
inline Variant Unassigned() { return Variant(); }

inline TVarType VarType(const Variant& v) { return v.VarType(); }
inline bool VarIsNull(const Variant& v) { return v.IsNull(); }
inline bool VarIsEmpty(const Variant& v) { return v.IsEmpty(); }
inline bool VarIsArray(const Variant& v) { return v.IsArray(); }
/// The value as text; "" for Null (where AsString raises).
String VarToStr(const Variant& v);
/// v converted to varType (see Variant::AsType).
inline Variant VarAsType(const Variant& v, TVarType varType) { return v.AsType(varType); }
/// The name of a type code: "Integer", "String", "Array Byte", ...
String VarTypeAsText(TVarType varType);

/// A one-dimensional array with bounds lowBound..highBound (highBound may be
/// lowBound - 1 for an empty array). elementType is one of varSmallint,
/// varInteger, varSingle, varDouble, varCurrency, varDate, varOleStr,
/// varBoolean, varVariant or varByte; elements start as 0, "", False or
/// Empty. Raises EVariantError "Error creating variant array" otherwise.
Variant VarArrayCreate(int lowBound, int highBound, TVarType elementType);
/// Bounds of dimension `dim` (only 1 exists): EVariantError
/// "Variant is not an array" / "Variant or safe array index out of bounds".
int VarArrayLowBound(const Variant& v, int dim);
int VarArrayHighBound(const Variant& v, int dim);
/// 1 for arrays, 0 otherwise.
int VarArrayDimCount(const Variant& v);

}  // namespace velora
