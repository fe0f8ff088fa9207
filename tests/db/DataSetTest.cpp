// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The dataset framework driven through an in-memory descendant: navigation in
// both directions with windows of several sizes, bookmarks, the order in
// which editing calls the cursor operations (the cursor is brought to the
// active record before InternalEdit, InternalPost and InternalDelete; Resync
// tries the current record first), error handlers, required and read-only
// checks, Refresh, OldValue/NewValue, calculated and lookup fields, Locate and
// Lookup, field binding, and the default packed-decimal conversions.
#include "support/MemDataSet.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace velora::test {
namespace {

TMemDataSet* MakeItems(TComponent* owner, int rows) {
    auto* ds = new TMemDataSet(owner);
    ds->SetName("Items");
    ds->FieldDefs()->Add("ID", ftInteger, 0, true);
    ds->FieldDefs()->Add("NAME", ftString, 20);
    ds->FieldDefs()->Add("PRICE", ftFloat);
    for (int i = 1; i <= rows; ++i) ds->AddRow({Variant(i), Variant("item" + IntToStr(i)), Variant(i * 1.5)});
    return ds;
}

int ActiveId(TDataSet* ds) { return ds->FieldByName("ID")->AsInteger(); }

std::vector<int> StoredIds(TMemDataSet* ds) {
    std::vector<int> ids;
    for (int i = 0; i < ds->StoredCount(); ++i) ids.push_back(ds->StoredValue(i, "ID").AsInteger());
    return ids;
}

/// Position of the first call equal to `call` at or after `from`, or -1.
int Find(const std::vector<String>& calls, const String& call, int from = 0) {
    for (int i = from; i < static_cast<int>(calls.size()); ++i)
        if (calls[static_cast<std::size_t>(i)] == call) return i;
    return -1;
}

/// The calls without GetRecord entries.
std::vector<String> WithoutFetches(const std::vector<String>& calls) {
    std::vector<String> out;
    for (const String& c : calls)
        if (c.rfind("GetRecord(", 0) != 0) out.push_back(c);
    return out;
}

void LogEvents(TMemDataSet* ds) {
    auto log = [ds](const char* name) { return [ds, name](TDataSet*) { ds->Calls.push_back(name); }; };
    ds->BeforeOpen = log("BeforeOpen");
    ds->AfterOpen = log("AfterOpen");
    ds->BeforeClose = log("BeforeClose");
    ds->AfterClose = log("AfterClose");
    ds->BeforeInsert = log("BeforeInsert");
    ds->AfterInsert = log("AfterInsert");
    ds->BeforeEdit = log("BeforeEdit");
    ds->AfterEdit = log("AfterEdit");
    ds->BeforePost = log("BeforePost");
    ds->AfterPost = log("AfterPost");
    ds->BeforeCancel = log("BeforeCancel");
    ds->AfterCancel = log("AfterCancel");
    ds->BeforeDelete = log("BeforeDelete");
    ds->AfterDelete = log("AfterDelete");
    ds->BeforeScroll = log("BeforeScroll");
    ds->AfterScroll = log("AfterScroll");
    ds->OnNewRecord = log("OnNewRecord");
}

// A grid-like link that keeps a window of `count` records.
struct Grid {
    TDataSource* Source;
    TRecordingDataLink Link;
    Grid(TComponent* owner, TDataSet* ds, int count) : Source(new TDataSource(owner)) {
        Source->SetDataSet(ds);
        Link.SetBufferCount(count);
        Link.SetDataSource(Source);
    }
};

// ---------------------------------------------------------------------------
// Navigation

TEST(DataSetNavigation, WalksBothWaysWithEveryWindowSize) {
    for (int window : {1, 2, 3, 7, 12}) {
        SCOPED_TRACE("window " + IntToStr(window));
        Owner o;
        TMemDataSet* ds = MakeItems(o.Root, 10);
        Grid grid(o.Root, ds, window);
        ds->Open();
        EXPECT_TRUE(ds->Bof());
        EXPECT_FALSE(ds->Eof());
        EXPECT_EQ(ds->BufferCount(), window);
        EXPECT_EQ(ds->WindowRecordCount(), std::min(window, 10));
        for (int id = 1; id <= 10; ++id) {
            EXPECT_EQ(ActiveId(ds), id);
            ds->Next();
        }
        EXPECT_TRUE(ds->Eof());
        EXPECT_EQ(ActiveId(ds), 10) << "Next at the end stays on the last record";
        for (int id = 10; id >= 1; --id) {
            EXPECT_EQ(ActiveId(ds), id);
            ds->Prior();
        }
        EXPECT_TRUE(ds->Bof());
        EXPECT_EQ(ActiveId(ds), 1);
        EXPECT_EQ(ds->MoveBy(4), 4);
        EXPECT_EQ(ActiveId(ds), 5);
        EXPECT_EQ(ds->MoveBy(-10), -4);
        EXPECT_TRUE(ds->Bof());
        ds->Last();
        EXPECT_TRUE(ds->Eof());
        EXPECT_EQ(ActiveId(ds), 10);
        EXPECT_EQ(ds->MoveBy(-3), -3);
        EXPECT_EQ(ActiveId(ds), 7);
        EXPECT_EQ(ds->MoveBy(100), 3);
        EXPECT_EQ(ActiveId(ds), 10);
        ds->First();
        EXPECT_EQ(ActiveId(ds), 1);
        // The window always holds consecutive records around the active one.
        EXPECT_LE(ds->ActiveRecord(), ds->WindowRecordCount() - 1);
    }
}

TEST(DataSetNavigation, EmptyDataSetIsAtBothEnds) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 0);
    ds->Open();
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_TRUE(ds->Bof());
    EXPECT_TRUE(ds->Eof());
    EXPECT_TRUE(ds->FieldByName("NAME")->IsNull());
    EXPECT_EQ(ds->MoveBy(1), 0);
    ds->Last();
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_TRUE(ds->GetBookmark().empty());
    EXPECT_EQ(ds->RecordCount(), 0);
}

