// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Memo and BLOB values through fields and TODBCBlobStream on the real
// drivers: round trips of every size written three ways and read back from a
// second connection, the stream's reading and caching rules, writes that
// reach the data source only at Post, and long values on uni-directional and
// forward-only datasets.
#include "components/ComponentTestUtil.h"
#include "components/DataSetTestUtil.h"

#include "velora/odbc/ODBCFaults.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velora {
namespace {

using test::DataSetDriverTest;
using test::ErrorOf;
namespace faults = odbc::faults;

/// UTF-8 text of exactly `n` bytes with a 4-byte character across every
/// 256-byte and 4 KB boundary it reaches, and 2-byte characters between.
std::string Utf8Text(std::size_t n) {
    std::string s;
    for (int i = 0; s.size() < n; ++i) {
        const std::size_t pos = s.size(), left = n - pos;
        const std::size_t in256 = pos % 256, in4k = pos % 4096;
        if (left >= 4 && (in256 >= 253 || in4k >= 4093))
            s += "\xF0\x9F\x98\x80";
        else if (left >= 2 && i % 3 == 0)
            s += "\xC3\xA9";
        else
            s += static_cast<char>('a' + pos % 26);
    }
    return s;
}

std::string Bytes(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 7 + 3) % 256);
    return s;
}

/// `n` bytes where every byte tells its position: 4-byte big-endian counters
/// (binary) or 8-character decimal counters ending in ',' (text).
std::string Counted(std::size_t n, bool binary) {
    std::string s;
    s.reserve(n + 8);
    char word[16];
    for (std::uint32_t i = 0; s.size() < n; ++i) {
        if (binary) {
            for (int k = 3; k >= 0; --k) s += static_cast<char>((i >> (8 * k)) & 0xFF);
        } else {
            std::snprintf(word, sizeof word, "%07u,", i);
            s += word;
        }
    }
    s.resize(n);
    return s;
}

enum class Way { File, OneWrite, Chunks };

class BlobStream : public DataSetDriverTest {
protected:
    std::string LongTable() {
        return CreateTable(std::string("id int primary key, name varchar(20) not null unique, m ") +
                           test::MemoType(Drv()) + ", b " + test::BlobType(Drv()));
    }
    static void WriteValue(TField* f, const std::string& value, Way way) {
        switch (way) {
            case Way::File: {
                const std::string path = testing::TempDir() + test::UniqueName("velora-blob");
                {
                    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"), std::fclose);
                    std::fwrite(value.data(), 1, value.size(), file.get());
                }
                static_cast<TBlobField*>(f)->LoadFromFile(path);
                std::remove(path.c_str());
                break;
            }
            case Way::OneWrite:
                f->DataSet()
                    ->CreateBlobStream(f, bmWrite)
                    ->WriteBuffer(value.data(), static_cast<std::int64_t>(value.size()));
                break;
            case Way::Chunks: {
                auto s = f->DataSet()->CreateBlobStream(f, bmWrite);
                for (std::size_t at = 0; at < value.size(); at += 4096)
                    s->WriteBuffer(value.data() + at,
                                   static_cast<std::int64_t>(std::min<std::size_t>(4096, value.size() - at)));
                break;
            }
        }
    }
    std::optional<std::string> Stored(const std::string& table, const char* col, int id) {
        return FRaw->Scalar("SELECT " + std::string(col) + " FROM " + table + " WHERE id = " + std::to_string(id),
                            col[0] == 'b' ? SQL_C_BINARY : SQL_C_CHAR);
    }
};

