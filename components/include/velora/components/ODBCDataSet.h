// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCDataSet: the dataset base class of the library. It implements the
// dataset framework's record-buffer protocol (velora/db/DataSet.h) on
// top of one engine cursor (TODBC), which holds the ODBC statement, the row
// cache and the cursor properties. It is not used directly: only its
// descendants (the table, the query) create a statement, so opening a plain
// TODBCDataSet fails with "Error creating cursor handle".
//
// Record buffer (one per slot of the framework's ring; all offsets 16-bit):
//
//   0                  engine row image: column data and 2-byte indicator
//                      slots as the engine lays them out (EngineRecordSize)
//   EngineRecordSize   calculated fields: per calculated or lookup field, at
//                      its Offset, a flag byte (nonzero = has a value) and the
//                      field's buffer form (CalcFieldsSize bytes in all)
//   BlobCacheOffset    BLOB cache: 4 bytes per BLOB field, indexed by the
//                      field's Offset, each a 32-bit handle (0 = nothing
//                      cached) into string storage the dataset owns
//   RecInfoOffset      TODBCRecInfo (6 bytes)
//   BookmarkOffset     BookmarkSize bytes: the engine writes the row number
//                      (4 bytes) at the start, the rest stays zero
//   LoanOffset         the row lent from the engine's cache (TODBCRowLoan,
//                      8 bytes): a browsed record reads its values in the
//                      cache slot instead of a copy of them (nil: the record
//                      holds its row image itself)
//   RecordBufferSize   end
//
// Buffers are zero-filled when allocated, and a new record's bookmark is -1
// (no row), so a new record never shows another row's long values. The BLOB
// cache keeps handles rather than string objects: a string object does not
// fit 4 bytes and would overlap the next slot, the record information and the
// bookmark.
//
// Database binding: the dataset is linked to its database through
// TODBCDataSetLink and is on the database's list of datasets in use while any
// of its use flags (DBFlagSet) is set; the database stays connected when its
// last dataset closes.
#pragma once

#include "velora/components/ODBCDatabase.h"
#include "velora/engine/ODBCCancelGate.h"
#include "velora/engine/ODBCHandles.h"
#include "velora/engine/ODBCRequery.h"
#include "velora/engine/ODBCTypes.h"
#include "velora/odbc/ODBCDefs.h"
#include "velora/db/DB.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace velora {

class TODBC;  // the engine's cursor (velora/engine/ODBCCursor.h)
struct TODBCRowLoan;

/// Use flags of DBFlagSet (bits 0..15).
inline constexpr int flagCursorOpen = 0;  ///< the cursor is open
inline constexpr int flagPrepared = 1;    ///< a query is prepared
inline constexpr int flagExecSQL = 2;     ///< a query runs ExecSQL
inline constexpr int flagFieldList = 4;   ///< a table reads its field definitions

#pragma pack(push, 1)
/// What the dataset keeps about a record besides its data.
struct TODBCRecInfo {
    std::int32_t RecordNumber;  ///< always -1: record numbers are not tracked
    std::uint8_t UpdateStatus;  ///< 0 fetched, 2 new
    std::uint8_t BookmarkFlag;  ///< a TBookmarkFlag
};
#pragma pack(pop)
static_assert(sizeof(TODBCRecInfo) == 6);

/// The part of a record buffer after the engine's row image.
struct TODBCBufferLayout {
    int BlobCacheOffset = 0;
    int RecInfoOffset = 0;
    int BookmarkOffset = 0;
    int LoanOffset = 0;
    int RecordBufferSize = 0;
};

class TODBCDataSet;

// ---- cached updates and providers (ODBCDataSetEdit.cpp) ----------------------

