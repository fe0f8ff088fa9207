// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Variants: type codes, the conversion rules and their error
// messages, comparison across kinds, and one-dimensional arrays with value
// semantics.
#include "velora/rtl/Variant.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace velora;

namespace {

/// Runs f, expecting EVariantError with exactly `message`.
template <typename F>
void ExpectVariantError(F f, const String& message) {
    try {
        f();
        ADD_FAILURE() << "no exception, expected: " << message;
    } catch (const EVariantError& e) {
        EXPECT_EQ(e.Message(), message);
    }
}

}  // namespace

TEST(Variant, TypeCodesAreTheHosts) {
    EXPECT_EQ(Variant().VarType(), 0);
    EXPECT_EQ(Unassigned().VarType(), varEmpty);
    EXPECT_EQ(Null().VarType(), 1);
    EXPECT_EQ(Variant(std::int16_t{5}).VarType(), 2);
    EXPECT_EQ(Variant(5).VarType(), 3);
    EXPECT_EQ(Variant(1.5f).VarType(), 4);
    EXPECT_EQ(Variant(1.5).VarType(), 5);
    EXPECT_EQ(Variant(Currency::FromInt(2)).VarType(), 6);
    EXPECT_EQ(Variant::FromDateTime(36526).VarType(), 7);
    EXPECT_EQ(Variant::FromOleStr("x").VarType(), 8);
    EXPECT_EQ(Variant(true).VarType(), 11);
    EXPECT_EQ(Variant(std::uint8_t{7}).VarType(), 17);
    EXPECT_EQ(Variant("abc").VarType(), 256);
    EXPECT_EQ(Variant(String("abc")).VarType(), varString);
    EXPECT_EQ(VarArrayCreate(0, 2, varVariant).VarType(), 0x200C);
    EXPECT_EQ(VarArrayCreate(0, 2, varByte).VarType(), 0x2011);
    EXPECT_TRUE(Null().IsNull());
    EXPECT_FALSE(Null().IsEmpty());
    EXPECT_TRUE(Variant().IsEmpty());
    EXPECT_FALSE(Variant(0).IsEmpty());
    EXPECT_FALSE(Variant("").IsNull());
}

TEST(Variant, TypeNames) {
    EXPECT_EQ(VarTypeAsText(varNull), "Null");
    EXPECT_EQ(VarTypeAsText(varSmallint), "Smallint");
    EXPECT_EQ(VarTypeAsText(varString), "String");
    EXPECT_EQ(VarTypeAsText(varOleStr), "OleStr");
    EXPECT_EQ(VarTypeAsText(varArray | varByte), "Array Byte");
    EXPECT_EQ(VarTypeAsText(0x0E), "$000E");
}

TEST(VariantToString, FollowsTheHostsTexts) {
    EXPECT_EQ(Variant(true).AsString(), "True");
    EXPECT_EQ(Variant(false).AsString(), "False");
    EXPECT_EQ(Variant(42).AsString(), "42");
    EXPECT_EQ(Variant(std::int16_t{-7}).AsString(), "-7");
    EXPECT_EQ(Variant(1.5).AsString(), "1.5");
    EXPECT_EQ(Variant(1.0 / 3).AsString(), "0.333333333333333");
    EXPECT_EQ(Variant(0.1f).AsString(), "0.1");  // single precision shows 7 digits
    EXPECT_EQ(Variant(1e20).AsString(), "1E20");
    EXPECT_EQ(Variant(StrToCurr("1234.5600")).AsString(), "1234.56");
    EXPECT_EQ(Variant().AsString(), "");
    EXPECT_EQ(Variant::FromOleStr("wide").AsString(), "wide");
}

