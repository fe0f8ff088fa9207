// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCBlobStream and the dataset's long values: streams over the value of a
// memo or BLOB field in the active record, the record's BLOB cache that
// holds values read and values written, and their way to the data source at
// post.
#include "velora/components/ODBCDataSet.h"

#include "velora/components/ODBCconst.h"
#include "velora/engine/ODBCCursor.h"

#include <algorithm>
#include <cstring>

namespace velora {

namespace {

bool IsBlobField(TField* Field) { return Field && Field->IsBlob() && Field->FieldNo() > 0; }

TBlobField* AsBlobField(TField* Field) { return static_cast<TBlobField*>(Field); }

}  // namespace

// ---------------------------------------------------------------------------
// A whole value without a stream: what a reading stream would deliver, for
// the record being browsed (a record being edited holds values written
// since, which the stream sorts out).

bool TODBCDataSet::GetBlobValue(TField* Field, String& Value) {
    if (!IsBlobField(Field) || AsBlobField(Field)->Modified() || State() != dsBrowse) return false;
    TRecordBuffer buffer = nullptr;
    if (!GetActiveRecBuf(buffer) || !buffer || buffer != ActiveBuffer()) return false;
    bool isNull = false;
    if (GetCachedBlob(Field, buffer, Value, isNull)) return true;
    const bool hasValue = FEngine->ReadLongValue(buffer + FBookmarkOffset, Field->FieldNo(), Value);
    CacheBlobRead(Field, buffer, Value, !hasValue);
    return true;
}

// ---------------------------------------------------------------------------
// The stream

TODBCBlobStream::TODBCBlobStream(TODBCDataSet* DataSet, TField* Field, TBlobStreamMode Mode)
    : FDataSet(DataSet), FField(Field), FMode(Mode) {
    if (Mode != bmRead) {
        if (DataSet->State() != dsEdit && DataSet->State() != dsInsert) DatabaseError(SNotEditing);
        if (!Field->CanModify()) DatabaseErrorFmt(SFieldReadOnly, Field->DisplayName());
    }
    DataSet->GetActiveRecBuf(FBuffer);
    if (!FBuffer) {
        FLoaded = true;  // no record: an empty value
        return;
    }
    bool cachedNull = false;
    if (AsBlobField(Field)->Modified() && FBuffer == DataSet->ActiveBuffer()) {
        // The value written so far is the one the record being edited holds
        // (the record from before the edit, which OldValue reads, still has
        // the stored value), or the one a writing stream holds that has not
        // handed it over yet.
        FData = DataSet->GetBlobData(Field, FBuffer);
        for (const TODBCBlobStream* writer : DataSet->FWriteStreams)
            if (writer->FField == Field && writer->FBuffer == FBuffer && writer->FDirty) FData = writer->FData;
        FLoaded = true;
    } else if (DataSet->GetCachedBlob(Field, FBuffer, FData, cachedNull)) {
        FLoaded = true;  // NULL and zero length are cached like other values
    }
    if (Mode != bmRead) AsBlobField(Field)->SetNullWritten(false);  // a value, if of zero length
    if (Mode == bmWrite) {
        FData.clear();
        FLoaded = true;
        Store(false);  // a write stream without writes still clears the value (its close tells the links)
    }
    if (Mode != bmRead) DataSet->FWriteStreams.push_back(this);
}

void TODBCBlobStream::Load(bool Cache) {
    if (FLoaded || FDetached) return;
    const bool hasValue = FDataSet->FEngine->ReadLongValue(FBuffer + FDataSet->FBookmarkOffset, FField->FieldNo(), FData);
    FLoaded = true;
    if (Cache) FDataSet->CacheBlobRead(FField, FBuffer, FData, !hasValue);
}

void TODBCBlobStream::Store(bool Changed) {
    FDirty = true;
    FWrote = true;
    if (!AsBlobField(FField)->Modified()) {
        AsBlobField(FField)->SetModified(true);
        FDataSet->SetBlobData(FField, FBuffer, FData);
        FDirty = false;
    }
    // Linked controls hear of every write that changes the value (a reader
    // opened now sees it through this stream) and of every close.
    if (Changed) FDataSet->DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(FField));
}

void TODBCBlobStream::Flush() {
    if (!FDirty || FDetached) return;
    FDataSet->SetBlobData(FField, FBuffer, FData);
    FDirty = false;
}

void TODBCBlobStream::Detach() {
    if (FDetached) return;
    FDetached = true;
    FDirty = false;
    auto& streams = FDataSet->FWriteStreams;
    streams.erase(std::remove(streams.begin(), streams.end(), this), streams.end());
}

TODBCBlobStream::~TODBCBlobStream() {
    const bool tell = FWrote && !FDetached;
    try {
        Flush();
    } catch (...) {
        // Out of memory while keeping the value: the record keeps the value
        // it had when the stream began writing.
    }
    Detach();
    if (!tell) return;
    try {
        FDataSet->DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(FField));
    } catch (...) {
        // A handler's failure cannot leave a destructor; the value is the
        // record's already.
    }
}

