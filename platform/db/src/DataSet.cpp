// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TDataSet: the ring of record buffers, navigation, editing, fields,
// calculated fields, searching and notifications. DataSet.h states the
// calling protocol the descendants rely on; the comments here explain the
// bookkeeping of the window (FRecordCount records in FBuffers[0..], the
// active record FActiveRecord, the cursor's record FCurrentRecord).
#include "velora/db/DataSet.h"

#include "velora/db/DataLink.h"

#include <algorithm>
#include <cstring>

namespace velora {

void Abort() { throw EAbort(DBConsts::SOperationAborted); }

namespace {

/// Restores the dataset's state and calculation buffer on scope exit (used
/// where the framework reads fields from a buffer other than the active one).
template <typename F>
class TScopeExit {
public:
    explicit TScopeExit(F f) : FFunc(std::move(f)) {}
    ~TScopeExit() { FFunc(); }
    TScopeExit(const TScopeExit&) = delete;
    TScopeExit& operator=(const TScopeExit&) = delete;

private:
    F FFunc;
};

bool IsEditMode(TDataSetState state) { return state == dsEdit || state == dsInsert; }

bool IsWriteMode(TDataSetState state) {
    return state == dsEdit || state == dsInsert || state == dsSetKey || state == dsCalcFields || state == dsFilter ||
           state == dsNewValue;
}

}  // namespace

// ---------------------------------------------------------------------------
// Construction and destruction

TDataSet::TDataSet(TComponent* AOwner)
    : TComponent(AOwner), FFields(std::make_unique<TFields>(this)), FFieldDefs(std::make_unique<TFieldDefs>(this)) {
    RegisterDBClasses();
}

void TDataSet::BeforeDestruction() {
    Destroying();
    try {
        Close();
    } catch (...) {
        // Destruction goes on; the cursor's own error cannot be reported here.
    }
    while (!FDataSources.empty()) RemoveDataSource(FDataSources.back());
    DestroyFields();
    TComponent::BeforeDestruction();
}

TDataSet::~TDataSet() {
    // After BeforeDestruction there is nothing left to do. A plain delete of a
    // dataset cannot reach the descendant's operations any more, so only the
    // framework's own links are undone here.
    std::vector<TDataSource*> sources;
    sources.swap(FDataSources);
    for (TDataSource* source : sources) {
        source->FDataSet = nullptr;
        source->UpdateState();
    }
    // ~TFields detaches and frees the fields that remain.
}

void TDataSet::Loaded() {
    TComponent::Loaded();
    if (!FStreamedActive) return;
    try {
        SetActive(true);
    } catch (...) {
        if (IsDesigning())
            InternalHandleException();
        else
            throw;
    }
}

// ---------------------------------------------------------------------------
// Opening and closing

void TDataSet::SetActive(bool Value) {
    if (IsLoading()) {
        FStreamedActive = Value;
        return;
    }
    if (Active() == Value) return;
    if (Value) {
        DoBeforeOpen();
        try {
            OpenCursor(false);
            SetState(dsBrowse);
        } catch (...) {
            SetState(dsInactive);
            try {
                CloseCursor();
            } catch (...) {
                // The error of the open is the one to report.
            }
            throw;
        }
        DoAfterOpen();
        DoAfterScroll();
    } else {
        if (!IsDestroying()) DoBeforeClose();
        SetState(dsInactive);
        CloseCursor();
        if (!IsDestroying()) DoAfterClose();
    }
}

void TDataSet::OpenCursor(bool InfoQuery) {
    if (InfoQuery)
        InternalInitFieldDefs();
    else
        DoInternalOpen();
}

void TDataSet::DoInternalOpen() {
    FDefaultFields = FieldCount() == 0;
    InternalOpen();
    FCursorOpenComplete = true;
    FFieldDefs->SetUpdated(true);
    ClearBuffers();
    UpdateBufferCount();
    FBOF = true;
}

void TDataSet::CloseCursor() {
    FCursorOpenComplete = false;
    FInsertBookmark.clear();
    FreeFieldBuffers();
    ClearBuffers();
    SetBufListSize(0);
    InternalClose();
    FBufferCount = 0;
    FDefaultFields = false;
}

void TDataSet::InitFieldDefs() {
    if (IsCursorOpen()) {
        InternalInitFieldDefs();
        return;
    }
    try {
        OpenCursor(true);
    } catch (...) {
        try {
            CloseCursor();
        } catch (...) {}
        throw;
    }
    CloseCursor();
}

void TDataSet::CheckActive() const {
    if (FState == dsInactive) DatabaseError(DBConsts::SDataSetClosed);
}

void TDataSet::CheckInactive() {
    if (!Active()) return;
    if (ComponentState().Contains(csUpdating) || IsDesigning())
        Close();
    else
        DatabaseError(DBConsts::SDataSetOpen);
}

void TDataSet::SetState(TDataSetState Value) {
    if (FState == Value) return;
    FState = Value;
    FModified = false;
    DataEvent(deUpdateState, 0);
}

// ---------------------------------------------------------------------------
// The ring of buffers

void TDataSet::SetBufListSize(int Value) {
    auto size = static_cast<int>(FBuffers.size());
    if (size == Value) return;
    if (Value < size) {
        for (int i = size - 1; i >= Value; --i) {
            FreeRecordBuffer(FBuffers[static_cast<std::size_t>(i)]);
            FBuffers.pop_back();
        }
    } else {
        FBuffers.reserve(static_cast<std::size_t>(Value));
        while (static_cast<int>(FBuffers.size()) < Value) FBuffers.push_back(AllocRecordBuffer());
    }
}

void TDataSet::SetBufferCount(int Value) {
    if (FBufferCount == Value) return;
    auto adjustFirstRecord = [this](int delta) {
        if (delta == 0) return;
        for (TDataSource* source : FDataSources)
            for (TDataLink* link : source->FDataLinks)
                if (link->Active()) link->FFirstRecord += delta;
    };
    if (FBufferCount > Value && FRecordCount > 0) {
        // Keep the records the links show, around the active record: the new
        // window starts at the first record any link shows, but never so far
        // back that the active record falls out of it.
        int delta = FActiveRecord;
        for (TDataSource* source : FDataSources)
            for (TDataLink* link : source->FDataLinks)
                if (link->Active() && link->FFirstRecord < delta) delta = link->FFirstRecord;
        delta = std::max(delta, FActiveRecord - Value + 1);
        std::rotate(FBuffers.begin(), FBuffers.begin() + delta, FBuffers.end());
        FActiveRecord -= delta;
        if (FCurrentRecord != -1) FCurrentRecord -= delta;
        FRecordCount = std::min(FRecordCount - delta, Value);
        if (FCurrentRecord < 0 || FCurrentRecord >= FRecordCount) FCurrentRecord = -1;
        adjustFirstRecord(-delta);
    }
    SetBufListSize(Value + 1);
    FBufferCount = Value;
    GetNextRecords();
    adjustFirstRecord(GetPriorRecords());
}

void TDataSet::UpdateBufferCount() {
    if (!IsCursorOpen() || !FCursorOpenComplete) return;
    int maxCount = 1;
    for (TDataSource* source : FDataSources)
        for (TDataLink* link : source->FDataLinks) maxCount = std::max(maxCount, link->FBufferCount);
    SetBufferCount(maxCount);
}

void TDataSet::MoveBuffer(int CurIndex, int NewIndex) {
    if (CurIndex == NewIndex) return;
    auto first = FBuffers.begin();
    if (CurIndex < NewIndex)
        std::rotate(first + CurIndex, first + CurIndex + 1, first + NewIndex + 1);
    else
        std::rotate(first + NewIndex, first + CurIndex, first + CurIndex + 1);
}

void TDataSet::ActivateBuffers() {
    FRecordCount = 1;
    FActiveRecord = 0;
    FCurrentRecord = 0;
    FBOF = false;
    FEOF = false;
}

void TDataSet::ClearBuffers() {
    FRecordCount = 0;
    FActiveRecord = 0;
    FCurrentRecord = -1;
    FBOF = true;
    FEOF = true;
}

void TDataSet::SetCurrentRecord(int Index) {
    if (FCurrentRecord == Index) return;
    TRecordBuffer buffer = FBuffers[static_cast<std::size_t>(Index)];
    switch (GetBookmarkFlag(buffer)) {
        case bfCurrent:
            InternalSetToRecord(buffer);
            break;
        case bfInserted:
            // A new record has no bookmark of its own: it stands before the
            // record that was active when Insert ran.
            if (!FInsertBookmark.empty()) InternalGotoBookmark(FInsertBookmark.data());
            break;
        case bfBOF:
            InternalFirst();
            break;
        case bfEOF:
            InternalLast();
            break;
    }
    FCurrentRecord = Index;
}

void TDataSet::UpdateCursorPos() {
    if (FRecordCount > 0) SetCurrentRecord(FActiveRecord);
}

bool TDataSet::GetNextRecord() {
    TGetMode mode = gmNext;
    if (FRecordCount > 0) {
        SetCurrentRecord(FRecordCount - 1);
        // The last record of the window is a new one standing before the
        // cursor's record: that record itself comes next.
        if (FState == dsInsert && FCurrentRecord == FActiveRecord && GetBookmarkFlag(ActiveBuffer()) == bfInserted &&
            !FInsertBookmark.empty())
            mode = gmCurrent;
    }
    bool ok = GetRecord(FBuffers[static_cast<std::size_t>(FRecordCount)], mode, true) == grOK;
    if (ok) {
        if (FRecordCount == 0)
            ActivateBuffers();
        else if (FRecordCount < FBufferCount)
            ++FRecordCount;
        else
            MoveBuffer(0, FRecordCount);
        FCurrentRecord = FRecordCount - 1;
    } else {
        CursorPosChanged();
    }
    return ok;
}

bool TDataSet::GetPriorRecord() {
    if (FRecordCount > 0) SetCurrentRecord(0);
    bool ok = GetRecord(FBuffers[static_cast<std::size_t>(FRecordCount)], gmPrior, true) == grOK;
    if (ok) {
        if (FRecordCount == 0) {
            ActivateBuffers();
        } else {
            MoveBuffer(FRecordCount, 0);
            if (FRecordCount < FBufferCount) {
                ++FRecordCount;
                ++FActiveRecord;
            }
        }
        FCurrentRecord = 0;
    } else {
        CursorPosChanged();
    }
    return ok;
}

int TDataSet::GetNextRecords() {
    int count = 0;
    while (FRecordCount < FBufferCount && GetNextRecord()) ++count;
    return count;
}

int TDataSet::GetPriorRecords() {
    int count = 0;
    while (FRecordCount < FBufferCount && GetPriorRecord()) ++count;
    return count;
}

void TDataSet::Resync(TResyncMode Mode) {
    TRecordBuffer temp = FBuffers[static_cast<std::size_t>(FRecordCount)];
    if (Mode.Contains(rmExact)) {
        CursorPosChanged();
        if (GetRecord(temp, gmCurrent, true) != grOK) DatabaseError(DBConsts::SRecordNotFound);
    } else if (GetRecord(temp, gmCurrent, false) != grOK && GetRecord(temp, gmNext, false) != grOK &&
               GetRecord(temp, gmPrior, false) != grOK) {
        ClearBuffers();
        DataEvent(deDataSetChange, 0);
        return;
    }
    int count = Mode.Contains(rmCenter) ? (FBufferCount - 1) / 2 : FActiveRecord;
    MoveBuffer(FRecordCount, 0);
    ActivateBuffers();
    try {
        while (count > 0 && GetPriorRecord()) --count;
        GetNextRecords();
        GetPriorRecords();
    } catch (...) {
        DataEvent(deDataSetChange, 0);
        throw;
    }
    DataEvent(deDataSetChange, 0);
}

// ---------------------------------------------------------------------------
// Navigation

void TDataSet::First() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    auto finish = [this] {
        FBOF = true;
        DataEvent(deDataSetChange, 0);
    };
    try {
        InternalFirst();
        GetNextRecords();
    } catch (...) {
        finish();
        throw;
    }
    finish();
    DoAfterScroll();
}