TEST(VariantToString, DatesShowOnlyTheirNonZeroParts) {
    EXPECT_EQ(Variant::FromDateTime(EncodeDate(2000, 1, 1)).AsString(), "2000-01-01");
    EXPECT_EQ(Variant::FromDateTime(EncodeTime(12, 0, 0, 0)).AsString(), "12:00:00");
    EXPECT_EQ(Variant::FromDateTime(EncodeDateTime(2000, 1, 1, 12, 0, 0, 5)).AsString(), "2000-01-01 12:00:00.005");
    EXPECT_EQ(Variant::FromDateTime(EncodeDateTime(1800, 1, 1, 10, 0, 0, 0)).AsString(), "1800-01-01 10:00:00");
    EXPECT_EQ(Variant::FromDateTime(0).AsString(), "00:00:00");
    // The texts read back as the same values.
    for (TDateTime v : {EncodeDate(2000, 1, 1), EncodeTime(12, 0, 0, 0), EncodeDateTime(1800, 1, 1, 10, 0, 0, 0)})
        EXPECT_EQ(Variant(Variant::FromDateTime(v).AsString()).AsDateTime(), v);
}

TEST(VariantToString, NullRaisesButVarToStrGivesEmpty) {
    ExpectVariantError([] { (void)Null().AsString(); }, "Could not convert variant of type (Null) into type (String)");
    EXPECT_EQ(VarToStr(Null()), "");
    EXPECT_EQ(VarToStr(Variant(3)), "3");
}

TEST(VariantToInteger, RoundsHalfToEvenAndChecksTheRange) {
    EXPECT_EQ(Variant(2.5).AsInteger(), 2);
    EXPECT_EQ(Variant(3.5).AsInteger(), 4);
    EXPECT_EQ(Variant(-2.5).AsInteger(), -2);
    EXPECT_EQ(Variant(2.51).AsInteger(), 3);
    EXPECT_EQ(Variant(StrToCurr("2.5")).AsInteger(), 2);
    EXPECT_EQ(Variant(StrToCurr("3.5")).AsInteger(), 4);
    EXPECT_EQ(Variant(StrToCurr("-3.5")).AsInteger(), -4);
    EXPECT_EQ(Variant(StrToCurr("-3.4999")).AsInteger(), -3);
    EXPECT_EQ(Variant(true).AsInteger(), -1);
    EXPECT_EQ(Variant(false).AsInteger(), 0);
    EXPECT_EQ(Variant().AsInteger(), 0);
    EXPECT_EQ(Variant(std::uint8_t{200}).AsInteger(), 200);
    EXPECT_EQ(Variant::FromDateTime(36526.75).AsInteger(), 36527);
    EXPECT_EQ(Variant(2147483647.4).AsInteger(), 2147483647);
    ExpectVariantError([] { (void)Variant(3e9).AsInteger(); },
                       "Overflow while converting variant of type (Double) into type (Integer)");
    ExpectVariantError([] { (void)Variant(std::nan("")).AsInteger(); },
                       "Overflow while converting variant of type (Double) into type (Integer)");
    ExpectVariantError([] { (void)Variant(Currency::FromInt(3000000000LL)).AsInteger(); },
                       "Overflow while converting variant of type (Currency) into type (Integer)");
}

TEST(VariantToInteger, StringsConvertWhenTheyAreNumbers) {
    EXPECT_EQ(Variant("12").AsInteger(), 12);
    EXPECT_EQ(Variant(" -12 ").AsInteger(), -12);
    EXPECT_EQ(Variant("12.5").AsInteger(), 12);
    EXPECT_EQ(Variant("13.5").AsInteger(), 14);
    EXPECT_EQ(Variant("1e3").AsInteger(), 1000);
    ExpectVariantError([] { (void)Variant("abc").AsInteger(); },
                       "Could not convert variant of type (String) into type (Integer)");
    ExpectVariantError([] { (void)Variant("True").AsInteger(); },
                       "Could not convert variant of type (String) into type (Integer)");
    ExpectVariantError([] { (void)Variant("3000000000").AsInteger(); },
                       "Overflow while converting variant of type (String) into type (Integer)");
    ExpectVariantError([] { (void)Null().AsInteger(); },
                       "Could not convert variant of type (Null) into type (Integer)");
}

