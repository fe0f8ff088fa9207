// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "velora/components/ODBCDataSource.h"

#include "velora/classes/TypInfo.h"
#include "velora/db/DataSet.h"

namespace velora {

TODBCDataSource::TODBCDataSource(TComponent* AOwner) : TDataSource(AOwner) { RegisterODBCDataSourceClasses(); }

void RegisterODBCDataSourceClasses() {
    static const bool registered = [] {
        RegisterDBClasses();
        RegisterClass<TODBCDataSource>("TODBCDataSource", "TDataSource")
            .EnumProp("About", RegisterEnum("TODBCInfo", {"VeloraInfo"}), &TODBCDataSource::GetAbout,
                      &TODBCDataSource::SetAbout)
            .NeverStored();
        return true;
    }();
    (void)registered;
}

namespace {
const bool kDataSourceRegistered = (RegisterODBCDataSourceClasses(), true);
}

}  // namespace velora