TEST_P(BlobStream, EverySizeWrittenEveryWayReadsBackWholeFromASecondConnection) {
    const std::string name = LongTable();
    TODBCTable* t = NewTable(name);
    t->Open();
    // Around the first piece a value is read in (1,024 bytes with the terminator) and the 64 KB ones after it.
    const std::size_t sizes[] = {1, 255, 256, 1023, 1024, 1025, 8000, 64 * 1024 + 1, 1 << 20, 10 << 20};
    int id = 0;
    for (std::size_t size : sizes) {
        for (Way way : {Way::File, Way::OneWrite, Way::Chunks}) {
            ++id;
            t->Append();
            t->FieldByName("id")->SetAsInteger(id);
            t->FieldByName("name")->SetAsString("r" + std::to_string(id));
            WriteValue(t->FieldByName("m"), Utf8Text(size), way);
            WriteValue(t->FieldByName("b"), Bytes(size), way);
            t->Post();
            SCOPED_TRACE(testing::Message() << "size " << size << " way " << static_cast<int>(way));
            EXPECT_TRUE(Stored(name, "m", id) == Utf8Text(size));
            EXPECT_TRUE(Stored(name, "b", id) == Bytes(size));
        }
    }
    EXPECT_EQ(FRaw->Scalar("SELECT count(*) FROM " + name), std::to_string(id)) << "each insert adds one row";
    // Read back through the dataset, and replaced by an edit.
    t->Close();
    t->IndexParams()->Add("id");
    t->SetIndexed(true);
    t->Open();
    for (t->First(); !t->Eof(); t->Next()) {
        const std::size_t size = sizes[(t->FieldByName("id")->AsInteger() - 1) / 3];
        ASSERT_EQ(t->FieldByName("m")->AsString(), Utf8Text(size));
        ASSERT_EQ(t->FieldByName("b")->AsString(), Bytes(size));
    }
    t->First();
    t->Edit();
    t->FieldByName("m")->SetAsString(Utf8Text(300));
    t->Post();
    EXPECT_TRUE(Stored(name, "m", 1) == Utf8Text(300));
}

TEST_P(BlobStream, ReadsServeTheWholeValueOnceAndFollowTheCacheRules) {
    const std::string name = LongTable();
    const std::string value = Utf8Text(10000);
    FRaw->Exec("INSERT INTO " + name + " (id, name, m) VALUES (1, 'a', '" + value + "')");
    TODBCTable* t = NewTable(name);
    t->Open();
    auto* dataSet = static_cast<TODBCDataSet*>(t);
    TField* m = t->FieldByName("m");
    {
        auto s = t->CreateBlobStream(m, bmRead);
        s->Seek(2, soBeginning);
        char two[2];
        ASSERT_EQ(s->Read(two, 2), 2);
        EXPECT_EQ(std::string(two, 2), value.substr(2, 2));
        EXPECT_TRUE(dataSet->GetBlobData(m, t->ActiveBuffer()).empty()) << "a read from 2 fills no cache";
    }
    {
        auto s = t->CreateBlobStream(m, bmRead);
        s->Seek(0, soEnd);
        EXPECT_EQ(s->Position(), static_cast<std::int64_t>(value.size())) << "Size has no terminator";
        char c;
        EXPECT_EQ(s->Read(&c, 1), 0) << "a read at the end reads nothing";
        EXPECT_TRUE(dataSet->GetBlobData(m, t->ActiveBuffer()).empty()) << "and fills no cache";
        s->Seek(-5, soBeginning);
        EXPECT_EQ(s->Read(&c, 1), 0) << "a read at a negative position reads nothing";
        s->Seek(0, soBeginning);
        std::string got;
        char chunk[4096];
        for (std::int64_t n; (n = s->Read(chunk, sizeof chunk)) > 0;) got.append(chunk, static_cast<std::size_t>(n));
        EXPECT_EQ(got, value) << "4 KB reads until 0 give the whole value";
        s->Seek(-10, soEnd);
        EXPECT_EQ(s->Read(chunk, sizeof chunk), 10);
        EXPECT_EQ(std::string(chunk, 10), value.substr(value.size() - 10));
        s->Seek(3, soBeginning);
        EXPECT_EQ(s->Read(chunk, 2), 2);
        EXPECT_EQ(std::string(chunk, 2), value.substr(3, 2));
        EXPECT_EQ(ErrorOf([&] { s->Write("x", 1); }), "Cannot write to the value of field 'm' opened for reading");
    }
    EXPECT_EQ(dataSet->GetBlobData(m, t->ActiveBuffer()), value) << "the first read filled the cache";
    {
        faults::Scope scope;
        EXPECT_EQ(m->AsString(), value);
        EXPECT_EQ(faults::CallCount("SQLGetData"), 0) << "a second stream reads from memory";
    }
    t->Edit();
    EXPECT_TRUE(dataSet->GetBlobData(m, t->ActiveBuffer()).empty()) << "Edit empties the cache";
    t->Cancel();
    EXPECT_EQ(ErrorOf([&] { t->CreateBlobStream(m, bmWrite); }), "Dataset not in edit or insert mode");
}

