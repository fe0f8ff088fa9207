// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The in-memory dataset of the framework's tests; see MemDataSet.h.
#include "support/MemDataSet.h"

#include <algorithm>
#include <cstring>

namespace velora::test {

namespace {

constexpr int kBookmarkSize = 8;

const char* GetModeName(TGetMode mode) {
    switch (mode) {
        case gmCurrent:
            return "gmCurrent";
        case gmNext:
            return "gmNext";
        case gmPrior:
            return "gmPrior";
    }
    return "?";
}

const char* GetResultName(TGetResult result) {
    switch (result) {
        case grOK:
            return "grOK";
        case grBOF:
            return "grBOF";
        case grEOF:
            return "grEOF";
        case grError:
            return "grError";
    }
    return "?";
}

bool IsBlobType(TFieldType type) { return type >= ftBlob && type <= ftTypedBinary; }

/// The blob a stream works on: the value beside one buffer.
class TMemBlobStream : public TStream {
public:
    TMemBlobStream(TMemDataSet* dataSet, TBlobField* field, std::optional<String>* value, TBlobStreamMode mode)
        : FDataSet(dataSet), FField(field), FValue(value) {
        if (mode == bmWrite) {
            *FValue = String();
            FModified = true;
        }
    }
    ~TMemBlobStream() override {
        if (!FModified) return;
        FField->SetModified(true);
        try {
            FDataSet->DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(FField));
        } catch (...) {}
    }
    std::int64_t Read(void* buffer, std::int64_t count) override {
        const String& data = Data();
        std::int64_t n = std::min<std::int64_t>(count, static_cast<std::int64_t>(data.size()) - FPosition);
        if (n <= 0) return 0;
        std::memcpy(buffer, data.data() + FPosition, static_cast<std::size_t>(n));
        FPosition += n;
        return n;
    }
    std::int64_t Write(const void* buffer, std::int64_t count) override {
        if (!*FValue) *FValue = String();
        String& data = **FValue;
        if (static_cast<std::int64_t>(data.size()) < FPosition + count)
            data.resize(static_cast<std::size_t>(FPosition + count));
        std::memcpy(data.data() + FPosition, buffer, static_cast<std::size_t>(count));
        FPosition += count;
        FModified = true;
        return count;
    }
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
        switch (origin) {
            case soBeginning:
                FPosition = offset;
                break;
            case soCurrent:
                FPosition += offset;
                break;
            case soEnd:
                FPosition = static_cast<std::int64_t>(Data().size()) + offset;
                break;
        }
        return FPosition;
    }

private:
    const String& Data() const {
        static const String empty;
        return *FValue ? **FValue : empty;
    }
    TMemDataSet* FDataSet;
    TBlobField* FField;
    std::optional<String>* FValue;
    std::int64_t FPosition = 0;
    bool FModified = false;
};

}  // namespace

TMemDataSet::TMemDataSet(TComponent* AOwner) : TDataSet(AOwner) {}

TMemDataSet::~TMemDataSet() = default;

// ---------------------------------------------------------------------------
// Layout and the store

int TMemDataSet::DataSizeOf(const TFieldDef* Def) const {
    switch (Def->DataType()) {
        case ftString:
            return Def->Size() + 1;
        case ftSmallint:
        case ftWord:
        case ftBoolean:
            return 2;
        case ftInteger:
        case ftAutoInc:
        case ftDate:
        case ftTime:
            return 4;
        case ftFloat:
        case ftCurrency:
        case ftDateTime:
            return 8;
        case ftBCD:
            return BCDBufferSize;
        case ftBytes:
            return Def->Size();
        case ftVarBytes:
            return Def->Size() + 2;
        default:
            return 0;
    }
}

void TMemDataSet::ComputeDataLayout() {
    FFieldOffsets.clear();
    int offset = 0;
    for (int i = 0; i < FieldDefs()->Count(); ++i) {
        FFieldOffsets.push_back(offset);
        offset += 1 + DataSizeOf(FieldDefs()->Items(i));
    }
    FRecordSize = offset;
}

