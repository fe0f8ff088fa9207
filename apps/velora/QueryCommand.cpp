// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// velora query: SQL through TODBCQuery. Each statement is prepared first;
// one that describes result columns, or whose results the driver describes
// only when it runs (a procedure call), is opened forward-only and every
// result it gives is written in order (rows as they are fetched, the counts
// of results without rows between them); any other runs through ExecSQL and
// the tool prints the rows it affected (and the notices the server sent with
// it). So a statement runs exactly once either way. Output parameters
// (--param NAME=:out) are printed last, as one row.
//
// A parameter used more than once (select :p, typeof(:p)) is one --param:
// the query keeps one parameter per marker, and the tool gives the value to
// every marker of the name.
#include "QueryCommand.h"

#include "RowWriter.h"
#include "RunningStatement.h"
#include "SQLScript.h"

#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCQuery.h"
#include "velora/rtl/DateUtils.h"
#include "velora/rtl/Numbers.h"

#include <cstdio>
#include <string>
#include <vector>

namespace velora::app {

namespace {

/// One --param: its name, value text and type (ftUnknown: guessed).
struct TParamArg {
    std::string Name;
    std::string Value;
    TFieldType Type = ftUnknown;
    bool Null = false;
    /// ptInput, or ptOutput / ptInputOutput / ptResult (":out", ":inout",
    /// ":result" before the type).
    TODBCParamType Direction = ptInput;
};

struct TTypeName {
    const char* Name;
    TFieldType Type;
};

constexpr TTypeName kTypeNames[] = {
    {"integer", ftInteger}, {"smallint", ftSmallint}, {"word", ftWord},     {"boolean", ftBoolean},
    {"float", ftFloat},     {"currency", ftCurrency}, {"bcd", ftBCD},       {"date", ftDate},
    {"time", ftTime},       {"datetime", ftDateTime}, {"string", ftString}, {"memo", ftMemo},
};

/// Takes a direction word (":out", ":result", ":inout") off the end of the
/// value. ":out" and ":result" stand alone: the value is empty.
void ParseDirection(TParamArg& arg, const std::string& text) {
    const std::size_t colon = arg.Value.rfind(':');
    if (colon == std::string::npos) return;
    const std::string word = arg.Value.substr(colon + 1);
    if (SameText(word, "inout")) {
        arg.Direction = ptInputOutput;
    } else if (SameText(word, "out") || SameText(word, "result")) {
        if (colon != 0) return;  // a value that ends in ":out" stays a value
        arg.Direction = SameText(word, "out") ? ptOutput : ptResult;
    } else {
        return;
    }
    if (arg.Null && arg.Direction != ptInputOutput)
        throw TUsageError{"--param " + text + ": an output parameter takes no value"};
    arg.Value.erase(colon);
}

TParamArg ParseParam(const std::string& text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0) throw TUsageError{"--param needs NAME=VALUE[:TYPE], not '" + text + "'"};
    TParamArg arg;
    arg.Name = text.substr(0, eq);
    arg.Value = text.substr(eq + 1);
    // A type is the text after the last colon, when it names one: "12:30"
    // stays a value, "12:30:time" is a time.
    const std::size_t colon = arg.Value.rfind(':');
    if (colon != std::string::npos) {
        const std::string suffix = arg.Value.substr(colon + 1);
        if (SameText(suffix, "null")) {
            arg.Null = true;
            arg.Value.erase(colon);
        }
        for (const TTypeName& t : kTypeNames) {
            if (!arg.Null && SameText(suffix, t.Name)) {
                arg.Type = t.Type;
                arg.Value.erase(colon);
                break;
            }
        }
    }
    ParseDirection(arg, text);
    return arg;
}

/// The values of the output parameters as one row (name = column).
void WriteOutputParams(TODBCQuery& query, const TOutputOptions& output, std::FILE* out) {
    std::vector<TColumn> columns;
    TRow row;
    for (int i = 0; i < query.Params()->Count(); ++i) {
        TODBCParam& p = *query.Params()->Entry(i);
        if (p.ParamType() != ptOutput && p.ParamType() != ptInputOutput && p.ParamType() != ptResult) continue;
        const TFieldType t = p.DataType();
        const bool number = t == ftSmallint || t == ftInteger || t == ftWord || t == ftFloat || t == ftCurrency ||
                            t == ftBCD || t == ftLargeint;
        columns.push_back({p.Name(), number ? TCellKind::Number : t == ftBoolean ? TCellKind::Boolean : TCellKind::Text});
        TCell cell;
        cell.Null = p.IsNull();
        if (!cell.Null) cell.Text = p.AsString();
        row.push_back(std::move(cell));
    }
    if (columns.empty()) return;
    auto writer = NewRowWriter(output, out);
    writer->Begin(columns);
    writer->Row(row);
    writer->End(1);
}

void PrintCount(std::FILE* notes, long long rows) {
    if (rows < 0)
        std::fprintf(notes, "Done (the data source counts no rows for this statement).\n");
    else
        std::fprintf(notes, "%lld row%s affected\n", rows, rows == 1 ? "" : "s");
}

/// Gives the parameter its value: as typed, or as the value reads.
void AssignParam(TODBCParam& p, const TParamArg& arg) {
    p.SetParamType(arg.Direction);
    if (arg.Direction == ptOutput || arg.Direction == ptResult) {
        p.SetDataType(arg.Type == ftUnknown ? ftString : arg.Type);
        p.Clear();
        p.SetBound(true);
        return;
    }
    if (arg.Null) {
        p.SetDataType(arg.Type == ftUnknown ? ftString : arg.Type);
        p.Clear();
        p.SetBound(true);
        return;
    }
    TFieldType type = arg.Type;
    if (type == ftUnknown) {
        long long whole = 0;
        double number = 0;
        if (TryStrToInt(arg.Value, whole) && whole >= INT32_MIN && whole <= INT32_MAX)
            type = ftInteger;
        else if (TryStrToFloat(arg.Value, number))
            type = ftFloat;
        else
            type = ftString;
    }
    if (type == ftTime) {
        // A time of day alone: "hh:mm[:ss[.zzz]]".
        int h = 0, m = 0, s = 0, ms = 0;
        if (std::sscanf(arg.Value.c_str(), "%d:%d:%d.%d", &h, &m, &s, &ms) < 2)
            throw EConvertError("'" + arg.Value + "' is not a valid time");
        p.SetAsTime(EncodeTime(h, m, s, ms));
        return;
    }
    if (type == ftMemo) {
        p.SetAsMemo(arg.Value);
        return;
    }
    if (type == ftBoolean) {
        p.SetAsBoolean(BooleanInput(arg.Value, ":" + arg.Name));
        return;
    }
    p.SetDataType(type);
    p.SetText(arg.Value);
}

/// The text with every "::" cast doubled, so that the query's scanner,
/// which reads "::" as one colon, hands it to the data source as written
/// (PostgreSQL's casts): ":v::int" binds v and keeps the cast. Literals and
/// comments are read as the data source reads them.
std::string KeepDoubleColons(const std::string& sql, TSQLDialect dialect) {
    std::string out;
    out.reserve(sql.size() + 8);
    std::size_t copied = 0;
    for (const odbc::TSQLToken& t : odbc::SQLTokens(sql, odbc::TSQLRules{dialect})) {
        if (t.Kind != odbc::TSQLTokenKind::Cast) continue;
        out.append(sql, copied, t.End - copied);
        out += "::";
        copied = t.End;
    }
    out.append(sql, copied, std::string::npos);
    return out;
}

/// Whether the text holds a :name parameter outside literals and comments.
bool HasParameter(const std::string& sql, TSQLDialect dialect) {
    for (const odbc::TSQLToken& t : odbc::SQLTokens(sql, odbc::TSQLRules{dialect}))
        if (t.Kind == odbc::TSQLTokenKind::Param) return true;
    return false;
}

}  // namespace