TEST(DataSetNavigation, ClosedDataSetRefusesNavigationAndEditing) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 3);
    const String closed = "Cannot perform this operation on a closed dataset";
    EXPECT_EQ(ErrorOf([&] { ds->First(); }), closed);
    EXPECT_EQ(ErrorOf([&] { ds->Next(); }), closed);
    EXPECT_EQ(ErrorOf([&] { ds->Edit(); }), closed);
    EXPECT_EQ(ErrorOf([&] { ds->Delete(); }), closed);
    ds->Open();
    EXPECT_EQ(ErrorOf([&] { ds->Post(); }), "Dataset not in edit or insert mode");
    EXPECT_EQ(ErrorOf([&] { ds->FieldByName("NAME")->SetAsString("x"); }), "Dataset not in edit or insert mode");
    EXPECT_EQ(ErrorOf([&] { ds->CheckInactive(); }), "Cannot perform this operation on an open dataset");
}

TEST(DataSetNavigation, OpenAndCloseRunTheirEventsAroundTheCursor) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 2);
    ds->LogGetRecord = false;
    LogEvents(ds);
    ds->Open();
    ds->Close();
    std::vector<String> expected = {"BeforeOpen",  "InternalOpen", "InternalInitFieldDefs", "AfterOpen",
                                    "AfterScroll", "BeforeClose",  "InternalClose",         "AfterClose"};
    EXPECT_EQ(ds->Calls, expected);
    EXPECT_EQ(ds->State(), dsInactive);
    EXPECT_EQ(ds->FieldCount(), 0) << "default fields go with the cursor";
}

TEST(DataSetNavigation, FailingOpenLeavesTheDataSetClosed) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 2);
    ds->FailHook = [](const String& op) {
        if (op == "InternalOpen") DatabaseError("cannot open");
    };
    EXPECT_EQ(ErrorOf([&] { ds->Open(); }), "cannot open");
    EXPECT_FALSE(ds->Active());
    EXPECT_EQ(Find(ds->Calls, "InternalClose"), static_cast<int>(ds->Calls.size()) - 1);
    ds->FailHook = nullptr;
    ds->Open();
    EXPECT_EQ(ActiveId(ds), 1);
}

// ---------------------------------------------------------------------------
// Bookmarks

TEST(DataSetBookmarks, GoBackToTheMarkedRecord) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 8);
    Grid grid(o.Root, ds, 3);
    ds->Open();
    ds->MoveBy(5);
    TBookmark mark = ds->GetBookmark();
    ASSERT_EQ(mark.size(), 8u);
    EXPECT_EQ(TMemDataSet::BookmarkId(mark), ds->RowId(5));
    ds->First();
    ds->GotoBookmark(mark);
    EXPECT_EQ(ActiveId(ds), 6);
    EXPECT_TRUE(ds->BookmarkValid(mark));
    TBookmark first;
    ds->First();
    first = ds->GetBookmark();
    EXPECT_EQ(ds->CompareBookmarks(first, mark), -1);
    EXPECT_EQ(ds->CompareBookmarks(mark, first), 1);
    EXPECT_EQ(ds->CompareBookmarks(mark, mark), 0);
    EXPECT_EQ(ds->CompareBookmarks(TBookmark{}, mark), -1);
    ds->FreeBookmark(first);
    EXPECT_TRUE(first.empty());
    ds->GotoBookmark(first);  // an empty bookmark goes nowhere
    EXPECT_EQ(ActiveId(ds), 1);
}

TEST(DataSetBookmarks, OnlyTheWrittenBytesDecide) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 4);
    ds->Open();
    ds->Next();
    TBookmark mark = ds->GetBookmark();
    TBookmark noisy = mark;
    noisy[6] = 0x5A;  // bytes the cursor never writes
    EXPECT_EQ(ds->CompareBookmarks(mark, noisy), 0);
    EXPECT_TRUE(ds->BookmarkValid(noisy));
    // The framework's default compares every byte: descendants whose
    // bookmarks carry unwritten bytes must override it, as this one does.
    EXPECT_NE(ds->TDataSet::CompareBookmarks(mark, noisy), 0);
    EXPECT_TRUE(ds->TDataSet::BookmarkValid(mark));
    EXPECT_FALSE(ds->TDataSet::BookmarkValid(TBookmark(3, 0)));
}

TEST(DataSetBookmarks, BookmarkOfADeletedRecordIsInvalid) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 4);
    ds->Open();
    ds->MoveBy(2);
    TBookmark mark = ds->GetBookmark();
    ds->Delete();
    EXPECT_FALSE(ds->BookmarkValid(mark));
    ds->First();
    EXPECT_EQ(ErrorOf([&] { ds->GotoBookmark(mark); }), "Record not found");
    ds->Close();
    EXPECT_FALSE(ds->BookmarkValid(mark));
}

// ---------------------------------------------------------------------------
// The order of the cursor operations while editing

