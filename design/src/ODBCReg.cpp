// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "velora/design/ODBCReg.h"

#include "velora/components/ODBCDataSource.h"
#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCTable.h"
#include "velora/components/ODBCUpdateSQL.h"
#include "velora/design/ODBCAbt.h"
#include "velora/design/ODBCProp.h"
#include "velora/design/ODBCUpd.h"
#include "velora/design/ParmsEditor.h"

#include <mutex>

namespace velora {

void Register() {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterODBCObjClasses();
        RegisterODBCDataSourceClasses();
        RegisterODBCUpdateSQLClasses();
        RegisterComponents("Velora Data", {"TODBCSession"});
        RegisterComponents("Velora Data", {"TODBCDatabase"});
        RegisterComponents("Velora Data", {"TODBCTable"});
        RegisterComponents("Velora Data", {"TODBCQuery"});
        RegisterComponents("Velora Data", {"TODBCDataSource"});
        RegisterComponents("Velora Data", {"TODBCUpdateSQL"});
        RegisterComponents("Velora Data", {"TODBCBatchCopy"});
        RegisterPropertyEditor("String", "TODBCDatabase", "DataSourceName", PropertyEditorClass<TDSNProperty>());
        RegisterPropertyEditor("String", "TODBCDataSet", "TableName", PropertyEditorClass<TTblListProperty>());
        RegisterPropertyEditor("TODBCInfo", "", "About", PropertyEditorClass<TAboutProperty>());
        RegisterPropertyEditor("TODBCParams", "", "Params", PropertyEditorClass<TParamsEditProperty>());
        RegisterComponentEditor("TODBCUpdateSQL", ComponentEditorClass<TODBCUpdateSQLComponentEdit>());
    });
}

}  // namespace velora