TEST_P(BlobStream, WritesReachTheDataSourceOnlyAtPostAndClearedValuesAreNull) {
    const std::string name = LongTable();
    FRaw->Exec("INSERT INTO " + name + " (id, name, m) VALUES (1, 'a', 'kept'), (2, 'b', 'other')");
    TODBCTable* t = NewTable(name);
    t->IndexParams()->Add("id");
    t->SetIndexed(true);
    t->Open();
    TField* m = t->FieldByName("m");
    t->Edit();
    {
        auto s = t->CreateBlobStream(m, bmReadWrite);
        s->Seek(2, soBeginning);
        s->WriteBuffer("XYZ", 3);
        s->Seek(0, soBeginning);
        s->WriteBuffer("Q", 1);
    }
    {
        auto s = t->CreateBlobStream(m, bmReadWrite);
        s->Seek(-1, soBeginning);
        EXPECT_EQ(s->Write("!", 1), 0) << "a write at a negative position writes nothing";
    }
    EXPECT_EQ(m->AsString(), "QeXYZ") << "every write kept at its position";
    const std::string path = testing::TempDir() + test::UniqueName("velora-blob-save");
    static_cast<TBlobField*>(m)->SaveToFile(path);
    TMemoryStream saved;
    saved.LoadFromFile(path);
    std::remove(path.c_str());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(saved.Memory()), static_cast<std::size_t>(saved.Size())),
              "QeXYZ");
    EXPECT_TRUE(static_cast<TBlobField*>(m)->Modified());
    EXPECT_TRUE(Stored(name, "m", 1) == "kept") << "nothing written before Post";
    t->Cancel();
    EXPECT_FALSE(static_cast<TBlobField*>(m)->Modified());
    EXPECT_TRUE(Stored(name, "m", 1) == "kept");
    EXPECT_EQ(m->AsString(), "kept");

    // A post refused for another column leaves the long value as it was.
    t->Edit();
    m->SetAsString("changed");
    t->FieldByName("name")->SetAsString("b");
    EXPECT_NE(ErrorOf([&] { t->Post(); }), "(no error)");
    EXPECT_TRUE(Stored(name, "m", 1) == "kept");
    t->Cancel();

    t->Edit();
    m->Clear();
    EXPECT_TRUE(m->IsNull());
    t->Post();
    EXPECT_FALSE(Stored(name, "m", 1).has_value()) << "a cleared value is stored as NULL";
    t->Next();
    t->Edit();
    m->SetAsString("");
    EXPECT_FALSE(m->IsNull());
    t->Post();
    EXPECT_TRUE(Stored(name, "m", 2) == "") << "an empty value written is stored empty, not NULL";
}

// Within one edit a later assignment replaces the whole value, a shorter one
// too, and a Clear after an assignment leaves NULL, not the value assigned.
TEST_P(BlobStream, ALaterAssignmentInOneEditReplacesTheWholeValue) {
    const std::string name = LongTable();
    FRaw->Exec("INSERT INTO " + name + " (id, name, m) VALUES (1, 'a', 'kept')");
    TODBCTable* t = NewTable(name);
    t->Open();
    TField* m = t->FieldByName("m");
    t->Edit();
    m->SetAsString("longer value");
    m->SetAsString("ab");
    EXPECT_EQ(m->AsString(), "ab");
    t->Post();
    EXPECT_TRUE(Stored(name, "m", 1) == "ab") << Stored(name, "m", 1).value_or("(null)");
    t->Edit();
    m->SetAsString("assigned");
    m->Clear();
    EXPECT_TRUE(m->IsNull());
    t->Post();
    EXPECT_FALSE(Stored(name, "m", 1).has_value()) << Stored(name, "m", 1).value_or("(null)");
}

