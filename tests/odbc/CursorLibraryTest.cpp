// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The cursor library against the real drivers. Every connection here asks
// for the cursor library (SQL_ATTR_ODBC_CURSORS = SQL_CUR_USE_ODBC before
// connecting) through the ODBC boundary, as the engine's connect does on its
// second attempt; SQLite and MariaDB land there by themselves, PostgreSQL is
// made to. The calls follow the engine's: a static cursor with ROWVER
// concurrency and a cursor name, one row per fetch into bound buffers,
// SQLSetPos(SQL_POSITION) and a positioned statement on a second statement
// whose parameters are bound to the very buffers the cursor fetches into,
// and long values read with SQLGetData and written with data at execution.
// What the library wrote is always checked from a second, plain connection.
#include "support/TestEnv.h"

#include "velora/odbc/ODBCBoundary.h"
#include "velora/odbc/ODBCFaults.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <thread>

namespace velora::test {
namespace {

namespace odbc = velora::odbc;

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

std::string Diags(SQLSMALLINT type, SQLHANDLE h) {
    std::string out;
    for (const odbc::DiagRecord& d : odbc::ReadDiagnostics(type, h)) out += "[" + d.State + "] " + d.Text + "\n";
    return out;
}

std::string FirstState(SQLSMALLINT type, SQLHANDLE h) {
    auto d = odbc::ReadDiagnostics(type, h);
    return d.empty() ? std::string() : d[0].State;
}

/// The eight capability bits the engine's connect tests for this road.
bool HasCursorLibraryBits(SQLUINTEGER mask) {
    const SQLUINTEGER bits[] = {
        SQL_CA1_NEXT,         SQL_CA1_ABSOLUTE,          SQL_CA1_RELATIVE,          SQL_CA1_LOCK_NO_CHANGE,
        SQL_CA1_POS_POSITION, SQL_CA1_POSITIONED_UPDATE, SQL_CA1_POSITIONED_DELETE, SQL_CA1_SELECT_FOR_UPDATE};
    for (SQLUINTEGER b : bits)
        if (!(mask & b)) return false;
    return true;
}

/// A connection through the boundary that asked for the cursor library.
class LibConnection {
public:
    explicit LibConnection(const TestDriver& d, const std::function<void(SQLHDBC)>& beforeConnect = {}) {
        Check(odbc::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &FEnv), "env");
        odbc::SQLSetEnvAttr(FEnv, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
        Check(odbc::SQLAllocHandle(SQL_HANDLE_DBC, FEnv, &FDbc), "dbc");
        Check(odbc::SQLSetConnectAttr(FDbc, SQL_ATTR_ODBC_CURSORS, reinterpret_cast<SQLPOINTER>(SQL_CUR_USE_ODBC), 0),
              "cursor library");
        if (beforeConnect) beforeConnect(FDbc);
        SQLRETURN rc = odbc::SQLConnect(FDbc, S(d.Dsn), SQL_NTS, S(d.User), SQL_NTS, S(d.Password), SQL_NTS);
        if (!Ok(rc)) throw std::runtime_error("connect: " + Diags(SQL_HANDLE_DBC, FDbc));
    }
    ~LibConnection() {
        odbc::SQLDisconnect(FDbc);
        odbc::SQLFreeHandle(SQL_HANDLE_DBC, FDbc);
        odbc::SQLFreeHandle(SQL_HANDLE_ENV, FEnv);
    }
    SQLHDBC Dbc() const { return FDbc; }
    SQLUINTEGER Info32(SQLUSMALLINT type) const {
        SQLUINTEGER v = 0;
        odbc::SQLGetInfo(FDbc, type, &v, sizeof v, nullptr);
        return v;
    }

private:
    static SQLCHAR* S(const std::string& s) { return reinterpret_cast<SQLCHAR*>(const_cast<char*>(s.c_str())); }
    void Check(SQLRETURN rc, const char* what) {
        if (!Ok(rc)) throw std::runtime_error(what);
    }
    SQLHENV FEnv = nullptr;
    SQLHDBC FDbc = nullptr;
};

/// A statement through the boundary.
class Stmt {
public:
    explicit Stmt(LibConnection& c) {
        if (!Ok(odbc::SQLAllocHandle(SQL_HANDLE_STMT, c.Dbc(), &FH))) throw std::runtime_error("stmt");
    }
    ~Stmt() { odbc::SQLFreeHandle(SQL_HANDLE_STMT, FH); }
    SQLHSTMT H() const { return FH; }
    SQLRETURN Exec(const std::string& sql) {
        return odbc::SQLExecDirect(FH, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    }
    SQLRETURN Prepare(const std::string& sql) {
        return odbc::SQLPrepare(FH, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())), SQL_NTS);
    }
    std::string Diag() const { return Diags(SQL_HANDLE_STMT, FH); }
    std::string State() const { return FirstState(SQL_HANDLE_STMT, FH); }

    /// Opens a cursor the way the engine does on this road; answers its name.
    std::string OpenLikeEngine(const std::string& sql) {
        EXPECT_EQ(odbc::SQLSetStmtAttr(FH, SQL_ATTR_ROW_BIND_TYPE, SQL_BIND_BY_COLUMN, SQL_IS_INTEGER), SQL_SUCCESS);
        EXPECT_EQ(odbc::SQLSetStmtAttr(FH, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC),
                                       SQL_IS_UINTEGER),
                  SQL_SUCCESS)
            << Diag();
        EXPECT_EQ(odbc::SQLSetStmtAttr(FH, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_ROWVER),
                                       SQL_IS_INTEGER),
                  SQL_SUCCESS)
            << Diag();
        EXPECT_TRUE(Ok(odbc::SQLSetStmtAttr(FH, SQL_ATTR_USE_BOOKMARKS, SQL_UB_OFF, SQL_IS_INTEGER)));
        std::string name = "S" + std::to_string(static_cast<int32_t>(reinterpret_cast<std::uintptr_t>(FH)));
        EXPECT_EQ(odbc::SQLSetCursorName(FH, reinterpret_cast<SQLCHAR*>(name.data()), SQL_NTS), SQL_SUCCESS) << Diag();
        EXPECT_TRUE(Ok(Prepare(sql))) << Diag();
        EXPECT_EQ(odbc::SQLExecute(FH), SQL_SUCCESS) << Diag();
        return name;
    }

private:
    SQLHSTMT FH = nullptr;
};

/// Bound buffers of the test tables' first three columns (id, a, b).
struct RowBuffers {
    SQLINTEGER Id = 0;
    char A[21] = {};
    SQLINTEGER B = 0;
    SQLLEN IdInd = 0, AInd = 0, BInd = 0;

    void Bind(SQLHSTMT h) {
        ASSERT_TRUE(Ok(odbc::SQLBindCol(h, 1, SQL_C_SLONG, &Id, sizeof Id, &IdInd)));
        ASSERT_TRUE(Ok(odbc::SQLBindCol(h, 2, SQL_C_CHAR, A, sizeof A, &AInd)));
        ASSERT_TRUE(Ok(odbc::SQLBindCol(h, 3, SQL_C_SLONG, &B, sizeof B, &BInd)));
    }
    /// Puts new values in, as the engine copies an edited record into the staging record.
    void Set(int id, const char* a, std::optional<int> b) {
        Id = id;
        IdInd = sizeof Id;
        std::snprintf(A, sizeof A, "%s", a);
        AInd = SQL_NTS;
        B = b.value_or(0);
        BInd = b ? static_cast<SQLLEN>(sizeof B) : SQL_NULL_DATA;
    }
    std::string Text() const { return std::string(A); }
};