int TMemDataSet::AddRow(const std::vector<Variant>& Values) {
    ComputeDataLayout();
    TRow row;
    row.Id = FNextId++;
    row.Data.assign(static_cast<std::size_t>(FRecordSize), 0);
    row.Blobs.resize(static_cast<std::size_t>(FieldDefs()->Count()));
    for (std::size_t i = 0; i < Values.size() && i < FFieldOffsets.size(); ++i)
        EncodeValue(FieldDefs()->Items(static_cast<int>(i)), Values[i], row.Data.data() + FFieldOffsets[i],
                    row.Blobs[i]);
    FRows.push_back(std::move(row));
    return FRows.back().Id;
}

Variant TMemDataSet::StoredValue(int Row, const String& FieldName) const {
    int def = FieldDefs()->IndexOf(FieldName);
    const TRow& row = FRows.at(static_cast<std::size_t>(Row));
    return DecodeValue(FieldDefs()->Items(def), row.Data.data() + FFieldOffsets[static_cast<std::size_t>(def)],
                       row.Blobs[static_cast<std::size_t>(def)]);
}

void TMemDataSet::SetStoredValue(int Row, const String& FieldName, const Variant& Value) {
    int def = FieldDefs()->IndexOf(FieldName);
    TRow& row = FRows.at(static_cast<std::size_t>(Row));
    EncodeValue(FieldDefs()->Items(def), Value, row.Data.data() + FFieldOffsets[static_cast<std::size_t>(def)],
                row.Blobs[static_cast<std::size_t>(def)]);
}

void TMemDataSet::EncodeValue(const TFieldDef* Def, const Variant& Value, std::uint8_t* Dest,
                              std::optional<String>& Blob) const {
    int size = DataSizeOf(Def);
    std::memset(Dest, 0, static_cast<std::size_t>(size) + 1);
    if (IsBlobType(Def->DataType())) {
        if (Value.IsNull() || Value.IsEmpty())
            Blob.reset();
        else
            Blob = Value.AsString();
        return;
    }
    if (Value.IsNull() || Value.IsEmpty()) return;
    Dest[0] = 1;
    std::uint8_t* p = Dest + 1;
    auto put = [p](auto v) { std::memcpy(p, &v, sizeof v); };
    switch (Def->DataType()) {
        case ftString: {
            String s = Value.AsString();
            std::memcpy(p, s.data(), std::min<std::size_t>(s.size(), static_cast<std::size_t>(Def->Size())));
            break;
        }
        case ftSmallint:
            put(static_cast<std::int16_t>(Value.AsInteger()));
            break;
        case ftWord:
            put(static_cast<std::uint16_t>(Value.AsInteger()));
            break;
        case ftBoolean:
            put(static_cast<std::int16_t>(Value.AsBoolean() ? 1 : 0));
            break;
        case ftInteger:
        case ftAutoInc:
            put(static_cast<std::int32_t>(Value.AsInteger()));
            break;
        case ftFloat:
        case ftCurrency:
            put(Value.AsDouble());
            break;
        case ftDate:
            put(DateTimeToTimeStamp(Value.AsDateTime()).Date);
            break;
        case ftTime:
            put(DateTimeToTimeStamp(Value.AsDateTime()).Time);
            break;
        case ftDateTime:
            put(TimeStampToMSecs(DateTimeToTimeStamp(Value.AsDateTime())));
            break;
        case ftBCD:
            const_cast<TMemDataSet*>(this)->CurrToBCD(Value.AsCurrency(), p, 32, Def->Size());
            break;
        default:
            Dest[0] = 0;
            break;
    }
}

