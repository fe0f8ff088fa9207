// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCParam and TODBCParams: setters and the types they leave, text
// conversions, the native and record-buffer byte forms (long values as
// references, NULL values, 16-bit range checks for binding), assignment
// between parameters, and the list's indexing, lookup and value rules.
#include "velora/components/ODBCParams.h"

#include "velora/components/ODBCconst.h"
#include "velora/engine/FMTBCD.h"
#include "velora/db/DB.h"

#include "support/MemDataSet.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

namespace velora {
namespace {

std::vector<std::uint8_t> NativeBytes(const TODBCParam& p) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(p.GetDataSize()) + 1, 0xAA);
    p.GetData(bytes.data());
    bytes.pop_back();
    return bytes;
}

template <class T>
T NativeAs(const TODBCParam& p) {
    EXPECT_EQ(p.GetDataSize(), static_cast<int>(sizeof(T)));
    T value;
    std::vector<std::uint8_t> bytes = NativeBytes(p);
    std::memcpy(&value, bytes.data(), sizeof value);
    return value;
}

/// Runs f, expecting EDatabaseError with exactly `message`.
template <class F>
void ExpectDatabaseError(F f, const String& message) {
    try {
        f();
        ADD_FAILURE() << "no exception, expected: " << message;
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), message);
    }
}

TEST(Param, ANewParameterHasNoTypeAndRefusesEveryByteForm) {
    TODBCParam p(nullptr, ptInput);
    p.SetName("Cust");
    EXPECT_EQ(p.DataType(), ftUnknown);
    EXPECT_FALSE(p.Bound());
    EXPECT_FALSE(p.IsNull());
    EXPECT_EQ(p.ParamType(), ptInput);
    EXPECT_EQ(p.GetAsVariant().VarType(), varInteger);
    EXPECT_EQ(p.GetAsInteger(), 0);
    ExpectDatabaseError([&] { p.GetDataSize(); }, "Field 'Cust' is of unknown type");
    ExpectDatabaseError([&] { p.RecBufDataSize(); }, "Field 'Cust' is of unknown type");
    std::array<std::uint8_t, 8> buf{};
    ExpectDatabaseError([&] { p.GetData(buf.data()); }, "Field 'Cust' is of unknown type");
    ExpectDatabaseError([&] { p.SetData(buf.data(), buf.size()); }, "Field 'Cust' is of unknown type");
}

TEST(Param, SettersSetTheirTypeAndMarkTheValueAssigned) {
    TODBCParam p(nullptr, ptUnknown);
    p.Clear();
    p.SetAsInteger(5);
    EXPECT_EQ(p.DataType(), ftInteger);
    EXPECT_TRUE(p.Bound());
    EXPECT_FALSE(p.IsNull());

    p.SetAsCurrency(1.5);
    EXPECT_EQ(p.DataType(), ftCurrency);
    EXPECT_EQ(p.GetAsFloat(), 1.5);
    EXPECT_EQ(NativeAs<double>(p), 1.5);

    p.SetAsBCD(Currency::FromUnits(12345));
    EXPECT_EQ(p.DataType(), ftBCD);
    EXPECT_EQ(p.GetAsVariant().VarType(), varCurrency);

    p.SetAsTime(0.5);
    EXPECT_EQ(p.DataType(), ftTime);
    EXPECT_EQ(p.GetAsVariant().VarType(), varDate);
    p.SetAsDateTime(36526.25);
    EXPECT_EQ(p.DataType(), ftDateTime);
    p.SetAsMemo("m");
    EXPECT_EQ(p.DataType(), ftMemo);
    p.SetAsBlob(String("\0\1", 2));
    EXPECT_EQ(p.DataType(), ftBlob);
    EXPECT_EQ(p.GetDataSize(), 2);
    p.SetBlobData("xyz", 3);
    EXPECT_EQ(p.DataType(), ftBlob);
    EXPECT_EQ(p.GetAsString(), "xyz");
}