TEST(DataSetEditing, EditBringsTheCursorToTheActiveRecordFirst) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 6);
    Grid grid(o.Root, ds, 3);
    LogEvents(ds);
    ds->Open();  // the window holds 1..3; the cursor sits on 3, the active record is 1
    ds->Calls.clear();
    ds->Edit();
    std::vector<String> expected = {"BeforeEdit", "InternalSetToRecord(1)", "InternalEdit", "AfterEdit"};
    EXPECT_EQ(WithoutFetches(ds->Calls), expected);
    EXPECT_EQ(ds->State(), dsEdit);
    ds->FieldByName("NAME")->SetAsString("renamed");
    // Growing the window moves the cursor away from the active record.
    grid.Link.SetBufferCount(5);
    EXPECT_EQ(ds->CursorPos(), 4);
    ds->Calls.clear();
    ds->Post();
    expected = {"BeforePost", "InternalSetToRecord(1)", "InternalPost(edit)", "AfterPost"};
    EXPECT_EQ(WithoutFetches(ds->Calls), expected);
    EXPECT_EQ(ds->StoredValue(0, "NAME").AsString(), "renamed");
    EXPECT_EQ(ds->StoredValue(3, "NAME").AsString(), "item4") << "no other row was touched";
    EXPECT_EQ(ActiveId(ds), 1);
}

TEST(DataSetEditing, DeleteActsOnTheActiveRecordAndResyncTriesTheCurrentRecordFirst) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 5);
    Grid grid(o.Root, ds, 3);
    ds->Open();
    ds->Next();  // active 2, cursor still on 3
    ds->Calls.clear();
    ds->Delete();
    int set = Find(ds->Calls, "InternalSetToRecord(2)");
    int del = Find(ds->Calls, "InternalDelete");
    ASSERT_GE(set, 0);
    ASSERT_EQ(del, set + 1);
    EXPECT_EQ(ds->Calls[static_cast<std::size_t>(del + 1)], "GetRecord(gmCurrent)=grOK");
    EXPECT_EQ(StoredIds(ds), (std::vector<int>{1, 3, 4, 5}));
    EXPECT_EQ(ActiveId(ds), 3);

    // Deleting the last record: current and next fail, prior succeeds.
    ds->Last();
    ds->Calls.clear();
    ds->Delete();
    del = Find(ds->Calls, "InternalDelete");
    std::vector<String> resync(ds->Calls.begin() + del + 1, ds->Calls.begin() + del + 4);
    EXPECT_EQ(resync, (std::vector<String>{"GetRecord(gmCurrent)=grEOF", "GetRecord(gmNext)=grEOF",
                                           "GetRecord(gmPrior)=grOK"}));
    EXPECT_EQ(ActiveId(ds), 4);
}

TEST(DataSetEditing, DeletingTheOnlyRecordLeavesAnEmptyDataSet) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 1);
    ds->Open();
    ds->Delete();
    EXPECT_TRUE(ds->IsEmpty());
    EXPECT_TRUE(ds->Eof());
    EXPECT_EQ(ErrorOf([&] { ds->Delete(); }), "Cannot perform this operation on an empty dataset");
}

TEST(DataSetEditing, InsertPlacesTheRecordBeforeTheActiveOne) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 5);
    Grid grid(o.Root, ds, 4);
    LogEvents(ds);
    ds->Open();
    ds->MoveBy(2);  // active 3
    ds->Calls.clear();
    ds->Insert();
    EXPECT_EQ(ds->State(), dsInsert);
    EXPECT_TRUE(ds->FieldByName("NAME")->IsNull()) << "a new record starts empty";
    EXPECT_TRUE(ds->GetBookmark().empty()) << "a new record has no bookmark";
    std::vector<String> expected = {"BeforeInsert",       "BeforeScroll", "InternalSetToRecord(3)",
                                    "InternalInitRecord", "OnNewRecord",  "AfterInsert",
                                    "AfterScroll"};
    EXPECT_EQ(WithoutFetches(ds->Calls), expected);
    ds->FieldByName("ID")->SetAsInteger(99);
    ds->FieldByName("NAME")->SetAsString("new");
    ds->Post();
    EXPECT_EQ(StoredIds(ds), (std::vector<int>{1, 2, 99, 3, 4, 5}));
    EXPECT_EQ(ActiveId(ds), 99);
    ds->Next();
    EXPECT_EQ(ActiveId(ds), 3);
    for (const String& call : ds->Calls) EXPECT_NE(call, "InternalSetToRecord(-1)");
}

TEST(DataSetEditing, AppendAddsAtTheEnd) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 3);
    Grid grid(o.Root, ds, 2);
    ds->Open();
    ds->Calls.clear();
    ds->Append();
    EXPECT_EQ(Find(ds->Calls, "InternalLast"), Find(ds->Calls, "InternalInitRecord") + 1)
        << "the window is rebuilt backwards from the end";
    EXPECT_EQ(ds->WindowRecordCount(), 2);
    ds->FieldByName("ID")->SetAsInteger(4);
    ds->Post();
    EXPECT_EQ(StoredIds(ds), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(ActiveId(ds), 4);
    EXPECT_FALSE(ds->Eof());
    ds->Prior();
    EXPECT_EQ(ActiveId(ds), 3);
}

TEST(DataSetEditing, InsertIntoAnEmptyDataSet) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 0);
    ds->Open();
    ds->Edit();  // on an empty dataset Edit inserts
    EXPECT_EQ(ds->State(), dsInsert);
    ds->FieldByName("ID")->SetAsInteger(1);
    ds->Post();
    ds->Insert();
    ds->FieldByName("ID")->SetAsInteger(2);
    ds->Post();
    EXPECT_EQ(StoredIds(ds), (std::vector<int>{2, 1}));
    EXPECT_EQ(ActiveId(ds), 2);
}

