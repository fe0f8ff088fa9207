// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Lays out a run of parameter sets for the engine (ODBCExecuteParamSets):
// each parameter's values of the run converted to its DataType, in one
// buffer a parameter at the width of the run's longest value, with one
// length/indicator a set. The buffers are kept for the next run.
#pragma once

#include "velora/components/ODBCParamArray.h"
#include "velora/engine/ODBCParamSets.h"
#include "velora/odbc/ODBCBoundary.h"

#include <vector>

namespace velora {

/// Field types whose values are bytes (bound as SQL_C_BINARY).
inline bool IsBinaryType(TFieldType t) { return FieldTypeInfo(t).Kind == TValueKind::Bytes; }

class TODBCParamSetLayout {
public:
    /// Sets first .. first + count - 1 of every parameter into out (one
    /// entry a parameter, same order as arrays, names and types).
    /// \throws EDatabaseError "Parameter '%s', set %d: ..." for a value
    ///         missing or not convertible to the parameter's type.
    void LayOut(const std::vector<TODBCParamArray*>& arrays, const std::vector<String>& names,
                const std::vector<TFieldType>& types, std::int64_t first, std::int64_t count,
                std::vector<TODBCArrayParam>& out);

private:
    struct TColumn {
        std::vector<std::byte> Data;
        std::vector<SQLLEN> Indicators;
    };
    void LayOutColumn(const TODBCParamArray& a, const String& name, TFieldType type, std::int64_t first,
                      std::int64_t count, TColumn& col, TODBCArrayParam& p);

    std::vector<TColumn> FColumns;
};

}  // namespace velora
