// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Long data against the real drivers: memo and binary sizes and contents,
// writes checked from a second connection (whole values, values written in
// chunks, a 1 MB value), the new record's values kept until it is posted, and
// the forward-only road where long data cannot be reached.
#include "EngineFixture.h"

#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace velora::test {
namespace {

class LongDataTest : public EngineTableTest {
protected:
    LongDataTest() : EngineTableTest("lng") {}
    void SetUp() override {
        EngineTableTest::SetUp();
        if (IsSkipped()) return;
        T = Table(std::string("id int primary key, memo ") + MemoType(Drv()) + ", bin " + LongBinaryType(Drv()));
        Raw->Exec("INSERT INTO " + T + " VALUES (1, NULL, NULL)");
        Raw->Exec("INSERT INTO " + T + " VALUES (2, '', " + BinaryLiteral(Drv(), "") + ")");
        Raw->Exec("INSERT INTO " + T + " VALUES (3, '0123456789', " + BinaryLiteral(Drv(), Bytes) + ")");
    }
    /// The cursor over the table, positioned on row `id` (1-based), its
    /// record in `buf` with the bookmark filled in as a dataset does.
    std::unique_ptr<OpenedCursor> Open(RecordBuffer*& buf, int id) {
        auto c = std::make_unique<OpenedCursor>(*Conn, "SELECT id, memo, bin FROM " + T + " ORDER BY id", 2,
                                                ODBCREADWRITE, false, T);
        Buf = std::make_unique<RecordBuffer>(**c);
        for (int i = 0; i < id; ++i) EXPECT_EQ((*c)->GetNextRecord(Buf->Data(), false), ODBCRecOK);
        std::int32_t bm = 0;
        (*c)->GetBookmark(&bm);
        Buf->SetBookmark(bm);
        buf = Buf.get();
        return c;
    }
    void RequireScrolling() {
        ASSERT_TRUE(Scrolls(*Conn)) << "every test driver scrolls (its keyset cursors or our cursor library)";
    }

