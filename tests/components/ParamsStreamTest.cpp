// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The stored form of parameter lists: the exact bytes of version 1, round
// trips of every data type, versions 0 and 2, the version and size limits,
// names too long for version 1, the binary property Data in form files
// (inherited forms included), and a seeded run of damaged streams that must
// end in the library's own errors only.
#include "velora/components/ODBCParams.h"

#include "velora/classes/FormFiles.h"
#include "velora/classes/TypInfo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <vector>

namespace velora {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Write(const TODBCParams& list) {
    TMemoryStream stream;
    list.WriteBinaryData(stream);
    return stream.Bytes();
}

void Read(TODBCParams& list, const Bytes& bytes) {
    TMemoryStream stream;
    if (!bytes.empty()) stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    stream.SetPosition(0);
    list.ReadBinaryData(stream);
}

void Append(Bytes& b, std::initializer_list<int> values) {
    for (int v : values) b.push_back(static_cast<std::uint8_t>(v));
}
void Append(Bytes& b, const String& text) { b.insert(b.end(), text.begin(), text.end()); }

TEST(ParamsStream, VersionOneExampleIsTwentyEightBytes) {
    TODBCParams list;
    TODBCParam* p = list.CreateParam(ftUnknown, "CustNo", ptInput, "CustNo");
    p->SetAsInteger(1234);
    Bytes want;
    Append(want, {0x01, 0x00, 0x01, 0x00, 6});
    Append(want, "CustNo");
    Append(want, {6});
    Append(want, "CustNo");
    Append(want, {0x01, 0x03, 0x04, 0x00, 0xD2, 0x04, 0x00, 0x00, 0x00, 0x01});
    ASSERT_EQ(want.size(), 28u);
    EXPECT_EQ(Write(list), want);

    TODBCParams back;
    Read(back, want);
    ASSERT_EQ(back.Count(), 1);
    TODBCParam* q = back.Entry(0);
    EXPECT_EQ(q->Name(), "CustNo");
    EXPECT_EQ(q->ColumnName(), "CustNo");
    EXPECT_EQ(q->ParamType(), ptInput);
    EXPECT_EQ(q->DataType(), ftInteger);
    EXPECT_EQ(q->GetAsInteger(), 1234);
    EXPECT_FALSE(q->IsNull());
    EXPECT_TRUE(q->Bound());
}

TEST(ParamsStream, EmptyListIsFourBytes) {
    TODBCParams list;
    EXPECT_EQ(Write(list), (Bytes{1, 0, 0, 0}));
    list.CreateParam(ftInteger, "gone", ptInput);
    Read(list, Bytes{1, 0, 0, 0});
    EXPECT_EQ(list.Count(), 0);
}

/// Writes list, reads it back, and checks every parameter field for field.
void ExpectRoundTrip(const TODBCParams& list) {
    TODBCParams back;
    Read(back, Write(list));
    ASSERT_EQ(back.Count(), list.Count());
    for (int i = 0; i < list.Count(); ++i) {
        const TODBCParam* a = list.GetParam(i);
        const TODBCParam* b = back.Entry(i);
        SCOPED_TRACE(a->Name());
        EXPECT_EQ(b->Name(), a->Name());
        EXPECT_EQ(b->ColumnName(), a->ColumnName());
        EXPECT_EQ(b->ParamType(), a->ParamType());
        EXPECT_EQ(b->IsNull(), a->IsNull());
        EXPECT_EQ(b->Bound(), a->Bound());
        const bool blobLike = a->DataType() == ftGraphic || a->DataType() == ftFmtMemo ||
                              a->DataType() == ftParadoxOle || a->DataType() == ftDBaseOle;
        EXPECT_EQ(b->DataType(), blobLike ? ftBlob : a->DataType());
        if (blobLike) {
            EXPECT_EQ(b->GetAsVariant().AsString(), a->GetAsVariant().AsString());
        } else {
            EXPECT_TRUE(a->IsEqual(b)) << FieldTypeName(a->DataType());
        }
    }
}

TEST(ParamsStream, EveryDataTypeRoundTrips) {
    TODBCParams list;
    auto add = [&](const char* name, auto setter) {
        TODBCParam* p = list.CreateParam(ftUnknown, name, ptInputOutput, String("col_") + name);
        setter(p);
        return p;
    };
    add("str", [](TODBCParam* p) { p->SetAsString("h\xe9llo"); });
    add("small", [](TODBCParam* p) { p->SetAsSmallInt(-12345); });
    add("int", [](TODBCParam* p) { p->SetAsInteger(-2000000000); });
    add("word", [](TODBCParam* p) { p->SetAsWord(65535); });
    add("bool", [](TODBCParam* p) { p->SetAsBoolean(true); });
    add("float", [](TODBCParam* p) { p->SetAsFloat(-1.25e-300); });
    add("money", [](TODBCParam* p) { p->SetAsCurrency(19.99); });
    add("bcd", [](TODBCParam* p) { p->SetAsBCD(Currency::FromUnits(-9223372036854775807LL)); });
    add("date", [](TODBCParam* p) { p->SetAsDate(EncodeDate(1, 1, 1)); });
    // Times of exact binary fractions, so that the values compare equal;
    // milliseconds survive as the time stamp says (see the test below).
    add("time", [](TODBCParam* p) { p->SetAsTime(EncodeTime(18, 0, 0, 0)); });
    add("stamp", [](TODBCParam* p) { p->SetAsDateTime(EncodeDateTime(9999, 12, 31, 6, 0, 0, 0)); });
    add("memo", [](TODBCParam* p) { p->SetAsMemo(String(600, 'm')); });
    add("blob", [](TODBCParam* p) { p->SetAsBlob(String("\0\xff\0", 3)); });
    add("cursor", [](TODBCParam* p) { p->SetDataType(ftCursor); });
    add("untyped", [](TODBCParam*) {});
    // An auto-increment integer reads back as one, keeping its type.
    TODBCParam* autoInc = add("autoinc", [](TODBCParam* p) { p->SetDataType(ftAutoInc); });
    const std::int32_t seventySeven = 77;
    autoInc->SetData(&seventySeven, sizeof seventySeven);
    ASSERT_EQ(autoInc->DataType(), ftAutoInc);
    ASSERT_EQ(autoInc->GetAsVariant().VarType(), varInteger);
    ExpectRoundTrip(list);
}

TEST(ParamsStream, MillisecondsOfTimesSurvive) {
    TODBCParams list;
    const TDateTime time = EncodeTime(23, 59, 59, 999);
    const TDateTime stamp = EncodeDateTime(9999, 12, 31, 23, 59, 59, 999);
    list.CreateParam(ftUnknown, "t", ptInput)->SetAsTime(time);
    list.CreateParam(ftUnknown, "s", ptInput)->SetAsDateTime(stamp);
    TODBCParams back;
    Read(back, Write(list));
    EXPECT_EQ(back.Entry(0)->DataType(), ftTime);
    EXPECT_EQ(DateTimeToTimeStamp(back.Entry(0)->GetAsDateTime()), DateTimeToTimeStamp(time));
    EXPECT_EQ(back.Entry(1)->DataType(), ftDateTime);
    EXPECT_EQ(DateTimeToTimeStamp(back.Entry(1)->GetAsDateTime()), DateTimeToTimeStamp(stamp));
}

TEST(ParamsStream, NullParametersOfEveryTypeRoundTrip) {
    TODBCParams list;
    const TFieldType types[] = {ftString, ftSmallint, ftInteger,  ftWord,    ftBoolean, ftFloat, ftCurrency, ftBCD,
                                ftDate,   ftTime,     ftDateTime, ftAutoInc, ftMemo,    ftBlob,  ftCursor};
    for (TFieldType t : types) {
        TODBCParam* p = list.CreateParam(t, FieldTypeName(t), ptInput);
        p->Clear();
    }
    ExpectRoundTrip(list);
}

TEST(ParamsStream, NullStringIsStoredAsTheTextZero) {
    TODBCParams list;
    TODBCParam* p = list.CreateParam(ftString, "S", ptInput);
    p->SetAsString("x");
    p->Clear();
    Bytes want;
    Append(want, {1, 0, 1, 0, 1, 'S', 0, 1, ftString, 2, 0, '0', 0, 1, 1});
    EXPECT_EQ(Write(list), want);
    TODBCParams back;
    Read(back, want);
    EXPECT_TRUE(back.Entry(0)->IsNull());
    EXPECT_EQ(back.Entry(0)->GetAsString(), "");
}

TEST(ParamsStream, BlobLikeTypesComeBackAsBlob) {
    Bytes stored;
    Append(stored, {1, 0, 1, 0, 1, 'G', 0, 1, ftGraphic, 10, 0});
    Append(stored, "0123456789");
    Append(stored, {0, 1});
    TODBCParams back;
    Read(back, stored);
    EXPECT_EQ(back.Entry(0)->DataType(), ftBlob);
    EXPECT_EQ(back.Entry(0)->GetAsVariant().AsString(), "0123456789");
}

TEST(ParamsStream, VersionsZeroAndTwoAreRead) {
    Bytes v0;
    Append(v0, {0, 0, 1, 0, 1, 'A', 1, 'C', 2, ftBoolean, 2, 0, 1, 0, 0, 1});
    TODBCParams list;
    Read(list, v0);
    ASSERT_EQ(list.Count(), 1);
    EXPECT_EQ(list.Entry(0)->DataType(), ftBoolean);
    EXPECT_TRUE(list.Entry(0)->GetAsBoolean());
    EXPECT_EQ(list.Entry(0)->ParamType(), ptOutput);
    EXPECT_EQ(list.Entry(0)->ColumnName(), "C");

    Bytes v2;
    Append(v2, {2, 0, 2, 0, 0, 0});
    Append(v2, {3, 0, 0, 0});
    Append(v2, "Abc");
    Append(v2, {0, 0, 0, 0, 1, ftString, 3, 0, 0, 0, 'x', 'y', 0, 0, 1});
    Append(v2, {1, 0, 0, 0, 'B', 1, 0, 0, 0, 'b', 1, 0, 1, 0});  // untyped: no size, no data
    Read(list, v2);
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Entry(0)->Name(), "Abc");
    EXPECT_EQ(list.Entry(0)->GetAsString(), "xy");
    EXPECT_EQ(list.Entry(1)->Name(), "B");
    EXPECT_EQ(list.Entry(1)->ColumnName(), "b");
    EXPECT_EQ(list.Entry(1)->DataType(), ftUnknown);
    EXPECT_TRUE(list.Entry(1)->IsNull());
    EXPECT_FALSE(list.Entry(1)->Bound());
}