TEST(DataSetEditing, CancelOfAnInsertReturnsToTheRecordItStoodBefore) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 8);
    Grid grid(o.Root, ds, 3);
    ds->Open();
    ds->Next();  // active 2
    ds->Insert();
    // A larger window fetches more records and moves the cursor to the end.
    grid.Link.SetBufferCount(5);
    EXPECT_EQ(ds->CursorPos(), 3);
    ds->Calls.clear();
    ds->Cancel();
    int go = Find(ds->Calls, "InternalGotoBookmark(2)");
    ASSERT_GE(go, 0) << "the cursor goes back to the record the new one stood before";
    EXPECT_LT(go, Find(ds->Calls, "InternalCancel"));
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ActiveId(ds), 2);
    EXPECT_EQ(ds->StoredCount(), 8);
    ds->Prior();
    EXPECT_EQ(ActiveId(ds), 1);
}

TEST(DataSetEditing, CheckBrowseModeCancelsAnUnchangedRecordAndPostsAChangedOne) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 3);
    ds->OnNewRecord = [](TDataSet* d) { d->FieldByName("ID")->SetAsInteger(42); };
    ds->Open();
    ds->Append();
    EXPECT_FALSE(ds->Modified()) << "values set by OnNewRecord do not count as a change";
    ds->Next();  // CheckBrowseMode cancels
    EXPECT_EQ(ds->StoredCount(), 3);
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("changed");
    EXPECT_TRUE(ds->Modified());
    ds->First();  // CheckBrowseMode posts
    EXPECT_EQ(ds->StoredValue(2, "NAME").AsString(), "changed");
}

TEST(DataSetEditing, ErrorHandlersRetryAbortOrFail) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 3);
    ds->Open();
    int failures = 1;
    ds->FailHook = [&](const String& op) {
        if (op == "InternalPost" && failures-- > 0) DatabaseError("deadlock");
    };
    std::vector<String> seen;
    ds->OnPostError = [&](TDataSet*, EDatabaseError& e, TDataAction& action) {
        seen.push_back(e.Message());
        action = daRetry;
    };
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("retried");
    ds->Post();
    EXPECT_EQ(seen, std::vector<String>{"deadlock"});
    EXPECT_EQ(std::count(ds->Calls.begin(), ds->Calls.end(), "InternalPost(edit)"), 2);
    EXPECT_EQ(ds->StoredValue(0, "NAME").AsString(), "retried");

    failures = 1;
    ds->OnPostError = [](TDataSet*, EDatabaseError&, TDataAction& action) { action = daAbort; };
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("aborted");
    EXPECT_THROW(ds->Post(), EAbort);
    EXPECT_EQ(ds->State(), dsEdit) << "a failed post leaves the record in edit";

    failures = 1;
    ds->OnPostError = nullptr;
    EXPECT_EQ(ErrorOf([&] { ds->Post(); }), "deadlock");
    ds->Cancel();
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "retried");

    ds->FailHook = [](const String& op) {
        if (op == "InternalDelete") DatabaseError("in use");
    };
    int deleteErrors = 0;
    ds->OnDeleteError = [&](TDataSet*, EDatabaseError&, TDataAction&) { ++deleteErrors; };
    EXPECT_EQ(ErrorOf([&] { ds->Delete(); }), "in use");
    EXPECT_EQ(deleteErrors, 1);
    EXPECT_EQ(ds->StoredCount(), 3);

    ds->FailHook = [](const String& op) {
        if (op == "InternalEdit") DatabaseError("locked");
    };
    ds->OnEditError = [](TDataSet*, EDatabaseError&, TDataAction& action) { action = daAbort; };
    EXPECT_THROW(ds->Edit(), EAbort);
    EXPECT_EQ(ds->State(), dsBrowse);
}

TEST(DataSetEditing, RequiredAndReadOnlyFieldsAreEnforced) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 2);
    ds->Open();
    ds->FieldByName("ID")->SetDisplayLabel("Item number");
    ds->Append();
    ds->FieldByName("NAME")->SetAsString("no id");
    EXPECT_EQ(ErrorOf([&] { ds->Post(); }), "Field 'Item number' must have a value");
    EXPECT_EQ(ds->State(), dsInsert);
    EXPECT_EQ(Find(ds->Calls, "InternalPost(insert)"), -1) << "the cursor never saw the record";
    ds->FieldByName("ID")->SetAsInteger(3);
    ds->Post();
    EXPECT_EQ(ds->StoredCount(), 3);

    TField* name = ds->FieldByName("NAME");
    name->SetReadOnly(true);
    ds->Edit();
    EXPECT_EQ(ErrorOf([&] { name->SetAsString("x"); }), "Field 'NAME' cannot be modified");
    EXPECT_EQ(name->AsString(), "no id") << "a refused value leaves the buffer as it was";
    EXPECT_FALSE(name->CanModify());
    EXPECT_TRUE(ds->FieldByName("PRICE")->CanModify());
    ds->Cancel();
}

TEST(DataSetEditing, ReadOnlyDataSetRefusesEveryChange) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 2);
    ds->ReadOnlyData = true;
    ds->Open();
    const String readOnly = "Cannot modify a read-only dataset";
    EXPECT_EQ(ErrorOf([&] { ds->Edit(); }), readOnly);
    EXPECT_EQ(ErrorOf([&] { ds->Insert(); }), readOnly);
    EXPECT_EQ(ErrorOf([&] { ds->Append(); }), readOnly);
    EXPECT_EQ(ErrorOf([&] { ds->Delete(); }), readOnly);
    EXPECT_EQ(ErrorOf([&] { ds->AppendRecord({Variant(9)}); }), readOnly);
    EXPECT_EQ(ds->StoredCount(), 2);
    EXPECT_EQ(ds->State(), dsBrowse);
}

