// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// SQL text services of the cursor library (see PositionedSQLInternal.h). Everything
// works on the tokens of the SQL text module (velora/odbc/SQLTokens.h): words,
// quoted identifiers, string literals, numbers, parameter markers and single
// punctuation characters, each with its place in the text and its parenthesis
// depth, so the parsers can cut the application's text at token boundaries
// and keep the rest of it exactly as written.
#include "PositionedSQLInternal.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace velora::odbc::cursorlib {

namespace {

enum class Tok { Word, QuotedId, String, Number, Marker, Punct };

struct Token {
    Tok Kind;
    std::size_t Begin;
    std::size_t End;
    int Depth;          ///< parentheses open before the token
    std::string Value;  ///< words: upper case; quoted identifiers: unquoted; punctuation: the character
};

/// The module's tokens (SQLTokens.h) with the values the parsers compare.
std::vector<Token> Tokenize(std::string_view text, const SqlDialect& dialect) {
    std::vector<Token> out;
    for (const TSQLToken& t : SQLTokens(text, dialect)) {
        Token k{Tok::Punct, t.Begin, t.End, t.Depth, std::string(TokenText(text, t))};
        switch (t.Kind) {
            case TSQLTokenKind::Word:
                k.Kind = Tok::Word;
                k.Value = UpperCase(k.Value);
                break;
            case TSQLTokenKind::QuotedName:
                k.Kind = Tok::QuotedId;
                k.Value = UnquotedName(k.Value);
                break;
            case TSQLTokenKind::String:
            case TSQLTokenKind::Param:
                k.Kind = Tok::String;  // opaque to the parsers
                break;
            case TSQLTokenKind::Number:
                k.Kind = Tok::Number;
                break;
            case TSQLTokenKind::Marker:
                k.Kind = Tok::Marker;
                break;
            default:
                break;
        }
        out.push_back(std::move(k));
    }
    return out;
}

bool IsWord(const Token& t, std::string_view upper) { return t.Kind == Tok::Word && t.Value == upper; }
bool IsPunct(const Token& t, char c) { return t.Kind == Tok::Punct && t.Value[0] == c; }
bool IsNamePart(const Token& t) { return t.Kind == Tok::Word || t.Kind == Tok::QuotedId; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

/// Reads a dotted name from tokens[i]; returns the index after it (i when there is none).
std::size_t ReadName(const std::vector<Token>& toks, std::size_t i, std::size_t end, std::vector<NamePart>& parts) {
    parts.clear();
    std::size_t j = i;
    while (j < end && IsNamePart(toks[j])) {
        parts.push_back({toks[j].Kind == Tok::QuotedId ? toks[j].Value : std::string(), toks[j].Kind == Tok::QuotedId});
        ++j;
        if (j < end && IsPunct(toks[j], '.') && j + 1 < end && IsNamePart(toks[j + 1])) {
            ++j;
            continue;
        }
        break;
    }
    return j;
}

/// Fills the unquoted words of a name read by ReadName from the text.
void FillWords(std::string_view text, const std::vector<Token>& toks, std::size_t i, std::vector<NamePart>& parts) {
    std::size_t k = 0;
    for (std::size_t j = i; k < parts.size(); ++j) {
        if (!IsNamePart(toks[j])) continue;
        if (!parts[k].Quoted) parts[k].Text = std::string(text.substr(toks[j].Begin, toks[j].End - toks[j].Begin));
        ++k;
    }
}

}  // namespace

std::string UpperCase(std::string_view text) {
    std::string s(text);
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

int CountMarkers(std::string_view text, const SqlDialect& dialect) {
    int n = 0;
    for (const Token& t : Tokenize(text, dialect))
        if (t.Kind == Tok::Marker) ++n;
    return n;
}

std::vector<NamePart> ParseName(std::string_view text, const SqlDialect& dialect) {
    std::vector<Token> toks = Tokenize(text, dialect);
    std::vector<NamePart> parts;
    std::size_t e = ReadName(toks, 0, toks.size(), parts);
    if (e != toks.size()) return {};
    FillWords(text, toks, 0, parts);
    return parts;
}

std::optional<PositionedStatement> ParsePositioned(std::string_view text, const SqlDialect& dialect) {
    // Cheap rejection first: most texts that reach here are SELECTs.
    std::string_view t = Trim(text);
    if (t.size() < 6) return std::nullopt;
    std::string head = UpperCase(t.substr(0, 6));
    if (head != "UPDATE" && head != "DELETE") return std::nullopt;
    if (UpperCase(t).find("CURRENT") == std::string::npos) return std::nullopt;

    std::vector<Token> toks = Tokenize(text, dialect);
    std::size_t end = toks.size();
    while (end > 0 && IsPunct(toks[end - 1], ';')) --end;
    if (end < 5) return std::nullopt;

    // The last "WHERE CURRENT OF" outside parentheses.
    std::size_t where = end;
    for (std::size_t i = 0; i + 3 < end; ++i)
        if (toks[i].Depth == 0 && IsWord(toks[i], "WHERE") && IsWord(toks[i + 1], "CURRENT") &&
            IsWord(toks[i + 2], "OF"))
            where = i;
    if (where == end) return std::nullopt;

    PositionedStatement ps;
    std::size_t nameBegin = where + 3;
    if (nameBegin + 1 == end && toks[nameBegin].Kind == Tok::QuotedId) {
        ps.CursorName = toks[nameBegin].Value;
    } else {
        ps.CursorName =
            std::string(Trim(text.substr(toks[nameBegin].Begin, toks[end - 1].End - toks[nameBegin].Begin)));
    }

    std::size_t tableBegin;
    std::size_t tableEnd;
    if (IsWord(toks[0], "UPDATE")) {
        ps.Op = PositionedStatement::Kind::Update;
        std::size_t set = 1;
        while (set < where && !(toks[set].Depth == 0 && IsWord(toks[set], "SET"))) ++set;
        if (set == where || set == 1 || set + 1 >= where) return std::nullopt;
        tableBegin = 1;
        tableEnd = set;
        ps.SetClause = std::string(Trim(text.substr(toks[set].End, toks[where].Begin - toks[set].End)));
        // Assignments: split at commas outside parentheses.
        int marker = 0;
        std::size_t i = set + 1;
        const int base = toks[set].Depth;
        while (i < where) {
            std::size_t j = i;
            while (j < where && !(toks[j].Depth == base && IsPunct(toks[j], ','))) ++j;
            std::size_t eq = i;
            while (eq < j && !(toks[eq].Depth == base && IsPunct(toks[eq], '='))) ++eq;
            int markersBefore = marker;
            for (std::size_t k = i; k < j; ++k)
                if (toks[k].Kind == Tok::Marker) ++marker;
            if (eq < j && eq > i) {
                Assignment a;
                const Token& last = toks[eq - 1];
                if (last.Kind == Tok::QuotedId)
                    a.Column = last.Value;
                else
                    a.Column = std::string(text.substr(last.Begin, last.End - last.Begin));
                if (eq + 2 == j && toks[eq + 1].Kind == Tok::Marker) a.Param = markersBefore + 1;
                ps.Assignments.push_back(std::move(a));
            }
            i = j + 1;
        }
        ps.MarkerCount = marker;
    } else if (IsWord(toks[0], "DELETE") && IsWord(toks[1], "FROM")) {
        ps.Op = PositionedStatement::Kind::Delete;
        tableBegin = 2;
        tableEnd = where;
        if (tableEnd <= tableBegin) return std::nullopt;
    } else {
        return std::nullopt;
    }
    ps.Table = std::string(text.substr(toks[tableBegin].Begin, toks[tableEnd - 1].End - toks[tableBegin].Begin));
    ReadName(toks, tableBegin, tableEnd, ps.TableParts);
    FillWords(text, toks, tableBegin, ps.TableParts);
    if (ps.TableParts.empty()) return std::nullopt;
    return ps;
}

std::optional<TableRef> SingleTableOf(std::string_view select, const SqlDialect& dialect) {
    std::vector<Token> toks = Tokenize(select, dialect);
    if (toks.empty() || !IsWord(toks[0], "SELECT")) return std::nullopt;
    std::size_t from = 1;
    while (from < toks.size() && !(toks[from].Depth == 0 && IsWord(toks[from], "FROM"))) ++from;
    if (from + 1 >= toks.size()) return std::nullopt;
    TableRef ref;
    std::size_t e = ReadName(toks, from + 1, toks.size(), ref.Parts);
    if (ref.Parts.empty()) return std::nullopt;
    FillWords(select, toks, from + 1, ref.Parts);
    ref.Text = std::string(select.substr(toks[from + 1].Begin, toks[e - 1].End - toks[from + 1].Begin));
    // An optional alias.
    std::size_t k = e;
    if (k < toks.size() && IsWord(toks[k], "AS")) ++k;
    static constexpr std::array<std::string_view, 11> kAfter = {
        "WHERE", "ORDER", "GROUP", "HAVING", "LIMIT", "OFFSET", "FETCH", "FOR", "WINDOW", "LOCK", "PROCEDURE"};
    auto isClause = [&](const Token& t) {
        return t.Kind == Tok::Word && std::find(kAfter.begin(), kAfter.end(), t.Value) != kAfter.end();
    };
    if (k < toks.size() && IsNamePart(toks[k]) && !isClause(toks[k])) {
        static constexpr std::array<std::string_view, 10> kJoin = {"JOIN",  "INNER",   "LEFT",  "RIGHT",     "FULL",
                                                                   "CROSS", "NATURAL", "UNION", "INTERSECT", "EXCEPT"};
        if (toks[k].Kind == Tok::Word && std::find(kJoin.begin(), kJoin.end(), toks[k].Value) != kJoin.end())
            return std::nullopt;
        ++k;
    }
    if (k == toks.size() || IsPunct(toks[k], ';')) return ref;
    if (!isClause(toks[k])) return std::nullopt;
    // A union later in the text reads more tables.
    for (std::size_t i = k; i < toks.size(); ++i)
        if (toks[i].Depth == 0 &&
            (IsWord(toks[i], "UNION") || IsWord(toks[i], "INTERSECT") || IsWord(toks[i], "EXCEPT")))
            return std::nullopt;
    return ref;
}

std::optional<std::string> WithoutForUpdate(std::string_view select, const SqlDialect& dialect) {
    std::vector<Token> toks = Tokenize(select, dialect);
    if (toks.empty() || !IsWord(toks[0], "SELECT")) return std::nullopt;
    for (std::size_t i = 1; i + 1 < toks.size(); ++i) {
        if (toks[i].Depth != 0 || !IsWord(toks[i], "FOR") || !IsWord(toks[i + 1], "UPDATE")) continue;
        // Only a closing clause: FOR UPDATE [OF name, ...] [NOWAIT | SKIP LOCKED] [;]
        std::size_t j = i + 2;
        if (j < toks.size() && IsWord(toks[j], "OF")) {
            ++j;
            while (j < toks.size() && (IsNamePart(toks[j]) || IsPunct(toks[j], '.') || IsPunct(toks[j], ','))) {
                if (IsWord(toks[j], "NOWAIT") || IsWord(toks[j], "SKIP")) break;
                ++j;
            }
        }
        if (j < toks.size() && IsWord(toks[j], "NOWAIT")) ++j;
        if (j + 1 < toks.size() && IsWord(toks[j], "SKIP") && IsWord(toks[j + 1], "LOCKED")) j += 2;
        while (j < toks.size() && IsPunct(toks[j], ';')) ++j;
        if (j != toks.size()) return std::nullopt;
        return std::string(Trim(select.substr(0, toks[i].Begin)));
    }
    return std::nullopt;
}

std::string QuoteIdentifier(const std::string& name, const std::string& quote, SQLUSMALLINT identifierCase) {
    if (!NeedsQuoting(name, identifierCase) || quote.empty() || quote == " ") return name;
    if (quote.size() == 1) return QuoteName(name, quote[0]);
    return quote + name + quote;
}

}  // namespace velora::odbc::cursorlib