TEST(ParamsStream, BoundNullOfNoTypeIsStoredAsANullString) {
    TODBCParams list;
    TODBCParam* p = list.CreateParam(ftUnknown, "n", ptInput, "n");
    p->Clear();
    p->SetBound(true);
    TODBCParams back;
    Read(back, Write(list));
    ASSERT_EQ(back.Count(), 1);
    EXPECT_EQ(back.Entry(0)->DataType(), ftString);
    EXPECT_TRUE(back.Entry(0)->IsNull());
    EXPECT_TRUE(back.Entry(0)->Bound());
}

TEST(ParamsStream, VersionThreeIsRefusedAndLeavesTheListEmpty) {
    TODBCParams list;
    list.CreateParam(ftInteger, "old", ptInput);
    try {
        Read(list, Bytes{3, 0, 0, 0});
        ADD_FAILURE() << "version 3 was read";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Unable to load bind parameters");
    }
    EXPECT_EQ(list.Count(), 0);
}

TEST(ParamsStream, DataOf2048BytesIsTheLimitBothWays) {
    TODBCParams list;
    TODBCParam* p = list.CreateParam(ftUnknown, "Big", ptInput);
    p->SetAsString(String(2047, 'a'));
    EXPECT_EQ(p->GetDataSize(), 2048);
    ExpectRoundTrip(list);

    p->SetAsString(String(2048, 'a'));
    TMemoryStream out;
    try {
        list.WriteBinaryData(out);
        ADD_FAILURE() << "2049 bytes were written";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Parameter 'Big', cannot save data larger than 2048 bytes");
    }
    EXPECT_EQ(out.Size(), 0) << "nothing reaches the stream";

    // A stored size of 2048 reads; 2049 is refused before any data is read.
    Bytes stored;
    Append(stored, {1, 0, 1, 0, 1, 'B', 0, 1, ftString, 0x00, 0x08});
    stored.insert(stored.end(), 2048, 'z');
    Append(stored, {0, 1});
    TODBCParams back;
    Read(back, stored);
    EXPECT_EQ(back.Entry(0)->GetAsString(), String(2048, 'z'));

    Bytes tooBig;
    Append(tooBig, {1, 0, 1, 0, 1, 'B', 0, 1, ftBlob, 0x01, 0x08});
    tooBig.insert(tooBig.end(), 2049, 'z');
    Append(tooBig, {0, 1});
    try {
        Read(back, tooBig);
        ADD_FAILURE() << "2049 stored bytes were read";
    } catch (const EReadError& e) {
        EXPECT_EQ(e.Message(), "Parameter 'B', cannot load data larger than 2048 bytes");
    }
    ASSERT_EQ(back.Count(), 1);
    EXPECT_EQ(back.Entry(0)->DataType(), ftBlob);

    // Version 2 sizes are four bytes: a huge one is refused the same way.
    Bytes wide;
    Append(wide, {2, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, ftMemo, 0xFF, 0xFF, 0xFF, 0xFF});
    EXPECT_THROW(Read(back, wide), EReadError);
}