Variant TMemDataSet::DecodeValue(const TFieldDef* Def, const std::uint8_t* Src,
                                 const std::optional<String>& Blob) const {
    if (IsBlobType(Def->DataType())) return Blob && !Blob->empty() ? Variant(*Blob) : Null();
    if (Src[0] == 0) return Null();
    const std::uint8_t* p = Src + 1;
    auto get = [p](auto v) {
        std::memcpy(&v, p, sizeof v);
        return v;
    };
    switch (Def->DataType()) {
        case ftString:
            return Variant(String(reinterpret_cast<const char*>(p)));
        case ftSmallint:
            return Variant(get(std::int16_t{}));
        case ftWord:
            return Variant(static_cast<std::int32_t>(get(std::uint16_t{})));
        case ftBoolean:
            return Variant(get(std::int16_t{}) != 0);
        case ftInteger:
        case ftAutoInc:
            return Variant(get(std::int32_t{}));
        case ftFloat:
        case ftCurrency:
            return Variant(get(double{}));
        case ftDate:
            return Variant::FromDateTime(TimeStampToDateTime(TTimeStamp{0, get(std::int32_t{})}));
        case ftTime:
            return Variant::FromDateTime(TimeStampToDateTime(TTimeStamp{get(std::int32_t{}), DateDelta}));
        case ftDateTime:
            return Variant::FromDateTime(TimeStampToDateTime(MSecsToTimeStamp(get(double{}))));
        case ftBCD: {
            Currency c;
            if (!const_cast<TMemDataSet*>(this)->BCDToCurr(p, c)) return Null();
            return Variant(c);
        }
        default:
            return Null();
    }
}

int TMemDataSet::IndexOfId(int Id) const {
    for (std::size_t i = 0; i < FRows.size(); ++i)
        if (FRows[i].Id == Id) return static_cast<int>(i);
    return -1;
}

int TMemDataSet::IdOfBookmark(const void* Bookmark) {
    std::int32_t id;
    std::memcpy(&id, Bookmark, sizeof id);
    return id;
}

int TMemDataSet::BookmarkId(const TBookmark& Bookmark) {
    return Bookmark.size() < 4 ? -1 : IdOfBookmark(Bookmark.data());
}

void TMemDataSet::LoadRow(const TRow& Row, TRecordBuffer Buffer) {
    std::memcpy(Buffer, Row.Data.data(), static_cast<std::size_t>(FRecordSize));
    BlobsOf(Buffer) = Row.Blobs;
    Buffer[FRecInfoOffset] = bfCurrent;
    std::memset(Buffer + FBookmarkOffset, 0, kBookmarkSize);
    std::int32_t id = Row.Id;
    std::memcpy(Buffer + FBookmarkOffset, &id, sizeof id);
}

void TMemDataSet::StoreRow(TRow& Row, TRecordBuffer Buffer) {
    Row.Data.assign(Buffer, Buffer + FRecordSize);
    Row.Blobs = BlobsOf(Buffer);
}

std::vector<std::optional<String>>& TMemDataSet::BlobsOf(TRecordBuffer Buffer) {
    auto& blobs = FBufferBlobs[Buffer];
    blobs.resize(static_cast<std::size_t>(FieldDefs()->Count()));
    return blobs;
}

// ---------------------------------------------------------------------------
// Opening and closing

void TMemDataSet::InternalOpen() {
    Log("InternalOpen");
    Hook("InternalOpen");
    InternalInitFieldDefs();
    if (DefaultFields()) CreateFields();
    BindFields(true);
    ComputeDataLayout();
    FRecInfoOffset = FRecordSize + CalcFieldsSize();
    FBookmarkOffset = FRecInfoOffset + 1;
    FBufferSize = FBookmarkOffset + kBookmarkSize;
    SetBookmarkSize(kBookmarkSize);
    FCursor = -1;
    FHasOld = false;
    FIsOpen = true;
}

void TMemDataSet::InternalClose() {
    Log("InternalClose");
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    FIsOpen = false;
    FHasOld = false;
}

TRecordBuffer TMemDataSet::AllocRecordBuffer() {
    auto* buffer = new std::uint8_t[static_cast<std::size_t>(FBufferSize)]();
    BlobsOf(buffer);
    return buffer;
}

void TMemDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
    FBufferBlobs.erase(Buffer);
    delete[] Buffer;
    Buffer = nullptr;
}

// ---------------------------------------------------------------------------
// Records and positions

TGetResult TMemDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool /*DoCheck*/) {
    auto n = static_cast<int>(FRows.size());
    TGetResult result = grOK;
    switch (GetMode) {
        case gmNext:
            if (FCursor >= n - 1) {
                FCursor = n;
                result = grEOF;
            } else {
                ++FCursor;
            }
            break;
        case gmPrior:
            if (FCursor <= 0) {
                FCursor = -1;
                result = grBOF;
            } else {
                --FCursor;
            }
            break;
        case gmCurrent:
            if (FCursor < 0)
                result = grBOF;
            else if (FCursor >= n)
                result = grEOF;
            break;
    }
    if (LogGetRecord) Log(String("GetRecord(") + GetModeName(GetMode) + ")=" + GetResultName(result));
    if (result == grOK) {
        LoadRow(FRows[static_cast<std::size_t>(FCursor)], Buffer);
        GetCalcFields(Buffer);
    }
    return result;
}