TEST(Param, SetAsVariantChoosesTheTypeFromTheVariantCode) {
    TODBCParam p(nullptr, ptUnknown);
    const std::pair<Variant, TFieldType> cases[] = {
        {Variant(std::int16_t{3}), ftSmallint},
        {Variant(3), ftInteger},
        {Variant(1.5f), ftFloat},
        {Variant(1.5), ftFloat},
        {Variant(Currency::FromInt(2)), ftBCD},
        {Variant::FromDateTime(36526), ftDateTime},
        {Variant::FromOleStr("o"), ftString},
        {Variant("s"), ftString},
        {Variant(true), ftBoolean},
        {Variant(std::uint8_t{7}), ftUnknown},
        {Unassigned(), ftUnknown},
    };
    for (const auto& [value, type] : cases) {
        p.SetAsVariant(value);
        EXPECT_EQ(p.DataType(), type) << VarTypeAsText(value.VarType());
        EXPECT_TRUE(p.GetAsVariant() == value || value.IsEmpty());
    }
    // NULL makes a bound NULL: of the type the parameter has, else a string.
    p.SetAsVariant(Null());
    EXPECT_EQ(p.DataType(), ftString);
    EXPECT_TRUE(p.IsNull());
    EXPECT_TRUE(p.Bound());
    p.SetAsVariant(Variant(3));
    p.SetAsVariant(Null());
    EXPECT_EQ(p.DataType(), ftInteger);
    EXPECT_TRUE(p.IsNull());
}

TEST(Param, SetTextConvertsByTheCurrentType) {
    TODBCParam p(nullptr, ptUnknown);
    p.SetText("12");
    EXPECT_EQ(p.DataType(), ftString);
    EXPECT_EQ(p.GetAsVariant().VarType(), varString);

    p.SetDataType(ftInteger);
    p.SetText("12");
    EXPECT_EQ(p.GetAsVariant().VarType(), varInteger);
    EXPECT_EQ(p.GetAsInteger(), 12);

    p.SetDataType(ftAutoInc);
    p.SetText("12");
    EXPECT_EQ(p.GetAsVariant().VarType(), varString);

    p.SetDataType(ftBCD);
    p.SetText("12.3456");
    EXPECT_EQ(p.GetAsBCD(), Currency::FromUnits(123456));

    p.SetDataType(ftBoolean);
    p.SetText("true");
    EXPECT_EQ(p.GetAsString(), "True");

    p.SetDataType(ftDate);
    p.SetText("2000-01-01");
    EXPECT_EQ(p.GetAsDateTime(), EncodeDate(2000, 1, 1));
    EXPECT_EQ(p.GetAsString(), "2000-01-01");

    // A text that does not convert leaves the text, assigned.
    TODBCParam q(nullptr, ptUnknown);
    q.SetDataType(ftInteger);
    EXPECT_THROW(q.SetText("twelve"), Exception);
    EXPECT_TRUE(q.Bound());
    EXPECT_EQ(q.DataType(), ftInteger);
    EXPECT_EQ(q.GetAsVariant().AsString(), "twelve");
}

TEST(Param, ClearMakesTheValueNullAndKeepsTypeAndBound) {
    TODBCParam p(nullptr, ptUnknown);
    p.SetAsDateTime(36526.5);
    p.Clear();
    EXPECT_TRUE(p.IsNull());
    EXPECT_TRUE(p.Bound());
    EXPECT_EQ(p.DataType(), ftDateTime);
    EXPECT_EQ(p.GetAsString(), "");
    EXPECT_EQ(p.GetAsVariant().VarType(), varInteger);
    EXPECT_EQ(p.GetAsInteger(), 0);
    EXPECT_EQ(p.GetAsDateTime(), 0.0);
}

TEST(Param, GetAsStringNamesBooleansAndShowsDates) {
    TODBCParam p(nullptr, ptUnknown);
    p.SetAsBoolean(true);
    EXPECT_EQ(p.GetAsString(), STextTrue);
    p.SetAsBoolean(false);
    EXPECT_EQ(p.GetAsString(), STextFalse);
    p.SetAsDateTime(EncodeDateTime(2024, 2, 29, 13, 45, 0, 0));
    EXPECT_EQ(p.GetAsString(), "2024-02-29 13:45:00");
    p.SetAsTime(EncodeTime(12, 0, 0, 0));
    EXPECT_EQ(p.GetAsString(), "12:00:00");
    p.SetAsFloat(2.5);
    EXPECT_EQ(p.GetAsString(), "2.5");
}