/// What an update handler decides for the record it was given.
enum TUpdateAction : std::uint8_t { uaFail, uaAbort, uaSkip, uaRetry, uaApplied };
enum TUpdateRecordType : std::uint8_t { rtModified, rtInserted, rtDeleted, rtUnmodified };
using TUpdateRecordTypes = TSet<TUpdateRecordType>;
/// A failed update of one record: the handler decides what happens next.
using TUpdateErrorEvent =
    std::function<void(TDataSet* DataSet, EDatabaseError& E, TUpdateKind UpdateKind, TUpdateAction& UpdateAction)>;
/// The update of one record, written by the application.
using TUpdateRecordEvent = std::function<void(TDataSet* DataSet, TUpdateKind UpdateKind, TUpdateAction& UpdateAction)>;

/// Base of the objects that write one record of a dataset through statements
/// of their own. An object serves at most one dataset at a time; the
/// dataset's SetUpdateObject keeps the pairing on both sides.
class TODBCDataSetUpdateObject : public TComponent {
public:
    explicit TODBCDataSetUpdateObject(TComponent* AOwner) : TComponent(AOwner) {}
    /// The dataset served (property DataSet), nil for none.
    virtual TODBCDataSet* GetDataSet() = 0;
    virtual void SetDataSet(TODBCDataSet* Value) = 0;
    /// Writes the dataset's current record as UpdateKind says.
    virtual void Apply(TUpdateKind UpdateKind) = 0;
};

/// A data provider made for a dataset; its kind is the providing unit's.
class IODBCProvider {
public:
    virtual ~IODBCProvider() = default;
};
/// A reference to a provider: the dataset keeps one, callers get another.
using TODBCProviderRef = std::shared_ptr<IODBCProvider>;
/// Makes a provider for a dataset.
using TCreateProviderProc = TODBCProviderRef (*)(TODBCDataSet* DataSet);
/// Assigned by a providing unit; nil until then (GetProvider then raises
/// "No provider available").
extern TCreateProviderProc CreateProviderProc;

/// A stream over the long (memo or BLOB) value of one field in the dataset's
/// active record, made by TODBCDataSet::CreateBlobStream.
///
/// Reading: the first Read that has anything to deliver fetches the whole
/// value once (from the record's BLOB cache when it holds it, else from the
/// data source, which then fills the cache when that read starts at 0);
/// every Read is served from it and
/// answers the bytes delivered, min(Count, Size - Position), 0 at or past the
/// end and at a negative position. Size is the value's length (no
/// terminator); Seek never reads.
///
/// Writing (bmWrite starts from an empty value, bmReadWrite from the current
/// one): only in the dataset's edit or insert state on a field that can be
/// modified; a stream opened with bmRead refuses to write. Every Write lands
/// at its position; Write at a negative position writes nothing and answers
/// 0. The field is marked Modified at the first write, and the value is
/// handed to the record's BLOB cache when the stream goes; it reaches the data source only when the record is
/// posted, and is forgotten by Cancel. A modified value of 0 bytes is NULL.
///
/// A writing stream still alive when the record is posted (Post, or a move
/// such as Next or Prior that posts on its way) posts what it has written so
/// far: its whole value, as if it had gone just before. From then on the
/// stream belongs to no record: Write and SetSize raise EDatabaseError
/// ("Dataset not in edit or insert mode"), Read and Size answer the value
/// it held, and its end writes nothing. Cancel and closing the dataset end
/// it the same way, the value forgotten. A post that fails leaves the record
/// in edit and the stream writing to it.
class TODBCBlobStream : public TStream {
public:
    /// \throws EDatabaseError for a write mode outside edit and insert
    /// states or on a field that cannot be modified.
    TODBCBlobStream(TODBCDataSet* DataSet, TField* Field, TBlobStreamMode Mode);
    /// Hands the value written to the record (other streams see it from then on).
    ~TODBCBlobStream() override;
    std::int64_t Read(void* Buffer, std::int64_t Count) override;
    /// \throws EDatabaseError on a stream opened for reading.
    std::int64_t Write(const void* Buffer, std::int64_t Count) override;
    std::int64_t Seek(std::int64_t Offset, TSeekOrigin Origin) override;
    std::int64_t Size() override;
    /// Truncates or extends (with zero bytes) the value; writing streams only.
    void SetSize(std::int64_t NewSize) override;

private:
    /// Brings the whole value into FData (once); Cache: into the record's
    /// BLOB cache too.
    void Load(bool Cache = false);
    /// Marks the field modified and the value written; with Changed, hands
    /// the value to the record and tells the dataset's links.
    void Store(bool Changed);
    /// Hands the value so far to the record.
    void Flush();
    /// Ends the stream's tie to the record (after post, cancel or close).
    void Detach();
    friend class TODBCDataSet;

