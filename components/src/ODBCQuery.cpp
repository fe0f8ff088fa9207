// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCQuery: the SQL text and its markers, preparation, binding and
// execution, the rows-affected count, the master link and the query's form
// file data.
#include "velora/components/ODBCQuery.h"

#include "velora/components/ODBCSQLParser.h"
#include "ODBCParamSetLayout.h"
#include "velora/components/ODBCconst.h"
#include "velora/engine/ODBCCursor.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/engine/SQLText.h"
#include "velora/odbc/SQLTokens.h"
#include "velora/db/DBConsts.h"
#include "velora/rtl/DateUtils.h"
#include "velora/classes/TypInfo.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <exception>
#include <vector>

namespace velora {

namespace {

/// The parameter takes the value a driver answered for it, in its own type
/// where the answer allows (a NULL keeps the type).
void SetParamOutput(TODBCParam& p, const TODBCParamOutput& out) {
    const TFieldType type = p.DataType();
    if (out.IsNull) {
        p.Clear();
        return;
    }
    auto fixed = [&](auto value) {
        std::memcpy(&value, out.Data.data(), std::min(sizeof value, out.Data.size()));
        return value;
    };
    switch (out.CType) {
        case SQL_C_BIT:
            p.SetAsBoolean(fixed(std::uint8_t{0}) != 0);
            break;
        case SQL_C_SSHORT:
            p.SetAsSmallInt(fixed(std::int16_t{0}));
            break;
        case SQL_C_USHORT:
            p.SetAsWord(fixed(std::uint16_t{0}));
            break;
        case SQL_C_SLONG:
            p.SetAsInteger(fixed(std::int32_t{0}));
            break;
        case SQL_C_SBIGINT:
            p.SetAsLargeInt(fixed(std::int64_t{0}));
            break;
        case SQL_C_DOUBLE:
            if (type == ftCurrency)
                p.SetAsCurrency(fixed(0.0));
            else
                p.SetAsFloat(fixed(0.0));
            break;
        case SQL_C_TYPE_DATE: {
            const auto d = fixed(SQL_DATE_STRUCT{});
            p.SetAsDate(EncodeDate(d.year, d.month, d.day));
            break;
        }
        case SQL_C_TYPE_TIMESTAMP: {
            const auto t = fixed(SQL_TIMESTAMP_STRUCT{});
            if (t.fraction % 1000000u != 0) {
                // Finer than a millisecond: kept whole as its text.
                char text[64];
                std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u.%09u", t.year, t.month, t.day, t.hour,
                              t.minute, t.second, static_cast<unsigned>(t.fraction));
                p.AssignExactText(type == ftUnknown ? ftDateTime : type, text, false);
            } else {
                p.SetAsDateTime(EncodeDate(t.year, t.month, t.day) +
                                EncodeTime(t.hour, t.minute, t.second, static_cast<int>(t.fraction / 1000000u)));
            }
            break;
        }
        case SQL_C_BINARY:
            p.SetAsBlob(out.Data);
            break;
        default:  // text
            if (type == ftBCD || type == ftTime)
                p.AssignExactText(type, out.Data, false);
            else if (type == ftMemo || type == ftFmtMemo)
                p.SetAsMemo(out.Data);
            else
                p.SetAsString(out.Data);
            break;
    }
}

/// The routine name of an escape "{call NAME(...)}" split into schema and
/// name as the server stores them (unquoted parts in lower case), and the
/// text after "call"; false for any other text.
bool SplitCallEscape(const String& text, String& schema, String& name, String& call) {
    const std::string_view t(text);
    const std::vector<odbc::TSQLToken> tokens = odbc::SQLTokens(t, odbc::TSQLRules{TSQLDialect::PostgreSQL});
    const std::size_t last = tokens.size() - 1;
    if (tokens.size() < 4 || !odbc::IsSQLPunct(t, tokens.front(), '{') || !odbc::IsSQLPunct(t, tokens[last], '}') ||
        !odbc::IsSQLWord(t, tokens[1], "CALL"))
        return false;
    // The procedure's name: one or two parts, each a word (folded to lower
    // case, as the server does) or a quoted name, then '(' or the end.
    std::vector<String> parts;
    std::size_t i = 2;
    for (;;) {
        const odbc::TSQLToken& k = tokens[i];
        if (k.Kind == odbc::TSQLTokenKind::Word)
            parts.push_back(LowerCase(String(odbc::TokenText(t, k))));
        else if (k.Kind == odbc::TSQLTokenKind::QuotedName)
            parts.push_back(odbc::UnquotedName(odbc::TokenText(t, k)));
        else
            return false;
        if (++i < last && odbc::IsSQLPunct(t, tokens[i], '.') && i + 1 < last) {
            ++i;
            continue;
        }
        break;
    }
    if (parts.size() > 2 || parts.back().empty() || (i != last && !odbc::IsSQLPunct(t, tokens[i], '('))) return false;
    name = parts.back();
    schema = parts.size() == 2 ? parts[0] : String();
    call = Trim(String(t.substr(tokens[2].Begin, tokens[last].Begin - tokens[2].Begin)));
    return true;
}

String SQLLiteral(const String& s) {
    String out = "'";
    for (char c : s) out += c == '\'' ? String("''") : String(1, c);
    return out + "'";
}

/// psqlODBC turns the escape "{call p(...)}" into a SELECT from the
/// routine, which PostgreSQL refuses for a procedure (42809 "... is a
/// procedure"): the escape of a procedure is sent as "CALL p(...)", which
/// the driver binds the same way. Other texts are returned as they are.
String PostgreSQLCallText(SQLHDBC dbc, const String& text) {
    String schema, name, call;
    if (!SplitCallEscape(text, schema, name, call)) return text;
    const String lookup = "SELECT 1 FROM pg_catalog.pg_proc p JOIN pg_catalog.pg_namespace n ON n.oid = p.pronamespace "
                          "WHERE p.prokind = 'p' AND p.proname = " +
                          SQLLiteral(name) +
                          (schema.empty() ? String(" AND pg_catalog.pg_function_is_visible(p.oid)")
                                          : " AND n.nspname = " + SQLLiteral(schema));
    TODBCStmtOwner stmt(ODBCAllocStmt(dbc));
    SQLRETURN rc = odbc::SQLExecDirect(stmt.get(), reinterpret_cast<SQLCHAR*>(const_cast<char*>(lookup.c_str())),
                                       SQL_NTS);
    const bool procedure = ODBCSucceeded(rc) && ODBCSucceeded(odbc::SQLFetch(stmt.get()));
    odbc::SQLFreeStmt(stmt.get(), SQL_CLOSE);
    return procedure ? "CALL " + call : text;
}

/// MariaDB's server has no return-value escape: "{? = call f(a, b)}" is
/// run as "SELECT f(a, b)" and the value it answers goes to the first
/// parameter. Empty for any other text.
String ReturnEscapeSelect(const String& text, TSQLDialect dialect) {
    const std::vector<odbc::TSQLToken> t = odbc::SQLTokens(text, odbc::TSQLRules{dialect});
    if (t.size() < 6 || !odbc::IsSQLPunct(text, t[0], '{') || t[1].Kind != odbc::TSQLTokenKind::Marker ||
        !odbc::IsSQLPunct(text, t[2], '=') || !odbc::IsSQLWord(text, t[3], "CALL") ||
        !odbc::IsSQLPunct(text, t.back(), '}'))
        return {};
    const String call = Trim(text.substr(t[4].Begin, t.back().Begin - t[4].Begin));
    const bool arguments = std::any_of(t.begin() + 4, t.end(), [&](const odbc::TSQLToken& k) {
        return odbc::IsSQLPunct(text, k, '(');
    });
    return "SELECT " + call + (arguments ? "" : "()");
}

}  // namespace

