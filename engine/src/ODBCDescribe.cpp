// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBC::DescribeColumns: how each result column is held in the record. The
// SQL type picks a form (MapSQLType); one small function per form asks the
// driver what that form needs and answers the descriptor's sizes and the
// bytes the column's data area takes. DescribeColumns then lays the columns
// out one after the other, each data area followed by its indicator slot.
#include "velora/engine/ODBCCursor.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/engine/SQLText.h"

#include "EngineInternal.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

namespace velora {

namespace {

using detail::CheckStmt;

/// The engine type and C type of an SQL type, before length rules.
struct TypeMapping {
    std::uint16_t FldType;
    std::uint16_t SubType;
    SQLSMALLINT CType;
};

TypeMapping MapSQLType(SQLSMALLINT sqlType) {
    switch (sqlType) {
        case SQL_CHAR:
        case SQL_VARCHAR:
        case SQL_WCHAR:
        case SQL_WVARCHAR:
            return {fcString, 0, SQL_C_CHAR};
        case SQL_NUMERIC:
        case SQL_DECIMAL:
            return {fcFloat, 0, SQL_C_CHAR};
        case SQL_FLOAT:
        case SQL_REAL:
        case SQL_DOUBLE:
            return {fcFloat, 0, SQL_C_DOUBLE};
        case SQL_BIGINT:
            return {fcInt64, 0, SQL_C_SBIGINT};
        // 32-bit integer fields, fetched as 64 bits: SQLite's integer columns
        // hold 64-bit values, which its driver cuts silently to SQL_C_LONG; a
        // value that does not fit the field is refused when read.
        case SQL_INTEGER:
            return {fcInt32, 0, SQL_C_SBIGINT};
        case SQL_SMALLINT:
        case SQL_TINYINT:
            return {fcInt16, 0, SQL_C_SHORT};
        case SQL_BIT:
            return {fcBoolean, 0, SQL_C_BIT};
        case SQL_TIMESTAMP:
            return {fcTimeStamp, 0, SQL_C_TIMESTAMP};
        case SQL_TYPE_TIMESTAMP:
            return {fcTimeStamp, 0, SQL_C_TYPE_TIMESTAMP};
        case SQL_DATE:
        case SQL_TYPE_DATE:
            return {fcDate, 0, SQL_C_TYPE_DATE};
        // Times travel as text: the time structure has no fraction, drivers
        // warn (01S07) when a fraction is cut, which would refuse the block,
        // and MariaDB's times reach beyond a day (838:59:59).
        case SQL_TIME:
        case SQL_TYPE_TIME:
            return {fcTime, 0, SQL_C_CHAR};
        case SQL_BINARY:
            return {fcBytes, 0, SQL_C_BINARY};
        case SQL_VARBINARY:
            return {fcVarBytes, 0, SQL_C_BINARY};
        case SQL_LONGVARCHAR:
        case SQL_WLONGVARCHAR:
            return {fcBlob, fscMemo, SQL_C_DEFAULT};
        case SQL_LONGVARBINARY:
            return {fcBlob, fscBinary, SQL_C_DEFAULT};
        default:
            return {fcUnknown, 0, SQL_C_DEFAULT};
    }
}

std::uint16_t ClampU16(SQLLEN v, SQLLEN max = 65534) {
    if (v < 0) return 0;
    return static_cast<std::uint16_t>(v > max ? max : v);
}

/// One column's numeric attributes.
class ColumnAttributes {
public:
    ColumnAttributes(SQLHSTMT stmt, SQLUSMALLINT column) : FStmt(stmt), FColumn(column) {}
    /// The attribute's value; a failure raises when `check`, else answers 0.
    SQLLEN Get(SQLUSMALLINT field, bool check = true) const {
        SQLLEN value = 0;
        SQLRETURN rc = odbc::SQLColAttribute(FStmt, FColumn, field, nullptr, 0, nullptr, &value);
        if (!ODBCSucceeded(rc)) {
            if (check) ODBCCheckError(SQL_HANDLE_STMT, FStmt, rc);
            return 0;
        }
        return value;
    }
    SQLUSMALLINT Column() const { return FColumn; }
    SQLHSTMT Stmt() const { return FStmt; }

private:
    SQLHSTMT FStmt;
    SQLUSMALLINT FColumn;
};

/// What DescribeColumns needs to know of one column besides its name.
struct ColumnForm {
    TypeMapping Type{fcUnknown, 0, SQL_C_DEFAULT};
    std::uint16_t Units1 = 0;
    std::int16_t Units2 = 0;
    std::uint16_t Len = 0;   ///< buffer length bound with SQLBindCol
    std::uint32_t Area = 0;  ///< bytes of the data area in the record
    std::uint32_t CharSize = 0;
    std::uint16_t Precision = 0;
};

ColumnForm LongForm(std::uint16_t subType, SQLLEN length) {
    ColumnForm f;
    f.Type = {fcBlob, subType, SQL_C_DEFAULT};
    f.Units1 = ClampU16(length);
    f.Len = static_cast<std::uint16_t>(f.Units1 + 1);
    f.Area = 0;  // not bound: only the indicator slot
    return f;
}

/// Bytes of UTF-8 one character may take.
constexpr SQLLEN kMaxCharBytes = 4;

/// Character columns: a buffer of the column's octet length, or four bytes
/// per character when the driver counts characters (SQLite), so every value
/// within the declared size fits; long data when too wide to bind.
/// The driver's name of the column's type ("" when it gives none).
std::string TypeName(const ColumnAttributes& a) {
    char name[64] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN rc =
        odbc::SQLColAttribute(a.Stmt(), a.Column(), SQL_DESC_TYPE_NAME, name, sizeof name, &length, nullptr);
    return ODBCSucceeded(rc) ? std::string(name) : std::string();
}

/// Text types whose size the driver reports is no declared size: psqlODBC
/// says 32 for an interval (whose text runs to 80 characters) and gives it
/// no type name; it names bit strings "unknown" with a size of 4 (bit(8)
/// shows 8 characters). Such a column is given room for kUndeclaredChars
/// characters and no size limit of its own (the server checks what it is
/// sent; a longer value read is still read whole).
bool NoDeclaredSize(const std::string& typeName) {
    return typeName.empty() || typeName == "interval" || typeName == "unknown";
}
constexpr SQLLEN kUndeclaredChars = 255;

ColumnForm DescribeChar(const ColumnAttributes& a, TypeMapping m) {
    SQLLEN octets = a.Get(SQL_COLUMN_LENGTH);
    SQLLEN chars = a.Get(SQL_DESC_LENGTH, false);
    if (chars <= 0) chars = a.Get(SQL_COLUMN_PRECISION, false);
    if (chars <= 0) chars = octets;
    const bool undeclared = NoDeclaredSize(TypeName(a));
    if (undeclared) octets = chars = std::max(chars, kUndeclaredChars);
    const SQLLEN bytes = std::max(octets, chars * kMaxCharBytes);
    if (octets < 0 || bytes > static_cast<SQLLEN>(kMaxBoundColumnLength)) return LongForm(fscMemo, octets);
    ColumnForm f;
    f.Type = m;
    f.Units1 = static_cast<std::uint16_t>(bytes);
    f.Len = static_cast<std::uint16_t>(bytes + 1);
    f.Area = f.Len;
    f.CharSize = undeclared ? 0 : static_cast<std::uint32_t>(std::max<SQLLEN>(chars, 0));
    return f;
}

/// Binary columns: bound with their length, or long data when too wide to
/// bind, or when the driver reports 255 bytes or no size, which is what it
/// says for a column without a declared size (SQLite's blob).
ColumnForm DescribeBinary(const ColumnAttributes& a, TypeMapping m) {
    const SQLLEN length = a.Get(SQL_COLUMN_LENGTH);
    if (length <= 0 || length == 255 || length > static_cast<SQLLEN>(kMaxBoundColumnLength))
        return LongForm(fscBinary, length);
    ColumnForm f;
    f.Type = m;
    f.Units1 = static_cast<std::uint16_t>(length);
    f.Len = static_cast<std::uint16_t>(length + 1);
    f.Area = f.Len;
    return f;
}

/// A decimal fetched as text: room for sign, digits, point and terminator,
/// however the driver counts its length.
ColumnForm DescribeDecimalText(const ColumnAttributes& a, TypeMapping m) {
    const SQLLEN scale = a.Get(SQL_COLUMN_SCALE, false);
    const SQLLEN length = a.Get(SQL_COLUMN_LENGTH, false);
    const SQLLEN precision = a.Get(SQL_COLUMN_PRECISION, false);
    SQLLEN longest = std::max<SQLLEN>(length, precision + 2);
    if (longest <= 2) longest = 40;
    if (longest > 130) longest = 130;
    ColumnForm f;
    f.Type = m;
    f.Units1 = static_cast<std::uint16_t>(longest + 1);
    f.Units2 = static_cast<std::int16_t>(std::clamp<SQLLEN>(scale, 0, 127));
    f.Precision = static_cast<std::uint16_t>(std::clamp<SQLLEN>(precision, 0, 127));
    f.Len = f.Units1;
    f.Area = f.Len;
    return f;
}

/// A text attribute of a column ("" when the driver gives none).
std::string TextAttribute(const ColumnAttributes& a, SQLUSMALLINT field) {
    char text[256] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN rc = odbc::SQLColAttribute(a.Stmt(), a.Column(), field, text, sizeof text, &length, nullptr);
    return ODBCSucceeded(rc) ? std::string(text) : std::string();
}

std::string SQLLiteral(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}

/// psqlODBC describes a PostgreSQL numeric declared without precision and
/// scale (and any computed numeric) as numeric(28,6), although its values
/// have any number of digits on either side of the point. A column so
/// described is unconstrained when it has no base column (an expression),
/// or when the catalog says its base column was declared without a type
/// modifier; a column declared numeric(28,6) keeps its precision and scale.
bool IsUnconstrainedNumeric(SQLHDBC dbc, const ColumnAttributes& a) {
    if (a.Get(SQL_COLUMN_PRECISION, false) != 28 || a.Get(SQL_COLUMN_SCALE, false) != 6) return false;
    if (TypeName(a) != "numeric" || SQLDialectOf(dbc) != TSQLDialect::PostgreSQL) return false;
    const std::string table = TextAttribute(a, SQL_DESC_BASE_TABLE_NAME);
    const std::string column = TextAttribute(a, SQL_DESC_BASE_COLUMN_NAME);
    if (table.empty() || column.empty()) return true;
    const std::string schema = TextAttribute(a, SQL_DESC_SCHEMA_NAME);
    const std::string query =
        "SELECT a.atttypmod FROM pg_catalog.pg_attribute a JOIN pg_catalog.pg_class c ON c.oid = a.attrelid "
        "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace WHERE c.relname = " + SQLLiteral(table) +
        " AND a.attname = " + SQLLiteral(column) + " AND " +
        (schema.empty() ? std::string("pg_catalog.pg_table_is_visible(c.oid)") : "n.nspname = " + SQLLiteral(schema));
    SQLHSTMT stmt = ODBCAllocStmt(dbc);
    SQLINTEGER typmod = 0;
    SQLLEN indicator = 0;
    const bool found = ODBCSucceeded(odbc::SQLExecDirect(stmt, reinterpret_cast<SQLCHAR*>(const_cast<char*>(query.c_str())),
                                                         SQL_NTS)) &&
                       ODBCSucceeded(odbc::SQLFetch(stmt)) &&
                       ODBCSucceeded(odbc::SQLGetData(stmt, 1, SQL_C_SLONG, &typmod, 0, &indicator)) &&
                       indicator != SQL_NULL_DATA;
    ODBCFreeStmt(stmt);
    return found && typmod < 0;
}

/// A decimal of any precision and scale, fetched as the server's text:
/// room for 255 characters (longer values read whole on the long road),
/// no scale (Units2 kAnyScale) and no precision to check.
ColumnForm DescribeAnyScaleDecimal() {
    ColumnForm f;
    f.Type = {fcFloat, 0, SQL_C_CHAR};
    f.Units1 = 256;
    f.Units2 = kAnyScale;
    f.Precision = 0;
    f.Len = f.Units1;
    f.Area = f.Len;
    return f;
}

/// PostgreSQL's money, which psqlODBC describes as SQL_FLOAT: a 64-bit count
/// of cents that a double cannot hold exactly. It is fetched as the server's
/// text ("-$92,233,720,368,547,758.08") and held as a decimal of 19 digits,
/// 2 after the point; the readers drop the currency and group separators.
bool IsMoney(const ColumnAttributes& a) { return TypeName(a) == "money"; }

ColumnForm DescribeMoney() {
    ColumnForm f;
    f.Type = {fcFloat, fscMoney, SQL_C_CHAR};
    f.Units1 = 64;  // room for any currency symbol, separators and sign
    f.Units2 = 2;
    f.Precision = 19;
    f.Len = f.Units1;
    f.Area = f.Len;
    return f;
}

ColumnForm DescribeDouble(const ColumnAttributes& a, TypeMapping m) {
    return {m, ClampU16(a.Get(SQL_COLUMN_PRECISION)), 0, 8, 8};
}

ColumnForm DescribeInt32(const ColumnAttributes& a, TypeMapping m) {
    const std::uint16_t bytes = m.CType == SQL_C_SBIGINT ? 8 : 4;
    return {m, ClampU16(a.Get(SQL_COLUMN_PRECISION)), 0, bytes, bytes};
}

ColumnForm DescribeInt64(const ColumnAttributes& a, TypeMapping m) {
    return {m, ClampU16(a.Get(SQL_COLUMN_PRECISION)), 0, 8, 8};
}

/// Unsigned integers keep their values in the next wider signed type; an
/// unsigned 64-bit integer, which no signed type holds, is held as its text.
ColumnForm DescribeUnsigned(const ColumnAttributes& a, SQLSMALLINT sqlType) {
    switch (sqlType) {
        case SQL_TINYINT:
        case SQL_SMALLINT:
            return DescribeInt32(a, {fcInt32, 0, SQL_C_LONG});
        case SQL_INTEGER:
            return DescribeInt64(a, {fcInt64, 0, SQL_C_SBIGINT});
        default:  // SQL_BIGINT: 20 digits at most
            return {{fcString, 0, SQL_C_CHAR}, 20, 0, 21, 21};
    }
}

/// A type the engine has no form for (interval, json, arrays, driver
/// codes) is read and written as text, so no column is left out: a string as
/// wide as the widest size the driver reports, or a memo when that is
/// unknown or too wide to bind.
ColumnForm DescribeAsText(const ColumnAttributes& a) {
    SQLLEN width = std::max(
        {a.Get(SQL_DESC_OCTET_LENGTH, false), a.Get(SQL_DESC_DISPLAY_SIZE, false), a.Get(SQL_COLUMN_LENGTH, false)});
    if (width <= 0 || width > static_cast<SQLLEN>(kMaxBoundColumnLength)) return LongForm(fscMemo, 0);
    ColumnForm f;
    f.Type = {fcString, 0, SQL_C_CHAR};
    f.Units1 = static_cast<std::uint16_t>(width);
    f.Len = static_cast<std::uint16_t>(width + 1);
    f.Area = f.Len;
    return f;
}

ColumnForm DescribeInt16(const ColumnAttributes& a, TypeMapping m, SQLSMALLINT sqlType) {
    a.Get(SQL_COLUMN_PRECISION);
    return {m, static_cast<std::uint16_t>(sqlType == SQL_TINYINT ? 3 : 5), 0, 2, 2};
}

ColumnForm DescribeBoolean(const ColumnAttributes& a, TypeMapping m) {
    a.Get(SQL_COLUMN_LENGTH);
    return {m, 1, 0, 2, 2};
}

/// Dates and time stamps: the timestamp structure's 16 bytes (a date
/// structure takes 6 of them).
ColumnForm DescribeTimeStamp(TypeMapping m) { return {m, 19, 0, 16, 16}; }

/// Times of day held as text: room for "-hhhh:mm:ss.fffffffff" and more.
ColumnForm DescribeTimeText(TypeMapping m) { return {m, 8, 0, 32, 32}; }

/// Time stamps: the structure, or the text when the driver describes the
/// column as wider than any time stamp (29 characters with nine digits of
/// fraction) without fraction digits. That is SQLite's, whose column holds
/// the text written and whose driver writes a structure with milliseconds
/// only: held as text, the fraction is read and written whole.
ColumnForm DescribeTimeStampColumn(const ColumnAttributes& a, TypeMapping m) {
    if (a.Get(SQL_COLUMN_LENGTH, false) > 29 && a.Get(SQL_COLUMN_SCALE, false) == 0)
        return {{fcTimeStamp, 0, SQL_C_CHAR}, 19, 0, 40, 40};
    return DescribeTimeStamp(m);
}

bool IsIntegerType(SQLSMALLINT t) {
    return t == SQL_TINYINT || t == SQL_SMALLINT || t == SQL_INTEGER || t == SQL_BIGINT;
}

/// SQLite's driver describes a column declared binary(n) as character data
/// (SQL_VARCHAR, type name "binary") and reads it as text such as X'0102';
/// asked for SQL_C_BINARY it hands over the stored bytes.
bool IsBinaryNamedText(const ColumnAttributes& a, SQLSMALLINT sqlType) {
    if (sqlType != SQL_CHAR && sqlType != SQL_VARCHAR) return false;
    std::string name = TypeName(a);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name == "binary";
}

/// A column a row of the engine's type table claims (ODBCTypeOfColumn):
/// held in the row's C type when the driver reports the row's SQL type,
/// else as text of the row's TextUnits characters.
bool DescribeByTable(const ColumnAttributes& a, SQLSMALLINT sqlType, ColumnForm& f) {
    const bool text = sqlType == SQL_CHAR || sqlType == SQL_VARCHAR || sqlType == SQL_WCHAR || sqlType == SQL_WVARCHAR;
    const std::uint16_t code = ODBCTypeOfColumn(sqlType, text ? TypeName(a) : std::string());
    if (code == fcUnknown) return false;
    const TODBCTypeFacts& t = ODBCTypeFacts(code);
    f.Units1 = t.TextUnits;
    if (sqlType == t.DescribedSQLType && t.AreaSize != 0) {
        f.Type = {code, 0, t.CType};
        f.Len = t.AreaSize;
    } else {
        f.Type = {code, 0, SQL_C_CHAR};
        f.Len = static_cast<std::uint16_t>(t.TextUnits + 1);
    }
    f.Area = f.Len;
    return true;
}

ColumnForm DescribeForm(const ColumnAttributes& a, SQLSMALLINT sqlType) {
    if (ColumnForm f; DescribeByTable(a, sqlType, f)) return f;
    if (IsBinaryNamedText(a, sqlType)) return DescribeBinary(a, MapSQLType(SQL_VARBINARY));
    const TypeMapping m = MapSQLType(sqlType);
    if (IsIntegerType(sqlType) && a.Get(SQL_DESC_UNSIGNED, false) == SQL_TRUE) return DescribeUnsigned(a, sqlType);
    switch (m.FldType) {
        case fcString:
            return DescribeChar(a, m);
        case fcBytes:
        case fcVarBytes:
            return DescribeBinary(a, m);
        case fcFloat:
            if (IsMoney(a)) return DescribeMoney();
            return m.CType == SQL_C_CHAR ? DescribeDecimalText(a, m) : DescribeDouble(a, m);
        case fcInt64:
            return DescribeInt64(a, m);
        case fcInt32:
            return DescribeInt32(a, m);
        case fcInt16:
            return DescribeInt16(a, m, sqlType);
        case fcBoolean:
            return DescribeBoolean(a, m);
        case fcTimeStamp:
            return DescribeTimeStampColumn(a, m);
        case fcDate:
            return DescribeTimeStamp(m);
        case fcTime:
            return DescribeTimeText(m);
        case fcBlob:
            return LongForm(m.SubType, a.Get(SQL_COLUMN_LENGTH, false));
        default:
            return DescribeAsText(a);
    }
}

/// The column's whole name.
String ColumnName(SQLHSTMT stmt, SQLUSMALLINT col) {
    String name(256, '\0');
    SQLSMALLINT nameLength = 0;
    CheckStmt(stmt, odbc::SQLColAttribute(stmt, col, SQL_COLUMN_NAME, name.data(),
                                          static_cast<SQLSMALLINT>(name.size()), &nameLength, nullptr));
    if (nameLength >= static_cast<SQLSMALLINT>(name.size())) {
        name.assign(static_cast<std::size_t>(nameLength) + 1, '\0');
        CheckStmt(stmt, odbc::SQLColAttribute(stmt, col, SQL_COLUMN_NAME, name.data(),
                                              static_cast<SQLSMALLINT>(name.size()), &nameLength, nullptr));
    }
    name.resize(std::strlen(name.c_str()));
    return name;
}

/// Default-width character data of no table: a column whose type the driver
/// may know better after execution (see TODBC::FRetypable). Plain table
/// columns and character data of a declared width never qualify.
/// True when the data source keeps a binary value as written, whatever size
/// its column declares: SQLite stores the 2 bytes written to a column
/// declared blob(16) and delivers them unpadded, which its driver still
/// describes as SQL_BINARY of 16.
bool KeepsBinaryUnpadded(SQLHDBC dbc) {
    char dbms[64] = {};
    SQLSMALLINT length = 0;
    return ODBCSucceeded(odbc::SQLGetInfo(dbc, SQL_DBMS_NAME, dbms, sizeof dbms, &length)) &&
           std::strstr(dbms, "SQLite") != nullptr;
}

bool MayRetype(const ColumnAttributes& a, SQLSMALLINT sqlType) {
    if ((sqlType != SQL_VARCHAR && sqlType != SQL_WVARCHAR) || a.Get(SQL_COLUMN_LENGTH, false) != 255) return false;
    char table[8] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN rc =
        odbc::SQLColAttribute(a.Stmt(), a.Column(), SQL_DESC_BASE_TABLE_NAME, table, sizeof table, &length, nullptr);
    return ODBCSucceeded(rc) && length == 0;
}

}  // namespace

bool TODBC::DescribeAfterExecute() {
    for (const std::uint16_t i : FRetypable) {
        SQLLEN type = 0;
        if (ODBCSucceeded(odbc::SQLColAttribute(Stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_COLUMN_TYPE, nullptr, 0,
                                                nullptr, &type)) &&
            type != SQLTypes[i]) {
            DescribeColumns(FTableName);
            InitCursorProps();
            return true;
        }
    }
    return false;
}

void TODBC::DescribeColumns(const String&) {
    SQLSMALLINT count = 0;
    CheckStmt(Stmt, odbc::SQLNumResultCols(Stmt, &count));
    // A statement without result columns (INSERT, UPDATE, DELETE, or a driver
    // that describes only after execution) is described as having none;
    // OpenCache describes it again once it has run.
    // SQLite's companions of doubles follow the statement's own columns.
    count = static_cast<SQLSMALLINT>(count - static_cast<SQLSMALLINT>(FExactReals.size()));
    if (count < 0) count = 0;
    const auto n = static_cast<std::size_t>(count);
    Columns.assign(n, TODBCFldDesc{});
    CTypes.assign(n, 0);
    SQLTypes.assign(n, 0);
    Indicators.assign(n, 0);

    FLongColumns = 0;
    FRetypable.clear();
    std::uint32_t offset = 0;
    std::uint32_t recordSize = 0;
    std::optional<bool> unpadded;  // asked once, at the first fixed-length binary column
    for (std::size_t i = 0; i < n; ++i) {
        TODBCFldDesc& d = Columns[i];
        const ColumnAttributes attrs(Stmt, static_cast<SQLUSMALLINT>(i + 1));
        d.SetName(ColumnName(Stmt, attrs.Column()));
        d.Updatable = static_cast<std::int16_t>(attrs.Get(SQL_COLUMN_UPDATABLE));
        auto sqlType = static_cast<SQLSMALLINT>(attrs.Get(SQL_COLUMN_TYPE));
        if (IsBinaryNamedText(attrs, sqlType)) sqlType = SQL_VARBINARY;
        // Where no value is padded to its column's size, a fixed-length
        // binary column is variable binary data: a shorter value is read and
        // written as the bytes it has (a fixed-length field would pad it).
        if (sqlType == SQL_BINARY) {
            if (!unpadded) unpadded = KeepsBinaryUnpadded(Dbc);
            if (*unpadded) sqlType = SQL_VARBINARY;
        }
        SQLTypes[i] = sqlType;
        if (MayRetype(attrs, sqlType)) FRetypable.push_back(static_cast<std::uint16_t>(i));

        ColumnForm f = DescribeForm(attrs, sqlType);
        if (f.Type.FldType == fcFloat && f.Type.CType == SQL_C_CHAR && IsUnconstrainedNumeric(Dbc, attrs))
            f = DescribeAnyScaleDecimal();
        d.FldType = f.Type.FldType;
        d.SubType = f.Type.SubType;
        d.CType = CTypes[i] = f.Type.CType;
        d.Units1 = f.Units1;
        d.Units2 = f.Units2;
        d.Len = f.Len;
        d.CharSize = f.CharSize;
        d.Precision = f.Precision;
        d.FieldNo = static_cast<std::uint16_t>(i);
        d.Offset = static_cast<std::uint16_t>(std::min<std::uint32_t>(offset, 0xFFFF));
        d.NullOffset = static_cast<std::uint16_t>(std::min<std::uint32_t>(offset + f.Area, 0xFFFF));
        if (d.FldType == fcBlob) ++FLongColumns;
        if (d.FldType != fcUnknown) {
            offset += f.Area + 2;
            recordSize += d.FldType == fcBlob ? kBlobRecordBytes : f.Area + 2;
        }
        if (recordSize > static_cast<std::uint32_t>(kMaxRecordSize))
            throw EODBCError(0, Format("Row of more than %d bytes is too large for the record (column %s)",
                                       kMaxRecordSize, d.GetName()));
    }
    CurProps.RecordSize = static_cast<std::uint16_t>(recordSize);
}

}  // namespace velora