TEST(ParamsStream, LongNamesAreWrittenAsVersionTwo) {
    TODBCParams list;
    const String name(300, 'N');
    const String column(256, 'C');
    list.CreateParam(ftUnknown, name, ptInput, column)->SetAsInteger(5);
    list.CreateParam(ftUnknown, "short", ptInput, "c")->SetAsString("v");
    const Bytes bytes = Write(list);
    ASSERT_GE(bytes.size(), 10u);
    EXPECT_EQ(bytes[0], 2);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[2], 2);  // four-byte count
    EXPECT_EQ(bytes[6], 300 & 0xFF);
    EXPECT_EQ(bytes[7], 300 >> 8);
    ExpectRoundTrip(list);

    // At 255 characters version 1 still holds the name.
    TODBCParams fits;
    fits.CreateParam(ftUnknown, String(255, 'n'), ptInput, String(255, 'c'))->SetAsInteger(1);
    EXPECT_EQ(Write(fits)[0], 1);
    ExpectRoundTrip(fits);
}

TEST(ParamsStream, TypesWithoutNativeFormAreNotWritten) {
    TODBCParams list;
    list.CreateParam(ftInteger, "ok", ptInput)->SetAsInteger(1);
    TODBCParam* bad = list.CreateParam(ftTypedBinary, "T", ptInput);
    bad->SetAsString("bytes");
    bad->SetDataType(ftTypedBinary);
    TMemoryStream out;
    EXPECT_THROW(list.WriteBinaryData(out), EDatabaseError);
    EXPECT_EQ(out.Size(), 0);

    // Read side: a stored type the reader has no form for.
    Bytes stored;
    Append(stored, {1, 0, 2, 0});
    Append(stored, {1, 'a', 0, 1, ftInteger, 4, 0, 1, 0, 0, 0, 0, 1});
    Append(stored, {1, 'b', 0, 1, ftVarBytes, 1, 0, 9, 0, 1});
    TODBCParams back;
    try {
        Read(back, stored);
        ADD_FAILURE() << "ftVarBytes was read";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Field 'b' is of an unsupported type");
    }
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back.Entry(0)->GetAsInteger(), 1);
    EXPECT_EQ(back.Entry(1)->DataType(), ftVarBytes);
}