    TODBCDataSet* FDataSet;
    TField* FField;
    TBlobStreamMode FMode;
    TRecordBuffer FBuffer = nullptr;
    String FData;
    bool FLoaded = false;
    bool FDirty = false;      ///< written since the record last received the value
    bool FWrote = false;      ///< written (or truncated) since it was opened: its close tells the links
    std::int64_t FSize = -1;  ///< the value's length before it is loaded, once known
    std::int64_t FPosition = 0;
    bool FDetached = false;  ///< the record it wrote to was posted or abandoned
};

/// The dataset over one engine cursor.
class TODBCDataSet : public TDataSet, public TODBCDataSetLink {
public:
    /// FilterParams and IndexParams empty, RowSetSize 20, CacheBlobs True.
    explicit TODBCDataSet(TComponent* AOwner);
    ~TODBCDataSet() override;

    // ---- database binding ----------------------------------------------------
    TODBCDatabase* GetDataBase() const { return Database(); }
    /// \throws EDatabaseError "Cannot perform this operation on an open dataset"
    void SetDataBase(TODBCDatabase* Value);
    /// The database's connection handle, nil without database.
    odbc::HDbc GetDBHandle() const;
    /// The database's session, else the default session.
    TODBCSession* GetDBSession() const;
    /// Hands the database to its session's CloseDatabase (nil: nothing).
    static void CloseDatabase(TODBCDatabase* Database);
    /// Closes the dataset (the database's Close calls it).
    void Disconnect() override;
    /// Keeps DBFlagSet and the registration with the database: the first
    /// flag set opens the database and puts the dataset on its list of
    /// datasets in use, the last one cleared takes it off (the database
    /// stays connected).
    /// \throws EDatabaseError when no database is assigned, or when the
    ///         database is still not connected after opening it (for example
    ///         without a data source name): "Cannot connect to database '%s'".
    virtual void SetDBFlag(int Flag, bool Value);
    std::uint16_t DBFlagSet() const { return FDBFlagSet; }

    // ---- properties ------------------------------------------------------------
    /// Rows the engine fetches per block (1..200, default 20); effective at the
    /// next open.
    int RowSetSize() const { return FRowSetSize; }
    /// Values outside 1..200 are ignored.
    void SetRowSetSize(int Value);
    bool UniDirectional() const { return FUniDirectional; }
    /// \throws EDatabaseError "Cannot perform this operation on an open dataset"
    void SetUniDirectional(bool Value);
    bool CacheBlobs() const { return FCacheBlobs; }
    /// Seconds a statement may run before it is cancelled (0: no limit);
    /// effective at the next run. A watchdog thread cancels the statement as
    /// CancelStatement would when the time is up, on every driver (the
    /// drivers' SQL_ATTR_QUERY_TIMEOUT is not used: SQLite's keeps it and
    /// never enforces it, MariaDB's refuses it with 01S02). The run then
    /// raises EODBCError with HYT00 "Timeout expired" as the last record.
    int QueryTimeout() const { return FQueryTimeout; }
    /// Negative values count as 0.
    void SetQueryTimeout(int Value) { FQueryTimeout = Value < 0 ? 0 : Value; }
    /// Cancels the statement the dataset is executing now (opening it, or a
    /// query's ExecSQL) with SQLCancel. Safe to call from any thread at any
    /// moment: the statement is open to a cancel only while the driver
    /// executes it, and the owning thread waits for a cancel in flight before
    /// it touches or frees the statement again. The running call then raises
    /// EODBCError with HY008 "Operation canceled" as the last record, and the
    /// dataset stays usable. A cancel that finds no statement executing
    /// (before or between runs, while rows are fetched, posted or the dataset
    /// closes) does nothing, is not remembered, and answers false. The caller
    /// keeps the dataset alive for the call. (Cancel cancels an edit.)
    bool CancelStatement();
    TODBCInfo GetAbout() const { return VeloraInfo; }
    void SetAbout(TODBCInfo) {}

