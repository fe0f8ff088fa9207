// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBC against the real drivers: the description and record layout of every
// mapped type, the block cache and its edge cases, navigation compared row by
// row with the table's contents, uni-directional and forward-only reading,
// field values through GetField/PutField and back into the data source, and
// the failures injected at the ODBC boundary.
#include "EngineFixture.h"

#include "../../engine/src/EngineInternal.h"

#include "velora/rtl/DateUtils.h"
#include "velora/rtl/Numbers.h"

#include <cstring>
#include <random>

namespace velora::test {
namespace {

class CursorTest : public EngineTableTest {
protected:
    CursorTest() : EngineTableTest("eng") {}

    /// A table (id, name) holding rows 1..n named "row <id>".
    std::string Numbered(int n) {
        std::string t = Table("id int primary key, name varchar(20)");
        for (int first = 1; first <= n; first += 100) {
            std::string sql = "INSERT INTO " + t + " VALUES ";
            for (int i = first; i < first + 100 && i <= n; ++i)
                sql += (i > first ? ", (" : "(") + std::to_string(i) + ", 'row " + std::to_string(i) + "')";
            Raw->Exec(sql);
        }
        return t;
    }
};

std::int32_t IntField(TODBC& c, RecordBuffer& buf, int field) {
    bool blank = true;
    std::int32_t v = 0;
    EXPECT_EQ(c.GetField(field, buf.Data(), buf.BookmarkOffset, blank, &v), 0);
    EXPECT_FALSE(blank);
    return v;
}

std::string TextField(TODBC& c, RecordBuffer& buf, int field) {
    bool blank = true;
    std::vector<char> v(c.Columns[static_cast<std::size_t>(field - 1)].Len + 1u, '\x7f');
    EXPECT_EQ(c.GetField(field, buf.Data(), buf.BookmarkOffset, blank, v.data()), 0);
    return blank ? std::string("<null>") : std::string(v.data());
}

// ---------------------------------------------------------------------------
// Description and layout.

// Every fetched date and time stamp is encoded by integer arithmetic; it must
// give the day count the calendar functions give, and refuse what they refuse.
TEST(EngineDates, EncodedDaysAgreeWithTheCalendarFromYearOneTo9999) {
    for (int year = 0; year <= 10000; ++year)
        for (int month = 0; month <= 13; ++month)
            for (int day : {0, 1, 15, 28, 29, 30, 31, 32}) {
                TDateTime date = 0;
                const bool valid = TryEncodeDate(year, month, day, date);
                double msecs = 0;
                ASSERT_EQ(detail::EncodeMSecs(year, month, day, 23, 59, 58, 999, msecs), valid)
                    << year << "-" << month << "-" << day;
                if (!valid) continue;
                TTimeStamp ts = DateTimeToTimeStamp(date);
                ts.Time = MSecsPerDay - 1001;
                ASSERT_EQ(msecs, TimeStampToMSecs(ts)) << year << "-" << month << "-" << day;
            }
    double msecs = 0;
    EXPECT_FALSE(detail::EncodeMSecs(2024, 1, 1, 24, 0, 0, 0, msecs));
    EXPECT_FALSE(detail::EncodeMSecs(2024, 1, 1, 0, 0, 0, 1000, msecs));
}

TEST(EngineDates, TemporalTextAtEveryWidthAndBeyondIt) {
    struct Case {
        SQL_TIMESTAMP_STRUCT Ts;
        std::uint16_t Kind;
        bool MidnightAsDate;
        const char* Text;
    };
    const Case cases[] = {
        {{2024, 2, 29, 13, 5, 9, 0}, fcTimeStamp, true, "2024-02-29 13:05:09"},
        {{1, 1, 1, 0, 0, 0, 0}, fcTimeStamp, true, "0001-01-01"},
        {{1, 1, 1, 0, 0, 0, 0}, fcTimeStamp, false, "0001-01-01 00:00:00"},
        {{9999, 12, 31, 23, 59, 59, 999999999}, fcTimeStamp, true, "9999-12-31 23:59:59.999999999"},
        {{2024, 1, 2, 3, 4, 5, 1000000}, fcTimeStamp, true, "2024-01-02 03:04:05.001"},
        {{2024, 1, 2, 3, 4, 5, 1000}, fcTimeStamp, true, "2024-01-02 03:04:05.000001"},
        {{2024, 1, 2, 3, 4, 5, 1}, fcTimeStamp, true, "2024-01-02 03:04:05.000000001"},
        {{2024, 1, 2, 0, 0, 0, 500000000}, fcTimeStamp, true, "2024-01-02 00:00:00.500"},
        {{2024, 1, 2, 3, 4, 5, 6}, fcDate, true, "2024-01-02"},
        {{0, 0, 0, 23, 4, 5, 120000}, fcTime, false, "23:04:05.000120"},
        {{-44, 3, 15, 0, 0, 0, 0}, fcDate, false, "-044-03-15"},
        {{12000, 100, 1, 0, 0, 0, 0}, fcDate, false, "12000-100-01"},
        {{2024, 1, 2, 3, 4, 5, 1000000000u}, fcTimeStamp, false, "2024-01-02 03:04:05.1000000000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(detail::FormatTemporal(c.Ts, c.Kind, c.MidnightAsDate), c.Text);
    }
}

// SQLite's time stamps are text read on every field read: the usual form at
// fixed places, anything else by the general reader, with one answer.
TEST(EngineDates, TimeStampTextsReadAsTheirPartsOrAreRefused) {
    struct Case {
        const char* Text;
        bool Valid;
        SQL_TIMESTAMP_STRUCT Ts;
    };
    const Case cases[] = {
        {"2024-02-29 13:05:09", true, {2024, 2, 29, 13, 5, 9, 0}},
        {"2024-02-29T13:05:09.5", true, {2024, 2, 29, 13, 5, 9, 500000000}},
        {"0001-01-01 00:00:00.000001", true, {1, 1, 1, 0, 0, 0, 1000}},
        {"9999-12-31 23:59:59.999999999", true, {9999, 12, 31, 23, 59, 59, 999999999}},
        {"2024-01-02 03:04:05.1000000000", true, {2024, 1, 2, 3, 4, 5, 100000000}},
        {" 2024-01-02 03:04:05 ", true, {2024, 1, 2, 3, 4, 5, 0}},
        {"2024-01-02 03:04", true, {2024, 1, 2, 3, 4, 0, 0}},
        {"2024-1-2 3:04:05", true, {2024, 1, 2, 3, 4, 5, 0}},
        {"2024-01-02", true, {2024, 1, 2, 0, 0, 0, 0}},
        {"2023-02-29 00:00:00", false, {}},
        {"0000-01-01 00:00:00", false, {}},
        {"2024-01-02 24:00:00", false, {}},
        {"2024-01-02 03:60:00", false, {}},
        {"2024-13-02 03:04:05", false, {}},
        {"2024-01-02 03:04:05.", false, {}},
        {"2024-01-02 03:04:05.0000000001", false, {}},
        {"2024-01-02 03:04:05x", false, {}},
        {"2024/01/02 03:04:05", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Text);
        SQL_TIMESTAMP_STRUCT ts{};
        ASSERT_EQ(detail::ParseTimeStampText(c.Text, false, ts), c.Valid);
        if (!c.Valid) continue;
        EXPECT_EQ(std::memcmp(&ts, &c.Ts, sizeof ts), 0)
            << ts.year << "-" << ts.month << "-" << ts.day << " " << ts.hour << ":" << ts.minute << ":" << ts.second
            << "." << ts.fraction;
    }
}

TEST_P(CursorTest, DescribesEveryMappedTypeAndLaysOutTheRecord) {
    struct Col {
        std::string Decl;
        std::uint16_t Type;
        std::uint16_t Sub;
    };
    std::vector<Col> cols = {
        {"c_int int", fcInt32, 0},
        {"c_str varchar(20)", fcString, 0},
        {"c_dec numeric(12,2)", fcFloat, 0},
        {std::string("c_dbl ") + Drv().Traits.DoubleType, fcFloat, 0},
        {"c_small smallint", fcInt16, 0},
        {"c_bool " + BooleanType(Drv()), fcBoolean, 0},
        {"c_ts " + TimeStampType(Drv()), fcTimeStamp, 0},
        {"c_date date", fcDate, 0},
        {"c_time " + TimeType(Drv()), fcTime, 0},
        {std::string("c_memo ") + MemoType(Drv()), fcBlob, fscMemo},
        {"c_bin " + LongBinaryType(Drv()), fcBlob, fscBinary},
        {"c_big bigint", fcInt64, 0},
        {"c_last int", fcInt32, 0},
    };
    if (Drv().Traits.HasShortBinary) {
        // psqlODBC describes bytea as long data; the others have short binary types.
        cols.insert(cols.end() - 1, {std::string("c_vbin ") + Drv().Traits.VarBinaryType, fcVarBytes, 0});
        // The SQLite driver describes "blob" as BINARY(255), which is long data
        // (255 is what it says for no declared size), and "binary" as text.
        if (*Drv().Traits.FixedBinaryType)
            cols.insert(cols.end() - 1, {std::string("c_fbin ") + Drv().Traits.FixedBinaryType, fcBytes, 0});
        else
            cols.insert(cols.end() - 1, {"c_fbin blob", fcBlob, fscBinary});
    }
    std::string decl;
    for (const auto& c : cols) decl += (decl.empty() ? "" : ", ") + c.Decl;
    std::string t = Table(decl);
    OpenedCursor c(*Conn, "SELECT * FROM " + t, 5, ODBCREADWRITE, false, t);

    ASSERT_EQ(c->FieldCount(), static_cast<int>(cols.size()));
    EXPECT_EQ(+c->CurProps.FieldCount, cols.size());
    int offset = 0;
    int recordSize = 0;
    for (std::size_t i = 0; i < cols.size(); ++i) {
        const TODBCFldDesc& d = c->Columns[i];
        SCOPED_TRACE(cols[i].Decl);
        EXPECT_EQ(d.FieldNo, i);
        EXPECT_EQ(d.FldType, cols[i].Type);
        EXPECT_EQ(d.SubType, cols[i].Sub);
        EXPECT_TRUE(d.NameIs(cols[i].Decl.substr(0, cols[i].Decl.find(' '))));
        EXPECT_EQ(d.Offset, offset);
        int area = 0;
        switch (d.FldType) {
            case fcUnknown:
                // Occupies nothing, is not bound, is left where the next column starts.
                EXPECT_EQ(d.Len, 0);
                EXPECT_EQ(d.NullOffset, d.Offset);
                EXPECT_EQ(d.Offset, c->Columns[i + 1].Offset);
                continue;
            case fcString:
            case fcBytes:
            case fcVarBytes:
                EXPECT_EQ(d.Len, d.Units1 + 1);
                area = d.Len;
                recordSize += d.Units1 + 3;
                break;
            case fcBlob:
                area = 0;
                recordSize += 482;
                break;
            case fcBoolean:
                EXPECT_EQ(d.Len, 2);
                area = 2;
                recordSize += 4;
                break;
            case fcInt16:
                EXPECT_EQ(d.Len, 2);
                EXPECT_EQ(d.Units1, 5);
                area = 2;
                recordSize += 4;
                break;
            case fcInt32:  // fetched as 64 bits, so a value that does not fit is seen
                EXPECT_EQ(d.Len, 8);
                area = 8;
                recordSize += 10;
                break;
            case fcInt64:
                EXPECT_EQ(d.Len, 8);
                area = 8;
                recordSize += 10;
                break;
            case fcFloat:
                if (d.CType == SQL_C_CHAR) {
                    // A decimal held as text: its whole area is bound, long enough
                    // for "-1234567890.12" and the terminator.
                    EXPECT_EQ(d.Len, d.Units1);
                    EXPECT_GE(d.Units1, 15);
                    EXPECT_EQ(d.Units2, 2);
                    recordSize += d.Units1 + 2;
                } else {
                    EXPECT_EQ(d.Len, 8);
                    recordSize += 10;
                }
                area = d.Len;
                break;
            case fcTimeStamp:
                if (d.CType == SQL_C_CHAR) {  // SQLite's, held as the text written
                    EXPECT_EQ(d.Len, 40);
                    area = 40;
                    recordSize += 42;
                    break;
                }
                [[fallthrough]];
            case fcDate:
                EXPECT_EQ(d.Len, 16);
                EXPECT_EQ(d.Units1, 19);
                area = 16;
                recordSize += 18;
                break;
            case fcTime:  // held as text
                EXPECT_EQ(d.Len, 32);
                area = 32;
                recordSize += 34;
                break;
            default:
                ADD_FAILURE() << "unexpected type " << d.FldType;
        }
        EXPECT_EQ(d.NullOffset, d.Offset + area);
        offset = d.NullOffset + 2;
    }
    EXPECT_EQ(c->RecordSize(), recordSize);
    EXPECT_EQ(+c->CurProps.BookmarkLen, recordSize + 14);
    EXPECT_EQ(c->CurProps.OpenMode, ODBCREADWRITE);
    EXPECT_EQ(std::string(c->CurProps.TableName), t);
    EXPECT_EQ(+c->CurProps.NameSize, t.size() + 1);
}

TEST_P(CursorTest, LongNamesKeepWorkingAndWideColumnsBecomeLongData) {
    const std::string longName = "a_column_name_well_beyond_thirty_one_characters";
    // MariaDB counts four octets per character: 2,500 characters are 10,000.
    const int wide = Drv().Traits.OctetsPerChar == 4 ? 2500 : 9000;
    std::string t = Table("id int, " + longName + " varchar(10), w varchar(" + std::to_string(wide) + ")");
    Raw->Exec("INSERT INTO " + t + " VALUES (1, 'x', 'wide value')");
    OpenedCursor c(*Conn, "SELECT * FROM " + t, 5);
    const TODBCFldDesc& d = c->Columns[1];
    EXPECT_EQ(std::string(d.FldName), longName.substr(0, 31));
    EXPECT_EQ(d.GetName(), longName);
    EXPECT_TRUE(d.NameIs("A_COLUMN_NAME_WELL_BEYOND_THIRTY_ONE_CHARACTERS"));
    // Too wide to bind: read through the long-data calls.
    EXPECT_EQ(c->Columns[2].FldType, fcBlob);
    EXPECT_EQ(c->Columns[2].SubType, fscMemo);
    RecordBuffer buf(*c);
    ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
    EXPECT_EQ(TextField(*c, buf, 2), "x");
}

TEST_P(CursorTest, PreparedStatementWithoutResultIsDescribedWithoutASelect) {
    std::string t = Numbered(3);
    odbc::faults::Scope scope;
    SQLHSTMT stmt = ODBCAllocStmt(Conn->Dbc());
    ODBCPrepareStmt(stmt, "UPDATE " + t + " SET name = 'x' WHERE id = 2", ODBCREADWRITE, false, Conn->Mode());
    {
        TODBC cursor(Conn->Dbc(), stmt, t, Conn->Mode());
        EXPECT_EQ(cursor.FieldCount(), 0);
        EXPECT_EQ(cursor.RecordSize(), 0);
        EXPECT_EQ(odbc::faults::CallCount("SQLExecDirect"), 0);
    }
    EXPECT_TRUE(ODBCSucceeded(ODBCExecute(stmt)));
    ODBCFreeStmt(stmt);
    EXPECT_EQ(Raw->Scalar("SELECT name FROM " + t + " WHERE id = 2"), "x");
}

TEST_P(CursorTest, TheBoundaryAnswersTheOldColumnQuestionsOnEveryDriver) {
    // psqlODBC refuses SQL_COLUMN_NAME and the SQLite driver answers
    // SQL_COLUMN_TYPE with its C type; the boundary answers both as the
    // descriptor fields and SQLDescribeCol do.
    std::string t = Table(std::string("id int, name varchar(20), memo ") + MemoType(Drv()));
    SQLHSTMT stmt = ODBCAllocStmt(Conn->Dbc());
    ODBCPrepareStmt(stmt, "SELECT id, name, memo FROM " + t, ODBCREADONLY, false, Conn->Mode());
    char name[64] = {};
    SQLSMALLINT length = 0;
    ASSERT_TRUE(ODBCSucceeded(odbc::SQLColAttribute(stmt, 2, SQL_COLUMN_NAME, name, sizeof name, &length, nullptr)));
    EXPECT_TRUE(SameText(name, "name")) << name;
    SQLLEN value = 0;
    ASSERT_TRUE(ODBCSucceeded(odbc::SQLColAttribute(stmt, 1, SQL_COLUMN_COUNT, nullptr, 0, nullptr, &value)));
    EXPECT_EQ(value, 3);
    ASSERT_TRUE(ODBCSucceeded(odbc::SQLColAttribute(stmt, 1, SQL_COLUMN_NULLABLE, nullptr, 0, nullptr, &value)));
    EXPECT_TRUE(value == SQL_NULLABLE || value == SQL_NULLABLE_UNKNOWN) << value;
    const SQLSMALLINT expected[] = {SQL_INTEGER, SQL_VARCHAR, SQL_LONGVARCHAR};
    for (SQLUSMALLINT col = 1; col <= 3; ++col) {
        SQLSMALLINT described = 0;
        ASSERT_TRUE(
            SQL_SUCCEEDED(::SQLDescribeCol(stmt, col, nullptr, 0, nullptr, &described, nullptr, nullptr, nullptr)));
        ASSERT_TRUE(ODBCSucceeded(odbc::SQLColAttribute(stmt, col, SQL_COLUMN_TYPE, nullptr, 0, nullptr, &value)));
        EXPECT_EQ(value, described) << "column " << col;
        EXPECT_EQ(value, expected[col - 1]) << "column " << col;
    }
    // psqlODBC keeps (and leaks) the description of a statement freed before
    // it ever ran.
    ODBCExecute(stmt);
    ODBCFreeStmt(stmt);
}

TEST_P(CursorTest, BigintColumnsAreEightByteIntegersAndCountIsOne) {
    std::string t = Table("id int, big bigint, name varchar(20)");
    Raw->Exec("INSERT INTO " + t + " VALUES (1, 5000000000, 'one'), (2, -9223372036854775807 - 1, 'two')");
    OpenedCursor c(*Conn, "SELECT id, big, name FROM " + t + " ORDER BY id", 5);
    ASSERT_EQ(c->Columns[1].FldType, fcInt64);
    std::vector<std::byte> rec(static_cast<std::size_t>(c->RecordSize()));
    for (std::int64_t want : {std::int64_t{5000000000}, std::int64_t{INT64_MIN}}) {
        ASSERT_EQ(c->GetNextRecord(rec.data(), false), ODBCRecOK);
        bool blank = true;
        std::int64_t big = 77;
        EXPECT_EQ(c->GetField(2, rec.data(), 0, blank, &big), 0);
        EXPECT_FALSE(blank);
        EXPECT_EQ(big, want);
    }
    const std::int64_t put = INT64_MAX;
    EXPECT_EQ(c->PutField(2, rec.data(), &put), 0);
    std::int64_t back = 0;
    bool blank = true;
    c->GetField(2, rec.data(), 0, blank, &back);
    EXPECT_EQ(back, INT64_MAX);
    if (!Drv().Traits.CountDescribedBeforeExecution) return;  // SQLite's COUNT(*) is text until it runs
    OpenedCursor agg(*Conn, "SELECT COUNT(*) AS n, MAX(id) AS m FROM " + t, 5, ODBCREADONLY);
    ASSERT_EQ(agg->Columns[0].FldType, fcInt64);
    std::vector<std::byte> arec(static_cast<std::size_t>(agg->RecordSize()));
    ASSERT_EQ(agg->GetNextRecord(arec.data(), false), ODBCRecOK);
    std::int64_t n = 0;
    ASSERT_EQ(agg->GetField(1, arec.data(), 0, blank, &n), 0);
    EXPECT_EQ(n, 2);
}

TEST_P(CursorTest, ARowTooLargeForTheRecordRaisesWhenDescribed) {
    // Each long column counts 482 bytes: seventy of them pass 32,000.
    std::string cols = "id int";
    for (int i = 0; i < 70; ++i) cols += ", m" + std::to_string(i) + " " + MemoType(Drv());
    std::string t = Table(cols);
    SQLHSTMT stmt = ODBCAllocStmt(Conn->Dbc());
    ODBCPrepareStmt(stmt, "SELECT * FROM " + t, ODBCREADONLY, false, Conn->Mode());
    try {
        TODBC c(Conn->Dbc(), stmt, t, Conn->Mode());
        ADD_FAILURE() << "described a record of " << c.RecordSize() << " bytes";
    } catch (const EODBCError& e) {
        EXPECT_NE(e.Message().find("too large for the record"), std::string::npos) << e.Message();
    }
    // The statement is still the caller's and still usable (psqlODBC keeps,
    // and leaks, the description of a statement freed before it ever ran).
    ODBCExecute(stmt);
    ODBCFreeStmt(stmt);
    OpenedCursor narrow(*Conn, "SELECT id, m0, m69 FROM " + t, 5, ODBCREADONLY);
    EXPECT_EQ(narrow->RecordSize(), 10 + 2 * 482);  // an int id held in 8 bytes
}

TEST_P(CursorTest, SlotsClaimingMoreThanTheAreaNeverReadOutsideTheRecord) {
    std::string t =
        Table("id int, s varchar(10), n numeric(12,2), tm " + TimeType(Drv()) + ", d date, last varchar(5)");
    Raw->Exec("INSERT INTO " + t + " VALUES (1, 'abc', 1.5, '10:00:00', '2024-01-02', 'z')");
    OpenedCursor c(*Conn, "SELECT id, s, n, tm, d, last FROM " + t, 5);
    std::vector<std::byte> rec(static_cast<std::size_t>(c->RecordSize()));  // no slack behind the record
    ASSERT_EQ(c->GetNextRecord(rec.data(), false), ODBCRecOK);
    // A damaged record: every slot claims the longest length a slot can hold.
    for (const auto& d : c->Columns) ODBCSetIndicator(rec.data(), d, kIndicatorMaxLength);
    std::vector<std::byte> out(70000);
    bool blank = true;
    ASSERT_EQ(c->GetField(2, rec.data(), 0, blank, out.data()), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(out.data()), "abc");
    for (int f : {1, 3, 4, 5}) {
        const int r = c->GetField(f, rec.data(), 0, blank, out.data());
        EXPECT_TRUE(r == 0 || (r == -1 && blank)) << "field " << f;
    }
    ASSERT_EQ(c->GetField(6, rec.data(), 0, blank, out.data()), 0);
    EXPECT_STREQ(reinterpret_cast<const char*>(out.data()), "z");
}

TEST_P(CursorTest, AResultDescribedOnlyAfterExecutionIsDescribedThen) {
    // A driver that knows no columns before execution: no second statement
    // runs a "SELECT * FROM" of the table; the cache describes once executed.
    std::string t = Numbered(3);
    SQLHSTMT stmt = ODBCAllocStmt(Conn->Dbc());
    ODBCPrepareStmt(stmt, "SELECT id, name FROM " + t + " ORDER BY id", ODBCREADWRITE, false, Conn->Mode());
    {
        odbc::faults::Scope scope;
        odbc::faults::Inject({"SQLNumResultCols", 1, 1, SQL_SUCCESS, {}, false, stmt});
        TODBC c(Conn->Dbc(), stmt, t, Conn->Mode());
        EXPECT_EQ(c.FieldCount(), 0);
        ODBCExecute(stmt);
        ASSERT_EQ(c.OpenCache(2, c.RecordSize(), false), SQL_SUCCESS);
        ASSERT_EQ(c.FieldCount(), 2);
        EXPECT_EQ(c.RecordSize(), 10 + c.Columns[1].Len + 2);  // an int id held in 8 bytes
        RecordBuffer buf(c);
        for (int id = 1; id <= 3; ++id) {
            ASSERT_EQ(c.GetNextRecord(buf.Data(), false), ODBCRecOK);
            EXPECT_EQ(IntField(c, buf, 1), id);
            EXPECT_EQ(TextField(c, buf, 2), "row " + std::to_string(id));
        }
        EXPECT_EQ(c.GetNextRecord(buf.Data(), false), ODBCRecEOF);
        EXPECT_EQ(odbc::faults::CallCount("SQLExecDirect"), 0);
    }
    ODBCFreeStmt(stmt);
}

// ---------------------------------------------------------------------------
// The cache and navigation.

TEST_P(CursorTest, EmptyResultAnswersEndOfDataEverywhere) {
    std::string t = Numbered(0);
    SQLHSTMT stmt = ODBCAllocStmt(Conn->Dbc());
    ODBCPrepareStmt(stmt, "SELECT * FROM " + t, ODBCREADWRITE, false, Conn->Mode());
    {
        TODBC c(Conn->Dbc(), stmt, t, Conn->Mode());
        ODBCExecute(stmt);
        EXPECT_EQ(c.OpenCache(5, c.RecordSize(), false), SQL_NO_DATA);
        EXPECT_EQ(c.RowCount, 0);
        EXPECT_EQ(c.EndRow, 0);
        EXPECT_EQ(c.BlockPos, 0);
        RecordBuffer buf(c);
        EXPECT_EQ(c.GetNextRecord(buf.Data(), false), ODBCRecEOF);
        // Repeated current-record calls at a block start stay inside the cache.
        EXPECT_EQ(c.GetCurrentRecord(buf.Data()), ODBCRecEOF);
        EXPECT_EQ(c.GetCurrentRecord(buf.Data()), ODBCRecEOF);
        EXPECT_EQ(c.GetPriorRecord(buf.Data()), ODBCRecBOF);
        EXPECT_EQ(c.GetCurrentRecord(buf.Data()), ODBCRecEOF);
        EXPECT_EQ(c.GetRecordCount(false), 0);
        c.SetToEnd();
        EXPECT_EQ(c.GetPriorRecord(buf.Data()), ODBCRecBOF);
    }
    ODBCFreeStmt(stmt);
}

TEST_P(CursorTest, ResultOfExactlyOneBlock) {
    std::string t = Numbered(5);
    OpenedCursor c(*Conn, "SELECT id, name FROM " + t + " ORDER BY id", 5);
    RecordBuffer buf(*c);
    for (int i = 1; i <= 5; ++i) {
        ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
        EXPECT_EQ(IntField(*c, buf, 1), i);
    }
    EXPECT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecEOF);
    EXPECT_EQ(c->EndRow, 5);
    EXPECT_EQ(c->BlockNo, 1);
    EXPECT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecEOF);
    // The current row is still the last one, fetched back into the cache.
    ASSERT_EQ(c->GetCurrentRecord(buf.Data()), ODBCRecOK);
    EXPECT_EQ(IntField(*c, buf, 1), 5);
    EXPECT_EQ(c->BlockNo, 0);
    ASSERT_EQ(c->GetPriorRecord(buf.Data()), ODBCRecOK);
    EXPECT_EQ(IntField(*c, buf, 1), 4);
}

TEST_P(CursorTest, SetToEndOnTenRowsWithFivePerBlock) {
    std::string t = Numbered(10);
    OpenedCursor c(*Conn, "SELECT id, name FROM " + t + " ORDER BY id", 5);
    c->SetToEnd();
    EXPECT_EQ(c->BlockNo, 2);
    EXPECT_EQ(c->BlockPos, 0);
    RecordBuffer buf(*c);
    EXPECT_EQ(c->GetCurrentRecord(buf.Data()), ODBCRecEOF);  // one past the last row
    c->SetToEnd();
    ASSERT_EQ(c->GetPriorRecord(buf.Data()), ODBCRecOK);
    EXPECT_EQ(c->BlockNo, 1);
    EXPECT_EQ(IntField(*c, buf, 1), 10);
    EXPECT_EQ(TextField(*c, buf, 2), "row 10");
}

TEST_P(CursorTest, CountingKeepsThePositionAndTheCache) {
    std::string t = Numbered(12);
    OpenedCursor c(*Conn, "SELECT id, name FROM " + t + " ORDER BY id", 5);
    RecordBuffer buf(*c);
    for (int i = 0; i < 8; ++i) ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
    const std::vector<std::byte> cache = c->RowCache;
    const auto block = c->BlockNo;
    const auto pos = c->BlockPos;
    const std::int32_t count = c->GetRecordCount(false);
    if (Scrolls(*Conn)) {
        EXPECT_EQ(count, 12);
    } else {
        EXPECT_EQ(count, -1);  // a forward-only cursor answers only a known count
    }
    EXPECT_EQ(c->RowCache, cache);
    EXPECT_EQ(c->BlockNo, block);
    EXPECT_EQ(c->BlockPos, pos);
    ASSERT_EQ(c->GetCurrentRecord(buf.Data()), ODBCRecOK);
    EXPECT_EQ(IntField(*c, buf, 1), 8);
    for (int i = 9; i <= 12; ++i) {
        ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
        EXPECT_EQ(IntField(*c, buf, 1), i);
    }
    EXPECT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecEOF);
    EXPECT_EQ(c->GetRecordCount(true), 12);  // now known on every road
}

