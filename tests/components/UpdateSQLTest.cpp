// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Update objects: records written through their own modify, insert and
// delete statements with OLD_ parameters, the old values they need, the
// one-row rule (undone when broken), their lifetime against the dataset, and
// a random run against a model. Every change is read back from a second
// connection.
#include "components/DataSetTestUtil.h"

#include "velora/classes/FormFiles.h"
#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCUpdateSQL.h"
#include "velora/components/ODBCconst.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace velora {
namespace {

using test::DataSetDriverTest;
using test::ErrorOf;
using test::Row;

class UpdateSQL : public DataSetDriverTest {
protected:
    TODBCQuery* NewQuery(const String& sql) {
        auto* q = new TODBCQuery(FOwner.get());
        q->SetName("Q" + std::to_string(++FCount));
        q->SetDataBase(FDb);
        q->SQL()->SetText(sql);
        return q;
    }
    TODBCUpdateSQL* NewUpdate(TODBCQuery* q, const String& modify, const String& insert, const String& del) {
        auto* u = new TODBCUpdateSQL(FOwner.get());
        u->ModifySQL()->SetText(modify);
        u->InsertSQL()->SetText(insert);
        u->DeleteSQL()->SetText(del);
        q->SetUpdateObject(u);
        return u;
    }
    std::vector<std::string> Rows(const std::string& table, const std::string& columns = "id, name, amount") {
        std::vector<std::string> out;
        for (const Row& r : FRaw->Query("SELECT " + columns + " FROM " + table + " ORDER BY id")) {
            std::string line;
            for (std::size_t i = 0; i < r.size(); ++i) line += (i ? "|" : "") + r[i].value_or("<null>");
            out.push_back(line);
        }
        return out;
    }
    int FCount = 0;
};

TEST_P(UpdateSQL, ModifyBindsNewValuesAndOldKeysAndUnchangedFieldsGiveTheirOldValue) {
    const std::string t = CreateTable("id integer primary key, name varchar(30), amount integer");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1, 'one', 10), (2, 'two', 20)");
    TODBCQuery* q = NewQuery("SELECT id, name, amount FROM " + t + " ORDER BY id");
    NewUpdate(q, "UPDATE " + t + " SET id = :id, name = :name, amount = :amount WHERE id = :old_id",
              "INSERT INTO " + t + " (id, name, amount) VALUES (:id, :name, :amount)",
              "DELETE FROM " + t + " WHERE id = :OLD_ID");
    q->Open();
    q->Next();
    q->Edit();
    q->FieldByName("id")->SetAsInteger(7);
    q->FieldByName("name")->SetAsString("seven");
    EXPECT_EQ(q->FieldByName("id")->OldValue().AsInteger(), 2);
    q->UpdateObject()->Apply(ukModify);
    q->Cancel();
    EXPECT_EQ(Rows(t), (std::vector<std::string>{"1|one|10", "7|seven|20"}));

    // Re-typing the stored values still counts as the one row it matched
    // (MariaDB reports changed rows unless asked for found rows).
    q->First();
    q->Edit();
    q->FieldByName("name")->SetAsString("one");
    q->UpdateObject()->Apply(ukModify);
    q->Cancel();

    q->Insert();
    q->FieldByName("id")->SetAsInteger(3);
    q->FieldByName("name")->SetAsString("three");
    EXPECT_TRUE(q->FieldByName("id")->OldValue().IsNull()) << "no old record while inserting";
    q->UpdateObject()->Apply(ukInsert);
    q->Cancel();
    q->First();
    q->UpdateObject()->Apply(ukDelete);
    q->Refresh();
    EXPECT_EQ(Rows(t), (std::vector<std::string>{"3|three|<null>", "7|seven|20"}));
}