TEST(Param, NativeSizesByType) {
    TODBCParam p(nullptr, ptUnknown);
    p.SetAsString("abc");
    EXPECT_EQ(p.GetDataSize(), 4);
    EXPECT_EQ(NativeBytes(p), (std::vector<std::uint8_t>{'a', 'b', 'c', 0}));
    p.SetAsMemo("abc");
    EXPECT_EQ(p.GetDataSize(), 4);
    p.SetAsBlob("abc");
    EXPECT_EQ(p.GetDataSize(), 3);
    p.SetAsBCD(Currency::FromInt(1));
    EXPECT_EQ(p.GetDataSize(), 34);
    p.SetDataType(ftCursor);
    EXPECT_EQ(p.GetDataSize(), 0);
    EXPECT_EQ(p.RecBufDataSize(), 0);
    p.SetName("B");
    for (TFieldType t : {ftBytes, ftVarBytes, ftTypedBinary}) {
        p.SetDataType(t);
        ExpectDatabaseError([&] { p.GetDataSize(); }, "Field 'B' is of an unsupported type");
        ExpectDatabaseError([&] { p.RecBufDataSize(); }, "Field 'B' is of an unsupported type");
    }
}

TEST(Param, WordAndSmallIntKeepTheirValueAndStoreTheLow16Bits) {
    TODBCParam p(nullptr, ptUnknown);
    p.SetName("qty");
    p.SetAsWord(70000);
    EXPECT_EQ(p.DataType(), ftWord);
    EXPECT_EQ(p.GetAsInteger(), 70000);
    EXPECT_EQ(NativeAs<std::uint16_t>(p), 4464);

    p.SetAsSmallInt(40000);
    EXPECT_EQ(p.DataType(), ftSmallint);
    EXPECT_EQ(NativeAs<std::int16_t>(p), -25536);

    p.SetAsSmallInt(-2);
    EXPECT_EQ(NativeAs<std::int16_t>(p), -2);
    std::array<std::uint8_t, 2> buf{};
    p.SetData(buf.data(), buf.size());
    EXPECT_EQ(p.GetAsInteger(), 0);
    buf = {0xFE, 0xFF};
    p.SetData(buf.data(), buf.size());
    EXPECT_EQ(p.GetAsInteger(), -2);
    p.SetDataType(ftWord);
    p.SetData(buf.data(), buf.size());
    EXPECT_EQ(p.GetAsInteger(), 65534);
}

TEST(Param, BindingRefusesSixteenBitValuesOutOfRange) {
    TODBCParam p(nullptr, ptUnknown);
    p.SetName("qty");
    std::array<std::uint8_t, 16> buf{};
    p.SetAsWord(70000);
    ExpectDatabaseError([&] { p.CheckBindRange(); }, "Parameter 'qty' value 70000 is out of range 0..65535");
    ExpectDatabaseError([&] { p.RecBufGetData(buf.data()); }, "Parameter 'qty' value 70000 is out of range 0..65535");
    p.SetAsWord(-1);
    EXPECT_THROW(p.CheckBindRange(), EDatabaseError);
    p.SetAsSmallInt(40000);
    ExpectDatabaseError([&] { p.CheckBindRange(); }, "Parameter 'qty' value 40000 is out of range -32768..32767");
    p.SetAsSmallInt(-32769);
    EXPECT_THROW(p.CheckBindRange(), EDatabaseError);

    // The limits themselves bind.
    for (int v : {-32768, 32767}) {
        p.SetAsSmallInt(v);
        p.RecBufGetData(buf.data());
        std::int16_t got;
        std::memcpy(&got, buf.data(), 2);
        EXPECT_EQ(got, v);
    }
    p.SetAsWord(65535);
    EXPECT_NO_THROW(p.RecBufGetData(buf.data()));
    // NULL passes whatever the old value was.
    p.SetAsWord(70000);
    p.Clear();
    EXPECT_NO_THROW(p.RecBufGetData(buf.data()));
}

