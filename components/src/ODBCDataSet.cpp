// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCDataSet: opening and closing, the database binding, the record
// buffers and their BLOB cache, fetching records and positioning, and the
// filter and ordering switches. Field definitions and field values are in
// ODBCDataSetFields.cpp.
//
// The framework (velora/db/DataSet.h) drives these operations; the
// engine cursor answers them by logical row numbers. A record buffer's
// bookmark is the row number the engine wrote when the record was fetched;
// the framework brings the cursor to the active record through
// InternalSetToRecord before it acts on "the current record".
#include "velora/components/ODBCDataSet.h"

#include "velora/components/ODBCconst.h"
#include "velora/engine/ODBCCursor.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/engine/SQLText.h"
#include "velora/odbc/ODBCBoundary.h"
#include "velora/forms/Application.h"

#if defined(__SANITIZE_ADDRESS__)
#include <sanitizer/asan_interface.h>
#endif

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <string_view>
#include <thread>
#include <vector>

namespace velora {

namespace {

/// Row number stored in a bookmark area for a record that has none.
constexpr std::int32_t kNoRow = -1;

void WriteRow(void* bookmark, std::int32_t row) { std::memcpy(bookmark, &row, sizeof row); }

// While a record reads its row in the cache, the row image part of its
// buffer holds nothing of it: under the address sanitizer that part is
// poisoned then, so a read that passes by RowOf fails loudly instead of
// seeing an earlier row's values.
#if defined(__SANITIZE_ADDRESS__)
void PoisonRowImage(const std::uint8_t* buffer, std::size_t size) { ASAN_POISON_MEMORY_REGION(buffer, size); }
void UnpoisonRowImage(const std::uint8_t* buffer, std::size_t size) { ASAN_UNPOISON_MEMORY_REGION(buffer, size); }
#else
void PoisonRowImage(const std::uint8_t*, std::size_t) {}
void UnpoisonRowImage(const std::uint8_t*, std::size_t) {}
#endif

}  // namespace

// ---------------------------------------------------------------------------
// Construction

TODBCDataSet::TODBCDataSet(TComponent* AOwner)
    : TDataSet(AOwner), FFilterParams(new TStringList()), FIndexParams(new TStringList()) {}

TODBCDataSet::~TODBCDataSet() {
    // Freed through Free or its owner, the dataset is closed by now. A plain
    // delete cannot run the closing protocol any more; the statement must
    // not outlive the dataset all the same.
    DetachBlobStreams();
    ReleaseHandle();
    if (FDBFlagSet != 0 && Database()) Database()->RemoveDataSet(this);
    FFilterParams.reset();
    FIndexParams.reset();
}

void TODBCDataSet::SetEngine(std::unique_ptr<TODBC> Value) { FEngine = std::move(Value); }

SQLHSTMT TODBCDataSet::TakeStmtHandle() noexcept {
    FEngine.reset();  // it unbinds its columns from the statement
    return FStmtHandle.release();
}

void TODBCDataSet::ReleaseHandle() noexcept {
    // The engine unbinds its columns from the statement: it goes first.
    FEngine.reset();
    FStmtHandle.reset();
}

// ---------------------------------------------------------------------------
// Database binding

void TODBCDataSet::SetDataBase(TODBCDatabase* Value) {
    if (Active()) DatabaseError(SDataSetOpen);
    LinkDatabase(Value);
}

SQLHDBC TODBCDataSet::GetDBHandle() const { return Database() ? Database()->Handle() : SQL_NULL_HDBC; }

TODBCSession* TODBCDataSet::GetDBSession() const { return Database() ? Database()->GetSession() : Session; }

void TODBCDataSet::CloseDatabase(TODBCDatabase* Database) {
    if (Database) Database->GetSession()->CloseDatabase(Database);
}

void TODBCDataSet::Disconnect() { Close(); }

void TODBCDataSet::SetDBFlag(int Flag, bool Value) {
    if (Flag < 0 || Flag > 15) return;
    const auto bit = static_cast<std::uint16_t>(1u << Flag);
    if (Value) {
        if (FDBFlagSet & bit) return;
        if (FDBFlagSet == 0) {
            TODBCDatabase* database = Database();
            if (!database) DatabaseErrorFmt(SNoDatabaseAssigned, Name());
            database->Open();
            // Open does nothing without a data source name: a dataset on an
            // unconnected database would "open" without rows or fields.
            if (!database->Connected()) DatabaseErrorFmt(SLoginError, database->DataSourceName());
            database->AddDataSet(this);
        }
        FDBFlagSet |= bit;
    } else {
        if (!(FDBFlagSet & bit)) return;
        FDBFlagSet &= static_cast<std::uint16_t>(~bit);
        if (FDBFlagSet == 0 && Database()) Database()->RemoveDataSet(this);
    }
}

// ---------------------------------------------------------------------------
// Properties

void TODBCDataSet::SetRowSetSize(int Value) {
    if (Value >= 1 && Value <= 200) FRowSetSize = static_cast<std::int16_t>(Value);
}

void TODBCDataSet::SetUniDirectional(bool Value) {
    if (Active()) DatabaseError(SDataSetOpen);
    FUniDirectional = Value;
}

int TODBCDataSet::Translate(const char* Src, char* Dest, bool /*ToOem*/) {
    if (!Src) return 0;
    const std::size_t length = std::strlen(Src);
    if (Dest && Dest != Src) {
        std::memmove(Dest, Src, length);
        Dest[length] = '\0';
    }
    return static_cast<int>(length);
}

void TODBCDataSet::InternalHandleException() { Application->HandleException(this); }

// ---------------------------------------------------------------------------
// Opening and closing

void TODBCDataSet::OpenCursor(bool InfoQuery) {
    if (!Database()) DatabaseErrorFmt(SNoDatabaseAssigned, Name());
    SetDBFlag(flagCursorOpen, true);
    FStmtHandle.reset(CreateHandle());
    if (!FStmtHandle || !FEngine) DatabaseError(SHandleError);
    if (!FOpenOnRunStatement) ExecuteStatement(FStmtHandle.get());
    // A statement whose result could not be described before it ran (a
    // procedure call) and has none: it ran once; the dataset stays closed.
    SQLSMALLINT resultColumns = 0;
    if (FEngine->Columns.empty() && ODBCSucceeded(odbc::SQLNumResultCols(FStmtHandle.get(), &resultColumns)) &&
        resultColumns == 0 && !SeekResultSet(FStmtHandle.get())) {
        odbc::SQLFreeStmt(FStmtHandle.get(), SQL_CLOSE);
        DatabaseErrorFmt(SNoResultSet, Name());
    }
    FEngine->OpenCache(FRowSetSize, FEngine->CurProps.RecordSize, FUniDirectional);
    FLastRow = TLastRow::None;
    FRowDelivered = false;
    TDataSet::OpenCursor(InfoQuery);
}

namespace {

/// True when the connection's data source is SQLite.
bool IsSQLiteConnection(SQLHDBC dbc) {
    char name[64] = {};
    SQLSMALLINT length = 0;
    return ODBCSucceeded(odbc::SQLGetInfo(dbc, SQL_DBMS_NAME, name, sizeof name, &length)) &&
           std::string_view(name).find("SQLite") != std::string_view::npos;
}

}  // namespace

void TODBCDataSet::ExecuteStatement(SQLHSTMT Stmt, std::vector<odbc::DiagRecord>* Warnings) {
    // The gate's watchdog is the one enforcement of QueryTimeout, on every
    // driver: SQLite's driver keeps SQL_ATTR_QUERY_TIMEOUT and never enforces
    // it, MariaDB's refuses it (01S02), psqlODBC's would race the watchdog
    // with its own error. It cancels through the same gate as
    // CancelStatement, around the execute and every fetch of the run.
    // MariaDB Connector/ODBC's SQLCancel that reaches a fetch leaves the
    // driver's result half freed: its next fetch writes through a null
    // pointer (a SEGV inside SQLFetchScroll, seen under AddressSanitizer).
    // Its fetches stay outside the gate: a cancel or timeout reaches its
    // execute (where the server does the work), never a fetch.
    // SQLite's driver answers SQLCancel by closing the statement as well,
    // freeing the rows under a running fetch. Where the boundary interrupts
    // the SQLite database instead (every connection it made), all fetches
    // run inside the gate; on a connection it did not make, only the
    // forward-only fetches, which do the statement's work, do.
    // A MariaDB statement whose execute a cancel reached is prepared again:
    // run as it is, its next execute would wait for ever (see Arm).
    const SQLHDBC dbc = GetDBHandle();
    const bool mariaDB = SQLDialectOf(dbc) == TSQLDialect::MySQL;
    FCancelGate.Arm(FQueryTimeout, mariaDB);
    if (FEngine) {
        const bool forwardOnly = FUniDirectional || FEngine->CursorMode == cmForwardOnly;
        const bool gated = !mariaDB && (forwardOnly || odbc::CancelInterruptsSQLite(dbc) || !IsSQLiteConnection(dbc));
        FEngine->Gate = gated ? &FCancelGate : nullptr;
    }
    std::vector<odbc::DiagRecord> records;
    try {
        ODBCExecute(Stmt, Warnings, &FCancelGate);
    } catch (const EODBCError& e) {
        if (!FCancelGate.Cancelled()) throw;
        records = e.Diagnostics;
    }
    if (FCancelGate.Cancelled()) FCancelGate.RaiseCancelled(Stmt, std::move(records));
}

bool TODBCDataSet::CancelStatement() { return FCancelGate.Cancel(); }

void TODBCDataSet::InternalOpen() {
    const TODBCCurProps& props = FEngine->CurProps;
    FEngineRecordSize = props.RecordSize;
    SetBookmarkSize(props.BookmarkLen);
    // A forward-only connection cannot write rows back: offering edits there
    // would show changes as saved that never reached the data source. A
    // cursor the driver granted read-only reports itself so (OpenMode).
    FCanModify = props.OpenMode == ODBCREADWRITE && FEngine->CursorMode != cmForwardOnly;
    FDecimalScales.clear();  // the columns may differ from the last result's
    InternalInitFieldDefs();
    if (DefaultFields()) CreateFields();
    BindFields(true);
    InitBufferPointers(false);
    FEngine->LendRows(&TODBCDataSet::KeepLentRows, this);
    PrepareCursor();
    if (Filtered()) ActivateFilter(true);
}

void TODBCDataSet::InternalClose() {
    DetachBlobStreams();  // their record goes
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    FCanModify = false;
}

void TODBCDataSet::CloseCursor() {
    // The statement goes and the flag is cleared also when closing the
    // framework's side fails; the first error is the one reported.
    std::exception_ptr error;
    try {
        TDataSet::CloseCursor();
    } catch (...) {
        error = std::current_exception();
    }
    FLastRow = TLastRow::None;
    if (FStmtHandle) {
        try {
            DestroyHandle();
        } catch (...) {
            if (!error) error = std::current_exception();
        }
    }
    ReleaseHandle();
    SetDBFlag(flagCursorOpen, false);
    if (error) std::rethrow_exception(error);
}

void TODBCDataSet::DestroyHandle() {
    FEngine.reset();
    // Freed here with its failure reported; the owner forgets it either way.
    if (FStmtHandle) ODBCFreeStmt(FStmtHandle.release());
}

void TODBCDataSet::InternalRefresh() {
    // The statement runs again in place: the field objects the application
    // holds stay valid. The framework then resynchronises, which lands on
    // the first record. That starts by reading the current record again,
    // which a uni-directional dataset cannot do: it refuses before its rows
    // are replaced under the records it shows.
    if (FUniDirectional) DatabaseError(SCurUniDirectional);
    try {
        FEngine->Requery(FActiveStmtText, FUniDirectional);
    } catch (...) {
        // The cursor has no position left; a closed dataset is the honest state.
        try {
            Close();
        } catch (...) {}
        throw;
    }
    FLastRow = TLastRow::None;
    CursorPosChanged();
}

void TODBCDataSet::CursorsClosed(bool /*Deleted*/) {
    // Requery prepares the text again, which serves a deleted statement too.
    if (!Active() || !FEngine || FUniDirectional) return;
    // The driver may still count the closed cursor as open (psqlODBC with
    // cursor-based fetching after a rollback): release it on our side first.
    odbc::SQLFreeStmt(FStmtHandle.get(), SQL_CLOSE);
    if (State() == dsBrowse) {
        // Refresh lands on the first record: come back to the one shown.
        TBookmark mark = IsEmpty() ? TBookmark() : GetBookmark();
        Refresh();
        if (!mark.empty() && BookmarkValid(mark)) GotoBookmark(mark);
        return;
    }
    FEngine->Requery(FActiveStmtText, false);
    FLastRow = TLastRow::None;
}

// ---------------------------------------------------------------------------
// Record buffers

TODBCBufferLayout TODBCDataSet::ComputeBufferLayout(int EngineRecordSize, int CalcFieldsSize, int BlobFieldCount,
                                                    int BookmarkSize) {
    TODBCBufferLayout layout;
    layout.BlobCacheOffset = EngineRecordSize + CalcFieldsSize;
    layout.RecInfoOffset = layout.BlobCacheOffset + 4 * BlobFieldCount;
    layout.BookmarkOffset = layout.RecInfoOffset + static_cast<int>(sizeof(TODBCRecInfo));
    layout.LoanOffset = layout.BookmarkOffset + BookmarkSize;
    layout.RecordBufferSize = layout.LoanOffset + static_cast<int>(sizeof(TODBCRowLoan));
    return layout;
}

void TODBCDataSet::InitBufferPointers(bool GetProps) {
    if (GetProps && FEngine) {
        SetBookmarkSize(FEngine->CurProps.BookmarkLen);
        FEngineRecordSize = FEngine->CurProps.RecordSize;
    }
    const TODBCBufferLayout layout =
        ComputeBufferLayout(FEngineRecordSize, CalcFieldsSize(), BlobFieldCount(), BookmarkSize());
    // Offsets are 16-bit: a buffer they cannot address is refused rather than
    // wrapped into one smaller than the data copied into it.
    if (layout.RecordBufferSize > 0xFFFF)
        DatabaseError(Format("Record buffer of %d bytes is too large", layout.RecordBufferSize));
    FBlobCacheOffset = static_cast<std::uint16_t>(layout.BlobCacheOffset);
    FRecInfoOffset = static_cast<std::uint16_t>(layout.RecInfoOffset);
    FBookmarkOffset = static_cast<std::uint16_t>(layout.BookmarkOffset);
    FLoanOffset = static_cast<std::uint16_t>(layout.LoanOffset);
    FRecordBufferSize = static_cast<std::uint16_t>(layout.RecordBufferSize);
}

TRecordBuffer TODBCDataSet::AllocRecordBuffer() {
    auto* buffer = new std::uint8_t[FRecordBufferSize]();
    TODBCRecInfo& info = RecInfo(buffer);
    info.RecordNumber = -1;
    info.BookmarkFlag = bfCurrent;
    if (BookmarkSize() >= 4) WriteRow(buffer + FBookmarkOffset, kNoRow);
    return buffer;
}

void TODBCDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
    if (!Buffer) return;
    ForgetLoan(Buffer);
    ClearBlobCache(Buffer);
    delete[] Buffer;
    Buffer = nullptr;
}