void TMemDataSet::InternalFirst() {
    Log("InternalFirst");
    FCursor = -1;
}

void TMemDataSet::InternalLast() {
    Log("InternalLast");
    FCursor = static_cast<int>(FRows.size());
}

void TMemDataSet::InternalGotoBookmark(const void* Bookmark) {
    int id = IdOfBookmark(Bookmark);
    Log("InternalGotoBookmark(" + IntToStr(id) + ")");
    int index = IndexOfId(id);
    FCursor = index >= 0 ? index : static_cast<int>(FRows.size());
}

void TMemDataSet::InternalSetToRecord(TRecordBuffer Buffer) {
    int id = IdOfBookmark(Buffer + FBookmarkOffset);
    Log("InternalSetToRecord(" + IntToStr(id) + ")");
    int index = IndexOfId(id);
    FCursor = index >= 0 ? index : static_cast<int>(FRows.size());
}

void TMemDataSet::GetBookmarkData(TRecordBuffer Buffer, void* Data) {
    std::memcpy(Data, Buffer + FBookmarkOffset, kBookmarkSize);
}

void TMemDataSet::SetBookmarkData(TRecordBuffer Buffer, const void* Data) {
    std::memcpy(Buffer + FBookmarkOffset, Data, kBookmarkSize);
}

TBookmarkFlag TMemDataSet::GetBookmarkFlag(TRecordBuffer Buffer) {
    return static_cast<TBookmarkFlag>(Buffer[FRecInfoOffset]);
}

void TMemDataSet::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) { Buffer[FRecInfoOffset] = Value; }

bool TMemDataSet::BookmarkValid(const TBookmark& Bookmark) {
    return TDataSet::BookmarkValid(Bookmark) && IndexOfId(BookmarkId(Bookmark)) >= 0;
}

int TMemDataSet::CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) {
    if (Bookmark1.empty() || Bookmark2.empty()) return TDataSet::CompareBookmarks(Bookmark1, Bookmark2);
    // Only the first four bytes are written: the rest must not matter.
    int a = IndexOfId(BookmarkId(Bookmark1)), b = IndexOfId(BookmarkId(Bookmark2));
    return a < b ? -1 : a > b ? 1 : 0;
}

int TMemDataSet::GetRecordCount() {
    CheckActive();
    return static_cast<int>(FRows.size());
}

int TMemDataSet::GetRecNo() {
    CheckActive();
    TRecordBuffer buffer = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
    if (IsEmpty() || GetBookmarkFlag(buffer) != bfCurrent) return -1;
    int index = IndexOfId(IdOfBookmark(buffer + FBookmarkOffset));
    return index < 0 ? -1 : index + 1;
}

void TMemDataSet::SetRecNo(int Value) {
    CheckBrowseMode();
    if (Value < 1 || Value > static_cast<int>(FRows.size())) return;
    DoBeforeScroll();
    FCursor = Value - 1;
    Resync(TResyncMode{rmCenter});
    DoAfterScroll();
}

bool TMemDataSet::GetCurrentRecord(TRecordBuffer Buffer) {
    if (IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent) return false;
    UpdateCursorPos();
    if (FCursor < 0 || FCursor >= static_cast<int>(FRows.size())) return false;
    LoadRow(FRows[static_cast<std::size_t>(FCursor)], Buffer);
    return true;
}

// ---------------------------------------------------------------------------
// Records in edit

void TMemDataSet::InitRecord(TRecordBuffer Buffer) {
    TDataSet::InitRecord(Buffer);
    // A new record designates no row.
    std::memset(Buffer + FBookmarkOffset, 0, kBookmarkSize);
    std::int32_t none = -1;
    std::memcpy(Buffer + FBookmarkOffset, &none, sizeof none);
}

