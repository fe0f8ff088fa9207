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
#include "velora/db/DBConsts.h"
#include "velora/classes/TypInfo.h"

#include <cctype>
#include <exception>
#include <vector>

namespace velora {

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

void TODBCQuery::CreateParams(TODBCParams* List, String& Text) { FQueryTableName = ODBCCreateParams(List, Text); }

void TODBCQuery::QueryChanged(TObject*) {
    String text = FSQL->Text();
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
            String tableName = ODBCCreateParams(list.get(), rewritten);
            list->AssignValues(FParams.get());
            FParams = std::move(list);
            FQueryTableName = tableName;
            SetStmtText(rewritten);
        } catch (...) {
            // The old list stays; the text goes to the driver as it is.
        }
    }
    DataEvent(dePropertyChange, 0);
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
    const std::uint8_t cursorMode = Database()->CursorMode();
    TODBCStmtOwner stmt(ODBCAllocStmt(dbc));
    try {
        ODBCPrepareStmt(stmt.get(), Text, openMode, UniDirectional(), cursorMode);
        // A statement without result columns (INSERT, UPDATE, DELETE) is
        // described as having none: preparing reads no rows.
        // Records are written to the table as the text names it (quotes
        // and schema kept); QueryTableName is the marker scanner's word.
        FWriteTableName = SelectTableName(Text, SQLDialectOf(dbc));
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
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == String::npos) return false;
    if (text[first] == '{') return true;
    std::size_t end = first;
    while (end < text.size() && std::isalpha(static_cast<unsigned char>(text[end]))) ++end;
    const String word = text.substr(first, end - first);
    return SameText(word, "CALL") || SameText(word, "EXEC") || SameText(word, "EXECUTE");
}

SQLHSTMT TODBCQuery::CreateHandle() {
    CreateCursor(false);
    // Every driver describes the result columns of a prepared statement
    // without running it, except for procedure calls: a statement without
    // columns is refused before it runs; a call runs, and the dataset
    // refuses it when it has no result (TODBCDataSet::OpenCursor).
    if (!FEngine || (FEngine->Columns.empty() && !IsProcedureCall())) DatabaseErrorFmt(SNoResultSet, Name());
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
    if (GenHandle) {
        FExecWarnings.clear();
        // The result of the previous run is not read; a statement with an
        // open cursor cannot run again.
        odbc::SQLFreeStmt(QueryStmt(), SQL_CLOSE);
        ExecuteStatement(QueryStmt(), &FExecWarnings);
        // A substituted cursor attribute (01S02) concerns the cursor the
        // query asked for, not the statement: only the server's notices stay.
        std::erase_if(FExecWarnings, [](const odbc::DiagRecord& r) { return r.State == "01S02"; });
    }
    return QueryStmt();
}

void TODBCQuery::SetParams() { FParamBuffer.Bind(*FParams, QueryStmt(), QueryEngine()); }

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

std::int32_t TODBCQuery::GetRowsAffected() {
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
