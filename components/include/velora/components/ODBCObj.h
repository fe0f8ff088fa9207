// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Unit ODBCObj: the connection, dataset, query and parameter components.
// Applications include this one header; it gathers the family headers.
#pragma once

#include "velora/components/ODBCDataSource.h"
#include "velora/components/ODBCDatabase.h"
#include "velora/components/ODBCParamList.h"
#include "velora/components/ODBCParams.h"
#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCUpdateSQL.h"
#include "velora/components/ODBCSession.h"
#include "velora/components/ODBCconst.h"
#include "velora/components/SMIntf.h"
