// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// SQLite REAL values read whole. The SQLite driver hands out every value as
// the text SQLite gives it, and SQLite writes a REAL with 15 significant
// digits: 0.30000000000000004 reads as 0.3, the largest double as infinity.
// Only SQL can ask SQLite for more, so a cursor over a SELECT whose columns
// may hold doubles prepares the SELECT with one more column per such column,
// `CASE WHEN typeof(x) = 'real' THEN printf('%!.20e', x) END`, and puts the
// value of that companion into the column's record slot as each row is
// stored. The companions are invisible:
// the cursor describes, shows and writes the statement's own columns only.
// SQLite's own 21 digits read back as the very double (measured over 200,000
// random doubles, extremes and subnormals included); its 17 digits do not
// for about one value in 400, its quote() for one in 2,500.
// A text the rewriting cannot read safely (a compound SELECT, select items
// that cannot be matched to the columns) keeps its 15 digits; so does a row
// whose companion the data source leaves NULL. The companions are labelled
// (velora_exact_<column>) so that the cursor library, reading a row it
// changed again from the table, reads them again too.
#include "velora/engine/ODBCCursor.h"
#include "velora/engine/ODBCStatement.h"

#include "velora/odbc/SQLTokens.h"
#include "velora/rtl/Numbers.h"

#include "EngineInternal.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace velora {

namespace {

using odbc::IsSQLPunct;
using odbc::IsSQLWord;
using odbc::TSQLToken;
using odbc::TSQLTokenKind;

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

bool IsNameToken(std::string_view text, const TSQLToken& t) {
    return t.Kind == TSQLTokenKind::QuotedName ||
           (t.Kind == TSQLTokenKind::Word && !odbc::IsReservedWord(odbc::TokenText(text, t)));
}

/// The expression of the select item tokens[b, e) without its alias (AS name,
/// or a name right after a name, literal or closing parenthesis); "" when it
/// cannot be told or carries a comment or a parameter.
String ItemExpression(std::string_view text, const std::vector<TSQLToken>& tokens, std::size_t b, std::size_t e) {
    for (std::size_t k = b; k < e; ++k)
        if (tokens[k].Depth == 0 && IsSQLWord(text, tokens[k], "AS")) {
            e = k;
            break;
        }
    if (e == b) return {};
    // A parameter marker would add a parameter to the statement.
    for (std::size_t k = b; k < e; ++k)
        if (tokens[k].Kind == TSQLTokenKind::Marker || tokens[k].Kind == TSQLTokenKind::Param) return {};
    if (e - b >= 2 && tokens[e - 1].Depth == 0 && IsNameToken(text, tokens[e - 1])) {
        const TSQLToken& prev = tokens[e - 2];
        if (IsNameToken(text, prev) || prev.Kind == TSQLTokenKind::String || prev.Kind == TSQLTokenKind::Number ||
            IsSQLPunct(text, prev, ')'))
            --e;
    }
    const std::string_view expr = text.substr(tokens[b].Begin, tokens[e - 1].End - tokens[b].Begin);
    if (expr.find("--") != std::string_view::npos || expr.find("/*") != std::string_view::npos) return {};
    return String(expr);
}

bool SameName(const String& a, const String& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool IsClauseWord(std::string_view text, const TSQLToken& t) {
    for (const char* w : {"WHERE", "GROUP", "HAVING", "ORDER", "LIMIT", "WINDOW"})
        if (IsSQLWord(text, t, w)) return true;
    return false;
}

/// SQLite describes a column declared decimal(p,s) or numeric(p,s) as text;
/// it holds integers and doubles.
bool IsDecimalTypeName(SQLHSTMT stmt, std::size_t column) {
    char name[64] = {};
    SQLSMALLINT length = 0;
    if (!ODBCSucceeded(odbc::SQLColAttribute(stmt, static_cast<SQLUSMALLINT>(column), SQL_DESC_TYPE_NAME, name,
                                             sizeof name, &length, nullptr)))
        return false;
    String upper;
    for (const char* p = name; *p; ++p) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(*p)));
    return upper.starts_with("DEC") || upper.starts_with("NUM");
}

/// A companion's slot: the 21-digit text and its length/indicator variable.
constexpr int kExactText = 40;
constexpr int kExactSlot = kExactText + static_cast<int>(sizeof(SQLLEN));