TEST_P(CursorTest, NavigationMatchesTheTableRowByRow) {
    std::string t = Numbered(23);
    std::vector<Row> expected = Raw->Query("SELECT id, name FROM " + t + " ORDER BY id");
    ASSERT_EQ(expected.size(), 23u);
    for (int rows : {1, 5, 7, 23, 50}) {
        SCOPED_TRACE("RowsPerBlock " + std::to_string(rows));
        OpenedCursor c(*Conn, "SELECT id, name FROM " + t + " ORDER BY id", rows);
        RecordBuffer buf(*c);
        auto check = [&](std::size_t row) {
            EXPECT_EQ(std::to_string(IntField(*c, buf, 1)), *expected[row][0]);
            EXPECT_EQ(TextField(*c, buf, 2), *expected[row][1]);
            std::int32_t bm = -99;
            c->GetBookmark(&bm);
            EXPECT_EQ(bm, static_cast<std::int32_t>(row));
        };
        for (std::size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
            check(i);
        }
        EXPECT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecEOF);
        c->SetToEnd();
        for (std::size_t i = expected.size(); i-- > 0;) {
            ASSERT_EQ(c->GetPriorRecord(buf.Data()), ODBCRecOK);
            check(i);
        }
        EXPECT_EQ(c->GetPriorRecord(buf.Data()), ODBCRecBOF);
        ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
        check(0);

        // A random walk, repositioning on the current row before each move as
        // the dataset does, compared with the model.
        std::mt19937 rng(static_cast<unsigned>(rows));
        std::int32_t current = 0;
        for (int step = 0; step < 150; ++step) {
            const int op = static_cast<int>(rng() % 5);
            if (op == 0) {  // next
                c->SetToBookmark(&current);
                int r = c->GetNextRecord(buf.Data(), false);
                if (current + 1 < 23) {
                    ASSERT_EQ(r, ODBCRecOK);
                    check(static_cast<std::size_t>(++current));
                } else {
                    EXPECT_EQ(r, ODBCRecEOF);
                }
            } else if (op == 1) {  // prior
                c->SetToBookmark(&current);
                int r = c->GetPriorRecord(buf.Data());
                if (current > 0) {
                    ASSERT_EQ(r, ODBCRecOK);
                    check(static_cast<std::size_t>(--current));
                } else {
                    EXPECT_EQ(r, ODBCRecBOF);
                }
            } else if (op == 2) {  // first
                c->SetToBegin(false);
                ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
                check(static_cast<std::size_t>(current = 0));
            } else if (op == 3) {  // last
                c->SetToEnd();
                ASSERT_EQ(c->GetPriorRecord(buf.Data()), ODBCRecOK);
                check(static_cast<std::size_t>(current = 22));
            } else {  // go to a bookmark
                current = static_cast<std::int32_t>(rng() % 23);
                c->SetToBookmark(&current);
                ASSERT_EQ(c->GetCurrentRecord(buf.Data()), ODBCRecOK);
                check(static_cast<std::size_t>(current));
            }
        }
    }
}