void TMemDataSet::InternalInitRecord(TRecordBuffer Buffer) {
    Log("InternalInitRecord");
    std::memset(Buffer, 0, static_cast<std::size_t>(FRecordSize));
    for (auto& blob : BlobsOf(Buffer)) blob.reset();
}

void TMemDataSet::ClearCalcFields(TRecordBuffer Buffer) {
    std::memset(Buffer + FRecordSize, 0, static_cast<std::size_t>(CalcFieldsSize()));
}

void TMemDataSet::InternalEdit() {
    Log("InternalEdit");
    Hook("InternalEdit");
    if (FCursor < 0 || FCursor >= static_cast<int>(FRows.size())) DatabaseError(DBConsts::SRecordNotFound);
    // Editing starts from the stored row, as a cursor re-reads its current row.
    LoadRow(FRows[static_cast<std::size_t>(FCursor)], ActiveBuffer());
    FOldRecord.assign(ActiveBuffer(), ActiveBuffer() + FBufferSize);
    FOldBlobs = BlobsOf(ActiveBuffer());
    FHasOld = true;
}

void TMemDataSet::InternalPost() {
    bool inserting = State() == dsInsert;
    Log(inserting ? "InternalPost(insert)" : "InternalPost(edit)");
    Hook("InternalPost");
    auto n = static_cast<int>(FRows.size());
    if (inserting) {
        int pos = std::clamp(FCursor, 0, n);
        TRow row;
        row.Id = FNextId++;
        StoreRow(row, ActiveBuffer());
        FRows.insert(FRows.begin() + pos, std::move(row));
        FCursor = pos;
    } else {
        if (FCursor < 0 || FCursor >= n) DatabaseError(DBConsts::SRecordNotFound);
        StoreRow(FRows[static_cast<std::size_t>(FCursor)], ActiveBuffer());
    }
    FHasOld = false;
}

void TMemDataSet::InternalAddRecord(const void* Buffer, bool Append) {
    Log(Append ? "InternalAddRecord(append)" : "InternalAddRecord(insert)");
    Hook("InternalAddRecord");
    auto n = static_cast<int>(FRows.size());
    int pos = Append ? n : std::clamp(FCursor, 0, n);
    TRow row;
    row.Id = FNextId++;
    StoreRow(row, static_cast<TRecordBuffer>(const_cast<void*>(Buffer)));
    FRows.insert(FRows.begin() + pos, std::move(row));
    FCursor = pos;
}

void TMemDataSet::InternalDelete() {
    Log("InternalDelete");
    Hook("InternalDelete");
    if (FCursor < 0 || FCursor >= static_cast<int>(FRows.size())) DatabaseError(DBConsts::SRecordNotFound);
    FRows.erase(FRows.begin() + FCursor);
}

void TMemDataSet::InternalCancel() {
    Log("InternalCancel");
    FHasOld = false;
}

void TMemDataSet::InternalRefresh() {
    Log("InternalRefresh");
    Hook("InternalRefresh");
}

// ---------------------------------------------------------------------------
// Field values

TRecordBuffer TMemDataSet::GetActiveRecBuf() {
    switch (State()) {
        case dsBrowse:
            return IsEmpty() ? nullptr : ActiveBuffer();
        case dsEdit:
        case dsInsert:
        case dsNewValue:
            return ActiveBuffer();
        case dsCalcFields:
            return CalcBuffer();
        case dsOldValue:
            if (FHasOld) return FOldRecord.data();
            return IsEmpty() || GetBookmarkFlag(ActiveBuffer()) != bfCurrent ? nullptr : ActiveBuffer();
        default:
            return nullptr;
    }
}

bool TMemDataSet::GetFieldData(TField* Field, void* Buffer) {
    TRecordBuffer record = GetActiveRecBuf();
    if (!record) return false;
    if (Field->FieldNo() > 0) {
        auto def = static_cast<std::size_t>(Field->FieldNo() - 1);
        if (Field->IsBlob()) {
            auto& blobs = record == FOldRecord.data() ? FOldBlobs : BlobsOf(record);
            return blobs[def] && !blobs[def]->empty();
        }
        const std::uint8_t* p = record + FFieldOffsets[def];
        if (p[0] == 0) return false;
        if (Buffer) std::memcpy(Buffer, p + 1, static_cast<std::size_t>(Field->DataSize()));
        return true;
    }
    TDataSetState state = State();
    if (state != dsBrowse && state != dsEdit && state != dsInsert && state != dsCalcFields) return false;
    const std::uint8_t* p = record + FRecordSize + Field->Offset();
    if (p[0] == 0) return false;
    if (Buffer) std::memcpy(Buffer, p + 1, static_cast<std::size_t>(Field->DataSize()));
    return true;
}