void TODBCDataSet::ClearCalcFields(TRecordBuffer Buffer) {
    if (CalcFieldsSize() > 0) std::memset(Buffer + GetRecordSize(), 0, static_cast<std::size_t>(CalcFieldsSize()));
}

void TODBCDataSet::InitRecord(TRecordBuffer Buffer) {
    TDataSet::InitRecord(Buffer);
    ClearBlobCache(Buffer);
    TODBCRecInfo& info = RecInfo(Buffer);
    info.UpdateStatus = 2;
    info.BookmarkFlag = bfInserted;
    info.RecordNumber = -1;
    // A new record designates no row: its long values are its own (blank
    // until written), never those of the row this buffer held before.
    if (BookmarkSize() > 0) {
        std::memset(Buffer + FBookmarkOffset, 0, static_cast<std::size_t>(BookmarkSize()));
        if (BookmarkSize() >= 4) WriteRow(Buffer + FBookmarkOffset, kNoRow);
    }
}

void TODBCDataSet::InternalInitRecord(TRecordBuffer Buffer) {
    ForgetLoan(Buffer);
    FEngine->InitRecord(Buffer);
}

// ---------------------------------------------------------------------------
// Rows lent from the cache
//
// A browsed record does not copy its row out of the engine's cache: the
// engine lends the slot (TODBCRowLoan at LoanOffset) and field reads go
// there through RowOf (the bookmark stays in the record). Before the slots
// change, the engine calls KeepLentRows, which copies each lent row into its
// record: a loan never outlives its row.

