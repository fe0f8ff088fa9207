// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCDataSet, writing records back: the framework's post, add and delete
// steps handed to the engine's positioned insert, update and delete, the
// pairing with an update object, the cached-update hooks and the provider.
//
// The framework brings the cursor to the record before each step
// (UpdateCursorPos); the engine raises EODBCError with the data source's
// diagnostics when a write is refused, and then leaves its cache as the row
// was read. The framework's Post leaves the record in its edit state when
// InternalPost raises, so the values the user gave stay for a corrected try.
#include "velora/components/ODBCDataSet.h"

#include "velora/components/ODBCconst.h"
#include "velora/components/ODBCCatalog.h"
#include "velora/engine/ODBCCursor.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace velora {

TCreateProviderProc CreateProviderProc = nullptr;

// ---------------------------------------------------------------------------
// Editing steps

namespace {

/// A decimal held as text, read as a number ("814.5" and "814.50" agree).
bool SameDecimalText(const char* a, const char* b) {
    char* endA = nullptr;
    char* endB = nullptr;
    const double x = std::strtod(a, &endA);
    const double y = std::strtod(b, &endB);
    return *endA == 0 && *endB == 0 ? x == y : std::strcmp(a, b) == 0;
}

/// Whether column `d` of `row` holds what the written record gave it. A
/// column the record left NULL (the data source's default or serial key
/// applies) matches anything; long columns are not compared.
bool SameWrittenValue(const TODBCFldDesc& d, const std::byte* written, const std::byte* row) {
    if (d.FldType == fcBlob || d.Len == 0) return true;
    const std::int32_t given = ODBCGetIndicator(written, d);
    if (given < 0) return true;
    if (ODBCGetIndicator(row, d) < 0) return false;
    const auto* a = reinterpret_cast<const char*>(written + d.Offset);
    const auto* b = reinterpret_cast<const char*>(row + d.Offset);
    // The data source may keep fewer digits of a fraction: the row found by
    // the other columns is the one.
    if (d.FldType == fcTimeStamp || d.FldType == fcDate || d.FldType == fcTime) return true;
    // Otherwise by the form the value is held in.
    switch (d.CType) {
        case SQL_C_CHAR:
            return d.FldType == fcFloat ? SameDecimalText(a, b) : std::strncmp(a, b, d.Len) == 0;
        case SQL_C_BINARY:
            return ODBCGetIndicator(row, d) == given &&
                   std::memcmp(a, b, std::min<std::size_t>(static_cast<std::size_t>(given), d.Len)) == 0;
        default:
            return std::memcmp(a, b, d.Len) == 0;
    }
}

/// After a new row was written from `Record`: makes it the cursor's current
/// row, so the record posted stays shown and current. The cursor-library
/// road runs the statement again first (its result does not hold the row
/// yet). Never raises: the row is written whatever this finds.
void GoToInsertedRow(TODBCDataSet& DataSet, const std::vector<std::byte>& Record) {
    TODBC* engine = DataSet.Engine();
    if (DataSet.UniDirectional() || !engine) return;
    try {
        if (engine->CursorMode != cmKeyset) engine->Requery(String(), false);
        // The primary key identifies the row when the record gave all of it;
        // else every column the record gave a value.
        std::vector<bool> compared(engine->Columns.size(), true);
        if (DataSet.Database()) {
            std::vector<String> key;
            try {
                key = ODBCPrimaryKey(*DataSet.Database(), engine->GetTableName());
            } catch (const Exception&) {
                key.clear();  // no answer from the catalog: every given value is compared
            }
            std::vector<bool> inKey(engine->Columns.size(), false);
            bool whole = !key.empty();
            for (const String& name : key) {
                bool found = false;
                for (std::size_t i = 0; i < engine->Columns.size(); ++i) {
                    const TODBCFldDesc& d = engine->Columns[i];
                    if (!SameText(d.GetName(), name)) continue;
                    found = d.FldType != fcBlob && ODBCGetIndicator(Record.data(), d) >= 0;
                    inKey[i] = true;
                }
                whole = whole && found;
            }
            if (whole) compared = inKey;
        }
        // The newest row is most often the last: search from the end.
        std::vector<std::byte> row(static_cast<std::size_t>(std::max(engine->RowSize, engine->RecordSize())));
        engine->SetToEnd();
        while (engine->GetPriorRecord(row.data()) == ODBCRecOK) {
            bool same = true;
            for (std::size_t i = 0; i < engine->Columns.size() && same; ++i)
                if (compared[i]) same = SameWrittenValue(engine->Columns[i], Record.data(), row.data());
            if (same) return;
        }
        // Not found (a filter that leaves it out): the cursor stands before
        // the first row, where the framework finds the nearest one.
        engine->SetToBegin(false);
    } catch (const Exception&) {
        // The row is written; showing it is all that failed.
    }
}

}  // namespace

