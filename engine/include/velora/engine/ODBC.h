// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Unit ODBC: the access engine between the components and the ODBC driver
// manager. This header gathers the engine's families.
#pragma once

#include "velora/engine/FMTBCD.h"
#include "velora/engine/ODBCConnect.h"
#include "velora/engine/ODBCCursor.h"
#include "velora/engine/ODBCHandles.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/engine/ODBCTypes.h"
#include "velora/engine/SQL.h"