void TODBCDataSet::Lend(TRecordBuffer Buffer, const TODBCRowLoan& Loan) {
    const std::byte* held;
    std::memcpy(&held, Buffer + FLoanOffset, sizeof held);
    if (!held) {
        FLentBuffers.push_back(Buffer);
        PoisonRowImage(Buffer, FEngineRecordSize);
    }
    std::memcpy(Buffer + FLoanOffset, &Loan, sizeof Loan);
}

void TODBCDataSet::HoldRow(TRecordBuffer Buffer) noexcept {
    TODBCRowLoan loan;
    std::memcpy(&loan, Buffer + FLoanOffset, sizeof loan);
    UnpoisonRowImage(Buffer, FEngineRecordSize);
    if (loan.Row) std::memcpy(Buffer, loan.Row, FEngineRecordSize);
    std::memset(Buffer + FLoanOffset, 0, sizeof loan);
}

void TODBCDataSet::ForgetLoan(TRecordBuffer Buffer) noexcept {
    auto it = std::find(FLentBuffers.begin(), FLentBuffers.end(), Buffer);
    if (it == FLentBuffers.end()) return;
    FLentBuffers.erase(it);
    UnpoisonRowImage(Buffer, FEngineRecordSize);
    std::memset(Buffer + FLoanOffset, 0, sizeof(TODBCRowLoan));
}