TEST_P(UpdateSQL, OldValuesAreTheFetchedOnesForEveryKindOfValue) {
    const std::string t =
        CreateTable("id integer primary key, name varchar(30), amount decimal(12,2), n integer, at " +
                    std::string(Drv().Traits.TimeStampType) + ", m " + Drv().Traits.MemoType + ", big bigint");
    FRaw->Exec("INSERT INTO " + t +
               " VALUES (1, 'a', 96.25, NULL, '2024-02-29 13:45:56.123', 'memo text', 9223372036854775807)");
    TODBCQuery* q = NewQuery("SELECT id, name, amount, n, at, m, big FROM " + t);
    q->Open();
    auto snapshot = [&] {
        std::vector<std::string> out;
        for (int i = 0; i < q->Fields().Count(); ++i) {
            Variant v = q->Fields()[i]->OldValue();
            out.push_back(v.IsNull() ? "<null>" : v.AsString());
        }
        return out;
    };
    const std::vector<std::string> browse = snapshot();
    EXPECT_EQ(browse[1], "a");
    EXPECT_EQ(browse[3], "<null>");
    EXPECT_EQ(browse[5], "memo text");
    EXPECT_EQ(browse[6], "9223372036854775807");
    const TDateTime at = q->FieldByName("at")->AsDateTime();
    q->Edit();
    q->FieldByName("name")->SetAsString("b");
    q->FieldByName("amount")->SetAsFloat(1);
    q->FieldByName("n")->SetAsInteger(5);
    q->FieldByName("at")->SetAsDateTime(0);
    q->FieldByName("m")->SetAsString("changed");
    q->FieldByName("big")->SetAsString("-1");
    EXPECT_EQ(snapshot(), browse) << "edit state answers the values from before the edit";
    EXPECT_EQ(q->FieldByName("at")->OldValue().AsDateTime(), at) << "milliseconds kept";
    EXPECT_EQ(q->FieldByName("m")->AsString(), "changed");
    q->Cancel();
    EXPECT_EQ(snapshot(), browse);
}

TEST_P(UpdateSQL, AColumnNamedOldSomethingIsAPlainValueAndUnknownParametersKeepTheirs) {
    const std::string t = CreateTable("id integer primary key, price integer, old_price integer");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1, 10, 5)");
    TODBCQuery* q = NewQuery("SELECT id, price, old_price FROM " + t);
    TODBCUpdateSQL* u = NewUpdate(
        q, "UPDATE " + t + " SET price = :price, old_price = :old_price WHERE id = :OLD_id AND :flag = 1", "", "");
    q->Open();
    q->Edit();
    q->FieldByName("price")->SetAsInteger(12);
    q->FieldByName("old_price")->SetAsInteger(99);
    EXPECT_EQ(ErrorOf([&] { u->Apply(ukModify); }), Format(SNoParameterValue, "flag"));
    u->GetQuery(ukModify)->ParamByName("flag")->SetAsInteger(1);
    u->Apply(ukModify);
    q->Cancel();
    EXPECT_EQ(Rows(t, "id, price, old_price"), (std::vector<std::string>{"1|12|99"}));
}

TEST_P(UpdateSQL, AStatementThatTouchesOtherThanOneRowIsUndoneAndReported) {
    const std::string t = CreateTable("id integer, name varchar(30), amount integer");
    FRaw->Exec("INSERT INTO " + t + " VALUES (1, 'twin', 10), (1, 'twin', 10), (2, 'two', 20)");
    TODBCQuery* q = NewQuery("SELECT id, name, amount FROM " + t + " ORDER BY id");
    TODBCUpdateSQL* u = NewUpdate(q, "UPDATE " + t + " SET name = :name WHERE id = :OLD_id", "",
                                  "DELETE FROM " + t + " WHERE id = :OLD_id");
    q->Open();
    EXPECT_EQ(ErrorOf([&] { u->Apply(ukDelete); }), SUpdateFailed);
    q->Edit();
    q->FieldByName("name")->SetAsString("changed");
    EXPECT_EQ(ErrorOf([&] { u->Apply(ukModify); }), SUpdateFailed);
    q->Cancel();
    EXPECT_EQ(Rows(t), (std::vector<std::string>{"1|twin|10", "1|twin|10", "2|two|20"}));

    // Inside the application's transaction: undone behind a savepoint, and
    // the transaction goes on.
    FDb->StartTransaction();
    EXPECT_EQ(ErrorOf([&] { u->Apply(ukDelete); }), SUpdateFailed);
    q->Last();
    u->Apply(ukDelete);
    FDb->Commit();
    EXPECT_EQ(Rows(t), (std::vector<std::string>{"1|twin|10", "1|twin|10"}));

    // A delete matching nothing runs and fails; a new text rebuilds the
    // parameters of the query that already ran.
    q->Refresh();
    u->DeleteSQL()->SetText("DELETE FROM " + t + " WHERE id = :OLD_id + 100");
    EXPECT_EQ(ErrorOf([&] { u->Apply(ukDelete); }), SUpdateFailed);
    u->DeleteSQL()->SetText("DELETE FROM " + t + " WHERE id = :OLD_id AND name = :name");
    EXPECT_EQ(u->GetQuery(ukDelete)->ParamCount(), 2);
    EXPECT_EQ(ErrorOf([&] { u->Apply(ukDelete); }), SUpdateFailed) << "two twins match";
}