    // ---- the cursor --------------------------------------------------------------
    /// The statement, nil while the cursor is closed.
    odbc::HStmt StmtHandle() const { return FStmtHandle.get(); }
    /// The engine cursor, nil while closed.
    TODBC* Engine() const { return FEngine.get(); }
    /// The base statement text (without clauses).
    const String& StmtText() const { return FStmtText; }
    /// True when Status is 0.
    static bool CheckOpen(int Status) { return Status == 0; }
    /// Reads the remaining rows (when not at the end) and returns to the
    /// current record.
    void FetchAll();
    /// The number of records when the cursor knows it without reading
    /// further (it has met the end of the rows or counted them), else -1.
    /// RecordCount reads to the end to answer.
    int KnownRecordCount() const;
    /// Moves to the Row-th row of the result (from 1, in the cursor's order)
    /// and answers true; false, staying where it was, when there is no such
    /// row. A scrolling cursor fetches that row alone; the count is asked
    /// when it is not known yet, except on a key range cursor, which finds
    /// the row from the nearest row it knows and learns that a row past the
    /// end is none by not finding it. RecNo stays -1: a row's number changes as rows
    /// before it come and go, so it is a place to go to, not a record's name.
    bool MoveToRow(int Row);
    /// The digits after the point Field's column declares when it holds a
    /// decimal (ODBCDecimalScale), else -1; asked once per column while the
    /// dataset is open. AsString stays the text the data source holds
    /// (SQLite keeps decimal(10,2) values as numbers: 20.5), so a value
    /// copied is the value stored; WithDecimalScale shows it as declared.
    int DecimalScale(TField* Field);
    /// Posts or cancels a pending edit.
    void FlushBuffers() { CheckBrowseMode(); }

    // ---- record buffer layout ------------------------------------------------------
    int EngineRecordSize() const { return FEngineRecordSize; }
    int BlobCacheOffset() const { return FBlobCacheOffset; }
    int RecInfoOffset() const { return FRecInfoOffset; }
    int BookmarkOffset() const { return FBookmarkOffset; }
    int LoanOffset() const { return FLoanOffset; }
    int RecordBufferSize() const { return FRecordBufferSize; }
    /// The layout behind an engine row image of EngineRecordSize bytes.
    static TODBCBufferLayout ComputeBufferLayout(int EngineRecordSize, int CalcFieldsSize, int BlobFieldCount,
                                                 int BookmarkSize);

    // ---- BLOB values ---------------------------------------------------------------------
    /// A TODBCBlobStream over Field's value in the active record.
    std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
    /// Forgets the value written to Field in the active record (after post
    /// and cancel).
    void CloseBlob(TField* Field) override;
    /// The cached value of a BLOB field in Buffer (empty: nothing cached).
    String GetBlobData(TField* Field, TRecordBuffer Buffer) const;
    /// Caches Value for the field, only when Buffer is the active buffer.
    void SetBlobData(TField* Field, TRecordBuffer Buffer, const String& Value);
    /// Whether the value the data source holds for the field in Buffer is
    /// cached, and then the value (empty or NULL ones included).
    bool GetCachedBlob(TField* Field, TRecordBuffer Buffer, String& Value, bool& IsNull) const;
    /// Whether the field's value in Buffer is cached, and then whether it is
    /// NULL, without copying it.
    bool IsBlobCached(TField* Field, TRecordBuffer Buffer, bool& IsNull) const;
    /// Caches a value read from the data source (NULL and zero length alike),
    /// only when caching is on and Buffer is the active buffer.
    void CacheBlobRead(TField* Field, TRecordBuffer Buffer, const String& Value, bool IsNull);
    /// Empties every slot of Buffer's BLOB cache.
    void ClearBlobCache(TRecordBuffer Buffer);