// ---------------------------------------------------------------------------
// The master link

void TODBCQueryDataLink::ActiveChanged() {
    if (FQuery->Active()) FQuery->RefreshParams();
}

void TODBCQueryDataLink::CheckBrowseMode() {
    if (FQuery->Active()) FQuery->CheckBrowseMode();
}

void TODBCQueryDataLink::RecordChanged(TField* Field) {
    if (Field == nullptr && FQuery->Active()) FQuery->RefreshParams();
}

// ---------------------------------------------------------------------------
// Construction

TODBCQuery::TODBCQuery(TComponent* AOwner)
    : TODBCDataSet(AOwner),
      FDataLink(std::make_unique<TODBCQueryDataLink>(this)),
      FParams(new TODBCParams()),
      FSQL(new TStringList()) {
    RegisterODBCQueryClasses();
    FSQL->OnChange = [this](TObject* sender) { QueryChanged(sender); };
    SetReadOnly(false);
}

TODBCQuery::~TODBCQuery() {
    try {
        Disconnect();
    } catch (...) {
        // Nothing to report from a destructor; the statement goes below.
    }
    FreeStatement();
    FSQL->OnChange = nullptr;
    FSQL.reset();
    FParams.reset();
}

// ---------------------------------------------------------------------------
// The SQL text

