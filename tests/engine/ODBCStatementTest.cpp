// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Statements against the real drivers: cursor names, long texts, execution
// warnings (attribute substitution, server notices, injected warnings),
// cursors the driver makes read-only, and parameter binding: NULLs of every
// type, strings, binary values, decimals, dates, times and time stamps in the
// forms the binder reads, column sizes matched by name, row counts.
#include "EngineFixture.h"

#include "velora/rtl/DateUtils.h"

#include <set>

namespace velora::test {
namespace {

class StatementTest : public EngineTableTest {
protected:
    StatementTest() : EngineTableTest("stm") {}

    /// Prepares `sql` as a query's statement (read-write, scrollable).
    SQLHSTMT Prepared(const std::string& sql) {
        SQLHSTMT stmt = ODBCAllocStmt(Conn->Dbc());
        ODBCPrepareStmt(stmt, sql, ODBCREADWRITE, false, Conn->Mode());
        return stmt;
    }
};

/// A parameter descriptor for a value at `offset` of a buffer.
TODBCFldDesc Param(int no, const std::string& name, std::uint16_t type, std::uint16_t offset, std::uint16_t len,
                   std::uint16_t sub = 0) {
    TODBCFldDesc d;
    d.FieldNo = static_cast<std::uint16_t>(no);
    d.SetName(name);
    d.FldType = type;
    d.SubType = sub;
    d.Offset = offset;
    d.Len = len;
    return d;
}

TEST_P(StatementTest, CursorNamesFitAndTellStatementsApart) {
    std::set<std::string> names;
    std::vector<SQLHSTMT> stmts;
    for (int i = 0; i < 20; ++i) {
        SQLHSTMT s = ODBCAllocStmt(Conn->Dbc());
        stmts.push_back(s);
        String name = ODBCCursorName(s);
        EXPECT_LE(name.size(), 13u);
        EXPECT_EQ(name[0], 'S');
        EXPECT_EQ(ODBCCursorName(s), name);  // derivable again from the handle
        names.insert(name);
        ODBCPrepareStmt(s, "SELECT 1 AS one", ODBCREADONLY, false, Conn->Mode());
        if (Drv().Traits.KeepsCursorNames || Conn->Mode() == cmCursorLibrary) {
            // The driver (or our cursor library) keeps the name we gave.
            SQLCHAR given[64] = {};
            SQLSMALLINT len = 0;
            ASSERT_TRUE(ODBCSucceeded(odbc::SQLGetCursorName(s, given, sizeof given, &len)));
            EXPECT_TRUE(SameText(reinterpret_cast<char*>(given), name));
        }
    }
    EXPECT_EQ(names.size(), stmts.size());
    for (SQLHSTMT s : stmts) ODBCFreeStmt(s);
}

TEST_P(StatementTest, ADriverWithoutCursorNamesStillPrepares) {
    std::string t = Table("id int");
    Raw->Exec("INSERT INTO " + t + " VALUES (4)");
    {  // IM001: the driver has no SQLSetCursorName; only positioned statements would need the name.
        SQLHSTMT s = ODBCAllocStmt(Conn->Dbc());
        odbc::faults::Scope scope;
        odbc::faults::Inject({"SQLSetCursorName",
                              1,
                              1,
                              SQL_ERROR,
                              {{"IM001", 0, "[unixODBC][Driver Manager]Driver does not support this function"}},
                              false,
                              s});
        EXPECT_NO_THROW(ODBCPrepareStmt(s, "SELECT id FROM " + t, ODBCREADONLY, false, Conn->Mode()));
        EXPECT_EQ(odbc::faults::CallCount("SQLPrepare"), 1);
        EXPECT_TRUE(ODBCSucceeded(ODBCExecute(s)));
        std::int32_t id = 0;
        SQLLEN ind = 0;
        ASSERT_EQ(::SQLFetch(s), SQL_SUCCESS);
        ASSERT_TRUE(SQL_SUCCEEDED(::SQLGetData(s, 1, SQL_C_SLONG, &id, 0, &ind)));
        EXPECT_EQ(id, 4);
        ODBCFreeStmt(s);
    }
    {  // Any other refusal of the name is a failure.
        SQLHSTMT s = ODBCAllocStmt(Conn->Dbc());
        odbc::faults::Scope scope;
        odbc::faults::Inject({"SQLSetCursorName", 1, 1, SQL_ERROR, {{"3C000", 0, "Duplicate cursor name"}}, false, s});
        try {
            ODBCPrepareStmt(s, "SELECT id FROM " + t, ODBCREADONLY, false, Conn->Mode());
            ADD_FAILURE() << "no exception";
        } catch (const EODBCError& e) {
            EXPECT_EQ(e.Message(), "ODBC32 Error 3C000 :Duplicate cursor name\r\n");
        }
        EXPECT_EQ(odbc::faults::CallCount("SQLPrepare"), 0);
        ODBCFreeStmt(s);
    }
}

TEST_P(StatementTest, LongStatementTextsArePreparedWhole) {
    std::string t = Table("id int, name varchar(20)");
    Raw->Exec("INSERT INTO " + t + " VALUES (1, 'a'), (2, 'b'), (3, 'c')");
    std::string sql = "SELECT id FROM " + t + " WHERE id IN (";
    for (int i = 0; i < 400; ++i) sql += std::to_string(1000 + i) + ", ";
    sql += "3) ORDER BY id";
    ASSERT_GT(sql.size(), 300u);
    OpenedCursor c(*Conn, sql, 5, ODBCREADONLY);
    RecordBuffer buf(*c);
    ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
    bool blank;
    std::int32_t id = 0;
    c->GetField(1, buf.Data(), buf.BookmarkOffset, blank, &id);
    EXPECT_EQ(id, 3);
    EXPECT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecEOF);
}

TEST_P(StatementTest, WarningsOfExecution) {
    std::string t = Table("id int, name varchar(20)");
    // A warning on a statement with a result raises...
    {
        SQLHSTMT s = Prepared("SELECT id FROM " + t);
        odbc::faults::Scope scope;
        odbc::faults::Inject({"SQLExecute", 1, 1, SQL_SUCCESS_WITH_INFO, {{"01000", 0, "general warning"}}, true, s});
        try {
            ODBCExecute(s);
            ADD_FAILURE() << "no exception";
        } catch (const EODBCError& e) {
            EXPECT_EQ(e.Message(), "ODBC32 Error 01000 :general warning\r\n");
        }
        ODBCFreeStmt(s);
    }
    // ...unless every record says the driver substituted a cursor attribute.
    {
        SQLHSTMT s = Prepared("SELECT id FROM " + t);
        odbc::faults::Scope scope;
        odbc::faults::Inject(
            {"SQLExecute", 1, 1, SQL_SUCCESS_WITH_INFO, {{"01S02", -5, "cursor updatability changed"}}, true, s});
        EXPECT_EQ(ODBCExecute(s), SQL_SUCCESS_WITH_INFO);
        ODBCFreeStmt(s);
    }
    // A statement without a result has run: its notice is handed over, not
    // raised, and the statement ran exactly once.
    {
        SQLHSTMT s = Prepared("INSERT INTO " + t + " VALUES (1, 'once')");
        odbc::faults::Scope scope;
        odbc::faults::Inject({"SQLExecute", 1, 1, SQL_SUCCESS_WITH_INFO, {{"01000", 0, "a notice"}}, true, s});
        std::vector<odbc::DiagRecord> warnings;
        EXPECT_EQ(ODBCExecute(s, &warnings), SQL_SUCCESS_WITH_INFO);
        ASSERT_EQ(warnings.size(), 1u);
        EXPECT_EQ(warnings[0].Text, "a notice");
        ODBCFreeStmt(s);
        EXPECT_EQ(Raw->Scalar("SELECT COUNT(*) FROM " + t), "1");
    }
    // An UPDATE that matches nothing is no failure (psqlODBC and SQLite answer SQL_NO_DATA).
    {
        SQLHSTMT s = Prepared("UPDATE " + t + " SET name = 'x' WHERE id = 99");
        SQLRETURN rc = ODBCExecute(s);
        EXPECT_TRUE(rc == SQL_SUCCESS || rc == SQL_NO_DATA) << rc;
        std::int32_t count = -5;
        EXPECT_EQ(ODBCRowCount(s, count), 0);
        EXPECT_EQ(count, 0);
        ODBCFreeStmt(s);
    }
    std::int32_t count = 7;
    EXPECT_EQ(ODBCRowCount(SQL_NULL_HSTMT, count), -1);
    EXPECT_EQ(count, 7);
}

TEST_P(StatementTest, ServerNoticesOfStatementsWithoutResultAreNoFailure) {
    // psqlODBC answers every notice with SQL_SUCCESS_WITH_INFO (00000 here).
    std::string name = UniqueName("gone");
    SQLHSTMT s = Prepared("DROP TABLE IF EXISTS " + name);
    std::vector<odbc::DiagRecord> warnings;
    SQLRETURN rc = ODBCExecute(s, &warnings);
    EXPECT_TRUE(ODBCSucceeded(rc));
    if (Drv().Traits.SendsNotices) {
        ASSERT_FALSE(warnings.empty());
        EXPECT_NE(warnings[0].Text.find("does not exist"), std::string::npos);
    }
    ODBCFreeStmt(s);
}

TEST_P(StatementTest, ExecDirectTriesWithoutRaising) {
    std::string t = Table("id int");
    EXPECT_EQ(ODBCExecDirect(Conn->Dbc(), "SELECT id FROM " + t + " WHERE id = 1"), SQL_SUCCESS);
    EXPECT_EQ(ODBCExecDirect(Conn->Dbc(), "SELECT nosuchcolumn FROM " + t), SQL_ERROR);
}

TEST_P(StatementTest, PostgreSQLCursorsTheDriverMakesReadOnlyStillOpen) {
    VELORA_REQUIRE_TRAIT(Drv(), test::Need::CursorsMadeReadOnly);
    std::string t = Table("id int primary key, name varchar(20)");
    std::string nokey = Table("id int, name varchar(20)");
    Raw->Exec("INSERT INTO " + t + " VALUES (1, 'a'), (2, 'b')");
    Raw->Exec("INSERT INTO " + nokey + " VALUES (1, 'a')");
    std::string view = UniqueName("v");
    Raw->Exec("CREATE VIEW " + view + " AS SELECT * FROM " + t);
    struct ViewGuard {
        RawConnection& R;
        std::string V;
        ~ViewGuard() {
            try {
                R.Exec("DROP VIEW IF EXISTS " + V);
            } catch (...) {}
        }
    } guard{*Raw, view};

    {  // A view: ROWVER fails at execution (no ctid); the statement opens read-only.
        OpenedCursor c(*Conn, "SELECT * FROM " + view + " ORDER BY id", 5, ODBCREADWRITE, false, view);
        EXPECT_EQ(c->CurProps.OpenMode, ODBCREADONLY);
        RecordBuffer buf(*c);
        ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
        ASSERT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
        EXPECT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecEOF);
        EXPECT_EQ(c->GetRecordCount(false), 2);
    }
    {  // A join: 01S02 at execution, the driver grants a read-only cursor.
        OpenedCursor c(*Conn, "SELECT a.id, b.name FROM " + t + " a JOIN " + nokey + " b ON a.id = b.id", 5);
        EXPECT_EQ(c->CurProps.OpenMode, ODBCREADONLY);
    }
    {  // A table without a key: 01S02, but the cursor stays writable.
        OpenedCursor c(*Conn, "SELECT * FROM " + nokey, 5, ODBCREADWRITE, false, nokey);
        EXPECT_EQ(c->CurProps.OpenMode, ODBCREADWRITE);
        RecordBuffer buf(*c);
        EXPECT_EQ(c->GetNextRecord(buf.Data(), false), ODBCRecOK);
    }
    {  // A table with a key, asked read-only.
        OpenedCursor c(*Conn, "SELECT * FROM " + t, 5, ODBCREADONLY, false, t);
        EXPECT_EQ(c->CurProps.OpenMode, ODBCREADONLY);
    }
}