void TDataSet::Last() {
    CheckBrowseMode();
    DoBeforeScroll();
    ClearBuffers();
    auto finish = [this] {
        FEOF = true;
        DataEvent(deDataSetChange, 0);
    };
    try {
        InternalLast();
        GetPriorRecords();
    } catch (...) {
        finish();
        throw;
    }
    finish();
    DoAfterScroll();
}

int TDataSet::MoveBy(int Distance) {
    CheckBrowseMode();
    int result = 0;
    DoBeforeScroll();
    if ((Distance > 0 && !FEOF) || (Distance < 0 && !FBOF)) {
        FBOF = false;
        FEOF = false;
        int scrollCount = 0;
        try {
            while (Distance > 0) {
                if (FActiveRecord < FRecordCount - 1) {
                    ++FActiveRecord;
                } else {
                    int shift = FRecordCount < FBufferCount ? 0 : 1;
                    if (!GetNextRecord()) {
                        FEOF = true;
                        break;
                    }
                    scrollCount -= shift;
                    // Without a shift the window grew: the new record follows.
                    if (shift == 0) FActiveRecord = FRecordCount - 1;
                }
                --Distance;
                ++result;
            }
            while (Distance < 0) {
                if (FActiveRecord > 0) {
                    --FActiveRecord;
                } else {
                    int shift = FRecordCount < FBufferCount ? 0 : 1;
                    if (!GetPriorRecord()) {
                        FBOF = true;
                        break;
                    }
                    scrollCount += shift;
                    FActiveRecord = 0;
                }
                ++Distance;
                --result;
            }
        } catch (...) {
            DataEvent(deDataSetScroll, scrollCount);
            throw;
        }
        DataEvent(deDataSetScroll, scrollCount);
        DoAfterScroll();
    }
    return result;
}

