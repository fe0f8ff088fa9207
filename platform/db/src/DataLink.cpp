// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Data sources and data links: passing dataset events on, the links'
// activity and editing flags, and each link's window of records.
#include "velora/db/DataLink.h"

#include "velora/db/DBConsts.h"
#include "velora/db/DataSet.h"

#include <algorithm>

namespace velora {

// ---------------------------------------------------------------------------
// TDataLink

TDataLink::~TDataLink() {
    // No notifications while the link goes away: its overrides are gone.
    FActive = false;
    FEditing = false;
    FDataSourceFixed = false;
    try {
        SetDataSource(nullptr);
    } catch (...) {}
}

void TDataLink::SetDataSource(TDataSource* Value) {
    if (FDataSource == Value) return;
    if (FDataSourceFixed) DatabaseError(DBConsts::SDataSourceChange);
    if (FDataSource) FDataSource->RemoveDataLink(this);
    if (Value) Value->AddDataLink(this);
}

TDataSet* TDataLink::DataSet() const { return FDataSource ? FDataSource->DataSet() : nullptr; }

void TDataLink::SetReadOnly(bool Value) {
    if (FReadOnly == Value) return;
    FReadOnly = Value;
    UpdateState();
}

void TDataLink::SetBufferCount(int Value) {
    Value = std::max(Value, 1);
    if (FBufferCount == Value) return;
    FBufferCount = Value;
    if (!FActive) return;
    UpdateRange();
    DataSet()->UpdateBufferCount();
    UpdateRange();
}

int TDataLink::ActiveRecord() const {
    TDataSet* ds = DataSet();
    if (!ds || FDataSource->State() == dsSetKey) return 0;
    return ds->FActiveRecord - FFirstRecord;
}

void TDataLink::SetActiveRecord(int Value) {
    TDataSet* ds = DataSet();
    if (!ds || FDataSource->State() == dsSetKey) return;
    ds->FActiveRecord = std::clamp(Value + FFirstRecord, 0, std::max(ds->FRecordCount - 1, 0));
}

int TDataLink::RecordCount() const {
    TDataSet* ds = DataSet();
    if (!ds) return 0;
    if (FDataSource->State() == dsSetKey) return 1;
    return std::clamp(ds->FRecordCount - FFirstRecord, 0, FBufferCount);
}

bool TDataLink::Bof() const {
    TDataSet* ds = DataSet();
    return !ds || ds->Bof();
}

bool TDataLink::Eof() const {
    TDataSet* ds = DataSet();
    return !ds || ds->Eof();
}

bool TDataLink::Edit() {
    if (!FReadOnly && FDataSource) FDataSource->Edit();
    return FEditing;
}

void TDataLink::UpdateRecord() {
    FUpdating = true;
    try {
        UpdateData();
    } catch (...) {
        FUpdating = false;
        throw;
    }
    FUpdating = false;
}

void TDataLink::DataEvent(TDataEvent Event, std::intptr_t Info) {
    if (Event == deUpdateState) {
        UpdateState();
        return;
    }
    if (!FActive) return;
    switch (Event) {
        case deFieldChange:
        case deRecordChange:
            if (!FUpdating) RecordChanged(reinterpret_cast<TField*>(Info));
            break;
        case deDataSetChange:
        case deDataSetScroll:
        case deLayoutChange: {
            // Info is how far the dataset shifted its buffers (negative when the
            // records moved towards index 0); the window follows them and then
            // scrolls just enough to keep the active record inside.
            int count = 0;
            if (FDataSource->State() != dsSetKey) {
                int active = DataSet()->FActiveRecord;
                int first = FFirstRecord + static_cast<int>(Info);
                int last = first + FBufferCount - 1;
                if (active > last)
                    count = active - last;
                else if (active < first)
                    count = active - first;
                FFirstRecord = first + count;
            }
            if (Event == deDataSetChange)
                DataSetChanged();
            else if (Event == deDataSetScroll)
                DataSetScrolled(count);
            else
                LayoutChanged();
            break;
        }
        case deUpdateRecord:
            UpdateRecord();
            break;
        case deCheckBrowseMode:
            CheckBrowseMode();
            break;
        case deFocusControl:
            FocusControl(reinterpret_cast<TField**>(Info));
            break;
        default:
            break;
    }
}

void TDataLink::UpdateState() {
    SetActive(FDataSource && FDataSource->State() != dsInactive);
    TDataSetState state = FDataSource ? FDataSource->State() : dsInactive;
    SetEditing((state == dsEdit || state == dsInsert || state == dsSetKey) && !FReadOnly);
}

void TDataLink::SetActive(bool Value) {
    if (FActive == Value) return;
    FActive = Value;
    if (Value)
        UpdateRange();
    else
        FFirstRecord = 0;
    ActiveChanged();
}

void TDataLink::SetEditing(bool Value) {
    if (FEditing == Value) return;
    FEditing = Value;
    EditingChanged();
}

void TDataLink::UpdateRange() {
    TDataSet* ds = DataSet();
    if (!ds) return;
    int lo = std::max(ds->FActiveRecord - FBufferCount + 1, 0);
    int hi = std::max(ds->FBufferCount - FBufferCount, 0);
    hi = std::min(hi, ds->FActiveRecord);
    if (FFirstRecord < lo) FFirstRecord = lo;
    if (FFirstRecord > hi) FFirstRecord = hi;
    if (FFirstRecord != 0 && ds->FActiveRecord - FFirstRecord < FBufferCount - 1) --FFirstRecord;
}

// ---------------------------------------------------------------------------
// TDataSource

TDataSource::TDataSource(TComponent* AOwner) : TComponent(AOwner) { RegisterDBClasses(); }

TDataSource::~TDataSource() { Detach(); }

void TDataSource::BeforeDestruction() {
    Destroying();
    Detach();
    TComponent::BeforeDestruction();
}

void TDataSource::Detach() {
    OnStateChange = nullptr;
    OnDataChange = nullptr;
    OnUpdateData = nullptr;
    try {
        SetDataSet(nullptr);
    } catch (...) {}
    while (!FDataLinks.empty()) RemoveDataLink(FDataLinks.back());
}

void TDataSource::SetDataSet(TDataSet* Value) {
    if (Value == FDataSet) return;
    if (IsLinkedTo(Value)) DatabaseError(DBConsts::SCircularDataLink);
    if (FDataSet) FDataSet->RemoveDataSource(this);
    if (Value) Value->AddDataSource(this);
}

void TDataSource::SetEnabled(bool Value) {
    FEnabled = Value;
    UpdateState();
}

void TDataSource::Edit() {
    if (FAutoEdit && FState == dsBrowse && FDataSet) FDataSet->Edit();
}

bool TDataSource::IsLinkedTo(TDataSet* DataSet) {
    while (DataSet) {
        TDataSource* source = DataSet->GetDataSource();
        if (!source) break;
        if (source == this) return true;
        DataSet = source->DataSet();
    }
    return false;
}

void TDataSource::AddDataLink(TDataLink* DataLink) {
    FDataLinks.push_back(DataLink);
    DataLink->FDataSource = this;
    if (FDataSet) FDataSet->UpdateBufferCount();
    DataLink->UpdateState();
}

void TDataSource::RemoveDataLink(TDataLink* DataLink) {
    DataLink->FDataSource = nullptr;
    FDataLinks.erase(std::remove(FDataLinks.begin(), FDataLinks.end(), DataLink), FDataLinks.end());
    DataLink->UpdateState();
    if (FDataSet) FDataSet->UpdateBufferCount();
}

void TDataSource::NotifyDataLinks(TDataEvent Event, std::intptr_t Info) {
    // Single-record links (edit controls) hear of a change before grids do.
    std::vector<TDataLink*> links = FDataLinks;
    auto stillLinked = [this](TDataLink* link) {
        return std::find(FDataLinks.begin(), FDataLinks.end(), link) != FDataLinks.end();
    };
    for (auto it = links.rbegin(); it != links.rend(); ++it)
        if (stillLinked(*it) && (*it)->FBufferCount == 1) (*it)->DataEvent(Event, Info);
    for (auto it = links.rbegin(); it != links.rend(); ++it)
        if (stillLinked(*it) && (*it)->FBufferCount > 1) (*it)->DataEvent(Event, Info);
}

void TDataSource::DataEvent(TDataEvent Event, std::intptr_t Info) {
    if (Event == deUpdateState) {
        UpdateState();
        return;
    }
    if (FState == dsInactive) return;
    NotifyDataLinks(Event, Info);
    switch (Event) {
        case deFieldChange:
            if (OnDataChange) OnDataChange(this, reinterpret_cast<TField*>(Info));
            break;
        case deRecordChange:
        case deDataSetChange:
        case deDataSetScroll:
        case deLayoutChange:
            if (OnDataChange) OnDataChange(this, nullptr);
            break;
        case deUpdateRecord:
            if (OnUpdateData) OnUpdateData(this);
            break;
        default:
            break;
    }
}

void TDataSource::UpdateState() { SetState(FEnabled && FDataSet ? FDataSet->State() : dsInactive); }

void TDataSource::SetState(TDataSetState Value) {
    if (FState == Value) return;
    TDataSetState prior = FState;
    FState = Value;
    NotifyDataLinks(deUpdateState, 0);
    if (IsDestroying()) return;
    if (OnStateChange) OnStateChange(this);
    if (prior == dsInactive && OnDataChange) OnDataChange(this, nullptr);
}

}  // namespace velora
