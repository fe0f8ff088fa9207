// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Dates, times and time stamps: the field class each column type becomes, its
// text with the whole fraction of a second, and what an edit stores, read
// back by the database's own client (sqlite3, psql, mariadb). Expression
// columns take the type the driver knows once the statement ran.
#include "components/ComponentTestUtil.h"
#include "components/DataSetTestUtil.h"
#include "support/DatabaseClient.h"

#include "velora/components/ODBCQuery.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace velora {
namespace {

using test::DataSetDriverTest;
using test::DriverKind;

/// One value as the database's own client prints it.
std::string ClientScalar(const test::TestDriver& drv, const std::string& sql) {
    return test::ClientOutput(drv, sql + ";");
}

/// One column type on one driver: the value inserted, the field it becomes
/// and its text, then the text written through the field and what the
/// client shows stored afterwards.
struct TemporalCase {
    DriverKind Kind;
    const char* Type;
    const char* Inserted;
    TFieldType FieldType;
    const char* Read;
    const char* Written;
    const char* Stored;
};

// clang-format off
const TemporalCase kTemporalCases[] = {
    {DriverKind::SQLite, "date", "2024-02-29", ftDate, "2024-02-29", "2024-03-01", "2024-03-01"},
    {DriverKind::SQLite, "time", "08:30:00", ftTime, "08:30:00", "23:59:59", "23:59:59"},
    {DriverKind::SQLite, "time", "13:45:56.123456", ftTime, "13:45:56.123456", "00:00:00.000001", "00:00:00.000001"},
    {DriverKind::SQLite, "timestamp", "2024-02-29 13:45:56.123456", ftDateTime, "2024-02-29 13:45:56.123456",
     "2024-02-29 23:59:59.000001", "2024-02-29 23:59:59.000001"},
    {DriverKind::SQLite, "datetime", "2024-02-29 13:45:56", ftDateTime, "2024-02-29 13:45:56",
     "1999-12-31 00:00:01", "1999-12-31 00:00:01"},
    {DriverKind::PostgreSQL, "date", "2024-02-29", ftDate, "2024-02-29", "0001-01-01", "0001-01-01"},
    {DriverKind::PostgreSQL, "time", "08:30:00", ftTime, "08:30:00", "23:59:59", "23:59:59"},
    {DriverKind::PostgreSQL, "time(6)", "13:45:56.123456", ftTime, "13:45:56.123456", "00:00:00.000001",
     "00:00:00.000001"},
    {DriverKind::PostgreSQL, "timestamp(6)", "2024-02-29 13:45:56.123456", ftDateTime, "2024-02-29 13:45:56.123456",
     "9999-12-31 23:59:59.999999", "9999-12-31 23:59:59.999999"},
    {DriverKind::MariaDB, "date", "2024-02-29", ftDate, "2024-02-29", "1000-01-01", "1000-01-01"},
    {DriverKind::MariaDB, "time(6)", "13:45:56.123456", ftTime, "13:45:56.123456", "00:00:00.000001",
     "00:00:00.000001"},
    // MariaDB's driver refuses to write a time beyond a day (22008); reading one is whole.
    {DriverKind::MariaDB, "time", "838:59:59", ftTime, "838:59:59", "12:00:00", "12:00:00"},
    {DriverKind::MariaDB, "datetime(6)", "2024-02-29 13:45:56.123456", ftDateTime, "2024-02-29 13:45:56.123456",
     "9999-12-31 23:59:59.999999", "9999-12-31 23:59:59.999999"},
    {DriverKind::MariaDB, "timestamp(6) null", "2024-02-29 13:45:56.123456", ftDateTime,
     "2024-02-29 13:45:56.123456", "2024-02-29 00:00:00.000001", "2024-02-29 00:00:00.000001"},
};
// clang-format on

class DateTime : public DataSetDriverTest {
protected:
    void CheckCase(const TemporalCase& c);
};

TEST_P(DateTime, ColumnsBecomeTheirFieldAndKeepTheWholeFractionThroughReadAndWrite) {
    for (const TemporalCase& c : kTemporalCases) {
        if (c.Kind != Drv().Kind) continue;
        SCOPED_TRACE(std::string(c.Type) + " " + c.Inserted);
        try {
            CheckCase(c);
        } catch (const std::exception& e) {
            ADD_FAILURE() << e.what();
        }
    }
}

void DateTime::CheckCase(const TemporalCase& c) {
    {
        const std::string name = CreateTable(std::string("id integer primary key, v ") + c.Type + ", note varchar(10)");
        FRaw->Exec("INSERT INTO " + name + " VALUES (1, '" + c.Inserted + "', 'n')");
        TODBCTable* t = NewTable(name);
        t->Open();
        TField* v = t->FieldByName("v");
        EXPECT_EQ(v->DataType(), c.FieldType);
        EXPECT_EQ(v->AsString(), c.Read);
        EXPECT_EQ(v->DisplayText(), c.Read);
        // An edit of another column leaves the value as it was.
        t->Edit();
        t->FieldByName("note")->SetAsString("m");
        t->Post();
        EXPECT_EQ(ClientScalar(Drv(), "SELECT note FROM " + name), "m");
        const std::string before = ClientScalar(Drv(), "SELECT v FROM " + name);
        EXPECT_NE(before.find(std::string(c.Inserted).substr(0, 8)), std::string::npos) << before;
        t->Edit();
        v->SetAsString(c.Written);
        t->Post();
        EXPECT_EQ(ClientScalar(Drv(), "SELECT v FROM " + name), c.Stored);
        t->Refresh();
        EXPECT_EQ(v->AsString(), c.Written);
        t->Close();
    }
}

TEST_P(DateTime, DateAndTimeFieldsAnswerTheirPartAndRefuseNonsense) {
    const std::string name = CreateTable("id integer primary key, d date, tm " + test::TimeType(Drv()));
    FRaw->Exec("INSERT INTO " + name + " VALUES (1, '2024-02-29', '08:30:00')");
    TODBCTable* t = NewTable(name);
    t->Open();
    TField* d = t->FieldByName("d");
    TField* tm = t->FieldByName("tm");
    EXPECT_EQ(d->AsDateTime(), EncodeDate(2024, 2, 29));
    EXPECT_EQ(tm->AsDateTime(), EncodeTime(8, 30, 0, 0));
    EXPECT_EQ(tm->AsVariant().AsDateTime(), EncodeTime(8, 30, 0, 0));
    t->Edit();
    EXPECT_THROW(d->SetAsString("2023-02-29"), EDatabaseError) << "no 29 February in 2023";
    EXPECT_THROW(tm->SetAsString("8h30"), EDatabaseError);
    EXPECT_EQ(d->AsString(), "2024-02-29") << "a refused value changes nothing";
    d->SetAsDateTime(EncodeDate(2000, 2, 29) + EncodeTime(7, 0, 0, 0));
    tm->SetAsDateTime(EncodeDate(2000, 1, 1) + EncodeTime(9, 15, 30, 250));
    t->Post();
    EXPECT_EQ(d->AsString(), "2000-02-29");
    EXPECT_EQ(tm->AsString(), "09:15:30.250");
}

TEST_P(DateTime, ExpressionColumnsTakeTheTypeKnownAfterExecution) {
    const std::string name =
        CreateTable("id integer primary key, x integer, r " + std::string(Drv().Traits.DoubleType));
    FRaw->Exec("INSERT INTO " + name + " VALUES (1, 3, 0.5)");
    FRaw->Exec("INSERT INTO " + name + " VALUES (2, 4, 0.25)");
    auto* q = new TODBCQuery(FOwner.get());
    q->SetDataBase(FDb);
    q->SQL()->SetText("SELECT count(*) AS c, 1+1 AS two, sum(x) AS s, sum(r) AS f, 'abc' AS lit FROM " + name);
    q->Open();
    const TFieldType count = q->FieldByName("c")->DataType();
    EXPECT_TRUE(count == ftInteger || count == ftLargeint) << "count(*) is an integer field";
    EXPECT_NE(dynamic_cast<TNumericField*>(q->FieldByName("two")), nullptr);
    EXPECT_NE(dynamic_cast<TNumericField*>(q->FieldByName("s")), nullptr);
    EXPECT_NE(dynamic_cast<TNumericField*>(q->FieldByName("f")), nullptr);
    EXPECT_EQ(dynamic_cast<TNumericField*>(q->FieldByName("lit")), nullptr) << "text stays text";
    EXPECT_EQ(q->FieldByName("c")->AsInteger(), 2);
    EXPECT_EQ(q->FieldByName("two")->AsInteger(), 2);
    EXPECT_EQ(q->FieldByName("s")->AsInteger(), 7);
    EXPECT_EQ(q->FieldByName("f")->AsFloat(), 0.75);
    EXPECT_EQ(q->FieldByName("lit")->AsString(), "abc");
}

INSTANTIATE_TEST_SUITE_P(Drivers, DateTime, test::AllDrivers(), test::DriverParamName());

}  // namespace
}  // namespace velora
