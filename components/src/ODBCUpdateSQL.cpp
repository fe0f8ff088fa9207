// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCUpdateSQL: three statements that write one record of a dataset, each
// run through an internal query on the dataset's database.
#include "velora/components/ODBCUpdateSQL.h"

#include "velora/classes/TypInfo.h"
#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCconst.h"
#include "velora/engine/ODBCConnect.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/odbc/ODBCBoundary.h"

#include <cctype>
#include <cstring>

namespace velora {

namespace {

constexpr const char* kSavepoint = "velora_update_sql";

bool IsOldPrefix(const String& name) {
    if (name.size() <= 4) return false;
    for (std::size_t i = 0; i < 4; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "OLD_"[i]) return false;
    return true;
}

bool AutocommitOn(SQLHDBC dbc) {
    SQLULEN value = SQL_AUTOCOMMIT_ON;
    if (!ODBCSucceeded(odbc::SQLGetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, &value, 0, nullptr))) return true;
    return (value & 0xFFFFFFFFu) == SQL_AUTOCOMMIT_ON;
}

/// MariaDB and MySQL count the rows an UPDATE changed, not the rows it
/// matched, unless the data source asks for found rows.
bool CountsChangedRows(SQLHDBC dbc) {
    char name[64] = {};
    SQLSMALLINT length = 0;
    if (!ODBCSucceeded(odbc::SQLGetInfo(dbc, SQL_DBMS_NAME, name, sizeof name, &length))) return false;
    String dbms = UpperCase(String(name));
    return dbms.find("MARIADB") != String::npos || dbms.find("MYSQL") != String::npos;
}

/// Position of the first top-level occurrence of the keyword (a whole word,
/// outside literals, quoted names, comments and parentheses), or npos.
std::size_t FindKeyword(const String& text, const char* keyword, std::size_t from = 0) {
    const std::size_t n = std::strlen(keyword);
    int depth = 0;
    for (std::size_t i = from; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\'' || c == '"' || c == '`') {
            for (++i; i < text.size() && text[i] != c; ++i)
                if (c == '\'' && text[i] == '\\') ++i;
            continue;
        }
        if (c == '-' && i + 1 < text.size() && text[i + 1] == '-') {
            while (i < text.size() && text[i] != '\n') ++i;
            continue;
        }
        if (c == '(') ++depth;
        if (c == ')') --depth;
        if (depth != 0 || i + n > text.size()) continue;
        const bool before = i == 0 || !(std::isalnum(static_cast<unsigned char>(text[i - 1])) || text[i - 1] == '_');
        const bool after =
            i + n == text.size() || !(std::isalnum(static_cast<unsigned char>(text[i + n])) || text[i + n] == '_');
        if (before && after && CompareText(text.substr(i, n), keyword) == 0) return i;
    }
    return String::npos;
}

std::int32_t MatchedCount(const String& text) {
    long long value = 0;
    return TryStrToInt(Trim(text), value) && value >= 0 && value <= 0x7FFFFFFF ? static_cast<std::int32_t>(value) : 0;
}

}  // namespace

TODBCUpdateSQL::TODBCUpdateSQL(TComponent* AOwner) : TODBCDataSetUpdateObject(AOwner) {
    RegisterODBCUpdateSQLClasses();
    for (auto& list : FSQL) {
        list = std::make_unique<TStringList>();
        list->OnChange = [this](TObject* sender) { SQLChanged(sender); };
    }
}

TODBCUpdateSQL::~TODBCUpdateSQL() {
    if (FDataSet && FDataSet->UpdateObject() == this) FDataSet->SetUpdateObject(nullptr);
    FDataSet = nullptr;
    for (auto& list : FSQL) list->OnChange = nullptr;
}

void TODBCUpdateSQL::SetDataSet(TODBCDataSet* Value) {
    if (Value == FDataSet) return;
    if (FDataSet) RemoveFreeNotification(FDataSet);
    FDataSet = Value;
    if (FDataSet) FreeNotification(FDataSet);
}