TEST_P(UpdateSQL, AJoinIsEditedThroughItsUpdateObjectAndItsPostWritesNothing) {
    const std::string c = CreateTable("id integer primary key, name varchar(30)");
    const std::string o = CreateTable("id integer primary key, cust integer, amount integer");
    FRaw->Exec("INSERT INTO " + c + " VALUES (1, 'Ann'), (2, 'Bob')");
    FRaw->Exec("INSERT INTO " + o + " VALUES (10, 1, 100), (11, 2, 200)");
    TODBCQuery* q =
        NewQuery("SELECT o.id, o.amount, c.name FROM " + o + " o JOIN " + c + " c ON c.id = o.cust ORDER BY o.id");
    q->Open();
    EXPECT_FALSE(q->CanModify()) << "a join writes nowhere by itself";
    q->Close();
    NewUpdate(q, "UPDATE " + o + " SET amount = :amount WHERE id = :OLD_id", "", "");
    q->Open();
    ASSERT_TRUE(q->CanModify());
    q->Next();
    q->Edit();
    q->FieldByName("amount")->SetAsInteger(222);
    EXPECT_NE(ErrorOf([&] { q->Post(); }).find("through its update object"), std::string::npos);
    EXPECT_EQ(q->State(), dsEdit);
    EXPECT_EQ(ErrorOf([&] {
                  q->Cancel();
                  q->Delete();
              }).find("through its update object") != std::string::npos,
              true);
    EXPECT_EQ(Rows(o, "id, cust, amount"), (std::vector<std::string>{"10|1|100", "11|2|200"}));
    q->Edit();
    q->FieldByName("amount")->SetAsInteger(222);
    q->UpdateObject()->Apply(ukModify);
    q->Cancel();
    EXPECT_EQ(Rows(o, "id, cust, amount"), (std::vector<std::string>{"10|1|100", "11|2|222"}));
}

