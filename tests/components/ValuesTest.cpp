// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Every value reaches the user whole: 64-bit and unsigned integers, types the
// engine has no form for (read as text), and their stored parameter form.
#include "components/ComponentTestUtil.h"
#include "components/DataSetTestUtil.h"
#include "support/DatabaseClient.h"

#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCconst.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <vector>

namespace velora {
namespace {

using test::DataSetDriverTest;
using test::DriverKind;
using test::ErrorOf;

constexpr std::int64_t kMin64 = INT64_MIN;
constexpr std::int64_t kMax64 = INT64_MAX;

class Values : public DataSetDriverTest {
protected:
    TODBCQuery* NewQuery(const std::string& sql) {
        auto* q = new TODBCQuery(FOwner.get());
        q->SetDataBase(FDb);
        q->SQL()->SetText(sql);
        return q;
    }
    std::string Scalar(const std::string& sql) { return FRaw->Scalar(sql).value_or("<null>"); }
};

TEST_P(Values, BigintExtremesRoundTripThroughFieldsAndParameters) {
    const std::string name = CreateTable("id integer primary key, n bigint");
    FRaw->Exec("INSERT INTO " + name + " VALUES (1, -9223372036854775807 - 1), (2, 9223372036854775807)");
    TODBCTable* t = NewTable(name);
    t->IndexParams()->Add("id");
    t->SetIndexed(true);
    t->Open();
    ASSERT_EQ(t->FieldCount(), 2);
    TField* n = t->FieldByName("n");
    EXPECT_EQ(n->DataType(), ftLargeint);
    EXPECT_EQ(n->AsLargeInt(), kMin64);
    EXPECT_EQ(n->AsString(), "-9223372036854775808");
    EXPECT_EQ(n->AsVariant().AsInt64(), kMin64);
    EXPECT_NE(ErrorOf([&] { n->AsInteger(); }), "(no error)") << "32 bits cannot hold it";
    t->Next();
    EXPECT_EQ(n->AsLargeInt(), kMax64);

    t->Edit();
    n->SetAsString("-9223372036854775807");
    t->Post();
    t->First();
    t->Edit();
    n->SetAsLargeInt(kMax64 - 1);
    t->Post();
    EXPECT_EQ(Scalar("SELECT n FROM " + name + " WHERE id = 1"), "9223372036854775806");
    EXPECT_EQ(Scalar("SELECT n FROM " + name + " WHERE id = 2"), "-9223372036854775807");
    t->Close();

    TODBCQuery* ins = NewQuery("INSERT INTO " + name + " (id, n) VALUES (3, :n)");
    ins->ParamByName("n")->SetAsLargeInt(kMin64);
    ins->ExecSQL();
    TODBCQuery* q = NewQuery("SELECT id, n FROM " + name + " WHERE n = :n");
    q->ParamByName("n")->SetAsLargeInt(kMin64);
    q->Open();
    EXPECT_EQ(q->FieldByName("id")->AsInteger(), 3);
    EXPECT_EQ(q->FieldByName("n")->AsLargeInt(), kMin64);
}

TEST_P(Values, CountSumAndBigSerialKeysAreFields) {
    VELORA_REQUIRE_TRAIT(Drv(), test::Need::CountDescribedBeforeExecution);
    VELORA_REQUIRE_TRAIT(Drv(), test::Need::BigSerialKey);
    const std::string key = Drv().Traits.BigSerialKey;
    const std::string name = CreateTable(key + ", name varchar(20)");
    TODBCTable* t = NewTable(name);
    t->Open();
    for (const char* v : {"a", "b"}) {
        t->Append();
        t->FieldByName("name")->SetAsString(v);
        t->Post();
    }
    t->Refresh();
    EXPECT_EQ(t->FieldByName("id")->DataType(), ftLargeint);
    EXPECT_FALSE(t->FieldByName("id")->IsNull()) << "the key the server assigned reads back";

    TODBCQuery* q = NewQuery("SELECT count(*), sum(id) FROM " + name);
    q->Open();
    ASSERT_EQ(q->FieldCount(), 2) << "no column is dropped";
    EXPECT_EQ(q->Fields().Fields(0)->AsString(), "2");
    EXPECT_EQ(q->Fields().Fields(1)->AsString(), Scalar("SELECT sum(id) FROM " + name));
}

TEST_P(Values, UnsignedIntegersKeepTheirMaximum) {
    VELORA_REQUIRE_TRAIT(Drv(), test::Need::UnsignedTypes);
    const std::string name =
        CreateTable("id int primary key, a tinyint unsigned, b smallint unsigned, c int unsigned, d bigint unsigned");
    FRaw->Exec("INSERT INTO " + name + " VALUES (1, 255, 65535, 4294967295, 18446744073709551615)");
    TODBCTable* t = NewTable(name);
    t->Open();
    const std::vector<std::string> max = {"255", "65535", "4294967295", "18446744073709551615"};
    const std::vector<std::string> lower = {"254", "65534", "4294967294", "18446744073709551614"};
    const char* cols[] = {"a", "b", "c", "d"};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(t->FieldByName(cols[i])->AsString(), max[i]) << cols[i];
    t->Edit();
    for (int i = 0; i < 4; ++i) t->FieldByName(cols[i])->SetAsString(lower[i]);
    t->Post();
    const auto rows = FRaw->Query("SELECT a, b, c, d FROM " + name);
    ASSERT_EQ(rows.size(), 1u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(rows[0][static_cast<std::size_t>(i)], lower[i]) << cols[i];
}

TEST_P(Values, TypesWithoutAFormReadAsTextAndNoColumnIsDropped) {
    std::string columns, values;
    std::vector<std::string> names;
    switch (Drv().Kind) {
        case DriverKind::PostgreSQL:
            columns = "id int primary key, u uuid, i interval, j json, a int[]";
            values = "1, 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', '1 day 02:03:04', '{\"k\": [1, 2]}', '{1,2,3}'";
            names = {"u", "i", "j", "a"};
            break;
        case DriverKind::MariaDB:
            columns = "id int primary key, j json, s set('x','y','z'), e enum('p','q')";
            values = "1, '{\"k\": [1, 2]}', 'x,z', 'q'";
            names = {"j", "s", "e"};
            break;
        case DriverKind::SQLite:
            columns = "id int primary key, g guid, w whatever(12), n";
            values = "1, 'a0eebc99', 'any text', 'no type'";
            names = {"g", "w", "n"};
            break;
    }
    const std::string name = CreateTable(columns);
    FRaw->Exec("INSERT INTO " + name + " VALUES (" + values + ")");
    TODBCQuery* q = NewQuery("SELECT * FROM " + name);
    q->Open();
    EXPECT_EQ(q->FieldCount(), static_cast<int>(names.size()) + 1);
    // A uuid (and SQLite's column declared guid) is a GUID field: its text
    // the GUID in braces, upper case; SQLite's text that is no GUID reads as
    // it is stored.
    for (const std::string& c : names) {
        std::string want = Scalar("SELECT " + c + (c == "u" ? "::text" : "") + " FROM " + name);
        if (c == "u") {
            for (char& ch : want) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            want = "{" + want + "}";
        }
        EXPECT_EQ(q->FieldByName(c)->AsString(), want) << c;
        EXPECT_EQ(q->FieldByName(c)->DataType() == ftGuid, c == "u" || c == "g") << c;
    }
}

// A GUID column becomes an ftGuid field whose text is {XXXXXXXX-XXXX-XXXX-
// XXXX-XXXXXXXXXXXX}: read, edited, inserted, passed as a parameter and
// cleared, the database's own client the oracle. PostgreSQL's uuid travels
// as SQL_C_GUID's 16 bytes; SQLite's declared GUID holds text, written in the
// field's form. MariaDB describes its UUID type as char(36): a string there.
TEST_P(Values, GuidColumnsAreGuidFieldsEveryWay) {
    struct Case {
        DriverKind Kind;
        const char* Type;
        bool Stored;  // the client shows what was written in the field's form (else in lower case, no braces)
    };
    static const Case cases[] = {{DriverKind::PostgreSQL, "uuid", false}, {DriverKind::SQLite, "GUID", true}};
    const Case* c = nullptr;
    for (const Case& k : cases)
        if (k.Kind == Drv().Kind) c = &k;
    if (!c) GTEST_SKIP() << "no GUID column type";
    auto client = [&](const std::string& form) {
        if (c->Stored) return form;
        std::string plain = form.substr(1, 36);
        for (char& ch : plain) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        return plain;
    };
    const std::string name = CreateTable(std::string("id int primary key, g ") + c->Type);
    FRaw->Exec("INSERT INTO " + name + " VALUES (1, 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'), (2, NULL)");
    auto stored = [&](int id) {
        return test::ClientOutput(Drv(), "SELECT g FROM " + name + " WHERE id = " + std::to_string(id) + ";");
    };
    TODBCTable* t = NewTable(name);
    t->IndexParams()->Add("id");
    t->SetIndexed(true);
    t->Open();
    TField* g = t->FieldByName("g");
    ASSERT_EQ(g->DataType(), ftGuid);
    EXPECT_EQ(g->Size(), 38);
    EXPECT_EQ(g->AsString(), "{A0EEBC99-9C0B-4EF8-BB6D-6BB9BD380A11}");

    // Edits in any spelling store the GUID; a text that is none is refused.
    const struct {
        int Id;
        const char* Written;  // nullptr: cleared
        const char* Form;     // what the field shows after post
    } edits[] = {{1, "{0123abcd-89ab-cdef-0123-456789abcdef}", "{0123ABCD-89AB-CDEF-0123-456789ABCDEF}"},
                 {2, "11111111-2222-3333-4444-555555555555", "{11111111-2222-3333-4444-555555555555}"},
                 {1, nullptr, ""}};
    for (const auto& e : edits) {
        ASSERT_TRUE(t->Locate("id", Variant(e.Id), {}));
        t->Edit();
        if (e.Written)
            g->SetAsString(e.Written);
        else
            g->Clear();
        t->Post();
        EXPECT_EQ(g->AsString(), e.Form) << e.Id;
        EXPECT_EQ(stored(e.Id), e.Written ? client(e.Form) : "") << e.Id;
    }
    t->Edit();
    EXPECT_EQ(ErrorOf([&] { g->SetAsString("not a guid"); }), "'not a guid' is not a valid GUID value for field 'g'");
    t->Cancel();

    // Inserted through the table and through a parameter of type ftGuid.
    t->Append();
    t->FieldByName("id")->SetAsInteger(3);
    g->SetAsString("{22222222-3333-4444-5555-666666666666}");
    t->Post();
    EXPECT_EQ(stored(3), client("{22222222-3333-4444-5555-666666666666}"));
    TODBCQuery* ins = NewQuery("INSERT INTO " + name + " (id, g) VALUES (4, :g)");
    ins->ParamByName("g")->SetDataType(ftGuid);
    ins->ParamByName("g")->SetText("{33333333-4444-5555-6666-777777777777}");
    ins->ExecSQL();
    EXPECT_EQ(stored(4), client("{33333333-4444-5555-6666-777777777777}"));
    TODBCQuery* q = NewQuery("SELECT g FROM " + name + " WHERE id = 4");
    q->Open();
    EXPECT_EQ(q->FieldByName("g")->AsString(), "{33333333-4444-5555-6666-777777777777}");
}

TEST_P(Values, UntouchedValuesSurviveAnEditOfAnotherColumn) {
    std::string columns = "id int primary key, note varchar(20), ts ";
    std::string values = "1, 'old', '2024-02-29 13:45:56.123456'";
    std::vector<std::string> kept = {"ts"};
    switch (Drv().Kind) {
        case DriverKind::PostgreSQL:
            columns += "timestamp(6), d numeric(38,10), big bigint, u uuid, j json";
            values +=
                ", 1234567890123456789012345678.1234567890, -9223372036854775807 - 1, "
                "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', '{\"k\": 1}'";
            kept.insert(kept.end(), {"d", "big", "u", "j"});
            break;
        case DriverKind::MariaDB:
            columns += "datetime(6), d numeric(38,10), big bigint, j json";
            values += ", 1234567890123456789012345678.1234567890, 9223372036854775807, '{\"k\": 1}'";
            kept.insert(kept.end(), {"d", "big", "j"});
            break;
        case DriverKind::SQLite:
            columns += "timestamp";
            break;
    }
    const std::string name = CreateTable(columns);
    FRaw->Exec("INSERT INTO " + name + " VALUES (" + values + ")");
    std::vector<std::string> before;
    for (const std::string& c : kept) before.push_back(Scalar("SELECT " + c + " FROM " + name));
    TODBCTable* t = NewTable(name);
    t->Open();
    t->Edit();
    t->FieldByName("note")->SetAsString("new");
    t->Post();
    EXPECT_EQ(Scalar("SELECT note FROM " + name), "new");
    for (std::size_t i = 0; i < kept.size(); ++i)
        EXPECT_EQ(Scalar("SELECT " + kept[i] + " FROM " + name), before[i]) << kept[i];
}

// psqlODBC describes a numeric without precision as numeric(28,6): such a
// column (and a computed numeric) keeps every digit on both sides of the
// point through read and write, while a declared numeric(28,6) keeps its
// scale check. The client is the oracle.
TEST_P(Values, UnconstrainedNumericKeepsEveryDigit) {
    if (Drv().Kind != DriverKind::PostgreSQL) GTEST_SKIP() << "PostgreSQL's unconstrained numeric";
    const std::string name = CreateTable("id int primary key, n numeric, d numeric(28,6)");
    FRaw->Exec("INSERT INTO " + name + " VALUES (1, 0.5, 1.5)");
    TODBCTable* t = NewTable(name);
    t->Open();
    TField* n = t->FieldByName("n");
    const char* const written[] = {"0.000000000000000000000000000001",
                                   "123456789012345678901234567890.123456789012345678901234567890", "-1.5"};
    for (const char* text : written) {
        t->Edit();
        n->SetAsString(text);
        t->Post();
        EXPECT_EQ(test::ClientOutput(Drv(), "SELECT n FROM " + name + ";"), text);
        EXPECT_EQ(n->AsString(), text);
    }
    t->Edit();
    n->SetAsFloat(1e-30);
    t->Post();
    EXPECT_EQ(test::ClientOutput(Drv(), "SELECT n FROM " + name + ";"), written[0]);
    t->Edit();
    EXPECT_EQ(ErrorOf([&] { t->FieldByName("d")->SetAsString("1.1234567"); }),
              "Value '1.1234567' does not fit field 'd' of precision 28 and scale 6");
    t->Cancel();
    t->Close();
    TODBCQuery* q = NewQuery("SELECT n + 0 AS e FROM " + name);
    q->Open();
    EXPECT_EQ(q->FieldByName("e")->AsString(), written[0]);
}

TEST_P(Values, DecimalTextIsReadAndWrittenExactly) {
    VELORA_REQUIRE_TRAIT(Drv(), test::Need::ExactDecimals);
    const std::string name = CreateTable("id int primary key, d numeric(38,10)");
    FRaw->Exec("INSERT INTO " + name + " VALUES (1, 12345678901234567890.1234567890)");
    TODBCTable* t = NewTable(name);
    t->Open();
    TField* d = t->FieldByName("d");
    EXPECT_EQ(d->AsString(), "12345678901234567890.1234567890");
    EXPECT_DOUBLE_EQ(d->AsFloat(), 12345678901234567890.1234567890);
    t->Edit();
    EXPECT_EQ(ErrorOf([&] { d->SetAsString("1.12345678901"); }),
              "Value '1.12345678901' does not fit field 'd' of precision 38 and scale 10");
    EXPECT_EQ(ErrorOf([&] { d->SetAsString("1234567890123456789012345678901"); }),
              "Value '1234567890123456789012345678901' does not fit field 'd' of precision 38 and scale 10");
    EXPECT_EQ(ErrorOf([&] { d->SetAsString("1e5"); }), "'1e5' is not a valid decimal value for field 'd'");
    d->SetAsString("-1234567890123456789012345678.0000000001");
    t->Post();
    EXPECT_EQ(Scalar("SELECT d FROM " + name), "-1234567890123456789012345678.0000000001");
    t->Close();

    // A decimal parameter from text binds exactly, also after its stored form.
    TODBCQuery* q = NewQuery("INSERT INTO " + name + " (id, d) VALUES (2, :d)");
    q->ParamByName("d")->SetDataType(ftBCD);
    q->ParamByName("d")->SetText("98765432109876543210.0123456789");
    TMemoryStream stored;
    q->Params()->WriteBinaryData(stored);
    stored.SetPosition(0);
    q->Params()->ReadBinaryData(stored);
    q->ExecSQL();
    EXPECT_EQ(Scalar("SELECT d FROM " + name + " WHERE id = 2"), "98765432109876543210.0123456789");
}

// String fields read their text straight from the record: the record of the
// dataset's state, NULL as empty, and never the record while OnValidate is
// asked about a value not stored yet.
TEST_P(Values, StringFieldsReadTheRecordOfTheStateAndOnValidateSeesTheProposedValue) {
    const std::string name = CreateTable("id int primary key, name varchar(20), d numeric(12,2)");
    FRaw->Exec("INSERT INTO " + name + " VALUES (1, 'old', 1.25), (2, NULL, NULL)");
    TODBCTable* t = NewTable(name);
    t->IndexParams()->Add("id");
    t->SetIndexed(true);
    t->Open();
    TField* text = t->FieldByName("name");
    TField* d = t->FieldByName("d");
    std::vector<String> proposed;
    text->OnValidate = [&](TField* f) { proposed.push_back(f->AsString()); };
    d->OnValidate = [&](TField* f) { proposed.push_back(f->AsString()); };
    t->Edit();
    text->SetAsString("new");
    d->SetAsFloat(2.5);
    EXPECT_EQ(proposed, (std::vector<String>{"new", "2.5"}));
    EXPECT_EQ(text->AsString(), "new");
    EXPECT_EQ(text->OldValue().AsString(), "old");
    t->Cancel();
    EXPECT_EQ(text->AsString(), "old");
    t->Next();
    EXPECT_TRUE(text->IsNull());
    EXPECT_EQ(text->AsString(), "");
    EXPECT_EQ(d->AsString(), "");
}

TEST_P(Values, SQLiteTextBeyondTheDeclaredSizeReadsWholeInEveryBlockPosition) {
    VELORA_REQUIRE_TRAIT(Drv(), test::Need::TextBeyondDeclaredSize);
    const std::string name = CreateTable("id integer primary key, name varchar(40)");
    auto valueOf = [](int id) {
        std::string v;
        const int chars = id % 7 == 0 ? 120 : 40;  // 3x the declared size: 240 bytes, beyond the buffer
        for (int i = 0; i < chars; ++i) v += i % 2 ? "\xC3\xA9" : "a";
        return v;
    };
    std::vector<std::string> rows;
    for (int id = 1; id <= 1000; ++id) rows.push_back(std::to_string(id) + ", '" + valueOf(id) + "'");
    test::InsertRows(*FRaw, name, rows);
    for (bool uni : {false, true}) {
        TODBCTable* t = NewTable(name);
        t->SetUniDirectional(uni);
        t->Open();
        int id = 0;
        for (; !t->Eof(); t->Next()) {
            ++id;
            ASSERT_EQ(t->FieldByName("id")->AsInteger(), id);
            ASSERT_EQ(t->FieldByName("name")->AsString(), valueOf(id)) << "row " << id << (uni ? " uni" : "");
        }
        EXPECT_EQ(id, 1000);
    }
    TODBCTable* t = NewTable(name);
    t->Open();
    t->Edit();
    std::string longer;
    for (int i = 0; i < 41; ++i) longer += "\xC3\xA9";
    EXPECT_EQ(ErrorOf([&] { t->FieldByName("name")->SetAsString(longer); }),
              "Value of 41 characters is too long for field 'name' of size 40");
    t->Cancel();
    EXPECT_EQ(Scalar("SELECT name FROM " + name + " WHERE id = 1"), valueOf(1)) << "nothing stored";
}

TEST(ValuesStoredForm, LargeIntParametersKeepEveryBitAndUnknownTypeCodesAreRefused) {
    TODBCParams list;
    list.CreateParam(ftUnknown, "lo", ptInput)->SetAsLargeInt(kMin64);
    list.CreateParam(ftUnknown, "hi", ptInput)->SetAsVariant(Variant(kMax64));
    TMemoryStream stream;
    list.WriteBinaryData(stream);
    TODBCParams back;
    stream.SetPosition(0);
    back.ReadBinaryData(stream);
    ASSERT_EQ(back.Count(), 2);
    EXPECT_EQ(back[0]->DataType(), ftLargeint);
    EXPECT_EQ(back[0]->AsLargeInt(), kMin64);
    EXPECT_EQ(back[1]->AsLargeInt(), kMax64);
    EXPECT_TRUE(back.IsEqual(&list));

    // The type code of the first record (after version, count, two names
    // and the parameter type) is one no reader knows.
    std::vector<std::uint8_t> bytes = stream.Bytes();
    bytes[2 + 2 + 1 + 2 + 1 + 0 + 1] = 200;
    TMemoryStream bad;
    bad.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    bad.SetPosition(0);
    EXPECT_EQ(ErrorOf([&] { back.ReadBinaryData(bad); }), SInvalidVersion);
}

INSTANTIATE_TEST_SUITE_P(Drivers, Values, test::AllDrivers(), test::DriverParamName());

}  // namespace
}  // namespace velora
