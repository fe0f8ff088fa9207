// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Unit ODBCObj: the connection, dataset, table, query, parameter and update
// components, the master-detail link, the catalog and the library's version
// (VeloraVersion). Applications include this one header; it gathers the
// family headers. The login dialog (ODBClog.h) is a form with a header of
// its own.
#pragma once

#include "velora/components/ODBCBatchCopy.h"
#include "velora/components/ODBCCatalog.h"
#include "velora/components/ODBCDataSource.h"
#include "velora/components/ODBCDatabase.h"
#include "velora/components/ODBCMasterLink.h"
#include "velora/components/ODBCParamList.h"
#include "velora/components/ODBCParams.h"
#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCTable.h"
#include "velora/components/ODBCUpdateSQL.h"
#include "velora/components/ODBCSession.h"
#include "velora/components/ODBCconst.h"
#include "velora/components/SMIntf.h"
#include "velora/components/Version.h"
