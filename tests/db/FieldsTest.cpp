// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The field classes: the buffer form each type hands to the dataset (checked
// byte for byte where a cursor depends on it), conversions between the As...
// accessors, text for programs and for people, ranges, validation and
// change events, BLOB fields through their streams, and field definitions.
#include "support/MemDataSet.h"
#include "support/TestSupport.h"

#include "velora/classes/FormFiles.h"
#include "velora/classes/TypInfo.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <memory>

namespace velora::test {
namespace {

// One row with a column of every kind, opened and put into edit mode.
struct AllTypes {
    Owner o;
    TMemDataSet* Ds = new TMemDataSet(o.Root);
    AllTypes() {
        auto* defs = Ds->FieldDefs();
        defs->Add("S", ftString, 5);
        defs->Add("SI", ftSmallint);
        defs->Add("I", ftInteger);
        defs->Add("W", ftWord);
        defs->Add("B", ftBoolean);
        defs->Add("F", ftFloat);
        defs->Add("C", ftCurrency);
        defs->Add("N", ftBCD, 2)->SetPrecision(10);
        defs->Add("D", ftDate);
        defs->Add("T", ftTime);
        defs->Add("DT", ftDateTime);
        defs->Add("BY", ftBytes, 4);
        defs->Add("VB", ftVarBytes, 6);
        defs->Add("AI", ftAutoInc);
        defs->Add("BL", ftBlob);
        defs->Add("M", ftMemo);
        defs->Add("G", ftGraphic);
        Ds->AddRow({});
        Ds->Open();
        Ds->Edit();
    }
    TField* F(const char* name) { return Ds->FieldByName(name); }
    /// The field's value in buffer form, as the dataset stores it.
    std::vector<std::uint8_t> Raw(const char* name) {
        TField* field = F(name);
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(field->DataSize()), 0xEE);
        EXPECT_TRUE(field->GetData(bytes.data()));
        return bytes;
    }
};

TEST(FieldClasses, DefaultFieldsGetTheClassOfTheirType) {
    AllTypes t;
    EXPECT_EQ(t.F("S")->ClassName(), "TStringField");
    EXPECT_EQ(t.F("SI")->ClassName(), "TSmallintField");
    EXPECT_EQ(t.F("W")->ClassName(), "TWordField");
    EXPECT_EQ(t.F("C")->ClassName(), "TCurrencyField");
    EXPECT_EQ(t.F("N")->ClassName(), "TBCDField");
    EXPECT_EQ(t.F("D")->ClassName(), "TDateField");
    EXPECT_EQ(t.F("VB")->ClassName(), "TVarBytesField");
    EXPECT_EQ(t.F("AI")->ClassName(), "TAutoIncField");
    EXPECT_EQ(t.F("M")->ClassName(), "TMemoField");
    EXPECT_EQ(t.F("G")->ClassName(), "TGraphicField");
    EXPECT_EQ(static_cast<TBCDField*>(t.F("N"))->Precision(), 10);
    EXPECT_EQ(t.F("N")->Size(), 2);
    EXPECT_EQ(t.F("S")->DataSize(), 6);
    EXPECT_EQ(t.F("VB")->DataSize(), 8);
    EXPECT_EQ(t.F("N")->DataSize(), BCDBufferSize);
    EXPECT_EQ(t.Ds->BlobFieldCount(), 3);
    EXPECT_EQ(t.F("M")->Offset(), 1) << "BLOB fields are numbered among themselves";
    EXPECT_EQ(t.F("I")->Alignment(), taRightJustify);
    EXPECT_EQ(DefaultFieldClass(ftCursor), nullptr);
    EXPECT_EQ(DefaultFieldClass(ftUnknown), nullptr);
}

TEST(FieldClasses, NullValues) {
    AllTypes t;
    for (int i = 0; i < t.Ds->FieldCount(); ++i) {
        TField* f = t.Ds->Fields()[i];
        SCOPED_TRACE(f->FieldName());
        EXPECT_TRUE(f->IsNull());
        EXPECT_TRUE(f->AsVariant().IsNull());
        EXPECT_FALSE(f->GetData(nullptr));
    }
    EXPECT_EQ(t.F("S")->AsString(), "");
    EXPECT_EQ(t.F("I")->AsInteger(), 0);
    EXPECT_EQ(t.F("F")->AsFloat(), 0.0);
    EXPECT_EQ(t.F("DT")->AsString(), "");
    EXPECT_EQ(t.F("M")->AsString(), "");
    EXPECT_EQ(t.F("M")->DisplayText(), "(Memo)");
    EXPECT_EQ(t.F("BY")->DisplayText(), "(Bytes)");
}

TEST(FieldClasses, StringsAreZeroTerminatedAndRefusedBeyondSize) {
    AllTypes t;
    TField* s = t.F("S");
    s->SetAsString("abcde");
    EXPECT_EQ(ErrorOf([&] { s->SetAsString("ab\xC3\xA9\xC3\xA9"); }),
              "Value of 6 bytes is too long for field 'S' of size 5")
        << "never cut, which could end inside a UTF-8 sequence";
    EXPECT_EQ(s->AsString(), "abcde");
    std::vector<std::uint8_t> raw = t.Raw("S");
    EXPECT_EQ(std::memcmp(raw.data(), "abcde\0", 6), 0);
    s->SetAsString("ab");
    raw = t.Raw("S");
    EXPECT_EQ(std::memcmp(raw.data(), "ab\0\0\0\0", 6), 0) << "no bytes of the longer value remain";
    s->SetAsInteger(-42);
    EXPECT_EQ(s->AsInteger(), -42);
    s->SetAsFloat(2.5);
    EXPECT_EQ(s->AsString(), "2.5");
    EXPECT_DOUBLE_EQ(s->AsFloat(), 2.5);
    s->SetAsBoolean(true);
    EXPECT_EQ(s->AsString(), "T");
    EXPECT_TRUE(s->AsBoolean());
    s->SetAsString("abc");
    EXPECT_EQ(ErrorOf([&] { s->AsInteger(); }), "'abc' is not a valid integer value for field 'S'");
    EXPECT_EQ(ErrorOf([&] { s->AsFloat(); }), "'abc' is not a valid floating point value for field 'S'");
    s->SetAsVariant(Variant(12));
    EXPECT_EQ(s->AsString(), "12");
    EXPECT_EQ(s->AsVariant().VarType(), varString);
    EXPECT_EQ(ErrorOf([&] { s->SetSize(0); }), "Cannot perform this operation on an open dataset");
}

TEST(FieldClasses, IntegersCheckTheirTypesRange) {
    AllTypes t;
    TField* si = t.F("SI");
    si->SetAsInteger(-32768);
    EXPECT_EQ(t.Raw("SI"), (std::vector<std::uint8_t>{0x00, 0x80}));
    EXPECT_EQ(si->AsVariant().VarType(), varSmallint);
    EXPECT_EQ(ErrorOf([&] { si->SetAsInteger(40000); }),
              "40000 is not a valid value for field 'SI'. The allowed range is -32768 to 32767");
    EXPECT_EQ(si->AsInteger(), -32768) << "a refused value is not stored";
    TField* w = t.F("W");
    w->SetAsInteger(65535);
    EXPECT_EQ(w->AsInteger(), 65535);
    EXPECT_EQ(ErrorOf([&] { w->SetAsInteger(-1); }),
              "-1 is not a valid value for field 'W'. The allowed range is 0 to 65535");
    auto* i = static_cast<TIntegerField*>(t.F("I"));
    i->SetAsString(" 123 ");
    EXPECT_EQ(i->AsInteger(), 123);
    EXPECT_EQ(t.Raw("I"), (std::vector<std::uint8_t>{123, 0, 0, 0}));
    EXPECT_EQ(ErrorOf([&] { i->SetAsString("12x"); }), "'12x' is not a valid integer value for field 'I'");
    EXPECT_EQ(ErrorOf([&] { i->SetAsString("3000000000"); }),
              "3000000000 is not a valid value for field 'I'. The allowed range is -2147483648 to 2147483647");
    i->SetAsFloat(2.5);
    EXPECT_EQ(i->AsInteger(), 2) << "half to even";
    i->SetAsFloat(3.5);
    EXPECT_EQ(i->AsInteger(), 4);
    i->SetMinValue(1);
    i->SetMaxValue(10);
    EXPECT_EQ(ErrorOf([&] { i->SetAsInteger(11); }),
              "11 is not a valid value for field 'I'. The allowed range is 1 to 10");
    i->SetAsString("");
    EXPECT_TRUE(i->IsNull());
    EXPECT_EQ(ErrorOf([&] { i->AsBoolean(); }), "Cannot access field 'I' as type Boolean");
    EXPECT_EQ(ErrorOf([&] { i->AsDateTime(); }), "Cannot access field 'I' as type DateTime");
}

TEST(FieldClasses, FloatsUseAPointInProgramTextAndFormatForPeople) {
    AllTypes t;
    auto* f = static_cast<TFloatField*>(t.F("F"));
    f->SetAsString("1234.5");
    EXPECT_DOUBLE_EQ(f->AsFloat(), 1234.5);
    EXPECT_EQ(f->AsString(), "1234.5");
    EXPECT_EQ(f->DisplayText(), "1234.5");
    EXPECT_EQ(ErrorOf([&] { f->SetAsString("1,5"); }), "'1,5' is not a valid floating point value for field 'F'");
    f->SetAsFloat(2.675);
    EXPECT_EQ(f->AsCurrency().Units(), 26750);
    EXPECT_EQ(f->AsInteger(), 3);
    f->SetEditText("7.25");
    EXPECT_DOUBLE_EQ(f->AsFloat(), 7.25);
    auto* c = static_cast<TFloatField*>(t.F("C"));
    EXPECT_TRUE(c->IsCurrency());
    c->SetAsFloat(1234.5);
    String shown = c->DisplayText();
    EXPECT_EQ(shown.front(), '$') << shown;
    EXPECT_NE(shown.find(LocaleDecimalSeparator() + "50"), String::npos) << "two decimals for money: " << shown;
    EXPECT_EQ(c->Text(), "1234.50");
    EXPECT_EQ(c->AsVariant().VarType(), varDouble);
    f->SetMinValue(0);
    f->SetMaxValue(100);
    EXPECT_EQ(ErrorOf([&] { f->SetAsFloat(100.5); }),
              "100.5 is not a valid value for field 'F'. The allowed range is 0 to 100");
}

TEST(FieldClasses, BcdValuesAreConvertedByTheDataSet) {
    AllTypes t;
    TField* n = t.F("N");
    n->SetAsString("-12.345");
    std::vector<std::uint8_t> raw = t.Raw("N");
    EXPECT_EQ(raw[0], 10) << "the field's precision";
    EXPECT_EQ(raw[1], 0x82) << "negative, two decimals";
    EXPECT_EQ(n->AsString(), "-12.34") << "rounded half to even to the field's scale";
    EXPECT_EQ(n->AsCurrency().Units(), -123400);
    EXPECT_DOUBLE_EQ(n->AsFloat(), -12.34);
    EXPECT_EQ(n->AsVariant().VarType(), varCurrency);
    n->SetAsInteger(7);
    EXPECT_EQ(n->AsInteger(), 7);
    EXPECT_EQ(ErrorOf([&] { n->SetAsString("123456789"); }), "Invalid value for field 'N'")
        << "nine digits before the point do not fit precision 10 with scale 2";
    EXPECT_EQ(n->AsInteger(), 7);
}

TEST(FieldClasses, BooleansAndTheirDisplayValues) {
    AllTypes t;
    auto* b = static_cast<TBooleanField*>(t.F("B"));
    b->SetAsBoolean(true);
    EXPECT_EQ(t.Raw("B"), (std::vector<std::uint8_t>{1, 0})) << "a driver reads the first byte as 0 or 1";
    EXPECT_EQ(b->AsString(), "True");
    b->SetAsString("f");
    EXPECT_FALSE(b->AsBoolean());
    EXPECT_FALSE(b->IsNull());
    b->SetDisplayValues("Yes;No");
    b->SetAsString("ye");
    EXPECT_TRUE(b->AsBoolean());
    EXPECT_EQ(b->DisplayText(), "Yes");
    EXPECT_EQ(ErrorOf([&] { b->SetAsString("maybe"); }), "'maybe' is not a valid boolean value for field 'B'");
    b->SetAsString("");
    EXPECT_TRUE(b->IsNull());
    b->SetAsVariant(Variant(0));
    EXPECT_FALSE(b->AsBoolean());
    EXPECT_EQ(b->AsVariant().VarType(), varBoolean);
}

TEST(FieldClasses, DatesAndTimesUseTheTimeStampForms) {
    AllTypes t;
    TDateTime moment = EncodeDateTime(2024, 3, 15, 13, 45, 30, 250);
    TTimeStamp ts = DateTimeToTimeStamp(moment);
    t.F("DT")->SetAsDateTime(moment);
    double ms;
    std::vector<std::uint8_t> raw = t.Raw("DT");
    std::memcpy(&ms, raw.data(), sizeof ms);
    EXPECT_EQ(ms, TimeStampToMSecs(ts));
    EXPECT_EQ(t.F("DT")->AsString(), "2024-03-15 13:45:30.250");
    EXPECT_EQ(t.F("DT")->AsVariant().VarType(), varDate);

    t.F("D")->SetAsDateTime(moment);
    std::int32_t day;
    raw = t.Raw("D");
    std::memcpy(&day, raw.data(), sizeof day);
    EXPECT_EQ(day, ts.Date);
    EXPECT_EQ(t.F("D")->AsString(), "2024-03-15");
    EXPECT_DOUBLE_EQ(t.F("D")->AsDateTime(), EncodeDate(2024, 3, 15));

    t.F("T")->SetAsDateTime(moment);
    std::int32_t msOfDay;
    raw = t.Raw("T");
    std::memcpy(&msOfDay, raw.data(), sizeof msOfDay);
    EXPECT_EQ(msOfDay, ts.Time);
    EXPECT_EQ(t.F("T")->AsString(), "13:45:30.250");
    EXPECT_NEAR(t.F("T")->AsDateTime(), EncodeTime(13, 45, 30, 250), 1e-9);

    // Before 1899-12-30 the time of day still counts forward from midnight.
    TDateTime old = EncodeDateTime(1800, 1, 1, 10, 0, 0, 0);
    t.F("DT")->SetAsDateTime(old);
    EXPECT_EQ(t.F("DT")->AsString(), "1800-01-01 10:00:00");
    t.F("DT")->SetAsString("1999-12-31 23:59:59");
    EXPECT_EQ(t.F("DT")->AsString(), "1999-12-31 23:59:59");
    EXPECT_EQ(ErrorOf([&] { t.F("D")->SetAsString("31/12/1999"); }),
              "'31/12/1999' is not a valid date and time value for field 'D'");
}

TEST(FieldClasses, BinaryFieldsKeepTheirBytes) {
    AllTypes t;
    String bytes("\x01\x00\xFF", 3);
    t.F("BY")->SetAsString(bytes);
    EXPECT_EQ(t.F("BY")->AsString(), String("\x01\x00\xFF\x00", 4)) << "fixed size, zero padded";
    t.F("VB")->SetAsString(bytes);
    EXPECT_EQ(t.F("VB")->AsString(), bytes);
    std::vector<std::uint8_t> raw = t.Raw("VB");
    EXPECT_EQ(raw[0], 3);
    EXPECT_EQ(raw[1], 0);
    Variant v = t.F("VB")->AsVariant();
    ASSERT_TRUE(v.IsArray());
    EXPECT_EQ(VarArrayHighBound(v, 1), 2);
    EXPECT_EQ(v[2].AsInteger(), 255);
    t.F("BY")->SetAsVariant(v);
    EXPECT_EQ(t.F("BY")->AsString(), String("\x01\x00\xFF\x00", 4));
    EXPECT_EQ(ErrorOf([&] { t.F("VB")->SetAsString(String(7, 'z')); }),
              "Value of 7 bytes is too long for field 'VB' of size 6")
        << "stored whole or refused, never cut";
    EXPECT_EQ(t.F("VB")->AsString(), bytes);
}

TEST(FieldClasses, BlobFieldsGoThroughStreams) {
    AllTypes t;
    auto* memo = static_cast<TBlobField*>(t.F("M"));
    EXPECT_TRUE(memo->Transliterate());
    EXPECT_FALSE(static_cast<TBlobField*>(t.F("BL"))->Transliterate());
    String big(20000, 'x');
    big[19999] = 'y';
    memo->SetAsString(big);
    EXPECT_TRUE(memo->Modified());
    EXPECT_EQ(memo->AsString(), big);
    EXPECT_EQ(memo->DisplayText(), "(MEMO)");
    EXPECT_EQ(memo->AsVariant().AsString(), big);
    memo->Clear();
    EXPECT_TRUE(memo->IsNull());
    TStringStream in(String("from a stream\0with a zero", 25));
    auto* blob = static_cast<TBlobField*>(t.F("BL"));
    blob->LoadFromStream(in);
    TStringStream out;
    blob->SaveToStream(out);
    EXPECT_EQ(out.DataString(), String("from a stream\0with a zero", 25));
    t.Ds->Post();
    EXPECT_FALSE(blob->Modified()) << "posting releases the BLOB state";
    EXPECT_EQ(t.Ds->StoredValue(0, "BL").AsString(), String("from a stream\0with a zero", 25));
    EXPECT_TRUE(t.Ds->StoredValue(0, "M").IsNull());
    EXPECT_EQ(ErrorOf([&] { blob->SetAsString("x"); }), "Dataset not in edit or insert mode");
    EXPECT_EQ(ErrorOf([&] { blob->SetCalculated(true); }), "Cannot perform this operation on an open dataset");
}

TEST(FieldClasses, TextEventsAndValidation) {
    AllTypes t;
    TField* s = t.F("S");
    s->OnGetText = [](TField* f, String& text, bool display) {
        text = (display ? "<" : "[") + f->AsString() + (display ? ">" : "]");
    };
    s->OnSetText = [](TField* f, const String& text) { f->SetAsString(UpperCase(text)); };
    s->SetEditText("abc");
    EXPECT_EQ(s->AsString(), "ABC");
    EXPECT_EQ(s->DisplayText(), "<ABC>");
    EXPECT_EQ(s->Text(), "[ABC]");

    std::vector<String> proposed;
    int changes = 0;
    s->OnValidate = [&](TField* f) {
        proposed.push_back(f->IsNull() ? "(null)" : f->AsString());
        if (f->AsString() == "BAD") DatabaseError("rejected");
    };
    s->OnChange = [&](TField*) { ++changes; };
    s->SetAsString("ok");
    EXPECT_EQ(ErrorOf([&] { s->SetAsString("BAD"); }), "rejected");
    s->Clear();
    EXPECT_EQ(proposed, (std::vector<String>{"ok", "BAD", "(null)"})) << "OnValidate sees the value being stored";
    EXPECT_EQ(changes, 2) << "a rejected value changes nothing";
    EXPECT_TRUE(s->IsNull());
}

TEST(FieldClasses, VariantsConvertByTheFieldsType) {
    AllTypes t;
    t.F("I")->SetAsVariant(Variant("17"));
    EXPECT_EQ(t.F("I")->AsInteger(), 17);
    t.F("F")->SetAsVariant(Variant(Currency::FromUnits(12345)));
    EXPECT_DOUBLE_EQ(t.F("F")->AsFloat(), 1.2345);
    t.F("DT")->SetValue(Variant::FromDateTime(EncodeDate(2000, 2, 29)));
    EXPECT_EQ(t.F("DT")->AsString(), "2000-02-29");
    t.F("I")->SetAsVariant(Null());
    EXPECT_TRUE(t.F("I")->IsNull());
    t.F("S")->SetAsVariant(Unassigned());
    EXPECT_TRUE(t.F("S")->IsNull());
    EXPECT_THROW(t.F("I")->SetAsVariant(Variant("x")), EVariantError);
}

// ---------------------------------------------------------------------------
// Definitions and field objects outside a dataset

TEST(FieldDefinitions, NamesNumbersAndTheFieldsMadeFromThem) {
    Owner o;
    auto* ds = new TMemDataSet(o.Root);
    TFieldDefs* defs = ds->FieldDefs();
    defs->Add("A", ftInteger);
    EXPECT_EQ(ErrorOf([&] { defs->Add("a", ftString, 3); }), "Duplicate field name 'a'");
    EXPECT_EQ(ErrorOf([&] { defs->Add("", ftString, 3); }), "Field name missing");
    auto* def = new TFieldDef(defs, "B", ftBCD, 4, true, 7);
    def->SetPrecision(12);
    def->SetInternalCalcField(true);
    EXPECT_EQ(defs->Count(), 2);
    EXPECT_EQ(defs->IndexOf("b"), 1);
    EXPECT_EQ(defs->Find("B"), def);
    EXPECT_EQ(ErrorOf([&] { defs->Find("C"); }), "Field 'C' not found");
    TField* field = def->CreateField(ds);
    EXPECT_EQ(field->DataSet(), ds);
    EXPECT_EQ(field->FieldKind(), fkInternalCalc);
    EXPECT_EQ(static_cast<TBCDField*>(field)->Precision(), 12);
    EXPECT_TRUE(field->Required());
    EXPECT_EQ(field->Size(), 4);
    auto* cursor = new TFieldDef(defs, "CUR", ftCursor, 0, false, 8);
    EXPECT_EQ(ErrorOf([&] { cursor->CreateField(ds); }), "Field 'CUR' is of an unknown type");
    TFieldDefs copy(nullptr);
    copy.Assign(*defs);
    EXPECT_EQ(copy.Count(), 3);
    EXPECT_EQ(copy[1]->FieldNo(), 7);
    EXPECT_EQ(copy[1]->Precision(), 12);
    defs->Clear();
    EXPECT_EQ(defs->Count(), 0);
    EXPECT_EQ(field->FieldName(), "B") << "fields outlive the definitions they were made from";
    auto* memoDef = new TFieldDef(defs, "MM", ftFmtMemo, 0, false, 1);
    TField* memo = memoDef->CreateField(ds);
    EXPECT_EQ(memo->DataType(), ftFmtMemo);
    EXPECT_TRUE(memo->IsBlob());
}

// Every field type with a class makes, through its definition, a field of
// that very type whose buffer form, width and alignment are its row of
// FieldTypes; a type served by another's class (the BLOB kinds, ftGuid)
// keeps its own type, and a text type of one length (ftGuid) its size.
TEST(FieldDefinitions, EveryTypeMakesAFieldOfItsOwnRow) {
    TFieldDefs defs(nullptr);
    for (int i = 0; i < kFieldTypeCount; ++i) {
        const auto type = static_cast<TFieldType>(i);
        const TFieldTypeInfo& info = FieldTypeInfo(type);
        SCOPED_TRACE(info.Name);
        EXPECT_STREQ(FieldTypeName(type), info.Name);
        if (!DefaultFieldClass(type)) {
            EXPECT_EQ(info.ClassOf, ftUnknown);
            continue;
        }
        const bool sized = info.DataSize == 0 && !info.Blob && info.Kind != TValueKind::None;
        auto* def = new TFieldDef(&defs, String("F") + std::to_string(i), type, sized && !info.FixedSize ? 12 : 0,
                                  false, i + 1);
        std::unique_ptr<TField> field(def->CreateField(nullptr));
        EXPECT_EQ(field->DataType(), type);
        EXPECT_EQ(field->IsBlob(), info.Blob);
        if (info.DataSize > 0) {
            EXPECT_EQ(field->DataSize(), info.DataSize);
        }
        if (info.FixedSize) {
            EXPECT_EQ(field->Size(), info.FixedSize);
        }
        EXPECT_EQ(field->DisplayWidth(), info.DefaultWidth ? info.DefaultWidth : field->Size());
        EXPECT_EQ(field->Alignment() == taRightJustify, info.RightJustify);
    }
    std::unique_ptr<TField> guid((new TFieldDef(&defs, "G", ftGuid, 0, false, 99))->CreateField(nullptr));
    EXPECT_EQ(dynamic_cast<TStringField*>(guid.get()) != nullptr, true);
    EXPECT_EQ(ErrorOf([&] { guid->SetSize(36); }), "Invalid field size");
}

TEST(FieldDefinitions, ExtractFieldNameWalksASemicolonList) {
    String list = " A ;B;; C";
    std::size_t pos = 0;
    std::vector<String> names;
    while (pos < list.size()) names.push_back(ExtractFieldName(list, pos));
    EXPECT_EQ(names, (std::vector<String>{"A", "B", "", "C"}));
    pos = 0;
    EXPECT_EQ(ExtractFieldName("", pos), "");
    EXPECT_EQ(pos, 0u);
}

TEST(FieldDefinitions, FieldWithoutDataSet) {
    Owner o;
    auto* field = new TIntegerField(o.Root);
    field->SetFieldName("LONELY");
    EXPECT_EQ(ErrorOf([&] { field->AsInteger(); }), "Field 'LONELY' has no dataset");
    EXPECT_EQ(field->Index(), -1);
    EXPECT_EQ(field->DisplayName(), "LONELY");
    field->SetDisplayLabel("Lonely one");
    EXPECT_EQ(field->DisplayName(), "Lonely one");
    EXPECT_EQ(field->DisplayWidth(), 11);
    field->SetDisplayWidth(4);
    EXPECT_EQ(field->DisplayWidth(), 4);
    EXPECT_EQ(ErrorOf([&] { field->SetSize(3); }), "Invalid field size");
    EXPECT_FALSE(field->CanModify());
}

// A dataset whose character set differs: Translate shows which way text goes.
class TUpperDataSet : public TMemDataSet {
public:
    using TMemDataSet::TMemDataSet;
    std::vector<bool> Directions;
    int Translate(const char* Src, char* Dest, bool ToOem) override {
        Directions.push_back(ToOem);
        std::size_t n = std::strlen(Src);
        for (std::size_t i = 0; i <= n; ++i)
            Dest[i] = ToOem ? static_cast<char>(std::toupper(Src[i])) : static_cast<char>(std::tolower(Src[i]));
        return static_cast<int>(n);
    }
};

TEST(FieldClasses, StringFieldsTransliterateThroughTheDataSet) {
    Owner o;
    auto* ds = new TUpperDataSet(o.Root);
    ds->FieldDefs()->Add("S", ftString, 10);
    ds->AddRow({Variant("x")});
    ds->Open();
    ds->Edit();
    auto* s = static_cast<TStringField*>(ds->FieldByName("S"));
    s->SetAsString("Hello");
    EXPECT_EQ(ds->Directions, std::vector<bool>{true});
    EXPECT_EQ(s->AsString(), "hello");
    ds->Post();
    EXPECT_EQ(ds->StoredValue(0, "S").AsString(), "HELLO");
    s->SetTransliterate(false);
    EXPECT_EQ(s->AsString(), "HELLO");
}

// ---------------------------------------------------------------------------
// Form files

class TDbForm : public TComponent {
public:
    using TComponent::TComponent;
};

// A table whose columns exist as soon as it is created, as a table read from
// a form file finds them in the data source.
class TItemsTable : public TMemDataSet {
public:
    explicit TItemsTable(TComponent* AOwner) : TMemDataSet(AOwner) {
        FieldDefs()->Add("ID", ftInteger);
        FieldDefs()->Add("NAME", ftString, 20);
        AddRow({Variant(1), Variant("one")});
        AddRow({Variant(2), Variant("two")});
    }
};

TEST(FieldFormFiles, DataSetsFieldsAndSourcesSurviveAFormFile) {
    RegisterDBClasses();
    RegisterClass<TDbForm>("TDbForm", "TComponent");
    RegisterClass<TItemsTable>("TItemsTable", "TDataSet");

    TDbForm form(nullptr);
    form.SetName("Form1");
    auto* items = new TItemsTable(&form);
    items->SetName("Items");
    auto* id = new TIntegerField(&form);
    id->SetName("ItemsID");
    id->SetFieldName("ID");
    id->SetRequired(true);
    id->SetDataSet(items);
    auto* name = new TStringField(&form);
    name->SetName("ItemsNAME");
    name->SetFieldName("NAME");
    name->SetDisplayLabel("Item name");
    name->SetDisplayWidth(12);
    name->SetDataSet(items);
    auto* price = new TFloatField(&form);
    price->SetName("ItemsPRICE");
    price->SetFieldName("PRICE");
    price->SetFieldKind(fkCalculated);
    price->SetCurrency(true);
    price->SetDataSet(items);
    auto* source = new TDataSource(&form);
    source->SetName("Source");
    source->SetDataSet(items);
    source->SetAutoEdit(false);
    items->Open();
    const String text = WriteComponentToString(&form);
    EXPECT_NE(text.find("DisplayLabel = 'Item name'"), String::npos) << text;
    EXPECT_EQ(text.find("Transliterate"), String::npos) << "defaults are not written";

    TComponent owner(nullptr);
    auto* copy = dynamic_cast<TDbForm*>(ReadComponentFromString(text, &owner));
    ASSERT_NE(copy, nullptr);
    auto* items2 = dynamic_cast<TItemsTable*>(copy->FindComponent("Items"));
    ASSERT_NE(items2, nullptr);
    EXPECT_TRUE(items2->Active()) << "Active is applied after loading";
    EXPECT_FALSE(items2->DefaultFields());
    ASSERT_EQ(items2->FieldCount(), 3);
    TField* name2 = items2->FieldByName("NAME");
    EXPECT_EQ(name2, copy->FindComponent("ItemsNAME"));
    EXPECT_EQ(name2->DisplayLabel(), "Item name");
    EXPECT_EQ(name2->DisplayWidth(), 12);
    EXPECT_EQ(name2->AsString(), "one");
    EXPECT_TRUE(items2->FieldByName("ID")->Required());
    auto* price2 = dynamic_cast<TFloatField*>(items2->FieldByName("PRICE"));
    ASSERT_NE(price2, nullptr);
    EXPECT_EQ(price2->FieldKind(), fkCalculated);
    EXPECT_TRUE(price2->IsCurrency());
    auto* source2 = dynamic_cast<TDataSource*>(copy->FindComponent("Source"));
    ASSERT_NE(source2, nullptr);
    EXPECT_EQ(source2->DataSet(), items2);
    EXPECT_FALSE(source2->AutoEdit());
    EXPECT_EQ(WriteComponentToString(copy), text);
    copy->Free();
}

}  // namespace
}  // namespace velora::test