    const std::string Bytes{"\x00\x01\xFF\x10\x00\x80", 6};
    std::unique_ptr<RecordBuffer> Buf;
    std::string T;
};

TEST_P(LongDataTest, MemoSizesCountTheTerminator) {
    ASSERT_TRUE(Scrolls(*Conn)) << "every test driver scrolls (its keyset cursors or our cursor library)";
    RecordBuffer* buf = nullptr;
    auto c = Open(buf, 1);
    TODBC& cur = **c;
    const int expected[] = {0, 1, 11};
    for (int row = 0; row < 3; ++row) {
        SCOPED_TRACE("row " + std::to_string(row + 1));
        buf->SetBookmark(row);
        std::int32_t size = -1;
        cur.GetBlobSize(buf->Data(), buf->BookmarkOffset, size, 2);
        EXPECT_EQ(size, expected[row]);
        bool blank = false;
        EXPECT_EQ(cur.GetField(2, buf->Data(), buf->BookmarkOffset, blank, nullptr), 0);
        EXPECT_EQ(blank, row == 0);
    }
    std::int32_t row = 2;
    char text[11];
    std::memset(text, 'x', sizeof text);
    std::int32_t count = 0;
    EXPECT_EQ(cur.ReadBlob(&row, 2, 0, 11, text, count), 7);
    EXPECT_EQ(count, 11);
    EXPECT_EQ(std::string(text, 11), std::string("0123456789\0", 11));
}

TEST_P(LongDataTest, BinaryValuesAreExactlyTheirBytes) {
    ASSERT_TRUE(Scrolls(*Conn)) << "every test driver scrolls (its keyset cursors or our cursor library)";
    RecordBuffer* buf = nullptr;
    auto c = Open(buf, 3);
    TODBC& cur = **c;
    std::int32_t size = -1;
    cur.GetBlobSize(buf->Data(), buf->BookmarkOffset, size, 3);
    EXPECT_EQ(size, static_cast<std::int32_t>(Bytes.size()));
    std::string read(size, '?');
    std::int32_t row = 2, count = 0;
    EXPECT_EQ(cur.ReadBlob(&row, 3, 0, size, read.data(), count), 7);
    EXPECT_EQ(count, size);
    EXPECT_EQ(read, Bytes);
    // NULL and empty binary values both have size 0 (blank).
    for (std::int32_t r : {0, 1}) {
        buf->SetBookmark(r);
        cur.GetBlobSize(buf->Data(), buf->BookmarkOffset, size, 3);
        EXPECT_EQ(size, 0);
    }
    // Long data never disturbs the cache: navigation goes on where it was.
    buf->SetBookmark(2);
    EXPECT_EQ(cur.GetNextRecord(buf->Data(), false), ODBCRecEOF);
    ASSERT_EQ(cur.GetPriorRecord(buf->Data()), ODBCRecOK);
    bool blank;
    std::int32_t id = 0;
    cur.GetField(1, buf->Data(), buf->BookmarkOffset, blank, &id);
    EXPECT_EQ(id, 2);
}

TEST_P(LongDataTest, WritesReachTheDataSourceWhole) {
    ASSERT_TRUE(Scrolls(*Conn)) << "every test driver scrolls (its keyset cursors or our cursor library)";
    RecordBuffer* buf = nullptr;
    auto c = Open(buf, 1);
    TODBC& cur = **c;
    const int dsEdit = 2;
    std::int32_t row = 0;
    const std::string memo = std::string(300, 'a') + "end";
    ASSERT_EQ(cur.WriteBlob(dsEdit, &row, 2, 0, static_cast<std::int32_t>(memo.size()), memo.data()), 0);
    ASSERT_EQ(cur.WriteBlob(dsEdit, &row, 3, 0, static_cast<std::int32_t>(Bytes.size()), Bytes.data()), 0);
    EXPECT_EQ(Raw->Scalar("SELECT memo FROM " + T + " WHERE id = 1"), memo);
    EXPECT_EQ(Raw->Scalar("SELECT bin FROM " + T + " WHERE id = 1", SQL_C_BINARY), Bytes);

    // A stream writing in chunks: every chunk arrives.
    row = 1;
    std::string whole;
    for (int k = 0; k < 4; ++k) {
        std::string chunk(4096, static_cast<char>('A' + k));
        ASSERT_EQ(cur.WriteBlob(dsEdit, &row, 2, static_cast<std::int32_t>(whole.size()),
                                static_cast<std::int32_t>(chunk.size()), chunk.data()),
                  0);
        whole += chunk;
    }
    EXPECT_EQ(Raw->Scalar("SELECT memo FROM " + T + " WHERE id = 2"), whole);
    // Read back through the cursor as well.
    buf->SetBookmark(1);
    std::int32_t size = 0;
    cur.GetBlobSize(buf->Data(), buf->BookmarkOffset, size, 2);
    EXPECT_EQ(size, static_cast<std::int32_t>(whole.size()) + 1);

    // Writing into the middle of a stored value starts from what is stored.
    row = 2;
    ASSERT_EQ(cur.WriteBlob(dsEdit, &row, 2, 3, 2, "xy"), 0);
    EXPECT_EQ(Raw->Scalar("SELECT memo FROM " + T + " WHERE id = 3"), "012xy56789");
}

TEST_P(LongDataTest, AMegabyteValueRoundTrips) {
    ASSERT_TRUE(Scrolls(*Conn)) << "every test driver scrolls (its keyset cursors or our cursor library)";
    RecordBuffer* buf = nullptr;
    auto c = Open(buf, 1);
    TODBC& cur = **c;
    std::string big(1 << 20, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>((i * 7919) % 251);
    std::int32_t row = 0;
    ASSERT_EQ(cur.WriteBlob(2, &row, 3, 0, static_cast<std::int32_t>(big.size()), big.data()), 0);
    EXPECT_EQ(Raw->Scalar("SELECT bin FROM " + T + " WHERE id = 1", SQL_C_BINARY), big);
    std::int32_t size = 0;
    buf->SetBookmark(0);
    cur.GetBlobSize(buf->Data(), buf->BookmarkOffset, size, 3);
    ASSERT_EQ(size, 1 << 20);
    std::string read(static_cast<std::size_t>(size), '\0');
    std::int32_t count = 0;
    EXPECT_EQ(cur.ReadBlob(&row, 3, 0, size, read.data(), count), 7);
    EXPECT_EQ(count, size);
    EXPECT_TRUE(read == big);
}

TEST_P(LongDataTest, TheNewRecordsValueWaitsForItsRow) {
    RecordBuffer* buf = nullptr;
    auto c = Open(buf, 1);
    TODBC& cur = **c;
    const int dsInsert = 3;
    std::int32_t none = -1;  // the bookmark a new record carries
    ASSERT_EQ(cur.WriteBlob(dsInsert, &none, 2, 0, 5, "hello"), 0);
    ASSERT_EQ(cur.WriteBlob(dsInsert, &none, 2, 5, 6, " world"), 0);
    // No row was added by the long-data write.
    EXPECT_EQ(Raw->Scalar("SELECT COUNT(*) FROM " + T), "3");
    ASSERT_NE(cur.PendingBlob(2), nullptr);
    EXPECT_EQ(*cur.PendingBlob(2), "hello world");
    // The new record shows what was written for it, and nothing of another row.
    std::vector<std::byte> rec(static_cast<std::size_t>(cur.RecordSize()) + 8);
    std::memcpy(rec.data() + cur.RecordSize(), &none, sizeof none);
    std::int32_t size = 0;
    cur.GetBlobSize(rec.data(), cur.RecordSize(), size, 2);
    EXPECT_EQ(size, 12);
    char text[12];
    std::int32_t count = 0;
    EXPECT_EQ(cur.ReadBlob(&none, 2, 0, 12, text, count), 7);
    EXPECT_EQ(std::string(text), "hello world");
    cur.GetBlobSize(rec.data(), cur.RecordSize(), size, 3);
    EXPECT_EQ(size, 0);
    // A new record starts without long values.
    cur.InitRecord(rec.data());
    EXPECT_FALSE(cur.HasPendingBlobs());
}

TEST_P(LongDataTest, ForwardOnlyCursorsKeepTheLongValuesOfTheirBlock) {
    // Blocks of two rows: row 3 is read in the second block, after which the
    // first block's values are gone.
    OpenedCursor c(*Conn, "SELECT id, memo, bin FROM " + T + " ORDER BY id", 2, ODBCREADONLY, true);
    RecordBuffer buf(*c);
    const std::vector<std::optional<std::string>> memos = {std::nullopt, "", "0123456789"};
    const std::vector<std::optional<std::string>> bins = {std::nullopt, "", Bytes};
    for (int row = 0; row < 3; ++row) {
        ASSERT_EQ(c->GetNextRecord(buf.Data(), true), ODBCRecOK);
        buf.SetBookmark(row);
        String value;
        EXPECT_EQ(c->ReadLongValue(static_cast<std::byte*>(buf.Data()) + buf.BookmarkOffset, 2, value),
                  memos[row].has_value());
        EXPECT_EQ(value, memos[row].value_or(""));
        EXPECT_EQ(c->ReadLongValue(static_cast<std::byte*>(buf.Data()) + buf.BookmarkOffset, 3, value),
                  bins[row].has_value());
        EXPECT_EQ(value, bins[row].value_or(""));
        std::int32_t size = -1;
        c->GetBlobSize(buf.Data(), buf.BookmarkOffset, size, 2);
        EXPECT_EQ(size, memos[row] ? static_cast<std::int32_t>(memos[row]->size()) + 1 : 0);
    }
    buf.SetBookmark(0);
    String value;
    EXPECT_THROW(c->ReadLongValue(static_cast<std::byte*>(buf.Data()) + buf.BookmarkOffset, 2, value), EODBCError)
        << "a passed block";
    // A column that is not long data is refused as such.
    std::int32_t size = 0;
    EXPECT_THROW(c->GetBlobSize(buf.Data(), buf.BookmarkOffset, size, 1), EODBCError);
}

TEST_P(LongDataTest, ForwardOnlyLongValuesOfEveryLengthInBlocksOfTen) {
    // Lengths around the first piece a value is read in and around the part
    // of a long value a rowset carries (256 bytes: text keeps one for its
    // terminator), empty and NULL, on every row of blocks of ten: each row's
    // values kept in its slot, the buffers reused block after block. Memos
    // of two-byte characters too, so the prefix's end falls inside one.
    const std::optional<std::size_t> lengths[] = {0, 1, std::nullopt, 1023, 1024, 1025, 70000, 7, 255, 256, 257};
    const std::string t =
        Table(std::string("id int primary key, memo ") + MemoType(Drv()) + ", bin " + LongBinaryType(Drv()));
    std::vector<std::optional<std::string>> memos, bins;
    for (int id = 1; id <= 45; ++id) {
        const auto& n = lengths[static_cast<std::size_t>(id) % std::size(lengths)];
        std::string memo;
        if (n && id % 3 == 0)
            for (std::size_t i = 0; i < *n / 2; ++i) memo += "\xC3\xA9";  // é
        else if (n)
            memo.assign(*n, static_cast<char>('a' + id % 26));
        std::string bin(n.value_or(0), '\0');
        for (std::size_t i = 0; i < bin.size(); ++i)
            bin[i] = static_cast<char>((i * 7 + static_cast<std::size_t>(id)) & 0xFF);
        memos.push_back(n ? std::optional<std::string>(memo) : std::nullopt);
        bins.push_back(n ? std::optional<std::string>(bin) : std::nullopt);
        Raw->Exec("INSERT INTO " + t + " VALUES (" + std::to_string(id) + ", " + (n ? "'" + memo + "'" : "NULL") +
                  ", " + (n ? BinaryLiteral(Drv(), bin) : std::string("NULL")) + ")");
    }
    odbc::faults::Scope counting;
    OpenedCursor c(*Conn, "SELECT id, memo, bin FROM " + t + " ORDER BY id", 10, ODBCREADONLY, true);
    RecordBuffer buf(*c);
    for (int row = 0; row < 45; ++row) {
        ASSERT_EQ(c->GetNextRecord(buf.Data(), true), ODBCRecOK);
        buf.SetBookmark(row);
        for (int column : {2, 3}) {
            String value;
            const auto& want = (column == 2 ? memos : bins)[static_cast<std::size_t>(row)];
            ASSERT_EQ(c->ReadLongValue(static_cast<std::byte*>(buf.Data()) + buf.BookmarkOffset, column, value),
                      want.has_value())
                << "row " << row + 1 << ", column " << column;
            ASSERT_TRUE(value == want.value_or(""))
                << "row " << row + 1 << ", column " << column << ": " << value.size() << " bytes";
        }
    }
    EXPECT_EQ(c->GetNextRecord(buf.Data(), true), ODBCRecEOF);
    // On psqlODBC the blocks come a rowset a fetch, and only the rows with a
    // value longer than its part in the rowset are positioned on and read.
    if (Drv().Kind == DriverKind::PostgreSQL) {
        int rows = 0;
        for (int id = 1; id <= 45; ++id) {
            const auto& n = lengths[static_cast<std::size_t>(id) % std::size(lengths)];
            rows += n && *n > 255;
        }
        EXPECT_LE(odbc::faults::CallCount("SQLFetchScroll") + odbc::faults::CallCount("SQLFetch"), 6);
        EXPECT_EQ(odbc::faults::CallCount("SQLSetPos"), rows);
    }
}

INSTANTIATE_TEST_SUITE_P(Drivers, LongDataTest, AllDrivers(), DriverParamName());

}  // namespace
}  // namespace velora::test
