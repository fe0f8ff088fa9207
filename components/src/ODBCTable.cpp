// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCTable: the statement of a whole table, its field definitions without
// opening, and the read-only switch; and the published properties of the
// dataset classes for form files.
#include "velora/components/ODBCTable.h"

#include "velora/components/ODBCconst.h"
#include "velora/engine/ODBCCursor.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/engine/SQLText.h"
#include "velora/odbc/ODBCBoundary.h"
#include "velora/classes/TypInfo.h"

namespace velora {

TODBCTable::TODBCTable(TComponent* AOwner)
    : TODBCDataSet(AOwner), FMasterLink(std::make_unique<TODBCMasterDataLink>(this)) {}

TODBCTable::~TODBCTable() = default;

void TODBCTable::SetTableName(const String& Value) {
    CheckInactive();
    FTableName = Value;
    DataEvent(dePropertyChange, 0);
}

void TODBCTable::SetReadOnly(bool Value) {
    CheckInactive();
    FReadOnly = Value;
}

void TODBCTable::SetKeyRangeCursor(bool Value) {
    CheckInactive();
    FKeyRangeCursor = Value;
}

SQLHSTMT TODBCTable::CreateHandle() {
    if (FTableName.empty()) DatabaseError(SNoTableName);
    return GetHandle();
}

SQLHSTMT TODBCTable::GetHandle() {
    const ODBCOpenMode openMode = FReadOnly ? ODBCREADONLY : ODBCREADWRITE;
    // The name goes into the statement as given: it must be a name and
    // nothing else (no second statement, no comment).
    if (!IsValidTableName(FTableName, IdentifierQuoteChar(GetDBHandle())))
        DatabaseErrorFmt(SInvalidTableName, FTableName);
    SetStmtText("SELECT * FROM " + FTableName);
    TODBCStmtOwner stmt(ODBCAllocStmt(GetDBHandle()));
    try {
        TStmt record;
        GetStmtRecord(record);
        CheckClauses(record);
        String text;
        ODBCBuildStmtText(record, text);
        std::uint8_t cursorMode = Database()->CursorMode();
        // Our cursor library serves the statement on any connection, and the
        // engine takes its road (positioned statements the library carries out).
        if (FKeyRangeCursor && !UniDirectional() && cursorMode != cmForwardOnly) {
            odbc::UseKeyRangeCursor(stmt.get());
            cursorMode = cmCursorLibrary;
        }
        text = CursorText(text, cursorMode == cmKeyset && openMode == ODBCREADWRITE && !UniDirectional());
        ODBCPrepareStmt(stmt.get(), text, openMode, UniDirectional(), cursorMode);
        SetEngine(std::make_unique<TODBC>(GetDBHandle(), stmt.get(), FTableName, cursorMode));
        SetActiveStmtText(text);
    } catch (...) {
        SetEngine(nullptr);
        // psqlODBC keeps the result of a describe that failed (a statement
        // text the server refused) past the statement's release unless the
        // statement is closed first; the owner frees it.
        odbc::SQLFreeStmt(stmt.get(), SQL_CLOSE);
        throw;
    }
    return stmt.release();
}

void TODBCTable::DestroyHandle() { TODBCDataSet::DestroyHandle(); }

void TODBCTable::InitFieldDefs() {
    SetDBFlag(flagFieldList, true);
    try {
        if (FTableName.empty()) DatabaseError(SNoTableName);
        FieldDefs()->Clear();
        if (Active()) {
            const std::vector<TODBCFldDesc>& columns = Engine()->Columns;
            for (std::size_t i = 0; i < columns.size(); ++i)
                AddFieldDesc(columns[i], false, static_cast<std::uint16_t>(i + 1));
        } else {
            DisableControls();
            try {
                Open();
            } catch (...) {
                try {
                    Close();
                } catch (...) {}
                EnableControls();
                throw;
            }
            Close();
            EnableControls();
        }
    } catch (...) {
        SetDBFlag(flagFieldList, false);
        throw;
    }
    SetDBFlag(flagFieldList, false);
}

bool TODBCTable::GetCanModify() { return TODBCDataSet::GetCanModify() && !FReadOnly; }

TDataSource* TODBCTable::GetDataSource() { return FMasterLink->DataSource(); }

void TODBCTable::DataEvent(TDataEvent Event, std::intptr_t Info) { TODBCDataSet::DataEvent(Event, Info); }

namespace detail {

void RegisterODBCDataSetClasses(const TEnumInfo& about) {
    RegisterDBClasses();
    RegisterClass<TODBCDataSet>("TODBCDataSet", "TDataSet")
        .EnumProp("About", about, &TODBCDataSet::GetAbout, &TODBCDataSet::SetAbout)
        .NeverStored()
        .ComponentProp("Database", &TODBCDataSet::GetDataBase, &TODBCDataSet::SetDataBase)
        .IntegerProp("RowSetSize", &TODBCDataSet::RowSetSize, &TODBCDataSet::SetRowSetSize)
        .Default(20)
        .BooleanProp("UniDirectional", &TODBCDataSet::UniDirectional, &TODBCDataSet::SetUniDirectional)
        .Default(false)
        .IntegerProp("QueryTimeout", &TODBCDataSet::QueryTimeout, &TODBCDataSet::SetQueryTimeout)
        .Default(0)
        .EventProp("OnUpdateError", &TODBCDataSet::OnUpdateError)
        .EventProp("OnUpdateRecord", &TODBCDataSet::OnUpdateRecord);
    RegisterClass<TODBCTable>("TODBCTable", "TODBCDataSet")
        .BooleanProp("Filtered", &TODBCTable::Filtered, &TODBCTable::SetFiltered)
        .Default(false)
        .ObjectProp("FilterParams", &TODBCTable::FilterParams)
        // Indexed is always written.
        .BooleanProp("Indexed", &TODBCTable::Indexed, &TODBCTable::SetIndexed)
        .ObjectProp("IndexParams", &TODBCTable::IndexParams)
        .BooleanProp("ReadOnly", &TODBCTable::ReadOnly, &TODBCTable::SetReadOnly)
        .Default(false)
        .BooleanProp("KeyRangeCursor", &TODBCTable::KeyRangeCursor, &TODBCTable::SetKeyRangeCursor)
        .Default(false)
        .StringProp("TableName", &TODBCTable::TableName, &TODBCTable::SetTableName);
}

}  // namespace detail

}  // namespace velora