long long RunStatement(TODBCDatabase& db, const std::string& sql, const std::vector<std::string>& params,
                       const TOutputOptions& output, bool requireAllParams, std::FILE* out) {
    if (LineBreakInQuotedValue(sql))
        throw Exception(
            "a quoted value holds a line break, which the query's SQL lines would turn into CR LF; "
            "write it with the data source's character function (char(10), chr(10)) or as a --param");
    TOwnedPtr<TODBCQuery> query(new TODBCQuery(nullptr));
    query->SetDataBase(&db);
    query->SetReadOnly(true);
    query->SetUniDirectional(true);
    query->SetRowSetSize(200);
    query->SetQueryTimeout(output.QueryTimeout);
    // The query reads ":name" as a parameter and "::" as one colon. SQL
    // without --param that holds "::" (PostgreSQL's casts) goes to the data
    // source as it stands instead.
    // With --param the casts are escaped for the scanner instead.
    // A text without a parameter by the data source's own reading (a
    // function body in dollar quotes, "a := 1", casts) goes as written too.
    const bool casts = sql.find("::") != std::string::npos;
    if (params.empty() && (casts || !HasParameter(sql, SQLDialectOf(db.Handle())))) query->SetParamCheck(false);
    query->SQL()->SetText(params.empty() || !casts ? sql : KeepDoubleColons(sql, SQLDialectOf(db.Handle())));
    TODBCParams& list = *query->Params();
    for (const std::string& text : params) {
        const TParamArg arg = ParseParam(text);
        bool found = false;
        for (int i = 0; i < list.Count(); ++i) {
            if (!SameText(list.Entry(i)->Name(), arg.Name)) continue;
            AssignParam(*list.Entry(i), arg);
            found = true;
        }
        if (!found && requireAllParams) throw TUsageError{"the SQL text has no parameter :" + arg.Name};
    }
    for (int i = 0; i < list.Count(); ++i)
        if (!list.Entry(i)->Bound())
            throw TUsageError{"no value for parameter :" + list.Entry(i)->Name() + " (give it with --param)"};

    const TRunningStatement running(*query);  // Ctrl-C in the shell cancels it
    query->Prepare();
    long long rows = 0;
    // Only the table format mixes notes with rows; the others keep
    // standard output machine-readable.
    std::FILE* notes = output.Format == "table" ? out : stderr;
    if (query->ResultColumnCount() > 0 || query->DescribesOnlyWhenRun()) {
        // Every result in order, each count where it came: a procedure or a
        // text of several statements may give several.
        std::size_t shown = 0;
        auto showCounts = [&] {
            const std::vector<std::int32_t>& counts = query->RowsAffectedCounts();
            for (; shown < counts.size(); ++shown) PrintCount(notes, counts[shown]);
        };
        if (query->OpenResult()) {
            do {
                showCounts();
                auto writer = NewRowWriter(output, out);
                rows = WriteRows(*query, *writer);
            } while (query->NextResultSet());
        }
        showCounts();
    } else {
        query->ExecSQL();
        for (const odbc::DiagRecord& notice : query->ExecWarnings())
            std::fprintf(notes, "notice: [%s] %s\n", notice.State.c_str(), notice.Text.c_str());
        rows = query->RowsAffected();
        if (query->RowsAffectedCounts().size() > 1)
            for (std::int32_t count : query->RowsAffectedCounts()) PrintCount(notes, count);
        else
            PrintCount(notes, rows);
    }
    WriteOutputParams(*query, output, out);
    query->UnPrepare();
    return rows;
}