TEST(ParamsStream, ShortStreamsRaiseTheReadError) {
    TODBCParams list;
    list.CreateParam(ftUnknown, "CustNo", ptInput, "CustNo")->SetAsInteger(1234);
    const Bytes full = Write(list);
    for (std::size_t n = 0; n < full.size(); ++n) {
        TODBCParams back;
        EXPECT_THROW(Read(back, Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n))), EReadError)
            << n << " bytes";
    }
    // A version-2 name length far beyond the stream is refused, not allocated.
    Bytes huge;
    Append(huge, {2, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 'a'});
    TODBCParams back;
    EXPECT_THROW(Read(back, huge), EReadError);
    EXPECT_EQ(back.Count(), 1);
}

// ---- form files ---------------------------------------------------------------

/// A component holding a parameter list and opaque binary data of its own,
/// the way a query carries Params and its Data property.
class TParamsHolder : public TComponent {
public:
    explicit TParamsHolder(TComponent* owner)
        : TComponent(owner), FSQL(std::make_unique<TStringList>()), FParams(std::make_unique<TODBCParams>()) {}

    TStrings* SQL() const { return FSQL.get(); }
    TODBCParams* Params() const { return FParams.get(); }
    String Binary;

    void DefineProperties(TFiler& filer) override {
        TComponent::DefineProperties(filer);
        filer.DefineBinaryProperty(
            "Data",
            [this](TStream& s) {
                Binary.assign(static_cast<std::size_t>(s.Size()), '\0');
                s.ReadBuffer(Binary.data(), s.Size());
            },
            [this](TStream& s) { s.WriteBuffer(Binary.data(), static_cast<std::int64_t>(Binary.size())); },
            !Binary.empty());
    }