void TODBCDataSet::InternalPost() {
    if (State() == dsEdit) {
        // The engine writes over its current row: make sure that is the row
        // being edited, whatever read the cursor since the edit began.
        InternalSetToRecord(ActiveBuffer());
        // Only the columns the user assigned are written; with none, the
        // row's own columns stay as they are.
        if (FEngine->HasAssigned()) FEngine->ModifyRecord(ActiveBuffer());
        FEngine->ClearAssigned();
        // Long values written through streams go once the row took the
        // others, so a refused row leaves them as they were.
        WriteModifiedBlobs();
    } else {
        // A new row needs no current row. Where it shows is the data
        // source's business (the driver's cursor lists it last, the cursor
        // library once the statement runs again): it is found there and made
        // current, so the record posted is the record shown. Its long values
        // travel with it.
        PendModifiedBlobs();
        const auto* record = reinterpret_cast<const std::byte*>(ActiveBuffer());
        const std::vector<std::byte> written(record, record + FEngine->RecordSize());
        FEngine->InsertRecord(ActiveBuffer());
        GoToInsertedRow(*this, written);
    }
}

void TODBCDataSet::InternalAddRecord(const void* Buffer, bool /*Append*/) {
    // Adding at the end and inserting are the same to the data source.
    FEngine->InsertRecord(Buffer);
}

void TODBCDataSet::InternalDelete() { FEngine->DeleteRecord(FUniDirectional); }

void TODBCDataSet::Post() {
    // Streams still writing post what they have written so far; once the
    // record left its edit, they write to no record.
    if (State() == dsEdit || State() == dsInsert) FlushBlobStreams();
    TDataSet::Post();
    if (State() != dsEdit && State() != dsInsert) DetachBlobStreams();
}

void TODBCDataSet::Cancel() {
    const bool inserting = State() == dsInsert;
    DetachBlobStreams();
    TDataSet::Cancel();
    // Long values written for the abandoned record must not travel with the
    // next one.
    if (inserting && FEngine) FEngine->ClearPendingBlobs();
}

Variant TODBCDataSet::GetStateFieldValue(TDataSetState State, TField* Field) {
    // GetOldRecord answers by the state the value was asked from.
    struct TRestore {
        TDataSetState& Slot;
        TDataSetState Saved;
        ~TRestore() { Slot = Saved; }
    } restore{FOuterState, FOuterState};
    FOuterState = this->State();
    return TDataSet::GetStateFieldValue(State, Field);
}

void TODBCDataSet::SetStateFieldValue(TDataSetState State, TField* Field, const Variant& Value) {
    TDataSet::SetStateFieldValue(State, Field, Value);
}

// ---------------------------------------------------------------------------
// Update object, cached updates, provider

void TODBCDataSet::SetUpdateObject(TODBCDataSetUpdateObject* Value) {
    if (Value == FUpdateObject) return;
    if (FUpdateObject) {
        TODBCDataSetUpdateObject* previous = FUpdateObject;
        FUpdateObject = nullptr;
        RemoveFreeNotification(previous);
        if (previous->GetDataSet() == this) previous->SetDataSet(nullptr);
    }
    FUpdateObject = Value;
    if (!Value) return;
    FreeNotification(Value);
    // An object serves one dataset: the one it served before lets it go.
    TODBCDataSet* other = Value->GetDataSet();
    if (other && other != this) other->SetUpdateObject(nullptr);
    Value->SetDataSet(this);
}

void TODBCDataSet::Notification(TComponent* AComponent, TOperation Operation) {
    TDataSet::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FUpdateObject) FUpdateObject = nullptr;
}

void TODBCDataSet::BeforeDestruction() {
    // The update object outlives the dataset only without a dangling link.
    if (FUpdateObject) {
        TODBCDataSetUpdateObject* object = FUpdateObject;
        FUpdateObject = nullptr;
        RemoveFreeNotification(object);
        if (object->GetDataSet() == this) object->SetDataSet(nullptr);
    }
    FProvider.reset();
    TDataSet::BeforeDestruction();
}

void TODBCDataSet::ApplyUpdates() {
    if (!FUpdateObject) DatabaseError(SNoUpdateObject);
}

TODBCProviderRef TODBCDataSet::GetProvider() {
    if (!FProvider) {
        if (!CreateProviderProc) DatabaseError(SNoProvider);
        FProvider = CreateProviderProc(this);
    }
    return FProvider;
}

}  // namespace velora