TEST(DataSetEditing, InsertAndAppendRecordPostThroughInternalAddRecord) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 3);
    ds->Open();
    ds->Next();
    ds->Calls.clear();
    ds->InsertRecord({Variant(10), Variant("ten"), Null()});
    EXPECT_GE(Find(ds->Calls, "InternalAddRecord(insert)"), 0);
    EXPECT_EQ(StoredIds(ds), (std::vector<int>{1, 10, 2, 3}));
    EXPECT_EQ(ActiveId(ds), 10);
    EXPECT_TRUE(ds->FieldByName("PRICE")->IsNull());
    ds->AppendRecord({Variant(11), Unassigned(), Variant(2.5)});
    EXPECT_EQ(StoredIds(ds), (std::vector<int>{1, 10, 2, 3, 11}));
    EXPECT_EQ(ds->State(), dsBrowse);
    EXPECT_EQ(ErrorOf([&] { ds->AppendRecord({Null(), Variant("no id")}); }), "Field 'ID' must have a value");
    EXPECT_EQ(ds->StoredCount(), 5);
    EXPECT_EQ(ActiveId(ds), 11);
}

// ---------------------------------------------------------------------------
// Refresh, old and new values

TEST(DataSetRefresh, KeepsTheFieldObjectsAndShowsNewData) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 4);
    ds->Open();
    ds->MoveBy(2);
    TField* name = ds->FieldByName("NAME");
    ds->SetStoredValue(2, "NAME", Variant("changed elsewhere"));
    EXPECT_EQ(name->AsString(), "item3") << "the buffer still holds what was fetched";
    ds->Calls.clear();
    ds->Refresh();
    EXPECT_EQ(ds->FieldByName("NAME"), name);
    EXPECT_EQ(name->AsString(), "changed elsewhere");
    EXPECT_EQ(ActiveId(ds), 3);
    EXPECT_EQ(Find(ds->Calls, "InternalClose"), -1);
    EXPECT_LT(Find(ds->Calls, "InternalRefresh"), Find(ds->Calls, "GetRecord(gmCurrent)=grOK"));
}

TEST(DataSetRefresh, OldAndNewValues) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 2);
    ds->Open();
    TField* name = ds->FieldByName("NAME");
    EXPECT_EQ(name->OldValue().AsString(), "item1");
    ds->Edit();
    name->SetAsString("edited");
    EXPECT_EQ(name->OldValue().AsString(), "item1");
    EXPECT_EQ(name->NewValue().AsString(), "edited");
    EXPECT_EQ(name->Value().AsString(), "edited");
    name->SetNewValue(Variant("newer"));
    EXPECT_EQ(name->AsString(), "newer");
    EXPECT_EQ(ds->State(), dsEdit) << "state values do not change the dataset's state";
    ds->Cancel();
    EXPECT_EQ(name->AsString(), "item1");
}

// ---------------------------------------------------------------------------
// Fields: default, persistent, binding

void CreatePersistentFields(TMemDataSet* ds) {
    for (int i = 0; i < ds->FieldDefs()->Count(); ++i) ds->FieldDefs()->Items(i)->CreateField(ds);
}

TEST(DataSetFields, DefaultFieldsComeAndGoWithTheCursor) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 1);
    ds->Open();
    EXPECT_TRUE(ds->DefaultFields());
    ASSERT_EQ(ds->FieldCount(), 3);
    EXPECT_EQ(ds->Fields()[1]->FieldName(), "NAME");
    EXPECT_EQ(ds->Fields()[1]->FieldNo(), 2);
    EXPECT_EQ(ds->Fields()[1]->Size(), 20);
    EXPECT_TRUE(ds->Fields()[0]->Required());
    EXPECT_EQ(ds->FindField("name"), ds->Fields()[1]);
    EXPECT_EQ(ds->FindField("MISSING"), nullptr);
    EXPECT_EQ(ErrorOf([&] { ds->FieldByName("MISSING"); }), "Field 'MISSING' not found");
    TList list;
    ds->GetFieldList(list, "PRICE; ID");
    ASSERT_EQ(list.Count(), 2);
    EXPECT_EQ(list.Get(0), ds->FieldByName("PRICE"));
    EXPECT_EQ(ErrorOf([&] { ds->GetFieldList(list, "ID;NOPE"); }), "Field 'NOPE' not found");
    TStringList names;
    ds->GetFieldNames(names);
    EXPECT_EQ(names.Text(), "ID\r\nNAME\r\nPRICE\r\n");
    ds->Close();
    EXPECT_EQ(ds->FieldCount(), 0);
}

TEST(DataSetFields, PersistentFieldsStayAndBindByName) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 2);
    CreatePersistentFields(ds);
    ds->FieldByName("PRICE")->SetIndex(0);
    TField* price = ds->FieldByName("PRICE");
    ds->Open();
    EXPECT_FALSE(ds->DefaultFields());
    EXPECT_EQ(ds->Fields()[0], price);
    EXPECT_EQ(price->FieldNo(), 3);
    EXPECT_DOUBLE_EQ(price->AsFloat(), 1.5);
    ds->Close();
    EXPECT_EQ(ds->FieldByName("PRICE"), price);
    EXPECT_EQ(price->FieldNo(), 0);

    auto* wrong = new TIntegerField(o.Root);
    wrong->SetFieldName("NAME2");
    wrong->SetDataSet(ds);
    EXPECT_EQ(ErrorOf([&] { ds->Open(); }), "Field 'NAME2' not found");
    EXPECT_FALSE(ds->Active());
    wrong->Free();
    ds->FieldByName("NAME")->Free();
    auto* mismatch = new TIntegerField(o.Root);
    mismatch->SetFieldName("NAME");
    mismatch->SetDataSet(ds);
    EXPECT_EQ(ErrorOf([&] { ds->Open(); }), "Type mismatch for field 'NAME', expecting: ftInteger actual: ftString");
    mismatch->Free();
    auto* shortName = new TStringField(o.Root);
    shortName->SetFieldName("NAME");
    shortName->SetSize(5);
    shortName->SetDataSet(ds);
    EXPECT_EQ(ErrorOf([&] { ds->Open(); }), "Size mismatch for field 'NAME', expecting: 5 actual: 20");
    EXPECT_EQ(ErrorOf([&] {
                  auto* dup = new TStringField(o.Root);
                  dup->SetFieldName("NAME");
                  dup->SetDataSet(ds);
              }),
              "Duplicate field name 'NAME'");
}

