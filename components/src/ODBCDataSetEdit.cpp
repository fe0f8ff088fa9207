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
#include "velora/engine/ODBCCursor.h"

namespace velora {

TCreateProviderProc CreateProviderProc = nullptr;

// ---------------------------------------------------------------------------
// Editing steps

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
        // A new row needs no current row; where it shows is the data
        // source's business (the driver's cursor lists it last, the cursor
        // library once the statement runs again). Its long values travel
        // with it.
        PendModifiedBlobs();
        FEngine->InsertRecord(ActiveBuffer());
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