void TQueryCommand::Define(CLI::App& cmd) {
    cmd.add_option("DSN", FDsn, "ODBC data source name or connection string")->required();
    cmd.add_option("SQL", FSQL,
                   "the SQL text; - reads it from standard input. BEGIN, START TRANSACTION, COMMIT, END, ROLLBACK "
                   "and SAVEPOINT statements act as in the data source's own client");
    cmd.add_option("-f,--file", FFile, "reads the SQL from FILE (statements ended by ;)");
    cmd.add_option("--param", FParams,
                   "NAME=VALUE[:TYPE]: the value of every :NAME marker; TYPE is integer, smallint, word, boolean, "
                   "float, currency, bcd, date, time, datetime, string, memo, or null for NULL (without TYPE: "
                   "integer, float or string as the value reads); :NAME::TYPE is the marker NAME and a cast. "
                   "Output parameters of a procedure call: NAME=:out[:TYPE] (output), NAME=:result[:TYPE] (the "
                   "return value of {:NAME = call f(...)}), NAME=VALUE:inout[:TYPE] (input-output); their values "
                   "are printed as one row after the results (without TYPE an output answers as text)");
    FAccount.Define(cmd);
    FOutput.Define(cmd);
    FOutput.DefineTimeout(cmd);
}

int TQueryCommand::Run() {
    const std::string text = ReadSQLText(FSQL, FFile);
    for (const std::string& p : FParams) ParseParam(p);  // refuse a malformed --param before connecting

    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    // Results are read forward-only (RunStatement): the driver is asked to stream them.
    TODBCDatabase* db = FAccount.NewDatabase(owner.get(), FDsn, true);
    db->Open();
    // Statements are split as the data source reads its text; an argument
    // too, so that each of its statements shows its result or count (and
    // SQLite's driver, which takes one statement at a time, runs them all).
    std::vector<std::string> statements;
    TStatementSplitter splitter(SQLDialectOf(db->Handle()));
    splitter.Add(text);
    for (std::string s; splitter.Next(s);) statements.push_back(s);
    if (std::string rest = splitter.TakeRest(); !rest.empty()) statements.push_back(rest);
    const bool argument = FFile.empty() && FSQL != "-";
    if (argument && statements.size() <= 1) {
        statements.assign(1, text);  // one statement goes as written
    } else if (statements.empty()) {
        throw TUsageError{"the SQL given holds no statement"};
    }
    for (const std::string& s : statements) RunStatement(*db, s, FParams, FOutput, statements.size() == 1);
    return 0;
}

}  // namespace velora::app
