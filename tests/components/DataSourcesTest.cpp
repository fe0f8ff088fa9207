// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The data sources the driver manager lists and a connected server's name,
// as the velora tool's `sources` and `connect` show them; a refusal of the
// driver manager raises.
#include "components/DataSetTestUtil.h"

#include "velora/components/ODBCCatalog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace velora {
namespace {

namespace faults = odbc::faults;
using DataSources = test::DataSetDriverTest;

TEST_P(DataSources, ListsTheDriversSourceAndNamesItsServer) {
    const std::vector<TODBCDataSourceInfo> sources = ODBCListDataSources(*Session);
    EXPECT_TRUE(std::any_of(sources.begin(), sources.end(), [&](const TODBCDataSourceInfo& s) {
        return s.Name == Drv().Dsn && !s.Description.empty();
    }));
    EXPECT_THROW(ODBCServerName(*FDb), EDatabaseError);  // not connected
    FDb->Open();
    EXPECT_FALSE(ODBCServerName(*FDb).empty());

    faults::Scope scope;
    faults::Inject(test::StatementFault("SQLDataSources", nullptr, SQL_ERROR, {{"HY000", 0, "listing refused"}}));
    EXPECT_THROW(ODBCListDataSources(*Session), EODBCError);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DataSources, test::AllDrivers(), test::DriverParamName());

}  // namespace
}  // namespace velora