TEST(DataSetFields, FreeingAFieldClosesItsDataSet) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 2);
    CreatePersistentFields(ds);
    ds->Open();
    TField* name = ds->FieldByName("NAME");
    name->Free();
    EXPECT_FALSE(ds->Active());
    EXPECT_EQ(ds->FieldCount(), 2);
    ds->Open();
    EXPECT_EQ(ErrorOf([&] { ds->FieldByName("PRICE")->SetDataSet(nullptr); }),
              "Cannot perform this operation on an open dataset");
}

TEST(DataSetFields, FieldValuesOfSeveralFields) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 2);
    ds->Open();
    Variant values = ds->FieldValues("ID;NAME");
    ASSERT_TRUE(values.IsArray());
    EXPECT_EQ(values[0].AsInteger(), 1);
    EXPECT_EQ(values[1].AsString(), "item1");
    ds->Edit();
    Variant update = VarArrayCreate(0, 1, varVariant);
    update.PutElement(0, Variant("renamed"));
    update.PutElement(1, Variant(9.25));
    ds->SetFieldValues("NAME;PRICE", update);
    ds->Post();
    EXPECT_EQ(ds->StoredValue(0, "NAME").AsString(), "renamed");
    EXPECT_DOUBLE_EQ(ds->StoredValue(0, "PRICE").AsDouble(), 9.25);
}

TEST(DataSetFields, InitFieldDefsOpensTheCursorForInformationOnly) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 2);
    ds->FieldDefs()->Update();
    EXPECT_TRUE(ds->FieldDefs()->Updated());
    EXPECT_EQ(Find(ds->Calls, "InternalInitFieldDefs"), 0);
    EXPECT_EQ(Find(ds->Calls, "InternalOpen"), -1);
    EXPECT_FALSE(ds->Active());
    ds->DataEvent(dePropertyChange, 0);
    EXPECT_FALSE(ds->FieldDefs()->Updated());
}

// ---------------------------------------------------------------------------
// Calculated and lookup fields

TEST(DataSetCalcFields, ComputedForEveryFetchedRecordAndAfterEachChange) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 3);
    CreatePersistentFields(ds);
    auto* total = new TFloatField(o.Root);
    total->SetFieldName("TOTAL");
    total->SetFieldKind(fkCalculated);
    total->SetDataSet(ds);
    auto* label = new TStringField(o.Root);
    label->SetFieldName("LABEL");
    label->SetSize(30);
    label->SetCalculated(true);
    label->SetDataSet(ds);
    std::vector<TDataSetState> statesSeen;
    ds->OnCalcFields = [&](TDataSet* d) {
        statesSeen.push_back(d->State());
        TField* price = d->FieldByName("PRICE");
        if (!price->IsNull()) d->FieldByName("TOTAL")->SetAsFloat(price->AsFloat() * 2);
        d->FieldByName("LABEL")->SetAsString("#" + d->FieldByName("ID")->AsString());
    };
    Grid grid(o.Root, ds, 2);
    ds->Open();
    EXPECT_EQ(ds->CalcFieldsSize(), (8 + 1) + (31 + 1));
    EXPECT_EQ(total->FieldNo(), -1);
    EXPECT_EQ(label->Offset(), 9);
    EXPECT_DOUBLE_EQ(total->AsFloat(), 3.0);
    EXPECT_EQ(label->AsString(), "#1");
    ds->Next();
    EXPECT_DOUBLE_EQ(total->AsFloat(), 6.0);
    ds->Next();
    EXPECT_EQ(label->AsString(), "#3");
    EXPECT_EQ(statesSeen.front(), dsCalcFields);

    ds->Edit();
    statesSeen.clear();
    ds->FieldByName("PRICE")->SetAsFloat(10);
    EXPECT_DOUBLE_EQ(total->AsFloat(), 20.0) << "a changed data field recalculates the record";
    EXPECT_EQ(statesSeen, std::vector<TDataSetState>{dsEdit});
    ds->FieldByName("PRICE")->Clear();
    EXPECT_TRUE(total->IsNull()) << "calculated fields start empty before each calculation";
    ds->Cancel();
    EXPECT_DOUBLE_EQ(total->AsFloat(), 9.0);
    EXPECT_TRUE(total->OldValue().IsNull());

    // A calculation handler cannot change data columns.
    ds->OnCalcFields = [](TDataSet* d) { d->FieldByName("NAME")->SetAsString("x"); };
    EXPECT_EQ(ErrorOf([&] { ds->First(); }), "Dataset not in edit or insert mode");
}

