// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TDataSet: the generic dataset that every concrete dataset descends from.
// It owns the ring of record buffers, the fields, the state and the events,
// and drives its descendant through virtual operations: the descendant knows
// its cursor (how to fetch the next, prior or current record into a buffer,
// how to go to the first or last record or to a bookmark, how to post and
// delete), the framework knows everything a user sees (the window of records
// the data links show, the active record, BOF/EOF, edit states, calculated
// fields, events and notifications).
//
// The ring holds BufferCount + 1 buffers: BufferCount is the largest buffer
// count among the data links (1 without links), and the extra buffer is the
// scratch slot into which the next fetched record is read. Buffers 0 ..
// RecordCount - 1 hold the records of the window in cursor order, and
// ActiveRecord is the index of the current record. CurrentRecord tracks
// which buffer the descendant's cursor sits on (-1: unknown); before an
// operation that acts on "the cursor's current record" the framework brings
// the cursor to the active record (UpdateCursorPos -> InternalSetToRecord).
//
// Calling protocol the descendants rely on:
//   Open:    BeforeOpen, OpenCursor(False) -> InternalOpen, buffers allocated
//            (AllocRecordBuffer), First records fetched (GetRecord gmNext),
//            state dsBrowse, AfterOpen, AfterScroll.
//   Close:   BeforeClose, state dsInactive, CloseCursor -> (FreeFieldBuffers,
//            buffers freed) InternalClose, AfterClose.
//   First:   InternalFirst, GetRecord(gmNext) until the window is full.
//   Last:    InternalLast, GetRecord(gmPrior) until the window is full.
//   Edit:    BeforeEdit, UpdateCursorPos, InternalEdit, calculated fields,
//            state dsEdit, AfterEdit.
//   Insert:  BeforeInsert, BeforeScroll, UpdateCursorPos (the cursor stays on
//            the record the new one goes before), InitRecord on the new
//            buffer (InternalInitRecord, ClearCalcFields, flag bfInserted),
//            state dsInsert, OnNewRecord, AfterInsert, AfterScroll.
//   Append:  as Insert, but the window is rebuilt at the end: InitRecord,
//            flag bfEOF, then prior records (InternalLast, GetRecord gmPrior).
//   Post:    UpdateRecord, BeforePost, UpdateCursorPos, required-field
//            check, InternalPost, FreeFieldBuffers, state dsBrowse,
//            Resync([]), AfterPost.
//   Cancel:  BeforeCancel, UpdateCursorPos, InternalCancel, FreeFieldBuffers,
//            state dsBrowse, Resync([]), AfterCancel.
//   Delete:  BeforeDelete, BeforeScroll, UpdateCursorPos, InternalDelete,
//            FreeFieldBuffers, state dsBrowse, Resync([]), AfterDelete,
//            AfterScroll.
//   Refresh: CheckBrowseMode, UpdateCursorPos, InternalRefresh, Resync([]).
//   Resync:  GetRecord(gmCurrent), else gmNext, else gmPrior (rmExact: only
//            gmCurrent, raising "Record not found"), then the window is
//            refilled around that record.
// UpdateCursorPos calls InternalSetToRecord only for buffers flagged
// bfCurrent (bfBOF: InternalFirst, bfEOF: InternalLast); a bfInserted buffer
// carries no bookmark of its own, so the cursor is left where Insert put it.
// Post, Edit and Delete run their internal operation inside CheckOperation:
// an EDatabaseError goes to OnPostError / OnEditError / OnDeleteError, whose
// action may retry the operation, abort silently (EAbort) or fail.
//
// Bookmarks are byte strings of BookmarkSize bytes copied from a record
// buffer (GetBookmarkData). Only the descendant knows which of the bytes
// matter, so BookmarkValid and CompareBookmarks are virtual; the defaults
// compare all bytes and only check the size.
//
// Datasets are freed with Free() or by their owner: closing runs virtual
// operations of the descendant, which C++ cannot reach from a destructor.
#pragma once

#include "velora/classes/Classes.h"
#include "velora/db/DBConsts.h"
#include "velora/db/DBTypes.h"
#include "velora/db/FieldDefs.h"
#include "velora/db/Fields.h"
#include "velora/rtl/Numbers.h"
#include "velora/classes/Streams.h"
#include "velora/rtl/Variant.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace velora {