TEST(Param, DatesTimesAndDateTimesInNativeForm) {
    TODBCParam p(nullptr, ptUnknown);
    p.SetAsDate(EncodeDate(2000, 1, 1));
    EXPECT_EQ(NativeAs<std::int32_t>(p), 730120);
    std::vector<std::uint8_t> bytes = NativeBytes(p);
    TODBCParam q(nullptr, ptUnknown);
    q.SetDataType(ftDate);
    q.SetData(bytes.data(), bytes.size());
    EXPECT_EQ(q.DataType(), ftDate);
    EXPECT_EQ(q.GetAsDateTime(), EncodeDate(2000, 1, 1));

    p.SetAsTime(EncodeTime(12, 0, 0, 0));
    EXPECT_EQ(NativeAs<std::int32_t>(p), 43200000);
    bytes = NativeBytes(p);
    q.SetDataType(ftTime);
    q.SetData(bytes.data(), bytes.size());
    EXPECT_EQ(q.DataType(), ftTime);
    EXPECT_EQ(q.GetAsDateTime(), 0.5);

    const TDateTime stamp = EncodeDateTime(2000, 1, 1, 12, 0, 0, 250);
    p.SetAsDateTime(stamp);
    EXPECT_EQ(NativeAs<double>(p), 730120.0 * 86400000.0 + 43200250.0);
    bytes = NativeBytes(p);
    q.SetDataType(ftDateTime);
    q.SetData(bytes.data(), bytes.size());
    EXPECT_EQ(DateTimeToTimeStamp(q.GetAsDateTime()), DateTimeToTimeStamp(stamp));

    // A date before 1899-12-30 with a time of day keeps both.
    const TDateTime early = EncodeDateTime(1850, 6, 1, 6, 30, 0, 0);
    p.SetAsDateTime(early);
    bytes = NativeBytes(p);
    q.SetData(bytes.data(), bytes.size());
    EXPECT_EQ(DateTimeToTimeStamp(q.GetAsDateTime()), DateTimeToTimeStamp(early));
    EXPECT_NEAR(q.GetAsDateTime(), early, 1e-9);
}

TEST(Param, BooleanAndBCDNativeForms) {
    TODBCParam p(nullptr, ptUnknown);
    p.SetAsBoolean(true);
    EXPECT_EQ(NativeBytes(p), (std::vector<std::uint8_t>{1, 0}));
    p.SetAsBoolean(false);
    EXPECT_EQ(NativeBytes(p), (std::vector<std::uint8_t>{0, 0}));
    std::array<std::uint8_t, 2> high{0, 7};
    p.SetData(high.data(), high.size());
    EXPECT_TRUE(p.GetAsBoolean());

    p.SetAsBCD(Currency::FromUnits(-15000));  // -1.5
    std::vector<std::uint8_t> bytes = NativeBytes(p);
    ASSERT_EQ(bytes.size(), 34u);
    EXPECT_EQ(bytes[0], 32);
    EXPECT_EQ(bytes[1], 0x84);  // negative, 4 decimals
    // 32 digits: ...00015000, the last digit pair in byte 17.
    EXPECT_EQ(bytes[15], 0x01);
    EXPECT_EQ(bytes[16], 0x50);
    EXPECT_EQ(bytes[17], 0x00);
    TODBCParam q(nullptr, ptUnknown);
    q.SetDataType(ftBCD);
    q.SetData(bytes.data(), bytes.size());
    EXPECT_EQ(q.GetAsBCD(), Currency::FromUnits(-15000));
}