struct LookupFixture {
    Owner o;
    TMemDataSet* Customers;
    TMemDataSet* Orders;
    TStringField* CustName;
    LookupFixture() {
        Customers = new TMemDataSet(o.Root);
        Customers->FieldDefs()->Add("ID", ftInteger);
        Customers->FieldDefs()->Add("REGION", ftString, 5);
        Customers->FieldDefs()->Add("NAME", ftString, 20);
        Customers->AddRow({Variant(7), Variant("N"), Variant("Ann")});
        Customers->AddRow({Variant(8), Variant("S"), Variant("Bob")});
        Customers->AddRow({Variant(9), Variant("N"), Variant("Cid")});
        Orders = new TMemDataSet(o.Root);
        Orders->FieldDefs()->Add("ID", ftInteger);
        Orders->FieldDefs()->Add("CUSTID", ftInteger);
        Orders->AddRow({Variant(1), Variant(8)});
        Orders->AddRow({Variant(2), Variant(7)});
        Orders->AddRow({Variant(3), Variant(42)});
        Orders->AddRow({Variant(4), Null()});
        CreatePersistentFields(Orders);
        CustName = new TStringField(o.Root);
        CustName->SetFieldName("CUSTNAME");
        CustName->SetLookup(true);
        CustName->SetLookupDataSet(Customers);
        CustName->SetKeyFields("CUSTID");
        CustName->SetLookupKeyFields("ID");
        CustName->SetLookupResultField("NAME");
        CustName->SetDataSet(Orders);
    }
};

TEST(DataSetCalcFields, LookupFieldsShowTheLookupDataSetsValue) {
    LookupFixture f;
    int customerScrolls = 0;
    f.Customers->AfterScroll = [&](TDataSet*) { ++customerScrolls; };
    f.Orders->Open();
    EXPECT_TRUE(f.Customers->Active()) << "binding opens the lookup dataset";
    customerScrolls = 0;
    f.Customers->Next();  // the lookup dataset sits on Bob
    customerScrolls = 0;
    std::vector<String> names;
    for (f.Orders->First(); !f.Orders->Eof(); f.Orders->Next())
        names.push_back(f.CustName->IsNull() ? "(null)" : f.CustName->AsString());
    EXPECT_EQ(names, (std::vector<String>{"Bob", "Ann", "(null)", "(null)"}));
    EXPECT_EQ(customerScrolls, 0) << "lookups do not scroll the lookup dataset";
    EXPECT_EQ(f.Customers->FieldByName("NAME")->AsString(), "Bob");
    f.Customers->Next();
    EXPECT_EQ(f.Customers->FieldByName("NAME")->AsString(), "Cid") << "and leave its window intact";

    // Changing the key in an edit looks the value up again.
    f.Orders->First();
    f.Orders->Edit();
    f.Orders->FieldByName("CUSTID")->SetAsInteger(9);
    EXPECT_EQ(f.CustName->AsString(), "Cid");
    f.Orders->Cancel();
    EXPECT_EQ(f.CustName->AsString(), "Bob");
}

TEST(DataSetCalcFields, IncompleteLookupInformationRefusesToOpen) {
    LookupFixture f;
    f.CustName->SetLookupResultField("");
    EXPECT_EQ(ErrorOf([&] { f.Orders->Open(); }), "Lookup information for field 'CUSTNAME' is incomplete");
    f.CustName->SetLookupResultField("MISSING");
    EXPECT_EQ(ErrorOf([&] { f.Orders->Open(); }), "Field 'MISSING' not found");
    f.CustName->SetLookupResultField("NAME");
    f.Customers->Free();  // free notification clears the reference
    EXPECT_EQ(f.CustName->LookupDataSet(), nullptr);
    EXPECT_EQ(ErrorOf([&] { f.Orders->Open(); }), "Lookup information for field 'CUSTNAME' is incomplete");
}

// ---------------------------------------------------------------------------
// Locate and Lookup

TEST(DataSetSearch, LocateMovesToTheFirstMatch) {
    LookupFixture f;
    TMemDataSet* ds = f.Customers;
    Grid grid(f.o.Root, ds, 2);
    ds->Open();
    int scrolls = 0;
    ds->AfterScroll = [&](TDataSet*) { ++scrolls; };
    EXPECT_TRUE(ds->Locate("NAME", Variant("Cid"), {}));
    EXPECT_EQ(ActiveId(ds), 9);
    EXPECT_EQ(scrolls, 1);
    ds->Prior();
    EXPECT_EQ(ActiveId(ds), 8) << "the window around the located record is consistent";
    EXPECT_TRUE(ds->Locate("name", Variant("ann"), TLocateOptions{loCaseInsensitive}));
    EXPECT_EQ(ActiveId(ds), 7);
    EXPECT_FALSE(ds->Locate("NAME", Variant("ann"), {}));
    EXPECT_EQ(ActiveId(ds), 7) << "a failed search leaves the active record";
    EXPECT_TRUE(ds->Locate("NAME", Variant("B"), TLocateOptions{loPartialKey}));
    EXPECT_EQ(ActiveId(ds), 8);
    Variant keys = VarArrayCreate(0, 1, varVariant);
    keys.PutElement(0, Variant("N"));
    keys.PutElement(1, Variant("Cid"));
    EXPECT_TRUE(ds->Locate("REGION;NAME", keys, {}));
    EXPECT_EQ(ActiveId(ds), 9);
    EXPECT_TRUE(ds->Locate("ID", Variant("8"), {})) << "values compare across kinds";
    EXPECT_EQ(ActiveId(ds), 8);
    ds->Next();
    EXPECT_EQ(ActiveId(ds), 9);
    EXPECT_EQ(ErrorOf([&] { ds->Locate("NOPE", Variant(1), {}); }), "Field 'NOPE' not found");
}