void TODBCDataSet::KeepLentRows(void* DataSet) noexcept {
    auto* self = static_cast<TODBCDataSet*>(DataSet);
    for (TRecordBuffer buffer : self->FLentBuffers) self->HoldRow(buffer);
    self->FLentBuffers.clear();
}

void TODBCDataSet::GetBookmarkData(TRecordBuffer Buffer, void* Data) {
    std::memcpy(Data, Buffer + FBookmarkOffset, static_cast<std::size_t>(BookmarkSize()));
}

void TODBCDataSet::SetBookmarkData(TRecordBuffer Buffer, const void* Data) {
    std::memcpy(Buffer + FBookmarkOffset, Data, static_cast<std::size_t>(BookmarkSize()));
}

TBookmarkFlag TODBCDataSet::GetBookmarkFlag(TRecordBuffer Buffer) {
    return static_cast<TBookmarkFlag>(RecInfo(Buffer).BookmarkFlag);
}

void TODBCDataSet::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) { RecInfo(Buffer).BookmarkFlag = Value; }

std::int32_t TODBCDataSet::BookmarkRow(const void* Bookmark) const {
    std::int32_t row;
    std::memcpy(&row, Bookmark, sizeof row);
    return row;
}

bool TODBCDataSet::BookmarkValid(const TBookmark& Bookmark) {
    if (!Active() || !FEngine || Bookmark.size() < 4 || Bookmark.size() != static_cast<std::size_t>(BookmarkSize()))
        return false;
    return FEngine->IsRowBookmark(BookmarkRow(Bookmark.data()));
}