TEST(Param, SetDataRefusesTypesWithoutNativeReaderAndShortBuffers) {
    TODBCParam p(nullptr, ptUnknown);
    p.SetName("P");
    std::array<std::uint8_t, 8> buf{};
    for (TFieldType t : {ftBlob, ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftBytes, ftVarBytes}) {
        p.SetDataType(t);
        ExpectDatabaseError([&] { p.SetData(buf.data(), buf.size()); }, "Field 'P' is of an unsupported type");
    }
    p.SetDataType(ftFloat);
    EXPECT_THROW(p.SetData(buf.data(), 4), EDatabaseError);
    // An auto-increment value reads back as itself.
    const std::int32_t v = 77;
    p.SetDataType(ftAutoInc);
    p.SetData(&v, sizeof v);
    EXPECT_EQ(p.DataType(), ftAutoInc);
    EXPECT_EQ(p.GetAsInteger(), 77);
    // Text without a zero byte stops at the size given.
    p.SetDataType(ftString);
    p.SetData("abcdef", 3);
    EXPECT_EQ(p.GetAsString(), "abc");
}

TEST(Param, RecordBufferFormOfShortAndLongValues) {
    TODBCParam p(nullptr, ptUnknown);
    p.SetAsString(String(255, 'x'));
    EXPECT_EQ(p.RecBufDataSize(), 256);
    EXPECT_FALSE(p.RecBufIsRef());
    p.SetAsString(String(256, 'y'));
    EXPECT_EQ(p.RecBufDataSize(), 16);
    EXPECT_TRUE(p.RecBufIsRef());
    p.SetAsMemo("short");
    EXPECT_EQ(p.RecBufDataSize(), 16);

    // A long string: a reference to its bytes and their count.
    const String text(300, 'z');
    p.SetAsString(text);
    std::array<std::uint8_t, 16> area;
    area.fill(0xAA);
    p.RecBufGetData(area.data());
    TODBCParamRef ref;
    std::memcpy(&ref, area.data(), sizeof ref);
    ASSERT_NE(ref.Data, nullptr);
    EXPECT_EQ(ref.Size, 300);
    EXPECT_EQ(String(static_cast<const char*>(ref.Data), 300), text);
    // Written twice (a repeated marker): the same bytes at the same place.
    std::array<std::uint8_t, 16> again{};
    p.RecBufGetData(again.data());
    EXPECT_EQ(area, again);

    // A BLOB keeps its zero bytes.
    const String blob("\0\1\2\0", 4);
    p.SetAsBlob(blob);
    p.RecBufGetData(area.data());
    std::memcpy(&ref, area.data(), sizeof ref);
    EXPECT_EQ(ref.Size, 4);
    EXPECT_EQ(String(static_cast<const char*>(ref.Data), 4), blob);

    // Short values are the native form.
    p.SetAsInteger(1234);
    area.fill(0);
    p.RecBufGetData(area.data());
    EXPECT_EQ(area[0], 0xD2);
    EXPECT_EQ(area[1], 0x04);
}

TEST(Param, NullValuesAreZeroInTheRecordBufferForEveryType) {
    TODBCParam p(nullptr, ptUnknown);
    auto fill = [&](auto setter) {
        setter();
        p.Clear();
        std::array<std::uint8_t, 40> area;
        area.fill(0xAA);
        const int size = p.RecBufDataSize();
        p.RecBufGetData(area.data());
        for (int i = 0; i < size; ++i) EXPECT_EQ(area[i], 0) << FieldTypeName(p.DataType()) << " byte " << i;
        EXPECT_EQ(area[size], 0xAA);
    };
    fill([&] { p.SetAsString("text"); });
    fill([&] { p.SetAsMemo(String(400, 'm')); });
    fill([&] { p.SetAsBlob("b"); });
    fill([&] { p.SetAsInteger(7); });
    fill([&] { p.SetAsFloat(7.5); });
    fill([&] { p.SetAsDateTime(36526.5); });
    fill([&] { p.SetAsBCD(Currency::FromInt(3)); });
    // The stored form still writes the cleared value as its type sees it.
    p.SetAsString("x");
    p.Clear();
    EXPECT_EQ(NativeBytes(p), (std::vector<std::uint8_t>{'0', 0}));
}

