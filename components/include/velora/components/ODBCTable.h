// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCTable: the dataset over one whole table of the data source. It reads
// "SELECT * FROM " followed by TableName, narrowed by a WHERE clause
// (FilterParams, switched by Filtered) and sorted by an ORDER BY clause
// (IndexParams, switched by Indexed). Both clause texts are the data
// source's SQL, taken as they stand. Switching either on an open table runs
// the new text once on a statement of its own and, when the data source
// accepts it, requeries the cursor and moves to the first record.
#pragma once

#include "velora/components/ODBCDataSet.h"
#include "velora/components/ODBCMasterLink.h"

#include <memory>

namespace velora {

/// A whole table as a dataset.
class TODBCTable : public TODBCDataSet {
public:
    /// Creates the master link with the table as its detail dataset.
    explicit TODBCTable(TComponent* AOwner);
    ~TODBCTable() override;

    const String& TableName() const { return FTableName; }
    /// The name as the data source knows it, inserted into the statement
    /// without quoting. \throws EDatabaseError while open.
    void SetTableName(const String& Value);
    bool ReadOnly() const { return FReadOnly; }
    /// Opens the cursor read-only. \throws EDatabaseError while open.
    void SetReadOnly(bool Value);
    bool KeyRangeCursor() const { return FKeyRangeCursor; }
    /// Scrolls through the table by ranges of its primary key, a few blocks
    /// at a time, so the client's memory does not grow with the table (a
    /// scrollable, editable dataset over any number of rows). Opening a
    /// table without a primary key then fails. Ignored when UniDirectional.
    /// \throws EDatabaseError while open.
    void SetKeyRangeCursor(bool Value);

    using TODBCDataSet::ActivateFilter;
    using TODBCDataSet::ActivateIndex;
    using TODBCDataSet::FilterParams;
    using TODBCDataSet::Indexed;
    using TODBCDataSet::IndexParams;
    using TODBCDataSet::SetActiveIndex;
    using TODBCDataSet::SetFilterParams;
    using TODBCDataSet::SetIndexParams;
    void SetIndexed(bool Value) { SetActiveIndex(Value); }

    /// Fills FieldDefs without leaving the table open.
    /// \throws EDatabaseError "Missing TableName property"
    void InitFieldDefs() override;
    /// The master link's data source (nil unless code wires the link).
    TDataSource* GetDataSource() override;
    void DataEvent(TDataEvent Event, std::intptr_t Info) override;
    TODBCMasterDataLink* MasterLink() const { return FMasterLink.get(); }

protected:
    /// \throws EDatabaseError "Missing TableName property"
    odbc::HStmt CreateHandle() override;
    /// Allocates, builds the text with its clauses, prepares it and builds
    /// the engine cursor; answers the statement.
    odbc::HStmt GetHandle();
    void DestroyHandle() override;
    bool GetCanModify() override;

private:
    String FTableName;
    bool FReadOnly = false;
    bool FKeyRangeCursor = false;
    std::unique_ptr<TODBCMasterDataLink> FMasterLink;
};

}  // namespace velora