TEST_P(CursorTest, NavigationWithoutACacheAnswersBeginOrEnd) {
    // The state a failed re-execution leaves: no row is ever copied.
    std::string t = Numbered(3);
    OpenedCursor c(*Conn, "SELECT id FROM " + t, 2);
    c->BlockPos = -2;
    c->BlockNo = -1;
    c->RowCount = -1;
    c->EndRow = -2;
    RecordBuffer buf(*c);
    EXPECT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecEOF);
    EXPECT_EQ(c->GetPriorRecord(buf.Data()), ODBCRecBOF);
    EXPECT_EQ(c->GetCurrentRecord(buf.Data()), ODBCRecEOF);
}

TEST_P(CursorTest, UniDirectionalReadsForwardOnly) {
    std::string t = Numbered(12);
    OpenedCursor c(*Conn, "SELECT id FROM " + t + " ORDER BY id", 5, ODBCREADONLY, true);
    RecordBuffer buf(*c);
    for (int i = 1; i <= 6; ++i) {
        ASSERT_EQ(c->GetNextRecord(buf.Data(), true), ODBCRecOK);
        EXPECT_EQ(IntField(*c, buf, 1), i);
    }
    // Counting would consume the rows not yet delivered: unknown instead.
    EXPECT_EQ(c->GetRecordCount(false), -1);
    EXPECT_THROW(
        {
            try {
                c->SetToBegin(true);
            } catch (const EODBCError& e) {
                EXPECT_EQ(e.Message(), "Cannot go back to First Row whenUnidirectional is set to True");
                throw;
            }
        },
        EODBCError);
    for (int i = 7; i <= 12; ++i) {
        ASSERT_EQ(c->GetNextRecord(buf.Data(), true), ODBCRecOK);
        EXPECT_EQ(IntField(*c, buf, 1), i);
    }
    EXPECT_EQ(c->GetNextRecord(buf.Data(), true), ODBCRecEOF);
    EXPECT_EQ(c->GetRecordCount(false), 12);
}