TEST(VariantToDouble, NumbersDatesBooleansAndPointDecimalText) {
    EXPECT_EQ(Variant(7).AsDouble(), 7.0);
    EXPECT_EQ(Variant(0.1f).AsDouble(), static_cast<double>(0.1f));
    EXPECT_EQ(Variant(StrToCurr("0.1")).AsDouble(), 0.1);
    EXPECT_EQ(Variant::FromDateTime(-1.25).AsDouble(), -1.25);
    EXPECT_EQ(Variant(true).AsDouble(), -1.0);
    EXPECT_EQ(Variant(" 1.5e1 ").AsDouble(), 15.0);
    EXPECT_EQ(Variant().AsDouble(), 0.0);
    ExpectVariantError([] { (void)Variant("1,5").AsDouble(); },
                       "Could not convert variant of type (String) into type (Double)");
    ExpectVariantError([] { (void)Null().AsDouble(); }, "Could not convert variant of type (Null) into type (Double)");
}

TEST(VariantToCurrency, ExactFromTextRoundedFromDoubles) {
    EXPECT_EQ(Variant("0.1").AsCurrency().Units(), 1000);
    EXPECT_EQ(Variant("900719925474.0993").AsCurrency().Units(), 9007199254740993LL);
    EXPECT_EQ(Variant(0.1).AsCurrency().Units(), 1000);
    EXPECT_EQ(Variant(0.03125).AsCurrency().Units(), 312);
    EXPECT_EQ(Variant(-3).AsCurrency(), Currency::FromInt(-3));
    EXPECT_EQ(Variant(true).AsCurrency(), Currency::FromInt(-1));
    ExpectVariantError([] { (void)Variant(1e300).AsCurrency(); },
                       "Overflow while converting variant of type (Double) into type (Currency)");
    ExpectVariantError([] { (void)Variant("1e20").AsCurrency(); },
                       "Overflow while converting variant of type (String) into type (Currency)");
    ExpectVariantError([] { (void)Variant("abc").AsCurrency(); },
                       "Could not convert variant of type (String) into type (Currency)");
}

TEST(VariantToBoolean, TextsTrueFalseAndNumbers) {
    EXPECT_TRUE(Variant("True").AsBoolean());
    EXPECT_TRUE(Variant("true").AsBoolean());
    EXPECT_FALSE(Variant(" FALSE ").AsBoolean());
    EXPECT_TRUE(Variant("1").AsBoolean());
    EXPECT_FALSE(Variant("0").AsBoolean());
    EXPECT_TRUE(Variant(-1).AsBoolean());
    EXPECT_FALSE(Variant(0.0).AsBoolean());
    EXPECT_TRUE(Variant(0.5).AsBoolean());
    EXPECT_FALSE(Variant(Currency()).AsBoolean());
    EXPECT_TRUE(Variant(Currency::FromUnits(1)).AsBoolean());
    EXPECT_FALSE(Variant().AsBoolean());
    ExpectVariantError([] { (void)Variant("yes").AsBoolean(); },
                       "Could not convert variant of type (String) into type (Boolean)");
    ExpectVariantError([] { (void)Null().AsBoolean(); },
                       "Could not convert variant of type (Null) into type (Boolean)");
}

TEST(VariantToDateTime, NumbersAreDaysTextIsParsed) {
    EXPECT_EQ(Variant("2000-01-01").AsDateTime(), 36526.0);
    EXPECT_EQ(Variant("12:00").AsDateTime(), 0.5);
    EXPECT_EQ(Variant("2000-01-01 06:00:00").AsDateTime(), 36526.25);
    EXPECT_EQ(Variant(36526).AsDateTime(), 36526.0);
    EXPECT_EQ(Variant(-1.25).AsDateTime(), -1.25);
    EXPECT_EQ(Variant().AsDateTime(), 0.0);
    ExpectVariantError([] { (void)Variant("2023-02-29").AsDateTime(); },
                       "Could not convert variant of type (String) into type (Date)");
    ExpectVariantError([] { (void)Null().AsDateTime(); }, "Could not convert variant of type (Null) into type (Date)");
}

