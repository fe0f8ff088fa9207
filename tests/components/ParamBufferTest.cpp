// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The parameter buffer of a query: its bytes and descriptors, the refusals
// that come before anything is bound, and, against the real drivers, every
// parameter type reaching the data source as its value (NULL of every type
// as NULL, long strings, memos and binary values whole, dates, times and
// time stamps, decimals, 16-bit values) and lists of more than 64 values.
#include "velora/components/ODBCParamBuffer.h"

#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCconst.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/rtl/DateUtils.h"

#include "support/TestEnv.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace velora {
namespace {

std::vector<std::uint8_t> Bytes(const TODBCParamBuffer& b) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(b.Data());
    return std::vector<std::uint8_t>(p, p + b.Size());
}

using test::ErrorOf;

TEST(ParamBuffer, IntegerAndShortStringGiveTheBytesAndDescriptorsOfTheExample) {
    TODBCParams params;
    params.CreateParam(ftUnknown, "CustNo", ptUnknown, "CustNo")->SetAsInteger(1234);
    params.CreateParam(ftUnknown, "Name", ptUnknown, "Name")->SetAsString("Ann");
    TODBCParamBuffer buffer;
    std::vector<TODBCFldDesc> d;
    buffer.Build(params, d);

    EXPECT_EQ(buffer.Size(), 10);
    EXPECT_EQ(Bytes(buffer), (std::vector<std::uint8_t>{0xD2, 0x04, 0x00, 0x00, 0x41, 0x6E, 0x6E, 0x00, 0xFF, 0xFF}));
    ASSERT_EQ(d.size(), 2u);
    EXPECT_EQ(d[0].FieldNo, 1);
    EXPECT_STREQ(d[0].FldName, "CustNo");
    EXPECT_EQ(d[0].FldType, 6);
    EXPECT_EQ(d[0].Offset, 0);
    EXPECT_EQ(d[0].Len, 4);
    EXPECT_EQ(d[0].NullOffset, 0);
    EXPECT_EQ(d[1].FieldNo, 2);
    EXPECT_EQ(d[1].FldType, 1);
    EXPECT_EQ(d[1].Units1, 3);
    EXPECT_EQ(d[1].Offset, 4);
    EXPECT_EQ(d[1].Len, 4);
    EXPECT_EQ(d[1].NullOffset, 0);
}

TEST(ParamBuffer, NullValuesKeepTheirZeroedAreaAndPointAtTheNullWord) {
    TODBCParams params;
    TODBCParam* i = params.CreateParam(ftInteger, "i", ptInput);
    i->SetAsInteger(77);
    i->Clear();
    TODBCParam* s = params.CreateParam(ftString, "s", ptInput);
    s->SetAsString("abc");
    s->Clear();  // the text "0", which must not reach the driver
    TODBCParamBuffer buffer;
    std::vector<TODBCFldDesc> d;
    buffer.Build(params, d);
    ASSERT_EQ(buffer.Size(), 4 + 2 + 2);
    EXPECT_EQ(Bytes(buffer), (std::vector<std::uint8_t>{0, 0, 0, 0, 0, 0, 0xFF, 0xFF}));
    EXPECT_EQ(d[0].NullOffset, buffer.Size() - 2);
    EXPECT_EQ(d[1].NullOffset, buffer.Size() - 2);
    EXPECT_EQ(d[1].Units1, 0);
}

TEST(ParamBuffer, LongValuesAreDescribedByTheFormTheirBytesTake) {
    TODBCParams params;
    params.CreateParam(ftUnknown, "short", ptInput)->SetAsString(String(255, 'x'));
    params.CreateParam(ftUnknown, "long", ptInput)->SetAsString(String(256, 'y'));
    params.CreateParam(ftUnknown, "memo", ptInput)->SetAsMemo("m");
    params.CreateParam(ftUnknown, "blob", ptInput)->SetAsBlob(String("\0\1", 2));
    TODBCParamBuffer buffer;
    std::vector<TODBCFldDesc> d;
    buffer.Build(params, d);
    EXPECT_EQ(d[0].FldType, fcString);
    EXPECT_EQ(d[0].Len, 256);
    EXPECT_EQ(d[0].Units1, 255);
    for (int k : {1, 2}) {
        EXPECT_EQ(d[k].FldType, fcBlob) << k;
        EXPECT_EQ(d[k].SubType, fscMemo) << k;
        EXPECT_EQ(d[k].Len, 16) << k;
    }
    EXPECT_EQ(d[3].FldType, fcBlob);
    EXPECT_EQ(d[3].SubType, fscBinary);
    // The reference names the parameter's own bytes.
    TODBCParamRef ref;
    std::memcpy(&ref.Data, buffer.Data() + d[1].Offset + offsetof(TODBCParamRef, Data), sizeof ref.Data);
    std::memcpy(&ref.Size, buffer.Data() + d[1].Offset + offsetof(TODBCParamRef, Size), sizeof ref.Size);
    EXPECT_EQ(ref.Size, 256);
    EXPECT_EQ(String(static_cast<const char*>(ref.Data), 256), String(256, 'y'));
}