    static void Register() {
        RegisterClass<TParamsHolder>("TParamsHolder", "TComponent")
            .ObjectProp("SQL", &TParamsHolder::SQL)
            .ObjectProp("Params", &TParamsHolder::Params);
    }

private:
    std::unique_ptr<TStringList> FSQL;
    std::unique_ptr<TODBCParams> FParams;
};

TEST(ParamsStream, ParametersTravelThroughFormFiles) {
    TParamsHolder::Register();
    TParamsHolder holder(nullptr);
    holder.SetName("Query1");
    holder.SQL()->Add("SELECT * FROM Orders WHERE CustNo = :CustNo AND Since > :Since");
    TODBCParam* cust = holder.Params()->CreateParam(ftUnknown, "CustNo", ptInput, "CustNo");
    cust->SetAsInteger(1234);
    TODBCParam* since = holder.Params()->CreateParam(ftUnknown, "Since", ptInput, "Since");
    since->SetAsDateTime(EncodeDateTime(2024, 5, 6, 7, 8, 9, 10));
    holder.Params()->CreateParam(ftString, "Nothing", ptUnknown, "")->Clear();
    holder.Binary = String("\0\x01opaque\xff", 9);

    const String form = WriteComponentToString(&holder);
    EXPECT_NE(form.find("Params.Data = {"), String::npos) << form;
    EXPECT_NE(form.find("0100030006437573744E6F"), String::npos) << form;  // version, count, "CustNo"

    auto free = [](TComponent* c) { c->Free(); };
    std::unique_ptr<TComponent, decltype(free)> read(ReadComponentFromString(form, nullptr), free);
    auto* back = dynamic_cast<TParamsHolder*>(read.get());
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->SQL()->Text(), holder.SQL()->Text());
    EXPECT_EQ(back->Binary, holder.Binary);
    ASSERT_EQ(back->Params()->Count(), 3);
    EXPECT_TRUE(back->Params()->IsEqual(holder.Params()));
    EXPECT_EQ(back->Params()->Entry(1)->ColumnName(), "Since");
    EXPECT_EQ(back->Params()->ParamByName("Since")->GetAsDateTime(), since->GetAsDateTime());
    EXPECT_TRUE(back->Params()->ParamByName("nothing")->IsNull());

    // Written again, the form is the same text.
    EXPECT_EQ(WriteComponentToString(back), form);
}

TEST(ParamsStream, EmptyAndInheritedListsAreNotWritten) {
    TParamsHolder::Register();
    TParamsHolder holder(nullptr);
    holder.SetName("Query1");
    EXPECT_EQ(WriteComponentToString(&holder).find("Params.Data"), String::npos);

    TParamsHolder ancestor(nullptr);
    ancestor.SetName("Query1");
    for (TParamsHolder* h : {&holder, &ancestor}) h->Params()->CreateParam(ftInteger, "A", ptInput)->SetAsInteger(1);
    EXPECT_EQ(WriteComponentToString(&holder, &ancestor).find("Params.Data"), String::npos);
    holder.Params()->ParamByName("A")->SetAsInteger(2);
    EXPECT_NE(WriteComponentToString(&holder, &ancestor).find("Params.Data"), String::npos);
    // An ancestor with parameters and a descendant without: written (empty).
    holder.Params()->Clear();
    const String form = WriteComponentToString(&holder, &ancestor);
    EXPECT_NE(form.find("01000000}"), String::npos) << form;
}

// ---- robustness -----------------------------------------------------------------