TEST(VariantAsType, ConvertsAndChecksTheTargetRange) {
    Variant s = Variant(1.5).AsType(varString);
    EXPECT_EQ(s.VarType(), varString);
    EXPECT_EQ(s.AsString(), "1.5");
    Variant d = VarAsType(Variant("2000-01-01"), varDate);
    EXPECT_EQ(d.VarType(), varDate);
    EXPECT_EQ(d.AsDouble(), 36526.0);
    EXPECT_EQ(Variant(255).AsType(varByte).VarType(), varByte);
    EXPECT_EQ(Variant(-32768).AsType(varSmallint).AsInteger(), -32768);
    EXPECT_EQ(Variant("x").AsType(varOleStr).VarType(), varOleStr);
    EXPECT_EQ(Variant(1).AsType(varNull).VarType(), varNull);
    EXPECT_EQ(Variant(1.5).AsType(varSingle).AsDouble(), 1.5);
    ExpectVariantError([] { (void)Variant(40000).AsType(varSmallint); },
                       "Overflow while converting variant of type (Integer) into type (Smallint)");
    ExpectVariantError([] { (void)Variant(256).AsType(varByte); },
                       "Overflow while converting variant of type (Integer) into type (Byte)");
    ExpectVariantError([] { (void)Variant(-1).AsType(varByte); },
                       "Overflow while converting variant of type (Integer) into type (Byte)");
    ExpectVariantError([] { (void)Variant(1e300).AsType(varSingle); },
                       "Overflow while converting variant of type (Double) into type (Single)");
    ExpectVariantError([] { (void)Variant("abc").AsType(varSingle); },
                       "Could not convert variant of type (String) into type (Single)");
}

TEST(VariantCompare, NumbersCompareAcrossKinds) {
    EXPECT_EQ(Variant(1), Variant(1.0));
    EXPECT_EQ(Variant(std::int16_t{1}), Variant(1));
    EXPECT_EQ(Variant(std::uint8_t{1}), Variant(StrToCurr("1")));
    EXPECT_EQ(Variant(StrToCurr("1.5")), Variant(1.5));
    EXPECT_EQ(Variant(StrToCurr("0.1")), Variant(0.1));  // currency meets double as a double
    EXPECT_NE(Variant(0.1f), Variant(0.1));
    EXPECT_EQ(Variant(true), Variant(-1));
    EXPECT_EQ(Variant::FromDateTime(36526), Variant(36526));
    EXPECT_LT(Variant(1), Variant(2.5));
    EXPECT_GT(Variant(StrToCurr("0.0002")), Variant(StrToCurr("0.0001")));
    EXPECT_LT(Variant(MinCurrency), Variant(INT32_MIN));
    EXPECT_TRUE(std::is_eq(Variant(std::nan("")) <=> Variant(std::nan(""))) == false);
}

TEST(VariantCompare, StringsExactlyAndAgainstNumbersAsNumbers) {
    EXPECT_EQ(Variant("abc"), Variant("abc"));
    EXPECT_EQ(Variant("abc"), Variant::FromOleStr("abc"));
    EXPECT_NE(Variant("abc"), Variant("ABC"));
    EXPECT_NE(Variant("1"), Variant("1.0"));
    EXPECT_LT(Variant("a"), Variant("b"));
    EXPECT_EQ(Variant("1.5"), Variant(1.5));
    EXPECT_LT(Variant("10"), Variant(11));
    EXPECT_NE(Variant("abc"), Variant(1));
    EXPECT_EQ(Variant("abc") <=> Variant(1), std::partial_ordering::unordered);
}

TEST(VariantCompare, EmptyAndNullOnlyEqualThemselves) {
    EXPECT_EQ(Null(), Null());
    EXPECT_EQ(Variant(), Variant());
    EXPECT_NE(Null(), Variant(0));
    EXPECT_NE(Variant(), Variant(0));
    EXPECT_NE(Variant(), Variant(""));
    EXPECT_NE(Variant(), Null());
    EXPECT_EQ(Null() <=> Variant(0), std::partial_ordering::unordered);
}