TEST_P(CursorTest, UniDirectionalLastReadsForwardToTheEnd) {
    std::string t = Numbered(13);
    OpenedCursor c(*Conn, "SELECT id FROM " + t + " ORDER BY id", 5, ODBCREADONLY, true);
    c->SetToEnd();
    EXPECT_EQ(c->RowCount, 13);
    RecordBuffer buf(*c);
    ASSERT_EQ(c->GetPriorRecord(buf.Data()), ODBCRecOK);
    EXPECT_EQ(IntField(*c, buf, 1), 13);
}

TEST_P(CursorTest, ForwardOnlyConnectionStillDeliversTheRightRows) {
    // A connection offering neither keyset nor static scrolling.
    odbc::faults::Scope scope;
    odbc::faults::OverrideInfo(SQL_KEYSET_CURSOR_ATTRIBUTES1, 0);
    odbc::faults::OverrideInfo(SQL_STATIC_CURSOR_ATTRIBUTES1, 0);
    EngineConnection fwd(Drv());
    ASSERT_EQ(fwd.Mode(), cmForwardOnly);
    std::string t = Numbered(11);
    OpenedCursor c(fwd, "SELECT id FROM " + t + " ORDER BY id", 4);
    RecordBuffer buf(*c);
    for (int i = 1; i <= 11; ++i) {
        ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
        EXPECT_EQ(IntField(*c, buf, 1), i);
    }
    EXPECT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecEOF);
    // Going back reads the result again from its start.
    c->SetToEnd();
    for (int i = 11; i >= 1; --i) {
        ASSERT_EQ(c->GetPriorRecord(buf.Data()), ODBCRecOK);
        EXPECT_EQ(IntField(*c, buf, 1), i);
    }
    std::int32_t bm = 6;
    c->SetToBookmark(&bm);
    ASSERT_EQ(c->GetCurrentRecord(buf.Data()), ODBCRecOK);
    EXPECT_EQ(IntField(*c, buf, 1), 7);
}