int TODBCDataSet::CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) {
    const bool none1 = Bookmark1.size() < 4, none2 = Bookmark2.size() < 4;
    if (none1 || none2) return none1 == none2 ? 0 : none1 ? -1 : 1;
    const std::int32_t row1 = BookmarkRow(Bookmark1.data()), row2 = BookmarkRow(Bookmark2.data());
    if (FEngine) return FEngine->CompareBookmarkRows(row1, row2);
    return row1 < row2 ? -1 : row1 > row2 ? 1 : 0;
}

// ---------------------------------------------------------------------------
// BLOB cache

std::uint32_t TODBCDataSet::BlobSlot(TRecordBuffer Buffer, int Index) const {
    std::uint32_t handle;
    std::memcpy(&handle, Buffer + FBlobCacheOffset + 4 * Index, sizeof handle);
    return handle;
}

void TODBCDataSet::SetBlobSlot(TRecordBuffer Buffer, int Index, std::uint32_t Handle) {
    std::memcpy(Buffer + FBlobCacheOffset + 4 * Index, &Handle, sizeof Handle);
}

void TODBCDataSet::ReleaseBlobHandle(std::uint32_t Handle) {
    if (Handle == 0 || Handle > FBlobStrings.size()) return;
    String().swap(FBlobStrings[Handle - 1]);
    FFreeBlobHandles.push_back(Handle);
}

namespace {

// Slot handles of values read as NULL and as zero length: cached like
// others, with no string of their own.
constexpr std::uint32_t kBlobNullHandle = 0xFFFFFFFFu;
constexpr std::uint32_t kBlobEmptyHandle = 0xFFFFFFFEu;

}  // namespace