class TDataLink;
class TDataSource;

/// A silent exception: the operation was abandoned on purpose (a
/// TDataAction of daAbort). Applications usually catch and ignore it.
class EAbort : public Exception {
public:
    using Exception::Exception;
};
/// Raises EAbort "Operation aborted".
[[noreturn]] void Abort();

/// Publishes the properties of datasets, data sources and fields for form
/// files (run once; datasets, data sources and fields call it when created).
void RegisterDBClasses();

/// A record buffer of the ring (its layout is the descendant's).
using TRecordBuffer = std::uint8_t*;
/// A bookmark: the BookmarkSize bytes of a record buffer's bookmark area; an
/// empty bookmark stands for none.
using TBookmark = std::vector<std::uint8_t>;

enum TResyncModeItem : std::uint8_t { rmExact, rmCenter };
using TResyncMode = TSet<TResyncModeItem>;

/// What an error handler decides: raise the error, abort silently, or retry.
enum TDataAction : std::uint8_t { daFail, daAbort, daRetry };

enum TLocateOption : std::uint8_t { loCaseInsensitive, loPartialKey };
using TLocateOptions = TSet<TLocateOption>;

using TDataSetNotifyEvent = std::function<void(TDataSet* DataSet)>;
using TDataSetErrorEvent = std::function<void(TDataSet* DataSet, EDatabaseError& E, TDataAction& Action)>;

/// The generic dataset. See the file comment for the calling protocol.
class TDataSet : public TComponent {
public:
    explicit TDataSet(TComponent* AOwner);
    ~TDataSet() override;
    /// Closes the dataset, detaches its data sources and frees its fields
    /// while the descendant is still whole.
    void BeforeDestruction() override;
    /// Opens the dataset when Active was read as True from a form file.
    void Loaded() override;

    // ---- opening and closing ----------------------------------------------
    void Open() { SetActive(true); }
    void Close() { SetActive(false); }
    bool Active() const { return FState != dsInactive; }
    /// While loading from a form file only records the value.
    void SetActive(bool Value);
    TDataSetState State() const { return FState; }

    // ---- navigation -------------------------------------------------------
    void First();
    void Last();
    void Next() { MoveBy(1); }
    void Prior() { MoveBy(-1); }
    /// Moves the active record; answers how far it moved (negative
    /// backwards). Sets Eof/Bof when it ran into the end.
    int MoveBy(int Distance);
    /// At or past the first record (beginning of file).
    bool Bof() const { return FBOF; }
    /// At or past the last record (end of file).
    bool Eof() const { return FEOF; }
    bool IsEmpty() const { return FActiveRecord >= FRecordCount; }
    /// The descendant's count (GetRecordCount; -1 when unknown).
    int RecordCount() { return GetRecordCount(); }
    /// The descendant's record number of the active record (-1 unknown).
    int RecNo() { return GetRecNo(); }
    /// Moves to a record number where the descendant supports it.
    virtual void SetRecNo(int /*Value*/) {}