SQLLEN& SlotIndicator(std::byte* slots, std::size_t m) {
    return *reinterpret_cast<SQLLEN*>(slots + m * kExactSlot + kExactText);
}

}  // namespace

String detail::WithExactReals(std::string_view text, const std::vector<String>& labels,
                              const std::vector<std::uint16_t>& wanted, std::vector<std::uint16_t>& taken) {
    taken.clear();
    const std::vector<TSQLToken> tokens = odbc::SQLTokens(text, odbc::TSQLRules{TSQLDialect::Standard});
    if (tokens.empty() || !IsSQLWord(text, tokens[0], "SELECT")) return {};
    std::size_t from = kNone, end = tokens.size();
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const TSQLToken& t = tokens[i];
        if (t.Open) return {};
        if (t.Depth != 0) continue;
        if (IsSQLWord(text, t, "UNION") || IsSQLWord(text, t, "INTERSECT") || IsSQLWord(text, t, "EXCEPT")) return {};
        if (IsSQLPunct(text, t, ';')) {
            if (i + 1 != tokens.size()) return {};
            end = i;
            break;
        }
        if (from == kNone && IsSQLWord(text, t, "FROM")) from = i;
    }
    if (from == kNone) return {};

    // The select list, item by item.
    std::size_t first = 1;
    if (first < from && (IsSQLWord(text, tokens[first], "DISTINCT") || IsSQLWord(text, tokens[first], "ALL"))) ++first;
    std::vector<std::pair<std::size_t, std::size_t>> items;
    bool star = false;
    for (std::size_t b = first, i = first; i <= from; ++i) {
        if (i < from && !(tokens[i].Depth == 0 && IsSQLPunct(text, tokens[i], ','))) continue;
        if (i == b) return {};
        items.emplace_back(b, i);
        star = star || (IsSQLPunct(text, tokens[i - 1], '*') && (i - b == 1 || IsSQLPunct(text, tokens[i - 2], '.')));
        b = i + 1;
    }

    // One source (a table or view, no join): a label names its column.
    std::size_t clauseEnd = end;
    for (std::size_t i = from + 1; i < end; ++i)
        if (tokens[i].Depth == 0 && IsClauseWord(text, tokens[i])) {
            clauseEnd = i;
            break;
        }
    bool single = clauseEnd > from + 1 && IsNameToken(text, tokens[from + 1]);
    for (std::size_t i = from + 1; single && i < clauseEnd; ++i)
        if (tokens[i].Depth == 0 && (IsSQLPunct(text, tokens[i], ',') || IsSQLWord(text, tokens[i], "JOIN")))
            single = false;
    for (std::size_t i = 0; single && i < labels.size(); ++i)
        for (std::size_t j = i + 1; single && j < labels.size(); ++j)
            if (SameName(labels[i], labels[j])) single = false;

    const bool enumerable = !star && items.size() == labels.size();
    String companions;
    for (const std::uint16_t c : wanted) {
        String expr;
        if (enumerable)
            expr = ItemExpression(text, tokens, items[c].first, items[c].second);
        else if (single && c < labels.size() && !labels[c].empty())
            expr = odbc::QuoteName(labels[c], '"');
        if (expr.empty()) continue;
        companions += ", " + odbc::ExactRealCompanion(expr, c + 1);
        taken.push_back(c);
    }
    if (taken.empty()) return {};
    String out(text);
    out.insert(tokens[from - 1].End, companions);
    return out;
}

