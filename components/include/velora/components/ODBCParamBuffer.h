// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The parameter buffer of a query: the values of its parameter list laid out
// one after another in their record-buffer forms, a descriptor per value for
// the engine's binder (ODBCBindParams), and the length/indicator slots the
// binder hands to the driver. The driver reads the values when the statement
// executes, so the buffer and the slots live until the next binding.
//
// Layout: the values in parameter order, each at its descriptor's Offset and
// RecBufDataSize bytes long, then the NULL word (two bytes 0xFF). A NULL
// parameter keeps its zeroed area and its descriptor's NullOffset names the
// NULL word; the binder then sends SQL_NULL_DATA whatever the type. A value
// that is not NULL has NullOffset 0.
//
// Beyond the plain type map, a value reaches the binder in the form it is
// held in: a long string (a reference to its bytes) and the text-like long
// types (ftMemo, ftFmtMemo) are described as long text (fcBlob, fscMemo), the
// other BLOB types as long binary data. There is one slot per parameter and
// no limit on the number of parameters.
#pragma once

#include "velora/components/ODBCParams.h"
#include "velora/engine/ODBCTypes.h"
#include "velora/odbc/ODBCDefs.h"

#include <cstddef>
#include <vector>

namespace velora {

class TODBC;

/// Values, descriptors and indicator slots of one binding of a parameter list.
class TODBCParamBuffer {
public:
    /// Lays out the values of Params (Params.GetParam(i) for each entry, so a
    /// repeated name takes the first entry's value) and fills Descs with one
    /// descriptor each: FieldNo i + 1, the parameter's ColumnName as name,
    /// the engine type code of its DataType, Offset and Len of its area,
    /// NullOffset for NULL values, Units1 the text length of a string, SubType
    /// of a long value. The previous buffer is released first.
    /// \throws EDatabaseError "No value for parameter '%s'" for a parameter
    ///         without type (ftUnknown); "Field '%s' is of an unsupported type"
    ///         for ftBytes, ftVarBytes, ftTypedBinary and ftCursor; the range
    ///         error of a 16-bit value that does not fit (TODBCParam::
    ///         CheckBindRange). The buffer is then empty.
    void Build(const TODBCParams& Params, std::vector<TODBCFldDesc>& Descs);

    /// Build, then ODBCBindParams on Stmt with Engine (may be nil) giving the
    /// column sizes; the descriptors are released in every case.
    /// \throws as Build; EODBCError from the binder.
    void Bind(const TODBCParams& Params, odbc::HStmt Stmt, const TODBC* Engine);

    /// Releases the buffer and the slots.
    void Clear();

    /// The laid-out values (Size bytes; nil when empty).
    const std::byte* Data() const { return FBuffer.empty() ? nullptr : FBuffer.data(); }
    /// Bytes of the buffer, NULL word included (0 when empty).
    int Size() const { return static_cast<int>(FBuffer.size()); }
    /// The slots handed to the binder, one per parameter.
    const std::vector<odbc::Len>& Indicators() const { return FIndicators; }

private:
    std::vector<std::byte> FBuffer;
    std::vector<odbc::Len> FIndicators;
};

}  // namespace velora
