// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Long values written over stored ones, checked by the data source's own
// client (sqlite3, psql, mariadb): every combination of stored and written
// size through every writing road, write streams still alive when the record
// is posted, and SQLite values longer than their column's declared size.
#include "components/ComponentTestUtil.h"
#include "components/DataSetTestUtil.h"
#include "support/DatabaseClient.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace velora {
namespace {

using test::DataSetDriverTest;
using test::DriverKind;
using test::ErrorOf;

/// What the database's own client prints for `sql`.
std::string Client(const test::TestDriver& d, const std::string& sql) { return test::RunClient(d, sql).Output; }

std::string Hex(const std::string& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string s;
    s.reserve(bytes.size() * 2);
    for (unsigned char c : bytes) {
        s += digits[c >> 4];
        s += digits[c & 15];
    }
    return s;
}

/// `n` bytes, zeros included, that differ from those of any other size.
std::string Value(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + n * 7 + i / 251) % 256);
    return s;
}

/// The client's text for the stored value of `column`: "null", or
/// "<length>:<hex>"; with `dir`, SQLite's "<length>:<1 when equal to the
/// file dir/v<length>>" (its client compares with the file the test wrote).
std::string StoredExpr(DriverKind kind, const std::string& column, const std::string& dir) {
    switch (kind) {
        case DriverKind::SQLite:
            if (dir.empty()) return "CASE WHEN " + column + " IS NULL THEN 'null' ELSE length(" + column + ") || ':' || "
                                   "hex(" + column + ") END";
            return "CASE WHEN " + column + " IS NULL THEN 'null' ELSE length(" + column + ") || ':' || (" + column +
                   " = readfile('" + dir + "v' || length(" + column + "))) END";
        case DriverKind::PostgreSQL:
            return "CASE WHEN " + column + " IS NULL THEN 'null' ELSE octet_length(" + column +
                   ") || ':' || upper(encode(" + column + ", 'hex')) END";
        case DriverKind::MariaDB:
            return "IF(" + column + " IS NULL, 'null', CONCAT(LENGTH(" + column + "), ':', HEX(" + column + ")))";
    }
    return {};
}

/// A stored value of `n` bytes written by the client.
std::string OldValueExpr(DriverKind kind, std::size_t n) {
    switch (kind) {
        case DriverKind::SQLite:
            return "randomblob(" + std::to_string(n) + ")";
        case DriverKind::PostgreSQL:
            return "decode(repeat('a5', " + std::to_string(n) + "), 'hex')";
        case DriverKind::MariaDB:
            return "REPEAT(UNHEX('A5'), " + std::to_string(n) + ")";
    }
    return {};
}

enum class Road { SetAsString, LoadFromFile, WriteStream, ReadWriteStream };

void WriteBy(Road road, TField* f, const std::string& value) {
    switch (road) {
        case Road::SetAsString:
            f->SetAsString(value);
            break;
        case Road::LoadFromFile: {
            const std::string path = testing::TempDir() + test::UniqueName("velora-long-value");
            std::ofstream(path, std::ios::binary).write(value.data(), static_cast<std::streamsize>(value.size()));
            static_cast<TBlobField*>(f)->LoadFromFile(path);
            std::remove(path.c_str());
            break;
        }
        case Road::WriteStream: {
            auto s = f->DataSet()->CreateBlobStream(f, bmWrite);
            for (std::size_t at = 0; at < value.size(); at += 1 << 20)
                s->WriteBuffer(value.data() + at, static_cast<std::int64_t>(std::min<std::size_t>(1 << 20, value.size() - at)));
            break;
        }
        case Road::ReadWriteStream: {
            // Over the stored value: the new bytes from the start, then the
            // old tail cut off.
            auto s = f->DataSet()->CreateBlobStream(f, bmReadWrite);
            s->WriteBuffer(value.data(), static_cast<std::int64_t>(value.size()));
            s->SetSize(static_cast<std::int64_t>(value.size()));
            break;
        }
    }
}