void TODBCQuery::SetQuery(TStrings* Value) {
    if (Value && FSQL->Text() == Value->Text()) return;
    Disconnect();
    FSQL->BeginUpdate();
    try {
        if (Value)
            FSQL->Assign(Value);
        else
            FSQL->Clear();
    } catch (...) {
        FSQL->EndUpdate();
        throw;
    }
    FSQL->EndUpdate();
}

TSQLDialect TODBCQuery::ScanDialect() const {
    const SQLHDBC dbc = Database() && Database()->Connected() ? GetDBHandle() : SQL_NULL_HDBC;
    return dbc ? SQLDialectOf(dbc) : TSQLDialect::Standard;
}

void TODBCQuery::CreateParams(TODBCParams* List, String& Text) {
    FScanDialect = ScanDialect();
    FQueryTableName = ODBCCreateParams(List, Text, *FScanDialect);
}

void TODBCQuery::QueryChanged(TObject*) {
    String text = FSQL->Text();
    FScanDialect.reset();
    if (IsLoading()) {
        // The parameters come from the form file.
        CreateParams(nullptr, text);
        SetStmtText(text);
        return;
    }
    Disconnect();
    FSQLBinary.reset();
    SetStmtText(text);
    if (FParamCheck || IsDesigning()) {
        TOwnedPtr<TODBCParams> list(new TODBCParams());
        try {
            String rewritten = text;
            const TSQLDialect dialect = ScanDialect();
            String tableName = ODBCCreateParams(list.get(), rewritten, dialect);
            list->AssignValues(FParams.get());
            FParams = std::move(list);
            FQueryTableName = tableName;
            FScanDialect = dialect;
            SetStmtText(rewritten);
        } catch (...) {
            // The old list stays; the text goes to the driver as it is.
        }
    }
    DataEvent(dePropertyChange, 0);
}

void TODBCQuery::RescanForDialect() {
    // A text scanned before the database was connected was read in the
    // standard dialect; the data source's own reading decides what goes to
    // the driver (a colon in a dollar quote, a # comment or a string with a
    // backslash-escaped quote is text there).
    if (!FScanDialect) return;
    const TSQLDialect dialect = ScanDialect();
    if (dialect == *FScanDialect) return;
    String text = FSQL->Text();
    TOwnedPtr<TODBCParams> list(new TODBCParams());
    const String tableName = ODBCCreateParams(list.get(), text, dialect);
    bool same = list->Count() == FParams->Count();
    for (int i = 0; same && i < list->Count(); ++i) same = list->Entry(i)->Name() == FParams->Entry(i)->Name();
    if (!same) {
        // The values given stay with the names the new reading still has.
        list->AssignValues(FParams.get());
        FParams = std::move(list);
    }
    FQueryTableName = tableName;
    FScanDialect = dialect;
    SetStmtText(text);
}

// ---------------------------------------------------------------------------
// Preparation

void TODBCQuery::Prepare() {
    SetDBFlag(flagPrepared, true);
    SetPrepared(true);
}

void TODBCQuery::UnPrepare() {
    SetPrepared(false);
    SetDBFlag(flagPrepared, false);
}

void TODBCQuery::SetPrepared(bool Value) {
    if (!QueryStmt()) FPrepared = false;
    if (Value == FPrepared) return;
    if (Value) {
        FRowsAffected = -1;
        FSaveRowsAffected = true;
        if (StmtText().size() <= 1) DatabaseError(SEmptySQLStatement);
        // A query that holds a statement stays on its database's list, so
        // that the database unprepares it before disconnecting.
        SetDBFlag(flagPrepared, true);
        RescanForDialect();
        // A transaction statement is never prepared: ExecSQL hands it to
        // the database (psqlODBC forgets a prepared BEGIN).
        if (IsTransactionStatement()) return;
        try {
            PrepareSQL(StmtText());
        } catch (...) {
            SetDBFlag(flagPrepared, false);
            throw;
        }
    } else {
        // The statement of an open query is the dataset's: closing frees it.
        if (Active()) Close();
        if (FSaveRowsAffected) FRowsAffected = GetRowsAffected();
        FreeStatement();
        SetDBFlag(flagPrepared, false);
    }
    FPrepared = Value && QueryStmt() != SQL_NULL_HSTMT;
}

