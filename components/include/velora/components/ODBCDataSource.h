// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCDataSource: the framework's data source with the design-time About
// property every Velora component publishes (never stored in form files).
#pragma once

#include "velora/components/ODBCSession.h"
#include "velora/db/DataLink.h"

namespace velora {

class TODBCDataSource : public TDataSource {
public:
    explicit TODBCDataSource(TComponent* AOwner);
    TODBCInfo GetAbout() const { return VeloraInfo; }
    void SetAbout(TODBCInfo) {}
};

/// Registers TODBCDataSource for form files (idempotent; also done at start-up).
void RegisterODBCDataSourceClasses();

}  // namespace velora