TEST_P(UpdateSQL, RandomWritesThroughAnUpdateObjectLeaveTheTableEqualToAModel) {
    const std::string t = CreateTable("id integer primary key, name varchar(30), amount integer");
    std::map<int, std::pair<std::optional<std::string>, std::optional<int>>> model;
    std::vector<std::string> rows;
    for (int i = 1; i <= 300; ++i) {
        model[i] = {"n" + std::to_string(i), i};
        rows.push_back(std::to_string(i) + ", 'n" + std::to_string(i) + "', " + std::to_string(i));
    }
    test::InsertRows(*FRaw, t, rows);
    TODBCQuery* q = NewQuery("SELECT id, name, amount FROM " + t + " WHERE id = :id");
    TODBCUpdateSQL* u = NewUpdate(q, "UPDATE " + t + " SET id = :id, name = :name, amount = :amount WHERE id = :OLD_id",
                                  "INSERT INTO " + t + " (id, name, amount) VALUES (:id, :name, :amount)",
                                  "DELETE FROM " + t + " WHERE id = :OLD_id");
    std::mt19937 rng(20261208);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    auto assign = [&](int id, std::pair<std::optional<std::string>, std::optional<int>>& v) {
        q->FieldByName("id")->SetAsInteger(id);
        v.first = pick(5) == 0 ? std::nullopt : std::optional<std::string>("v" + std::to_string(pick(100000)));
        v.second = pick(5) == 0 ? std::nullopt : std::optional<int>(pick(2000000) - 1000000);
        if (v.first)
            q->FieldByName("name")->SetAsString(*v.first);
        else
            q->FieldByName("name")->Clear();
        if (v.second)
            q->FieldByName("amount")->SetAsInteger(*v.second);
        else
            q->FieldByName("amount")->Clear();
    };
    for (int op = 0; op < 1000; ++op) {
        const int id = 1 + pick(400);
        q->Close();
        q->ParamByName("id")->SetAsInteger(id);
        q->Open();
        const bool exists = model.count(id) > 0;
        ASSERT_EQ(!q->IsEmpty(), exists) << "op " << op << " id " << id;
        const int kind = exists ? pick(2) : 2;
        if (kind == 0) {
            int to = id;
            if (pick(4) == 0 && !model.count(id + 1000)) to = id + 1000;
            q->Edit();
            auto v = model[id];
            assign(to, v);
            u->Apply(ukModify);
            q->Cancel();
            model.erase(id);
            model[to] = v;
        } else if (kind == 1) {
            u->Apply(ukDelete);
            model.erase(id);
        } else {
            q->Insert();
            std::pair<std::optional<std::string>, std::optional<int>> v;
            assign(id, v);
            u->Apply(ukInsert);
            q->Cancel();
            model[id] = v;
        }
    }
    std::vector<std::string> expected;
    for (auto& [id, v] : model)
        expected.push_back(std::to_string(id) + "|" + v.first.value_or("<null>") + "|" +
                           (v.second ? std::to_string(*v.second) : "<null>"));
    EXPECT_EQ(Rows(t), expected);
}

/// The text the database's own client (sqlite3, psql, mariadb) prints for a
/// query: one line per row, columns separated by "|". The oracle for stored
/// values, sharing nothing with the library or its ODBC drivers.
std::string ClientText(test::DriverKind kind, const std::string& sql) {
    const std::string file = "/tmp/velora-client-" + std::to_string(::getpid()) + ".sql";
    std::ofstream(file) << sql << ";\n";
    auto env = [](const char* name) {
        const char* v = std::getenv(name);
        return std::string(v ? v : "");
    };
    std::string cmd;
    switch (kind) {
        case test::DriverKind::SQLite:
            cmd = "sqlite3 -batch -noheader -cmd '.timeout 10000' '" VELORA_BINARY_DIR "/velora-test.db'";
            break;
        case test::DriverKind::PostgreSQL:
            cmd = "PGPASSWORD=velora-pw psql -X -q -A -t -h 127.0.0.1 -p " + env("VELORA_PG_PORT") +
                  " -U velora -d velora_test";
            break;
        case test::DriverKind::MariaDB:
            cmd = "mariadb -h 127.0.0.1 -P " + env("VELORA_MARIADB_PORT") +
                  " -u velora -pvelora-pw -N -B velora_test < '" + file + "' | tr '\\t' '|'";
            break;
    }
    std::string out;
    if (kind != test::DriverKind::MariaDB) cmd += " < '" + file + "'";
    if (FILE* p = ::popen((cmd + " 2>&1").c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p)) out += buf;
        ::pclose(p);
    }
    std::remove(file.c_str());
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
}

/// Values whose field form (a double, a date-time in milliseconds) is not
/// their stored form: written back through an update object they must stay
/// as they are, and keyed on as OLD_ values they must find their row.
struct ExactCase {
    test::DriverKind Driver;
    const char* Type;
    const char* Literal;  ///< as the client writes it
};