/// SQLite only: prepares the statement again with a companion for each
/// column that may hold a double, when its text can be read safely, and
/// keeps the plain statement otherwise.
void TODBC::TakeExactReals() {
    FExactReals.clear();
    char dbms[64] = {};
    SQLSMALLINT length = 0;
    if (!ODBCSucceeded(odbc::SQLGetInfo(Dbc, SQL_DBMS_NAME, dbms, sizeof dbms, &length)) ||
        String(dbms).find("SQLite") == String::npos)
        return;
    std::vector<std::uint16_t> wanted;
    std::vector<String> labels;
    for (std::size_t i = 0; i < Columns.size(); ++i) {
        labels.push_back(Columns[i].GetName());
        const SQLSMALLINT t = SQLTypes[i];
        const bool number = (t == SQL_DOUBLE || t == SQL_FLOAT || t == SQL_REAL || t == SQL_NUMERIC ||
                             t == SQL_DECIMAL || (CTypes[i] == SQL_C_CHAR && IsDecimalTypeName(Stmt, i + 1))) &&
                            (CTypes[i] == SQL_C_DOUBLE || CTypes[i] == SQL_C_CHAR);
        bool retypable = false;
        for (const std::uint16_t r : FRetypable) retypable = retypable || r == i;
        if (number || retypable) wanted.push_back(static_cast<std::uint16_t>(i));
    }
    String text;
    if (wanted.empty() || !detail::PreparedText(Stmt, text)) return;
    std::vector<std::uint16_t> taken;
    const String exact = detail::WithExactReals(text, labels, wanted, taken);
    if (taken.empty()) return;
    // The companions must follow the statement's own columns, which keep
    // their names; anything else, and the plain statement stays.
    bool ok = true;
    try {
        ODBCPrepareText(Stmt, exact);
    } catch (const EODBCError&) {
        ok = false;
    }
    SQLSMALLINT count = 0;
    ok = ok && ODBCSucceeded(odbc::SQLNumResultCols(Stmt, &count)) &&
         static_cast<std::size_t>(count) == Columns.size() + taken.size();
    for (std::size_t i = 0; ok && i < Columns.size(); ++i) {
        char name[256] = {};
        SQLSMALLINT n = 0;
        ok = ODBCSucceeded(odbc::SQLColAttribute(Stmt, static_cast<SQLUSMALLINT>(i + 1), SQL_DESC_LABEL, name,
                                                 sizeof name, &n, nullptr)) &&
             labels[i].substr(0, sizeof name - 1) == name;
    }
    if (!ok) {
        ODBCPrepareText(Stmt, text);
        return;
    }
    FExactReals = std::move(taken);
}

namespace {

using Wide = unsigned __int128;

/// The eight characters at `p` as a number, when all eight are digits: the
/// eight bytes worked on at once, a few instructions where a loop over the
/// characters takes several a digit. False otherwise (and on a big-endian
/// machine, where the loop reads them).
bool EightDigits(const char* p, std::uint64_t& value) {
    if constexpr (std::endian::native != std::endian::little) {
        return false;
    } else {
        std::uint64_t v = 0;
        std::memcpy(&v, p, sizeof v);
        // Each byte in '0'..'9': its high half 3, and still 3 with 6 added.
        if (((v & 0xF0F0F0F0F0F0F0F0) | (((v + 0x0606060606060606) & 0xF0F0F0F0F0F0F0F0) >> 4)) != 0x3333333333333333)
            return false;
        v -= 0x3030303030303030;
        v = v * 10 + (v >> 8);  // pairs of digits
        v = (((v & 0x000000FF000000FF) * (100 + (1000000ULL << 32))) +
             (((v >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32)))) >>
            32;
        value = static_cast<std::uint32_t>(v);
        return true;
    }
}

/// `x` shifted left by `n` bits, false when the result would not stay below
/// 2^127.
bool ShiftLeft(Wide x, int n, Wide& out) {
    if (n < 0 || n > 126 || (x >> (127 - n)) != 0) return false;
    out = x << n;
    return true;
}

/// Ten to the powers 0 to 38, and the largest number each can multiply while
/// the product stays below 2^127.
struct TWideTens {
    Wide Power[39];
    Wide Limit[39];
    constexpr TWideTens() : Power(), Limit() {
        Wide p = 1;
        for (int n = 0; n < 39; ++n, p *= 10) {
            Power[n] = p;
            Limit[n] = ((Wide{1} << 127) - 1) / p;
        }
    }
};
constexpr TWideTens kWideTens;

/// `x` times ten to the power `n`, false when the result would not stay
/// below 2^127.
bool TimesTen(Wide x, int n, Wide& out) {
    if (n < 0 || n > 38 || x > kWideTens.Limit[n]) return false;
    out = x * kWideTens.Power[n];
    return true;
}

}  // namespace

