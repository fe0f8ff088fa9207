// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The dataset framework as one include: datasets and their record-buffer
// protocol (DataSet.h), fields (Fields.h), field definitions (FieldDefs.h),
// data sources and links (DataLink.h), the enumerations (DBTypes.h) and the
// framework's messages (DBConsts.h).
#pragma once

#include "velora/db/DBConsts.h"
#include "velora/db/DBTypes.h"
#include "velora/db/DataLink.h"
#include "velora/db/DataSet.h"
#include "velora/db/FieldDefs.h"
#include "velora/db/Fields.h"