/// Binds a positioned UPDATE's three parameters to the cursor's buffers.
void BindUpdateParams(SQLHSTMT h, RowBuffers& r) {
    ASSERT_TRUE(Ok(odbc::SQLBindParameter(h, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0, &r.Id, 0, &r.IdInd)));
    ASSERT_TRUE(
        Ok(odbc::SQLBindParameter(h, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, r.A, sizeof r.A, &r.AInd)));
    ASSERT_TRUE(Ok(odbc::SQLBindParameter(h, 3, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0, &r.B, 0, &r.BInd)));
}

class CursorLibraryTest : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        if (IsSkipped()) return;
        FTable = UniqueName("cl");
        FRaw = std::make_unique<RawConnection>(Drv());
        FRaw->DropTableIfExists(FTable);
        FGuard = std::make_unique<TableGuard>(Drv(), FTable);
    }

    /// Table id (key or not), a, b, memo, bin with rows 1..n: a = "row i", b = 10 i.
    void CreateTable(int rows, bool withKey = true) {
        FRaw->Exec("CREATE TABLE " + FTable + " (id integer" + (withKey ? " PRIMARY KEY" : "") +
                   ", a varchar(20), b integer, memo " + MemoType(Drv()) + ", bin " + BlobType(Drv()) + ")");
        std::string values;
        for (int i = 1; i <= rows; ++i) {
            if (i > 1) values += ", ";
            values += "(" + std::to_string(i) + ", 'row " + std::to_string(i) + "', " + std::to_string(10 * i) +
                      ", 'memo " + std::to_string(i) + "', NULL)";
        }
        if (rows > 0) FRaw->Exec("INSERT INTO " + FTable + " (id, a, b, memo, bin) VALUES " + values);
    }

    std::vector<Row> RawRows(const std::string& cols = "id, a, b") {
        return FRaw->Query("SELECT " + cols + " FROM " + FTable + " ORDER BY id, a");
    }
    std::string Select() const { return "SELECT id, a, b, memo, bin FROM " + FTable; }

    std::string FTable;
    std::unique_ptr<RawConnection> FRaw;
    std::unique_ptr<TableGuard> FGuard;
};

// --- Capabilities ---------------------------------------------------------------------

TEST_P(CursorLibraryTest, OffersTheCursorLibraryCapabilities) {
    LibConnection c(Drv());
    ASSERT_TRUE(odbc::UsesCursorLibrary(c.Dbc()));
    SQLUINTEGER ca1 = c.Info32(SQL_STATIC_CURSOR_ATTRIBUTES1);
    EXPECT_TRUE(HasCursorLibraryBits(ca1)) << std::hex << ca1;
    EXPECT_TRUE(ca1 & SQL_CA1_POS_UPDATE);
    EXPECT_TRUE(ca1 & SQL_CA1_BULK_ADD);
    // Keyset cursors are not offered: such requests become static ones.
    EXPECT_EQ(c.Info32(SQL_KEYSET_CURSOR_ATTRIBUTES1), 0u);
    SQLUSMALLINT supported = SQL_FALSE;
    EXPECT_TRUE(Ok(odbc::SQLGetFunctions(c.Dbc(), SQL_API_SQLSETCURSORNAME, &supported)));
    EXPECT_EQ(supported, SQL_TRUE);
}

TEST_P(CursorLibraryTest, TheEnginesConnectSequenceLandsOnThisRoad) {
    // Steps 4 to 7 of the engine's connect: the driver's own cursors first;
    // without all keyset bits (PostgreSQL's are masked here) reconnect with
    // the cursor library and test its static-cursor bits.
    odbc::faults::Scope scope;
    if (Drv().Traits.HasKeysetCursors)
        odbc::faults::OverrideInfo(SQL_KEYSET_CURSOR_ATTRIBUTES1, 0, odbc::faults::InfoMode::Replace);
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    ASSERT_TRUE(Ok(odbc::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)));
    odbc::SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    ASSERT_TRUE(Ok(odbc::SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)));
    auto connect = [&] {
        const TestDriver& d = Drv();
        return odbc::SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(const_cast<char*>(d.Dsn.c_str())), SQL_NTS,
                                reinterpret_cast<SQLCHAR*>(const_cast<char*>(d.User.c_str())), SQL_NTS,
                                reinterpret_cast<SQLCHAR*>(const_cast<char*>(d.Password.c_str())), SQL_NTS);
    };
    odbc::SQLSetConnectAttr(dbc, SQL_ATTR_ODBC_CURSORS, reinterpret_cast<SQLPOINTER>(SQL_CUR_USE_DRIVER), 0);
    ASSERT_TRUE(Ok(connect())) << Diags(SQL_HANDLE_DBC, dbc);
    SQLUINTEGER keyset = 0xFFFFFFFF;
    odbc::SQLGetInfo(dbc, SQL_KEYSET_CURSOR_ATTRIBUTES1, &keyset, 0, nullptr);
    EXPECT_NE(keyset & SQL_CA1_BULK_ADD, static_cast<SQLUINTEGER>(SQL_CA1_BULK_ADD));
    odbc::SQLDisconnect(dbc);
    ASSERT_TRUE(
        Ok(odbc::SQLSetConnectAttr(dbc, SQL_ATTR_ODBC_CURSORS, reinterpret_cast<SQLPOINTER>(SQL_CUR_USE_ODBC), 0)));
    ASSERT_TRUE(Ok(connect())) << Diags(SQL_HANDLE_DBC, dbc);
    EXPECT_TRUE(odbc::UsesCursorLibrary(dbc));
    SQLUINTEGER mask = 0;
    odbc::SQLGetInfo(dbc, SQL_STATIC_CURSOR_ATTRIBUTES1, &mask, 0, nullptr);
    EXPECT_TRUE(HasCursorLibraryBits(mask)) << std::hex << mask;  // CursorMode 2
    odbc::SQLDisconnect(dbc);
    odbc::SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    odbc::SQLFreeHandle(SQL_HANDLE_ENV, env);
}

TEST_P(CursorLibraryTest, ADriverThatCannotScrollLeavesOnlyWhatTheLibraryHonours) {
    odbc::faults::Scope scope;
    LibConnection c(Drv(), [](SQLHDBC dbc) {
        // The driver's static cursor reports NEXT only, as a forward-only driver would.
        odbc::faults::OverrideInfo(SQL_STATIC_CURSOR_ATTRIBUTES1, SQL_CA1_NEXT, odbc::faults::InfoMode::And, dbc,
                                   odbc::faults::InfoTarget::Driver);
    });
    SQLUINTEGER ca1 = c.Info32(SQL_STATIC_CURSOR_ATTRIBUTES1);
    EXPECT_FALSE(ca1 & SQL_CA1_ABSOLUTE);
    EXPECT_FALSE(ca1 & SQL_CA1_RELATIVE);
    EXPECT_TRUE(ca1 & SQL_CA1_NEXT);
    EXPECT_TRUE(ca1 & SQL_CA1_POSITIONED_UPDATE);
    EXPECT_FALSE(HasCursorLibraryBits(ca1));  // the engine's connect gives CursorMode 0
    EXPECT_FALSE(c.Info32(SQL_SCROLL_OPTIONS) & SQL_SO_STATIC);

    // Another connection, not masked, keeps the scrolling bits.
    LibConnection other(Drv());
    EXPECT_TRUE(HasCursorLibraryBits(other.Info32(SQL_STATIC_CURSOR_ATTRIBUTES1)));

    // Without the cursor library the caller asks the driver itself, and sees
    // the masked answer too.
    SQLHENV env = nullptr;
    SQLHDBC dbc = nullptr;
    ASSERT_TRUE(Ok(odbc::SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env)));
    odbc::SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    ASSERT_TRUE(Ok(odbc::SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc)));
    const TestDriver& d = Drv();
    ASSERT_TRUE(Ok(odbc::SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(const_cast<char*>(d.Dsn.c_str())), SQL_NTS,
                                    reinterpret_cast<SQLCHAR*>(const_cast<char*>(d.User.c_str())), SQL_NTS,
                                    reinterpret_cast<SQLCHAR*>(const_cast<char*>(d.Password.c_str())), SQL_NTS)));
    odbc::faults::OverrideInfo(SQL_STATIC_CURSOR_ATTRIBUTES1, SQL_CA1_NEXT, odbc::faults::InfoMode::And, dbc,
                               odbc::faults::InfoTarget::Driver);
    SQLUINTEGER plain = 0;
    ASSERT_TRUE(Ok(odbc::SQLGetInfo(dbc, SQL_STATIC_CURSOR_ATTRIBUTES1, &plain, sizeof plain, nullptr)));
    EXPECT_EQ(plain, static_cast<SQLUINTEGER>(SQL_CA1_NEXT));
    odbc::SQLDisconnect(dbc);
    odbc::SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    odbc::SQLFreeHandle(SQL_HANDLE_ENV, env);
}