void TODBCUpdateSQL::Notification(TComponent* AComponent, TOperation Operation) {
    TODBCDataSetUpdateObject::Notification(AComponent, Operation);
    if (Operation != opRemove) return;
    if (AComponent == FDataSet) FDataSet = nullptr;
    for (auto& query : FQuery)
        if (AComponent == query) query = nullptr;
}

TStrings* TODBCUpdateSQL::GetSQLIndex(int Index) const {
    if (Index < 0 || Index > 2) throw EListError(Format("List index out of bounds (%d)", Index));
    return FSQL[static_cast<std::size_t>(Index)].get();
}

void TODBCUpdateSQL::SetSQLIndex(int Index, TStrings* Value) {
    TStrings* list = GetSQLIndex(Index);
    if (Value)
        list->Assign(Value);
    else
        list->Clear();
}

void TODBCUpdateSQL::CheckDataSet() const {
    if (!FDataSet) DatabaseErrorFmt(SNoUpdateDataSet, Name());
    if (!FDataSet->Database()) DatabaseErrorFmt(SNoDatabaseAssigned, FDataSet->Name());
}

TODBCQuery* TODBCUpdateSQL::GetQuery(TUpdateKind UpdateKind) {
    CheckDataSet();
    TODBCDatabase* database = FDataSet->Database();
    TODBCQuery*& query = FQuery[UpdateKind];
    if (!query) {
        query = new TODBCQuery(this);
        query->SQL()->Assign(FSQL[UpdateKind].get());
    }
    if (query->Database() != database) {
        // The dataset moved to another database: the statement follows it.
        query->Disconnect();
        query->SetDataBase(database);
    }
    return query;
}

void TODBCUpdateSQL::SQLChanged(TObject* Sender) {
    for (std::size_t kind = 0; kind < FSQL.size(); ++kind) {
        if (FSQL[kind].get() != Sender) continue;
        if (TODBCQuery* query = FQuery[kind]) {
            query->Params()->Clear();
            query->SQL()->Assign(FSQL[kind].get());
        }
        return;
    }
}

bool TODBCUpdateSQL::AssignExact(TODBCParam* Param, TField* Field, bool Old) {
    // Decimals, dates and times go as the text the row holds: through a
    // double or a millisecond clock they would rewrite the digits and the
    // fraction of a column nobody changed, or miss the row they key on.
    TFieldType type = ftUnknown;
    String text;
    bool isNull = true;
    if (!FDataSet->GetFieldExactValue(Field, Old, type, text, isNull)) return false;
    Param->AssignExactText(type, text, isNull);
    return true;
}

void TODBCUpdateSQL::SetParams(TUpdateKind UpdateKind) {
    if (!FDataSet) return;
    TODBCQuery* query = GetQuery(UpdateKind);
    TODBCParams* params = query->Params();
    for (int i = 0; i < params->Count(); ++i) {
        TODBCParam* param = params->GetParam(i);
        const String& name = param->Name();
        // A field with the parameter's whole name wins: a column "old_price"
        // is a plain value, not the old value of "price".
        if (TField* field = FDataSet->FindField(name)) {
            if (AssignExact(param, field, false)) continue;
            Variant value = field->NewValue();
            if (value.IsEmpty()) value = field->OldValue();
            param->AssignFieldValue(field, value);
        } else if (IsOldPrefix(name)) {
            TField* old = FDataSet->FindField(name.substr(4));
            if (old && !AssignExact(param, old, true)) param->AssignFieldValue(old, old->OldValue());
        }
    }
}

void TODBCUpdateSQL::ExecSQL(TUpdateKind UpdateKind) {
    TODBCQuery* query = GetQuery(UpdateKind);
    query->Prepare();
    if (RunCounted(UpdateKind, query) != 1) DatabaseError(SUpdateFailed);
}

void TODBCUpdateSQL::Apply(TUpdateKind UpdateKind) {
    SetParams(UpdateKind);
    ExecSQL(UpdateKind);
}