/// The length of the shortest text that reads as the double `text` (n
/// characters, the driver's own text of a value) reads as, when that text
/// is `text` itself or `text` without a ".0" at its end; 0 when it may be
/// neither. The forms taken are plain decimals without an exponent or
/// leading zeros: an integer ("I.0"; the exponent form is the shorter from
/// six digits with trailing zeros on), or digits with a fraction that does
/// not end in zero (no more than two zeros after the point before the first
/// other digit, past which the exponent form can be shorter). Only one text
/// of 15 digits or fewer reads as a given double, so a text of these forms
/// that reads as it is the shortest.
std::size_t detail::ShortestOwnLength(const char* text, std::size_t n) {
    const char* p = text;
    const char* end = text + n;
    if (p < end && *p == '-') ++p;
    const char* point = static_cast<const char*>(std::memchr(p, '.', static_cast<std::size_t>(end - p)));
    if (!point || point + 1 >= end || end - p > 16) return 0;
    for (const char* q = p; q < end; ++q)
        if (q != point && (*q < '0' || *q > '9')) return 0;
    if (*p == '0') {
        if (point != p + 1 || end[-1] == '0') return 0;
        if (end - point > 3 && point[1] == '0' && point[2] == '0' && point[3] == '0') return 0;
        return n;
    }
    if (end[-1] != '0') return n;
    if (end - point != 2) return 0;  // "12.50": not the form the driver writes
    // "I.0": digits of an integer, the last of them zeros or not.
    const auto digits = static_cast<std::size_t>(point - p);
    std::size_t significant = digits;
    while (significant > 1 && p[significant - 1] == '0') --significant;
    const std::size_t scientific = significant + (significant > 1 ? 1 : 0) + 4;  // "d.ddde+XX"
    return digits <= scientific ? n - 2 : 0;
}

bool detail::CompanionNames(std::string_view text, double candidate) {
    // "[-]d.ddd...e(+|-)XX": one digit, the point, up to 20 digits.
    const char* p = text.data();
    const char* end = p + text.size();
    const bool negative = p < end && *p == '-';
    p += negative ? 1 : 0;
    if (negative != (candidate < 0) || !std::isnormal(candidate) || end - p < 7 || p[1] != '.') return false;
    std::uint64_t whole = static_cast<unsigned char>(p[0]) - '0';
    Wide digits = 0;
    if (whole > 9) return false;
    const char* q = p + 2;
    const char* const high = std::min(end, q + 18);  // 19 digits in all hold in 64 bits
    for (std::uint64_t eight = 0; high - q >= 8 && EightDigits(q, eight); q += 8) whole = whole * 100000000 + eight;
    for (; q < high && *q != 'e'; ++q) {
        const unsigned digit = static_cast<unsigned char>(*q) - '0';
        if (digit > 9) return false;
        whole = whole * 10 + digit;
    }
    digits = whole;
    for (const char* low = std::min(end, q + 2); q < low && *q != 'e'; ++q) {
        const unsigned digit = static_cast<unsigned char>(*q) - '0';
        if (digit > 9) return false;
        digits = digits * 10 + digit;
    }
    if (end - q < 3 || end - q > 6 || *q != 'e' || (q[1] != '+' && q[1] != '-')) return false;
    int exponent = 0;
    for (const char* x = q + 2; x < end; ++x) {
        const unsigned digit = static_cast<unsigned char>(*x) - '0';
        if (digit > 9) return false;
        exponent = exponent * 10 + static_cast<int>(digit);
    }
    // The text is digits x 10^power; the candidate mantissa x 2^shift, its
    // mantissa 53 bits whole, so a unit in its last place is 2^shift.
    const int power = (q[1] == '-' ? -exponent : exponent) - static_cast<int>(q - p - 2);
    std::uint64_t bits = 0;
    std::memcpy(&bits, &candidate, sizeof bits);
    const Wide mantissa = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    const int shift = static_cast<int>((bits >> 52) & 0x7ff) - 1075;
    // The candidate is the double nearest the text when the text lies
    // within a quarter of a unit in its last place, the narrower half-gap
    // around it (below a power of two the gap is half the gap above):
    // |digits x 10^power - mantissa x 2^shift| < 2^(shift-2), worked out in
    // whole numbers after multiplying by 10^-power when the power is
    // negative and by 2^(2-shift) when that is whole. A number that does
    // not fit in 127 bits answers false.
    const int up = power > 0 ? power : 0, down = power < 0 ? -power : 0;
    Wide x = 0, y = 0, bound = 0;
    if (!TimesTen(digits, up, x) || !TimesTen(mantissa, down, y) || !TimesTen(1, down, bound)) return false;
    if (shift <= 2) {
        if (!ShiftLeft(x, 2 - shift, x) || !ShiftLeft(y, 2, y)) return false;
    } else if (!ShiftLeft(y, shift, y) || !ShiftLeft(bound, shift - 2, bound)) {
        return false;
    }
    return (x > y ? x - y : y - x) < bound;
}