// ---------------------------------------------------------------------------
// Bookmarks

TBookmark TDataSet::GetBookmark() {
    TBookmark bookmark;
    bool available = (FState == dsBrowse || FState == dsEdit || FState == dsInsert) && !IsEmpty() &&
                     GetBookmarkFlag(ActiveBuffer()) == bfCurrent;
    if (available && FBookmarkSize > 0) {
        bookmark.resize(static_cast<std::size_t>(FBookmarkSize));
        GetBookmarkData(ActiveBuffer(), bookmark.data());
    }
    return bookmark;
}

void TDataSet::GotoBookmark(const TBookmark& Bookmark) {
    if (Bookmark.empty()) return;
    CheckBrowseMode();
    DoBeforeScroll();
    InternalGotoBookmark(Bookmark.data());
    Resync(TResyncMode{rmExact, rmCenter});
    DoAfterScroll();
}

bool TDataSet::BookmarkValid(const TBookmark& Bookmark) {
    return Active() && FBookmarkSize > 0 && Bookmark.size() == static_cast<std::size_t>(FBookmarkSize);
}

int TDataSet::CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) {
    if (Bookmark1.empty() || Bookmark2.empty()) {
        if (Bookmark1.empty() && Bookmark2.empty()) return 0;
        return Bookmark1.empty() ? -1 : 1;
    }
    std::size_t n = std::min(Bookmark1.size(), Bookmark2.size());
    int c = std::memcmp(Bookmark1.data(), Bookmark2.data(), n);
    if (c == 0) c = Bookmark1.size() < Bookmark2.size() ? -1 : Bookmark1.size() > Bookmark2.size() ? 1 : 0;
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// ---------------------------------------------------------------------------
// Editing

void TDataSet::CheckCanModify() {
    if (!CanModify()) DatabaseError(DBConsts::SDataSetReadOnly);
}

void TDataSet::CheckRequiredFields() {
    for (int i = 0; i < FFields->Count(); ++i) {
        TField* field = FFields->Fields(i);
        if (field->Required() && !field->ReadOnly() && field->FieldKind() == fkData && field->IsNull()) {
            field->FocusControl();
            DatabaseErrorFmt(DBConsts::SFieldRequired, field->DisplayName());
        }
    }
}

void TDataSet::CheckOperation(const std::function<void()>& Operation, const TDataSetErrorEvent& ErrorEvent) {
    for (;;) {
        try {
            UpdateCursorPos();
            Operation();
            return;
        } catch (EDatabaseError& e) {
            TDataAction action = daFail;
            if (ErrorEvent) ErrorEvent(this, e, action);
            if (action == daFail) throw;
            if (action == daAbort) Abort();
            // daRetry: run the operation again.
        }
    }
}

void TDataSet::FreeFieldBuffers() {
    for (int i = 0; i < FFields->Count(); ++i) FFields->Fields(i)->FreeBuffers();
}

void TDataSet::InitRecord(TRecordBuffer Buffer) {
    InternalInitRecord(Buffer);
    ClearCalcFields(Buffer);
    SetBookmarkFlag(Buffer, bfInserted);
}

void TDataSet::Edit() {
    if (IsEditMode(FState)) return;
    if (FRecordCount == 0) {
        Insert();
        return;
    }
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeEdit();
    CheckOperation([this] { InternalEdit(); }, OnEditError);
    GetCalcFields(ActiveBuffer());
    SetState(dsEdit);
    DataEvent(deRecordChange, 0);
    DoAfterEdit();
}

void TDataSet::BeginInsertAppend() {
    CheckBrowseMode();
    CheckCanModify();
    DoBeforeInsert();
    DoBeforeScroll();
}

void TDataSet::EndInsertAppend() {
    SetState(dsInsert);
    try {
        DoOnNewRecord();
    } catch (...) {
        UpdateCursorPos();
        FreeFieldBuffers();
        SetState(dsBrowse);
        FInsertBookmark.clear();
        Resync(TResyncMode{});
        throw;
    }
    FModified = false;
    DataEvent(deDataSetChange, 0);
    DoAfterInsert();
    DoAfterScroll();
}

void TDataSet::Insert() {
    BeginInsertAppend();
    // The cursor goes to the active record, which the new record will stand
    // before; its bookmark is kept here, not in the new buffer, so the new
    // record never carries another row's bookmark.
    UpdateCursorPos();
    FInsertBookmark.clear();
    if (FRecordCount > 0 && FBookmarkSize > 0 && GetBookmarkFlag(ActiveBuffer()) == bfCurrent) {
        FInsertBookmark.resize(static_cast<std::size_t>(FBookmarkSize));
        GetBookmarkData(ActiveBuffer(), FInsertBookmark.data());
    }
    MoveBuffer(FRecordCount, FActiveRecord);
    TRecordBuffer buffer = ActiveBuffer();
    InitRecord(buffer);
    if (FRecordCount == 0) SetBookmarkFlag(buffer, bfBOF);
    if (FRecordCount < FBufferCount) ++FRecordCount;
    EndInsertAppend();
}

void TDataSet::Append() {
    BeginInsertAppend();
    FInsertBookmark.clear();
    ClearBuffers();
    TRecordBuffer buffer = FBuffers[0];
    InitRecord(buffer);
    SetBookmarkFlag(buffer, bfEOF);
    FRecordCount = 1;
    FBOF = false;
    GetPriorRecords();
    EndInsertAppend();
}

void TDataSet::UpdateRecord() {
    if (!IsWriteMode(FState)) DatabaseError(DBConsts::SNotEditing);
    DataEvent(deUpdateRecord, 0);
}

void TDataSet::Post() {
    UpdateRecord();
    if (!IsEditMode(FState)) return;
    DataEvent(deCheckBrowseMode, 0);
    DoBeforePost();
    CheckOperation(
        [this] {
            CheckRequiredFields();
            InternalPost();
        },
        OnPostError);
    FreeFieldBuffers();
    SetState(dsBrowse);
    FInsertBookmark.clear();
    Resync(TResyncMode{});
    DoAfterPost();
}

void TDataSet::Cancel() {
    if (!IsEditMode(FState)) return;
    DataEvent(deCheckBrowseMode, 0);
    DoBeforeCancel();
    bool scrollEvents = FState == dsInsert;
    if (scrollEvents) DoBeforeScroll();
    UpdateCursorPos();
    InternalCancel();
    FreeFieldBuffers();
    SetState(dsBrowse);
    FInsertBookmark.clear();
    Resync(TResyncMode{});
    DoAfterCancel();
    if (scrollEvents) DoAfterScroll();
}

void TDataSet::Delete() {
    CheckActive();
    if (FState == dsInsert || FState == dsSetKey) {
        Cancel();
        return;
    }
    if (FRecordCount == 0) DatabaseError(DBConsts::SDataSetEmpty);
    CheckCanModify();
    DataEvent(deCheckBrowseMode, 0);
    DoBeforeDelete();
    DoBeforeScroll();
    CheckOperation([this] { InternalDelete(); }, OnDeleteError);
    FreeFieldBuffers();
    SetState(dsBrowse);
    Resync(TResyncMode{});
    DoAfterDelete();
    DoAfterScroll();
}

void TDataSet::Refresh() {
    CheckBrowseMode();
    UpdateCursorPos();
    InternalRefresh();
    Resync(TResyncMode{});
}

void TDataSet::CheckBrowseMode() {
    CheckActive();
    DataEvent(deCheckBrowseMode, 0);
    switch (FState) {
        case dsEdit:
        case dsInsert:
            UpdateRecord();
            if (FModified)
                Post();
            else
                Cancel();
            break;
        case dsSetKey:
            Post();
            break;
        default:
            break;
    }
}

void TDataSet::InternalInsertRecord(const std::vector<Variant>& Values, bool Append) {
    BeginInsertAppend();
    if (!Append) UpdateCursorPos();
    DisableControls();
    try {
        MoveBuffer(FRecordCount, FActiveRecord);
        try {
            TRecordBuffer buffer = ActiveBuffer();
            InitRecord(buffer);
            FState = dsInsert;
            try {
                for (std::size_t i = 0; i < Values.size(); ++i) {
                    if (Values[i].IsEmpty()) continue;
                    TField* field = FFields->Fields(static_cast<int>(i));
                    if (Values[i].IsNull())
                        field->Clear();
                    else
                        field->SetAsVariant(Values[i]);
                }
                DoBeforePost();
                CheckRequiredFields();
                InternalAddRecord(buffer, Append);
            } catch (...) {
                FreeFieldBuffers();
                FState = dsBrowse;
                FModified = false;
                throw;
            }
            FreeFieldBuffers();
            FState = dsBrowse;
            FModified = false;
        } catch (...) {
            MoveBuffer(FActiveRecord, FRecordCount);
            throw;
        }
        Resync(TResyncMode{});
        DoAfterPost();
    } catch (...) {
        EnableControls();
        throw;
    }
    EnableControls();
}

// ---------------------------------------------------------------------------
// Notifications

void TDataSet::DataEvent(TDataEvent Event, std::intptr_t Info) {
    switch (Event) {
        case deFieldChange: {
            auto* field = reinterpret_cast<TField*>(Info);
            if (field->FieldKind() == fkData || field->FieldKind() == fkInternalCalc) SetModified(true);
            if (FState != dsSetKey) {
                if (FCalcFieldsSize != 0 && FAutoCalcFields && field->FieldKind() == fkData)
                    CalculateFields(ActiveBuffer());
                field->Change();
            }
            break;
        }
        case dePropertyChange:
            FFieldDefs->SetUpdated(false);
            break;
        default:
            break;
    }
    if (FDisableCount == 0) {
        if (FDataSources.empty()) return;  // two events a row on a scan without controls
        // A copy: a source may leave the list while it is told.
        std::vector<TDataSource*> sources = FDataSources;
        for (TDataSource* source : sources) source->DataEvent(Event, Info);
    } else if ((Event == deUpdateState && FState == dsInactive) || Event == deLayoutChange) {
        FEnableEvent = deLayoutChange;
    }
}

void TDataSet::DisableControls() {
    if (FDisableCount == 0) {
        FDisableState = FState;
        FEnableEvent = deDataSetChange;
    }
    ++FDisableCount;
}

void TDataSet::EnableControls() {
    if (FDisableCount == 0) return;
    if (--FDisableCount != 0) return;
    if (FDisableState != FState) DataEvent(deUpdateState, 0);
    if (FDisableState != dsInactive && FState != dsInactive) DataEvent(FEnableEvent, 0);
}

void TDataSet::AddDataSource(TDataSource* DataSource) {
    FDataSources.push_back(DataSource);
    DataSource->FDataSet = this;
    UpdateBufferCount();
    DataSource->UpdateState();
}

void TDataSet::RemoveDataSource(TDataSource* DataSource) {
    DataSource->FDataSet = nullptr;
    FDataSources.erase(std::remove(FDataSources.begin(), FDataSources.end(), DataSource), FDataSources.end());
    DataSource->UpdateState();
    UpdateBufferCount();
}

bool TDataSet::IsLinkedTo(TDataSource* DataSource) {
    while (DataSource) {
        TDataSet* dataSet = DataSource->DataSet();
        if (!dataSet) break;
        if (dataSet == this) return true;
        DataSource = dataSet->GetDataSource();
    }
    return false;
}

// ---------------------------------------------------------------------------
// Fields

void TDataSet::CreateFields() {
    for (int i = 0; i < FFieldDefs->Count(); ++i) {
        TFieldDef* def = FFieldDefs->Items(i);
        if (def->DataType() != ftUnknown) def->CreateField(this);
    }
}

namespace {

/// Field classes that may stand for a column of another, equivalent type.
bool CompatibleTypes(TFieldType fieldType, TFieldType defType) {
    if (fieldType == defType) return true;
    return (fieldType == ftAutoInc && defType == ftInteger) || (fieldType == ftInteger && defType == ftAutoInc) ||
           (fieldType == ftCurrency && defType == ftFloat) || (fieldType == ftFloat && defType == ftCurrency);
}

}  // namespace

void TDataSet::BindFields(bool Binding) {
    FCalcFieldsSize = 0;
    FBlobFieldCount = 0;
    FInternalCalcFields = false;
    for (int i = 0; i < FFields->Count(); ++i) {
        TField* field = FFields->Fields(i);
        if (!Binding) {
            field->Bind(false);
            field->FFieldNo = 0;
            continue;
        }
        if (field->FieldKind() == fkCalculated || field->FieldKind() == fkLookup) {
            field->FFieldNo = -1;
            field->FOffset = FCalcFieldsSize;
            FCalcFieldsSize += field->GetDataSize() + 1;
        } else {
            TFieldDef* def = FFieldDefs->Find(field->FieldName());
            if (!CompatibleTypes(field->DataType(), def->DataType()))
                DatabaseErrorFmt(DBConsts::SFieldTypeMismatch, field->DisplayName(), FieldTypeName(field->DataType()),
                                 FieldTypeName(def->DataType()));
            if ((field->DataType() == ftString || field->DataType() == ftBytes || field->DataType() == ftVarBytes) &&
                field->Size() != def->Size())
                DatabaseErrorFmt(DBConsts::SFieldSizeMismatch, field->DisplayName(), field->Size(), def->Size());
            if (field->FieldKind() == fkInternalCalc) FInternalCalcFields = true;
            field->FFieldNo = def->FieldNo();
            if (field->IsBlob()) {
                field->FSize = def->Size();
                field->FOffset = FBlobFieldCount++;
            }
        }
        field->Bind(true);
    }
}

void TDataSet::GetFieldList(TList& List, const String& FieldNames) const {
    std::size_t pos = 0;
    while (pos < FieldNames.size()) List.Add(FieldByName(ExtractFieldName(FieldNames, pos)));
}

namespace {

std::vector<TField*> FieldListOf(const TDataSet& dataSet, const String& names) {
    TList list;
    dataSet.GetFieldList(list, names);
    std::vector<TField*> fields;
    for (int i = 0; i < list.Count(); ++i) fields.push_back(static_cast<TField*>(list.Get(i)));
    return fields;
}

}  // namespace

Variant TDataSet::FieldValues(const String& FieldNames) const {
    if (FieldNames.find(';') == String::npos) return FieldByName(FieldNames)->Value();
    std::vector<TField*> fields = FieldListOf(*this, FieldNames);
    Variant result = VarArrayCreate(0, static_cast<int>(fields.size()) - 1, varVariant);
    for (std::size_t i = 0; i < fields.size(); ++i) result.PutElement(static_cast<int>(i), fields[i]->Value());
    return result;
}

void TDataSet::SetFieldValues(const String& FieldNames, const Variant& Value) {
    if (FieldNames.find(';') == String::npos) {
        FieldByName(FieldNames)->SetValue(Value);
        return;
    }
    std::vector<TField*> fields = FieldListOf(*this, FieldNames);
    for (std::size_t i = 0; i < fields.size(); ++i) fields[i]->SetValue(Value[static_cast<int>(i)]);
}

// ---------------------------------------------------------------------------
// Calculated fields

void TDataSet::GetCalcFields(TRecordBuffer Buffer) {
    if (FCalcFieldsSize <= 0) return;
    TDataSetState saveState = FState;
    FState = dsCalcFields;
    TScopeExit restore([&] { FState = saveState; });
    CalculateFields(Buffer);
}

void TDataSet::CalculateFields(TRecordBuffer Buffer) {
    FCalcBuffer = Buffer;
    ClearCalcFields(Buffer);
    for (int i = 0; i < FFields->Count(); ++i) {
        TField* field = FFields->Fields(i);
        if (field->FieldKind() == fkLookup) field->CalcLookupValue();
    }
    DoOnCalcFields();
}

Variant TDataSet::GetStateFieldValue(TDataSetState State, TField* Field) {
    if (Field->FieldKind() != fkData && Field->FieldKind() != fkInternalCalc) return Null();
    TDataSetState saveState = FState;
    FState = State;
    TScopeExit restore([&] { FState = saveState; });
    return Field->AsVariant();
}

void TDataSet::SetStateFieldValue(TDataSetState State, TField* Field, const Variant& Value) {
    if (Field->FieldKind() != fkData) return;
    TDataSetState saveState = FState;
    FState = State;
    TScopeExit restore([&] { FState = saveState; });
    Field->SetAsVariant(Value);
}

// ---------------------------------------------------------------------------
// Searching

bool TDataSet::RecordMatches(const std::vector<TField*>& Keys, const Variant& KeyValues, TLocateOptions Options) {
    for (std::size_t i = 0; i < Keys.size(); ++i) {
        TField* field = Keys[i];
        Variant key = Keys.size() == 1 && !KeyValues.IsArray() ? KeyValues : KeyValues[static_cast<int>(i)];
        Variant value = field->AsVariant();
        if (key.IsNull() || key.IsEmpty()) {
            if (!value.IsNull()) return false;
            continue;
        }
        if (value.IsNull()) return false;
        bool textual = field->DataType() == ftString || field->DataType() == ftMemo;
        if (textual && (Options.Contains(loCaseInsensitive) || Options.Contains(loPartialKey))) {
            String text = value.AsString();
            String wanted = VarToStr(key);
            if (Options.Contains(loPartialKey)) text = text.substr(0, wanted.size());
            bool equal = Options.Contains(loCaseInsensitive) ? AnsiCompareText(text, wanted) == 0 : text == wanted;
            if (!equal) return false;
        } else if (!(value == key)) {
            return false;
        }
    }
    return true;
}

bool TDataSet::LocateRecord(const String& KeyFields, const Variant& KeyValues, TLocateOptions Options,
                            const std::function<void()>& OnFound) {
    std::vector<TField*> keys = FieldListOf(*this, KeyFields);
    CursorPosChanged();
    TRecordBuffer buffer = TempBuffer();
    InternalFirst();
    TDataSetState saveState = FState;
    TRecordBuffer saveCalcBuffer = FCalcBuffer;
    TScopeExit restore([&] {
        FState = saveState;
        FCalcBuffer = saveCalcBuffer;
    });
    for (;;) {
        FState = saveState;
        if (GetRecord(buffer, gmNext, true) != grOK) return false;
        // Fields read the scanned record through the calculation buffer.
        FState = dsCalcFields;
        FCalcBuffer = buffer;
        if (RecordMatches(keys, KeyValues, Options)) {
            if (OnFound) OnFound();
            return true;
        }
    }
}

bool TDataSet::Locate(const String& KeyFields, const Variant& KeyValues, TLocateOptions Options) {
    CheckBrowseMode();
    DoBeforeScroll();
    bool found = LocateRecord(KeyFields, KeyValues, Options, nullptr);
    if (found) {
        Resync(TResyncMode{rmExact, rmCenter});
        DoAfterScroll();
    }
    return found;
}

Variant TDataSet::Lookup(const String& KeyFields, const Variant& KeyValues, const String& ResultFields) {
    CheckBrowseMode();
    Variant result = Null();
    LocateRecord(KeyFields, KeyValues, TLocateOptions{}, [&] { result = FieldValues(ResultFields); });
    return result;
}

// ---------------------------------------------------------------------------
// Defaults of the descendant's services

std::unique_ptr<TStream> TDataSet::CreateBlobStream(TField* /*Field*/, TBlobStreamMode /*Mode*/) { return nullptr; }

int TDataSet::Translate(const char* Src, char* Dest, bool /*ToOem*/) {
    if (!Src) return 0;
    if (Src != Dest) std::strcpy(Dest, Src);
    return static_cast<int>(std::strlen(Dest));
}

bool TDataSet::GetCurrentRecord(TRecordBuffer /*Buffer*/) { return false; }

namespace {

using Int128 = __int128;

Int128 Pow10(int n) {
    Int128 r = 1;
    while (n-- > 0) r *= 10;
    return r;
}

/// q = a / b rounded half to even (a >= 0, b > 0).
Int128 DivRoundHalfEven(Int128 a, Int128 b) {
    Int128 q = a / b, r = a % b;
    if (2 * r > b || (2 * r == b && (q % 2) != 0)) ++q;
    return q;
}

}  // namespace

bool TDataSet::BCDToCurr(const void* BCD, Currency& Curr) {
    const auto* b = static_cast<const std::uint8_t*>(BCD);
    int precision = b[0];
    if (precision == 0 || precision > 64) return false;
    bool negative = (b[1] & 0x80) != 0;
    int scale = b[1] & 0x3F;
    // The digits as an integer; more than 36 significant digits cannot give a
    // currency value, whatever the scale that follows.
    Int128 value = 0;
    int significant = 0;
    for (int i = 0; i < precision; ++i) {
        int digit = (i % 2 == 0) ? (b[2 + i / 2] >> 4) : (b[2 + i / 2] & 0x0F);
        if (digit > 9) return false;
        if (value == 0 && digit == 0) continue;
        if (++significant > 36) return false;
        value = value * 10 + digit;
    }
    Int128 units =
        scale <= 4 ? value * Pow10(4 - scale) : (scale - 4 > 36 ? 0 : DivRoundHalfEven(value, Pow10(scale - 4)));
    if (negative) units = -units;
    if (units < INT64_MIN || units > INT64_MAX) return false;
    Curr = Currency::FromUnits(static_cast<std::int64_t>(units));
    return true;
}

bool TDataSet::CurrToBCD(Currency Curr, void* BCD, int Precision, int Decimals) {
    if (Precision < 1 || Precision > 64 || Decimals < 0 || Decimals > 63) return false;
    auto* b = static_cast<std::uint8_t*>(BCD);
    Int128 value = Curr.Units();
    bool negative = value < 0;
    if (negative) value = -value;
    if (Decimals < 4) {
        value = DivRoundHalfEven(value, Pow10(4 - Decimals));
    } else if (Decimals > 4) {
        if (Decimals - 4 > Precision) return false;
        for (int i = 4; i < Decimals && value != 0; ++i) {
            if (value > Pow10(36)) return false;  // more digits than any precision holds
            value *= 10;
        }
    }
    std::uint8_t digits[64] = {};
    for (int i = Precision - 1; i >= 0 && value != 0; --i) {
        digits[i] = static_cast<std::uint8_t>(value % 10);
        value /= 10;
    }
    if (value != 0) return false;
    std::memset(b, 0, BCDBufferSize);
    b[0] = static_cast<std::uint8_t>(Precision);
    b[1] = static_cast<std::uint8_t>(Decimals);
    bool zero = std::all_of(digits, digits + Precision, [](std::uint8_t d) { return d == 0; });
    if (negative && !zero) b[1] |= 0x80;
    for (int i = 0; i < Precision; ++i)
        b[2 + i / 2] |= static_cast<std::uint8_t>(i % 2 == 0 ? digits[i] << 4 : digits[i]);
    return true;
}

}  // namespace velora