// ---------------------------------------------------------------------------
// Parameters.

TEST_P(StatementTest, NullParametersOfEveryTypeAreSentAsNull) {
    std::string t = Table("s varchar(20), i int, si smallint, f " + std::string(Drv().Traits.DoubleType) + ", b " +
                          BooleanType(Drv()) + ", ts " + TimeStampType(Drv()) + ", d date, tm " + TimeType(Drv()) +
                          ", n numeric(12,2), m " + MemoType(Drv()) + ", x int");
    // A buffer holding non-zero values: only the NULL marks must decide.
    std::vector<std::byte> buffer(256, std::byte{0x31});
    std::vector<TODBCFldDesc> d = {
        Param(1, "s", fcString, 0, 0),   // Len 0: NULL
        Param(2, "i", fcInt32, 16, 4),   // the caller's SQL_NULL_DATA
        Param(3, "si", fcInt16, 20, 2),  // a slot after the value saying NULL
        Param(4, "f", fcFloat, 24, 8),   // the NULL word of a parameter buffer
        Param(5, "b", fcBoolean, 40, 1), Param(6, "ts", fcTimeStamp, 48, 8), Param(7, "d", fcDate, 64, 4),
        Param(8, "tm", fcTime, 72, 4),   Param(9, "n", fcBCD, 80, 34),       Param(10, "m", fcBlob, 120, 16, fscMemo),
        Param(11, "x", fcInt32, 140, 4),
    };
    std::memset(buffer.data() + 22, 0, 2);  // slot of si: 0 = NULL
    d[2].NullOffset = 22;
    std::memset(buffer.data() + 250, 0xFF, 2);  // the NULL word
    for (std::size_t k = 3; k < d.size(); ++k) d[k].NullOffset = 250;
    std::vector<SQLLEN> ind(d.size(), 0);
    ind[1] = SQL_NULL_DATA;
    SQLHSTMT s = Prepared("INSERT INTO " + t + " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    ODBCBindParams(s, static_cast<int>(d.size()), d.data(), buffer.data(), nullptr, ind.data());
    ODBCExecute(s);
    ODBCFreeStmt(s);
    Row expected(11, std::nullopt);
    EXPECT_EQ(Raw->Query("SELECT * FROM " + t), std::vector<Row>{expected});
}

TEST_P(StatementTest, ValuesInEveryFormTheBinderReads) {
    std::string t = Table("s varchar(40), i int, w int, ts " + TimeStampType(Drv()) + ", ts2 " + TimeStampType(Drv()) +
                          ", d date, tm " + TimeType(Drv()) + ", n numeric(12,2), m " + MemoType(Drv()) + ", bin " +
                          LongBinaryType(Drv()) + ", u bigint");
    std::vector<std::byte> buffer(256, std::byte{0});
    auto put = [&](std::size_t at, const auto& v) { std::memcpy(buffer.data() + at, &v, sizeof v); };
    std::strcpy(reinterpret_cast<char*>(buffer.data()), "text with trailing blanks  ");
    put(32, std::int32_t{-7});
    put(36, std::uint16_t{65535});
    SQL_TIMESTAMP_STRUCT ts{2024, 3, 15, 13, 45, 30, 789000000u};
    put(40, ts);
    put(56, MSecs(1800, 1, 1, 10, 0, 0, 123));
    put(64, static_cast<std::int32_t>(DateTimeToTimeStamp(EncodeDate(2000, 1, 1)).Date));
    put(68, std::int32_t{43200500});  // 12:00:00.500
    ODBCFMTBCD bcd;
    ASSERT_TRUE(ODBCCurrToFMTBCD(Currency::FromUnits(-12345600), bcd, 32, 2));  // -1234.56
    put(72, bcd);
    const std::string memo(300, 'm');
    const std::string bin("\x00\x01\xFF\x00\x7F", 5);
    put(112, TODBCBlobRef{memo.data(), static_cast<std::int32_t>(memo.size())});
    put(128, TODBCBlobRef{bin.data(), static_cast<std::int32_t>(bin.size())});
    put(144, std::uint32_t{4000000000u});
    std::vector<TODBCFldDesc> d = {
        Param(1, "s", fcString, 0, 32),          Param(2, "i", fcInt32, 32, 4),
        Param(3, "w", fcUInt16, 36, 2),          Param(4, "ts", fcTimeStamp, 40, 16),
        Param(5, "ts2", fcTimeStamp, 56, 8),     Param(6, "d", fcDate, 64, 4),
        Param(7, "tm", fcTime, 68, 4),           Param(8, "n", fcBCD, 72, 34),
        Param(9, "m", fcBlob, 112, 16, fscMemo), Param(10, "bin", fcBlob, 128, 16, fscBinary),
        Param(11, "u", fcUInt32, 144, 4),
    };
    std::vector<SQLLEN> ind(d.size(), 0);
    SQLHSTMT s = Prepared("INSERT INTO " + t + " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    ODBCBindParams(s, static_cast<int>(d.size()), d.data(), buffer.data(), nullptr, ind.data());
    ODBCExecute(s);
    ODBCFreeStmt(s);

    // Read back through the engine, whose conversions the cursor tests check
    // against the drivers' own text.
    OpenedCursor c(*Conn, "SELECT s, i, w, ts, ts2, d, tm, n FROM " + t, 5, ODBCREADONLY);
    RecordBuffer rec(*c);
    ASSERT_EQ(c->GetNextRecord(rec.Data(), false), ODBCRecOK);
    auto value = [&](int f) {
        std::vector<std::byte> v(64);
        bool blank = true;
        EXPECT_EQ(c->GetField(f, rec.Data(), rec.BookmarkOffset, blank, v.data()), 0);
        EXPECT_FALSE(blank) << f;
        return v;
    };
    auto dbl = [&](int f) {
        double x;
        std::memcpy(&x, value(f).data(), 8);
        return x;
    };
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(value(1).data())), "text with trailing blanks  ");
    std::int32_t i;
    std::memcpy(&i, value(2).data(), 4);
    EXPECT_EQ(i, -7);
    std::memcpy(&i, value(3).data(), 4);
    EXPECT_EQ(i, 65535);
    // Time stamps keep their time and milliseconds in both forms.
    EXPECT_EQ(dbl(4), MSecs(2024, 3, 15, 13, 45, 30, 789));
    EXPECT_EQ(dbl(5), MSecs(1800, 1, 1, 10, 0, 0, 123));
    // Dates read as a day count, times as milliseconds of the day.
    std::memcpy(&i, value(6).data(), 4);
    EXPECT_EQ(i, static_cast<std::int32_t>(MSecs(2000, 1, 1) / MSecsPerDay));
    std::memcpy(&i, value(7).data(), 4);
    EXPECT_EQ(i, 12 * 3600000 + 500);
    EXPECT_EQ(dbl(8), -1234.56);
    EXPECT_EQ(Raw->Scalar("SELECT m FROM " + t), memo);
    EXPECT_EQ(Raw->Scalar("SELECT bin FROM " + t, SQL_C_BINARY), bin);
    EXPECT_EQ(Raw->Scalar("SELECT u FROM " + t), "4000000000");
}