    // ---- framework overrides (public in the framework) ------------------------------------
    bool GetFieldData(TField* Field, void* Buffer) override;
    void SetFieldData(TField* Field, const void* Buffer) override;
    /// Decimal columns are held as their text: AsString reads and writes it
    /// exactly (checked against the column's precision and scale). Character
    /// columns answer too, so a string field's AsString reads the record
    /// once, without the buffer form. Dates, times and time stamps answer
    /// their text with the whole fraction of a second, and take it whole.
    /// A fixed-length binary value answers the bytes the data source
    /// delivered (SQLite keeps a shorter value unpadded in a blob(n) column).
    bool GetFieldExactText(TField* Field, String& Text, bool& IsNull) override;
    bool SetFieldExactText(TField* Field, const String& Text) override;
    /// A long value of the record being browsed, from the record's cache or
    /// read whole (and cached) as a stream would, without one.
    bool GetBlobValue(TField* Field, String& Value) override;
    /// The value of Field in its exact stored form, for the columns whose
    /// field form would change it: decimals held as text (Type ftBCD), time
    /// stamps with every fraction digit the row holds (ftDateTime), dates
    /// (ftDate) and times of day (ftTime); see TODBC::GetExactValue. The
    /// value being written (the active record), or with Old the value from
    /// before the edit (OldValue's record; NULL while inserting). False for
    /// every other field, whose value form is already exact.
    bool GetFieldExactValue(TField* Field, bool Old, TFieldType& Type, String& Text, bool& IsNull);
    /// SetFieldExactText for date, time and time-stamp columns.
    bool SetTemporalText(TField* Field, const String& Text);
    bool GetCurrentRecord(TRecordBuffer Buffer) override;
    bool IsSequenced() override { return false; }
    void SetRecNo(int /*Value*/) override {}
    /// No character conversion: answers the length of Src; copies it into a
    /// different Dest.
    int Translate(const char* Src, char* Dest, bool ToOem) override;
    bool BCDToCurr(const void* BCD, Currency& Curr) override;
    /// Writes every value with precision 32 (the caller's Precision is not used).
    bool CurrToBCD(Currency Curr, void* BCD, int Precision, int Decimals) override;
    /// Bookmarks are the engine's 4-byte row numbers (the other bytes are zero).
    bool BookmarkValid(const TBookmark& Bookmark) override;
    int CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) override;
    /// Switching the filter of an open dataset requeries it and moves to the
    /// first record; a closed dataset only stores the flag.
    void SetFiltered(bool Value) override;

    // ---- editing (ODBCDataSetEdit.cpp) ----------------------------------------------------
    /// The framework's Post. A refused write (EODBCError with the data
    /// source's diagnostics) leaves the record in its edit state with the
    /// values the user gave, so it can be corrected and posted again.
    void Post() override;
    /// The framework's Cancel; a new record's long values are forgotten.
    void Cancel() override;
    Variant GetStateFieldValue(TDataSetState State, TField* Field) override;
    void SetStateFieldValue(TDataSetState State, TField* Field, const Variant& Value) override;
    /// \throws EDatabaseError "Cannot process the update because there is no
    /// TOBDCUpdateSQL attached to the Query" without UpdateObject; with one,
    /// nothing happens here (the application calls its Apply).
    void ApplyUpdates();
    /// The provider made by CreateProviderProc on first use, then kept.
    /// \throws EDatabaseError "No provider available"
    virtual TODBCProviderRef GetProvider();
    TODBCDataSetUpdateObject* UpdateObject() const { return FUpdateObject; }
    /// Pairs the dataset with Value: the previous object is released, and a
    /// dataset Value served before loses it.
    void SetUpdateObject(TODBCDataSetUpdateObject* Value);
    TUpdateErrorEvent OnUpdateError;
    TUpdateRecordEvent OnUpdateRecord;
    /// Releases the update object before the dataset goes.
    void BeforeDestruction() override;