// --- Scrolling --------------------------------------------------------------------------

TEST_P(CursorLibraryTest, ScrollsInEveryDirection) {
    CreateTable(10);
    LibConnection c(Drv());
    Stmt s(c);
    s.OpenLikeEngine(Select());
    RowBuffers r;
    r.Bind(s.H());
    struct Step {
        SQLSMALLINT Orientation;
        SQLLEN Offset;
        SQLRETURN Rc;
        int Id;
    };
    const Step steps[] = {
        {SQL_FETCH_NEXT, 0, SQL_SUCCESS, 1},       {SQL_FETCH_NEXT, 0, SQL_SUCCESS, 2},
        {SQL_FETCH_PRIOR, 0, SQL_SUCCESS, 1},      {SQL_FETCH_PRIOR, 0, SQL_NO_DATA, 0},
        {SQL_FETCH_NEXT, 0, SQL_SUCCESS, 1},       {SQL_FETCH_LAST, 0, SQL_SUCCESS, 10},
        {SQL_FETCH_PRIOR, 0, SQL_SUCCESS, 9},      {SQL_FETCH_ABSOLUTE, 4, SQL_SUCCESS, 4},
        {SQL_FETCH_RELATIVE, 3, SQL_SUCCESS, 7},   {SQL_FETCH_RELATIVE, -5, SQL_SUCCESS, 2},
        {SQL_FETCH_ABSOLUTE, -3, SQL_SUCCESS, 8},  {SQL_FETCH_FIRST, 0, SQL_SUCCESS, 1},
        {SQL_FETCH_ABSOLUTE, 11, SQL_NO_DATA, 0},  {SQL_FETCH_PRIOR, 0, SQL_SUCCESS, 10},
        {SQL_FETCH_NEXT, 0, SQL_NO_DATA, 0},       {SQL_FETCH_RELATIVE, -2, SQL_SUCCESS, 9},
        {SQL_FETCH_ABSOLUTE, 10, SQL_SUCCESS, 10},
    };
    int n = 0;
    for (const Step& st : steps) {
        r.Id = -1;
        SQLRETURN rc = odbc::SQLFetchScroll(s.H(), st.Orientation, st.Offset);
        ASSERT_EQ(rc, st.Rc) << "step " << n << ": " << s.Diag();
        if (rc == SQL_SUCCESS) {
            EXPECT_EQ(r.Id, st.Id) << "step " << n;
            EXPECT_EQ(r.Text(), "row " + std::to_string(st.Id)) << "step " << n;
            EXPECT_EQ(r.B, 10 * st.Id);
        }
        ++n;
    }
}

TEST_P(CursorLibraryTest, AbsoluteRowsetsThatFollowEachOtherAndThoseThatDoNot) {
    // Absolute rowsets that begin where the last ended go to the driver as
    // its next rowset; anything that moves the driver's cursor in between
    // (a value read, a positioning, another rowset size) sends the row.
    CreateTable(10);
    LibConnection c(Drv());
    Stmt s(c);
    s.OpenLikeEngine(Select());
    SQLINTEGER ids[3] = {};
    SQLLEN inds[3] = {};
    SQLULEN fetched = 0;
    ASSERT_TRUE(Ok(odbc::SQLSetStmtAttr(s.H(), SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0)));
    ASSERT_TRUE(Ok(odbc::SQLBindCol(s.H(), 1, SQL_C_SLONG, ids, sizeof ids[0], inds)));
    enum Act { Size, Abs, Read, Position };
    struct Step {
        Act What;
        SQLLEN Arg;
        int FirstId;  ///< of the rowset (Abs), of the row read (Read); 0: SQL_NO_DATA
        SQLULEN Rows;
    };
    const Step steps[] = {
        {Size, 3, 0, 0}, {Abs, 1, 1, 3},  {Abs, 4, 4, 3},  {Abs, 7, 7, 3},      {Abs, 10, 10, 1},
        {Abs, 13, 0, 0}, {Abs, 4, 4, 3},  {Abs, 7, 7, 3},  {Abs, 1, 1, 3},      {Size, 2, 0, 0},
        {Abs, 4, 4, 2},  {Abs, 6, 6, 2},  {Size, 1, 0, 0}, {Abs, 8, 8, 1},      {Read, 0, 8, 0},
        {Abs, 9, 9, 1},  {Abs, 10, 10, 1}, {Position, 0, 0, 0}, {Abs, 5, 5, 1}, {Abs, 6, 6, 1},
        {Read, 0, 6, 0}, {Abs, 7, 7, 1},
    };
    int n = 0;
    for (const Step& st : steps) {
        SCOPED_TRACE("step " + std::to_string(n++));
        switch (st.What) {
            case Size:
                ASSERT_TRUE(Ok(odbc::SQLSetStmtAttr(s.H(), SQL_ATTR_ROW_ARRAY_SIZE,
                                                    reinterpret_cast<SQLPOINTER>(st.Arg), SQL_IS_UINTEGER)));
                break;
            case Abs: {
                std::fill(std::begin(ids), std::end(ids), -1);
                const SQLRETURN rc = odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, st.Arg);
                ASSERT_EQ(rc, st.FirstId ? SQL_SUCCESS : SQL_NO_DATA) << s.Diag();
                if (!st.FirstId) break;
                ASSERT_EQ(fetched, st.Rows);
                for (SQLULEN k = 0; k < st.Rows; ++k) EXPECT_EQ(ids[k], st.FirstId + static_cast<int>(k));
                break;
            }
            case Read: {
                char a[32] = {};
                SQLLEN ind = 0;
                ASSERT_TRUE(Ok(odbc::SQLGetData(s.H(), 2, SQL_C_CHAR, a, sizeof a, &ind))) << s.Diag();
                EXPECT_EQ(std::string(a), "row " + std::to_string(st.FirstId));
                break;
            }
            case Position:
                ASSERT_TRUE(Ok(odbc::SQLSetPos(s.H(), 1, SQL_POSITION, SQL_LOCK_NO_CHANGE))) << s.Diag();
                break;
        }
    }
}