class LongValueWrite : public DataSetDriverTest {};

// Every stored size written over by every size, through every road; the
// client finds exactly the bytes written (a value of 0 bytes is NULL), and
// the other columns as they were. On SQLite the driver used to write the
// length left over from reading the stored value in pieces, with the
// program's memory behind the new bytes.
TEST_P(LongValueWrite, EveryStoredSizeTakesEveryWrittenSizeWhole) {
    const DriverKind kind = Drv().Kind;
    std::vector<std::size_t> sizes = {0, 1, 511, 512, 513, 1024, 1025, 5000, 65536};
    if (kind == DriverKind::SQLite) sizes.push_back(10 << 20);
    const std::string dir = testing::TempDir() + test::UniqueName("velora-long") + "-";
    if (kind == DriverKind::SQLite)
        for (std::size_t n : sizes)
            std::ofstream(dir + "v" + std::to_string(n), std::ios::binary)
                .write(Value(n).data(), static_cast<std::streamsize>(n));
    for (Road road : {Road::SetAsString, Road::LoadFromFile, Road::WriteStream, Road::ReadWriteStream}) {
        SCOPED_TRACE(testing::Message() << "road " << static_cast<int>(road));
        const std::string name =
            CreateTable(std::string("id int primary key, b ") + test::BlobType(Drv()) + ", note varchar(10)");
        int id = 0;
        for (std::size_t oldSize : sizes)
            for (std::size_t newSize : sizes) {
                (void)newSize;
                FRaw->Exec("INSERT INTO " + name + " VALUES (" + std::to_string(++id) + ", " +
                           OldValueExpr(kind, oldSize) + ", 'n')");
            }
        TODBCTable* t = NewTable(name);
        t->IndexParams()->Add("id");
        t->SetIndexed(true);
        t->Open();
        std::string expected;
        for (std::size_t oldSize : sizes)
            for (std::size_t newSize : sizes) {
                SCOPED_TRACE(testing::Message() << "stored " << oldSize << " written " << newSize);
                ASSERT_FALSE(t->Eof());
                t->Edit();
                WriteBy(road, t->FieldByName("b"), Value(newSize));
                ASSERT_EQ(ErrorOf([&] { t->Post(); }), "(no error)");
                t->Next();
                // A value of zero length is stored as zero length, not NULL.
                const std::string stored = std::to_string(newSize) + ":" +
                                           (kind == DriverKind::SQLite ? std::string("1") : Hex(Value(newSize)));
                expected += stored + "|n\n";
            }
        const std::string got = Client(Drv(), "SELECT " + StoredExpr(kind, "b", dir) + ", note FROM " + name +
                                                  " ORDER BY id;");
        // Compared line by line, so a failure names the combination.
        std::istringstream g(got), e(expected);
        std::string gl, el;
        for (std::size_t k = 0; std::getline(e, el); ++k) {
            std::getline(g, gl);
            EXPECT_TRUE(gl == el) << "stored " << sizes[k / sizes.size()] << " written " << sizes[k % sizes.size()]
                                  << ": client has " << gl.substr(0, 120) << ", expected " << el.substr(0, 120);
        }
        t->Close();
    }
    if (kind == DriverKind::SQLite)
        for (std::size_t n : sizes) std::remove((dir + "v" + std::to_string(n)).c_str());
}