bool TODBCDataSet::GetCachedBlob(TField* Field, TRecordBuffer Buffer, String& Value, bool& IsNull) const {
    const std::uint32_t handle = BlobSlot(Buffer, Field->Offset());
    IsNull = handle == kBlobNullHandle;
    Value.clear();
    if (handle == kBlobNullHandle || handle == kBlobEmptyHandle) return true;
    if (handle == 0 || handle > FBlobStrings.size()) return false;
    Value = FBlobStrings[handle - 1];
    return true;
}

bool TODBCDataSet::IsBlobCached(TField* Field, TRecordBuffer Buffer, bool& IsNull) const {
    const std::uint32_t handle = BlobSlot(Buffer, Field->Offset());
    IsNull = handle == kBlobNullHandle;
    return handle == kBlobNullHandle || handle == kBlobEmptyHandle || (handle != 0 && handle <= FBlobStrings.size());
}

void TODBCDataSet::CacheBlobRead(TField* Field, TRecordBuffer Buffer, const String& Value, bool IsNull) {
    if (!FCacheBlobs || Buffer != ActiveBuffer()) return;
    if (!IsNull && !Value.empty()) {
        SetBlobData(Field, Buffer, Value);
        return;
    }
    ReleaseBlobHandle(BlobSlot(Buffer, Field->Offset()));
    SetBlobSlot(Buffer, Field->Offset(), IsNull ? kBlobNullHandle : kBlobEmptyHandle);
}

String TODBCDataSet::GetBlobData(TField* Field, TRecordBuffer Buffer) const {
    const std::uint32_t handle = BlobSlot(Buffer, Field->Offset());
    return handle == 0 || handle > FBlobStrings.size() ? String() : FBlobStrings[handle - 1];
}

void TODBCDataSet::SetBlobData(TField* Field, TRecordBuffer Buffer, const String& Value) {
    if (Buffer != ActiveBuffer()) return;
    const int index = Field->Offset();
    std::uint32_t handle = BlobSlot(Buffer, index);
    if (Value.empty()) {
        ReleaseBlobHandle(handle);
        SetBlobSlot(Buffer, index, 0);
        return;
    }
    if (handle == 0 || handle > FBlobStrings.size()) {  // none, or a NULL or empty value read
        if (!FFreeBlobHandles.empty()) {
            handle = FFreeBlobHandles.back();
            FFreeBlobHandles.pop_back();
        } else {
            FBlobStrings.emplace_back();
            handle = static_cast<std::uint32_t>(FBlobStrings.size());
        }
        SetBlobSlot(Buffer, index, handle);
    }
    FBlobStrings[handle - 1] = Value;
}

void TODBCDataSet::ClearBlobCache(TRecordBuffer Buffer) {
    if (!FCacheBlobs) return;
    for (int i = 0; i < BlobFieldCount(); ++i) {
        ReleaseBlobHandle(BlobSlot(Buffer, i));
        SetBlobSlot(Buffer, i, 0);
    }
}

// ---------------------------------------------------------------------------
// Fetching

TGetResult TODBCDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool /*DoCheck*/) {
    int status = ODBCRecEOF;
    // The row stays in the cache and the record reads it there; without the
    // engine's hook it is copied.
    TODBCRowLoan loan;
    TODBCRowLoan* lend = FEngine->LendsRows() ? &loan : nullptr;
    if (!lend) ForgetLoan(Buffer);
    switch (GetMode) {
        case gmCurrent:
            if (FUniDirectional) DatabaseError(SCurUniDirectional);
            FLastRow = TLastRow::None;
            status = FEngine->GetCurrentRecord(Buffer, lend);
            break;
        case gmNext:
            FLastRow = TLastRow::None;
            status = FEngine->GetNextRecord(Buffer, FUniDirectional, lend);
            if (status == ODBCRecOK) FRowDelivered = true;
            break;
        case gmPrior:
            // Before the first row there is nothing: an empty result opens
            // (the framework fills its buffers forwards, then backwards).
            if (FUniDirectional && !FRowDelivered) return grBOF;
            if (FUniDirectional) {
                // Only the last row, right after Last, can be delivered backwards:
                // the cursor holds it.
                if (FLastRow == TLastRow::Delivered) return grBOF;
                if (FLastRow != TLastRow::Pending) DatabaseError(SCurUniDirectional);
                FLastRow = TLastRow::Delivered;
            }
            status = FEngine->GetPriorRecord(Buffer, lend);
            break;
    }
    switch (status) {
        case ODBCRecOK: {
            if (lend) Lend(Buffer, loan);
            TODBCRecInfo& info = RecInfo(Buffer);
            info.UpdateStatus = 0;
            info.BookmarkFlag = bfCurrent;
            info.RecordNumber = -1;
            ClearBlobCache(Buffer);
            // The bookmark first: calculated and lookup fields may read long
            // values, which are found through it.
            FEngine->GetBookmark(Buffer + FBookmarkOffset, static_cast<std::size_t>(BookmarkSize()));
            GetCalcFields(Buffer);
            return grOK;
        }
        case ODBCRecBOF:
            return grBOF;
        case ODBCRecEOF:
            return grEOF;
        default:
            return grError;
    }
}