    // ---- bookmarks ----------------------------------------------------------
    /// The active record's bookmark, or an empty one when there is no
    /// fetched active record.
    virtual TBookmark GetBookmark();
    /// Makes the bookmarked record active (an empty bookmark does nothing);
    /// raises "Record not found" when the cursor cannot deliver it.
    void GotoBookmark(const TBookmark& Bookmark);
    /// Releases a bookmark (empties it).
    void FreeBookmark(TBookmark& Bookmark) { Bookmark.clear(); }
    /// Whether the bookmark designates a record of the open dataset. The
    /// default checks that the dataset is open and the size is BookmarkSize.
    virtual bool BookmarkValid(const TBookmark& Bookmark);
    /// -1, 0 or 1. Empty bookmarks come first; the default compares the
    /// bytes.
    virtual int CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2);
    int BookmarkSize() const { return FBookmarkSize; }

    // ---- editing ------------------------------------------------------------
    /// Edit mode on the active record (Insert on an empty dataset).
    void Edit();
    /// A new record before the active one.
    void Insert();
    /// A new record after the last one.
    void Append();
    virtual void Post();
    virtual void Cancel();
    void Delete();
    /// Re-reads the records from the cursor, keeping the field objects.
    void Refresh();
    /// Posts (when modified) or cancels a pending edit; raises when closed.
    void CheckBrowseMode();
    /// Asks the data links to write pending control edits (deUpdateRecord).
    void UpdateRecord();
    /// Inserts a record with the values given in field order and posts it
    /// (through InternalAddRecord). Empty values leave the field as
    /// initialised, Null clears it.
    void InsertRecord(const std::vector<Variant>& Values) { InternalInsertRecord(Values, false); }
    void AppendRecord(const std::vector<Variant>& Values) { InternalInsertRecord(Values, true); }
    /// Field values were changed in the current edit.
    bool Modified() const { return FModified; }
    bool CanModify() { return GetCanModify(); }

    // ---- cursor and window ----------------------------------------------------
    /// Brings the cursor to the active record.
    void UpdateCursorPos();
    /// Forgets where the cursor is (the next UpdateCursorPos repositions it).
    void CursorPosChanged() { FCurrentRecord = -1; }
    /// Re-reads the window around the cursor's record.
    void Resync(TResyncMode Mode);

    // ---- checks ---------------------------------------------------------------
    /// Raises "Cannot perform this operation on a closed dataset".
    void CheckActive() const;
    /// Raises "Cannot perform this operation on an open dataset" (a dataset
    /// being designed is closed instead).
    void CheckInactive();

    // ---- data links -------------------------------------------------------------
    /// Holds back notifications to the data sources; nestable.
    void DisableControls();
    /// At the outermost call, tells the links what they missed (a state change
    /// and one deDataSetChange, or deLayoutChange).
    void EnableControls();
    bool ControlsDisabled() const { return FDisableCount != 0; }
    /// Sends an event to the data sources (unless controls are disabled) after
    /// the dataset's own handling: deFieldChange (Info is the field) marks the
    /// record modified, recalculates calculated fields and runs the field's
    /// OnChange; dePropertyChange marks the field definitions out of date.
    virtual void DataEvent(TDataEvent Event, std::intptr_t Info);
    /// The master data source of a detail dataset (default none).
    virtual TDataSource* GetDataSource() { return nullptr; }
    bool IsLinkedTo(TDataSource* DataSource);

    // ---- fields ---------------------------------------------------------------
    TFields& Fields() { return *FFields; }
    int FieldCount() const { return FFields->Count(); }
    TFieldDefs* FieldDefs() { return FFieldDefs.get(); }
    const TFieldDefs* FieldDefs() const { return FFieldDefs.get(); }
    /// Raises "Field '%s' not found".
    TField* FieldByName(const String& FieldName) const { return FFields->FieldByName(FieldName); }
    /// Null when absent.
    TField* FindField(const String& FieldName) const { return FFields->FindField(FieldName); }
    /// Appends the fields named in the semicolon-separated list, in order;
    /// raises for a name without field.
    void GetFieldList(TList& List, const String& FieldNames) const;
    void GetFieldNames(TStrings& List) const { FFields->GetFieldNames(List); }
    /// The value of one field, or a variant array of the values of several
    /// ("A;B").
    Variant FieldValues(const String& FieldNames) const;
    void SetFieldValues(const String& FieldNames, const Variant& Value);
    /// Fills FieldDefs: from the open cursor, or by opening the cursor for
    /// information only.
    virtual void InitFieldDefs();
    /// The fields were created at open from FieldDefs (no persistent fields).
    bool DefaultFields() const { return FDefaultFields; }
    /// Creates a field for each definition with a known type.
    void CreateFields();
    /// Matches the fields to the definitions (Binding True) or releases them:
    /// sets FieldNo, the calculated-field offsets and CalcFieldsSize, the BLOB
    /// numbers and BlobFieldCount. A data field without definition raises
    /// "Field '%s' not found", one of another type "Type mismatch ...".
    void BindFields(bool Binding);
    /// Frees every field.
    void DestroyFields() { FFields->Clear(); }
    /// Raises for the first name in the list that has no field.
    void CheckFieldNames(const String& FieldNames) const { FFields->CheckFieldNames(FieldNames); }
    int CalcFieldsSize() const { return FCalcFieldsSize; }
    int BlobFieldCount() const { return FBlobFieldCount; }
    bool AutoCalcFields() const { return FAutoCalcFields; }
    void SetAutoCalcFields(bool Value) { FAutoCalcFields = Value; }

    // ---- searching ------------------------------------------------------------
    /// Makes the first record whose KeyFields equal KeyValues (one value, or a
    /// variant array for several fields) the active one; answers False and
    /// leaves the window unchanged when there is none. Scans the records
    /// through the cursor; descendants with a faster way override it.
    virtual bool Locate(const String& KeyFields, const Variant& KeyValues, TLocateOptions Options);
    /// The ResultFields values (one value or a variant array) of the first
    /// record matching KeyValues, Null when there is none. The active record
    /// and the window do not change and no scroll event fires.
    virtual Variant Lookup(const String& KeyFields, const Variant& KeyValues, const String& ResultFields);

    // ---- filtering --------------------------------------------------------------
    bool Filtered() const { return FFiltered; }
    /// Stores the flag; descendants that filter override it.
    virtual void SetFiltered(bool Value) { FFiltered = Value; }

    // ---- services of the descendant used by fields and streams ----------------
    /// Copies the value of Field in the record buffer of the current state into
    /// Buffer (null: only answer whether there is a value). False for NULL.
    virtual bool GetFieldData(TField* Field, void* Buffer) = 0;
    /// Stores Buffer (null = NULL) as the value of Field in the record buffer
    /// of the current state; checks the state, ReadOnly, runs Validate and
    /// sends deFieldChange (all of them the descendant's duty).
    virtual void SetFieldData(TField* Field, const void* Buffer) = 0;
    /// A stream over a BLOB field's value in the current record; null when the
    /// dataset has no BLOBs (the default).
    virtual std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode);
    /// Converts text between the dataset's and the program's character set
    /// in place or into Dest; answers the length. The default copies.
    virtual int Translate(const char* Src, char* Dest, bool ToOem);
    /// Fetches the active record again into Buffer (default: not supported).
    virtual bool GetCurrentRecord(TRecordBuffer Buffer);
    /// Record numbers (RecNo) are meaningful (default True).
    virtual bool IsSequenced() { return true; }
    /// Packed decimal (34 bytes) to Currency; False when it does not fit. The
    /// default reads the layout byte 0 precision, byte 1 sign (bit 7) and
    /// scale (bits 0..5), then two digits per byte.
    virtual bool BCDToCurr(const void* BCD, Currency& Curr);
    /// Currency to packed decimal with Precision digits and Decimals of them
    /// after the point; False when it does not fit.
    virtual bool CurrToBCD(Currency Curr, void* BCD, int Precision, int Decimals);
    /// The field's value in the buffer of another state (dsOldValue,
    /// dsNewValue, dsCurValue); Null for calculated and lookup fields.
    virtual Variant GetStateFieldValue(TDataSetState State, TField* Field);
    virtual void SetStateFieldValue(TDataSetState State, TField* Field, const Variant& Value);
    /// The blob state of Field in the active record is discarded (after post
    /// and cancel). Default: nothing.
    virtual void CloseBlob(TField* /*Field*/) {}
    /// Values held as text in the record (decimals beyond a double's digits,
    /// and character values, which this reads without the field's buffer
    /// form), and dates, times and time stamps with their whole fraction of
    /// a second, as text: True when the dataset answers for
    /// Field (IsNull then tells NULL). Not asked while Field's OnValidate
    /// runs (the value being validated is not in the record yet). Default:
    /// False.
    virtual bool GetFieldExactText(TField* /*Field*/, String& /*Text*/, bool& /*IsNull*/) { return false; }
    /// Stores Text exactly as Field's value when the dataset holds such
    /// values as text (True), after checking it; default False.
    virtual bool SetFieldExactText(TField* /*Field*/, const String& /*Text*/) { return false; }
    /// The whole value of BLOB field Field in the active record, read
    /// without a stream: True when the dataset answers (Value then holds it;
    /// empty for NULL), False to have the field open a stream. Not asked for
    /// a field written since the record was read. Default: False.
    virtual bool GetBlobValue(TField* /*Field*/, String& /*Value*/) { return false; }

    // ---- the ring (read by data links and descendants) -------------------------
    int BufferCount() const { return FBufferCount; }
    /// Records in the window.
    int WindowRecordCount() const { return FRecordCount; }
    int ActiveRecord() const { return FActiveRecord; }
    /// Buffer of the active record (null while closed).
    TRecordBuffer ActiveBuffer() const {
        return FBuffers.empty() ? nullptr : FBuffers[static_cast<std::size_t>(FActiveRecord)];
    }
    /// The buffer whose calculated fields are being computed.
    TRecordBuffer CalcBuffer() const { return FCalcBuffer; }
    int CurrentRecord() const { return FCurrentRecord; }

    // ---- events -----------------------------------------------------------------
    TDataSetNotifyEvent BeforeOpen, AfterOpen, BeforeClose, AfterClose;
    TDataSetNotifyEvent BeforeInsert, AfterInsert, BeforeEdit, AfterEdit;
    TDataSetNotifyEvent BeforePost, AfterPost, BeforeCancel, AfterCancel;
    TDataSetNotifyEvent BeforeDelete, AfterDelete, BeforeScroll, AfterScroll;
    TDataSetNotifyEvent OnNewRecord, OnCalcFields;
    TDataSetErrorEvent OnEditError, OnPostError, OnDeleteError;