// A long value posted to a row another connection deleted is refused: the
// post raises 01001 and keeps the edit. psqlODBC's keyset cursor answers the
// write with success-with-info 01001 by itself; every driver is also made to
// answer so at the boundary, for a memo and for a BLOB. A write failing
// without any diagnostic record raises too.
TEST_P(BlobStream, ALongValuePostedToARowDeletedElsewhereRaises) {
    const std::string name = LongTable();
    FRaw->Exec("INSERT INTO " + name +
               " (id, name, m) VALUES (1, 'a', 'one'), (2, 'b', 'two'), (3, 'c', 'three'), (4, 'd', 'four')");
    TODBCTable* t = NewTable(name);
    t->IndexParams()->Add("id");
    t->SetIndexed(true);
    t->Open();
    const bool keyset = FDb->CursorMode() == cmKeyset;
    const odbc::DiagRecord conflict{"01001", 0, "Row value(s) changed or deleted"};
    struct Case {
        int Id;
        const char* Field;
        std::optional<SQLRETURN> Injected;  ///< the write's answer at the boundary (none: the driver's)
        std::vector<odbc::DiagRecord> Records;
        const char* State;
    };
    for (const Case& c :
         {Case{1, "m", std::nullopt, {}, "01001"}, Case{2, "m", SQL_SUCCESS_WITH_INFO, {conflict}, "01001"},
          Case{3, "b", SQL_SUCCESS_WITH_INFO, {conflict}, "01001"}, Case{4, "m", SQL_ERROR, {}, "00000"}}) {
        if (!c.Injected && !keyset) continue;
        SCOPED_TRACE(testing::Message() << "row " << c.Id);
        ASSERT_TRUE(t->Locate("id", Variant(c.Id), {}));
        if (c.Id < 4) FRaw->Exec("DELETE FROM " + name + " WHERE id = " + std::to_string(c.Id));
        t->Edit();
        WriteValue(t->FieldByName(c.Field), c.Field[0] == 'b' ? Bytes(70000) : Utf8Text(70000), Way::Chunks);
        {
            faults::Scope scope;
            if (c.Injected) faults::Inject(test::StatementFault("SQLSetPos", t->StmtHandle(), *c.Injected, c.Records));
            EXPECT_EQ(test::SQLStateRaised([&] { t->Post(); }), c.State);
            EXPECT_EQ(faults::CallCount("SQLSetPos"), 1) << "one write, answered by the fault when injected";
        }
        EXPECT_EQ(t->State(), dsEdit) << "the edit is kept";
        t->Cancel();
    }
    const std::vector<std::string> left = keyset ? std::vector<std::string>{"4"} : std::vector<std::string>{"1", "4"};
    EXPECT_EQ(Column("SELECT id FROM " + name + " ORDER BY id"), left);
    EXPECT_TRUE(Stored(name, "m", 4) == "four");
}

// A driver that cannot tell a long value's total length answers SQL_NO_TOTAL
// for every piece that did not fit (rewritten at the boundary): the size and
// the whole value still come through the blob stream and through the field.
TEST_P(BlobStream, ValuesOfUntoldLengthReadWholeThroughStreamAndField) {
    const std::string name = LongTable();
    const std::string memo = Counted(100000, false), blob = Counted(300000, true);
    TODBCTable* t = NewTable(name);
    t->Open();
    t->Append();
    t->FieldByName("id")->SetAsInteger(1);
    t->FieldByName("name")->SetAsString("a");
    WriteValue(t->FieldByName("m"), memo, Way::OneWrite);
    WriteValue(t->FieldByName("b"), blob, Way::OneWrite);
    t->Post();
    t->Close();
    faults::Scope scope;
    faults::HideTotalLengths();
    for (bool stream : {true, false}) {
        SCOPED_TRACE(stream ? "stream" : "field");
        t->Open();
        for (const auto& [field, value] : {std::pair{"m", &memo}, std::pair{"b", &blob}}) {
            TField* f = t->FieldByName(field);
            std::string got;
            if (stream) {
                auto s = t->CreateBlobStream(f, bmRead);
                ASSERT_EQ(s->Size(), static_cast<std::int64_t>(value->size())) << field;
                got.resize(value->size());
                s->ReadBuffer(got.data(), static_cast<std::int64_t>(got.size()));
                EXPECT_EQ(s->Read(got.data(), 1), 0) << "nothing after the end";
            } else {
                got = f->AsString();
            }
            EXPECT_EQ(got.size(), value->size()) << field;
            EXPECT_TRUE(got == *value) << field << ": first difference at "
                                       << std::mismatch(got.begin(), got.end(), value->begin(), value->end()).first -
                                              got.begin();
        }
        t->Close();
    }
    EXPECT_GT(faults::CallCount("SQLGetData SQL_NO_TOTAL"), 0) << "the lengths were hidden";
}