void TODBCQuery::GetStatementHandle(const String& Text) {
    const ODBCOpenMode openMode = FReadOnly ? ODBCREADONLY : ODBCREADWRITE;
    const SQLHDBC dbc = GetDBHandle();
    std::uint8_t cursorMode = Database()->CursorMode();
    const TSQLDialect dialect = SQLDialectOf(dbc);
    String text = dialect == TSQLDialect::PostgreSQL && IsProcedureCall() ? PostgreSQLCallText(dbc, Text) : Text;
    const String select = dialect == TSQLDialect::MySQL ? ReturnEscapeSelect(Text, dialect) : String();
    FReturnSelect = !select.empty();
    if (FReturnSelect) text = select;
    TODBCStmtOwner stmt(ODBCAllocStmt(dbc));
    try {
        // A SELECT (and only a SELECT: the cursor reads the statement's
        // columns by running it with a false condition) is served by our
        // cursor library on any connection, the engine on its road.
        if (FKeyRangeCursor && !UniDirectional() && cursorMode != cmForwardOnly && !FReturnSelect) {
            const std::vector<odbc::TSQLToken> tokens = odbc::SQLTokens(text, odbc::TSQLRules{dialect});
            if (!tokens.empty() && odbc::IsSQLWord(text, tokens.front(), "SELECT")) {
                odbc::UseKeyRangeCursor(stmt.get());
                cursorMode = cmCursorLibrary;
            }
        }
        FEngineCursorMode = cursorMode;
        ODBCPrepareStmt(stmt.get(), text, openMode, UniDirectional(), cursorMode);
        // A statement without result columns (INSERT, UPDATE, DELETE) is
        // described as having none: preparing reads no rows.
        // Records are written to the table as the text names it (quotes
        // and schema kept); QueryTableName is the marker scanner's word.
        FWriteTableName = SelectTableName(Text, SQLDialectOf(dbc));
        // A call is described once its parameters are bound (GetQueryCursor):
        // psqlODBC describes "{call f(?, ?)}" of a function with OUT
        // parameters as a call with every marker an argument until it knows
        // which are output, and the server then finds no such function. Its
        // return-value escape "{? = call f(?)}" is described before binding
        // (afterwards the driver drops every argument).
        const String trimmed = Trim(text);
        const bool returnEscape =
            trimmed.size() > 1 && trimmed[0] == '{' && Trim(trimmed.substr(1)).starts_with("?");
        if (!FReturnSelect && (!IsProcedureCall() || returnEscape))
            FEngine = std::make_unique<TODBC>(dbc, stmt.get(), FWriteTableName, cursorMode);
    } catch (...) {
        FEngine.reset();
        // psqlODBC keeps the result of a failed describe past the release of
        // its statement unless the statement is closed first; the owner
        // frees it.
        odbc::SQLFreeStmt(stmt.get(), SQL_CLOSE);
        throw;
    }
    FStmt = std::move(stmt);
}

void TODBCQuery::FreeStatement() noexcept {
    // The engine unbinds its columns from the statement: it goes first.
    FEngine.reset();
    if (!FStmt) return;
    FPrepared = false;
    FStmt.reset();
}

void TODBCQuery::DestroyHandle() {
    // Closing: the dataset frees the statement and the engine it was handed.
    FPrepared = false;
    FEngine.reset();
    if (FKeepStatement) {
        // NextResultSet: the statement goes on to its next result; it stays
        // on the database's list (flagPrepared) while the query holds it.
        FStmt.reset(TakeStmtHandle());
        return;
    }
    TODBCDataSet::DestroyHandle();
    SetDBFlag(flagPrepared, false);
}

// ---------------------------------------------------------------------------
// Execution

bool TODBCQuery::IsTransactionStatement() const {
    return FParams->Count() == 0 &&
           TransactionStatementOf(StmtText(), SQLDialectOf(GetDBHandle())).Kind != TTransactionKind::None;
}

bool TODBCQuery::IsProcedureCall() const {
    // The server describes a procedure's results only when it runs.
    const String& text = StmtText();
    const odbc::TSQLRules rules{SQLDialectOf(GetDBHandle())};
    const std::vector<odbc::TSQLToken> tokens = odbc::SQLTokens(text, rules);
    if (tokens.empty()) return false;
    const odbc::TSQLToken& first = tokens.front();
    return odbc::IsSQLPunct(text, first, '{') || odbc::IsSQLWord(text, first, "CALL") ||
           odbc::IsSQLWord(text, first, "EXEC") || odbc::IsSQLWord(text, first, "EXECUTE");
}

bool TODBCQuery::IsBatch() const {
    String text = Trim(StmtText());
    while (!text.empty() && (text.back() == ';' || std::isspace(static_cast<unsigned char>(text.back()))))
        text.pop_back();
    return HasStatementSeparator(text, SQLDialectOf(GetDBHandle()));
}