protected:
    // ---- the virtual operations of the cursor, in calling order ------------
    virtual void ClearCalcFields(TRecordBuffer /*Buffer*/) {}
    /// Fetches nothing, frees the field buffers and the ring, then
    /// InternalClose.
    virtual void CloseCursor();
    virtual bool GetCanModify() { return true; }
    virtual int GetRecordCount() { return -1; }
    virtual int GetRecNo() { return -1; }
    /// InternalInitRecord, ClearCalcFields, flag bfInserted.
    virtual void InitRecord(TRecordBuffer Buffer);
    virtual void InternalCancel() {}
    virtual void InternalEdit() {}
    virtual void InternalRefresh() {}
    /// InfoQuery False: InternalOpen (DefaultFields decided before), then the
    /// ring sized. InfoQuery True: InternalInitFieldDefs only.
    virtual void OpenCursor(bool InfoQuery);
    virtual TRecordBuffer AllocRecordBuffer() = 0;
    virtual void FreeRecordBuffer(TRecordBuffer& Buffer) = 0;
    virtual void GetBookmarkData(TRecordBuffer Buffer, void* Data) = 0;
    virtual TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) = 0;
    virtual TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) = 0;
    /// Bytes of the record data before the calculated-field area.
    virtual int GetRecordSize() = 0;
    virtual void InternalAddRecord(const void* Buffer, bool Append) = 0;
    virtual void InternalClose() = 0;
    virtual void InternalDelete() = 0;
    virtual void InternalFirst() = 0;
    virtual void InternalGotoBookmark(const void* Bookmark) = 0;
    virtual void InternalHandleException() = 0;
    virtual void InternalInitFieldDefs() = 0;
    virtual void InternalInitRecord(TRecordBuffer Buffer) = 0;
    virtual void InternalLast() = 0;
    virtual void InternalOpen() = 0;
    virtual void InternalPost() = 0;
    virtual void InternalSetToRecord(TRecordBuffer Buffer) = 0;
    virtual bool IsCursorOpen() = 0;
    virtual void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) = 0;
    virtual void SetBookmarkData(TRecordBuffer Buffer, const void* Data) = 0;

    // ---- services for descendants -----------------------------------------------
    void SetBookmarkSize(int Value) { FBookmarkSize = Value; }
    /// Computes the calculated and lookup fields of Buffer in state
    /// dsCalcFields (only when there are any).
    void GetCalcFields(TRecordBuffer Buffer);
    /// Clears the calculated fields of Buffer, fills the lookup fields and
    /// runs OnCalcFields, with CalcBuffer = Buffer.
    void CalculateFields(TRecordBuffer Buffer);
    void SetState(TDataSetState Value);
    void SetModified(bool Value) { FModified = Value; }
    /// Raises "Cannot modify a read-only dataset" unless CanModify.
    void CheckCanModify();
    /// Raises "Field '%s' must have a value" for the first required data field
    /// (not read-only) that is null.
    void CheckRequiredFields();
    /// Runs Operation after UpdateCursorPos; EDatabaseError goes to the handler.
    void CheckOperation(const std::function<void()>& Operation, const TDataSetErrorEvent& ErrorEvent);
    /// Lets the fields drop per-edit state (BLOB Modified flags).
    void FreeFieldBuffers();
    /// The buffer at Index in the ring (0 .. BufferCount).
    TRecordBuffer Buffers(int Index) const { return FBuffers[static_cast<std::size_t>(Index)]; }
    /// The scratch buffer after the window.
    TRecordBuffer TempBuffer() const { return FBuffers[static_cast<std::size_t>(FRecordCount)]; }
    void ClearBuffers();

    virtual void DoBeforeOpen() { Fire(BeforeOpen); }
    virtual void DoAfterOpen() { Fire(AfterOpen); }
    virtual void DoBeforeClose() { Fire(BeforeClose); }
    virtual void DoAfterClose() { Fire(AfterClose); }
    virtual void DoBeforeInsert() { Fire(BeforeInsert); }
    virtual void DoAfterInsert() { Fire(AfterInsert); }
    virtual void DoBeforeEdit() { Fire(BeforeEdit); }
    virtual void DoAfterEdit() { Fire(AfterEdit); }
    virtual void DoBeforePost() { Fire(BeforePost); }
    virtual void DoAfterPost() { Fire(AfterPost); }
    virtual void DoBeforeCancel() { Fire(BeforeCancel); }
    virtual void DoAfterCancel() { Fire(AfterCancel); }
    virtual void DoBeforeDelete() { Fire(BeforeDelete); }
    virtual void DoAfterDelete() { Fire(AfterDelete); }
    virtual void DoBeforeScroll() { Fire(BeforeScroll); }
    virtual void DoAfterScroll() { Fire(AfterScroll); }
    virtual void DoOnNewRecord() { Fire(OnNewRecord); }
    virtual void DoOnCalcFields() { Fire(OnCalcFields); }