TEST_P(BlobStream, UniDirectionalAndForwardOnlyDataSetsReadLongValues) {
    const std::string name = LongTable();
    FRaw->Exec("INSERT INTO " + name + " (id, name, m, b) VALUES (1, 'a', 'first', " +
               test::BinaryLiteral(Drv(), "\x01\x02") + "), (2, 'b', NULL, NULL), (3, 'c', 'third', NULL)");
    const std::vector<std::string> memos = {"first", "", "third"};
    auto check = [&](TODBCTable* t, const char* what) {
        t->Open();
        std::vector<std::string> seen;
        for (; !t->Eof(); t->Next()) seen.push_back(t->FieldByName("m")->AsString());
        EXPECT_EQ(seen, memos) << what;
        t->Close();
    };
    TODBCTable* uni = NewTable(name);
    uni->SetRowSetSize(2);
    uni->IndexParams()->Add("id");
    uni->SetIndexed(true);
    uni->SetUniDirectional(true);
    check(uni, "uni-directional");
    uni->Open();
    EXPECT_EQ(uni->FieldByName("b")->AsString(), std::string("\x01\x02"));
    EXPECT_TRUE(uni->FieldByName("m")->AsString() == "first");
    uni->Close();

    TODBCDatabase* db = test::NewDatabase(FOwner.get(), Drv());
    {
        faults::Scope scope;
        faults::OverrideInfo(SQL_STATIC_CURSOR_ATTRIBUTES1, 0);
        faults::OverrideInfo(SQL_KEYSET_CURSOR_ATTRIBUTES1, 0);
        db->Open();
    }
    ASSERT_EQ(db->CursorMode(), cmForwardOnly);
    auto* fo = new TODBCTable(FOwner.get());
    fo->SetDataBase(db);
    fo->SetTableName(name);
    fo->IndexParams()->Add("id");
    fo->SetIndexed(true);
    check(fo, "forward-only connection");
}

// A long value read once is served from the record's cache afterwards, a
// NULL and a zero-length value like any other: IsNull, AsString and a
// stream's size make no call on the data source.
TEST_P(BlobStream, NullAndEmptyLongValuesAreCachedLikeOthers) {
    const std::string name = LongTable();
    FRaw->Exec("INSERT INTO " + name + " (id, name, m, b) VALUES (1, 'null', NULL, NULL), (2, 'empty', '', " +
               test::BinaryLiteral(Drv(), "") + "), (3, 'value', 'text', " + test::BinaryLiteral(Drv(), "\x01") +
               ")");
    TODBCTable* t = NewTable(name);
    t->Open();
    int rows = 0;
    for (; !t->Eof(); t->Next(), ++rows) {
        const std::string row = t->FieldByName("name")->AsString();
        for (const char* column : {"m", "b"}) {
            TField* f = t->FieldByName(column);
            const bool null = f->IsNull();  // from the data source
            const std::string value = f->AsString();
            EXPECT_EQ(null, row == "null") << row << " " << column;
            if (row == "value") {
                EXPECT_EQ(value, *column == 'm' ? "text" : "\x01");
            }
            faults::Scope scope;
            EXPECT_EQ(f->IsNull(), null);
            EXPECT_EQ(f->AsString(), value);
            EXPECT_EQ(t->CreateBlobStream(f, bmRead)->Size(), static_cast<std::int64_t>(value.size()));
            EXPECT_EQ(faults::CallCount("SQLGetData"), 0) << row << " " << column << ": read again from the source";
        }
    }
    EXPECT_EQ(rows, 3);
}

