// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Decimal text given the digits of its scale: digits are only ever added,
// and text that is no plain decimal is left as it is. On the drivers: the
// dataset tells a decimal column's declared scale, a fixed-length binary
// field reads the bytes stored, and the dataset tells a known record count
// without reading ahead.
#include "components/DataSetTestUtil.h"

#include "velora/components/ODBCFieldText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace velora {
namespace {

TEST(FieldText, WithDecimalScaleAddsDigitsAndNeverChangesTheValue) {
    struct Case {
        const char* Text;
        int Scale;
        const char* Shown;
    };
    const Case cases[] = {
        {"814.5", 2, "814.50"}, {"96", 2, "96.00"},    {"-0.5", 3, "-0.500"}, {"1.2345", 2, "1.2345"},
        {"12", 0, "12"},        {"12", -1, "12"},      {"", 2, ""},           {"1e5", 2, "1e5"},
        {"-", 2, "-"},          {"1.2.3", 2, "1.2.3"}, {"1-2", 2, "1-2"},     {"NaN", 2, "NaN"},
    };
    for (const Case& c : cases) EXPECT_EQ(WithDecimalScale(c.Text, c.Scale), c.Shown) << c.Text << " scale " << c.Scale;
}

/// One column of a driver: its declaration, a stored SQL literal, the
/// scale the dataset tells and the text shown with it (nullopt: the bytes
/// the raw client reads, as AsString).
struct ExactTextCase {
    const char* Type;
    const char* Literal;
    int Scale;
    std::optional<std::string> Shown;
};

std::vector<ExactTextCase> ExactTextCases(test::DriverKind kind) {
    std::vector<ExactTextCase> cases = {
        // SQLite hands back a number (814.5); the scale shows it as declared.
        {"decimal(10,2)", "814.5", 2, "814.50"},
        {"decimal(10,2)", "96", 2, "96.00"},
        {"decimal(10,2)", "-0.5", 2, "-0.50"},
        {"decimal(10,2)", "12345678.91", 2, "12345678.91"},
        {"decimal(10,0)", "7", 0, "7"},
        {"varchar(10)", "'8.5'", -1, "8.5"},
    };
    if (kind == test::DriverKind::SQLite) {
        // blob(n) is a fixed-length binary field; SQLite keeps what it is given.
        for (const char* bytes : {"X'0102'", "X''", "X'00'", "X'000102030405060708090A0B0C0D0E0F'"})
            cases.push_back({"blob(16)", bytes, -1, std::nullopt});
    }
    if (kind == test::DriverKind::MariaDB) cases.push_back({"binary(4)", "X'0102'", -1, std::nullopt});  // stored padded
    return cases;
}

using FieldTextDriver = test::DataSetDriverTest;

TEST_P(FieldTextDriver, DecimalsTellTheirScaleAndBinaryValuesArriveAsStored) {
    for (const ExactTextCase& c : ExactTextCases(Drv().Kind)) {
        SCOPED_TRACE(std::string(c.Type) + " " + c.Literal);
        const std::string name = CreateTable(std::string("id integer primary key, v ") + c.Type);
        FRaw->Exec("INSERT INTO " + name + " VALUES (1, " + c.Literal + ")");
        TODBCTable* table = NewTable(name);
        table->Open();
        TField* v = table->FieldByName("v");
        EXPECT_EQ(table->DecimalScale(v), c.Scale);
        if (c.Shown) {
            EXPECT_EQ(std::string(WithDecimalScale(v->AsString(), table->DecimalScale(v))), *c.Shown);
        } else {
            const std::string stored = FRaw->Scalar("SELECT v FROM " + name, SQL_C_BINARY).value();
            EXPECT_EQ(std::string(v->AsString()), stored);
            table->Edit();  // the record being edited holds the same value
            EXPECT_EQ(std::string(v->AsString()), stored);
            table->Cancel();
        }
        table->Close();
    }
}

TEST_P(FieldTextDriver, KnownRecordCountNeverReadsAhead) {
    TODBCTable* table = NewTable(CreateNumbered(12));
    table->SetRowSetSize(5);
    EXPECT_EQ(table->KnownRecordCount(), -1);
    table->Open();
    EXPECT_EQ(table->KnownRecordCount(), -1);  // one block of five read
    table->Last();
    EXPECT_EQ(table->KnownRecordCount(), 12);
    table->Close();
    EXPECT_EQ(table->KnownRecordCount(), -1);
}

INSTANTIATE_TEST_SUITE_P(Drivers, FieldTextDriver, test::AllDrivers(), test::DriverParamName());

}  // namespace
}  // namespace velora