// ---------------------------------------------------------------------------
// Rowset fetches: a forward-only cursor brings a block with one driver call.

int DriverFetches() { return odbc::faults::CallCount("SQLFetchScroll") + odbc::faults::CallCount("SQLFetch"); }

TEST_P(CursorTest, ScansFetchAWholeBlockAtOnceForwardOnlyAndBothWaysScrollable) {
    for (bool uni : {true, false})
        for (int n : {0, 1, 19, 20, 21, 45}) {
            std::string t = Numbered(n);
            odbc::faults::Scope counting;
            OpenedCursor c(*Conn, "SELECT id, name FROM " + t + " ORDER BY id", 10, ODBCREADONLY, uni);
            RecordBuffer buf(*c);
            auto expectRow = [&](int id) {
                ASSERT_EQ(IntField(*c, buf, 1), id) << n << (uni ? " uni" : "");
                ASSERT_EQ(TextField(*c, buf, 2), "row " + std::to_string(id));
            };
            for (int id = 1; id <= n; ++id) {
                ASSERT_EQ(c->GetNextRecord(buf.Data(), uni), ODBCRecOK) << n;
                expectRow(id);
            }
            EXPECT_EQ(c->GetNextRecord(buf.Data(), uni), ODBCRecEOF) << n;
            if (uni) {
                EXPECT_EQ(c->GetRecordCount(false), n);
                EXPECT_LE(DriverFetches(), n / 10 + 1) << n << " rows";
                continue;
            }
            c->SetToEnd();
            for (int id = n; id >= 1; --id) {
                ASSERT_EQ(c->GetPriorRecord(buf.Data()), ODBCRecOK) << n;
                expectRow(id);
            }
            EXPECT_EQ(c->GetPriorRecord(buf.Data()), ODBCRecBOF) << n;
            EXPECT_LE(DriverFetches(), 2 * (n / 10 + 1)) << n << " rows, both ways";
        }
}

// The cache's slots are the rows the driver fetches rowsets into; running
// the statement again lays them out as opening did (a slot that grew with
// each requery would waste memory and shift every rowset).
TEST_P(CursorTest, RequeryingLaysTheCacheOutAsOpeningDid) {
    std::string t = Numbered(12);
    OpenedCursor c(*Conn, "SELECT id, name FROM " + t + " ORDER BY id", 5);
    const std::int32_t slot = c->RowSize;
    EXPECT_GE(slot, c->RecordSize());
    for (int again = 0; again < 2; ++again) {
        c->Requery("", false);
        EXPECT_EQ(c->RowSize, slot);
        EXPECT_EQ(c->CacheSize, 5 * slot);
        RecordBuffer buf(*c);
        for (int id = 1; id <= 12; ++id) {
            ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
            EXPECT_EQ(IntField(*c, buf, 1), id);
            EXPECT_EQ(TextField(*c, buf, 2), "row " + std::to_string(id));
        }
    }
}

TEST_P(CursorTest, ARowFailingInsideARowsetRaisesAndTheRowsBeforeItAreKept) {
    for (bool uni : {true, false}) {
        std::string t = Numbered(12);
        OpenedCursor c(*Conn, "SELECT id FROM " + t + " ORDER BY id", 5, ODBCREADONLY, uni);
        RecordBuffer buf(*c);
        for (int i = 1; i <= 5; ++i) ASSERT_EQ(c->GetNextRecord(buf.Data(), uni), ODBCRecOK);
        odbc::faults::Scope scope;
        odbc::faults::Inject(
            {"SQLFetchScroll", 1, 1, SQL_SUCCESS_WITH_INFO, {{"22003", 0, "injected row failure"}}, true, c.Stmt()});
        odbc::faults::FailFetchedRows(c.Stmt(), {2});  // the block's third row, id 8
        try {
            c->GetNextRecord(buf.Data(), uni);
            FAIL() << "the failed row was not raised";
        } catch (const EODBCError& e) {
            EXPECT_EQ(e.SQLState, "22003");
        }
        EXPECT_EQ(DriverFetches(), 1) << "one fetch brought the block";
        std::memcpy(buf.Data(), c->CacheSlot(1), static_cast<std::size_t>(c->RecordSize()));
        EXPECT_EQ(IntField(*c, buf, 1), 7);
    }
}

TEST_P(CursorTest, AnInsertAfterARowsetFetchAddsOneRowOrIsRefused) {
    std::string t = Numbered(12);
    OpenedCursor c(*Conn, "SELECT id, name FROM " + t + " ORDER BY id", 5, ODBCREADWRITE, true, t);
    RecordBuffer buf(*c);
    for (int i = 1; i <= 7; ++i) ASSERT_EQ(c->GetNextRecord(buf.Data(), true), ODBCRecOK);
    std::vector<std::byte> rec(static_cast<std::size_t>(c->RecordSize()));
    c->InitRecord(rec.data());
    const std::int32_t id = 100;
    c->PutField(1, rec.data(), &id);
    c->PutField(2, rec.data(), "new");
    bool added = true;
    try {
        c->InsertRecord(rec.data());
    } catch (const EODBCError&) {
        added = false;  // a forward-only statement may refuse to add rows
    }
    EXPECT_EQ(Raw->Scalar("SELECT count(*) FROM " + t), added ? "13" : "12");
    // The scan goes on where it stood.
    for (int i = 8; i <= 12; ++i) {
        ASSERT_EQ(c->GetNextRecord(buf.Data(), true), ODBCRecOK);
        EXPECT_EQ(IntField(*c, buf, 1), i);
    }
}

TEST_P(CursorTest, TextBeyondItsBufferInARowsetIsReadWholeOneRowAFetch) {
    VELORA_REQUIRE_TRAIT(Drv(), test::Need::TextBeyondDeclaredSize);
    std::string t = Numbered(12);
    const std::string whole(200, 'w');  // beyond the buffer of a varchar(20), whatever the encoding
    Raw->Exec("UPDATE " + t + " SET name = '" + whole + "' WHERE id = 8");
    for (bool uni : {true, false}) {
        odbc::faults::Scope counting;
        OpenedCursor c(*Conn, "SELECT id, name FROM " + t + " ORDER BY id", 5, ODBCREADONLY, uni);
        EXPECT_EQ(DriverFetches(), 1);
        RecordBuffer buf(*c);
        for (int id = 1; id <= 12; ++id) {
            ASSERT_EQ(c->GetNextRecord(buf.Data(), uni), ODBCRecOK);
            buf.SetBookmark(id - 1);
            ASSERT_EQ(IntField(*c, buf, 1), id);
            String text;
            if (id == 8) {
                EXPECT_TRUE(c->GetOverflowText(2, buf.Data(), buf.BookmarkOffset, text));
                EXPECT_EQ(text, whole);
            } else {
                EXPECT_FALSE(c->GetOverflowText(2, buf.Data(), buf.BookmarkOffset, text));
                EXPECT_EQ(TextField(*c, buf, 2), "row " + std::to_string(id));
            }
        }
        EXPECT_EQ(c->GetNextRecord(buf.Data(), uni), ODBCRecEOF);
        // The block holding the long text was read one row a fetch: from the
        // start again on a forward-only cursor, in place on a scrollable one.
        EXPECT_EQ(odbc::faults::CallCount("SQLExecute"), uni ? 2 : 1);
    }
}