// A write stream still alive when the record is posted posts what it has
// written (it used to leave NULL in place of the stored value): by Post, by
// the moves that post on their way, and for a new record. The stream then
// belongs to no record: a further write raises, and its end changes nothing.
TEST_P(LongValueWrite, AWriteStreamAliveAtPostPostsItsValue) {
    struct Case {
        const char* How;
        TBlobStreamMode Mode;
        int StartRow;  ///< the row edited (0: a new record, id 9)
    };
    const Case cases[] = {{"Post", bmWrite, 1},   {"Post", bmReadWrite, 1}, {"Next", bmWrite, 1},
                          {"Prior", bmWrite, 2},  {"Prior", bmReadWrite, 2}, {"Post", bmWrite, 0}};
    const DriverKind kind = Drv().Kind;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.How << " mode " << static_cast<int>(c.Mode) << " row " << c.StartRow);
        const std::string name =
            CreateTable(std::string("id int primary key, b ") + test::BlobType(Drv()) + ", note varchar(10)");
        for (int id : {1, 2})
            FRaw->Exec("INSERT INTO " + name + " VALUES (" + std::to_string(id) + ", " + OldValueExpr(kind, 3000) +
                       ", 'n')");
        TODBCTable* t = NewTable(name);
        t->IndexParams()->Add("id");
        t->SetIndexed(true);
        t->Open();
        TField* b = t->FieldByName("b");
        const int id = c.StartRow == 0 ? 9 : c.StartRow;
        if (c.StartRow == 0) {
            t->Append();
            t->FieldByName("id")->SetAsInteger(9);
        } else {
            if (c.StartRow == 2) t->Next();
            t->Edit();
        }
        auto stream = t->CreateBlobStream(b, c.Mode);
        stream->WriteBuffer("NEWVALUE", 8);
        if (c.Mode == bmReadWrite) stream->SetSize(8);
        const std::string how = c.How;
        ASSERT_EQ(ErrorOf([&] {
                      if (how == "Post")
                          t->Post();
                      else if (how == "Next")
                          t->Next();
                      else
                          t->Prior();
                  }),
                  "(no error)");
        EXPECT_EQ(t->State(), dsBrowse);
        EXPECT_EQ(Client(Drv(), "SELECT " + StoredExpr(kind, "b", "") + " FROM " + name + " WHERE id = " +
                                    std::to_string(id) + ";"),
                  "8:" + Hex("NEWVALUE") + "\n")
            << "the value written so far is posted";
        EXPECT_EQ(ErrorOf([&] { stream->WriteBuffer("MORE", 4); }), "Dataset not in edit or insert mode");
        EXPECT_EQ(stream->Size(), 8);
        stream.reset();
        if (c.StartRow == 0) t->Refresh();  // a new row shows once the result is read again
        ASSERT_TRUE(t->Locate("id", id, {}));
        EXPECT_EQ(b->AsString(), "NEWVALUE") << "the stream's end changed nothing";
        EXPECT_EQ(FRaw->Scalar("SELECT count(*) FROM " + name), c.StartRow == 0 ? "3" : "2");
        t->Close();
    }
}

// A long-value write the data source answers without asking for the value
// (answered so at the boundary) is refused: Post raises and keeps the edit,
// and the stored value is as it was.
TEST_P(LongValueWrite, AWriteAnsweredWithoutTakingTheValueRaises) {
    const DriverKind kind = Drv().Kind;
    const std::string name =
        CreateTable(std::string("id int primary key, b ") + test::BlobType(Drv()) + ", note varchar(10)");
    FRaw->Exec("INSERT INTO " + name + " VALUES (1, " + OldValueExpr(kind, 600) + ", 'n')");
    TODBCTable* t = NewTable(name);
    t->Open();
    const std::string before = t->FieldByName("b")->AsString();
    t->Edit();
    t->FieldByName("b")->SetAsString("hello");
    {
        odbc::faults::Scope scope;
        odbc::faults::Inject(test::StatementFault("SQLSetPos", t->StmtHandle(), SQL_SUCCESS, {}));
        EXPECT_NE(ErrorOf([&] { t->Post(); }).find("did not take the value"), std::string::npos);
    }
    EXPECT_EQ(t->State(), dsEdit);
    t->Cancel();
    EXPECT_EQ(Client(Drv(), "SELECT " + StoredExpr(kind, "b", "") + " FROM " + name + ";"),
              "600:" + Hex(before) + "\n");
}