protected:
    // ---- filter and ordering (published by the table) --------------------------------------
    TStrings* FilterParams() const { return FFilterParams.get(); }
    /// Copies Value's lines when its text differs; an open dataset is not
    /// requeried.
    void SetFilterParams(TStrings* Value);
    bool Indexed() const { return FIndexed; }
    /// Switching the ordering of an open dataset requeries it and moves to
    /// the first record.
    void SetActiveIndex(bool Value);
    TStrings* IndexParams() const { return FIndexParams.get(); }
    void SetIndexParams(TStrings* Value);
    /// Requeries with the WHERE clause on (Value) or off; nothing when
    /// FilterParams is empty. The text is tried on a statement of its own
    /// first. \throws EODBCError "Invalid Expression in FilterParams" when
    /// the data source rejects it (the cursor keeps its rows and position).
    void ActivateFilter(bool Value);
    /// The same for the ORDER BY clause ("Invalid Expression in IndexParams").
    void ActivateIndex(bool Value);
    /// Fills a statement record from StmtText, Filtered, FilterParams,
    /// Indexed and IndexParams.
    void GetStmtRecord(TStmt& Stmt) const;
    /// Refuses filter and order texts holding a statement separator
    /// ("Invalid Expression in FilterParams/IndexParams", as a rejected text).
    void CheckClauses(const TStmt& Stmt);
    void SetStmtText(const String& Value) { FStmtText = Value; }
    /// Records the text the statement was prepared with (a refresh runs it
    /// again; a failed switch of filter or ordering returns to it). Empty:
    /// the prepared text as it stands.
    void SetActiveStmtText(const String& Value) { FActiveStmtText = Value; }
    /// The text to prepare for Text. psqlODBC reads past its own copy of a
    /// statement that ends with its FROM clause when it opens a writable
    /// keyset cursor over a table with a serial key; so on that road the bare
    /// StmtText gets a WHERE clause that holds for every row. Guard says
    /// whether the cursor is such a cursor; it is kept for later clause
    /// switches.
    String CursorText(const String& Text, bool Guard);

    // ---- own virtual operations ----------------------------------------------------------------
    /// The statement handle with Engine built and the statement prepared;
    /// nil here (only descendants have a statement).
    virtual odbc::HStmt CreateHandle() { return nullptr; }
    /// Frees Engine, then the statement.
    virtual void DestroyHandle();
    /// After the fields are bound; nothing here.
    virtual void PrepareCursor() {}
    /// Computes the buffer layout; with GetProps, first rereads BookmarkSize
    /// and EngineRecordSize from the cursor properties.
    void InitBufferPointers(bool GetProps);
    /// Descendants store the engine they build here.
    void SetEngine(std::unique_ptr<TODBC> Value);

    // ---- field data ------------------------------------------------------------------------------
    /// The record buffer fields read and write in the current state.
    bool GetActiveRecBuf(TRecordBuffer& RecBuf);
    /// The record as it was before the change: the copy InternalEdit made in
    /// edit state, the active record in browse state, nil in insert state.
    TRecordBuffer GetOldRecord();
    /// The engine row image of a record buffer of this dataset: the cache
    /// slot a browsed record was lent, or the buffer itself (nil for nil).
    const std::uint8_t* RowOf(TRecordBuffer Buffer) const {
        if (!Buffer) return nullptr;
        const std::uint8_t* row;
        std::memcpy(&row, Buffer + FLoanOffset, sizeof row);
        return row ? row : Buffer;
    }

    // ---- the framework's protocol -----------------------------------------------------------------
    void ClearCalcFields(TRecordBuffer Buffer) override;
    void CloseCursor() override;
    /// A uni-directional cursor cannot come back to a row to write it.
    bool GetCanModify() override { return FCanModify && !FUniDirectional; }
    int GetRecordCount() override;
    int GetRecNo() override;
    void InitRecord(TRecordBuffer Buffer) override;
    void InternalCancel() override {}
    void InternalEdit() override;
    void InternalRefresh() override;
    void OpenCursor(bool InfoQuery) override;
    TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(TRecordBuffer& Buffer) override;
    void GetBookmarkData(TRecordBuffer Buffer, void* Data) override;
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override;
    TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
    int GetRecordSize() override { return FEngineRecordSize; }
    void InternalAddRecord(const void* Buffer, bool Append) override;
    void InternalClose() override;
    void InternalDelete() override;
    void InternalFirst() override;
    void InternalGotoBookmark(const void* Bookmark) override;
    void InternalHandleException() override;
    void InternalInitFieldDefs() override;
    void InternalInitRecord(TRecordBuffer Buffer) override;
    void InternalLast() override;
    void InternalOpen() override;
    void InternalPost() override;
    void InternalSetToRecord(TRecordBuffer Buffer) override;
    bool IsCursorOpen() override { return static_cast<bool>(FStmtHandle); }
    void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
    void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override;
    void DoAfterScroll() override;
    /// A freed update object is forgotten.
    void Notification(TComponent* AComponent, TOperation Operation) override;
    /// Runs the statement again after the end of a transaction closed the
    /// cursor: a browsing dataset refreshes, keeping its position; one being
    /// edited keeps its record and finds its row again when it posts. A
    /// uni-directional dataset cannot read its rows again and is left as is.
    void CursorsClosed(bool Deleted) override;

    /// Adds at most one field definition for an engine column (duplicate
    /// names get "_1", "_2", ...; columns without a field type get none).
    void AddFieldDesc(TODBCFldDesc FieldDesc, bool Required, std::uint16_t FieldNo);

    /// The database was destroyed: the link is gone, so are the flags.
    void DatabaseFreed() override { FDBFlagSet = 0; }