// Controls linked to a memo or BLOB field hear of every assignment, every
// stream write that changes the value and every close of a writing stream,
// and what they read then is the value so far.
TEST_P(BlobStream, LinkedControlsHearOfEveryAssignmentWriteAndClose) {
    const std::string name = LongTable();
    FRaw->Exec("INSERT INTO " + name + " (id, name, m) VALUES (1, 'a', 'stored')");
    TODBCTable* t = NewTable(name);
    t->Open();
    TField* m = t->FieldByName("m");
    std::vector<std::string> seen;  // what the control read at each notification
    m->OnChange = [&](TField* f) { seen.push_back(f->IsNull() ? "<null>" : f->AsString()); };
    t->Edit();
    struct Step {
        const char* What;
        std::function<void()> Do;
        std::vector<std::string> Seen;  ///< the notifications the step sends
    };
    std::unique_ptr<TStream> open;
    const std::vector<Step> steps = {
        {"assignment", [&] { m->SetAsString("first"); }, {"first", "first"}},
        {"second assignment", [&] { m->SetAsString("second"); }, {"second", "second"}},
        {"shorter assignment", [&] { m->SetAsString("2nd"); }, {"2nd", "2nd"}},
        {"stream opened", [&] { open = t->CreateBlobStream(m, bmReadWrite); }, {}},
        {"write that changes",
         [&] {
             open->Seek(0, soEnd);
             open->Write("x", 1);
         },
         {"2ndx"}},
        {"write of the same bytes",
         [&] {
             open->Seek(-1, soEnd);
             open->Write("x", 1);
         },
         {}},
        {"close", [&] { open.reset(); }, {"2ndx"}},
        {"clear", [&] { m->Clear(); }, {"<null>"}},
        {"empty assignment", [&] { m->SetAsString(""); }, {""}},
    };
    for (const Step& step : steps) {
        seen.clear();
        step.Do();
        EXPECT_EQ(seen, step.Seen) << step.What;
    }
    t->Cancel();
    m->OnChange = nullptr;
}

// Lengths and counts the driver writes are SQLLEN, 64 bits here. One
// beyond 2^32 whose low half is small (as the boundary makes them) must not
// be read as that low half, as a 32-bit variable would: a long value of
// that length is refused, a row count is held at the largest count.
TEST_P(BlobStream, LengthsAndCountsBeyond32BitsAreNeverReadAsTheirLowHalf) {
    const std::string name = LongTable();
    FRaw->Exec("INSERT INTO " + name + " (id, name, m) VALUES (1, 'a', 'hello')");
    constexpr SQLLEN kHigh = SQLLEN(1) << 32;
    TODBCTable* t = NewTable(name);
    t->Open();
    {
        faults::Scope scope;
        faults::WidenLengths(kHigh);
        EXPECT_NE(ErrorOf([&] { (void)t->FieldByName("m")->AsString(); }).find("too large"), std::string::npos);
        EXPECT_GT(faults::CallCount("SQLLEN widened"), 0);
    }
    t->Close();
    auto* q = new TODBCQuery(FOwner.get());
    q->SetDataBase(FDb);
    q->SQL()->SetText("UPDATE " + name + " SET name = 'b' WHERE id = 1");
    faults::Scope scope;
    faults::WidenLengths(kHigh);
    q->ExecSQL();
    EXPECT_EQ(q->RowsAffected(), 2147483647) << "a count beyond 32 bits is held at the largest, never cut to 1";
}

TEST_P(BlobStream, WideVarcharReadsWhole) {
    const std::string name = CreateTable("id int primary key, v varchar(1000)");
    std::string value;
    for (int i = 0; i < 1000; ++i) value += "\xC3\xA9";  // 1,000 characters, 2,000 bytes
    FRaw->Exec("INSERT INTO " + name + " VALUES (1, '" + value + "')");
    for (bool uni : {false, true}) {
        TODBCTable* t = NewTable(name);
        t->SetUniDirectional(uni);
        t->Open();
        EXPECT_EQ(t->FieldByName("v")->AsString(), value) << (uni ? "uni-directional" : "scrolling");
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, BlobStream, test::AllDrivers(), test::DriverParamName());

}  // namespace
}  // namespace velora
