// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TMemDataSet: a dataset over rows kept in memory, written the way a cursor
// dataset is written on top of the framework (the ODBC dataset follows the
// same protocol): it overrides the cursor operations, keeps its own record
// buffer layout and its own bookmarks, and records every call the framework
// makes into it, so tests can check the order of those calls.
//
// Record buffer layout:
//   [0, RecordSize)                for each field definition: a flag byte
//                                  (nonzero = has a value), then its buffer
//                                  form (BLOBs: the flag byte only)
//   [RecordSize, +CalcFieldsSize)  calculated fields (flag byte + value each)
//   RecInfoOffset                  the TBookmarkFlag byte
//   BookmarkOffset                 BookmarkSize (8) bytes: the row id as a
//                                  32-bit integer (-1 = none), then zeros
// BLOB values of a buffer live beside it, in storage the dataset owns.
//
// The rows are the "table": they survive Close/Open, and SetStoredValue
// changes them behind the dataset's back (as another user would), which
// Refresh then shows.
#pragma once

#include "velora/db/DB.h"

#include <functional>
#include <map>
#include <optional>
#include <vector>

namespace velora::test {

class TMemDataSet : public TDataSet {
public:
    explicit TMemDataSet(TComponent* AOwner);
    ~TMemDataSet() override;

    /// The cursor calls in order, e.g. "InternalFirst", "GetRecord(gmNext)=grOK",
    /// "InternalSetToRecord(3)", "InternalEdit", "InternalPost(insert)".
    std::vector<String> Calls;
    /// Only GetRecord calls are left out of Calls when False (default True).
    bool LogGetRecord = true;
    /// Called with the name of an internal operation ("InternalPost", ...)
    /// before it acts; throw from it to make the operation fail.
    std::function<void(const String& Operation)> FailHook;
    /// CanModify answers the opposite.
    bool ReadOnlyData = false;

    /// Appends a row to the store directly (values in field-definition order;
    /// Null or missing values are stored as NULL). Answers the row's id.
    int AddRow(const std::vector<Variant>& Values);
    int StoredCount() const { return static_cast<int>(FRows.size()); }
    /// A stored value by row position and field-definition name.
    Variant StoredValue(int Row, const String& FieldName) const;
    void SetStoredValue(int Row, const String& FieldName, const Variant& Value);
    int RowId(int Row) const { return FRows[static_cast<std::size_t>(Row)].Id; }
    /// The row id a bookmark designates (-1 for none).
    static int BookmarkId(const TBookmark& Bookmark);
    /// Position of the cursor: -1 before the first row, StoredCount() after
    /// the last.
    int CursorPos() const { return FCursor; }

    bool BookmarkValid(const TBookmark& Bookmark) override;
    int CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) override;
    bool GetFieldData(TField* Field, void* Buffer) override;
    void SetFieldData(TField* Field, const void* Buffer) override;
    std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override;
    bool GetCurrentRecord(TRecordBuffer Buffer) override;
    void SetRecNo(int Value) override;

    /// The buffer the current state reads and writes (null when none).
    TRecordBuffer GetActiveRecBuf();
    /// BLOB values beside a buffer, by field-definition index.
    std::vector<std::optional<String>>& BlobsOf(TRecordBuffer Buffer);

protected:
    void ClearCalcFields(TRecordBuffer Buffer) override;
    bool GetCanModify() override { return !ReadOnlyData; }
    int GetRecordCount() override;
    int GetRecNo() override;
    void InitRecord(TRecordBuffer Buffer) override;
    void InternalCancel() override;
    void InternalEdit() override;
    void InternalRefresh() override;
    TRecordBuffer AllocRecordBuffer() override;
    void FreeRecordBuffer(TRecordBuffer& Buffer) override;
    void GetBookmarkData(TRecordBuffer Buffer, void* Data) override;
    TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override;
    TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override;
    int GetRecordSize() override { return FRecordSize; }
    void InternalAddRecord(const void* Buffer, bool Append) override;
    void InternalClose() override;
    void InternalDelete() override;
    void InternalFirst() override;
    void InternalGotoBookmark(const void* Bookmark) override;
    void InternalHandleException() override { Calls.push_back("InternalHandleException"); }
    void InternalInitFieldDefs() override { Calls.push_back("InternalInitFieldDefs"); }
    void InternalInitRecord(TRecordBuffer Buffer) override;
    void InternalLast() override;
    void InternalOpen() override;
    void InternalPost() override;
    void InternalSetToRecord(TRecordBuffer Buffer) override;
    bool IsCursorOpen() override { return FIsOpen; }
    void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override;
    void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override;

private:
    struct TRow {
        int Id = 0;
        std::vector<std::uint8_t> Data;            // RecordSize bytes
        std::vector<std::optional<String>> Blobs;  // by definition index
    };
    void Log(const String& call) { Calls.push_back(call); }
    void Hook(const String& operation) {
        if (FailHook) FailHook(operation);
    }
    void ComputeDataLayout();
    int DataSizeOf(const TFieldDef* Def) const;
    void LoadRow(const TRow& Row, TRecordBuffer Buffer);
    void StoreRow(TRow& Row, TRecordBuffer Buffer);
    int IndexOfId(int Id) const;
    static int IdOfBookmark(const void* Bookmark);
    void EncodeValue(const TFieldDef* Def, const Variant& Value, std::uint8_t* Dest, std::optional<String>& Blob) const;
    Variant DecodeValue(const TFieldDef* Def, const std::uint8_t* Src, const std::optional<String>& Blob) const;

    std::vector<TRow> FRows;
    int FNextId = 1;
    int FCursor = -1;
    bool FIsOpen = false;
    std::vector<int> FFieldOffsets;  // flag byte of each definition
    int FRecordSize = 0;
    int FRecInfoOffset = 0;
    int FBookmarkOffset = 0;
    int FBufferSize = 0;
    std::map<TRecordBuffer, std::vector<std::optional<String>>> FBufferBlobs;
    std::vector<std::uint8_t> FOldRecord;  // the active record before the current edit
    std::vector<std::optional<String>> FOldBlobs;
    bool FHasOld = false;
};

/// A data link that records what it is told, as "ActiveChanged(1)",
/// "RecordChanged(NAME)", "DataSetChanged", "DataSetScrolled(-1)",
/// "LayoutChanged", "EditingChanged(1)", "CheckBrowseMode", "UpdateData",
/// "FocusControl(NAME)".
class TRecordingDataLink : public TDataLink {
public:
    std::vector<String> Events;
    std::function<void()> OnUpdateDataHook;
    int Count(const String& Event) const;

protected:
    void ActiveChanged() override;
    void CheckBrowseMode() override { Events.push_back("CheckBrowseMode"); }
    void DataSetChanged() override { Events.push_back("DataSetChanged"); }
    void DataSetScrolled(int Distance) override;
    void EditingChanged() override;
    void FocusControl(TField** Field) override;
    void LayoutChanged() override { Events.push_back("LayoutChanged"); }
    void RecordChanged(TField* Field) override;
    void UpdateData() override;
};

}  // namespace velora::test
