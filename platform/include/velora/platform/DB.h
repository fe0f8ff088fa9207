// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The dataset framework as one include: datasets and their record-buffer
// protocol (DataSet.h), fields (Fields.h), field definitions (FieldDefs.h),
// data sources and links (DataLink.h), the enumerations (DBTypes.h) and the
// framework's messages (DBConsts.h).
#pragma once

#include "velora/platform/DBConsts.h"
#include "velora/platform/DBTypes.h"
#include "velora/platform/DataLink.h"
#include "velora/platform/DataSet.h"
#include "velora/platform/FieldDefs.h"
#include "velora/platform/Fields.h"