// ---------------------------------------------------------------------------
// Field values.

TEST_P(CursorTest, ValuesRoundTripThroughFieldsAndBackIntoTheDataSource) {
    // psqlODBC (MaxVarcharSize 255) and the SQLite driver describe longer
    // varchar columns as long data; there the long strings go through the
    // memo column m, which every driver has.
    const int width = Drv().Traits.WideVarcharIsBound ? 1000 : 255;
    const std::string cols = "id int, s varchar(" + std::to_string(width) + "), n numeric(12,2), f " +
                             std::string(Drv().Traits.DoubleType) + ", si smallint, i int, b " + BooleanType(Drv()) +
                             ", ts " + TimeStampType(Drv()) + ", d date, tm " + TimeType(Drv()) + ", m " +
                             MemoType(Drv());
    std::string t = Table(cols);
    std::string copy = Table(cols);
    auto fit = [&](std::string v) { return v.substr(0, static_cast<std::size_t>(width)); };
    const std::string s255(255, 'a'), s256 = std::string(255, 'b') + "c", s1000(1000, 'z');
    const std::string T = Drv().Traits.TrueLiteral, F = Drv().Traits.FalseLiteral;
    Raw->Exec("INSERT INTO " + t + " VALUES (1, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL)");
    Raw->Exec("INSERT INTO " + t + " VALUES (2, '', 0, 0, 0, 0, " + F +
              ", '1800-01-01 10:00:00.123', '1899-12-29', '00:00:00', '')");
    Raw->Exec("INSERT INTO " + t + " VALUES (3, '" + s255 + "', -1234567890.12, -2.5, -32768, -2147483647, " + T +
              ", '2024-03-15 13:45:30.789', '2024-02-29', '23:59:59.999', '" + s255 + "')");
    Raw->Exec("INSERT INTO " + t + " VALUES (4, '" + fit(s256) + "', 0.05, 1e300, 32767, 2147483647, " + T +
              ", '1000-01-01 00:00:00', '9999-12-31', '12:00:01', '" + s256 + "')");
    Raw->Exec("INSERT INTO " + t + " VALUES (5, '" + fit(s1000) + "', -0.01, 0.1, 1, 1, " + F +
              ", '1899-12-30 00:00:00', '1899-12-30', '00:00:00.001', '" + s1000 + "')");

    OpenedCursor c(*Conn, "SELECT * FROM " + t + " ORDER BY id", 2);
    ASSERT_EQ(c->FieldCount(), 11);
    ASSERT_EQ(c->Columns[1].FldType, fcString);
    ASSERT_EQ(c->Columns[10].FldType, fcBlob);
    RecordBuffer buf(*c);

    struct Expect {
        std::string S;
        double N, F;
        int SI, I, B;
        double TS, D, TM;
        std::string M;
    };
    const double midnight = MSecs(1899, 12, 30);
    std::vector<Expect> want = {
        {},
        {"", 0, 0, 0, 0, 0, MSecs(1800, 1, 1, 10, 0, 0, 123), MSecs(1899, 12, 29), midnight, ""},
        {s255, -1234567890.12, -2.5, -32768, -2147483647, 1, MSecs(2024, 3, 15, 13, 45, 30, 789), MSecs(2024, 2, 29),
         MSecs(1899, 12, 30, 23, 59, 59, 999), s255},
        {fit(s256), 0.05, 1e300, 32767, 2147483647, 1, MSecs(1000, 1, 1), MSecs(9999, 12, 31),
         MSecs(1899, 12, 30, 12, 0, 1), s256},
        {fit(s1000), -0.01, 0.1, 1, 1, 0, midnight, midnight, MSecs(1899, 12, 30, 0, 0, 0, 1), s1000},
    };

    // The copy is written from the records PutField fills: the first ten
    // columns from the record, the memo from a reference placed behind it.
    SQLHSTMT ins = ODBCAllocStmt(Conn->Dbc());
    ODBCPrepareStmt(ins, "INSERT INTO " + copy + " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)", ODBCREADWRITE, false,
                    Conn->Mode());
    std::vector<TODBCFldDesc> params = c->Columns;
    for (std::size_t k = 0; k < params.size(); ++k) params[k].FieldNo = static_cast<std::uint16_t>(k + 1);
    const auto memoAt = static_cast<std::uint16_t>(c->RecordSize() + 8);
    params[10].Offset = memoAt;
    params[10].NullOffset = 0;  // no slot: the reference is the value
    std::vector<std::byte> put(static_cast<std::size_t>(memoAt) + sizeof(TODBCBlobRef));

    for (int row = 0; row < 5; ++row) {
        SCOPED_TRACE("row " + std::to_string(row + 1));
        ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
        c->InitRecord(put.data());
        for (int f = 1; f <= 10; ++f) {
            bool blank = false;
            std::vector<std::byte> value(1100);
            ASSERT_EQ(c->GetField(f, buf.Data(), buf.BookmarkOffset, blank, value.data()), 0) << "field " << f;
            // Every value the record holds goes back in through PutField.
            ASSERT_EQ(c->PutField(f, put.data(), blank ? nullptr : value.data()), 0);
            bool blank2 = false;
            std::vector<std::byte> value2(1100);
            ASSERT_EQ(c->GetField(f, put.data(), 0, blank2, value2.data()), 0);
            EXPECT_EQ(blank2, blank) << "field " << f;
            if (row == 0) {
                EXPECT_EQ(blank, f != 1) << "field " << f;
                continue;
            }
            ASSERT_FALSE(blank) << "field " << f;
            const Expect& w = want[static_cast<std::size_t>(row)];
            auto dbl = [&](const std::vector<std::byte>& v) {
                double d;
                std::memcpy(&d, v.data(), 8);
                return d;
            };
            auto i16 = [&](const std::vector<std::byte>& v) {
                std::int16_t d;
                std::memcpy(&d, v.data(), 2);
                return int(d);
            };
            auto i32 = [&](const std::vector<std::byte>& v) {
                std::int32_t d;
                std::memcpy(&d, v.data(), 4);
                return int(d);
            };
            switch (f) {
                case 1:
                    EXPECT_EQ(i32(value), row + 1);
                    break;
                case 2:
                    EXPECT_EQ(std::string(reinterpret_cast<const char*>(value.data())), w.S);
                    EXPECT_EQ(std::string(reinterpret_cast<const char*>(value2.data())), w.S);
                    break;
                case 3:
                    EXPECT_EQ(dbl(value), w.N);
                    EXPECT_EQ(dbl(value2), w.N);
                    break;
                case 4:
                    EXPECT_EQ(dbl(value), w.F);
                    break;
                case 5:
                    EXPECT_EQ(i16(value), w.SI);
                    break;
                case 6:
                    EXPECT_EQ(i32(value), w.I);
                    break;
                case 7:
                    EXPECT_EQ(std::to_integer<int>(value[0]) != 0, w.B != 0);
                    break;
                case 8:
                    EXPECT_EQ(dbl(value), w.TS);
                    EXPECT_EQ(dbl(value2), w.TS);
                    break;
                case 9:  // dates: a day count
                    EXPECT_EQ(i32(value), static_cast<int>(w.D / MSecsPerDay));
                    EXPECT_EQ(i32(value2), static_cast<int>(w.D / MSecsPerDay));
                    break;
                case 10:  // times: milliseconds of the day
                    EXPECT_EQ(i32(value), static_cast<int>(w.TM - midnight));
                    EXPECT_EQ(i32(value2), static_cast<int>(w.TM - midnight));
                    break;
            }
        }
        // The memo: its size and text through the long-data calls.
        std::string memo = want[static_cast<std::size_t>(row)].M;
        if (Scrolls(*Conn)) {
            std::int32_t bm = row, size = -1, count = 0;
            buf.SetBookmark(bm);
            c->GetBlobSize(buf.Data(), buf.BookmarkOffset, size, 11);
            EXPECT_EQ(size, row == 0 ? 0 : static_cast<std::int32_t>(memo.size()) + 1);
            std::string text(static_cast<std::size_t>(std::max(size, 1)), '?');
            if (size > 0) {
                EXPECT_EQ(c->ReadBlob(&bm, 11, 0, size, text.data(), count), 7);
                EXPECT_EQ(text, memo + '\0');
            }
        }
        TODBCBlobRef ref{memo.data(), static_cast<std::int32_t>(memo.size())};
        std::memcpy(put.data() + memoAt, &ref, sizeof ref);
        std::vector<SQLLEN> indicators(params.size(), 0);
        if (row == 0) indicators[10] = SQL_NULL_DATA;
        ODBCBindParams(ins, static_cast<int>(params.size()), params.data(), put.data(), &*c, indicators.data());
        ODBCExecute(ins);
    }
    ODBCFreeStmt(ins);
    // The SQLite driver keeps dates and times as the text it was given:
    // compare them as instants there.
    const std::string select = Drv().Traits.KeepsDateTimeText
                                   ? "SELECT id, s, n, f, si, i, b, julianday(ts), julianday(d), tm, m FROM "
                                   : "SELECT id, s, n, f, si, i, b, ts, d, tm, m FROM ";
    EXPECT_EQ(Raw->Query(select + copy + " ORDER BY id"), Raw->Query(select + t + " ORDER BY id"));
}