bool TODBCDataSet::GetCurrentRecord(TRecordBuffer Buffer) {
    if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return false;
    UpdateCursorPos();
    ForgetLoan(Buffer);
    return FEngine->GetCurrentRecord(Buffer) == ODBCRecOK;
}

// ---------------------------------------------------------------------------
// Positioning

void TODBCDataSet::InternalFirst() {
    if (FUniDirectional) DatabaseError(SCurUniDirectional);
    FLastRow = TLastRow::None;
    FEngine->SetToBegin(false);
}

void TODBCDataSet::InternalLast() {
    // Uni-directional: the engine reads forward to the end (a forward-only
    // cursor cannot count or jump).
    FLastRow = FUniDirectional ? TLastRow::Pending : TLastRow::None;
    FEngine->SetToEnd();
}

void TODBCDataSet::InternalGotoBookmark(const void* Bookmark) {
    if (FUniDirectional) DatabaseError(SCurUniDirectional);
    FLastRow = TLastRow::None;
    FEngine->SetToBookmark(Bookmark);
}

void TODBCDataSet::InternalSetToRecord(TRecordBuffer Buffer) {
    // A new record designates no row: the cursor stays where Insert put it.
    if (GetBookmarkFlag(Buffer) == bfInserted) return;
    const std::int32_t row = BookmarkRow(Buffer + FBookmarkOffset);
    if (row < 0 && !FEngine->IsRowBookmark(row)) return;
    if (FUniDirectional) {
        // Already there: no scrolling needed, so nothing to refuse.
        std::int32_t current;
        FEngine->GetBookmark(&current);
        if (current == row) return;
    }
    InternalGotoBookmark(Buffer + FBookmarkOffset);
}

void TODBCDataSet::DoAfterScroll() {
    FLastRow = TLastRow::None;
    TDataSet::DoAfterScroll();
}

void TODBCDataSet::FetchAll() {
    if (Eof()) return;
    CheckBrowseMode();
    FEngine->SetToEnd();
    CursorPosChanged();
    UpdateCursorPos();
}

int TODBCDataSet::KnownRecordCount() const { return FEngine && Active() ? FEngine->RowCount : -1; }

bool TODBCDataSet::MoveToRow(int Row) {
    CheckBrowseMode();
    if (FUniDirectional) DatabaseError(SCurUniDirectional);
    if (Row < 1) return false;
    // A bookmark of the row's number alone: the engine fetches the row by it.
    TBookmark mark(static_cast<std::size_t>(BookmarkSize()), 0);
    const std::int32_t row = Row - 1;
    std::memcpy(mark.data(), &row, sizeof row);
    if (FEngine->RowCount < 0 && odbc::UsesKeyRangeCursor(FStmtHandle.get())) {
        // A key range cursor finds the row from the nearest row it knows
        // without counting the rows; a row past the end is not found. A
        // block missed past the end says nothing of where the rows end, so
        // the end stays unknown, and the cursor goes back to the record.
        std::vector<std::byte> probe(static_cast<std::size_t>(std::max(FEngine->RowSize, FEngine->RecordSize())));
        FEngine->SetToBookmark(mark.data());
        if (FEngine->GetCurrentRecord(probe.data()) != ODBCRecOK) {
            FEngine->RowCount = -1;
            FEngine->EndRow = -2;
            CursorPosChanged();
            UpdateCursorPos();
            return false;
        }
    } else if (Row > GetRecordCount()) {
        return false;
    }
    GotoBookmark(mark);
    return true;
}

int TODBCDataSet::GetRecordCount() {
    CheckActive();
    return FEngine->GetRecordCount(false);
}

int TODBCDataSet::GetRecNo() {
    CheckActive();
    TRecordBuffer buffer = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
    return buffer ? RecInfo(buffer).RecordNumber : -1;
}