TEST_P(CursorLibraryTest, FetchesAndReadsWithNothingBound) {
    CreateTable(7);
    LibConnection c(Drv());
    Stmt s(c);
    s.OpenLikeEngine(Select());
    // The engine's row count: unbound FIRST, then NEXT until the end.
    int count = 0;
    for (SQLRETURN rc = odbc::SQLFetchScroll(s.H(), SQL_FETCH_FIRST, 0); rc == SQL_SUCCESS;
         rc = odbc::SQLFetchScroll(s.H(), SQL_FETCH_NEXT, 0))
        ++count;
    EXPECT_EQ(count, 7);
    // Unbound absolute fetches in both directions, values with SQLGetData.
    for (int row : {5, 2, 7, 1}) {
        ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, row), SQL_SUCCESS) << s.Diag();
        char a[32] = {};
        SQLLEN ind = 0;
        ASSERT_TRUE(Ok(odbc::SQLGetData(s.H(), 2, SQL_C_CHAR, a, sizeof a, &ind)));
        EXPECT_EQ(std::string(a), "row " + std::to_string(row));
    }
    // A plain forward-only SELECT on the same connection fetches unbound too.
    Stmt f(c);
    ASSERT_TRUE(Ok(f.Exec("SELECT COUNT(*) FROM " + FTable))) << f.Diag();
    ASSERT_EQ(odbc::SQLFetch(f.H()), SQL_SUCCESS) << f.Diag();
    SQLINTEGER n = 0;
    ASSERT_TRUE(Ok(odbc::SQLGetData(f.H(), 1, SQL_C_SLONG, &n, 0, nullptr)));
    EXPECT_EQ(n, 7);
}

// --- Cursor names ---------------------------------------------------------------------------

TEST_P(CursorLibraryTest, KeepsCursorNamesPerConnection) {
    CreateTable(1);
    LibConnection c(Drv());
    Stmt a(c), b(c);
    char name[64] = {};
    SQLSMALLINT len = 0;
    // Generated names, never failing even where the driver has none (SQLite).
    ASSERT_EQ(odbc::SQLGetCursorName(a.H(), reinterpret_cast<SQLCHAR*>(name), sizeof name, &len), SQL_SUCCESS);
    std::string generatedA = name;
    ASSERT_EQ(odbc::SQLGetCursorName(b.H(), reinterpret_cast<SQLCHAR*>(name), sizeof name, &len), SQL_SUCCESS);
    EXPECT_EQ(generatedA.rfind("SQL_CUR", 0), 0u);
    EXPECT_NE(generatedA, std::string(name));

    std::string engineName = "S-289721760";
    ASSERT_EQ(odbc::SQLSetCursorName(a.H(), reinterpret_cast<SQLCHAR*>(engineName.data()), SQL_NTS), SQL_SUCCESS)
        << a.Diag();
    ASSERT_EQ(odbc::SQLGetCursorName(a.H(), reinterpret_cast<SQLCHAR*>(name), sizeof name, &len), SQL_SUCCESS);
    EXPECT_EQ(std::string(name), engineName);
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(engineName.size()));
    // Truncation is reported, the length is the whole name's.
    char small[4] = {};
    EXPECT_EQ(odbc::SQLGetCursorName(a.H(), reinterpret_cast<SQLCHAR*>(small), sizeof small, &len),
              SQL_SUCCESS_WITH_INFO);
    EXPECT_EQ(a.State(), "01004");
    EXPECT_EQ(std::string(small), "S-2");

    // Unique per connection (case does not make another name).
    std::string same = "s-289721760";
    EXPECT_EQ(odbc::SQLSetCursorName(b.H(), reinterpret_cast<SQLCHAR*>(same.data()), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(b.State(), "3C000");
    std::string reserved = "SQL_CUR99";
    EXPECT_EQ(odbc::SQLSetCursorName(b.H(), reinterpret_cast<SQLCHAR*>(reserved.data()), SQL_NTS), SQL_ERROR);
    EXPECT_EQ(b.State(), "34000");
    // Another connection may use the same name.
    LibConnection c2(Drv());
    Stmt other(c2);
    EXPECT_EQ(odbc::SQLSetCursorName(other.H(), reinterpret_cast<SQLCHAR*>(engineName.data()), SQL_NTS), SQL_SUCCESS);
    // A freed statement's name is free again.
    {
        Stmt temp(c);
        std::string t = "temp_cursor";
        ASSERT_EQ(odbc::SQLSetCursorName(temp.H(), reinterpret_cast<SQLCHAR*>(t.data()), SQL_NTS), SQL_SUCCESS);
    }
    std::string t = "temp_cursor";
    EXPECT_EQ(odbc::SQLSetCursorName(b.H(), reinterpret_cast<SQLCHAR*>(t.data()), SQL_NTS), SQL_SUCCESS) << b.Diag();
}

// --- Positioned statements ------------------------------------------------------------------

/// One positioned UPDATE of the current row, the engine's way: new values in
/// the cursor's buffers, SQLSetPos(SQL_POSITION), then the UPDATE on a second
/// statement bound to those buffers.
SQLRETURN EngineUpdate(LibConnection& c, Stmt& cursor, const std::string& cursorName, const std::string& table,
                       RowBuffers& r, std::string* diag = nullptr) {
    EXPECT_EQ(odbc::SQLSetPos(cursor.H(), 1, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << cursor.Diag();
    Stmt u(c);
    EXPECT_TRUE(Ok(u.Prepare("UPDATE " + table + " SET id = ?, a = ?, b = ?  WHERE CURRENT OF " + cursorName)))
        << u.Diag();
    BindUpdateParams(u.H(), r);
    SQLRETURN rc = odbc::SQLExecute(u.H());
    if (diag) *diag = u.Diag();
    if (rc == SQL_SUCCESS) {
        SQLLEN rows = -1;
        EXPECT_TRUE(Ok(odbc::SQLRowCount(u.H(), &rows)));
        EXPECT_EQ(rows, 1);
    }
    return rc;
}

SQLRETURN EngineDelete(LibConnection& c, Stmt& cursor, const std::string& cursorName, const std::string& table,
                       std::string* diag = nullptr) {
    EXPECT_EQ(odbc::SQLSetPos(cursor.H(), 1, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << cursor.Diag();
    Stmt d(c);
    SQLRETURN rc = d.Exec("DELETE FROM " + table + " WHERE CURRENT OF " + cursorName);
    if (diag) *diag = d.Diag();
    return rc;
}

TEST_P(CursorLibraryTest, PositionedUpdateChangesExactlyThePositionedRow) {
    for (bool withKey : {true, false}) {
        SCOPED_TRACE(withKey ? "primary key" : "no key");
        FRaw->DropTableIfExists(FTable);
        CreateTable(5, withKey);
        LibConnection c(Drv());
        Stmt s(c);
        std::string name = s.OpenLikeEngine(Select());
        RowBuffers r;
        r.Bind(s.H());
        ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS);
        ASSERT_EQ(r.Id, 3);
        r.Set(3, "changed", 333);
        std::string diag;
        ASSERT_EQ(EngineUpdate(c, s, name, FTable, r, &diag), SQL_SUCCESS) << diag;

        auto rows = RawRows();
        ASSERT_EQ(rows.size(), 5u);
        for (int i = 0; i < 5; ++i) {
            if (i == 2) {
                EXPECT_EQ(rows[i], (Row{"3", "changed", "333"}));
            } else {
                EXPECT_EQ(rows[i],
                          (Row{std::to_string(i + 1), "row " + std::to_string(i + 1), std::to_string(10 * (i + 1))}));
            }
        }
        // Fetched again, the row holds what it holds now, also after leaving it.
        ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 1), SQL_SUCCESS);
        ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS);
        EXPECT_EQ(r.Text(), "changed");
        EXPECT_EQ(r.B, 333);
        // A second edit identifies the row by what it now holds (without a key
        // the old values would match nothing).
        r.Set(3, "twice", 3333);
        ASSERT_EQ(EngineUpdate(c, s, name, FTable, r, &diag), SQL_SUCCESS) << diag;
        EXPECT_EQ(RawRows()[2], (Row{"3", "twice", "3333"}));
        // Changing a key value is a change like any other.
        ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS);
        EXPECT_EQ(r.Text(), "twice");
        r.Set(30, "moved", std::nullopt);
        ASSERT_EQ(EngineUpdate(c, s, name, FTable, r, &diag), SQL_SUCCESS) << diag;
        ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_NEXT, 0), SQL_SUCCESS);
        ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_PRIOR, 0), SQL_SUCCESS);
        EXPECT_EQ(r.Id, 30);
        EXPECT_EQ(r.BInd, SQL_NULL_DATA);
        r.Set(31, "moved again", 31);
        ASSERT_EQ(EngineUpdate(c, s, name, FTable, r, &diag), SQL_SUCCESS) << diag;
        auto after = RawRows();
        ASSERT_EQ(after.size(), 5u);
        EXPECT_EQ(after[4], (Row{"31", "moved again", "31"}));
        EXPECT_EQ(after[2], (Row{"4", "row 4", "40"}));
    }
}