const ExactCase kExactCases[] = {
    // SQLite holds decimals as doubles, which its driver reads to 15 digits.
    {test::DriverKind::SQLite, "decimal(20,6)", "12345678.125"},
    {test::DriverKind::SQLite, "timestamp", "'2024-02-29 13:45:56.123456'"},
    {test::DriverKind::SQLite, "datetime", "'2024-02-29 13:45:56.123'"},
    {test::DriverKind::SQLite, "time", "'08:30:00'"},
    {test::DriverKind::SQLite, "date", "'2024-02-29'"},
    {test::DriverKind::SQLite, "bigint", "-9223372036854775808"},
    {test::DriverKind::PostgreSQL, "decimal(20,6)", "12345678901234.123456"},
    {test::DriverKind::PostgreSQL, "numeric(38,10)", "1234567890123456789012345678.1234567891"},
    {test::DriverKind::PostgreSQL, "timestamp(6)", "'2024-02-29 13:45:56.123456'"},
    {test::DriverKind::PostgreSQL, "time(6)", "'08:30:00.123456'"},
    {test::DriverKind::PostgreSQL, "time", "'08:30:00'"},
    {test::DriverKind::PostgreSQL, "date", "'2024-02-29'"},
    {test::DriverKind::PostgreSQL, "bigint", "-9223372036854775808"},
    {test::DriverKind::MariaDB, "decimal(20,6)", "12345678901234.123456"},
    {test::DriverKind::MariaDB, "numeric(38,10)", "1234567890123456789012345678.1234567891"},
    {test::DriverKind::MariaDB, "decimal(65,30)", "12345678901234567890123456789012345.123456789012345678901234567891"},
    {test::DriverKind::MariaDB, "datetime(6)", "'2024-02-29 13:45:56.123456'"},
    {test::DriverKind::MariaDB, "timestamp(6)", "'2024-02-29 13:45:56.000001'"},
    {test::DriverKind::MariaDB, "time(6)", "'08:30:00.123456'"},
    {test::DriverKind::MariaDB, "date", "'2024-02-29'"},
    {test::DriverKind::MariaDB, "bigint unsigned", "18446744073709551615"},
    {test::DriverKind::MariaDB, "int unsigned", "4294967295"},
};

TEST_P(UpdateSQL, TheGeneratedStatementsKeepEveryValueTheyDoNotChangeAndFindTheirRowByIt) {
    for (const ExactCase& c : kExactCases) {
        if (c.Driver != Drv().Kind) continue;
        SCOPED_TRACE(std::string(c.Type) + " " + c.Literal);
        const std::string t = CreateTable(std::string("id integer, v ") + c.Type + ", note varchar(20)");
        ClientText(Drv().Kind, "INSERT INTO " + t + " VALUES (1, " + c.Literal + ", 'a'), (2, NULL, 'z')");
        const std::string before = ClientText(Drv().Kind, "SELECT v FROM " + t + " WHERE id = 1");
        ASSERT_FALSE(before.empty());
        // The statements "velora update-sql" writes for a table without a key.
        TODBCQuery* q = NewQuery("SELECT id, v, note FROM " + t + " ORDER BY id");
        TODBCUpdateSQL* u =
            NewUpdate(q,
                      "UPDATE " + t +
                          " SET id = :id, v = :v, note = :note WHERE id = :OLD_id AND v = :OLD_v AND note = :OLD_note",
                      "INSERT INTO " + t + " (id, v, note) VALUES (:id, :v, :note)",
                      "DELETE FROM " + t + " WHERE id = :OLD_id AND v = :OLD_v AND note = :OLD_note");
        q->Open();
        q->Edit();
        q->FieldByName("note")->SetAsString("b");
        EXPECT_NO_THROW(u->Apply(ukModify));
        q->Cancel();
        EXPECT_EQ(ClientText(Drv().Kind, "SELECT v, note FROM " + t + " WHERE id = 1"), before + "|b");

        // The row as stored reads as a value again, and an insert from it
        // stores the same.
        q->Refresh();
        EXPECT_FALSE(q->FieldByName("v")->IsNull());
        q->Edit();
        q->FieldByName("id")->SetAsInteger(3);
        EXPECT_NO_THROW(u->Apply(ukInsert));
        q->Cancel();
        EXPECT_EQ(ClientText(Drv().Kind, "SELECT v FROM " + t + " WHERE id = 3"), before);

        // The old value as a key finds its row.
        EXPECT_NO_THROW(u->Apply(ukDelete));
        EXPECT_EQ(ClientText(Drv().Kind, "SELECT count(*) FROM " + t), "2");
        q->Close();
    }
}

