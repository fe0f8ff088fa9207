// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The value matrix: every column type each database offers, with its edge
// values (minimum, maximum, zero, NULL, empty, the longest in multi-byte
// UTF-8, fractions to the microsecond, 29 February, precision limits),
// inserted by the database's own client (sqlite3, psql, mariadb), which is
// also the oracle.
//
// For each type (one test instance, named after the type; run one driver with
// --gtest_filter='SQLite/*', 'PostgreSQL/*' or 'MariaDB/*'):
// - read: each value through its field equals the client's text after the
//   type's canonical rule (Rule below; the tables name it per type), on a
//   scrolling query and on a forward-only one fetching rowsets;
// - write, per road: (a) a table edit of another column, (b) a table edit of
//   the column to its own value, (c) an update object with the statement
//   `velora update-sql` generates, only another column assigned, (d) the BLOB
//   stream writing the value back (long types), (e) `velora edit` setting the
//   column to the text the field shows. Afterwards the client reads every
//   stored value back byte for byte (SQLite: with its storage class); it must
//   be what was there, or the write was refused with a clear error that the
//   table lists with its reason. No value may change silently.
//
// Adding a type is one line in its driver's table.
#include "components/DataSetTestUtil.h"
#include "support/DatabaseClient.h"

#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCUpdateSQL.h"
#include "velora/rtl/DateUtils.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#ifndef VELORA_TOOL
#define VELORA_TOOL ""
#endif

