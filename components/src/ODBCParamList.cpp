// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCParamList: two passes over the lines, the first sizing the buffer
// with overflow detection, the second filling descriptors and values.
#include "velora/components/ODBCParamList.h"

#include <cstdlib>
#include <cstring>

namespace velora {

TODBCParamList::TODBCParamList(const TStrings& Params) {
    // First pass: count the entries and size the buffer (16 bits, checked).
    std::uint32_t size = 0;
    for (int i = 0; i < Params.Count(); ++i) {
        const String line = Params.Strings(i);
        const auto eq = line.find('=');
        if (eq == String::npos) continue;
        ++FFieldCount;
        size += static_cast<std::uint32_t>(line.size() - eq);  // value characters plus the terminator
        if (size > 0xFFFF) throw EIntOverflow("Integer overflow");
    }
    FBufSize = static_cast<std::uint16_t>(size);
    if (FFieldCount == 0) return;

    FFieldDescs = static_cast<TODBCParamListDesc*>(std::calloc(FFieldCount, sizeof(TODBCParamListDesc)));
    FBuffer = static_cast<char*>(std::calloc(FBufSize, 1));
    if (!FFieldDescs || !FBuffer) {
        std::free(FFieldDescs);
        std::free(FBuffer);
        throw std::bad_alloc();
    }

    // Second pass: the n-th line holding "=" fills descriptor n-1. The whole
    // value is copied: the buffer was sized for it, and the descriptor's
    // length announces all of it.
    std::uint16_t pos = 0;
    int n = 0;
    for (int i = 0; i < Params.Count(); ++i) {
        const String line = Params.Strings(i);
        const auto eq = line.find('=');
        if (eq == String::npos) continue;
        TODBCParamListDesc& d = FFieldDescs[n++];
        d.FieldNo = static_cast<std::uint16_t>(n);
        StrPLCopy(d.FldName, std::string_view(line).substr(0, eq), sizeof d.FldName);
        d.FldType = 1;
        d.Offset = pos;
        d.Len = static_cast<std::uint16_t>(line.size() - eq);
        std::memcpy(FBuffer + pos, line.data() + eq + 1, line.size() - eq - 1);
        pos = static_cast<std::uint16_t>(pos + d.Len);
    }
}

TODBCParamList::~TODBCParamList() {
    std::free(FFieldDescs);
    std::free(FBuffer);
}

}  // namespace velora
