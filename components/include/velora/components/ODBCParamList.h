// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCParamList: turns NAME=VALUE lines into a packed descriptor array plus
// one value buffer, the shape the engine's parameter binder reads. No
// component of the library builds one; it is offered to applications that
// hand name/value pairs to the engine themselves.
#pragma once

#include "velora/classes/Classes.h"

#include <cstdint>

namespace velora {

#pragma pack(push, 1)
/// One packed 53-byte descriptor of a TODBCParamList, laid out like the
/// engine's column and parameter descriptor: the fields a parameter list does
/// not use are zero.
struct TODBCParamListDesc {
    std::uint16_t FieldNo;      ///< 1-based position among the lines holding "="
    char FldName[32];           ///< text before "=", at most 31 characters, NUL-terminated
    std::uint16_t FldType;      ///< always 1: zero-terminated text
    std::uint8_t Reserved1[6];  ///< zero
    std::uint16_t Offset;       ///< offset of the value in the value buffer
    std::uint16_t Len;          ///< characters after "=" plus 1 (the terminator)
    std::uint8_t Reserved2[7];  ///< zero
};
#pragma pack(pop)
static_assert(sizeof(TODBCParamListDesc) == 53, "the descriptor is 53 packed bytes");

/// Descriptors and values built from the lines of a string list.
class TODBCParamList : public TObject {
public:
    /// Builds one descriptor per line that contains "=" (other lines are
    /// skipped and take no field number) and copies each value, terminated,
    /// into one zero-filled buffer.
    /// \throws EIntOverflow when the values (each with its terminator) need
    ///         more than 65,535 bytes.
    explicit TODBCParamList(const TStrings& Params);
    ~TODBCParamList() override;

    /// The value buffer (null without entries).
    const char* Buffer() const { return FBuffer; }
    std::uint16_t BufSize() const { return FBufSize; }
    std::int32_t FieldCount() const { return FFieldCount; }
    /// The descriptor array (null without entries).
    const TODBCParamListDesc* FieldDescs() const { return FFieldDescs; }

private:
    char* FBuffer = nullptr;
    std::uint16_t FBufSize = 0;
    std::int32_t FFieldCount = 0;
    TODBCParamListDesc* FFieldDescs = nullptr;
};

}  // namespace velora