bool TODBCQuery::HasOutputParams() const {
    for (int i = 0; i < FParams->Count(); ++i) {
        const TODBCParamType t = FParams->Entry(i)->ParamType();
        if (t == ptOutput || t == ptInputOutput || t == ptResult) return true;
    }
    return false;
}

SQLHSTMT TODBCQuery::CreateHandle() {
    FLaterResult = FOpenOnRunStatement;
    if (FOpenOnRunStatement) {
        // NextResultSet: the statement stands at its next result.
        FEngine = std::make_unique<TODBC>(GetDBHandle(), FStmt.get(), FWriteTableName, FEngineCursorMode);
        FPrepared = true;
        SetEngine(std::move(FEngine));
        return FStmt.release();
    }
    FRowCounts.clear();
    FResultsPassed = false;
    FRanWithoutResult = false;
    // psqlODBC turns the cursor of several statements forward-only (01S02):
    // refused before it runs rather than failing at the first scroll.
    if (!UniDirectional() && SQLDialectOf(GetDBHandle()) == TSQLDialect::PostgreSQL && IsBatch())
        DatabaseErrorFmt(SBatchForwardOnly, Name());
    CreateCursor(false);
    if (FReturnSelect) {
        // A function's return value is a parameter, not a result set: the
        // call runs once and the dataset stays closed.
        GetQueryCursor(true);
        FRanWithoutResult = true;
        DatabaseErrorFmt(SNoResultSet, Name());
    }
    // Every driver describes the result columns of a prepared statement
    // without running it, except for procedure calls and several statements
    // (MariaDB describes none for those): a statement without columns is
    // refused before it runs; a call runs, and the dataset refuses it when
    // it has no result (TODBCDataSet::OpenCursor).
    if (!FEngine || (FEngine->Columns.empty() && !DescribesOnlyWhenRun())) DatabaseErrorFmt(SNoResultSet, Name());
    // A statement run by ExecSQL may still have its result open.
    odbc::SQLFreeStmt(FStmt.get(), SQL_CLOSE);
    SetActiveStmtText(String());
    SetEngine(std::move(FEngine));
    // The dataset owns the statement from here until it closes.
    return FStmt.release();
}

SQLHSTMT TODBCQuery::CreateCursor(bool GenHandle) {
    if (FSQL->Count() == 0) DatabaseError(SEmptySQLStatement);
    FArrayRan = false;
    SetPrepared(true);
    if (FDataLink->DataSource()) SetParamsFromCursor();
    SQLHSTMT result = GetQueryCursor(GenHandle);
    FSaveRowsAffected = result == SQL_NULL_HSTMT;
    return result;
}

SQLHSTMT TODBCQuery::GetQueryCursor(bool GenHandle) {
    if (FParams->Count() > 0) SetParams();
    if (!FEngine && FStmt && !FReturnSelect) {
        try {
            FEngine = std::make_unique<TODBC>(GetDBHandle(), FStmt.get(), FWriteTableName, FEngineCursorMode);
        } catch (...) {
            odbc::SQLFreeStmt(FStmt.get(), SQL_CLOSE);
            throw;
        }
    }
    if (GenHandle) {
        FExecWarnings.clear();
        FRowCounts.clear();
        FResultsPassed = false;
        // The result of the previous run is not read; a statement with an
        // open cursor cannot run again.
        odbc::SQLFreeStmt(QueryStmt(), SQL_CLOSE);
        ExecuteStatement(QueryStmt(), &FExecWarnings);
        // A substituted cursor attribute (01S02) concerns the cursor the
        // query asked for, not the statement: only the server's notices stay.
        std::erase_if(FExecWarnings, [](const odbc::DiagRecord& r) { return r.State == "01S02"; });
        if (FReturnSelect)
            ReadReturnSelect(QueryStmt());
        else if (HasOutputParams() || IsBatch())
            PassAllResults(QueryStmt());
    }
    return QueryStmt();
}

void TODBCQuery::SetParams() {
    if (HasOutputParams()) {
        // A driver without procedures (SQLite's) leaves output parameters
        // untouched: refused rather than answered with the input.
        char procedures[4] = {};
        SQLSMALLINT length = 0;
        if (ODBCSucceeded(odbc::SQLGetInfo(GetDBHandle(), SQL_PROCEDURES, procedures, sizeof procedures, &length)) &&
            procedures[0] == 'N') {
            for (int i = 0; i < FParams->Count(); ++i) {
                const TODBCParamType t = FParams->Entry(i)->ParamType();
                if (t == ptOutput || t == ptInputOutput || t == ptResult)
                    DatabaseErrorFmt(SNoOutputParams, FParams->Entry(i)->Name());
            }
        }
    }
    if (FReturnSelect) {
        // "SELECT f(...)" has every marker but the first, the return value's.
        TODBCParams inputs;
        for (int i = 1; i < FParams->Count(); ++i) {
            const TODBCParam* p = FParams->Entry(i);
            inputs.CreateParam(p->DataType(), p->Name(), p->ParamType())->AssignParam(FParams->GetParam(i));
        }
        FParamBuffer.Bind(inputs, QueryStmt(), nullptr);
        return;
    }
    FParamBuffer.Bind(*FParams, QueryStmt(), QueryEngine());
}