// A write stream alive at Cancel writes nothing, then or at its end.
TEST_P(LongValueWrite, AWriteStreamAliveAtCancelWritesNothing) {
    const DriverKind kind = Drv().Kind;
    const std::string name =
        CreateTable(std::string("id int primary key, b ") + test::BlobType(Drv()) + ", note varchar(10)");
    FRaw->Exec("INSERT INTO " + name + " VALUES (1, " + OldValueExpr(kind, 3000) + ", 'n')");
    TODBCTable* t = NewTable(name);
    t->Open();
    const std::string before = t->FieldByName("b")->AsString();
    t->Edit();
    auto stream = t->CreateBlobStream(t->FieldByName("b"), bmWrite);
    stream->WriteBuffer("NEWVALUE", 8);
    t->Cancel();
    EXPECT_NE(ErrorOf([&] { stream->WriteBuffer("MORE", 4); }), "(no error)");
    stream.reset();
    EXPECT_EQ(t->FieldByName("b")->AsString(), before);
    EXPECT_EQ(Client(Drv(), "SELECT " + StoredExpr(kind, "b", "") + " FROM " + name + ";"),
              "3000:" + Hex(before) + "\n");
}

// SQLite keeps values longer than a column's declared size. A varbinary(10)
// holding 300 bytes reads whole (it used to read as its first 10 bytes), and
// a row holding such a value, or text longer than 4 bytes a declared
// character, can be edited (the fetch before the write used to fail with
// 01004); the over-long values stay as stored. A value written longer than
// the declared size is refused before anything is sent.
TEST_P(LongValueWrite, SQLiteOverLongValuesReadWholeAndTheirRowsCanBeEdited) {
    VELORA_REQUIRE_TRAIT(Drv(), test::Need::TextBeyondDeclaredSize);
    const std::string name = CreateTable("id integer primary key, v varbinary(10), s varchar(3), note text");
    const std::string bytes = Value(300), text(21, 'x');
    FRaw->Exec("INSERT INTO " + name + " VALUES (1, X'" + Hex(bytes) + "', '" + text + "', 'n'), (2, X'01', 'ab', 'n')");
    const std::string stored = "300:" + Hex(bytes) + "|" + text + "|";
    auto client = [&](int id) {
        return Client(Drv(), "SELECT " + StoredExpr(DriverKind::SQLite, "v", "") + ", s, note FROM " + name +
                                 " WHERE id = " + std::to_string(id) + ";");
    };
    TODBCTable* t = NewTable(name);
    t->IndexParams()->Add("id");
    t->SetIndexed(true);
    t->Open();
    TField* v = t->FieldByName("v");
    EXPECT_EQ(v->AsString(), bytes);
    EXPECT_EQ(t->FieldByName("s")->AsString(), text);

    struct Case {
        const char* Field;
        std::string Value;
        bool Refused;
        std::string After;  ///< the client's row after the post
    };
    const Case cases[] = {
        {"note", "edited", false, stored + "edited\n"},
        {"v", Value(11), true, stored + "edited\n"},
        {"v", bytes, true, stored + "edited\n"},  // its own value is longer than declared too
        {"s", text, true, stored + "edited\n"},
        {"v", Value(10), false, "10:" + Hex(Value(10)) + "|" + text + "|edited\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.Field << " of " << c.Value.size() << " bytes");
        t->First();
        t->Edit();
        const std::string error = ErrorOf([&] {
            t->FieldByName(c.Field)->SetAsString(c.Value);
            t->Post();
        });
        EXPECT_EQ(error != "(no error)", c.Refused) << error;
        if (t->State() != dsBrowse) t->Cancel();
        EXPECT_EQ(client(1), c.After);
    }
    EXPECT_EQ(client(2), "1:01|ab|n\n") << "the other row untouched";
}

INSTANTIATE_TEST_SUITE_P(Drivers, LongValueWrite, test::AllDrivers(), test::DriverParamName());

}  // namespace
}  // namespace velora
