// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Registration of the Velora components with the designer, in this order:
// the palette page "Velora Data" (TODBCSession, TODBCDatabase, TODBCTable,
// TODBCQuery, TODBCDataSource, TODBCUpdateSQL); TDSNProperty for
// TODBCDatabase.DataSourceName; TTblListProperty for TODBCDataSet.TableName;
// TAboutProperty for every About (type TODBCInfo); TParamsEditProperty for
// every Params of type TODBCParams; TODBCUpdateSQLComponentEdit for
// TODBCUpdateSQL.
#pragma once

namespace velora {

/// Registers once; later calls do nothing.
void Register();

}  // namespace velora
