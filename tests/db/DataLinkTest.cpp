// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Data sources and data links: which notifications a link receives for each
// dataset operation and in which order, DisableControls/EnableControls, two
// data sources on one dataset, each link's window of records, editing through
// a link, circular links and the lifetimes of sources, links and datasets.
#include "support/MemDataSet.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

namespace velora::test {
namespace {

TMemDataSet* MakeItems(TComponent* owner, int rows) {
    auto* ds = new TMemDataSet(owner);
    ds->FieldDefs()->Add("ID", ftInteger, 0, true);
    ds->FieldDefs()->Add("NAME", ftString, 20);
    for (int i = 1; i <= rows; ++i) ds->AddRow({Variant(i), Variant("item" + IntToStr(i))});
    return ds;
}

struct Linked {
    Owner o;
    TMemDataSet* Ds;
    TDataSource* Source;
    TRecordingDataLink Link;
    explicit Linked(int rows, int bufferCount = 1) : Ds(MakeItems(o.Root, rows)), Source(new TDataSource(o.Root)) {
        Source->SetDataSet(Ds);
        Link.SetBufferCount(bufferCount);
        Link.SetDataSource(Source);
    }
    std::vector<String> Take() {
        std::vector<String> events;
        events.swap(Link.Events);
        return events;
    }
    int ActiveId() { return Ds->FieldByName("ID")->AsInteger(); }
};

TEST(DataLinkNotifications, FollowOpenScrollEditPostAndClose) {
    Linked t(5);
    EXPECT_FALSE(t.Link.Active());
    EXPECT_EQ(t.Source->State(), dsInactive);
    t.Ds->Open();
    EXPECT_EQ(t.Take(), std::vector<String>{"ActiveChanged(1)"});
    EXPECT_TRUE(t.Link.Active());
    EXPECT_EQ(t.Source->State(), dsBrowse);
    t.Ds->Next();
    EXPECT_EQ(t.Take(), (std::vector<String>{"CheckBrowseMode", "DataSetScrolled(1)"}));
    t.Ds->Edit();
    EXPECT_EQ(t.Take(), (std::vector<String>{"CheckBrowseMode", "EditingChanged(1)", "RecordChanged(nil)"}));
    EXPECT_TRUE(t.Link.Editing());
    t.Ds->FieldByName("NAME")->SetAsString("x");
    EXPECT_EQ(t.Take(), std::vector<String>{"RecordChanged(NAME)"});
    t.Ds->Post();
    EXPECT_EQ(t.Take(), (std::vector<String>{"UpdateData", "CheckBrowseMode", "EditingChanged(0)", "DataSetChanged"}));
    t.Ds->First();
    EXPECT_EQ(t.Take(), (std::vector<String>{"CheckBrowseMode", "DataSetChanged"}));
    t.Ds->FieldByName("NAME")->SetDisplayLabel("Name");
    EXPECT_EQ(t.Take(), std::vector<String>{"LayoutChanged"});
    t.Ds->Close();
    EXPECT_EQ(t.Take(), std::vector<String>{"ActiveChanged(0)"});
    EXPECT_FALSE(t.Link.Active());
}

TEST(DataLinkNotifications, DataSourceEventsReportChangesAndStates) {
    Linked t(3);
    std::vector<String> seen;
    t.Source->OnStateChange = [&](TObject*) { seen.push_back("state " + IntToStr(t.Source->State())); };
    t.Source->OnDataChange = [&](TObject*, TField* f) {
        seen.push_back("data " + (f ? f->FieldName() : String("nil")));
    };
    t.Source->OnUpdateData = [&](TObject*) { seen.push_back("update"); };
    t.Ds->Open();
    t.Ds->Edit();
    t.Ds->FieldByName("NAME")->SetAsString("y");
    t.Ds->Post();
    std::vector<String> expected = {"state 1",   "data nil", "state 2", "data nil",
                                    "data NAME", "update",   "state 1", "data nil"};
    EXPECT_EQ(seen, expected);
}

TEST(DataLinkNotifications, DisableControlsHoldsEverythingBackUntilTheLastEnable) {
    Linked t(6);
    t.Ds->Open();
    t.Take();
    t.Ds->DisableControls();
    t.Ds->DisableControls();
    t.Ds->Next();
    t.Ds->Next();
    t.Ds->Edit();
    t.Ds->FieldByName("NAME")->SetAsString("quiet");
    t.Ds->Post();
    t.Ds->EnableControls();
    EXPECT_TRUE(t.Take().empty()) << "nested: still disabled";
    EXPECT_TRUE(t.Ds->ControlsDisabled());
    t.Ds->EnableControls();
    EXPECT_EQ(t.Take(), std::vector<String>{"DataSetChanged"}) << "one catch-up notification";
    EXPECT_EQ(t.ActiveId(), 3);

    t.Ds->DisableControls();
    t.Ds->Edit();
    t.Ds->EnableControls();
    EXPECT_EQ(t.Take(), (std::vector<String>{"EditingChanged(1)", "DataSetChanged"}));
    t.Ds->Cancel();
    t.Take();

    t.Ds->DisableControls();
    t.Ds->FieldByName("ID")->SetVisible(false);  // a layout change
    t.Ds->EnableControls();
    EXPECT_EQ(t.Take(), std::vector<String>{"LayoutChanged"});

    t.Ds->DisableControls();
    t.Ds->Close();
    t.Ds->EnableControls();
    EXPECT_EQ(t.Take(), std::vector<String>{"ActiveChanged(0)"});
}

TEST(DataLinkNotifications, TwoDataSourcesOnOneDataSet) {
    Linked t(6);
    auto* second = new TDataSource(t.o.Root);
    second->SetDataSet(t.Ds);
    TRecordingDataLink grid;
    grid.SetBufferCount(4);
    grid.SetDataSource(second);
    t.Ds->Open();
    EXPECT_EQ(t.Ds->BufferCount(), 4) << "the ring serves the largest link of every source";
    EXPECT_TRUE(t.Link.Active());
    EXPECT_TRUE(grid.Active());
    t.Take();
    grid.Events.clear();
    t.Ds->Next();
    EXPECT_EQ(t.Link.Count("DataSetScrolled(1)"), 1);
    EXPECT_EQ(grid.Count("DataSetScrolled(0)"), 1) << "the grid's window already holds the record";
    second->SetEnabled(false);
    EXPECT_EQ(second->State(), dsInactive);
    EXPECT_FALSE(grid.Active());
    grid.Events.clear();
    t.Take();
    t.Ds->Next();
    EXPECT_TRUE(grid.Events.empty());
    EXPECT_EQ(t.Take().size(), 2u);
    second->SetEnabled(true);
    EXPECT_EQ(grid.Events, std::vector<String>{"ActiveChanged(1)"});
    EXPECT_EQ(grid.ActiveRecord(), 2);
    second->SetDataSet(nullptr);
    EXPECT_FALSE(grid.Active());
    EXPECT_EQ(grid.DataSet(), nullptr);
    EXPECT_EQ(t.Ds->BufferCount(), 1);
    EXPECT_EQ(t.ActiveId(), 3);
}

TEST(DataLinkWindows, ActiveRecordStaysInsideEachLinksWindow) {
    Linked t(10, 3);
    TRecordingDataLink wide;
    wide.SetBufferCount(5);
    wide.SetDataSource(t.Source);
    t.Ds->Open();
    EXPECT_EQ(t.Link.RecordCount(), 3);
    EXPECT_EQ(wide.RecordCount(), 5);
    std::vector<int> small, large;
    for (int i = 0; i < 9; ++i) {
        t.Ds->Next();
        small.push_back(t.Link.ActiveRecord());
        large.push_back(wide.ActiveRecord());
    }
    EXPECT_EQ(small, (std::vector<int>{1, 2, 2, 2, 2, 2, 2, 2, 2}));
    EXPECT_EQ(large, (std::vector<int>{1, 2, 3, 4, 4, 4, 4, 4, 4}));
    EXPECT_TRUE(t.Ds->Eof() == false);
    t.Ds->Next();
    EXPECT_TRUE(t.Link.Eof());
    t.Take();
    t.Ds->MoveBy(-3);
    EXPECT_EQ(t.Link.ActiveRecord(), 0);
    EXPECT_EQ(t.Take(), (std::vector<String>{"CheckBrowseMode", "DataSetScrolled(-1)"}));
    t.Ds->Prior();
    EXPECT_EQ(t.Link.ActiveRecord(), 0);
    EXPECT_EQ(t.ActiveId(), 6);
    // A grid click makes another record of its window active.
    wide.SetActiveRecord(4);
    EXPECT_EQ(t.ActiveId(), 10);
    t.Ds->Last();
    EXPECT_EQ(t.Link.ActiveRecord(), 2);
    EXPECT_EQ(wide.ActiveRecord(), 4);
    t.Ds->First();
    EXPECT_EQ(t.Link.ActiveRecord(), 0);
    EXPECT_TRUE(t.Link.Bof());
}

TEST(DataLinkEditing, EditThroughTheLinkHonoursAutoEditAndReadOnly) {
    Linked t(2);
    t.Ds->Open();
    EXPECT_TRUE(t.Link.Edit());
    EXPECT_EQ(t.Ds->State(), dsEdit);
    t.Ds->Cancel();
    t.Source->SetAutoEdit(false);
    EXPECT_FALSE(t.Link.Edit());
    EXPECT_EQ(t.Ds->State(), dsBrowse);
    t.Source->SetAutoEdit(true);
    t.Link.SetReadOnly(true);
    EXPECT_FALSE(t.Link.Edit());
    EXPECT_EQ(t.Ds->State(), dsBrowse);
    t.Link.SetReadOnly(false);
    t.Ds->Edit();
    t.Link.SetReadOnly(true);
    EXPECT_FALSE(t.Link.Editing()) << "a read-only link never edits";
}

TEST(DataLinkEditing, UpdateDataWritesWithoutEchoingRecordChanged) {
    Linked t(2);
    TRecordingDataLink other;
    other.SetDataSource(t.Source);
    t.Link.OnUpdateDataHook = [&] { t.Ds->FieldByName("NAME")->SetAsString("from the control"); };
    t.Ds->Open();
    t.Ds->Edit();
    t.Take();
    other.Events.clear();
    t.Ds->Post();
    std::vector<String> own = t.Take();
    EXPECT_EQ(std::count(own.begin(), own.end(), "RecordChanged(NAME)"), 0);
    EXPECT_EQ(other.Count("RecordChanged(NAME)"), 1);
    EXPECT_EQ(t.Ds->StoredValue(0, "NAME").AsString(), "from the control");
}

TEST(DataLinkEditing, RequiredFieldFocusesItsControl) {
    Linked t(0);
    t.Ds->Open();
    t.Ds->Append();
    t.Take();
    EXPECT_EQ(ErrorOf([&] { t.Ds->Post(); }), "Field 'ID' must have a value");
    std::vector<String> events = t.Take();
    EXPECT_NE(std::find(events.begin(), events.end(), "FocusControl(ID)"), events.end());
}

// A detail dataset follows a master source.
class TDetailDataSet : public TMemDataSet {
public:
    using TMemDataSet::TMemDataSet;
    TDataSource* Master = nullptr;
    TDataSource* GetDataSource() override { return Master; }
};

TEST(DataLinkLifetimes, CircularLinksAreRefused) {
    Owner o;
    auto* a = new TDetailDataSet(o.Root);
    auto* b = new TDetailDataSet(o.Root);
    auto* sourceA = new TDataSource(o.Root);
    auto* sourceB = new TDataSource(o.Root);
    sourceA->SetDataSet(a);
    b->Master = sourceA;  // b follows a
    sourceB->SetDataSet(b);
    a->Master = sourceB;  // a would follow b
    EXPECT_TRUE(sourceA->IsLinkedTo(b));
    sourceA->SetDataSet(nullptr);
    EXPECT_EQ(ErrorOf([&] { sourceA->SetDataSet(a); }), "Circular datalinks are not allowed");
    EXPECT_EQ(sourceA->DataSet(), nullptr);
    a->Master = nullptr;
    b->Master = nullptr;
}

TEST(DataLinkLifetimes, FreeingSourcesAndDataSetsDetachesEverything) {
    Owner o;
    TMemDataSet* ds = MakeItems(o.Root, 3);
    auto* source = new TDataSource(o.Root);
    source->SetDataSet(ds);
    auto link = std::make_unique<TRecordingDataLink>();
    link->SetBufferCount(3);
    link->SetDataSource(source);
    ds->Open();
    EXPECT_EQ(ds->BufferCount(), 3);
    source->Free();
    EXPECT_EQ(link->DataSource(), nullptr);
    EXPECT_FALSE(link->Active());
    EXPECT_EQ(link->Events.back(), "ActiveChanged(0)");
    EXPECT_EQ(ds->BufferCount(), 1);

    source = new TDataSource(o.Root);
    source->SetDataSet(ds);
    link->SetDataSource(source);
    EXPECT_TRUE(link->Active());
    ds->Free();
    EXPECT_EQ(source->DataSet(), nullptr);
    EXPECT_EQ(source->State(), dsInactive);
    EXPECT_FALSE(link->Active());
    link->SetDataSourceFixed(true);
    EXPECT_EQ(ErrorOf([&] { link->SetDataSource(nullptr); }), "DataSource cannot be changed");
    link->SetDataSourceFixed(false);
    link.reset();  // leaves the source quietly
    EXPECT_EQ(source->DataLinkCount(), 0);
}

}  // namespace
}  // namespace velora::test
