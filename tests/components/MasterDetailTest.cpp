// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCMasterDataLink wired by code to a master table on the real drivers:
// which master changes reach the detail's handlers, the field list and its
// failure, the detail's pending edit when the master moves, and a detail
// table that follows its master through a filter switched by the handler.
// The instances named KeyRange/ run the same with both tables as key range
// cursors.
#include "components/DataSetTestUtil.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velora {
namespace {

using test::ErrorOf;
using test::IdsToEnd;

class MasterDetail : public test::DataSetDriverTest {
protected:
    void SetUp() override {
        DataSetDriverTest::SetUp();
        if (IsSkipped()) return;
        FCustomers = CreateTable("id integer primary key, name varchar(20)");
        test::InsertRows(*FRaw, FCustomers, {"1, 'Ann'", "2, 'Bob'", "3, 'Cid'"});
        FOrders = CreateTable("id integer primary key, cust integer, qty integer");
        test::InsertRows(*FRaw, FOrders, {"10, 1, 5", "11, 2, 1", "12, 1, 7", "13, 3, 2", "14, 1, 1"});
        const std::string suite = ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name();
        const bool keyRange = suite.rfind("KeyRange/", 0) == 0;
        Master = NewTable(FCustomers);
        Master->SetKeyRangeCursor(keyRange);
        Master->IndexParams()->Add("id");
        Master->SetIndexed(true);
        Detail = NewTable(FOrders);
        Detail->SetKeyRangeCursor(keyRange);
        Source = new TDataSource(FOwner.get());
        Source->SetDataSet(Master);
        Link = Detail->MasterLink();
        Link->OnMasterChanged = [this](TObject* sender) {
            EXPECT_EQ(sender, Link);
            ++Changed;
        };
        Link->OnMasterDisabled = [this](TObject*) { ++Disabled; };
    }

    std::string FCustomers, FOrders;
    TODBCTable* Master = nullptr;
    TODBCTable* Detail = nullptr;
    TDataSource* Source = nullptr;
    TODBCMasterDataLink* Link = nullptr;
    int Changed = 0;
    int Disabled = 0;
};

TEST_P(MasterDetail, RecordChangesOfTheMasterReachTheDetail) {
    Link->SetDataSource(Source);
    EXPECT_EQ(Detail->GetDataSource(), Source) << "the table reports its link's data source";
    Master->Open();
    Detail->Open();
    Link->SetFieldNames("id");
    ASSERT_EQ(Link->Fields().Count(), 1);
    EXPECT_EQ(Link->Fields().Get(0), Master->FieldByName("id"));
    EXPECT_EQ(Changed, 1) << "a usable link tells the detail";
    Changed = 0;

    Master->Next();
    EXPECT_EQ(Changed, 1) << "a scroll changes the whole record";
    Master->Edit();
    Changed = 0;
    Master->FieldByName("name")->SetAsString("Bea");
    EXPECT_EQ(Changed, 0) << "a field that is not in the list";
    Master->FieldByName("id")->SetAsInteger(9);
    EXPECT_EQ(Changed, 1) << "a field in the list";
    Master->Cancel();

    // A closed detail hears nothing.
    Detail->Close();
    Changed = 0;
    Master->Next();
    EXPECT_EQ(Changed, 0);
}

TEST_P(MasterDetail, ActivityOfTheMasterEnablesAndDisablesTheLink) {
    Link->SetFieldNames("id");
    Link->SetDataSource(Source);
    Detail->Open();
    Master->Open();
    EXPECT_EQ(Changed, 1);
    EXPECT_EQ(Link->Fields().Count(), 1);
    Master->Close();
    EXPECT_EQ(Disabled, 1);
    EXPECT_EQ(Link->Fields().Count(), 0);
    Detail->Close();
    Master->Open();
    Master->Close();
    EXPECT_EQ(Changed, 1) << "nothing is told while the detail is closed";
    EXPECT_EQ(Disabled, 1);
}

TEST_P(MasterDetail, UnknownMasterFieldReachesTheCallerAndEmptiesTheList) {
    Link->SetDataSource(Source);
    Master->Open();
    Detail->Open();
    Link->SetFieldNames("id");
    ASSERT_EQ(Link->Fields().Count(), 1);
    EXPECT_NE(ErrorOf([&] { Link->SetFieldNames("id;nosuch"); }), "(no error)");
    EXPECT_EQ(Link->Fields().Count(), 0);
    EXPECT_EQ(Link->FieldNames(), "id;nosuch");
    Changed = 0;
    Master->Next();
    EXPECT_EQ(Changed, 0) << "an empty field list tells nothing";
}

TEST_P(MasterDetail, MovingTheMasterEndsTheDetailsPendingEdit) {
    Link->SetDataSource(Source);
    Master->Open();
    Detail->Open();
    Detail->Edit();
    ASSERT_EQ(Detail->State(), dsEdit);
    Master->Next();
    EXPECT_EQ(Detail->State(), dsBrowse) << "an unchanged edit is cancelled";
}

TEST_P(MasterDetail, DetailFollowsItsMasterThroughItsFilter) {
    Detail->IndexParams()->Add("id");
    Detail->SetIndexed(true);
    Link->OnMasterChanged = [this](TObject*) {
        TStringList condition;
        condition.Add("cust = " + Master->FieldByName("id")->AsString());
        Detail->SetFilterParams(&condition);
        // The new text applies at the next switch of the filter.
        Detail->SetFiltered(false);
        Detail->SetFiltered(true);
    };
    Link->SetDataSource(Source);
    Master->Open();
    Detail->Open();
    Link->SetFieldNames("id");
    EXPECT_EQ(IdsToEnd(*Detail), (std::vector<std::string>{"10", "12", "14"}));
    Master->Next();
    EXPECT_EQ(IdsToEnd(*Detail), (std::vector<std::string>{"11"}));
    Master->Last();
    EXPECT_EQ(IdsToEnd(*Detail), (std::vector<std::string>{"13"}));
}

INSTANTIATE_TEST_SUITE_P(Drivers, MasterDetail, test::AllDrivers(), test::DriverParamName());
INSTANTIATE_TEST_SUITE_P(KeyRange, MasterDetail, test::AllDrivers(), test::DriverParamName());

}  // namespace
}  // namespace velora