// ---------------------------------------------------------------------------
// Filter and ordering

void TODBCDataSet::GetStmtRecord(TStmt& Stmt) const {
    Stmt.BaseText = FStmtText;
    Stmt.Filtered = Filtered();
    Stmt.FilterText = FFilterParams->Text();
    Stmt.Indexed = FIndexed;
    Stmt.OrderText = FIndexParams->Text();
}

void TODBCDataSet::SetFiltered(bool Value) {
    if (!Active()) {
        TDataSet::SetFiltered(Value);
        return;
    }
    CheckBrowseMode();
    if (Value != Filtered()) {
        ActivateFilter(Value);
        TDataSet::SetFiltered(Value);
    }
    First();
}

void TODBCDataSet::SetActiveIndex(bool Value) {
    if (Active()) {
        CheckBrowseMode();
        if (Value != FIndexed) ActivateIndex(Value);
        FIndexed = Value;
        First();
    }
    FIndexed = Value;
}

namespace {

void AssignLines(TStringList* list, TStrings* value) {
    if (value && value->Text() == list->Text()) return;
    if (!value && list->Count() == 0) return;
    list->BeginUpdate();
    try {
        if (value)
            list->Assign(value);
        else
            list->Clear();
    } catch (...) {
        list->EndUpdate();
        throw;
    }
    list->EndUpdate();
}

}  // namespace

void TODBCDataSet::SetFilterParams(TStrings* Value) { AssignLines(FFilterParams.get(), Value); }

void TODBCDataSet::SetIndexParams(TStrings* Value) { AssignLines(FIndexParams.get(), Value); }

void TODBCDataSet::ActivateFilter(bool Value) {
    if (FFilterParams->Text().empty()) return;
    TStmt stmt;
    GetStmtRecord(stmt);
    stmt.Filtered = Value;
    CheckClauses(stmt);
    String text;
    ODBCBuildStmtText(stmt, text);
    RunClauseText(text, "Invalid Expression in FilterParams");
}

void TODBCDataSet::ActivateIndex(bool Value) {
    if (FIndexParams->Text().empty()) return;
    TStmt stmt;
    GetStmtRecord(stmt);
    stmt.Indexed = Value;
    CheckClauses(stmt);
    String text;
    ODBCBuildStmtText(stmt, text);
    RunClauseText(text, "Invalid Expression in IndexParams");
}

void TODBCDataSet::CheckClauses(const TStmt& Stmt) {
    // Filter and order texts are trusted SQL, run as written; a second
    // statement in them never reaches the data source, not even for the trial.
    const TSQLDialect dialect = SQLDialectOf(GetDBHandle());
    if (Stmt.Filtered && HasStatementSeparator(Stmt.FilterText, dialect))
        throw EODBCError(0, "Invalid Expression in FilterParams");
    if (Stmt.Indexed && HasStatementSeparator(Stmt.OrderText, dialect))
        throw EODBCError(0, "Invalid Expression in IndexParams");
}

void TODBCDataSet::RunClauseText(const String& Text, const char* RejectMessage) {
    // The trial runs on a statement of its own, so a rejected text leaves
    // the open cursor, its rows and its position as they were.
    if (ODBCExecDirect(GetDBHandle(), Text) != SQL_SUCCESS) throw EODBCError(0, RejectMessage);
    RequeryText(CursorText(Text, FGuardBareText));
}

String TODBCDataSet::CursorText(const String& Text, bool Guard) {
    FGuardBareText = Guard;
    if (Guard && !FStmtText.empty() && Text == FStmtText) return Text + " WHERE 1=1";
    return Text;
}

void TODBCDataSet::RequeryText(const String& Text) {
    try {
        FRowDelivered = false;
        FEngine->Requery(Text, FUniDirectional);
    } catch (...) {
        // The cursor lost its position. Running the text that ran before
        // gives the rows the window still shows (their bookmarks stay
        // valid); when even that fails, the dataset closes.
        std::exception_ptr error = std::current_exception();
        bool recovered = false;
        try {
            FEngine->Requery(FActiveStmtText, FUniDirectional);
            recovered = true;
        } catch (...) {}
        if (recovered) {
            CursorPosChanged();
        } else {
            try {
                Close();
            } catch (...) {}
        }
        std::rethrow_exception(error);
    }
    FActiveStmtText = Text;
    FLastRow = TLastRow::None;
    CursorPosChanged();
}

}  // namespace velora