TEST_P(CursorTest, DecimalsReadAsTheDoubleOfTheirText) {
    VELORA_REQUIRE_TRAIT(Drv(), test::Need::ExactDecimals);
    // Random values of up to 18 digits and 6 decimals, so that both the
    // plain reading (15 digits) and the general one are taken.
    std::string t = Table("id int, n numeric(18,6)");
    std::mt19937_64 rng(11);
    std::string sql = "INSERT INTO " + t + " VALUES (0, -0.000001), (1, 999999999999.999999), (2, 0)";
    for (int i = 3; i < 300; ++i) {
        const int intDigits = static_cast<int>(rng() % 13), fracDigits = static_cast<int>(rng() % 7);
        std::string text = rng() % 2 ? "-" : "";
        for (int k = 0; k < intDigits; ++k) text += static_cast<char>('0' + rng() % 10);
        if (intDigits == 0) text += '0';
        if (fracDigits > 0) text += '.';
        for (int k = 0; k < fracDigits; ++k) text += static_cast<char>('0' + rng() % 10);
        sql += ", (" + std::to_string(i) + ", " + text + ")";
    }
    Raw->Exec(sql);
    std::vector<Row> expected = Raw->Query("SELECT id, n FROM " + t + " ORDER BY id");
    OpenedCursor c(*Conn, "SELECT id, n FROM " + t + " ORDER BY id", 20, ODBCREADONLY);
    ASSERT_EQ(c->Columns[1].CType, SQL_C_CHAR);
    std::vector<std::byte> rec(static_cast<std::size_t>(c->RecordSize()));
    for (const Row& row : expected) {
        ASSERT_EQ(c->GetNextRecord(rec.data(), false), ODBCRecOK);
        bool blank = true;
        double v = 0;
        ASSERT_EQ(c->GetField(2, rec.data(), 0, blank, &v), 0) << *row[1];
        EXPECT_EQ(v, std::strtod(row[1]->c_str(), nullptr)) << *row[1];
    }
    EXPECT_EQ(c->GetNextRecord(rec.data(), false), ODBCRecEOF);
}

// Decimal text reads as the number the text says (the run-time library's
// reading), as blank when it holds only blanks, and is refused otherwise;
// asking only whether there is a value answers the same.
TEST_P(CursorTest, DecimalTextReadsAsItsNumberAndIsNullAgrees) {
    std::string t = Table("id int, n numeric(38,10)");
    Raw->Exec("INSERT INTO " + t + " VALUES (1, 1.5)");
    OpenedCursor c(*Conn, "SELECT id, n FROM " + t, 5, ODBCREADONLY);
    const TODBCFldDesc& d = c->Columns[1];
    VELORA_REQUIRE_TRAIT(Drv(), test::Need::DecimalsReadAsText);
    ASSERT_EQ(d.CType, SQL_C_CHAR) << "the trait DecimalsReadAsText is measured wrong";
    RecordBuffer buf(*c);
    ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
    for (const std::string text : {"-12.5", "-0", ".5", " 12.5 ", "+3", "1.5E-3", "9007199254740993", " ", "", "NaN",
                                   "inf", "1e400", "1,5", "1e"}) {
        std::memcpy(static_cast<std::byte*>(buf.Data()) + d.Offset, text.data(), text.size());
        ODBCSetIndicator(buf.Data(), d, static_cast<std::int32_t>(text.size()));
        const double untouched = 42;
        double want = 0, got = untouched;
        const bool number = TryStrToFloat(text, want);
        bool blank = false, onlyBlank = false;
        const int rc = c->GetField(2, buf.Data(), buf.BookmarkOffset, blank, &got);
        EXPECT_EQ(c->GetField(2, buf.Data(), buf.BookmarkOffset, onlyBlank, nullptr), rc) << text;
        EXPECT_EQ(onlyBlank, blank) << text;
        EXPECT_EQ(blank, !number) << text;
        EXPECT_EQ(rc, number || Trim(text).empty() ? 0 : -1) << text;
        EXPECT_EQ(std::memcmp(&got, number ? &want : &untouched, sizeof got), 0) << text;  // -0 too
    }
}

TEST_P(CursorTest, ConversionFailuresAreNeverDeliveredAsValues) {
    std::string t = Table("id int, s varchar(10)");
    Raw->Exec("INSERT INTO " + t + " VALUES (1, 'abc')");
    OpenedCursor c(*Conn, "SELECT id, s FROM " + t, 5);
    RecordBuffer buf(*c);
    ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
    bool blank = false;
    std::int32_t v = 0;
    EXPECT_EQ(c->GetField(0, buf.Data(), buf.BookmarkOffset, blank, &v), -1);
    EXPECT_TRUE(blank);
    EXPECT_EQ(c->GetField(3, buf.Data(), buf.BookmarkOffset, blank, &v), -1);
    EXPECT_TRUE(blank);
    // The buffer holds ten characters of any width; an eleventh is refused
    // before anything is stored, never cut.
    std::string accents;
    for (int i = 0; i < 10; ++i) accents += "\xC3\xA9";
    ASSERT_EQ(c->PutField(2, buf.Data(), accents.c_str()), 0);
    EXPECT_EQ(TextField(*c, buf, 2), accents);
    const std::string longer = accents + "\xC3\xA9";
    try {
        c->PutField(2, buf.Data(), longer.c_str());
        ADD_FAILURE() << "an over-long value was taken";
    } catch (const EDatabaseError& e) {
        EXPECT_EQ(e.Message(), "Value of 11 characters is too long for field 's' of size 10");
    }
    EXPECT_EQ(TextField(*c, buf, 2), accents);
    // A cleared field is NULL, with nothing read from the source.
    ASSERT_EQ(c->PutField(2, buf.Data(), nullptr), 0);
    EXPECT_EQ(TextField(*c, buf, 2), "<null>");
}

TEST_P(CursorTest, NumericTextThatIsNoNumberReadsAsNoValue) {
    VELORA_REQUIRE_TRAIT(Drv(), test::Need::NumericNaN);
    OpenedCursor c(*Conn, "SELECT CAST('NaN' AS numeric(12,2)) AS n, CAST('12.5' AS numeric(12,2)) AS m", 5,
                   ODBCREADONLY);
    RecordBuffer buf(*c);
    ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
    bool blank = false;
    double v = 42;
    EXPECT_EQ(c->GetField(1, buf.Data(), buf.BookmarkOffset, blank, &v), -1);
    EXPECT_TRUE(blank);
    EXPECT_EQ(v, 42);
    EXPECT_EQ(c->GetField(2, buf.Data(), buf.BookmarkOffset, blank, &v), 0);
    EXPECT_FALSE(blank);
    EXPECT_EQ(v, 12.5);
}