TEST(Param, AssignParamCopiesValueTypeNameButNotColumnName) {
    TODBCParam source(nullptr, ptOutput);
    source.SetName("Src");
    source.SetColumnName("Col");
    source.SetAsInteger(9);

    TODBCParam keeps(nullptr, ptInput);
    keeps.Assign(&source);
    EXPECT_EQ(keeps.ParamType(), ptInput);
    EXPECT_EQ(keeps.Name(), "Src");
    EXPECT_EQ(keeps.ColumnName(), "");
    EXPECT_EQ(keeps.DataType(), ftInteger);
    EXPECT_EQ(keeps.GetAsInteger(), 9);

    TODBCParam takes(nullptr, ptUnknown);
    takes.AssignParam(&source);
    EXPECT_EQ(takes.ParamType(), ptOutput);

    source.Clear();
    takes.SetAsString("old");
    takes.AssignParam(&source);
    EXPECT_TRUE(takes.IsNull());
    EXPECT_EQ(takes.DataType(), ftInteger);

    TODBCParam unbound(nullptr, ptUnknown);
    unbound.SetName("U");
    takes.AssignParam(&unbound);
    EXPECT_FALSE(takes.Bound());
    EXPECT_EQ(takes.DataType(), ftUnknown);

    TStringList notAParam;
    EXPECT_THROW(takes.Assign(&notAParam), EAssignError);
}

TEST(Param, IsEqualComparesNameCaseButNotColumnName) {
    TODBCParam a(nullptr, ptInput), b(nullptr, ptInput);
    a.SetName("Cust");
    b.SetName("Cust");
    a.SetAsInteger(1);
    b.SetAsInteger(1);
    a.SetColumnName("X");
    b.SetColumnName("Y");
    EXPECT_TRUE(a.IsEqual(&b));
    b.SetName("cust");
    EXPECT_FALSE(a.IsEqual(&b));
    b.SetName("Cust");
    b.SetAsFloat(1.0);  // same value, other variant type and data type
    EXPECT_FALSE(a.IsEqual(&b));
    b.SetAsInteger(1);
    b.SetParamType(ptOutput);
    EXPECT_FALSE(a.IsEqual(&b));
    b.SetParamType(ptInput);
    b.Clear();
    EXPECT_FALSE(a.IsEqual(&b));
}

TEST(Param, LoadFromStreamAndFile) {
    TODBCParam p(nullptr, ptUnknown);
    TStringStream stream(String("\0ab\xff", 4));
    p.LoadFromStream(stream, ftGraphic);
    EXPECT_EQ(p.DataType(), ftGraphic);
    EXPECT_TRUE(p.Bound());
    EXPECT_EQ(p.GetAsVariant().AsString(), String("\0ab\xff", 4));

    // Fewer bytes than the stream's size remain: the stream's read error.
    stream.SetPosition(2);
    EXPECT_THROW(p.LoadFromStream(stream, ftBlob), EReadError);
    EXPECT_EQ(p.DataType(), ftBlob);

    const std::filesystem::path file = std::filesystem::temp_directory_path() / "velora_param_load.bin";
    {
        TFileStream out(file.string(), fmCreate);
        out.WriteBuffer("filebytes", 9);
    }
    p.LoadFromFile(file.string(), ftMemo);
    EXPECT_EQ(p.DataType(), ftMemo);
    EXPECT_EQ(p.GetAsMemo(), "filebytes");
    std::filesystem::remove(file);

    TODBCParam q(nullptr, ptUnknown);
    EXPECT_THROW(q.LoadFromFile(file.string(), ftBlob), EFOpenError);
    EXPECT_EQ(q.DataType(), ftUnknown);
    EXPECT_FALSE(q.Bound());
}

// ---- the list ---------------------------------------------------------------