TEST(DataSetSearch, LookupAnswersWithoutMoving) {
    LookupFixture f;
    TMemDataSet* ds = f.Customers;
    ds->Open();
    ds->Next();
    EXPECT_EQ(ds->Lookup("ID", Variant(9), "NAME").AsString(), "Cid");
    EXPECT_TRUE(ds->Lookup("ID", Variant(1), "NAME").IsNull());
    Variant both = ds->Lookup("NAME", Variant("Ann"), "ID;REGION");
    ASSERT_TRUE(both.IsArray());
    EXPECT_EQ(both[0].AsInteger(), 7);
    EXPECT_EQ(both[1].AsString(), "N");
    EXPECT_EQ(ActiveId(ds), 8);
    ds->Next();
    EXPECT_EQ(ActiveId(ds), 9) << "navigation continues from the active record";
    // Lookup in edit mode posts first, as any browse operation.
    ds->Edit();
    ds->FieldByName("NAME")->SetAsString("Cyd");
    EXPECT_EQ(ds->Lookup("ID", Variant(9), "NAME").AsString(), "Cyd");
    EXPECT_EQ(ds->State(), dsBrowse);
}

// ---------------------------------------------------------------------------
// The ring of buffers

TEST(DataSetBuffers, RingFollowsTheLargestDataLink) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 10);
    ds->Open();
    EXPECT_EQ(ds->BufferCount(), 1);
    auto grid4 = std::make_unique<Grid>(o.Root, ds, 4);
    EXPECT_EQ(ds->BufferCount(), 4);
    EXPECT_EQ(ds->WindowRecordCount(), 4);
    {
        Grid grid6(o.Root, ds, 6);
        EXPECT_EQ(ds->BufferCount(), 6);
        ds->MoveBy(5);
        EXPECT_EQ(ActiveId(ds), 6);
        grid6.Link.SetDataSource(nullptr);
        EXPECT_EQ(ds->BufferCount(), 4);
        EXPECT_EQ(ActiveId(ds), 6) << "shrinking keeps the active record";
        EXPECT_EQ(ds->WindowRecordCount(), 4);
        EXPECT_LT(ds->ActiveRecord(), 4);
    }
    ds->Next();
    EXPECT_EQ(ActiveId(ds), 7);
    ds->Prior();
    ds->Prior();
    EXPECT_EQ(ActiveId(ds), 5);
    grid4.reset();
    EXPECT_EQ(ds->BufferCount(), 1) << "a link that goes away leaves its data source";
    EXPECT_EQ(ActiveId(ds), 5);
    ds->Close();
    EXPECT_EQ(ds->BufferCount(), 0);
}

TEST(DataSetBuffers, FewerRecordsThanBuffers) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 2);
    Grid grid(o.Root, ds, 5);
    ds->Open();
    EXPECT_EQ(ds->WindowRecordCount(), 2);
    ds->AppendRecord({Variant(3)});
    EXPECT_EQ(ds->WindowRecordCount(), 3);
    ds->First();
    EXPECT_EQ(ds->MoveBy(5), 2);
    EXPECT_EQ(ActiveId(ds), 3);
}

// ---------------------------------------------------------------------------
// Packed decimals (the framework's default conversions)

struct Bcd {
    std::uint8_t Bytes[BCDBufferSize] = {};
};

TEST(DataSetBcd, DefaultConversionsFollowThePackedLayout) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 0);
    Bcd b;
    b.Bytes[0] = 3;
    b.Bytes[1] = 2;
    b.Bytes[2] = 0x12;
    b.Bytes[3] = 0x30;
    Currency c;
    ASSERT_TRUE(ds->BCDToCurr(b.Bytes, c));
    EXPECT_EQ(c.Units(), 12300);
    b.Bytes[1] |= 0x80;
    ASSERT_TRUE(ds->BCDToCurr(b.Bytes, c));
    EXPECT_EQ(c.Units(), -12300);
    b.Bytes[0] = 0;
    Currency untouched = Currency::FromUnits(77);
    EXPECT_FALSE(ds->BCDToCurr(b.Bytes, untouched));
    EXPECT_EQ(untouched.Units(), 77);

    Bcd out;
    ASSERT_TRUE(ds->CurrToBCD(StrToCurr("-1.5"), out.Bytes, 32, 2));
    EXPECT_EQ(out.Bytes[0], 32);
    EXPECT_EQ(out.Bytes[1], 0x82);
    EXPECT_EQ(out.Bytes[2 + 14], 0x01);  // digits 29, 30 of 32: ...0150
    EXPECT_EQ(out.Bytes[2 + 15], 0x50);
    ASSERT_TRUE(ds->CurrToBCD(StrToCurr("123.4567"), out.Bytes, 32, 2));
    ASSERT_TRUE(ds->BCDToCurr(out.Bytes, c));
    EXPECT_EQ(CurrToStr(c), "123.46");
    EXPECT_FALSE(ds->CurrToBCD(StrToCurr("12345"), out.Bytes, 4, 0));
    ASSERT_TRUE(ds->CurrToBCD(StrToCurr("0.125"), out.Bytes, 10, 6));
    ASSERT_TRUE(ds->BCDToCurr(out.Bytes, c));
    EXPECT_EQ(CurrToStr(c), "0.125");
    ASSERT_TRUE(ds->CurrToBCD(MaxCurrency, out.Bytes, 32, 4));
    ASSERT_TRUE(ds->BCDToCurr(out.Bytes, c));
    EXPECT_EQ(c, MaxCurrency);
    // A value beyond the currency range does not convert.
    Bcd huge;
    huge.Bytes[0] = 20;
    std::memset(huge.Bytes + 2, 0x99, 10);
    EXPECT_FALSE(ds->BCDToCurr(huge.Bytes, c));
}

}  // namespace
}  // namespace velora::test