std::int64_t TODBCBlobStream::Size() {
    if (FLoaded || FDetached) return static_cast<std::int64_t>(FData.size());
    if (FSize < 0) {
        // The length alone, without reading the value into the stream.
        std::int32_t size = 0;
        bool isNull = false;
        FDataSet->FEngine->GetBlobSize(FBuffer, FDataSet->FBookmarkOffset, size, FField->FieldNo(), &isNull);
        const bool memo = FField->DataType() != ftBlob && FField->DataType() != ftGraphic;
        FSize = memo ? std::max(size - 1, 0) : size;
        if (FSize == 0) {
            // NULL or zero length: nothing to read, and cached like any value.
            FData.clear();
            FLoaded = true;
            FDataSet->CacheBlobRead(FField, FBuffer, FData, isNull);
        }
    }
    return FSize;
}

std::int64_t TODBCBlobStream::Read(void* Buffer, std::int64_t Count) {
    if (FPosition < 0 || Count <= 0 || FPosition >= Size()) return 0;
    Load(FPosition == 0);  // only a read from the start fills the record's cache
    const std::int64_t n = std::min(Count, static_cast<std::int64_t>(FData.size()) - FPosition);
    if (n <= 0) return 0;
    std::memcpy(Buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return n;
}

std::int64_t TODBCBlobStream::Write(const void* Buffer, std::int64_t Count) {
    if (FMode == bmRead)
        DatabaseErrorFmt("Cannot write to the value of field '%s' opened for reading", FField->DisplayName());
    if (FDetached) DatabaseError(SNotEditing);
    if (FPosition < 0 || Count <= 0) return 0;
    Load();
    const auto end = static_cast<std::size_t>(FPosition + Count);
    const bool changed = FData.size() < end || std::memcmp(FData.data() + FPosition, Buffer, static_cast<std::size_t>(Count)) != 0;
    if (FData.size() < end) FData.resize(end, '\0');
    std::memcpy(FData.data() + FPosition, Buffer, static_cast<std::size_t>(Count));
    FPosition += Count;
    Store(changed);
    return Count;
}

std::int64_t TODBCBlobStream::Seek(std::int64_t Offset, TSeekOrigin Origin) {
    switch (Origin) {
        case soBeginning:
            FPosition = Offset;
            break;
        case soCurrent:
            FPosition += Offset;
            break;
        case soEnd:
            FPosition = Size() + Offset;
            break;
    }
    return FPosition;
}

void TODBCBlobStream::SetSize(std::int64_t NewSize) {
    if (FMode == bmRead)
        DatabaseErrorFmt("Cannot write to the value of field '%s' opened for reading", FField->DisplayName());
    if (FDetached) DatabaseError(SNotEditing);
    Load();
    const auto size = static_cast<std::size_t>(std::max<std::int64_t>(NewSize, 0));
    const bool changed = size != FData.size();
    FData.resize(size, '\0');
    Store(changed);
}

// ---------------------------------------------------------------------------
// The dataset's side

std::unique_ptr<TStream> TODBCDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
    if (!IsBlobField(Field) || !FEngine) return nullptr;
    return std::make_unique<TODBCBlobStream>(this, Field, Mode);
}

void TODBCDataSet::CloseBlob(TField* Field) {
    if (IsBlobField(Field) && ActiveBuffer()) SetBlobData(Field, ActiveBuffer(), String());
}

void TODBCDataSet::FlushBlobStreams() {
    for (TODBCBlobStream* stream : FWriteStreams) stream->Flush();
}

void TODBCDataSet::DetachBlobStreams() {
    while (!FWriteStreams.empty()) FWriteStreams.back()->Detach();
}

void TODBCDataSet::PendModifiedBlobs() {
    const std::int32_t newRow = -1;
    for (int i = 0; i < FieldCount(); ++i) {
        TField* field = Fields().Fields(i);
        if (!IsBlobField(field) || !AsBlobField(field)->Modified()) continue;
        const String value = GetBlobData(field, ActiveBuffer());
        if (AsBlobField(field)->NullWritten()) {
            FEngine->ForgetPendingBlob(field->FieldNo());  // NULL: the column is left out of the new row
            continue;
        }
        FEngine->WriteBlob(dsInsert, &newRow, field->FieldNo(), 0, static_cast<std::int32_t>(value.size()),
                           value.data());
    }
}

void TODBCDataSet::WriteModifiedBlobs() {
    for (int i = 0; i < FieldCount(); ++i) {
        TField* field = Fields().Fields(i);
        if (!IsBlobField(field) || !AsBlobField(field)->Modified()) continue;
        const String value = GetBlobData(field, ActiveBuffer());
        FEngine->WriteLongColumn(ActiveBuffer() + FBookmarkOffset, field->FieldNo(),
                                 AsBlobField(field)->NullWritten() ? nullptr : &value);
    }
}

}  // namespace velora