/// Binds the companions to `slots` (row-wise binding applies the rowset's
/// stride).
void TODBC::BindExactReals(std::byte* slots) {
    for (std::size_t m = 0; m < FExactReals.size(); ++m)
        detail::CheckStmt(Stmt, odbc::SQLBindCol(Stmt, static_cast<SQLUSMALLINT>(Columns.size() + m + 1), SQL_C_CHAR,
                                                 slots + m * kExactSlot, kExactText, &SlotIndicator(slots, m)));
}

int TODBC::ExactSlotsSize() const { return static_cast<int>(FExactReals.size()) * kExactSlot; }

/// Before a fetch: every companion NULL, so a row the data source delivers
/// without them keeps the column's own value.
void TODBC::ClearExactReals(std::byte* slots) {
    for (std::size_t m = 0; m < FExactReals.size(); ++m) SlotIndicator(slots, m) = SQL_NULL_DATA;
}

/// Puts the value of each companion that holds one into its column's slot of
/// the fetched `record`. Most doubles need no more than SQLite's 15 digits:
/// the driver's own value, checked against the companion, stays (and a
/// decimal's own text, when it is already the shortest text); only the
/// others read the companion whole and write the shortest text.
void TODBC::StoreExactReals(std::byte* record, std::byte* slots) {
    for (std::size_t m = 0; m < FExactReals.size(); ++m) {
        const SQLLEN ind = SlotIndicator(slots, m);
        if (ind <= 0 || ind >= kExactText) continue;
        const std::uint16_t c = FExactReals[m];
        const TODBCFldDesc& d = Columns[c];
        std::uint16_t word = 0;
        std::memcpy(&word, record + d.NullOffset, sizeof word);
        if (word == kIndicatorNull) continue;
        const bool isDouble = CTypes[c] == SQL_C_DOUBLE && d.FldType != fcBlob;
        const bool isText = CTypes[c] == SQL_C_CHAR && d.FldType != fcBlob && d.FldType != fcUnknown;
        if (!isDouble && !isText) continue;
        const std::string_view exact(reinterpret_cast<const char*>(slots + m * kExactSlot),
                                     static_cast<std::size_t>(ind));
        auto* own = reinterpret_cast<char*>(record + d.Offset);
        const std::size_t ownLength = word > 0 ? word - 1u : 0;
        double value = 0;
        bool ownIsExact = false;
        if (isDouble) {
            std::memcpy(&value, own, sizeof value);
            ownIsExact = detail::CompanionNames(exact, value);
        } else {
            ownIsExact = TryStrToFloat(std::string_view(own, ownLength), value) && detail::CompanionNames(exact, value);
        }
        // from_chars reads what strtod reads of printf's output (infinities
        // too), locale-free; a text it refuses keeps the driver's own value,
        // as a NULL companion does.
        if (!ownIsExact && std::from_chars(exact.data(), exact.data() + exact.size(), value).ec != std::errc())
            continue;
        if (isDouble) {
            std::memcpy(own, &value, sizeof value);
            continue;
        }
        // Text of a decimal: the shortest text that reads as the double.
        std::size_t n = ownIsExact ? detail::ShortestOwnLength(own, ownLength) : 0;
        if (n == 0) {
            char digits[32];
            const auto r = std::to_chars(digits, digits + sizeof digits, value);
            n = static_cast<std::size_t>(r.ptr - digits);
            if (r.ec != std::errc() || n + 1 > d.Len) continue;
            std::memcpy(own, digits, n);
        } else if (n == ownLength) {
            continue;
        }
        own[n] = '\0';
        word = static_cast<std::uint16_t>(n + 1);
        std::memcpy(record + d.NullOffset, &word, sizeof word);
    }
}

}  // namespace velora