TEST(ParamBuffer, RepeatedNamesAllBindTheFirstValue) {
    TODBCParams params;
    params.CreateParam(ftUnknown, "X", ptUnknown)->SetAsInteger(1);
    params.CreateParam(ftUnknown, "x", ptUnknown)->SetAsInteger(2);
    TODBCParamBuffer buffer;
    std::vector<TODBCFldDesc> d;
    buffer.Build(params, d);
    EXPECT_EQ(Bytes(buffer), (std::vector<std::uint8_t>{1, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF}));
}

TEST(ParamBuffer, RefusalsComeBeforeAnythingIsLaidOut) {
    TODBCParamBuffer buffer;
    std::vector<TODBCFldDesc> d;
    {
        TODBCParams params;
        params.CreateParam(ftInteger, "a", ptInput)->SetAsInteger(1);
        params.CreateParam(ftUnknown, "Since", ptInput);
        EXPECT_EQ(ErrorOf([&] { buffer.Build(params, d); }), "No value for parameter 'Since'");
        EXPECT_EQ(buffer.Size(), 0);
        EXPECT_TRUE(d.empty());
    }
    {
        TODBCParams params;
        params.CreateParam(ftUnknown, "qty", ptInput)->SetAsSmallInt(40000);
        EXPECT_EQ(ErrorOf([&] { buffer.Build(params, d); }),
                  "Parameter 'qty' value 40000 is out of range -32768..32767");
        params.GetParam(0)->SetAsSmallInt(-32769);
        EXPECT_NE(ErrorOf([&] { buffer.Build(params, d); }), "(no error)");
        params.GetParam(0)->SetAsSmallInt(-32768);
        EXPECT_EQ(ErrorOf([&] { buffer.Build(params, d); }), "(no error)");
    }
    {
        TODBCParams params;
        params.CreateParam(ftUnknown, "w", ptInput)->SetAsWord(70000);
        EXPECT_EQ(ErrorOf([&] { buffer.Build(params, d); }), "Parameter 'w' value 70000 is out of range 0..65535");
        params.GetParam(0)->SetAsWord(-1);
        EXPECT_NE(ErrorOf([&] { buffer.Build(params, d); }), "(no error)");
        params.GetParam(0)->SetAsWord(65535);
        EXPECT_EQ(ErrorOf([&] { buffer.Build(params, d); }), "(no error)");
    }
    {
        TODBCParams params;
        params.CreateParam(ftCursor, "c", ptInput);
        EXPECT_EQ(ErrorOf([&] { buffer.Build(params, d); }), "Field 'c' is of an unsupported type");
        TODBCParams bytes;
        bytes.CreateParam(ftBytes, "b", ptInput);
        EXPECT_EQ(ErrorOf([&] { buffer.Build(bytes, d); }), "Field 'b' is of an unsupported type");
    }
    {
        // 16-bit offsets: 300 strings of 255 characters do not fit.
        TODBCParams params;
        for (int i = 0; i < 300; ++i)
            params.CreateParam(ftUnknown, "p" + std::to_string(i), ptInput)->SetAsString(String(255, 'z'));
        EXPECT_EQ(ErrorOf([&] { buffer.Build(params, d); }),
                  "Parameter 'p255' does not fit the parameter buffer of 65535 bytes");
        EXPECT_EQ(buffer.Size(), 0);
    }
}

TEST(ParamBuffer, AColumnNameLongerThanTheDescriptorKeepsItsWholeName) {
    TODBCParams params;
    const String column(140, 'c');
    params.CreateParam(ftUnknown, "p", ptInput, column)->SetAsInteger(3);
    TODBCParamBuffer buffer;
    std::vector<TODBCFldDesc> d;
    buffer.Build(params, d);
    EXPECT_EQ(std::strlen(d[0].FldName), 31u);
    EXPECT_EQ(d[0].GetName(), column);
}

// ---------------------------------------------------------------------------
// Against the drivers

