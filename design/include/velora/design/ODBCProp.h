// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The pickers of the designer: data source names for a database, table
// names for a table. Both accept any typed text as well.
#pragma once

#include "velora/design/DesignIntf.h"

namespace velora {

/// DataSourceName of a TODBCDatabase: offers the user and system data
/// sources the driver manager knows (SQL_FETCH_FIRST), in its order. The
/// database's session is activated for its environment. A name is never
/// cut or skipped because it or its description is long.
class TDSNProperty : public TEnumProperty {
public:
    using TEnumProperty::TEnumProperty;
    String GetValue() override;
    void SetValue(const String& Value) override;
    void GetValues(const TGetStrProc& Proc) override;
};

/// TableName of a TODBCTable: offers the tables and views of its database
/// (opening it, which may show the login dialog; nothing without a
/// database), each written as the table needs it: quoted with the data
/// source's quote character where it must be, and "schema.table" when the
/// same name exists in more than one schema.
/// \throws EInvalidCast when the component is not a TODBCTable.
class TTblListProperty : public TEnumProperty {
public:
    using TEnumProperty::TEnumProperty;
    String GetValue() override;
    void SetValue(const String& Value) override;
    void GetValues(const TGetStrProc& Proc) override;
};

}  // namespace velora