TEST(VariantArray, BoundsElementsAndValueSemantics) {
    Variant a = VarArrayCreate(0, 4, varVariant);
    EXPECT_TRUE(a.IsArray());
    EXPECT_EQ(VarArrayDimCount(a), 1);
    EXPECT_EQ(VarArrayLowBound(a, 1), 0);
    EXPECT_EQ(VarArrayHighBound(a, 1), 4);
    for (int i = 0; i <= 4; ++i) EXPECT_TRUE(a[i].IsEmpty());
    a.PutElement(2, "x");
    a.PutElement(3, Null());
    EXPECT_EQ(a[2], Variant("x"));
    EXPECT_TRUE(a.GetElement(3).IsNull());
    Variant copy = a;
    copy.PutElement(2, 5);
    EXPECT_EQ(a[2], Variant("x"));
    EXPECT_EQ(copy[2], Variant(5));
    EXPECT_NE(a, copy);
    copy.PutElement(2, "x");
    EXPECT_EQ(a, copy);
    Variant nested = VarArrayCreate(1, 1, varVariant);
    nested.PutElement(1, a);
    EXPECT_EQ(nested[1][2], Variant("x"));
    ExpectVariantError([&] { (void)a[5]; }, "Variant or safe array index out of bounds");
    ExpectVariantError([&] { a.PutElement(-1, 1); }, "Variant or safe array index out of bounds");
    ExpectVariantError([&] { (void)VarArrayLowBound(a, 2); }, "Variant or safe array index out of bounds");
}

TEST(VariantArray, TypedArraysConvertOnStore) {
    Variant a = VarArrayCreate(10, 12, varInteger);
    EXPECT_EQ(VarArrayLowBound(a, 1), 10);
    EXPECT_EQ(VarArrayHighBound(a, 1), 12);
    EXPECT_EQ(a[10].VarType(), varInteger);
    EXPECT_EQ(a[10].AsInteger(), 0);
    a.PutElement(11, "42");
    EXPECT_EQ(a[11].VarType(), varInteger);
    EXPECT_EQ(a[11].AsInteger(), 42);
    ExpectVariantError([&] { a.PutElement(11, "abc"); },
                       "Could not convert variant of type (String) into type (Integer)");
    EXPECT_EQ(a[11].AsInteger(), 42);  // unchanged by the failed store
    Variant bytes = VarArrayCreate(0, 1, varByte);
    ExpectVariantError([&] { bytes.PutElement(0, 300); },
                       "Overflow while converting variant of type (Integer) into type (Byte)");
    EXPECT_EQ(VarArrayCreate(0, 0, varOleStr)[0].VarType(), varOleStr);
    EXPECT_EQ(VarArrayCreate(0, 0, varDate)[0].VarType(), varDate);
}

TEST(VariantArray, CreationLimitsAndMisuse) {
    Variant empty = VarArrayCreate(0, -1, varVariant);
    EXPECT_EQ(VarArrayHighBound(empty, 1), -1);
    ExpectVariantError([] { (void)VarArrayCreate(0, -2, varVariant); }, "Error creating variant array");
    ExpectVariantError([] { (void)VarArrayCreate(0, 3, varString); }, "Error creating variant array");
    ExpectVariantError([] { (void)VarArrayCreate(INT32_MIN, INT32_MAX, varByte); }, "Error creating variant array");
    ExpectVariantError([] { (void)VarArrayLowBound(Variant(1), 1); }, "Variant is not an array");
    ExpectVariantError([] { (void)Variant(1)[0]; }, "Variant is not an array");
    EXPECT_EQ(VarArrayDimCount(Variant(1)), 0);
    ExpectVariantError([] { (void)VarArrayCreate(0, 1, varVariant).AsInteger(); },
                       "Could not convert variant of type (Array Variant) into type (Integer)");
    ExpectVariantError([] { (void)VarArrayCreate(0, 1, varByte).AsString(); },
                       "Could not convert variant of type (Array Byte) into type (String)");
}
