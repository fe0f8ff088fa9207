// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCQuery's parameter arrays (ODBCQuery.h, "parameter arrays"): the value
// arrays of the parameters and ExecSQL of many sets through the engine's
// ODBCExecuteParamSets.
#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCDatabase.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/odbc/ODBCBoundary.h"

#include "ODBCParamSetLayout.h"

#include <algorithm>

namespace velora {

namespace {

/// The first entry with the name of entry `index` (repeated markers share it).
int FirstOfName(const TODBCParams& params, int index) {
    const String& name = params.Entry(index)->Name();
    for (int k = 0; k < index; ++k)
        if (SameText(params.Entry(k)->Name(), name)) return k;
    return index;
}

/// SQLite's driver reads the lengths of binary values in a parameter array
/// wrongly (a set gets another set's length: bytes lost or invented; see
/// docs/platform-notes-local.md), so sets with a binary parameter run one by
/// one there.
bool BinaryArraysBroken(SQLHDBC dbc) {
    char name[128] = {};
    SQLSMALLINT length = 0;
    return ODBCSucceeded(odbc::SQLGetInfo(dbc, SQL_DBMS_NAME, name, sizeof name, &length)) &&
           String(name).find("SQLite") != String::npos;
}

}  // namespace

void TODBCQuery::SetArraySize(std::int64_t Value) {
    FArraySize = Value < 0 ? 0 : Value;
    for (auto& a : FArrays)
        if (a) a->SetSize(FArraySize);
}

TODBCParamArray* TODBCQuery::ArrayValues(int Index) {
    if (Index < 0 || Index >= FParams->Count())
        throw EListError("List index out of bounds (" + std::to_string(Index) + ")");
    const int k = FirstOfName(*FParams, Index);
    if (FArrays.size() < static_cast<std::size_t>(FParams->Count())) FArrays.resize(FParams->Count());
    auto& a = FArrays[static_cast<std::size_t>(k)];
    if (!a) a = std::make_unique<TODBCParamArray>();
    if (a->Size() != FArraySize) a->SetSize(FArraySize);
    return a.get();
}

TODBCParamArray* TODBCQuery::ArrayValuesByName(const String& Name) {
    const TODBCParam* p = FParams->ParamByName(Name);
    for (int i = 0; i < FParams->Count(); ++i)
        if (FParams->Entry(i) == p) return ArrayValues(i);
    return ArrayValues(FParams->Count());  // not reached: ParamByName raised
}

void TODBCQuery::ExecArray() {
    if (IsTransactionStatement()) DatabaseError("A transaction statement cannot run for parameter arrays");
    SetPrepared(true);
    const int count = FParams->Count();
    if (count == 0) DatabaseError("Parameter arrays need a statement with parameters");
    if (ResultColumnCount() > 0) DatabaseError("Parameter arrays run statements without a result; use Open");
    std::vector<TODBCParamArray*> arrays;
    std::vector<String> names;
    std::vector<TFieldType> types;
    for (int i = 0; i < count; ++i) {
        arrays.push_back(ArrayValues(i));
        names.push_back(FParams->Entry(i)->Name());
        types.push_back(FParams->GetParam(i)->DataType());
    }
    if (!FLayout) FLayout = std::make_unique<TODBCParamSetLayout>();
    // Every value is checked before the first set runs, so a value that
    // cannot be sent leaves nothing half written.
    if (FArraySize > FArrayChunk) {
        std::vector<TODBCArrayParam> out(static_cast<std::size_t>(count));
        for (std::int64_t first = 0; first < FArraySize; first += FArrayChunk)
            FLayout->LayOut(arrays, names, types, first, std::min<std::int64_t>(FArrayChunk, FArraySize - first), out);
    }
    const bool oneByOne = FArrayOneByOne || (std::any_of(types.begin(), types.end(), IsBinaryType) &&
                                             BinaryArraysBroken(GetDBHandle()));
    const SQLHSTMT stmt = QueryStmt();
    odbc::SQLFreeStmt(stmt, SQL_CLOSE);
    FExecWarnings.clear();
    FArrayRan = true;
    ODBCExecuteParamSets(
        GetDBHandle(), stmt, count, FArraySize, FArrayChunk,
        oneByOne ? TODBCParamSetRoad::OneByOne : TODBCParamSetRoad::Arrays,
        [&](std::int64_t first, std::int64_t n, std::vector<TODBCArrayParam>& out) {
            FLayout->LayOut(arrays, names, types, first, n, out);
        },
        FArrayResult);
    ODBCRaiseParamSetFailures(FArrayResult);
}

}  // namespace velora
