// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCParamBuffer: laying out a parameter list for the binder, and binding
// it.
#include "velora/components/ODBCParamBuffer.h"

#include "velora/components/ODBCTypeMaps.h"
#include "velora/components/ODBCconst.h"
#include "velora/engine/ODBCStatement.h"

#include <cstring>
#include <limits>

namespace velora {

namespace {

/// The buffer's offsets are 16-bit: values past them cannot be described.
inline constexpr int kMaxParamBufferSize = std::numeric_limits<std::uint16_t>::max();

inline constexpr const char* SParamBufferTooBig = "Parameter '%s' does not fit the parameter buffer of %d bytes";

/// The engine code and sub-type a value is described with: the type maps,
/// except that long values are told by the form their bytes take.
void DescribeType(TODBCParam& P, TODBCFldDesc& D) {
    const TFieldType type = P.DataType();
    D.FldType = ODBCFldTypeMap.Contains(type) ? ODBCFldTypeMap[type] : static_cast<std::uint8_t>(fcUnknown);
    if (D.FldType == fcUnknown) DatabaseErrorFmt(SNoParameterValue, P.Name());
    // Types that have no form the binder knows are refused before anything
    // is bound (a cursor has no value to send).
    if (D.FldType == fcCursor) DatabaseErrorFmt(SFieldUnsupportedType, P.Name());
    if (P.HoldsExactText()) {
        // The text is sent as it is, as the SQL type of the code.
        D.SubType = fscExactText;
        return;
    }
    if (P.RecBufIsRef()) {
        // A string longer than 255 characters is held as a reference, like a
        // memo; so are the formatted memo's bytes, which are text too.
        const bool text = type == ftString || type == ftMemo || type == ftFmtMemo;
        D.FldType = fcBlob;
        D.SubType = text ? static_cast<std::uint16_t>(fscMemo) : ODBCFldSubTypeMap[type];
        if (D.SubType == 0) D.SubType = fscBinary;
    }
}

}  // namespace

void TODBCParamBuffer::Clear() {
    FBuffer.clear();
    FBuffer.shrink_to_fit();
    FIndicators.clear();
}

void TODBCParamBuffer::Build(const TODBCParams& Params, std::vector<TODBCFldDesc>& Descs) {
    Clear();
    const int count = Params.Count();
    Descs.assign(static_cast<std::size_t>(count), TODBCFldDesc{});
    try {
        // Sizes first: the NULL word sits at the end of the buffer, and every
        // NULL value's descriptor points at it.
        std::vector<int> sizes(static_cast<std::size_t>(count));
        long long total = 2;
        for (int i = 0; i < count; ++i) {
            TODBCParam* p = Params.GetParam(i);
            if (p->DataType() == ftUnknown && p->IsNull() && p->Bound()) {
                // A bound NULL of no type goes as a NULL character value.
                p->SetDataType(ftString);
                p->Clear();
            }
            const TODBCParamType direction = p->ParamType();
            if (p->DataType() == ftUnknown && (direction == ptOutput || direction == ptResult)) {
                // An output of no declared type answers as text.
                p->SetDataType(ftString);
                p->Clear();
            }
            if (p->DataType() == ftUnknown) DatabaseErrorFmt(SNoParameterValue, p->Name());
            sizes[static_cast<std::size_t>(i)] = p->RecBufDataSize();
            total += sizes[static_cast<std::size_t>(i)];
            if (total > kMaxParamBufferSize) DatabaseErrorFmt(SParamBufferTooBig, p->Name(), kMaxParamBufferSize);
        }
        FBuffer.assign(static_cast<std::size_t>(total), std::byte{0});
        const int nullWord = static_cast<int>(total) - 2;
        FBuffer[static_cast<std::size_t>(nullWord)] = std::byte{0xFF};
        FBuffer[static_cast<std::size_t>(nullWord) + 1] = std::byte{0xFF};

        int offset = 0;
        for (int i = 0; i < count; ++i) {
            TODBCParam* p = Params.GetParam(i);
            TODBCFldDesc& d = Descs[static_cast<std::size_t>(i)];
            const int size = sizes[static_cast<std::size_t>(i)];
            d.SetName(p->ColumnName());
            DescribeType(*p, d);
            d.FieldNo = static_cast<std::uint16_t>(i + 1);
            // TODBCParamType and the engine's ODBCSTMTParamType number the
            // directions alike (unknown, in, out, in-out, result).
            d.ParamDir = static_cast<std::uint8_t>(Params.Entry(i)->ParamType());
            d.Len = static_cast<std::uint16_t>(size);
            d.Offset = static_cast<std::uint16_t>(offset);
            // Writes the value; refuses 16-bit values outside their range.
            p->RecBufGetData(FBuffer.data() + offset);
            if (p->IsNull()) {
                d.NullOffset = static_cast<std::uint16_t>(nullWord);
            } else if (d.FldType == fcString) {
                d.Units1 = static_cast<std::uint16_t>(size - 1);
            }
            offset += size;
        }
    } catch (...) {
        Clear();
        Descs.clear();
        throw;
    }
}

void TODBCParamBuffer::Bind(const TODBCParams& Params, SQLHSTMT Stmt, const TODBC* Engine) {
    std::vector<TODBCFldDesc> descs;
    Build(Params, descs);
    // The binder writes every slot it uses; zeroed slots leave NULL to the
    // descriptors.
    FIndicators.assign(descs.size(), 0);
    ODBCBindParams(Stmt, static_cast<int>(descs.size()), descs.data(), FBuffer.data(), Engine, FIndicators.data());
}

}  // namespace velora
