// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Data sources and data links: how controls (and detail datasets) follow a
// dataset. A TDataSource connects to one dataset and carries any number of
// TDataLink objects; the dataset sends its events (TDataSet::DataEvent) to
// its data sources, which pass them to their links, and the links turn them
// into the overridable notifications (RecordChanged, DataSetChanged,
// DataSetScrolled, LayoutChanged, ActiveChanged, EditingChanged,
// CheckBrowseMode, UpdateData).
//
// A link's BufferCount is the number of records it shows at once (a grid's
// rows); the dataset keeps as many record buffers as the largest link needs.
// Each link sees its own window of those records: ActiveRecord is the active
// record's index within that window, kept in range as the dataset scrolls.
#pragma once

#include "velora/classes/Classes.h"
#include "velora/db/DBTypes.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace velora {

class TDataSet;
class TDataSource;
class TField;

/// OnDataChange: Field is the changed field, or null when the record or the
/// window changed.
using TDataChangeEvent = std::function<void(TObject* Sender, TField* Field)>;

/// Follows the dataset of a data source. Subclasses override the
/// notifications they need; all do nothing by default (DataSetChanged calls
/// RecordChanged(nullptr), DataSetScrolled and LayoutChanged call
/// DataSetChanged).
class TDataLink : public TPersistent {
public:
    TDataLink() = default;
    /// Leaves the data source without notifications.
    ~TDataLink() override;

    TDataSource* DataSource() const { return FDataSource; }
    /// Moves the link to another data source (raises "DataSource cannot be
    /// changed" when DataSourceFixed).
    void SetDataSource(TDataSource* Value);
    /// The data source's dataset, or null.
    TDataSet* DataSet() const;
    bool DataSourceFixed() const { return FDataSourceFixed; }
    void SetDataSourceFixed(bool Value) { FDataSourceFixed = Value; }
    /// The data source is enabled and its dataset open.
    bool Active() const { return FActive; }
    /// The dataset is in an edit mode and the link is not read-only.
    bool Editing() const { return FEditing; }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool Value);
    /// Records the link shows at once (default 1).
    int BufferCount() const { return FBufferCount; }
    void SetBufferCount(int Value);
    /// Index of the dataset's active record within this link's window.
    int ActiveRecord() const;
    void SetActiveRecord(int Value);
    /// Records of this link's window that hold data.
    int RecordCount() const;
    bool Bof() const;
    bool Eof() const;
    /// Puts the dataset into edit mode (unless read-only); answers Editing.
    bool Edit();
    /// Runs UpdateData, ignoring the RecordChanged calls it causes.
    void UpdateRecord();
    /// Receives every event of the data source.
    virtual void DataEvent(TDataEvent Event, std::intptr_t Info);

protected:
    virtual void ActiveChanged() {}
    virtual void CheckBrowseMode() {}
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    virtual void DataSetScrolled(int /*Distance*/) { DataSetChanged(); }
    virtual void EditingChanged() {}
    /// Field is a pointer to the field to focus; clear it when done.
    virtual void FocusControl(TField** /*Field*/) {}
    virtual void LayoutChanged() { DataSetChanged(); }
    virtual void RecordChanged(TField* /*Field*/) {}
    virtual void UpdateData() {}
    int FirstRecord() const { return FFirstRecord; }

private:
    friend class TDataSource;
    friend class TDataSet;
    void UpdateState();
    void SetActive(bool Value);
    void SetEditing(bool Value);
    /// Keeps the window around the dataset's active record.
    void UpdateRange();

    TDataSource* FDataSource = nullptr;
    int FFirstRecord = 0;
    int FBufferCount = 1;
    bool FReadOnly = false;
    bool FActive = false;
    bool FEditing = false;
    bool FUpdating = false;
    bool FDataSourceFixed = false;
};

/// Connects data links to a dataset. Disabled, it reports dsInactive to its
/// links.
class TDataSource : public TComponent {
public:
    explicit TDataSource(TComponent* AOwner);
    ~TDataSource() override;
    void BeforeDestruction() override;

    TDataSet* DataSet() const { return FDataSet; }
    /// Raises "Circular datalinks are not allowed" when the dataset is
    /// (through its master sources) linked to this data source.
    void SetDataSet(TDataSet* Value);
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool Value);
    /// Edit() of the links starts editing (default True).
    bool AutoEdit() const { return FAutoEdit; }
    void SetAutoEdit(bool Value) { FAutoEdit = Value; }
    /// The dataset's state, dsInactive while disabled or without dataset.
    TDataSetState State() const { return FState; }
    /// Puts the dataset into edit mode when AutoEdit and browsing.
    void Edit();
    /// Whether this source is (directly or through masters) the source of
    /// DataSet's master chain.
    bool IsLinkedTo(TDataSet* DataSet);
    int DataLinkCount() const { return static_cast<int>(FDataLinks.size()); }

    /// After State changed.
    TNotifyEvent OnStateChange;
    /// After a field or the record changed, or the window scrolled.
    TDataChangeEvent OnDataChange;
    /// Before the record is posted (deUpdateRecord).
    TNotifyEvent OnUpdateData;

    /// Passes a dataset event to the links (single-record links first).
    void DataEvent(TDataEvent Event, std::intptr_t Info);

private:
    friend class TDataLink;
    friend class TDataSet;
    void AddDataLink(TDataLink* DataLink);
    void RemoveDataLink(TDataLink* DataLink);
    void NotifyDataLinks(TDataEvent Event, std::intptr_t Info);
    void UpdateState();
    void SetState(TDataSetState Value);
    void Detach();

    TDataSet* FDataSet = nullptr;
    std::vector<TDataLink*> FDataLinks;
    TDataSetState FState = dsInactive;
    bool FEnabled = true;
    bool FAutoEdit = true;
};

}  // namespace velora