void TMemDataSet::SetFieldData(TField* Field, const void* Buffer) {
    TDataSetState state = State();
    if (state < dsEdit || state > dsNewValue) DatabaseError(DBConsts::SNotEditing);
    TRecordBuffer record = GetActiveRecBuf();
    if (Field->FieldNo() > 0) {
        if (state == dsCalcFields) DatabaseError(DBConsts::SNotEditing);
        if (Field->ReadOnly() && state != dsFilter) DatabaseErrorFmt(DBConsts::SFieldReadOnly, Field->DisplayName());
        Field->Validate(Buffer);
        if (Field->FieldKind() != fkInternalCalc && record) {
            std::uint8_t* p = record + FFieldOffsets[static_cast<std::size_t>(Field->FieldNo() - 1)];
            std::memset(p, 0, static_cast<std::size_t>(Field->DataSize()) + 1);
            if (Buffer) {
                p[0] = 1;
                std::memcpy(p + 1, Buffer, static_cast<std::size_t>(Field->DataSize()));
            }
        }
    } else if (record) {
        std::uint8_t* p = record + FRecordSize + Field->Offset();
        std::memset(p, 0, static_cast<std::size_t>(Field->DataSize()) + 1);
        if (Buffer) {
            p[0] = 1;
            std::memcpy(p + 1, Buffer, static_cast<std::size_t>(Field->DataSize()));
        }
    }
    if (state != dsCalcFields && state != dsFilter && state != dsNewValue)
        DataEvent(deFieldChange, reinterpret_cast<std::intptr_t>(Field));
}

std::unique_ptr<TStream> TMemDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
    auto* blob = dynamic_cast<TBlobField*>(Field);
    if (!blob) DatabaseErrorFmt(DBConsts::SNotBlobField, Field->DisplayName());
    TRecordBuffer record = GetActiveRecBuf();
    static std::optional<String> none;
    std::optional<String>* value = &none;
    if (record && Field->FieldNo() > 0) {
        auto& blobs = record == FOldRecord.data() ? FOldBlobs : BlobsOf(record);
        value = &blobs[static_cast<std::size_t>(Field->FieldNo() - 1)];
    }
    if (Mode != bmRead) {
        if (Field->ReadOnly()) DatabaseErrorFmt(DBConsts::SFieldReadOnly, Field->DisplayName());
        if (State() != dsEdit && State() != dsInsert) DatabaseError(DBConsts::SNotEditing);
    }
    return std::make_unique<TMemBlobStream>(this, blob, value, Mode);
}

// ---------------------------------------------------------------------------
// TRecordingDataLink

int TRecordingDataLink::Count(const String& Event) const {
    return static_cast<int>(std::count(Events.begin(), Events.end(), Event));
}

void TRecordingDataLink::ActiveChanged() { Events.push_back(Active() ? "ActiveChanged(1)" : "ActiveChanged(0)"); }

void TRecordingDataLink::DataSetScrolled(int Distance) {
    Events.push_back("DataSetScrolled(" + IntToStr(Distance) + ")");
}

void TRecordingDataLink::EditingChanged() { Events.push_back(Editing() ? "EditingChanged(1)" : "EditingChanged(0)"); }

void TRecordingDataLink::FocusControl(TField** Field) {
    Events.push_back("FocusControl(" + ((Field && *Field) ? (*Field)->FieldName() : String("nil")) + ")");
}

void TRecordingDataLink::RecordChanged(TField* Field) {
    Events.push_back("RecordChanged(" + (Field ? Field->FieldName() : String("nil")) + ")");
}

void TRecordingDataLink::UpdateData() {
    Events.push_back("UpdateData");
    if (OnUpdateDataHook) OnUpdateDataHook();
}

}  // namespace velora::test
