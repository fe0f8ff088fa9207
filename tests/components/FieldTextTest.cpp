// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Decimal text given the digits of its scale: digits are only ever added,
// and text that is no plain decimal is left as it is. On the drivers: the
// dataset tells a decimal column's declared scale, a binary field reads the
// bytes stored, a shorter binary value is stored as the data source stores
// it on every road, and the dataset tells a known record count without
// reading ahead.
#include "components/DataSetTestUtil.h"

#include "support/DatabaseClient.h"

#include "velora/components/ODBCBatchCopy.h"
#include "velora/components/ODBCFieldText.h"
#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCUpdateSQL.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
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
        // SQLite keeps what it is given in a column declared blob(n).
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

/// The roads a binary value is written by.
enum class BinaryRoad { Post, Insert, UpdateObject, Parameter, BatchCopy, Tool };
const char* const BinaryRoadNames[] = {"table edit", "table insert", "update object", "query parameter",
                                       "batch copy", "velora edit"};

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : bytes) out += {digits[c >> 4], digits[c & 15]};
    return out;
}

std::string ShellQuoted(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// A binary value shorter than its column's declared size is stored as the
// data source stores what it is given, on every road: SQLite keeps the bytes
// written in a column declared blob(16) (its fixed-length binary column is a
// variable binary field), MariaDB pads binary(4) itself, PostgreSQL has only
// bytea. The client's length() and hex() are the oracle.
TEST_P(FieldTextDriver, ShortBinaryValuesAreStoredAsWrittenOnEveryRoad) {
    struct Column {
        const char* Type;
        int Size;
        bool ServerPads;
    };
    const Column col = Drv().Kind == test::DriverKind::SQLite     ? Column{"blob(16)", 16, false}
                       : Drv().Kind == test::DriverKind::MariaDB ? Column{"binary(4)", 4, true}
                                                                 : Column{"bytea", 16, false};
    const std::string whole(static_cast<std::size_t>(col.Size), '\xAB');
    const std::string src = test::UniqueName("bsrc");
    test::RawConnection srcRaw(test::Driver(test::DriverKind::SQLite));
    srcRaw.DropTableIfExists(src);
    srcRaw.Exec("CREATE TABLE " + src + " (id integer primary key, v blob(16))");
    const std::string t = CreateTable(std::string("id integer primary key, v ") + col.Type);
    for (const std::string& value : {std::string("\x03\x04"), std::string("\x7F"), whole}) {
        for (int r = 0; r <= static_cast<int>(BinaryRoad::Tool); ++r) {
            const auto road = static_cast<BinaryRoad>(r);
            SCOPED_TRACE(std::string(BinaryRoadNames[r]) + ", " + std::to_string(value.size()) + " bytes");
            const std::string stored = col.ServerPads ? value + std::string(col.Size - value.size(), '\0') : value;
            FRaw->Exec("DELETE FROM " + t);
            if (road != BinaryRoad::Insert && road != BinaryRoad::BatchCopy) FRaw->Exec("INSERT INTO " + t + " VALUES (1, NULL)");
            switch (road) {
                case BinaryRoad::Post:
                case BinaryRoad::Insert: {
                    TODBCTable* table = NewTable(t);
                    table->Open();
                    if (road == BinaryRoad::Post) {
                        table->Edit();
                    } else {
                        table->Append();
                        table->FieldByName("id")->SetAsInteger(1);
                    }
                    table->FieldByName("v")->SetAsString(value);
                    table->Post();
                    EXPECT_EQ(std::string(table->FieldByName("v")->AsString()), stored);
                    table->Free();
                    break;
                }
                case BinaryRoad::UpdateObject: {
                    auto* q = new TODBCQuery(FOwner.get());
                    q->SetDataBase(FDb);
                    q->SQL()->SetText("SELECT id, v FROM " + t);
                    auto* u = new TODBCUpdateSQL(FOwner.get());
                    u->ModifySQL()->SetText("UPDATE " + t + " SET v = :v WHERE id = :OLD_id");
                    q->SetUpdateObject(u);
                    q->Open();
                    q->Edit();
                    q->FieldByName("v")->SetAsString(value);
                    q->Post();
                    q->Free();
                    u->Free();
                    break;
                }
                case BinaryRoad::Parameter: {
                    TODBCQuery q(nullptr);
                    q.SetDataBase(FDb);
                    q.SQL()->SetText("UPDATE " + t + " SET v = :v WHERE id = 1");
                    q.Params()->ParamByName("v")->SetAsBlob(value);
                    q.ExecSQL();
                    break;
                }
                case BinaryRoad::BatchCopy: {
                    srcRaw.Exec("DELETE FROM " + src);
                    srcRaw.Exec("INSERT INTO " + src + " VALUES (1, X'" + Hex(value) + "')");
                    auto* srcDb = test::NewDatabase(FOwner.get(), test::Driver(test::DriverKind::SQLite));
                    auto* q = new TODBCQuery(FOwner.get());
                    q->SetDataBase(srcDb);
                    q->SQL()->SetText("SELECT id, v FROM " + src);
                    TODBCBatchCopy b(nullptr);
                    b.SetSource(q);
                    b.SetDestination(FDb);
                    b.SetTableName(t);
                    b.SetMode(batAppendUpdate);
                    b.Execute();
                    EXPECT_EQ(b.RowsInError(), 0);
                    q->Free();
                    srcDb->Free();
                    break;
                }
                case BinaryRoad::Tool: {
                    if (std::string(VELORA_TOOL).empty()) break;
                    std::string cmd = std::string(VELORA_TOOL) + " edit " + ShellQuoted(Drv().Dsn) + " " + t +
                                      " --row 1 --set " + ShellQuoted("v=" + value);
                    if (!Drv().User.empty())
                        cmd += " --user " + ShellQuoted(Drv().User) + " --password " + ShellQuoted(Drv().Password);
                    const int status = std::system((cmd + " > /dev/null").c_str());
                    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << cmd;
                    break;
                }
            }
            const std::string expected = std::to_string(stored.size()) + "|" + Hex(stored);
            const std::string query =
                Drv().Kind == test::DriverKind::PostgreSQL ? "SELECT length(v), upper(encode(v, 'hex')) FROM " + t + ";"
                                                           : "SELECT length(v), hex(v) FROM " + t + ";";
            EXPECT_EQ(test::ClientOutput(Drv(), query), expected);
        }
    }
    srcRaw.DropTableIfExists(src);
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