void TODBCQuery::ReadReturnSelect(SQLHSTMT Stmt) {
    // The one value of the one row goes to the return value's parameter,
    // read whole in pieces, as bytes for a binary type and text otherwise.
    TODBCParam* p = FParams->Entry(0);
    const TFieldType type = p->DataType();
    const bool binary = type == ftBlob || type == ftBytes || type == ftVarBytes || type == ftGraphic ||
                        type == ftTypedBinary;
    const SQLSMALLINT ctype = binary ? SQL_C_BINARY : SQL_C_CHAR;
    SQLRETURN rc = odbc::SQLFetch(Stmt);
    if (rc == SQL_NO_DATA) DatabaseErrorFmt(SNoResultSet, Name());
    ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
    String value;
    bool null = false;
    char chunk[4096];
    for (;;) {
        SQLLEN length = 0;
        rc = odbc::SQLGetData(Stmt, 1, ctype, chunk, sizeof chunk, &length);
        if (rc == SQL_NO_DATA) break;
        ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
        if (length == SQL_NULL_DATA) {
            null = true;
            break;
        }
        const std::size_t room = sizeof chunk - (binary ? 0 : 1);
        const bool more = length == SQL_NO_TOTAL || length > static_cast<SQLLEN>(room);
        value.append(chunk, more ? room : static_cast<std::size_t>(length));
        if (!more) break;
    }
    odbc::SQLFreeStmt(Stmt, SQL_CLOSE);
    FRowCounts.clear();
    FResultsPassed = true;
    if (null)
        p->Clear();
    else if (binary)
        p->SetAsBlob(value);
    else if (type == ftMemo || type == ftFmtMemo)
        p->SetAsMemo(value);
    else if (type == ftUnknown)
        p->SetAsString(value);
    else
        p->SetText(value);
}

void TODBCQuery::ExecSQL() {
    CheckInactive();
    SetDBFlag(flagExecSQL, true);
    std::exception_ptr error;
    try {
        FArrayRan = false;
        if (FArraySize > 0) {
            ExecArray();
        } else if (IsTransactionStatement()) {
            SetPrepared(false);
            Database()->RunTransactionStatement(StmtText(), &FExecWarnings);
            FRowsAffected = -1;
        } else {
            SetPrepared(true);
            CreateCursor(true);
        }
    } catch (...) {
        error = std::current_exception();
    }
    SetDBFlag(flagExecSQL, false);
    if (error) std::rethrow_exception(error);
}

int TODBCQuery::NoteResult(SQLHSTMT Stmt) {
    SQLSMALLINT columns = 0;
    ODBCCheckError(SQL_HANDLE_STMT, Stmt, odbc::SQLNumResultCols(Stmt, &columns));
    if (columns == 0) {
        std::int32_t count = -1;
        ODBCRowCount(Stmt, count);
        FRowCounts.push_back(count);
    }
    return columns;
}

bool TODBCQuery::MoreResults(SQLHSTMT Stmt) {
    const SQLRETURN rc = odbc::SQLMoreResults(Stmt);
    if (rc == SQL_NO_DATA) return false;
    if (rc != SQL_SUCCESS) ODBCCheckError(SQL_HANDLE_STMT, Stmt, rc);
    return true;
}

void TODBCQuery::PassAllResults(SQLHSTMT Stmt) {
    do NoteResult(Stmt);
    while (MoreResults(Stmt));
    FResultsPassed = true;
    ReadOutputParams(Stmt);
}

bool TODBCQuery::SeekResultSet(SQLHSTMT Stmt) {
    // OpenCursor found no columns in the first result.
    FRowCounts.push_back([&] {
        std::int32_t count = -1;
        ODBCRowCount(Stmt, count);
        return count;
    }());
    while (MoreResults(Stmt))
        if (NoteResult(Stmt) > 0) return true;
    FResultsPassed = true;
    FRanWithoutResult = true;
    FRowsAffected = FRowCounts.empty() ? -1 : FRowCounts.back();
    FSaveRowsAffected = false;
    ReadOutputParams(Stmt);
    return false;
}