/// A connected database, a table, and statements run through the engine with
/// a parameter buffer, as a query runs them.
class ParamBinding : public test::DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        if (IsSkipped()) return;
        FRaw = std::make_unique<test::RawConnection>(Drv());
        FDb.reset(new TODBCDatabase(nullptr));
        FDb->SetDataSourceName(Drv().Dsn);
        FDb->SetLoginPrompt(false);
        if (!Drv().User.empty()) FDb->Params()->SetValues("USER NAME", Drv().User);
        FDb->Params()->SetValues("PASSWORD", Drv().Password);
        FDb->Open();
    }
    void TearDown() override {
        FDb.reset();
        for (const std::string& t : FTables) FRaw->DropTableIfExists(t);
    }

    std::string CreateTable(const std::string& columns) {
        std::string name = test::UniqueName("pb");
        FRaw->DropTableIfExists(name);
        FRaw->Exec("CREATE TABLE " + name + " (" + columns + ")");
        FTables.push_back(name);
        return name;
    }

    /// Prepares, binds and executes `sql` with `params`; answers the rows
    /// affected.
    int Run(const String& sql, const TODBCParams& params) {
        SQLHSTMT stmt = ODBCAllocStmt(FDb->Handle());
        std::int32_t rows = -1;
        try {
            ODBCPrepareStmt(stmt, sql, ODBCREADWRITE, true, FDb->CursorMode());
            TODBCParamBuffer buffer;
            buffer.Bind(params, stmt, nullptr);
            ODBCExecute(stmt);
            ODBCRowCount(stmt, rows);
        } catch (...) {
            ODBCFreeStmt(stmt);
            throw;
        }
        ODBCFreeStmt(stmt);
        return rows;
    }

    std::string TypedColumns() const {
        switch (Drv().Kind) {
            case test::DriverKind::SQLite:
                return "id integer, i integer, si smallint, w integer, b boolean, f double precision, c double "
                       "precision, "
                       "bcd numeric(18,4), d date, t time, ts timestamp, s varchar(400), ls varchar(400), m text, bl "
                       "blob";
            case test::DriverKind::PostgreSQL:
                return "id integer, i integer, si smallint, w integer, b boolean, f double precision, c double "
                       "precision, "
                       "bcd numeric(18,4), d date, t time, ts timestamp(3), s varchar(400), ls varchar(400), m text, "
                       "bl bytea";
            case test::DriverKind::MariaDB:
                return "id integer, i integer, si smallint, w integer, b boolean, f double, c double, "
                       "bcd decimal(18,4), d date, t time, ts datetime(3), s varchar(400), ls varchar(400), m "
                       "longtext, "
                       "bl longblob";
        }
        return {};
    }

    std::unique_ptr<test::RawConnection> FRaw;
    TOwnedPtr<TODBCDatabase> FDb;
    std::vector<std::string> FTables;
};

const char* const kTypedInsert =
    "INSERT INTO %s (id, i, si, w, b, f, c, bcd, d, t, ts, s, ls, m, bl) "
    "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

String TypedInsert(const std::string& table) { return Format(kTypedInsert, table); }

/// The parameters of kTypedInsert with values of every type.
void FillTyped(TODBCParams& params, int id, const String& memo, const String& blob) {
    params.Clear();
    params.CreateParam(ftUnknown, "id", ptInput, "id")->SetAsInteger(id);
    params.CreateParam(ftUnknown, "i", ptInput, "i")->SetAsInteger(-2000000000);
    params.CreateParam(ftUnknown, "si", ptInput, "si")->SetAsSmallInt(-32768);
    params.CreateParam(ftUnknown, "w", ptInput, "w")->SetAsWord(65535);
    params.CreateParam(ftUnknown, "b", ptInput, "b")->SetAsBoolean(true);
    params.CreateParam(ftUnknown, "f", ptInput, "f")->SetAsFloat(2.5);
    params.CreateParam(ftUnknown, "c", ptInput, "c")->SetAsCurrency(7.25);
    params.CreateParam(ftUnknown, "bcd", ptInput, "bcd")->SetAsVariant(Variant(Currency::FromUnits(123456)));
    params.CreateParam(ftUnknown, "d", ptInput, "d")->SetAsDate(EncodeDate(2024, 3, 15));
    params.CreateParam(ftUnknown, "t", ptInput, "t")->SetAsTime(EncodeTime(13, 45, 30, 0));
    params.CreateParam(ftUnknown, "ts", ptInput, "ts")->SetAsDateTime(EncodeDateTime(2024, 3, 15, 13, 45, 30, 250));
    params.CreateParam(ftUnknown, "s", ptInput, "s")->SetAsString("Ann");
    params.CreateParam(ftUnknown, "ls", ptInput, "ls")->SetAsString(String(300, 'L') + "end");
    params.CreateParam(ftUnknown, "m", ptInput, "m")->SetAsMemo(memo);
    params.CreateParam(ftUnknown, "bl", ptInput, "bl")->SetAsBlob(blob);
}

