// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "velora/design/ODBCProp.h"

#include "velora/components/ODBCCatalog.h"
#include "velora/components/ODBCDatabase.h"
#include "velora/components/ODBCSession.h"
#include "velora/components/ODBCTable.h"
#include "velora/design/ODBCUpd.h"
#include "velora/odbc/ODBCBoundary.h"

#include <map>

namespace velora {

String TDSNProperty::GetValue() { return GetStrValue(); }
void TDSNProperty::SetValue(const String& Value) { SetStrValue(Value); }

void TDSNProperty::GetValues(const TGetStrProc& Proc) {
    auto* db = dynamic_cast<TODBCDatabase*>(GetComponent(0));
    if (!db) throw EInvalidCast("Invalid class typecast");
    TODBCSession* session = db->GetSession();
    session->SetActive(true);
    SQLHENV env = session->GetHandle();
    // Room for any name and description; a longer one is reported as
    // truncated (SQL_SUCCESS_WITH_INFO) and the list goes on.
    SQLCHAR name[512];
    SQLCHAR description[1024];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT descriptionLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    for (;;) {
        const SQLRETURN rc = odbc::SQLDataSources(env, direction, name, sizeof name, &nameLength, description,
                                                  sizeof description, &descriptionLength);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        direction = SQL_FETCH_NEXT;
        if (nameLength < static_cast<SQLSMALLINT>(sizeof name)) Proc(reinterpret_cast<const char*>(name));
    }
}

String TTblListProperty::GetValue() { return GetStrValue(); }
void TTblListProperty::SetValue(const String& Value) { SetStrValue(Value); }

void TTblListProperty::GetValues(const TGetStrProc& Proc) {
    auto* table = dynamic_cast<TODBCTable*>(GetComponent(0));
    if (!table) throw EInvalidCast("Invalid class typecast");
    TODBCDatabase* db = table->GetDataBase();
    if (!db) return;
    db->Open();
    const std::vector<TODBCTableInfo> tables = ODBCListTables(*db, true);
    const TIdentifierRules rules = IdentifierRulesOf(db->Handle());
    std::map<String, int> schemasOfName;
    for (const TODBCTableInfo& t : tables) ++schemasOfName[t.Name];
    for (const TODBCTableInfo& t : tables) {
        String offered = SQLName(t.Name, rules);
        if (schemasOfName[t.Name] > 1 && !t.Schema.empty()) offered = SQLName(t.Schema, rules) + "." + offered;
        Proc(offered);
    }
}

}  // namespace velora