bool TODBCQuery::OpenResult() {
    try {
        Open();
    } catch (const EDatabaseError&) {
        if (!FRanWithoutResult || Active()) throw;
        return false;
    }
    return true;
}

bool TODBCQuery::NextResultSet() {
    CheckActive();
    CheckBrowseMode();
    // Close keeps the statement (DestroyHandle): it goes on to its next
    // result, whose rows the current result's cursor must not hold.
    FKeepStatement = true;
    try {
        Close();
    } catch (...) {
        FKeepStatement = false;
        FreeStatement();
        SetDBFlag(flagPrepared, false);
        throw;
    }
    FKeepStatement = false;
    bool found = false;
    try {
        while (!found && MoreResults(FStmt.get())) found = NoteResult(FStmt.get()) > 0;
        if (!found) {
            FResultsPassed = true;
            ReadOutputParams(FStmt.get());
        }
    } catch (...) {
        FreeStatement();
        SetDBFlag(flagPrepared, false);
        throw;
    }
    if (!found) {
        FRowsAffected = FRowCounts.empty() ? -1 : FRowCounts.back();
        FSaveRowsAffected = false;
        FreeStatement();
        SetDBFlag(flagPrepared, false);
        return false;
    }
    FOpenOnRunStatement = true;
    try {
        Open();
    } catch (...) {
        FOpenOnRunStatement = false;
        FreeStatement();
        SetDBFlag(flagPrepared, false);
        throw;
    }
    FOpenOnRunStatement = false;
    return true;
}

void TODBCQuery::ReadOutputParams(SQLHSTMT Stmt) {
    for (int i = 0; i < FParams->Count(); ++i) {
        TODBCParam* p = FParams->Entry(i);
        const TODBCParamType t = p->ParamType();
        if (t != ptOutput && t != ptInputOutput && t != ptResult) continue;
        TODBCParamOutput out;
        if (!ODBCParamOutputValue(Stmt, i + 1, out)) continue;
        // Never a cut value: the call is refused with the size it needs.
        if (out.Truncated)
            DatabaseErrorFmt(SOutputParamTooLong, p->Name(),
                             out.Length == SQL_NO_TOTAL ? String("more than ") + std::to_string(kParamOutputBufferSize)
                                                        : std::to_string(out.Length),
                             kParamOutputBufferSize);
        SetParamOutput(*p, out);
    }
}

std::int32_t TODBCQuery::GetRowsAffected() {
    if (FPrepared && FResultsPassed) return FRowCounts.empty() ? -1 : FRowCounts.back();
    if (!FPrepared) return FRowsAffected;
    if (FArrayRan)
        return FArrayResult.RowsAffected > INT32_MAX ? INT32_MAX : static_cast<std::int32_t>(FArrayResult.RowsAffected);
    std::int32_t count = -1;
    return ODBCRowCount(QueryStmt(), count) == 0 ? count : -1;
}

int TODBCQuery::ResultColumnCount() const {
    const TODBC* engine = QueryEngine();
    return QueryStmt() != SQL_NULL_HSTMT && engine ? static_cast<int>(engine->Columns.size()) : 0;
}

void TODBCQuery::Disconnect() {
    Close();
    UnPrepare();
}

// ---------------------------------------------------------------------------
// Parameters and the master

void TODBCQuery::SetParamsList(TODBCParams* Value) { FParams->AssignValues(Value); }

void TODBCQuery::SetDataSource(TDataSource* Value) {
    if (Value && IsLinkedTo(Value)) DatabaseError(DBConsts::SCircularDataLink);
    FDataLink->SetDataSource(Value);
}

void TODBCQuery::SetParamsFromCursor() {
    TDataSet* master = FDataLink->DataSet();
    if (!master) return;
    master->FieldDefs()->Update();
    for (int i = 0; i < FParams->Count(); ++i) {
        TODBCParam* p = FParams->GetParam(i);
        if (p->Bound()) continue;
        p->AssignField(master->FieldByName(p->Name()));
        p->SetBound(false);
    }
}

void TODBCQuery::RefreshParams() {
    DisableControls();
    try {
        TDataSet* master = FDataLink->DataSet();
        if (master && master->Active()) {
            Close();
            Open();
        }
    } catch (...) {
        EnableControls();
        throw;
    }
    EnableControls();
}

// ---------------------------------------------------------------------------
// Flags

bool TODBCQuery::GetCanModify() {
    if (WritesThroughCursor()) return true;
    // Edits held in the record buffer only, for the update object to write.
    return UpdateObject() != nullptr && !FReadOnly && Active();
}