TEST_P(StatementTest, ParametersMatchColumnsByNameWhateverTheirCase) {
    std::string t = Table("id int, Title varchar(20), bytes_col " + std::string(Drv().Traits.VarBinaryType));
    Raw->Exec("INSERT INTO " + t + " VALUES (1, 'x', NULL)");
    OpenedCursor c(*Conn, "SELECT id, Title, bytes_col FROM " + t, 5);

    std::vector<std::byte> buffer(128, std::byte{0});
    const std::string title = "twenty characters!!!";  // the column's whole length
    std::memcpy(buffer.data(), title.c_str(), title.size() + 1);
    const std::string unmatched(40, 'u');
    std::memcpy(buffer.data() + 32, unmatched.c_str(), unmatched.size() + 1);
    const std::string bytes("\x01\x00\x02\x00", 4);  // zero bytes inside: never measured by strlen
    std::memcpy(buffer.data() + 80, bytes.data(), bytes.size());
    TODBCFldDesc binary = Param(3, "BYTES_COL", fcVarBytes, 80, 16);
    binary.NullOffset = 96;
    ODBCSetIndicator(buffer.data(), binary, static_cast<std::int32_t>(bytes.size()));
    std::vector<TODBCFldDesc> d = {Param(1, "TITLE", fcString, 0, 32), Param(2, "not_a_column", fcString, 32, 48),
                                   binary};
    std::vector<SQLLEN> ind(d.size(), 0);
    SQLHSTMT s = Prepared("UPDATE " + t + " SET Title = ?, bytes_col = ? WHERE id = 1 AND ? <> ''");
    std::vector<TODBCFldDesc> order = {d[0], d[2], d[1]};
    order[0].FieldNo = 1;
    order[1].FieldNo = 2;
    order[2].FieldNo = 3;
    ODBCBindParams(s, 3, order.data(), buffer.data(), &*c, ind.data());
    EXPECT_EQ(ind[0], static_cast<SQLLEN>(title.size()));
    EXPECT_EQ(ind[1], static_cast<SQLLEN>(bytes.size()));
    EXPECT_EQ(ind[2], static_cast<SQLLEN>(unmatched.size()));
    // The column size bound: the matched column's length (+1 for text), the
    // value's own length where no column matches. psqlODBC tells it through
    // SQLDescribeParam, MariaDB through the implementation descriptor; the
    // SQLite driver keeps it to itself.
    auto boundSize = [&](SQLUSMALLINT n) -> SQLULEN {
        if (Drv().Traits.ParamSizes == ParamSizeSource::DescribeParam) {
            SQLSMALLINT type = 0, digits = 0, nullable = 0;
            SQLULEN size = 0;
            EXPECT_TRUE(SQL_SUCCEEDED(::SQLDescribeParam(s, n, &type, &size, &digits, &nullable)));
            return size;
        }
        SQLHDESC ipd = nullptr;
        SQLULEN size = 0;
        EXPECT_TRUE(SQL_SUCCEEDED(::SQLGetStmtAttr(s, SQL_ATTR_IMP_PARAM_DESC, &ipd, 0, nullptr)));
        EXPECT_TRUE(SQL_SUCCEEDED(::SQLGetDescField(ipd, n, SQL_DESC_LENGTH, &size, sizeof size, nullptr)));
        return size;
    };
    if (Drv().Traits.ParamSizes != ParamSizeSource::None) {
        EXPECT_EQ(boundSize(1), c->Columns[1].Units1 + 1u);
        EXPECT_EQ(boundSize(3), unmatched.size());
    }
    ODBCExecute(s);
    ODBCFreeStmt(s);
    EXPECT_EQ(Raw->Scalar("SELECT Title FROM " + t), title);
    EXPECT_EQ(Raw->Scalar("SELECT bytes_col FROM " + t, SQL_C_BINARY), bytes);
}

