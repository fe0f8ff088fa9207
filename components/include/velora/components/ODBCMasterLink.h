// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCMasterDataLink: a data link that watches a master data source on
// behalf of a detail dataset. It keeps the master's fields named in a
// field-name list ("ID;NAME") and tells its owner, through two handlers,
// when the master record changed (or the link became usable) and when the
// link became unusable. Each table owns one; the table publishes nothing that
// wires it, so only code that connects the link itself sees it act.
#pragma once

#include "velora/db/DB.h"

namespace velora {

/// Follows a master data source for a detail dataset.
class TODBCMasterDataLink : public TDataLink {
public:
    /// DataSet is the detail dataset the link serves (not owned).
    explicit TODBCMasterDataLink(TDataSet* DataSet);
    ~TODBCMasterDataLink() override;

    TDataSet* DetailDataSet() const { return FDetailDataSet; }
    /// The master field names, as the master's GetFieldList takes them.
    const String& FieldNames() const { return FFieldNames; }
    /// Stores a different list (compared case-sensitively) and runs
    /// ActiveChanged. \throws EDatabaseError when the master has no field of
    /// a name (the field list is then left empty).
    void SetFieldNames(const String& Value);
    /// The master's fields named by FieldNames while the link is active
    /// (TField pointers; owned by the master).
    TList& Fields() { return FFields; }

    /// Called with the link when the master record changed or the link
    /// became usable.
    TNotifyEvent OnMasterChanged;
    /// Called with the link when it became unusable.
    TNotifyEvent OnMasterDisabled;

protected:
    void ActiveChanged() override;
    void CheckBrowseMode() override;
    void LayoutChanged() override;
    void RecordChanged(TField* Field) override;

private:
    bool DetailOpen() const;

    TDataSet* FDetailDataSet;
    String FFieldNames;
    TList FFields;
};

}  // namespace velora