void TODBCQuery::InternalPost() {
    if (!WritesThroughCursor()) DatabaseErrorFmt(SWriteThroughUpdateObject, Name());
    TODBCDataSet::InternalPost();
}

void TODBCQuery::InternalDelete() {
    if (!WritesThroughCursor()) DatabaseErrorFmt(SWriteThroughUpdateObject, Name());
    TODBCDataSet::InternalDelete();
}

void TODBCQuery::InternalOpen() {
    TODBCDataSet::InternalOpen();
    if (FLaterResult) {
        FOneTable = false;  // its rows are not rows of the table the text names first
        return;
    }
    // A join writes nowhere: its rows are not rows of the table its text
    // names first. The driver's keyset cursor turns read-only by itself; the
    // cursor library reports what was asked, so the columns tell.
    // A text whose table is no plain name (a subquery, a function) names no
    // table to write to.
    FOneTable = IsValidTableName(FWriteTableName, IdentifierQuoteChar(GetDBHandle()));
    if (!FOneTable) return;
    String first;
    SQLSMALLINT count = 0;
    if (!ODBCSucceeded(odbc::SQLNumResultCols(StmtHandle(), &count))) return;
    for (SQLSMALLINT i = 1; i <= count; ++i) {
        char name[256] = {};
        SQLSMALLINT length = 0;
        if (!ODBCSucceeded(odbc::SQLColAttribute(StmtHandle(), static_cast<SQLUSMALLINT>(i), SQL_DESC_BASE_TABLE_NAME,
                                                 name, sizeof name, &length, nullptr)) ||
            name[0] == '\0')
            continue;
        if (first.empty())
            first = name;
        else if (!SameText(first, name))
            FOneTable = false;
    }
}

void TODBCQuery::SetReadOnly(bool Value) {
    CheckInactive();
    FReadOnly = Value;
}

void TODBCQuery::SetKeyRangeCursor(bool Value) {
    CheckInactive();
    FKeyRangeCursor = Value;
}

void TODBCQuery::SetCachedUpdates(bool Value) {
    if (!FReadOnly) DatabaseError(SDataSetMustReadOnly);
    if (Active()) DatabaseError(SDataSetOpen);
    FCachedUpdates = Value;
}

// ---------------------------------------------------------------------------
// Form files

void TODBCQuery::DefineProperties(TFiler& Filer) {
    TODBCDataSet::DefineProperties(Filer);
    Filer.DefineBinaryProperty(
        "Data", [this](TStream& s) { ReadBinaryData(s); }, [this](TStream& s) { WriteBinaryData(s); },
        FSQLBinary.has_value());
}

void TODBCQuery::ReadBinaryData(TStream& Stream) {
    String bytes(static_cast<std::size_t>(Stream.Size()), '\0');
    if (!bytes.empty()) Stream.ReadBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    FSQLBinary = std::move(bytes);
}

void TODBCQuery::WriteBinaryData(TStream& Stream) const {
    if (FSQLBinary && !FSQLBinary->empty())
        Stream.WriteBuffer(FSQLBinary->data(), static_cast<std::int64_t>(FSQLBinary->size()));
}

void RegisterODBCQueryClasses() {
    static const bool registered = [] {
        RegisterODBCObjClasses();
        // Database, RowSetSize and UniDirectional come from TODBCDataSet.
        RegisterClass<TODBCQuery>("TODBCQuery", "TODBCDataSet")
            .BooleanProp("CachedUpdates", &TODBCQuery::CachedUpdates, &TODBCQuery::SetCachedUpdates)
            .Default(false)
            .ComponentProp("DataSource", &TODBCQuery::DataSource, &TODBCQuery::SetDataSource)
            .BooleanProp("ParamCheck", &TODBCQuery::ParamCheck, &TODBCQuery::SetParamCheck)
            .Default(true)
            .ObjectProp("Params", &TODBCQuery::Params)
            .BooleanProp("KeyRangeCursor", &TODBCQuery::KeyRangeCursor, &TODBCQuery::SetKeyRangeCursor)
            .Default(false)
            .BooleanProp("ReadOnly", &TODBCQuery::ReadOnly, &TODBCQuery::SetReadOnly)
            .Default(false)
            .ObjectProp("SQL", &TODBCQuery::SQL)
            .ComponentProp("UpdateObject", &TODBCQuery::UpdateObject, &TODBCQuery::SetUpdateObject);
        return true;
    }();
    (void)registered;
}

namespace {
// Form files name the class without code naming it first.
const bool kQueryRegistered = (RegisterODBCQueryClasses(), true);
}  // namespace

}  // namespace velora