private:
    friend class TDataLink;
    friend class TDataSource;
    friend class TField;

    void Fire(const TDataSetNotifyEvent& Event) {
        if (Event) Event(this);
    }
    void DoInternalOpen();
    void SetBufListSize(int Value);
    void SetBufferCount(int Value);
    void UpdateBufferCount();
    void MoveBuffer(int CurIndex, int NewIndex);
    void ActivateBuffers();
    void SetCurrentRecord(int Index);
    bool GetNextRecord();
    bool GetPriorRecord();
    int GetNextRecords();
    int GetPriorRecords();
    void BeginInsertAppend();
    void EndInsertAppend();
    void InternalInsertRecord(const std::vector<Variant>& Values, bool Append);
    void AddDataSource(TDataSource* DataSource);
    void RemoveDataSource(TDataSource* DataSource);
    /// Scans the cursor from the first record for KeyFields = KeyValues;
    /// leaves the cursor on the match (answer True) and reads fields from
    /// TempBuffer through state dsCalcFields while doing so.
    bool LocateRecord(const String& KeyFields, const Variant& KeyValues, TLocateOptions Options,
                      const std::function<void()>& OnFound);
    bool RecordMatches(const std::vector<TField*>& Keys, const Variant& KeyValues, TLocateOptions Options);

    std::unique_ptr<TFields> FFields;
    std::unique_ptr<TFieldDefs> FFieldDefs;
    std::vector<TDataSource*> FDataSources;
    std::vector<TRecordBuffer> FBuffers;  // BufferCount + 1 while open
    int FBufferCount = 0;
    int FRecordCount = 0;     // records in the window
    int FActiveRecord = 0;    // index of the active record in the window
    int FCurrentRecord = -1;  // buffer the cursor sits on, -1 unknown
    TRecordBuffer FCalcBuffer = nullptr;
    TBookmark FInsertBookmark;  // while inserting: the record the new one stands before
    int FBookmarkSize = 0;
    int FCalcFieldsSize = 0;
    int FBlobFieldCount = 0;
    int FDisableCount = 0;
    TDataSetState FDisableState = dsInactive;
    TDataEvent FEnableEvent = deDataSetChange;
    TDataSetState FState = dsInactive;
    bool FBOF = true;
    bool FEOF = true;
    bool FModified = false;
    bool FDefaultFields = false;
    bool FInternalCalcFields = false;
    bool FAutoCalcFields = true;
    bool FFiltered = false;
    bool FStreamedActive = false;
    bool FCursorOpenComplete = false;  // InternalOpen succeeded
};

}  // namespace velora