private:
    friend class TODBCBlobStream;
    /// Before a post: the long values written to the record reach the
    /// engine (a new record's as its pending values, NULL ones left out);
    /// after an edit's row was written: written to the row.
    void PendModifiedBlobs();
    void WriteModifiedBlobs();
    /// Writing streams over the active record (they register themselves).
    std::vector<TODBCBlobStream*> FWriteStreams;
    /// Hands the values of the writing streams to the record (before a post).
    void FlushBlobStreams();
    /// Ties the writing streams to no record any more.
    void DetachBlobStreams();
    TODBCRecInfo& RecInfo(TRecordBuffer Buffer) const {
        return *reinterpret_cast<TODBCRecInfo*>(Buffer + FRecInfoOffset);
    }
    std::int32_t BookmarkRow(const void* Bookmark) const;
    std::uint32_t BlobSlot(TRecordBuffer Buffer, int Index) const;
    void SetBlobSlot(TRecordBuffer Buffer, int Index, std::uint32_t Handle);
    void ReleaseBlobHandle(std::uint32_t Handle);
    /// Tries Text on a statement of its own, then requeries with it.
    void RunClauseText(const String& Text, const char* RejectMessage);

    /// Requeries; on failure returns to the text that ran before (or closes
    /// when that fails too) and re-raises.
    void RequeryText(const String& Text);
    void ReleaseHandle() noexcept;