TEST_P(UpdateSQL, AnInsertThatAddsOtherThanOneRowIsUndoneInsideAndOutsideTheApplicationsTransaction) {
    const std::string src = CreateTable("id integer, name varchar(30)");
    const std::string t = CreateTable("id integer, name varchar(30)");
    FRaw->Exec("INSERT INTO " + src + " VALUES (1, 'x'), (2, 'y')");
    TODBCQuery* q = NewQuery("SELECT id, name FROM " + t);
    TODBCUpdateSQL* u =
        NewUpdate(q, "", "INSERT INTO " + t + " (id, name) SELECT :id, :name FROM " + src + " WHERE id <= :n", "");
    q->Open();
    q->Insert();
    q->FieldByName("id")->SetAsInteger(7);
    q->FieldByName("name")->SetAsString("seven");
    TODBCParam* n = u->GetQuery(ukInsert)->ParamByName("n");
    for (int rows : {2, 0}) {
        n->SetAsInteger(rows);
        EXPECT_EQ(ErrorOf([&] { u->Apply(ukInsert); }), SUpdateFailed) << rows << " rows";
    }
    EXPECT_EQ(Rows(t, "id, name"), (std::vector<std::string>{}));

    FDb->StartTransaction();
    n->SetAsInteger(1);
    u->Apply(ukInsert);
    n->SetAsInteger(2);
    EXPECT_EQ(ErrorOf([&] { u->Apply(ukInsert); }), SUpdateFailed);
    q->FieldByName("id")->SetAsInteger(8);
    n->SetAsInteger(1);
    u->Apply(ukInsert);
    FDb->Commit();
    q->Cancel();
    EXPECT_EQ(Rows(t, "id, name"), (std::vector<std::string>{"7|seven", "8|seven"}));
}

INSTANTIATE_TEST_SUITE_P(Drivers, UpdateSQL, test::AllDrivers(), test::DriverParamName());

TEST(UpdateSQLLinks, NeitherSideKeepsADanglingReferenceWhicheverGoesFirst) {
    RegisterODBCUpdateSQLClasses();
    for (bool datasetFirst : {false, true}) {
        for (bool twoOwners : {false, true}) {
            auto ownerA = std::make_unique<TComponent>(nullptr);
            auto ownerB = std::make_unique<TComponent>(nullptr);
            auto* q = new TODBCQuery(ownerA.get());
            auto* u = new TODBCUpdateSQL(twoOwners ? ownerB.get() : ownerA.get());
            q->SetUpdateObject(u);
            ASSERT_EQ(u->DataSet(), q);
            if (datasetFirst) {
                delete q;
                EXPECT_EQ(u->DataSet(), nullptr);
                EXPECT_EQ(ErrorOf([&] { u->Apply(ukModify); }), Format(SNoUpdateDataSet, ""));
            } else {
                delete u;
                EXPECT_EQ(q->UpdateObject(), nullptr);
            }
            ownerA.reset();
            ownerB.reset();
        }
    }
    // A dataset without a database is refused by name, never dereferenced.
    TComponent owner(nullptr);
    auto* q = new TODBCQuery(&owner);
    q->SetName("Orphan");
    auto* u = new TODBCUpdateSQL(&owner);
    q->SetUpdateObject(u);
    EXPECT_EQ(ErrorOf([&] { u->Apply(ukDelete); }), Format(SNoDatabaseAssigned, "Orphan"));
    q->SQL()->SetText("DELETE FROM t");
    EXPECT_EQ(ErrorOf([&] { q->ExecSQL(); }), Format(SNoDatabaseAssigned, "Orphan"));
}

