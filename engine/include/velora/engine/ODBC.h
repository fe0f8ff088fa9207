// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Unit ODBC: the access engine between the components and the ODBC driver
// manager. This header gathers the engine's families.
#pragma once

#include "velora/engine/ODBCConnect.h"
#include "velora/engine/SQL.h"