protected:
    /// Executes a prepared statement with the query timeout applied, open to
    /// CancelStatement while it runs.
    /// \throws EODBCError
    void ExecuteStatement(odbc::HStmt Stmt, std::vector<odbc::DiagRecord>* Warnings = nullptr);
    /// The statement ran and its current result has no columns (a procedure
    /// call's count): moves to a later result that has, answering false when
    /// none is left (opening then raises "... returns no result set"). False
    /// here; a query walks its results.
    virtual bool SeekResultSet(odbc::HStmt /*Stmt*/) { return false; }
    /// Gives up the statement without freeing it; the engine goes.
    odbc::HStmt TakeStmtHandle() noexcept;
    /// Set while a query opens on a later result of a statement that has
    /// already run: OpenCursor then does not execute it again.
    bool FOpenOnRunStatement = false;

private:
    void Lend(TRecordBuffer Buffer, const TODBCRowLoan& Loan);
    /// Copies a lent buffer's row in and clears its loan (the list aside).
    void HoldRow(TRecordBuffer Buffer) noexcept;
    /// The bookmark of a record buffer (nil for nil).
    const std::uint8_t* BookmarkOf(TRecordBuffer Buffer) const {
        return Buffer ? Buffer + FBookmarkOffset : nullptr;
    }
    /// Forgets the loan of a buffer about to be written whole (nothing for a
    /// buffer that holds none, or is not one of ours).
    void ForgetLoan(TRecordBuffer Buffer) noexcept;
    /// The engine's hook: every lent row is copied into its record before
    /// the slots change.
    static void KeepLentRows(void* DataSet) noexcept;

    TODBCStmtOwner FStmtHandle;
    int FQueryTimeout = 0;
    TODBCCancelGate FCancelGate;  ///< open to CancelStatement while the driver executes
    /// The buffers holding a lent row (declared before the engine, which
    /// calls KeepLentRows while it goes).
    std::vector<TRecordBuffer> FLentBuffers;
    std::unique_ptr<TODBC> FEngine;
    String FStmtText;
    String FActiveStmtText;
    bool FGuardBareText = false;  ///< CursorText's guard of the open cursor
    std::uint16_t FDBFlagSet = 0;
    std::int16_t FRowSetSize = 20;
    bool FUniDirectional = false;
    bool FCanModify = false;
    bool FCacheBlobs = true;
    bool FIndexed = false;
    TOwnedPtr<TStringList> FFilterParams;
    TOwnedPtr<TStringList> FIndexParams;
    // Record buffer layout.
    std::uint16_t FEngineRecordSize = 0;
    std::uint16_t FBlobCacheOffset = 0;
    std::uint16_t FRecInfoOffset = 0;
    std::uint16_t FBookmarkOffset = 0;
    std::uint16_t FLoanOffset = 0;
    std::uint16_t FRecordBufferSize = 0;
    // BLOB cache storage: handle h designates FBlobStrings[h - 1].
    std::vector<String> FBlobStrings;
    std::vector<std::uint32_t> FFreeBlobHandles;
    // A uni-directional dataset cannot read backwards; after Last it may
    // still deliver the last row, which the cursor holds, once.
    enum class TLastRow : std::uint8_t { None, Pending, Delivered } FLastRow = TLastRow::None;
    // Whether the cursor delivered a row since it was opened.
    bool FRowDelivered = false;
    // Editing. FOldRecord is the record image from before the current edit;
    // FOuterState the state a dsOldValue read was asked from.
    std::vector<std::uint8_t> FOldRecord;
    // DecimalScale's answers by column (kScaleUnknown: not asked yet).
    static constexpr int kScaleUnknown = -2;
    std::vector<int> FDecimalScales;
    TDataSetState FOuterState = dsInactive;
    TODBCDataSetUpdateObject* FUpdateObject = nullptr;
    TODBCProviderRef FProvider;
};

}  // namespace velora