TEST_P(CursorLibraryTest, NullsIdentifyRowsWithoutAKey) {
    CreateTable(0, false);
    FRaw->Exec("INSERT INTO " + FTable + " (id, a, b) VALUES (1, NULL, 5), (2, 'x', NULL), (3, NULL, NULL)");
    LibConnection c(Drv());
    Stmt s(c);
    std::string name = s.OpenLikeEngine(Select() + " ORDER BY id");
    RowBuffers r;
    r.Bind(s.H());
    for (int row : {1, 2, 3}) {
        ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, row), SQL_SUCCESS);
        ASSERT_EQ(r.Id, row);
        r.Set(row, ("new " + std::to_string(row)).c_str(), row * 100);
        std::string diag;
        ASSERT_EQ(EngineUpdate(c, s, name, FTable, r, &diag), SQL_SUCCESS) << "row " << row << ": " << diag;
    }
    EXPECT_EQ(RawRows(), (std::vector<Row>{{"1", "new 1", "100"}, {"2", "new 2", "200"}, {"3", "new 3", "300"}}));
}

TEST_P(CursorLibraryTest, ADuplicateRowWithoutAKeyIsAConflictAndNothingChanges) {
    CreateTable(0, false);
    FRaw->Exec("INSERT INTO " + FTable + " (id, a, b) VALUES (1, 'same', 1), (1, 'same', 1), (2, 'other', 2)");
    LibConnection c(Drv());
    Stmt s(c);
    std::string name = s.OpenLikeEngine(Select() + " ORDER BY id");
    RowBuffers r;
    r.Bind(s.H());
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 1), SQL_SUCCESS);
    r.Set(1, "changed", 1);
    std::string diag;
    EXPECT_EQ(EngineUpdate(c, s, name, FTable, r, &diag), SQL_ERROR);
    EXPECT_NE(diag.find("[01001]"), std::string::npos) << diag;
    EXPECT_NE(diag.find("ursor operation conflict"), std::string::npos) << diag;
    EXPECT_EQ(EngineDelete(c, s, name, FTable, &diag), SQL_ERROR);
    EXPECT_NE(diag.find("[01001]"), std::string::npos) << diag;
    EXPECT_EQ(RawRows(), (std::vector<Row>{{"1", "same", "1"}, {"1", "same", "1"}, {"2", "other", "2"}}));
    // The unique row is still written.
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS);
    EXPECT_EQ(EngineDelete(c, s, name, FTable, &diag), SQL_SUCCESS) << diag;
    EXPECT_EQ(RawRows().size(), 2u);
}

TEST_P(CursorLibraryTest, ARowChangedElsewhereIsAConflict) {
    CreateTable(3);
    LibConnection c(Drv());
    Stmt s(c);
    std::string name = s.OpenLikeEngine("SELECT a, b FROM " + FTable + " ORDER BY id");  // no key in the cursor
    char a[21] = {};
    SQLINTEGER b = 0;
    SQLLEN ai = 0, bi = 0;
    odbc::SQLBindCol(s.H(), 1, SQL_C_CHAR, a, sizeof a, &ai);
    odbc::SQLBindCol(s.H(), 2, SQL_C_SLONG, &b, 0, &bi);
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 2), SQL_SUCCESS);
    FRaw->Exec("UPDATE " + FTable + " SET b = 99 WHERE id = 2");
    ASSERT_EQ(odbc::SQLSetPos(s.H(), 1, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
    Stmt u(c);
    EXPECT_EQ(u.Exec("UPDATE " + FTable + " SET a = 'mine' WHERE CURRENT OF " + name), SQL_ERROR);
    EXPECT_EQ(u.State(), "01001") << u.Diag();
    EXPECT_EQ(RawRows()[1], (Row{"2", "row 2", "99"}));
}

TEST_P(CursorLibraryTest, PositionedStatementsNeedAPositionedCursorOfTheConnection) {
    CreateTable(2);
    LibConnection c(Drv());
    Stmt s(c);
    std::string name = s.OpenLikeEngine(Select());
    Stmt u(c);
    const std::string update = "UPDATE " + FTable + " SET a = 'x' WHERE CURRENT OF " + name;
    // Executed, not fetched yet.
    EXPECT_EQ(u.Exec(update), SQL_ERROR);
    EXPECT_EQ(u.State(), "24000") << u.Diag();
    // Fetched past the end.
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 3), SQL_NO_DATA);
    EXPECT_EQ(u.Exec(update), SQL_ERROR);
    EXPECT_EQ(u.State(), "24000");
    // No such cursor, and a cursor of another connection.
    EXPECT_EQ(u.Exec("DELETE FROM " + FTable + " WHERE CURRENT OF nosuchcursor"), SQL_ERROR);
    EXPECT_EQ(u.State(), "34000") << u.Diag();
    LibConnection c2(Drv());
    Stmt u2(c2);
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_FIRST, 0), SQL_SUCCESS);
    EXPECT_EQ(u2.Exec(update), SQL_ERROR);
    EXPECT_EQ(u2.State(), "34000");
    // Closed again.
    ASSERT_TRUE(Ok(odbc::SQLCloseCursor(s.H())));
    EXPECT_EQ(u.Exec(update), SQL_ERROR);
    EXPECT_EQ(u.State(), "24000");
    EXPECT_EQ(RawRows(), (std::vector<Row>{{"1", "row 1", "10"}, {"2", "row 2", "20"}}));
}