// An update object writes through the database its dataset has now: moved
// to a database on another file, or to a new one after that was freed, its
// statements follow (never the first database, never freed memory).
TEST(UpdateSQLLinksSQLite, TheStatementsFollowTheDataSetToAnotherAndToAFreedDatabase) {
    const test::TestDriver& drv = test::Driver(test::DriverKind::SQLite);
    const char* otherDsn = "VeloraSample";  // another SQLite file
    const std::string t = test::UniqueName("follow");
    test::RawConnection first(drv), second(otherDsn, "", "");
    test::TableGuard guard(drv, t);
    for (test::RawConnection* raw : {&first, &second}) {
        raw->DropTableIfExists(t);
        raw->Exec("CREATE TABLE " + t + " (id integer primary key, name varchar(10))");
        raw->Exec("INSERT INTO " + t + " VALUES (1, 'old')");
    }
    const std::string name = "SELECT name FROM " + t + " WHERE id = 1";
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    auto otherDatabase = [&] {
        auto* db = new TODBCDatabase(owner.get());
        db->SetDataSourceName(otherDsn);
        db->SetLoginPrompt(false);
        return db;
    };
    auto* q = new TODBCQuery(owner.get());
    q->SQL()->SetText("SELECT id, name FROM " + t);
    auto* u = new TODBCUpdateSQL(owner.get());
    u->ModifySQL()->SetText("UPDATE " + t + " SET name = :name WHERE id = :OLD_id");
    q->SetUpdateObject(u);
    auto write = [&](TODBCDatabase* db, const char* value) {
        q->SetDataBase(db);
        q->Open();
        q->Edit();
        q->FieldByName("name")->SetAsString(value);
        u->Apply(ukModify);
        q->Cancel();
        q->Close();
    };
    write(test::NewDatabase(owner.get(), drv), "a");
    EXPECT_EQ(first.Scalar(name), "a");
    TODBCDatabase* moved = otherDatabase();
    write(moved, "b");
    EXPECT_EQ(second.Scalar(name), "b") << "the statement follows the dataset to the other database";
    EXPECT_EQ(first.Scalar(name), "a") << "the first database is left alone";
    delete moved;  // the update object's statement was on it
    write(otherDatabase(), "c");
    EXPECT_EQ(second.Scalar(name), "c");
    EXPECT_EQ(first.Scalar(name), "a");
    owner.reset();
    second.DropTableIfExists(t);
}

TEST(UpdateSQLForms, AQueryAndItsUpdateObjectComeBackLinkedWithTheirStatements) {
    RegisterODBCQueryClasses();
    RegisterODBCUpdateSQLClasses();
    TComponent root(nullptr);
    root.SetName("Root");
    auto* q = new TODBCQuery(&root);
    q->SetName("Orders");
    q->SQL()->SetText("SELECT id, amount FROM orders");
    auto* u = new TODBCUpdateSQL(&root);
    u->SetName("OrdersUpdate");
    u->ModifySQL()->SetText("UPDATE orders SET amount = :amount\nWHERE id = :OLD_id");
    u->DeleteSQL()->SetText("DELETE FROM orders WHERE id = :OLD_id");
    q->SetUpdateObject(u);
    const String form = WriteComponentToString(&root);

    TComponent copy(nullptr);
    copy.SetName("Root");
    ReadComponentStringInto(form, &copy);
    auto* q2 = dynamic_cast<TODBCQuery*>(copy.FindComponent("Orders"));
    auto* u2 = dynamic_cast<TODBCUpdateSQL*>(copy.FindComponent("OrdersUpdate"));
    ASSERT_TRUE(q2 && u2) << form;
    EXPECT_EQ(q2->UpdateObject(), u2);
    EXPECT_EQ(u2->DataSet(), q2);
    EXPECT_EQ(u2->ModifySQL()->Text(), u->ModifySQL()->Text());
    EXPECT_EQ(u2->InsertSQL()->Text(), "");
    EXPECT_EQ(u2->DeleteSQL()->Text(), u->DeleteSQL()->Text());
    EXPECT_EQ(WriteComponentToString(&copy), form);
}

}  // namespace
}  // namespace velora