TEST_P(ParamBinding, EveryTypeReachesTheDriverAsItsValue) {
    const std::string table = CreateTable(TypedColumns());
    TODBCParams params;
    const String memo = String(5000, 'm') + "!";
    String blob;
    for (int k = 0; k < 3000; ++k) blob += static_cast<char>(k % 256);
    FillTyped(params, 1, memo, blob);
    ASSERT_EQ(params.GetParam(7)->DataType(), ftBCD);
    EXPECT_EQ(Run(TypedInsert(table), params), 1);

    const auto row = FRaw->Query("SELECT id, i, si, w, b, f, c, bcd, d, t, ts, s, ls, m FROM " + table).at(0);
    EXPECT_EQ(row[0].value_or("<null>"), "1");
    EXPECT_EQ(row[1].value_or("<null>"), "-2000000000");
    EXPECT_EQ(row[2].value_or("<null>"), "-32768");
    EXPECT_EQ(row[3].value_or("<null>"), "65535");
    EXPECT_TRUE(row[4] == "1" || row[4] == "t" || row[4] == "true") << row[4].value_or("<null>");
    EXPECT_DOUBLE_EQ(std::stod(row[5].value()), 2.5);
    EXPECT_DOUBLE_EQ(std::stod(row[6].value()), 7.25);
    EXPECT_DOUBLE_EQ(std::stod(row[7].value()), 12.3456);
    EXPECT_EQ(row[8].value_or("<null>").substr(0, 10), "2024-03-15");
    EXPECT_EQ(row[9].value_or("<null>").substr(0, 8), "13:45:30");
    EXPECT_EQ(row[10].value_or("<null>").substr(0, 22), "2024-03-15 13:45:30.25");
    EXPECT_EQ(row[11].value_or("<null>"), "Ann");
    EXPECT_EQ(row[12].value_or("<null>"), String(300, 'L') + "end");
    EXPECT_EQ(row[13].value_or("<null>"), memo);
    EXPECT_EQ(FRaw->Scalar("SELECT bl FROM " + table, SQL_C_BINARY).value_or("<null>"), blob);
}

TEST_P(ParamBinding, NullOfEveryTypeReachesTheDriverAsNull) {
    const std::string table = CreateTable(TypedColumns());
    TODBCParams params;
    FillTyped(params, 1, "memo", "blob");
    for (int k = 1; k < params.Count(); ++k) params.GetParam(k)->Clear();
    EXPECT_EQ(Run(TypedInsert(table), params), 1);
    const auto row = FRaw->Query("SELECT i, si, w, b, f, c, bcd, d, t, ts, s, ls, m, bl FROM " + table).at(0);
    for (std::size_t k = 0; k < row.size(); ++k)
        EXPECT_FALSE(row[k].has_value()) << "column " << k + 1 << ": " << *row[k];
}

TEST_P(ParamBinding, MoreThanSixtyFourParametersBind) {
    std::string columns = "id integer";
    std::string names = "id";
    std::string marks = "?";
    for (int k = 0; k < 99; ++k) {
        columns += ", c" + std::to_string(k) + " integer";
        names += ", c" + std::to_string(k);
        marks += ", ?";
    }
    const std::string table = CreateTable(columns);
    TODBCParams params;
    params.CreateParam(ftUnknown, "id", ptInput)->SetAsInteger(1);
    for (int k = 0; k < 99; ++k) {
        TODBCParam* p = params.CreateParam(ftUnknown, "c" + std::to_string(k), ptInput);
        p->SetAsInteger(k + 1);
        if (k == 80) p->Clear();
    }
    EXPECT_EQ(Run("INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")", params), 1);
    EXPECT_EQ(FRaw->Scalar("SELECT c98 FROM " + table).value_or("<null>"), "99");
    EXPECT_FALSE(FRaw->Scalar("SELECT c80 FROM " + table).has_value());
    // 1 + ... + 99 without the NULL 81.
    EXPECT_EQ(FRaw->Scalar("SELECT count(*) FROM " + table + " WHERE c0 + c50 + c98 = 1 + 51 + 99").value_or(""), "1");
}

TEST_P(ParamBinding, SixteenBitValuesOutOfRangeAreRefusedBeforeTheDriverIsAsked) {
    const std::string table = CreateTable("si smallint, w integer");
    TODBCParams params;
    params.CreateParam(ftUnknown, "si", ptInput)->SetAsSmallInt(40000);
    params.CreateParam(ftUnknown, "w", ptInput)->SetAsWord(1);
    EXPECT_THROW(Run("INSERT INTO " + table + " (si, w) VALUES (?, ?)", params), EDatabaseError);
    params.GetParam(0)->SetAsSmallInt(1);
    params.GetParam(1)->SetAsWord(70000);
    EXPECT_THROW(Run("INSERT INTO " + table + " (si, w) VALUES (?, ?)", params), EDatabaseError);
    EXPECT_EQ(FRaw->Scalar("SELECT count(*) FROM " + table).value_or(""), "0");
}

INSTANTIATE_TEST_SUITE_P(Drivers, ParamBinding, test::AllDrivers(), test::DriverParamName());

}  // namespace
}  // namespace velora