TEST_P(CursorLibraryTest, DeletedRowsKeepTheirNumbers) {
    CreateTable(8);
    LibConnection c(Drv());
    Stmt s(c);
    std::string name = s.OpenLikeEngine(Select());
    RowBuffers r;
    r.Bind(s.H());
    // The engine's bookkeeping: it deletes logical rows 3 and then 5 (1-based)
    // and maps later numbers past the deleted ones.
    std::vector<SQLLEN> deleted;
    auto map = [&](SQLLEN n) {
        SQLLEN m = n;
        for (SQLLEN e : deleted)
            if (n >= e) ++m;
        return m;
    };
    for (SQLLEN logical : {3, 5}) {
        ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, map(logical)), SQL_SUCCESS);
        std::string diag;
        ASSERT_EQ(EngineDelete(c, s, name, FTable, &diag), SQL_SUCCESS) << diag;
        deleted.push_back(logical);
    }
    EXPECT_EQ(RawRows("id"), (std::vector<Row>{{"1"}, {"2"}, {"4"}, {"5"}, {"7"}, {"8"}}));
    // Position 4 fetches cursor row 5, position 5 cursor row 7, as numbered before.
    const int expected[] = {1, 2, 4, 5, 7, 8};
    for (SQLLEN logical = 1; logical <= 6; ++logical) {
        ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, map(logical)), SQL_SUCCESS);
        EXPECT_EQ(r.Id, expected[logical - 1]);
    }
    // A deleted row fetched by its number is not written again.
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS);
    std::string diag;
    EXPECT_EQ(EngineDelete(c, s, name, FTable, &diag), SQL_ERROR);
    EXPECT_NE(diag.find("[01001]"), std::string::npos) << diag;
    // Rows added elsewhere appear only when the statement runs again.
    FRaw->Exec("INSERT INTO " + FTable + " (id, a, b) VALUES (9, 'row 9', 90)");
    EXPECT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 9), SQL_NO_DATA);
    ASSERT_TRUE(Ok(odbc::SQLCloseCursor(s.H())));
    ASSERT_EQ(odbc::SQLExecute(s.H()), SQL_SUCCESS);
    int count = 0;
    while (odbc::SQLFetchScroll(s.H(), SQL_FETCH_NEXT, 0) == SQL_SUCCESS) ++count;
    EXPECT_EQ(count, 7);
}

TEST_P(CursorLibraryTest, PositionedUpdateInsideTheApplicationsTransaction) {
    CreateTable(3);
    LibConnection c(Drv());
    ASSERT_TRUE(Ok(odbc::SQLSetConnectAttr(c.Dbc(), SQL_ATTR_AUTOCOMMIT,
                                           reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), SQL_IS_UINTEGER)));
    Stmt s(c);
    std::string name = s.OpenLikeEngine(Select());
    RowBuffers r;
    r.Bind(s.H());
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 2), SQL_SUCCESS);
    r.Set(2, "in transaction", 2);
    std::string diag;
    ASSERT_EQ(EngineUpdate(c, s, name, FTable, r, &diag), SQL_SUCCESS) << diag;
    // A conflict inside the transaction undoes only the library's statement:
    // the row is gone (deleted by the application in the same transaction).
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 1), SQL_SUCCESS);
    Stmt w(c);
    ASSERT_TRUE(Ok(w.Exec("DELETE FROM " + FTable + " WHERE id = 1"))) << w.Diag();
    r.Set(1, "lost", 1);
    EXPECT_EQ(EngineUpdate(c, s, name, FTable, r, &diag), SQL_ERROR);
    EXPECT_NE(diag.find("[01001]"), std::string::npos) << diag;
    ASSERT_TRUE(Ok(w.Exec("UPDATE " + FTable + " SET b = 77 WHERE id = 3"))) << w.Diag();
    ASSERT_TRUE(Ok(odbc::SQLEndTran(SQL_HANDLE_DBC, c.Dbc(), SQL_COMMIT))) << Diags(SQL_HANDLE_DBC, c.Dbc());
    EXPECT_EQ(RawRows(), (std::vector<Row>{{"2", "in transaction", "2"}, {"3", "row 3", "77"}}));
    // And the application's rollback undoes the library's work.
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS);
    r.Set(3, "rolled back", 3);
    ASSERT_EQ(EngineUpdate(c, s, name, FTable, r, &diag), SQL_SUCCESS) << diag;
    ASSERT_TRUE(Ok(odbc::SQLEndTran(SQL_HANDLE_DBC, c.Dbc(), SQL_ROLLBACK)));
    EXPECT_EQ(RawRows()[1], (Row{"3", "row 3", "77"}));
    odbc::SQLSetConnectAttr(c.Dbc(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON),
                            SQL_IS_UINTEGER);
}

TEST_P(CursorLibraryTest, QuotesColumnNamesThatAreNoPlainIdentifiers) {
    const std::string q(1, Drv().Traits.IdentifierQuote);
    FRaw->Exec("CREATE TABLE " + FTable + " (" + q + "Unit Price" + q + " integer, " + q + "order" + q +
               " varchar(10), " + q + "Mixed" + q + " integer)");
    FRaw->Exec("INSERT INTO " + FTable + " VALUES (1, 'a', 1), (2, 'b', 2)");
    LibConnection c(Drv());
    Stmt s(c);
    std::string name = s.OpenLikeEngine("SELECT * FROM " + FTable);
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 2), SQL_SUCCESS) << s.Diag();
    ASSERT_EQ(odbc::SQLSetPos(s.H(), 1, SQL_POSITION, SQL_LOCK_NO_CHANGE), SQL_SUCCESS);
    Stmt u(c);
    ASSERT_EQ(u.Exec("UPDATE " + FTable + " SET " + q + "order" + q + " = 'z' WHERE CURRENT OF " + name), SQL_SUCCESS)
        << u.Diag();
    EXPECT_EQ(FRaw->Query("SELECT " + q + "order" + q + " FROM " + FTable + " ORDER BY 1"),
              (std::vector<Row>{{"a"}, {"z"}}));
}

TEST_P(CursorLibraryTest, APreparedPositionedStatementFollowsTheCursor) {
    CreateTable(4);
    LibConnection c(Drv());
    Stmt s(c);
    // FOR UPDATE as older applications write it (the SQLite driver does not
    // know the clause; the library drops it there).
    std::string name = s.OpenLikeEngine(Select() + " ORDER BY id FOR UPDATE");
    Stmt u(c);
    ASSERT_EQ(u.Prepare("UPDATE " + FTable + " SET b = b + ?, a = ? WHERE CURRENT OF " + name), SQL_SUCCESS)
        << u.Diag();
    SQLINTEGER add = 5;
    char text[21] = "prepared";
    SQLLEN addInd = 0, textInd = SQL_NTS;
    ASSERT_TRUE(
        Ok(odbc::SQLBindParameter(u.H(), 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0, &add, 0, &addInd)));
    ASSERT_TRUE(Ok(odbc::SQLBindParameter(u.H(), 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0, text, sizeof text,
                                          &textInd)));
    SQLSMALLINT cols = -1;
    EXPECT_TRUE(Ok(odbc::SQLNumResultCols(u.H(), &cols)));
    EXPECT_EQ(cols, 0);
    for (SQLLEN row : {2, 4}) {
        ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, row), SQL_SUCCESS) << s.Diag();
        ASSERT_EQ(odbc::SQLExecute(u.H()), SQL_SUCCESS) << u.Diag();
        add = 100;
    }
    EXPECT_EQ(RawRows(),
              (std::vector<Row>{
                  {"1", "row 1", "10"}, {"2", "prepared", "25"}, {"3", "row 3", "30"}, {"4", "prepared", "140"}}));
    // An expression in the SET clause: the library reads the row back.
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 2), SQL_SUCCESS);
    SQLINTEGER b = 0;
    SQLLEN bi = 0;
    ASSERT_TRUE(Ok(odbc::SQLGetData(s.H(), 3, SQL_C_SLONG, &b, 0, &bi))) << s.Diag();
    EXPECT_EQ(b, 25);
}