TEST_P(CursorTest, DeletedRowMappingStaysRightBeyondSixteenBits) {
    std::string t = Numbered(1);
    OpenedCursor c(*Conn, "SELECT id FROM " + t, 1);
    // Positions 3 then 5 (1-based, as the cursor numbers them when deleting).
    c->AddDeletedRow(3);
    c->AddDeletedRow(5);
    EXPECT_EQ(c->MapRowNumber(2), 2);
    EXPECT_EQ(c->MapRowNumber(3), 4);
    EXPECT_EQ(c->MapRowNumber(4), 5);
    EXPECT_EQ(c->MapRowNumber(5), 7);
    // Against a model over many deletions in random order, far beyond 4,096
    // entries and row 32,767.
    c->DeletedRows.clear();
    std::vector<char> deleted(200001, 0);  // physical rows 1..200000
    std::mt19937 rng(7);
    auto modelMap = [&](std::int32_t n) {  // the n-th row not deleted
        std::int32_t seen = 0;
        for (std::int32_t row = 1; row < static_cast<std::int32_t>(deleted.size()); ++row)
            if (!deleted[static_cast<std::size_t>(row)] && ++seen == n) return row;
        return -1;
    };
    std::int32_t alive = 200000;
    for (int k = 0; k < 6000; ++k) {
        std::int32_t n = static_cast<std::int32_t>(rng() % static_cast<unsigned>(alive)) + 1;
        std::int32_t row = c->MapRowNumber(n);
        if (k % 500 == 0) {
            ASSERT_EQ(row, modelMap(n)) << "deletion " << k;
        }
        deleted[static_cast<std::size_t>(row)] = 1;
        c->AddDeletedRow(n);
        --alive;
    }
    for (std::int32_t n : {1, 2, 4096, 32767, 32768, 65536, 100000, alive})
        EXPECT_EQ(c->MapRowNumber(n), modelMap(n)) << n;
}

TEST_P(CursorTest, AJumpOutsideTheCacheFetchesTheTargetRowAloneAndTheBlockFillsAsNavigationReachesIt) {
    std::string t = Numbered(45);
    OpenedCursor c(*Conn, "SELECT id FROM " + t + " ORDER BY id", 10);
    RecordBuffer buf(*c);
    ASSERT_TRUE(Scrolls(*Conn)) << "every test driver scrolls (its keyset cursors or our cursor library)";
    odbc::faults::Scope counting;
    int seen = 0;
    auto fetches = [&] {  // driver fetches since the last call
        const int now = odbc::faults::CallCount("SQLFetchScroll") + odbc::faults::CallCount("SQLFetch");
        const int added = now - seen;
        seen = now;
        return added;
    };
    auto at = [&](std::int32_t row) {
        c->SetToBookmark(&row);
        EXPECT_EQ(c->GetCurrentRecord(buf.Data()), ODBCRecOK);
        return IntField(*c, buf, 1);
    };
    auto step = [&](bool next) {
        EXPECT_EQ(next ? c->GetNextRecord(buf.Data(), false) : c->GetPriorRecord(buf.Data()), ODBCRecOK);
        return IntField(*c, buf, 1);
    };
    EXPECT_EQ(at(36), 37);  // row 36 (from 0) lies in block 3, outside the cache
    EXPECT_EQ(fetches(), 1);
    EXPECT_EQ(step(true), 38);
    EXPECT_EQ(step(false), 37);
    EXPECT_EQ(step(false), 36);
    EXPECT_EQ(fetches(), 2);  // rows 37 and 35, each alone; row 36 was in the cache
    EXPECT_EQ(at(37), 38);
    EXPECT_EQ(fetches(), 0);
    // The end of data met by Next in a block filled in part.
    EXPECT_EQ(at(43), 44);
    EXPECT_EQ(step(true), 45);
    EXPECT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecEOF);
    EXPECT_EQ(c->RowCount, 45);
    EXPECT_EQ(fetches(), 3);
    std::int32_t beyond = 52;  // no such row: its block is fetched to learn the end
    c->SetToBookmark(&beyond);
    EXPECT_EQ(c->GetCurrentRecord(buf.Data()), ODBCRecEOF);
    EXPECT_EQ(fetches(), 2);
    // Crossing into a block that is not cached brings it whole.
    EXPECT_EQ(at(38), 39);
    EXPECT_EQ(step(true), 40);
    EXPECT_EQ(step(true), 41);
    EXPECT_EQ(fetches(), 2 + 1);  // rows 38 and 39 alone, then rows 40..44 and the end in one rowset
    // A scan of all rows: one fetch a row and one for the end at most.
    c->SetToBegin(false);
    for (int id = 1; id <= 45; ++id) ASSERT_EQ(step(true), id);
    EXPECT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecEOF);
    EXPECT_LE(fetches(), 45 + 1);
}

// ---------------------------------------------------------------------------
// Failures at the ODBC boundary.

TEST_P(CursorTest, FailingFetchOnTheFirstRowOfABlockRaisesTheDriversDiagnostics) {
    std::string t = Numbered(10);
    OpenedCursor c(*Conn, "SELECT id FROM " + t + " ORDER BY id", 5);
    RecordBuffer buf(*c);
    for (int i = 0; i < 5; ++i) ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
    odbc::faults::Scope scope;
    odbc::faults::Inject(
        {"SQLFetchScroll", 1, 1, SQL_ERROR, {{"HY000", 77, "injected fetch failure"}}, false, c.Stmt()});
    try {
        c->GetNextRecord(buf.Data(), false);
        FAIL() << "no exception";
    } catch (const EODBCError& e) {
        EXPECT_EQ(e.Message(), "ODBC32 Error HY000 :injected fetch failure\r\n");
        EXPECT_EQ(e.SQLState, "HY000");
    }
}

TEST_P(CursorTest, FailingFirstFetchOfACountRaises) {
    std::string t = Numbered(4);
    OpenedCursor c(*Conn, "SELECT id FROM " + t, 2);
    ASSERT_TRUE(Scrolls(*Conn)) << "every test driver scrolls (its keyset cursors or our cursor library)";
    odbc::faults::Scope scope;
    odbc::faults::Inject(
        {"SQLFetchScroll", 1, 1, SQL_ERROR, {{"HY106", 0, "Fetch type out of range"}}, false, c.Stmt()});
    EXPECT_THROW(c->GetRecordCount(false), EODBCError);
    EXPECT_EQ(c->RowCount, -1);
}

TEST_P(CursorTest, WarningOnTheFirstRowOfABlockRaisesToo) {
    std::string t = Numbered(3);
    OpenedCursor c(*Conn, "SELECT id FROM " + t + " ORDER BY id", 1);
    RecordBuffer buf(*c);
    ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
    odbc::faults::Scope scope;
    odbc::faults::Inject(
        {"SQLFetchScroll", 1, 1, SQL_SUCCESS_WITH_INFO, {{"01S07", 0, "Fractional truncation"}}, true, c.Stmt()});
    // (01004 alone passes: StoreStaging reads values longer than their
    // buffers whole.)
    EXPECT_THROW(c->GetNextRecord(buf.Data(), false), EODBCError);
}

TEST_P(CursorTest, FailingBindRaises) {
    std::string t = Numbered(3);
    SQLHSTMT stmt = ODBCAllocStmt(Conn->Dbc());
    ODBCPrepareStmt(stmt, "SELECT id, name FROM " + t, ODBCREADWRITE, false, Conn->Mode());
    {
        TODBC c(Conn->Dbc(), stmt, t, Conn->Mode());
        ODBCExecute(stmt);
        odbc::faults::Scope scope;
        odbc::faults::Inject({"SQLBindCol", 2, 1, SQL_ERROR, {{"HY003", 0, "injected bind failure"}}, false, stmt});
        EXPECT_THROW(c.OpenCache(1, c.RecordSize(), false), EODBCError);
        EXPECT_FALSE(c.ColumnsBound);
        // A block of rows binds a rowset first; when that bind fails the
        // result is read one row a fetch, and a failing bind there raises.
        odbc::faults::Inject({"SQLBindCol", 2, 1, SQL_ERROR, {{"HY003", 0, "injected bind failure"}}, false, stmt});
        c.OpenCache(5, c.RecordSize(), false);
        RecordBuffer buf(c);
        for (int id = 1; id <= 3; ++id) {
            ASSERT_EQ(c.GetNextRecord(buf.Data(), false), ODBCRecOK);
            EXPECT_EQ(IntField(c, buf, 1), id);
        }
        odbc::faults::Inject({"SQLBindCol", 1, 2, SQL_ERROR, {{"HY003", 0, "injected bind failure"}}, false, stmt});
        EXPECT_THROW(c.OpenCache(5, c.RecordSize(), false), EODBCError);
        EXPECT_FALSE(c.ColumnsBound);
    }
    ODBCFreeStmt(stmt);
}

INSTANTIATE_TEST_SUITE_P(Drivers, CursorTest, AllDrivers(), DriverParamName());

}  // namespace
}  // namespace velora::test