namespace velora {
namespace {

using test::DriverKind;

/// How the client's text of a value becomes what the field gives. One rule
/// per type, named in the tables; "norm" below drops a time zone suffix
/// ("+00", "-05:30") and the trailing zeros of a fraction of seconds (and the
/// point when nothing is left) on both sides.
enum class Rule {
    Text,       ///< AsString is the client's text, byte for byte
    Int,        ///< AsString is the client's text; AsLargeInt its number (when it fits 64 bits)
    Float,      ///< a double: AsFloat and AsString's number equal the client's number
    Single,     ///< a 4-byte float: as Float, compared as floats
    Decimal,    ///< an exact decimal: AsString equals the client's text (trailing fraction zeros aside); AsFloat near
    Money,      ///< as Decimal, after dropping the client's currency sign and thousands separators
    Bool,       ///< client 1/t/true gives "True", 0/f/false "False"; AsBoolean likewise
    Date,       ///< AsString equals the client's YYYY-MM-DD; AsDateTime is that day
    Time,       ///< norm(AsString) equals norm(client HH:MM:SS[.ffffff]); AsDateTime that time to the millisecond
    TimeStamp,  ///< norm(AsString) equals norm(client YYYY-MM-DD HH:MM:SS[.ffffff]), a time stamp at midnight
                ///< showing its date alone; AsDateTime that instant to the millisecond
    Bytes,      ///< AsString holds the client's bytes exactly
    Guid,       ///< AsString is the client's GUID in braces, upper case ({A0EEBC99-9C0B-...})
};

/// The ways a value is written back; Read (not a write) stands for reading
/// the value through its field, in the list of refusals.
enum Road { OtherColumn, OwnValue, UpdateObject, BlobStream, Tool, RoadCount, Read = RoadCount };
const char* const RoadNames[] = {"(a) table edit of another column", "(b) table edit to its own value",
                                 "(c) update object, generated SQL", "(d) BLOB stream", "(e) velora edit"};

/// A write the library refuses on purpose: the road, the value (index into
/// Values, -1 for every value) and words of the error it raises.
struct Refusal {
    Road On;
    int Value;
    const char* Reason;
};

/// One column type: its declaration ("{t}" stands for the table's name), the
/// rule, the SQL literals of its values, the writes refused and SQL to run
/// before and after (an enum type).
struct ColumnType {
    std::string Type;
    Rule Canon;
    std::vector<std::string> Values;
    std::vector<Refusal> Refused = {};
    std::string Setup = "", Cleanup = "";
};

/// A value longer than the column's declared size (which SQLite keeps) is
/// refused before it is sent.
constexpr const char* TooLong = "is too long for field";

/// A stored value the field's type cannot hold (a 64-bit integer in a
/// SQLite integer column, which is a 32-bit field; a MariaDB time beyond 24
/// hours) is refused where it is read, never read as NULL or cut; writes
/// that must read it first are refused likewise.
constexpr const char* NotReadable = "cannot be read as the field's type";

/// MariaDB's driver refuses to write a negative time of day.
constexpr const char* NegativeTime = "Datetime field overflow";

/// Faults still open: a cell listed here is expected to fail the way its
/// reason says, is reported as OPEN instead of failing, and fails the test
/// once it passes (so the entry goes when the fault is mended). Value -1
/// stands for every value.
struct OpenFault {
    DriverKind Kind;
    const char* Type;
    Road On;
    int Value;
    const char* Reason;
};
const std::vector<OpenFault> OpenFaults = {};

struct MatrixParam {
    DriverKind Kind;
    const ColumnType* Column;
};
void PrintTo(const MatrixParam& p, std::ostream* os) { *os << p.Column->Type; }

// ---- values -------------------------------------------------------------

std::string Repeat(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}
/// A quoted SQL string literal.
std::string Q(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("''") : std::string(1, c);
    return out + "'";
}
/// n bytes of a pattern that uses every byte value, as hex digits.
std::string HexBytes(int n) {
    static const char* digits = "0123456789ABCDEF";
    std::string out;
    for (int i = 0; i < n; ++i) {
        const unsigned b = (i * 7 + i / 256) & 0xFF;
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}
std::string X(int n) { return "X'" + HexBytes(n) + "'"; }
std::string PgBytes(int n) { return "decode('" + HexBytes(n) + "', 'hex')"; }

const std::string Umlauts10 = "ÄÖÜäöüßéèê";             // 10 characters, 20 bytes
const std::string Emoji20 = Repeat("😀", 20);            // 20 characters, 80 bytes
const std::string Mixed5000 = Repeat("aé€😀", 500);      // 2,000 characters, 5,000 bytes
const std::string TwoByte(int chars) { return Repeat("é", chars); }

// ---- the tables -----------------------------------------------------------

const std::vector<ColumnType>& SQLiteTypes() {
    static const std::vector<ColumnType> types = {
        // An integer column is a 32-bit field: 64-bit values are refused.
        {"integer", Rule::Int, {"-9223372036854775808", "9223372036854775807", "0", "NULL", "2147483647", "-2147483648"},
         {{Read, 0, NotReadable}, {Read, 1, NotReadable}, {OwnValue, 0, NotReadable}, {OwnValue, 1, NotReadable},
          {UpdateObject, 0, NotReadable}, {UpdateObject, 1, NotReadable}, {Tool, 0, NotReadable},
          {Tool, 1, NotReadable}}},
        {"bigint", Rule::Int, {"-9223372036854775808", "9223372036854775807", "0", "NULL"}},
        {"real", Rule::Float, {"-1.7976931348623157e308", "1.7976931348623157e308", "0.0", "NULL", "0.1",
                               "2.2250738585072014e-308"}},
        // SQLite keeps a numeric(p,s) value as an integer or a real: compared as the number.
        {"numeric(10,2)", Rule::Float, {"12345678.91", "-0.01", "0", "NULL", "99999999.99"}},
        {"decimal(20,6)", Rule::Float, {"12345678901234.123456", "-1.5", "0", "NULL"}},
        {"boolean", Rule::Bool, {"1", "0", "NULL"}},
        {"date", Rule::Date, {"'2024-02-29'", "'0001-01-01'", "'9999-12-31'", "NULL"}},
        {"time", Rule::Time, {"'08:30:00'", "'00:00:00'", "'23:59:59.999999'", "'13:45:56.123456'", "NULL"}},
        {"timestamp", Rule::TimeStamp, {"'2024-02-29 13:45:56.123456'", "'0001-01-01 00:00:00'",
                                        "'9999-12-31 23:59:59.999999'", "NULL"}},
        {"datetime", Rule::TimeStamp, {"'2024-02-29 13:45:56.123456'", "'2024-02-29 00:00:00'", "NULL"}},
        {"char(10)", Rule::Text, {"'abc'", "''", "NULL", Q(Umlauts10)}},
        // The last value is longer than declared, which SQLite keeps.
        {"varchar(20)", Rule::Text, {"''", "NULL", Q(Emoji20), "'x'", Q(Repeat("😀", 30))},
         {{OwnValue, 4, TooLong}, {Tool, 4, TooLong}}},
        {"text", Rule::Text, {"''", "NULL", Q(Mixed5000), Q("line1\nline2")}},
        {"blob", Rule::Bytes, {"X''", "NULL", "X'00FF'", X(600), X(5000)}},
        // The last value is longer than declared, which SQLite keeps.
        {"varbinary(10)", Rule::Bytes, {"X''", "X'00'", "NULL", X(10), X(300)}, {{OwnValue, 4, TooLong}}},
        // SQLite keeps a shorter value than blob(n) declares as it is, and a longer one.
        {"blob(16)", Rule::Bytes, {"X''", "X'0102'", "NULL", X(16), X(20)}, {{OwnValue, 4, TooLong}}},
        // The driver describes binary(n) as character data; read as bytes.
        {"binary(4)", Rule::Bytes, {"X''", "X'0102'", "NULL", X(4), X(9)}, {{OwnValue, 4, TooLong}}},
    };
    return types;
}

const std::vector<ColumnType>& PostgreSQLTypes() {
    static const std::vector<ColumnType> types = {
        {"smallint", Rule::Int, {"-32768", "32767", "0", "NULL"}},
        {"integer", Rule::Int, {"-2147483648", "2147483647", "0", "NULL"}},
        {"bigint", Rule::Int, {"-9223372036854775808", "9223372036854775807", "0", "NULL"}},
        {"numeric(38,10)", Rule::Decimal, {"9999999999999999999999999999.9999999999",
                                           "-9999999999999999999999999999.9999999999", "0", "NULL", "0.0000000001",
                                           "12345678901234.1234567890"}},
        {"numeric", Rule::Decimal, {"123456789012345678901234567890.123456789012345678901234567890",
                                    "0.000000000000000000000000000001", "0", "NULL", "-1.5"}},
        {"real", Rule::Single, {"3.4028235e38", "-3.4028235e38", "1.1754944e-38", "0", "NULL", "0.1"}},
        {"double precision", Rule::Float, {"1.7976931348623157e308", "-1.7976931348623157e308",
                                           "2.2250738585072014e-308", "0", "NULL", "0.1"}},
        {"money", Rule::Money, {"-92233720368547758.08", "92233720368547758.07", "0", "NULL", "1234.56"}},
        {"char(10)", Rule::Text, {"'abc'", "''", "NULL", Q(Umlauts10)}},
        {"varchar(20)", Rule::Text, {"''", "NULL", Q(Emoji20), "'x'"}},
        {"text", Rule::Text, {"''", "NULL", Q(Mixed5000), Q("line1\nline2")}},
        {"bytea", Rule::Bytes, {"'\\x'::bytea", "NULL", "'\\x00ff'::bytea", PgBytes(600), PgBytes(5000)}},
        {"date", Rule::Date, {"'2024-02-29'", "'0001-01-01'", "'9999-12-31'", "NULL"}},
        {"time", Rule::Time, {"'08:30:00'", "'00:00:00'", "'23:59:59'", "NULL"}},
        {"time(6)", Rule::Time, {"'13:45:56.123456'", "'23:59:59.999999'", "'00:00:00'", "NULL"}},
        {"timetz", Rule::Text, {"'08:30:00+02'", "'23:59:59.999999-05:30'", "NULL"}},
        {"timestamp(6)", Rule::TimeStamp, {"'2024-02-29 13:45:56.123456'", "'0001-01-01 00:00:00'",
                                           "'9999-12-31 23:59:59.999999'", "NULL"}},
        {"timestamptz", Rule::TimeStamp, {"'2024-02-29 13:45:56.123456+00'", "NULL"}},
        {"interval", Rule::Text, {"'1 year 2 mons 3 days 04:05:06.789'", "'00:00:00'", "'-1 days'", "NULL"}},
        {"boolean", Rule::Bool, {"true", "false", "NULL"}},
        {"uuid", Rule::Guid, {"'00000000-0000-0000-0000-000000000000'", "'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11'",
                              "NULL"}},
        {"json", Rule::Text, {Q("{\"a\": [1, 2.50, \"é\"]}"), "'null'", "NULL"}},
        {"jsonb", Rule::Text, {Q("{\"a\": [1, 2.50, \"é\"]}"), "'null'", "NULL"}},
        {"xml", Rule::Text, {Q("<a>é</a>"), "''", "NULL"}},
        {"int[]", Rule::Text, {"'{1,2,3}'", "'{}'", "'{-2147483648,NULL}'", "NULL"}},
        {"text[]", Rule::Text, {Q("{\"a b\",é,NULL}"), "'{}'", "NULL"}},
        {"inet", Rule::Text, {"'192.168.0.1/24'", "'::1'", "NULL"}},
        {"bit(8)", Rule::Text, {"B'10100101'", "B'00000000'", "NULL"}},
        {"{t}_mood", Rule::Text, {"'sad'", "'happy'", "NULL"}, {},
         "CREATE TYPE {t}_mood AS ENUM ('sad', 'ok', 'happy')", "DROP TYPE IF EXISTS {t}_mood"},
    };
    return types;
}

const std::vector<ColumnType>& MariaDBTypes() {
    static const std::vector<ColumnType> types = {
        {"tinyint", Rule::Int, {"-128", "127", "0", "NULL"}},
        {"tinyint unsigned", Rule::Int, {"0", "255", "NULL"}},
        {"smallint", Rule::Int, {"-32768", "32767", "0", "NULL"}},
        {"smallint unsigned", Rule::Int, {"0", "65535", "NULL"}},
        {"mediumint", Rule::Int, {"-8388608", "8388607", "0", "NULL"}},
        {"mediumint unsigned", Rule::Int, {"0", "16777215", "NULL"}},
        {"int", Rule::Int, {"-2147483648", "2147483647", "0", "NULL"}},
        {"int unsigned", Rule::Int, {"0", "4294967295", "NULL"}},
        {"bigint", Rule::Int, {"-9223372036854775808", "9223372036854775807", "0", "NULL"}},
        {"bigint unsigned", Rule::Int, {"0", "18446744073709551615", "NULL"}},
        {"decimal(65,30)", Rule::Decimal, {"99999999999999999999999999999999999.999999999999999999999999999999",
                                           "-99999999999999999999999999999999999.999999999999999999999999999999",
                                           "0", "NULL", "0.000000000000000000000000000001"}},
        {"float", Rule::Single, {"3.40282e38", "-3.40282e38", "1.17549e-38", "0", "NULL", "0.1"}},
        {"double", Rule::Float, {"1.7976931348623157e308", "-1.7976931348623157e308", "2.2250738585072014e-308",
                                 "0", "NULL", "0.1"}},
        {"bit(8)", Rule::Bytes, {"b'10100101'", "b'0'", "NULL"}},
        {"char(10)", Rule::Text, {"'abc'", "''", "NULL", Q(Umlauts10)}},
        {"varchar(20)", Rule::Text, {"''", "NULL", Q(Emoji20), "'x'"}},
        {"tinytext", Rule::Text, {"''", "NULL", Q(TwoByte(127) + "x")}},
        {"text", Rule::Text, {"''", "NULL", Q(TwoByte(32767) + "x"), Q("line1\nline2")}},
        {"mediumtext", Rule::Text, {"''", "NULL", Q(Mixed5000)}},
        {"longtext", Rule::Text, {"''", "NULL", Q(TwoByte(35000))}},
        {"binary(8)", Rule::Bytes, {"X'0001020304050607'", "X'00'", "NULL"}},
        {"varbinary(10)", Rule::Bytes, {"X''", "X'00FF'", X(10), "NULL"}},
        {"tinyblob", Rule::Bytes, {"X''", "NULL", X(255)}},
        {"blob", Rule::Bytes, {"X''", "NULL", X(600), X(5000)}},
        {"mediumblob", Rule::Bytes, {"X''", "NULL", X(70000)}},
        {"longblob", Rule::Bytes, {"X''", "NULL", X(70000)}},
        {"date", Rule::Date, {"'2024-02-29'", "'1000-01-01'", "'9999-12-31'", "NULL"}},
        // A time beyond a day reads whole as text; MariaDB's driver refuses to
        // send a negative time back (22008).
        {"time(6)", Rule::Time, {"'13:45:56.123456'", "'00:00:00'", "'23:59:59.999999'", "'-838:59:59.000000'",
                                 "'838:59:59.000000'", "NULL"},
         {{OwnValue, 3, NegativeTime}, {Tool, 3, NegativeTime}}},
        {"datetime(6)", Rule::TimeStamp, {"'2024-02-29 13:45:56.123456'", "'1000-01-01 00:00:00'",
                                          "'9999-12-31 23:59:59.999999'", "NULL"}},
        {"timestamp(6) NULL", Rule::TimeStamp, {"'2024-02-29 13:45:56.123456'", "'2038-01-19 03:14:07.999999'",
                                                "NULL"}},
        {"year", Rule::Int, {"1901", "2155", "2024", "NULL"}},
        {"enum('a','b','é')", Rule::Text, {"'a'", "'é'", "NULL"}},
        {"set('a','b','c')", Rule::Text, {"'a,c'", "''", "NULL"}},
        {"json", Rule::Text, {Q("{\"a\": [1, 2.50, \"é\"]}"), "'null'", "NULL"}},
    };
    return types;
}

// ---- the client ------------------------------------------------------------

std::string Replace(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = s.find(from, at)) != std::string::npos; at += to.size()) s.replace(at, from.size(), to);
    return s;
}

std::string ShellArg(const std::string& s) { return "'" + Replace(s, "'", "'\\''") + "'"; }

/// Runs a shell command, optionally with `input` on its standard input;
/// answers its output (standard error included) and exit status.
std::pair<std::string, int> Shell(const std::string& command, const std::string& input = "") {
    std::string cmd = command;
    std::string file;
    if (!input.empty()) {
        file = (std::filesystem::temp_directory_path() / (test::UniqueName("vm") + ".sql")).string();
        std::ofstream(file, std::ios::binary) << input;
        cmd += " < " + ShellArg(file);
    }
    FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
    std::string out;
    char buffer[65536];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    const int status = ::pclose(p);
    if (!file.empty()) std::filesystem::remove(file);
    return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

/// The client's query of one stored value per row: "id|HEX" with the hex of
/// the client's bytes of the value (SQLite: its storage class too, and reals
/// with 21 digits, which name every double exactly where SQLite's 17 do
/// not), or "id|N" for NULL.
std::string SnapshotSQL(DriverKind kind, Rule rule, const std::string& table) {
    switch (kind) {
        case DriverKind::SQLite:
            return "SELECT id || '|' || CASE WHEN c IS NULL THEN 'N' ELSE typeof(c) || ':' || "
                   "hex(CASE WHEN typeof(c) = 'real' THEN printf('%!.20e', c) ELSE c END) END FROM " +
                   table + " ORDER BY id;\n";
        case DriverKind::PostgreSQL:
            return "SELECT id || '|' || CASE WHEN c IS NULL THEN 'N' ELSE encode(" +
                   std::string(rule == Rule::Bytes ? "c" : "convert_to(format('%s', c), 'UTF8')") + ", 'hex') END FROM " +
                   table + " ORDER BY id;\n";
        case DriverKind::MariaDB:
            return "SELECT CONCAT(id, '|', IF(c IS NULL, 'N', HEX(CAST(c AS BINARY)))) FROM " + table +
                   " ORDER BY id;\n";
    }
    return "";
}

std::string Unhex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

/// A value as the client holds it: nullopt for NULL, else the storage class
/// tag (SQLite) and the bytes.
struct Stored {
    bool Null = true;
    std::string Tag, Bytes;
    bool operator==(const Stored& o) const { return Null == o.Null && Tag == o.Tag && Bytes == o.Bytes; }
};

/// Shows a value short and printable.
std::string Show(const std::string& bytes) {
    std::string out;
    for (unsigned char c : bytes.substr(0, 48)) {
        if (c >= 0x20 && c != 0x7F && c != '\\')
            out += static_cast<char>(c);
        else {
            char b[8];
            std::snprintf(b, sizeof b, "\\x%02X", c);
            out += b;
        }
    }
    if (bytes.size() > 48) out += "... (" + std::to_string(bytes.size()) + " bytes)";
    return "'" + out + "'";
}
std::string Show(const Stored& s) { return s.Null ? "NULL" : (s.Tag.empty() ? "" : s.Tag + " ") + Show(s.Bytes); }

// ---- the canonical rules ---------------------------------------------------

/// Drops a zone suffix and the trailing zeros of a fraction of seconds.
std::string Norm(std::string s) {
    const std::size_t colon = s.find(':');
    if (colon != std::string::npos) {
        const std::size_t zone = s.find_first_of("+-", colon);
        if (zone != std::string::npos) s.erase(zone);
    }
    const std::size_t dot = s.find('.', colon == std::string::npos ? 0 : colon);
    if (dot != std::string::npos && colon != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s.size() == 19 && s.compare(10, 9, " 00:00:00") == 0) s.erase(10);  // midnight: the date alone
    return s;
}
/// Drops the trailing zeros of a decimal fraction (and the point).
std::string NormDecimal(std::string s) {
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    if (s == "-0") s = "0";
    return s;
}

/// Days since 1899-12-30 of "YYYY-MM-DD", and the day's fraction of
/// "HH:MM:SS[.ffffff]".
double DayOf(const std::string& s) { return EncodeDate(std::stoi(s.substr(0, 4)), std::stoi(s.substr(5, 2)), std::stoi(s.substr(8, 2))); }
double TimeOf(const std::string& s) {
    const double seconds = std::stoi(s.substr(0, 2)) * 3600.0 + std::stoi(s.substr(3, 2)) * 60.0 + std::stod(s.substr(6));
    return seconds / 86400.0;
}
/// A TDateTime holds milliseconds (AsString holds the whole fraction): the
/// instant agrees when it is the client's, cut to the millisecond.
bool NearInstant(double a, double b) {
    const double tolerance = 1e-3 / 86400.0 + 4 * std::abs(std::nextafter(b, 1e300) - b);
    return std::abs(a - b) <= tolerance;
}

/// "" when the field holds the client's value after the rule, else what
/// differs.
std::string CheckRead(Rule rule, const Stored& client, TField* f) {
    if (client.Null) return f->IsNull() ? "" : "NULL read as " + Show(f->AsString());
    if (f->IsNull()) return Show(client.Bytes) + " read as NULL";
    const std::string text = client.Bytes;
    const std::string s = f->AsString();
    auto differs = [&](const std::string& what) { return Show(text) + " read as " + Show(s) + what; };
    switch (rule) {
        case Rule::Text:
        case Rule::Bytes:
            return s == text ? "" : differs("");
        case Rule::Guid: {
            std::string want = "{" + text + "}";
            for (char& c : want) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            return s == want ? "" : differs("");
        }
        case Rule::Int: {
            if (s != text) return differs("");
            errno = 0;
            const long long n = std::strtoll(text.c_str(), nullptr, 10);
            if (errno == 0 && f->AsLargeInt() != n) return differs(", AsLargeInt " + std::to_string(f->AsLargeInt()));
            return "";
        }
        case Rule::Float: {
            const double want = std::strtod(text.c_str(), nullptr);
            if (std::strtod(s.c_str(), nullptr) != want) return differs(" (another number)");
            if (f->AsFloat() != want) return differs(", AsFloat another number");
            return "";
        }
        case Rule::Single: {
            const float want = std::strtof(text.c_str(), nullptr);
            if (std::strtof(s.c_str(), nullptr) != want) return differs(" (another number)");
            if (static_cast<float>(f->AsFloat()) != want) return differs(", AsFloat another number");
            return "";
        }
        case Rule::Decimal:
        case Rule::Money: {
            std::string want;
            for (char c : text)
                if (rule == Rule::Decimal || (c != '$' && c != ',')) want += c;
            if (NormDecimal(s) != NormDecimal(want)) return differs("");
            const double d = std::strtod(want.c_str(), nullptr);
            if (std::abs(f->AsFloat() - d) > std::abs(d) * 1e-15) return differs(", AsFloat " + std::to_string(f->AsFloat()));
            return "";
        }
        case Rule::Bool: {
            const bool want = text == "1" || text == "t" || text == "true";
            if (s != (want ? "True" : "False")) return differs("");
            if (f->AsBoolean() != want) return differs(", AsBoolean the other");
            return "";
        }
        case Rule::Date:
            if (s != text) return differs("");
            if (f->AsDateTime() != DayOf(text)) return differs(", AsDateTime another day");
            return "";
        case Rule::Time:
            if (Norm(s) != Norm(text)) return differs("");
            if (text.size() == 8 || text[2] == ':') {
                if (!NearInstant(f->AsDateTime(), TimeOf(text))) return differs(", AsDateTime another time");
            }
            return "";
        case Rule::TimeStamp:
            if (Norm(s) != Norm(text)) return differs("");
            const std::string n = Norm(text);
            const double want = DayOf(text) + TimeOf(n.size() > 11 ? n.substr(11) : "00:00:00");
            if (!NearInstant(f->AsDateTime(), want))
                return differs(", AsDateTime another instant (" +
                               std::to_string((f->AsDateTime() - want) * 86400e3) + " ms)");
            return "";
    }
    return "no rule";
}

// ---- the test --------------------------------------------------------------

class ValueMatrix : public ::testing::TestWithParam<MatrixParam> {
protected:
    void SetUp() override {
        test::RequireDriver(Drv());
        if (IsSkipped()) return;
        FTable = test::UniqueName("vm");
        FOwner.reset(new TComponent(nullptr));
        FDb = test::NewDatabase(FOwner.get(), Drv());
        FDb->Open();
    }
    void TearDown() override {
        if (FTable.empty()) return;
        FOwner.reset();
        ClientRun("DROP TABLE IF EXISTS " + FTable + ";\n" + Placeholders(Col().Cleanup) +
                  (Col().Cleanup.empty() ? "" : ";\n"));
    }
    const test::TestDriver& Drv() const { return test::Driver(GetParam().Kind); }
    const ColumnType& Col() const { return *GetParam().Column; }
    std::string Placeholders(const std::string& s) const { return Replace(s, "{t}", FTable); }

    std::string ClientRun(const std::string& script) { return test::ClientOutput(Drv(), script); }

    /// The script that (re)fills the table with the type's values (row i + 1
    /// holds value i).
    std::string Fill() const {
        std::string script = "DELETE FROM " + FTable + ";\n";
        for (std::size_t i = 0; i < Col().Values.size(); ++i)
            script += "INSERT INTO " + FTable + " (id, c) VALUES (" + std::to_string(i + 1) + ", " + Col().Values[i] +
                      ");\n";
        return script;
    }

    /// Every stored value, by row id, as the client reads it; the client runs
    /// `before` and `after` in the same session (one start of the client
    /// instead of three: a psql login takes half a second here).
    std::map<int, Stored> Snapshot(const std::string& before = "", const std::string& after = "") {
        std::map<int, Stored> out;
        const std::string text = ClientRun(before + SnapshotSQL(Drv().Kind, Col().Canon, FTable) + after);
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t end = text.find('\n', at);
            if (end == std::string::npos) end = text.size();
            const std::string line = text.substr(at, end - at);
            at = end + 1;
            const std::size_t bar = line.find('|');
            if (bar == std::string::npos) continue;
            Stored s;
            std::string v = line.substr(bar + 1);
            if (v != "N") {
                s.Null = false;
                const std::size_t colon = v.find(':');
                if (colon != std::string::npos) {
                    s.Tag = v.substr(0, colon);
                    v = v.substr(colon + 1);
                }
                s.Bytes = Unhex(v);
            }
            out[std::stoi(line.substr(0, bar))] = s;
        }
        return out;
    }

    std::string Account() const {
        return Drv().User.empty() ? "" : " --user " + ShellArg(Drv().User) + " --password " + ShellArg(Drv().Password);
    }

    /// The modify statement `velora update-sql` generates for the query.
    std::string GeneratedModify(const std::string& sql) {
        auto [out, rc] = Shell(std::string(VELORA_TOOL) + " update-sql " + ShellArg(Drv().Dsn) + " " + ShellArg(sql) +
                             Account());
        const std::size_t from = out.find("-- ModifySQL\n");
        const std::size_t to = out.find("\n\n-- InsertSQL");
        if (rc != 0 || from == std::string::npos || to == std::string::npos) {
            ADD_FAILURE() << "velora update-sql failed: " << out;
            return "";
        }
        return out.substr(from + 13, to - from - 13);
    }

    /// Writes every row through `road`; answers the error raised per row id
    /// ("" when the write went through).
    std::map<int, std::string> Write(Road road) {
        std::map<int, std::string> errors;
        const std::string select = "SELECT id, c, note FROM " + FTable + " ORDER BY id";
        TOwnedPtr<TComponent> owner(new TComponent(nullptr));
        TODBCDataSet* ds = nullptr;
        if (road == UpdateObject) {
            const std::string modify = GeneratedModify(select);
            if (modify.empty()) return errors;
            auto* q = new TODBCQuery(owner.get());
            q->SetDataBase(FDb);
            q->SQL()->SetText(select);
            auto* u = new TODBCUpdateSQL(owner.get());
            u->ModifySQL()->SetText(modify);
            q->SetUpdateObject(u);
            ds = q;
        } else if (road != Tool) {
            auto* t = new TODBCTable(owner.get());
            t->SetDataBase(FDb);
            t->SetTableName(FTable);
            ds = t;
        } else {
            ds = new TODBCQuery(owner.get());
            static_cast<TODBCQuery*>(ds)->SetDataBase(FDb);
            static_cast<TODBCQuery*>(ds)->SQL()->SetText(select);
        }
        try {
            ds->Open();
        } catch (const std::exception& e) {
            for (std::size_t i = 0; i < Col().Values.size(); ++i) errors[static_cast<int>(i + 1)] = e.what();
            return errors;
        }
        for (ds->First(); !ds->Eof(); ds->Next()) {
            const int id = ds->FieldByName("id")->AsInteger();
            TField* c = ds->FieldByName("c");
            if (road == BlobStream && !c->IsBlob()) continue;
            std::string& error = errors[id];
            try {
                switch (road) {
                    case OtherColumn:
                        ds->Edit();
                        ds->FieldByName("note")->SetAsString("a");
                        ds->Post();
                        break;
                    case OwnValue:
                        ds->Edit();
                        if (c->IsNull())
                            c->Clear();
                        else
                            c->SetAsString(c->AsString());
                        ds->Post();
                        break;
                    case UpdateObject:
                        ds->Edit();
                        ds->FieldByName("note")->SetAsString("c");
                        ds->UpdateObject()->Apply(ukModify);
                        ds->Cancel();
                        break;
                    case BlobStream: {
                        std::string bytes;
                        {
                            auto in = ds->CreateBlobStream(c, bmRead);
                            bytes.resize(static_cast<std::size_t>(in->Size()));
                            if (!bytes.empty()) in->Read(bytes.data(), static_cast<std::int64_t>(bytes.size()));
                        }
                        const bool wasNull = c->IsNull();
                        ds->Edit();
                        {
                            auto out = ds->CreateBlobStream(c, bmWrite);
                            if (!bytes.empty()) out->Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
                        }
                        if (wasNull) c->Clear();
                        ds->Post();
                        break;
                    }
                    case Tool: {
                        const std::string value = c->IsNull() ? std::string(":null") : c->AsString() + ":string";
                        if (value.find('\0') != std::string::npos) {
                            errors.erase(id);  // a command line cannot carry a NUL byte
                            break;
                        }
                        auto [out, rc] = Shell(std::string(VELORA_TOOL) + " edit " + ShellArg(Drv().Dsn) + " " + FTable +
                                             " --row " + std::to_string(id) + " --set " + ShellArg("c=" + value) +
                                             Account());
                        if (rc != 0) error = out.empty() ? "exit " + std::to_string(rc) : out;
                        break;
                    }
                    case RoadCount:
                        break;
                }
            } catch (const std::exception& e) {
                error = e.what();
                if (error.empty()) error = "(an error without message)";
                if (ds->State() != dsBrowse) ds->Cancel();
            }
        }
        return errors;
    }

    const OpenFault* Open(Road road, int value) const {
        for (const OpenFault& o : OpenFaults)
            if (o.Kind == Drv().Kind && Col().Type == o.Type && o.On == road && (o.Value < 0 || o.Value == value))
                return &o;
        return nullptr;
    }

    /// Fails the cell, or reports it as an open fault (and fails when an
    /// open fault no longer shows).
    void Report(Road road, int value, const std::string& cell, const std::string& fault) const {
        const OpenFault* open = Open(road, value);
        if (open && fault.empty())
            ADD_FAILURE() << cell << " | the open fault \"" << open->Reason << "\" no longer shows: remove its entry";
        else if (open)
            std::printf("OPEN %s | %s (%s)\n", cell.c_str(), fault.c_str(), open->Reason);
        else if (!fault.empty())
            ADD_FAILURE() << cell << " | " << fault;
    }

    const Refusal* ExpectedRefusal(Road road, int value) const {
        for (const Refusal& r : Col().Refused)
            if (r.On == road && (r.Value < 0 || r.Value == value)) return &r;
        return nullptr;
    }

    std::string FTable;
    TOwnedPtr<TComponent> FOwner;
    TODBCDatabase* FDb = nullptr;
};

TEST_P(ValueMatrix, ReadsAndWritesBack) {
    if (std::string(VELORA_TOOL).empty()) GTEST_SKIP() << "the velora tool is not built";
    const ColumnType& col = Col();
    std::string create = Placeholders(col.Setup) + (col.Setup.empty() ? "" : ";\n") + "CREATE TABLE " + FTable +
                         " (id integer primary key, c " + Placeholders(col.Type) + ", note varchar(10))";
    if (Drv().Kind == DriverKind::MariaDB) create += " DEFAULT CHARSET=utf8mb4";
    const std::map<int, Stored> stored = Snapshot(create + ";\n" + Fill());
    ASSERT_EQ(stored.size(), col.Values.size()) << "the client stored every value";
    auto literal = [&](int id) { return Show(col.Values[static_cast<std::size_t>(id - 1)]); };

    // Read: each value through its field, scrolling and forward-only in
    // rowsets (where psqlODBC's long values come as a prefix in the rowset).
    for (bool uni : {false, true}) {
        TOwnedPtr<TComponent> owner(new TComponent(nullptr));
        auto* q = new TODBCQuery(owner.get());
        q->SetDataBase(FDb);
        q->SQL()->SetText("SELECT id, c FROM " + FTable + " ORDER BY id");
        q->SetUniDirectional(uni);
        if (uni) q->SetRowSetSize(20);
        q->Open();
        int rows = 0;
        for (; !q->Eof(); q->Next(), ++rows) {
            const int id = q->FieldByName("id")->AsInteger();
            const Refusal* refusal = ExpectedRefusal(Read, id - 1);
            std::string diff;
            try {
                diff = CheckRead(col.Canon, stored.at(id), q->FieldByName("c"));
                if (refusal) diff = std::string("read, expected the refusal '") + refusal->Reason + "'";
            } catch (const std::exception& e) {
                if (!refusal || std::string(e.what()).find(refusal->Reason) == std::string::npos)
                    diff = std::string("refused: ") + e.what();
            }
            Report(Read, id - 1, std::string(uni ? "CELL read forward-only" : "CELL read") + " | value " + literal(id),
                   diff);
        }
        EXPECT_EQ(rows, static_cast<int>(col.Values.size()));
    }

    // Write: every road leaves every value as it was, or refuses as listed.
    std::size_t writes = 0;
    for (int road = 0; road < RoadCount; ++road) {
        const std::map<int, std::string> errors = Write(static_cast<Road>(road));
        writes += errors.size();
        // Read back, then refill for the next road.
        const std::map<int, Stored> after = Snapshot("", road + 1 < RoadCount ? Fill() : "");
        for (const auto& [id, error] : errors) {
            const Refusal* refusal = ExpectedRefusal(static_cast<Road>(road), id - 1);
            const Stored now = after.count(id) ? after.at(id) : Stored{};
            std::string fault;
            if (!(now == stored.at(id)))
                fault = "stored " + Show(stored.at(id)) + " became " + Show(now) +
                        (error.empty() ? " silently" : " with the error: " + error);
            else if (refusal && error.find(refusal->Reason) == std::string::npos)
                fault = std::string("expected the refusal '") + refusal->Reason +
                        "', got: " + (error.empty() ? "(no error)" : error);
            else if (!refusal && !error.empty())
                fault = "refused: " + error;
            while (!fault.empty() && fault.back() == '\n') fault.pop_back();
            Report(static_cast<Road>(road), id - 1,
                   std::string("CELL ") + RoadNames[road] + " | value " + literal(id), fault);
        }
    }
    RecordProperty("values", static_cast<int>(col.Values.size()));
    RecordProperty("writes", static_cast<int>(writes));
}

/// A long value of zero length written through each road (an empty
/// SetAsString, a write stream without writes, LoadFromStream of an empty
/// stream) is stored as zero length, in a new row and in an edited one;
/// Clear stores NULL. The client tells the two apart.
TEST_P(ValueMatrix, EmptyLongValueStaysEmpty) {
    const ColumnType& col = Col();
    if (col.Canon != Rule::Text && col.Canon != Rule::Bytes) GTEST_SKIP() << "not a character or binary type";
    if (col.Type.find("json") != std::string::npos) GTEST_SKIP() << "the column takes only valid JSON";
    ClientRun(Placeholders(col.Setup) + (col.Setup.empty() ? "" : ";\n") + "CREATE TABLE " + FTable +
              " (id integer primary key, c " + Placeholders(col.Type) +
              ", note varchar(10))" + (Drv().Kind == DriverKind::MariaDB ? " DEFAULT CHARSET=utf8mb4" : "") + ";\n");
    struct Way {
        const char* Name;
        bool Null;
        void (*Write)(TODBCDataSet*, TField*);
    };
    const Way ways[] = {
        {"SetAsString(\"\")", false, [](TODBCDataSet*, TField* f) { f->SetAsString(""); }},
        {"a write stream without writes", false,
         [](TODBCDataSet* ds, TField* f) { ds->CreateBlobStream(f, bmWrite).reset(); }},
        {"LoadFromStream of nothing", false,
         [](TODBCDataSet*, TField* f) {
             TStringStream empty("");
             static_cast<TBlobField*>(f)->LoadFromStream(empty);
         }},
        {"Clear", true, [](TODBCDataSet*, TField* f) { f->Clear(); }},
    };
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    auto* t = new TODBCTable(owner.get());
    t->SetDataBase(FDb);
    t->SetTableName(FTable);
    t->Open();
    if (!t->FieldByName("c")->IsBlob()) GTEST_SKIP() << "not a long type here";
    // Odd rows take the way's value when inserted; even rows hold "x" and
    // take it by an edit.
    int id = 0;
    for (const Way& way : ways) {
        try {
            t->Append();
            t->FieldByName("id")->SetAsInteger(++id);
            way.Write(t, t->FieldByName("c"));
            EXPECT_EQ(t->FieldByName("c")->IsNull(), way.Null) << way.Name;
            t->Post();
            t->Append();
            t->FieldByName("id")->SetAsInteger(++id);
            t->FieldByName("c")->SetAsString("x");
            t->Post();
        } catch (const std::exception& e) {
            ADD_FAILURE() << way.Name << ", insert: " << e.what();
            if (t->State() != dsBrowse) t->Cancel();
        }
    }
    t->Close();
    t->Open();
    for (t->First(); !t->Eof(); t->Next()) {
        const int row = t->FieldByName("id")->AsInteger();
        if (row % 2 != 0) continue;
        const Way& way = ways[(row - 1) / 2];
        try {
            t->Edit();
            way.Write(t, t->FieldByName("c"));
            EXPECT_EQ(t->FieldByName("c")->IsNull(), way.Null) << way.Name;
            t->Post();
        } catch (const std::exception& e) {
            ADD_FAILURE() << way.Name << ", edit: " << e.what();
            if (t->State() != dsBrowse) t->Cancel();
        }
    }
    const std::map<int, Stored> stored = Snapshot();
    for (int i = 1; i <= id; ++i) {
        const Way& way = ways[(i - 1) / 2];
        const Stored& s = stored.count(i) ? stored.at(i) : Stored{};
        const bool ok = way.Null ? s.Null : !s.Null && s.Bytes.empty();
        EXPECT_TRUE(ok) << way.Name << (i % 2 ? " (new row)" : " (edited row)") << " stored " << Show(s);
    }
}

std::vector<MatrixParam> Params(DriverKind kind, const std::vector<ColumnType>& types) {
    std::vector<MatrixParam> out;
    for (const ColumnType& t : types) out.push_back({kind, &t});
    return out;
}

struct TypeName {
    std::string operator()(const ::testing::TestParamInfo<MatrixParam>& info) const {
        std::string name;
        for (unsigned char ch : Replace(Replace(info.param.Column->Type, "{t}_", ""), "[]", " array"))
            if (std::isalnum(ch))
                name += static_cast<char>(ch);
            else if (ch < 0x80 && !name.empty() && name.back() != '_')
                name += '_';
        while (!name.empty() && name.back() == '_') name.pop_back();
        return name;
    }
};

INSTANTIATE_TEST_SUITE_P(SQLite, ValueMatrix, ::testing::ValuesIn(Params(DriverKind::SQLite, SQLiteTypes())),
                         TypeName());
INSTANTIATE_TEST_SUITE_P(PostgreSQL, ValueMatrix,
                         ::testing::ValuesIn(Params(DriverKind::PostgreSQL, PostgreSQLTypes())), TypeName());
INSTANTIATE_TEST_SUITE_P(MariaDB, ValueMatrix, ::testing::ValuesIn(Params(DriverKind::MariaDB, MariaDBTypes())),
                         TypeName());

}  // namespace
}  // namespace velora