TEST_P(StatementTest, LongColumnNamesMatchParametersByTheirWholeName) {
    // Two names alike in their first 31 characters.
    const std::string common = "a_rather_long_common_name_prefix";
    std::string t = Table(common + "_short varchar(10), " + common + "_wide varchar(50)");
    OpenedCursor c(*Conn, "SELECT * FROM " + t, 5);
    ASSERT_EQ(std::string(c->Columns[0].FldName), std::string(c->Columns[1].FldName));
    std::vector<std::byte> buffer(64, std::byte{0});
    std::memcpy(buffer.data(), "wide", 5);
    std::vector<TODBCFldDesc> d = {Param(1, common + "_wide", fcString, 0, 51)};
    std::vector<SQLLEN> ind(1, 0);
    SQLHSTMT s = Prepared("INSERT INTO " + t + " (" + common + "_wide) VALUES (?)");
    ODBCBindParams(s, 1, d.data(), buffer.data(), &*c, ind.data());
    if (Drv().Traits.ParamSizes == ParamSizeSource::DescribeParam) {
        SQLSMALLINT type = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        ASSERT_TRUE(SQL_SUCCEEDED(::SQLDescribeParam(s, 1, &type, &size, &digits, &nullable)));
        EXPECT_EQ(size, c->Columns[1].Units1 + 1u);
    } else if (Drv().Traits.ParamSizes == ParamSizeSource::ImplementationDescriptor) {
        SQLHDESC ipd = nullptr;
        SQLULEN size = 0;
        ASSERT_TRUE(SQL_SUCCEEDED(::SQLGetStmtAttr(s, SQL_ATTR_IMP_PARAM_DESC, &ipd, 0, nullptr)));
        ASSERT_TRUE(SQL_SUCCEEDED(::SQLGetDescField(ipd, 1, SQL_DESC_LENGTH, &size, sizeof size, nullptr)));
        EXPECT_EQ(size, c->Columns[1].Units1 + 1u);
    }
    ODBCExecute(s);
    ODBCFreeStmt(s);
    EXPECT_EQ(Raw->Scalar("SELECT " + common + "_wide FROM " + t), "wide");
}

TEST_P(StatementTest, FailingBindRaises) {
    SQLHSTMT s = Prepared("SELECT 1 AS one");
    std::vector<std::byte> buffer(8, std::byte{0});
    std::vector<TODBCFldDesc> d = {Param(1, "a", fcInt32, 0, 4)};
    std::vector<SQLLEN> ind(1, 0);
    {
        odbc::faults::Scope scope;
        odbc::faults::Inject({"SQLBindParameter", 1, 1, SQL_ERROR, {{"HY004", 0, "injected"}}, false, s});
        EXPECT_THROW(ODBCBindParams(s, 1, d.data(), buffer.data(), nullptr, ind.data()), EODBCError);
    }
    // A type the binder does not know is refused by the driver manager.
    d[0].FldType = fcCursor;
    EXPECT_THROW(ODBCBindParams(s, 1, d.data(), buffer.data(), nullptr, ind.data()), EODBCError);
    ODBCFreeStmt(s);
}

INSTANTIATE_TEST_SUITE_P(Drivers, StatementTest, AllDrivers(), DriverParamName());

}  // namespace
}  // namespace velora::test