/// A list of random parameters, names up to 300 characters.
void RandomList(std::mt19937& rng, TODBCParams& list) {
    std::uniform_int_distribution<int> count(0, 4), len(0, 8), type(0, 16), coin(0, 5);
    std::uniform_int_distribution<int> num(-100000, 100000);
    for (int n = count(rng); n > 0; --n) {
        String name(static_cast<std::size_t>(coin(rng) == 0 ? 256 + len(rng) : len(rng)), 'p');
        if (!name.empty()) name[0] = static_cast<char>('A' + n);
        TODBCParam* p = list.CreateParam(ftUnknown, name, static_cast<TODBCParamType>(coin(rng) % 5), "c");
        switch (type(rng)) {
            case 0:
                p->SetAsString(String(static_cast<std::size_t>(len(rng) * 40), 's'));
                break;
            case 1:
                p->SetAsSmallInt(num(rng) % 30000);
                break;
            case 2:
                p->SetAsInteger(num(rng));
                break;
            case 3:
                p->SetAsWord(num(rng) & 0xFFFF);
                break;
            case 4:
                p->SetAsBoolean(num(rng) > 0);
                break;
            case 5:
                p->SetAsFloat(num(rng) / 7.0);
                break;
            case 6:
                p->SetAsCurrency(num(rng) / 100.0);
                break;
            case 7:
                p->SetAsBCD(Currency::FromUnits(num(rng)));
                break;
            case 8:
                p->SetAsDate(num(rng) % 50000);
                break;
            case 9:
                p->SetAsTime(std::abs(num(rng)) / 100001.0);
                break;
            case 10:
                p->SetAsDateTime(num(rng) / 3.0);
                break;
            case 11:
                p->SetAsMemo(String(static_cast<std::size_t>(len(rng)), 'm'));
                break;
            case 12:
                p->SetAsBlob(String(static_cast<std::size_t>(len(rng)), '\0'));
                break;
            case 13:
                p->SetDataType(ftCursor);
                break;
            case 14:
                p->SetAsInteger(num(rng));
                p->SetAsVariant(Variant(num(rng)));
                break;
            default:
                break;  // untyped
        }
        if (coin(rng) == 0) p->Clear();
    }
}

/// Reads bytes into a list; anything but the library's own errors fails.
/// Answers whether the read succeeded.
bool ReadSafely(const Bytes& bytes, int caseNo) {
    TODBCParams list;
    try {
        Read(list, bytes);
    } catch (const Exception&) {
        // Whatever was read stays consistent and can be freed.
        for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(list.Entry(i)->ParamList(), &list);
        return false;
    } catch (const std::exception& e) {
        ADD_FAILURE() << "case " << caseNo << ": foreign exception " << e.what();
        return false;
    }
    // What was read can be written again, or is refused with the library's
    // errors (a stored type without native form).
    try {
        TMemoryStream out;
        list.WriteBinaryData(out);
    } catch (const Exception&) {}
    return true;
}

TEST(ParamsStreamRobustness, RandomAndDamagedStreamsRaiseOnlyTheLibrarysErrors) {
    std::mt19937 rng(424242);
    std::uniform_int_distribution<int> byte(0, 255), small(0, 40);
    int cases = 0, succeeded = 0;
    while (cases < 100000) {
        TODBCParams list;
        RandomList(rng, list);
        const Bytes full = Write(list);
        // The whole stream reads back.
        EXPECT_TRUE(ReadSafely(full, cases++));
        ++succeeded;
        // Every kind of damage: cut short, bytes changed, bytes inserted.
        for (int k = 0; k < 9; ++k) {
            Bytes damaged = full;
            switch (k % 3) {
                case 0:
                    damaged.resize(std::uniform_int_distribution<std::size_t>(0, full.size() - 1)(rng));
                    break;
                case 1:
                    for (int flips = 1 + small(rng) % 4; flips > 0; --flips)
                        damaged[std::uniform_int_distribution<std::size_t>(0, damaged.size() - 1)(rng)] =
                            static_cast<std::uint8_t>(byte(rng));
                    break;
                default:
                    damaged.insert(
                        damaged.begin() + static_cast<std::ptrdiff_t>(
                                              std::uniform_int_distribution<std::size_t>(0, damaged.size())(rng)),
                        static_cast<std::uint8_t>(byte(rng)));
                    break;
            }
            succeeded += ReadSafely(damaged, cases++) ? 1 : 0;
        }
        // Pure noise behind a plausible version.
        Bytes noise{static_cast<std::uint8_t>(byte(rng) % 4), 0};
        for (int n = small(rng); n > 0; --n) noise.push_back(static_cast<std::uint8_t>(byte(rng)));
        succeeded += ReadSafely(noise, cases++) ? 1 : 0;
    }
    EXPECT_GE(cases, 100000);
    EXPECT_GT(succeeded, 5000);
}

}  // namespace
}  // namespace velora