TEST_P(CursorLibraryTest, SetPosDeletesAndRefreshesThroughTheLibrary) {
    CreateTable(3, false);
    LibConnection c(Drv());
    Stmt s(c);
    s.OpenLikeEngine(Select() + " ORDER BY id");
    RowBuffers r;
    r.Bind(s.H());
    SQLUSMALLINT status = 0xFFFF;
    ASSERT_TRUE(Ok(odbc::SQLSetStmtAttr(s.H(), SQL_ATTR_ROW_STATUS_PTR, &status, 0)));
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 2), SQL_SUCCESS);
    ASSERT_EQ(odbc::SQLSetPos(s.H(), 1, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << s.Diag();
    SQLLEN rows = 0;
    ASSERT_TRUE(Ok(odbc::SQLRowCount(s.H(), &rows)));
    EXPECT_EQ(rows, 1);
    EXPECT_EQ(RawRows("id"), (std::vector<Row>{{"1"}, {"3"}}));
    // The deleted row keeps its place and says what it is.
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS);
    EXPECT_EQ(r.Id, 3);
    EXPECT_EQ(status, SQL_ROW_SUCCESS);
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_PRIOR, 0), SQL_SUCCESS);
    EXPECT_EQ(r.Id, 2);
    EXPECT_EQ(status, SQL_ROW_DELETED);
    EXPECT_EQ(odbc::SQLSetPos(s.H(), 1, SQL_DELETE, SQL_LOCK_NO_CHANGE), SQL_ERROR);
    EXPECT_EQ(s.State(), "01001");
    // SQL_REFRESH brings a row's current values into the buffers.
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 1), SQL_SUCCESS);
    FRaw->Exec("UPDATE " + FTable + " SET b = 11 WHERE id = 1");
    r.B = -1;
    ASSERT_EQ(odbc::SQLSetPos(s.H(), 1, SQL_REFRESH, SQL_LOCK_NO_CHANGE), SQL_SUCCESS) << s.Diag();
    EXPECT_EQ(r.Id, 1);
    EXPECT_EQ(r.B, 10);  // a static cursor: the refresh shows the row as the cursor holds it
}

TEST_P(CursorLibraryTest, ForwardOnlyCursorsArePositionedToo) {
    CreateTable(3);
    LibConnection c(Drv());
    Stmt s(c);
    std::string name = "fwd_cursor";
    ASSERT_EQ(odbc::SQLSetCursorName(s.H(), reinterpret_cast<SQLCHAR*>(name.data()), SQL_NTS), SQL_SUCCESS);
    ASSERT_TRUE(Ok(s.Exec(Select() + " ORDER BY id"))) << s.Diag();
    RowBuffers r;
    r.Bind(s.H());
    Stmt u(c);
    while (odbc::SQLFetch(s.H()) == SQL_SUCCESS) {
        if (r.Id != 2) continue;
        ASSERT_EQ(u.Exec("DELETE FROM " + FTable + " WHERE CURRENT OF " + name), SQL_SUCCESS) << u.Diag();
    }
    ASSERT_TRUE(Ok(odbc::SQLCloseCursor(s.H())));
    EXPECT_EQ(RawRows("id"), (std::vector<Row>{{"1"}, {"3"}}));
}

// --- Long data ------------------------------------------------------------------------------

TEST_P(CursorLibraryTest, ReadsLongValuesAfterAnyScroll) {
    CreateTable(0);
    std::string big(70000, 'x');
    for (std::size_t i = 0; i < big.size(); i += 100) big[i] = static_cast<char>('a' + (i / 100) % 26);
    const std::string bytes("\x00\x01\xfe\xff\x00", 5);
    FRaw->Exec("INSERT INTO " + FTable + " (id, a, b, memo, bin) VALUES (1, 'one', 1, '" + big + "', " +
               BinaryLiteral(Drv(), bytes) + "), (2, 'two', 2, NULL, NULL), (3, 'three', 3, '', NULL)");
    LibConnection c(Drv());
    Stmt s(c);
    s.OpenLikeEngine(Select() + " ORDER BY id");
    auto memo = [&](int row) -> std::optional<std::string> {
        EXPECT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, row), SQL_SUCCESS) << s.Diag();
        // Size first (one byte), as the engine does, then the value from a fresh fetch.
        char one[1];
        SQLLEN size = 0;
        SQLRETURN rc = odbc::SQLGetData(s.H(), 4, SQL_C_CHAR, one, 1, &size);
        EXPECT_TRUE(Ok(rc)) << s.Diag();
        if (size == SQL_NULL_DATA) return std::nullopt;
        EXPECT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, row), SQL_SUCCESS);
        std::string v(static_cast<std::size_t>(size) + 1, '\0');
        SQLLEN ind = 0;
        EXPECT_TRUE(Ok(odbc::SQLGetData(s.H(), 4, SQL_C_CHAR, v.data(), size + 1, &ind)));
        v.resize(static_cast<std::size_t>(size));
        return v;
    };
    EXPECT_EQ(memo(3), "");
    EXPECT_EQ(memo(1), big);
    EXPECT_EQ(memo(2), std::nullopt);
    EXPECT_EQ(memo(1), big);
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_LAST, 0), SQL_SUCCESS);
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_PRIOR, 0), SQL_SUCCESS);
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_PRIOR, 0), SQL_SUCCESS);
    char bin[16];
    SQLLEN ind = 0;
    ASSERT_TRUE(Ok(odbc::SQLGetData(s.H(), 5, SQL_C_BINARY, bin, sizeof bin, &ind))) << s.Diag();
    ASSERT_EQ(ind, 5);
    EXPECT_EQ(std::string(bin, 5), bytes);
}

/// Writes one long column of the current row through SQLSetPos(SQL_UPDATE)
/// with data at execution, the engine's way; answers the last return code.
SQLRETURN WriteLong(Stmt& s, SQLLEN row, SQLUSMALLINT column, SQLSMALLINT cType, std::string& data) {
    odbc::SQLFreeStmt(s.H(), SQL_UNBIND);
    EXPECT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, row), SQL_SUCCESS) << s.Diag();
    SQLLEN ind = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(data.size()));
    EXPECT_TRUE(Ok(odbc::SQLBindCol(s.H(), column, cType, data.data(), static_cast<SQLLEN>(data.size()), &ind)));
    SQLRETURN rc = odbc::SQLSetPos(s.H(), 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE);
    EXPECT_EQ(rc, SQL_NEED_DATA) << s.Diag();
    if (rc == SQL_NEED_DATA) {
        SQLPOINTER token = nullptr;
        EXPECT_EQ(odbc::SQLParamData(s.H(), &token), SQL_NEED_DATA);
        EXPECT_EQ(token, static_cast<SQLPOINTER>(data.data()));
        EXPECT_TRUE(Ok(odbc::SQLPutData(s.H(), token, static_cast<SQLLEN>(data.size())))) << s.Diag();
        rc = odbc::SQLParamData(s.H(), nullptr);
    }
    odbc::SQLFreeStmt(s.H(), SQL_UNBIND);  // `ind` lives here only
    return rc;
}