TEST(Params, ParametersBelongToTheirListUntilFreed) {
    TODBCParams list;
    auto* a = new TODBCParam(&list, ptInput);
    EXPECT_EQ(a->ParamList(), &list);
    TODBCParam* b = list.CreateParam(ftInteger, "B", ptOutput, "ColB");
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(b->Name(), "B");
    EXPECT_EQ(b->ColumnName(), "ColB");
    EXPECT_EQ(b->DataType(), ftInteger);
    EXPECT_EQ(b->ParamType(), ptOutput);
    a->Free();
    EXPECT_EQ(list.Count(), 1);
    list.RemoveParam(b);
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(b->ParamList(), nullptr);
    b->Free();
}

TEST(Params, IndexingAnswersTheFirstParameterOfTheSameName) {
    TODBCParams list;
    TODBCParam* upper = list.CreateParam(ftInteger, "A", ptInput);
    TODBCParam* lower = list.CreateParam(ftInteger, "a", ptInput);
    EXPECT_EQ(list.GetParam(1), upper);
    EXPECT_EQ(list.Entry(1), lower);
    EXPECT_EQ(list.ParamByName("a"), upper);
    EXPECT_THROW(list.GetParam(2), EListError);
    ExpectDatabaseError([&] { list.ParamByName("X"); }, "Parameter 'X' not found");
    EXPECT_EQ(list.FindParam("X"), nullptr);

    // AssignValues matches names exactly: "a" is not "A".
    TODBCParams other;
    other.CreateParam(ftInteger, "a", ptInput)->SetAsInteger(42);
    upper->SetAsInteger(1);
    list.AssignValues(&other);
    EXPECT_EQ(upper->GetAsInteger(), 1);
    EXPECT_EQ(list.Count(), 2);

    TODBCParams exact;
    exact.CreateParam(ftUnknown, "A", ptOutput)->SetAsString("new");
    list.AssignValues(&exact);
    EXPECT_EQ(upper->DataType(), ftString);
    EXPECT_EQ(upper->GetAsString(), "new");
    EXPECT_EQ(upper->ParamType(), ptInput);
}

TEST(Params, AssignCopiesThroughTheIndexingRuleWithoutColumnNames) {
    TODBCParams source;
    source.CreateParam(ftInteger, "X", ptInput, "ColX")->SetAsInteger(5);
    source.CreateParam(ftString, "x", ptOutput, "Colx")->SetAsString("ignored");
    TODBCParams copy;
    copy.CreateParam(ftInteger, "old", ptInput);
    copy.Assign(&source);
    ASSERT_EQ(copy.Count(), 2);
    for (int i = 0; i < 2; ++i) {
        TODBCParam* p = copy.Entry(i);
        EXPECT_EQ(p->Name(), "X");
        EXPECT_EQ(p->ColumnName(), "");
        EXPECT_EQ(p->GetAsInteger(), 5);
        EXPECT_EQ(p->ParamType(), ptInput);
    }
    EXPECT_TRUE(copy.IsEqual(&source));
    copy.Entry(0)->SetAsInteger(6);
    EXPECT_FALSE(copy.IsEqual(&source));

    TODBCParams viaAssignTo;
    source.AssignTo(&viaAssignTo);
    EXPECT_EQ(viaAssignTo.Count(), 2);
    copy.Assign(&copy);
    EXPECT_EQ(copy.Count(), 2);
}

TEST(Params, ValuesOfSeveralNamesTravelAsVariantArrays) {
    TODBCParams list;
    list.CreateParam(ftInteger, "A", ptInput)->SetAsInteger(1);
    list.CreateParam(ftString, "B", ptInput)->SetAsString("two");
    const Variant both = list.GetParamValue("A; B");
    ASSERT_TRUE(both.IsArray());
    EXPECT_EQ(VarArrayLowBound(both, 1), 0);
    EXPECT_EQ(VarArrayHighBound(both, 1), 1);
    EXPECT_EQ(both[0].AsInteger(), 1);
    EXPECT_EQ(both[1].AsString(), "two");
    EXPECT_EQ(list.GetParamValue("b").AsString(), "two");
    ExpectDatabaseError([&] { list.GetParamValue("A;X"); }, "Parameter 'X' not found");

    Variant values = VarArrayCreate(0, 1, varVariant);
    values.PutElement(0, Variant(2.5));
    values.PutElement(1, Variant(true));
    list.SetParamValue("A;B", values);
    EXPECT_EQ(list.ParamByName("A")->DataType(), ftFloat);
    EXPECT_EQ(list.ParamByName("B")->DataType(), ftBoolean);
    list.SetParamValue("A", Variant(std::int16_t{3}));
    EXPECT_EQ(list.ParamByName("A")->DataType(), ftSmallint);

    TList found;
    list.GetParamList(found, "B;A;");
    ASSERT_EQ(found.Count(), 2);
    EXPECT_EQ(found.Get(0), list.ParamByName("B"));
    EXPECT_EQ(found.Get(1), list.ParamByName("A"));
}