std::int32_t TODBCUpdateSQL::RunCounted(TUpdateKind UpdateKind, TODBCQuery* Query) {
    TODBCDatabase* database = Query->Database();
    const SQLHDBC dbc = database->Handle();
    // A statement that touches other than one row is undone, an insert too
    // (INSERT ... SELECT may add several rows, or none): in a transaction of
    // its own, or behind a savepoint inside the application's.
    const bool own = AutocommitOn(dbc);
    if (own) {
        database->StartTransaction();
    } else {
        ODBCCheckError(SQL_HANDLE_DBC, dbc, ODBCExecDirect(dbc, String("SAVEPOINT ") + kSavepoint));
    }
    auto undo = [&]() noexcept {
        try {
            if (own) {
                database->Rollback();
            } else {
                ODBCExecDirect(dbc, String("ROLLBACK TO SAVEPOINT ") + kSavepoint);
                ODBCExecDirect(dbc, String("RELEASE SAVEPOINT ") + kSavepoint);
            }
        } catch (...) {
            // The failure being reported matters more than this one.
        }
    };
    std::int32_t count = 0;
    try {
        Query->ExecSQL();
        count = Query->RowsAffected();
        if (count == 0 && UpdateKind == ukModify && CountsChangedRows(dbc)) count = MatchedRows(Query);
    } catch (...) {
        undo();
        throw;
    }
    if (count != 1) {
        undo();
        return count;
    }
    if (own) {
        database->Commit();
    } else {
        ODBCCheckError(SQL_HANDLE_DBC, dbc, ODBCExecDirect(dbc, String("RELEASE SAVEPOINT ") + kSavepoint));
    }
    return count;
}

std::int32_t TODBCUpdateSQL::MatchedRows(TODBCQuery* Query) {
    // "UPDATE <table> SET ... WHERE <condition>" matched as many rows as
    // "SELECT COUNT(*) FROM <table> WHERE <condition>" finds now, inside the
    // same transaction (a modify that changed nothing left them as they were).
    const String text = Query->SQL()->Text();
    const std::size_t update = FindKeyword(text, "UPDATE");
    const std::size_t set = FindKeyword(text, "SET", update == String::npos ? 0 : update + 6);
    const std::size_t where = FindKeyword(text, "WHERE", set == String::npos ? 0 : set + 3);
    if (update == String::npos || set == String::npos || where == String::npos) return 0;
    const String table = Trim(text.substr(update + 6, set - update - 6));
    TODBCQuery count(nullptr);
    count.SetDataBase(Query->Database());
    // The count is read as text: the statement runs on MariaDB or MySQL only,
    // whose COUNT is a 64-bit integer.
    count.SQL()->SetText("SELECT CAST(COUNT(*) AS CHAR(20)) FROM " + table + " " + text.substr(where));
    TODBCParams* params = count.Params();
    for (int i = 0; i < params->Count(); ++i) {
        TODBCParam* param = params->GetParam(i);
        if (TODBCParam* source = Query->Params()->FindParam(param->Name())) param->Assign(source);
    }
    count.Open();
    const std::int32_t matched = count.Fields().Count() > 0 ? MatchedCount(count.Fields()[0]->AsString()) : 0;
    count.Close();
    return matched;
}

void RegisterODBCUpdateSQLClasses() {
    static const bool registered = [] {
        RegisterClass<TODBCUpdateSQL>("TODBCUpdateSQL", "TComponent")
            .ObjectProp("DeleteSQL", &TODBCUpdateSQL::DeleteSQL)
            .ObjectProp("InsertSQL", &TODBCUpdateSQL::InsertSQL)
            .ObjectProp("ModifySQL", &TODBCUpdateSQL::ModifySQL);
        return true;
    }();
    (void)registered;
}

namespace {
// Form files name the class without code naming it first.
const bool kUpdateSQLRegistered = (RegisterODBCUpdateSQLClasses(), true);
}  // namespace

}  // namespace velora