TEST_P(CursorLibraryTest, WritesLongValuesThroughSetPosUpdateWithDataAtExecution) {
    CreateTable(3);
    LibConnection c(Drv());
    Stmt s(c);
    s.OpenLikeEngine(Select());
    std::string megabyte(1 << 20, '\0');
    for (std::size_t i = 0; i < megabyte.size(); ++i) megabyte[i] = static_cast<char>('A' + i % 23);
    ASSERT_EQ(WriteLong(s, 2, 4, SQL_C_CHAR, megabyte), SQL_SUCCESS) << s.Diag();
    std::string bytes("\x00zero\x00\xff\x01", 8);
    ASSERT_EQ(WriteLong(s, 3, 5, SQL_C_BINARY, bytes), SQL_SUCCESS) << s.Diag();
    std::string empty;
    ASSERT_EQ(WriteLong(s, 3, 4, SQL_C_CHAR, empty), SQL_SUCCESS) << s.Diag();

    auto memos = FRaw->Query("SELECT memo FROM " + FTable + " ORDER BY id");
    ASSERT_EQ(memos.size(), 3u);
    EXPECT_EQ(memos[0][0], "memo 1");
    ASSERT_TRUE(memos[1][0]);
    EXPECT_EQ(memos[1][0]->size(), megabyte.size());
    EXPECT_TRUE(*memos[1][0] == megabyte);  // (not printed: a megabyte)
    EXPECT_EQ(memos[2][0], "");             // empty, not NULL
    EXPECT_EQ(FRaw->Query("SELECT bin FROM " + FTable + " ORDER BY id", SQL_C_BINARY),
              (std::vector<Row>{{std::nullopt}, {std::nullopt}, {bytes}}));

    // The cursor reads the new values back after scrolling away and back.
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_FIRST, 0), SQL_SUCCESS);
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 2), SQL_SUCCESS);
    std::string back(megabyte.size() + 1, '\0');
    SQLLEN ind = 0;
    ASSERT_TRUE(Ok(odbc::SQLGetData(s.H(), 4, SQL_C_CHAR, back.data(), static_cast<SQLLEN>(back.size()), &ind)))
        << s.Diag();
    ASSERT_EQ(ind, static_cast<SQLLEN>(megabyte.size()));
    back.resize(megabyte.size());
    EXPECT_TRUE(back == megabyte);
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_NEXT, 0), SQL_SUCCESS);
    char bin[16];
    ASSERT_TRUE(Ok(odbc::SQLGetData(s.H(), 5, SQL_C_BINARY, bin, sizeof bin, &ind))) << s.Diag();
    ASSERT_EQ(ind, 8);
    EXPECT_EQ(std::string(bin, 8), bytes);
    // The row is still identified for a further write of its short columns.
    RowBuffers r;
    r.Bind(s.H());
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 2), SQL_SUCCESS);
    EXPECT_EQ(r.Text(), "row 2");
}

TEST_P(CursorLibraryTest, AddsRowsWithLongValuesThroughBulkAdd) {
    CreateTable(2);
    LibConnection c(Drv());
    Stmt s(c);
    s.OpenLikeEngine(Select());
    RowBuffers r;
    r.Bind(s.H());
    // The engine's insert with a long value: the other columns bound with the
    // new record, the long column for data at execution.
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 2), SQL_SUCCESS);
    r.Set(7, "added", std::nullopt);
    ASSERT_TRUE(Ok(odbc::SQLSetPos(s.H(), 1, SQL_POSITION, SQL_LOCK_NO_CHANGE)));
    std::string bytes(
        "\x00\x00"
        "added\x00",
        8);
    SQLLEN ind = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(bytes.size()));
    ASSERT_TRUE(Ok(odbc::SQLBindCol(s.H(), 5, SQL_C_BINARY, bytes.data(), static_cast<SQLLEN>(bytes.size()), &ind)));
    ASSERT_EQ(odbc::SQLBulkOperations(s.H(), SQL_ADD), SQL_NEED_DATA) << s.Diag();
    SQLPOINTER token = nullptr;
    ASSERT_EQ(odbc::SQLParamData(s.H(), &token), SQL_NEED_DATA);
    EXPECT_EQ(token, static_cast<SQLPOINTER>(bytes.data()));
    ASSERT_TRUE(Ok(odbc::SQLPutData(s.H(), token, static_cast<SQLLEN>(bytes.size()))));
    ASSERT_EQ(odbc::SQLParamData(s.H(), nullptr), SQL_SUCCESS) << s.Diag();
    SQLLEN rows = 0;
    ASSERT_TRUE(Ok(odbc::SQLRowCount(s.H(), &rows)));
    EXPECT_EQ(rows, 1);
    odbc::SQLFreeStmt(s.H(), SQL_UNBIND);

    EXPECT_EQ(RawRows("id, a, b, memo"), (std::vector<Row>{{"1", "row 1", "10", "memo 1"},
                                                           {"2", "row 2", "20", "memo 2"},
                                                           {"7", "added", std::nullopt, std::nullopt}}));
    EXPECT_EQ(FRaw->Query("SELECT bin FROM " + FTable + " WHERE id = 7", SQL_C_BINARY), (std::vector<Row>{{bytes}}));
    // The open result does not show it; the next execution does.
    EXPECT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 3), SQL_NO_DATA);
    ASSERT_TRUE(Ok(odbc::SQLCloseCursor(s.H())));
    ASSERT_EQ(odbc::SQLExecute(s.H()), SQL_SUCCESS);
    EXPECT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 3), SQL_SUCCESS);
}

TEST_P(CursorLibraryTest, AbandonedDataAtExecutionChangesNothing) {
    CreateTable(1);
    LibConnection c(Drv());
    Stmt s(c);
    s.OpenLikeEngine(Select());
    ASSERT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, 1), SQL_SUCCESS);
    std::string data = "never sent";
    SQLLEN ind = SQL_LEN_DATA_AT_EXEC(static_cast<SQLLEN>(data.size()));
    ASSERT_TRUE(Ok(odbc::SQLBindCol(s.H(), 4, SQL_C_CHAR, data.data(), static_cast<SQLLEN>(data.size()), &ind)));
    ASSERT_EQ(odbc::SQLSetPos(s.H(), 1, SQL_UPDATE, SQL_LOCK_NO_CHANGE), SQL_NEED_DATA) << s.Diag();
    // Other calls wait for the data.
    EXPECT_EQ(odbc::SQLFetchScroll(s.H(), SQL_FETCH_FIRST, 0), SQL_ERROR);
    EXPECT_EQ(s.State(), "HY010");
    ASSERT_TRUE(Ok(odbc::SQLFreeStmt(s.H(), SQL_CLOSE)));
    // The connection is back in autocommit: another connection can write the row.
    FRaw->Exec("UPDATE " + FTable + " SET b = 5 WHERE id = 1");
    EXPECT_EQ(RawRows("id, b, memo"), (std::vector<Row>{{"1", "5", "memo 1"}}));
}

// --- Threads --------------------------------------------------------------------------------

TEST_P(CursorLibraryTest, ConnectionsWorkFromDifferentThreads) {
    CreateTable(40);
    std::vector<std::string> failures(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            try {
                LibConnection c(Drv());
                Stmt s(c);
                std::string name = s.OpenLikeEngine(Select() + " WHERE id % 4 = " + std::to_string(t) + " ORDER BY id");
                RowBuffers r;
                r.Bind(s.H());
                for (SQLLEN row = 1; row <= 10; ++row) {
                    if (odbc::SQLFetchScroll(s.H(), SQL_FETCH_ABSOLUTE, row) != SQL_SUCCESS) {
                        failures[t] = "fetch " + s.Diag();
                        return;
                    }
                    r.Set(r.Id, ("thread " + std::to_string(t)).c_str(), r.Id);
                    std::string diag;
                    if (EngineUpdate(c, s, name, FTable, r, &diag) != SQL_SUCCESS) {
                        failures[t] = "update " + diag;
                        return;
                    }
                }
            } catch (const std::exception& e) {
                failures[t] = e.what();
            }
        });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], "") << "thread " << t;
    for (const Row& row : RawRows()) EXPECT_EQ(row[1], "thread " + std::to_string(std::stoi(*row[0]) % 4));
}

INSTANTIATE_TEST_SUITE_P(Drivers, CursorLibraryTest, AllDrivers(), DriverParamName());

}  // namespace
}  // namespace velora::test