// ---- fields -------------------------------------------------------------------

/// One stored row with a long memo, a short memo, an integer and a NULL
/// string, opened.
struct FieldRow {
    test::Owner Owns;
    test::TMemDataSet* Ds = new test::TMemDataSet(Owns.Root);
    FieldRow() {
        Ds->FieldDefs()->Add("LongMemo", ftMemo, 300);
        Ds->FieldDefs()->Add("ShortMemo", ftMemo, 200);
        Ds->FieldDefs()->Add("Qty", ftInteger);
        Ds->FieldDefs()->Add("Label", ftString, 10);
        Ds->AddRow({Variant(String(300, 'L')), Variant("short"), Variant(12), Null()});
        Ds->Open();
    }
    TField* F(const char* name) { return Ds->FieldByName(name); }
};

TEST(ParamFields, AssignFieldTakesTypeValueAndName) {
    FieldRow row;
    TODBCParam p(nullptr, ptInput);
    p.AssignField(row.F("LongMemo"));
    EXPECT_EQ(p.DataType(), ftString);
    EXPECT_EQ(p.Name(), "LongMemo");
    EXPECT_TRUE(p.Bound());
    EXPECT_EQ(p.GetAsString(), String(300, 'L'));
    EXPECT_TRUE(p.RecBufIsRef());  // 300 characters bind by reference

    p.Assign(row.F("ShortMemo"));
    EXPECT_EQ(p.DataType(), ftMemo);
    EXPECT_EQ(p.Name(), "ShortMemo");
    EXPECT_EQ(p.GetAsMemo(), "short");

    p.AssignField(row.F("Qty"));
    EXPECT_EQ(p.DataType(), ftInteger);
    EXPECT_EQ(p.GetAsInteger(), 12);
    EXPECT_EQ(p.ParamType(), ptInput);

    p.AssignField(row.F("Label"));
    EXPECT_EQ(p.DataType(), ftString);
    EXPECT_TRUE(p.IsNull());
    EXPECT_TRUE(p.Bound());
    p.AssignField(nullptr);
    EXPECT_EQ(p.Name(), "Label");
}

TEST(ParamFields, AssignFieldValueKeepsTheName) {
    FieldRow row;
    TODBCParam p(nullptr, ptUnknown);
    p.SetName("Mine");
    p.AssignFieldValue(row.F("Qty"), Variant(99));
    EXPECT_EQ(p.Name(), "Mine");
    EXPECT_EQ(p.DataType(), ftInteger);
    EXPECT_EQ(p.GetAsInteger(), 99);
    p.AssignFieldValue(row.F("LongMemo"), Null());
    EXPECT_EQ(p.DataType(), ftString);
    EXPECT_TRUE(p.IsNull());
    EXPECT_TRUE(p.Bound());
}

TEST(ParamFields, AssignToAFieldSetsItsValue) {
    FieldRow row;
    row.Ds->Edit();
    TODBCParam p(nullptr, ptUnknown);
    p.SetAsInteger(41);
    row.F("Qty")->Assign(&p);
    EXPECT_EQ(row.F("Qty")->AsInteger(), 41);
    p.SetAsString("label");
    p.AssignTo(row.F("Label"));
    EXPECT_EQ(row.F("Label")->AsString(), "label");
    row.Ds->Cancel();
}

}  // namespace
}  // namespace velora
