// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCMasterDataLink: the master field list and the two notifications.
#include "velora/components/ODBCMasterLink.h"

namespace velora {

TODBCMasterDataLink::TODBCMasterDataLink(TDataSet* DataSet) : FDetailDataSet(DataSet) {}

TODBCMasterDataLink::~TODBCMasterDataLink() = default;

void TODBCMasterDataLink::SetFieldNames(const String& Value) {
    if (Value == FFieldNames) return;
    FFieldNames = Value;
    ActiveChanged();
}

bool TODBCMasterDataLink::DetailOpen() const { return FDetailDataSet && FDetailDataSet->Active(); }

void TODBCMasterDataLink::ActiveChanged() {
    FFields.Clear();
    if (Active()) {
        try {
            DataSet()->GetFieldList(FFields, FFieldNames);
        } catch (...) {
            FFields.Clear();
            throw;
        }
    }
    if (DetailOpen() && !FDetailDataSet->IsDestroying()) {
        if (Active() && FFields.Count() > 0) {
            if (OnMasterChanged) OnMasterChanged(this);
        } else if (OnMasterDisabled) {
            OnMasterDisabled(this);
        }
    }
}

void TODBCMasterDataLink::CheckBrowseMode() {
    if (DetailOpen()) FDetailDataSet->CheckBrowseMode();
}

void TODBCMasterDataLink::LayoutChanged() { ActiveChanged(); }

void TODBCMasterDataLink::RecordChanged(TField* Field) {
    if (DataSource() && DataSource()->State() != dsSetKey && DetailOpen() && FFields.Count() > 0 &&
        (Field == nullptr || FFields.IndexOf(Field) >= 0)) {
        if (OnMasterChanged) OnMasterChanged(this);
    }
}

}  // namespace velora
