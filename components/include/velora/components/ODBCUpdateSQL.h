// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCUpdateSQL: writes the current record of a dataset through three
// statements of its own (modify, insert, delete), each run by an internal
// query on the dataset's database. A parameter named OLD_<field> takes the
// field's value from before the edit, unless a field has the parameter's whole
// name.
//
// The application drives it while the dataset stands on the record:
//   modify/insert: Edit or Insert, assign the fields, Apply(ukModify or
//                  ukInsert), then Cancel (the dataset itself writes nothing);
//   delete:        Apply(ukDelete) in browse state, then Refresh.
// Each statement must touch exactly one row. A modify or delete that touches
// another count is undone before "Update failed" is raised: outside an
// application transaction it runs in a transaction of its own, inside one it
// runs behind a savepoint, so the application's transaction stays usable.
#pragma once

#include "velora/classes/Classes.h"
#include "velora/components/ODBCDataSet.h"

#include <array>
#include <memory>

namespace velora {

class TODBCParam;
class TODBCQuery;

class TODBCUpdateSQL : public TODBCDataSetUpdateObject {
public:
    /// Three empty statement lists; the internal queries are made on first use.
    explicit TODBCUpdateSQL(TComponent* AOwner);
    /// Detaches from the dataset it serves; never throws.
    ~TODBCUpdateSQL() override;

    TODBCDataSet* GetDataSet() override { return FDataSet; }
    /// Called by the dataset's SetUpdateObject, which keeps both sides paired.
    void SetDataSet(TODBCDataSet* Value) override;
    TODBCDataSet* DataSet() const { return FDataSet; }

    TStrings* GetSQL(TUpdateKind UpdateKind) const { return GetSQLIndex(UpdateKind); }
    void SetSQL(TUpdateKind UpdateKind, TStrings* Value) { SetSQLIndex(UpdateKind, Value); }
    TStrings* GetSQLIndex(int Index) const;
    void SetSQLIndex(int Index, TStrings* Value);
    TStrings* ModifySQL() const { return GetSQLIndex(ukModify); }
    TStrings* InsertSQL() const { return GetSQLIndex(ukInsert); }
    TStrings* DeleteSQL() const { return GetSQLIndex(ukDelete); }
    void SetModifySQL(TStrings* Value) { SetSQLIndex(ukModify, Value); }
    void SetInsertSQL(TStrings* Value) { SetSQLIndex(ukInsert, Value); }
    void SetDeleteSQL(TStrings* Value) { SetSQLIndex(ukDelete, Value); }

    /// The internal query of the kind, made when missing; its database is the
    /// dataset's current one (a query made for another database is
    /// disconnected and moved).
    /// \throws EDatabaseError "No dataset assigned to update object '%s'"
    ///         without a dataset; "The database property of '%s' must be
    ///         linked to an ODBCDataBase" when the dataset has no database.
    TODBCQuery* GetQuery(TUpdateKind UpdateKind);
    /// The change event of the statement lists: the kind's query, when made,
    /// takes the new text and rebuilds its parameters.
    void SQLChanged(TObject* Sender);
    /// Fills the parameters of the kind's query from the dataset's fields:
    /// decimals, dates, times and time stamps in their exact stored form
    /// (TODBCDataSet::GetFieldExactValue), every other field as its value.
    void SetParams(TUpdateKind UpdateKind);
    /// Runs the kind's statement; "Update failed" when it touched other than
    /// one row (undone first, whatever the kind).
    void ExecSQL(TUpdateKind UpdateKind);
    /// SetParams, then ExecSQL.
    void Apply(TUpdateKind UpdateKind) override;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    TODBCDataSet* FDataSet = nullptr;
    std::array<TODBCQuery*, 3> FQuery{};
    std::array<std::unique_ptr<TStringList>, 3> FSQL;

    void CheckDataSet() const;
    std::int32_t RunCounted(TUpdateKind UpdateKind, TODBCQuery* Query);
    std::int32_t MatchedRows(TODBCQuery* Query);
    bool AssignExact(TODBCParam* Param, TField* Field, bool Old);
};

/// Registers TODBCUpdateSQL for form files (idempotent; also done at start-up).
void RegisterODBCUpdateSQLClasses();

}  // namespace velora
