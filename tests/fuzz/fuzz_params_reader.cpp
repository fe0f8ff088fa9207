// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Fuzz target: the stored form of a parameter list (TODBCParams::
// ReadBinaryData), as a form file's Params.Data hands it over. Any input
// must end in a read list or in one of the library's own exceptions; a crash,
// a sanitizer report, a foreign exception or a hang is a finding. A list that
// was read is written again and read back, which must succeed.
#include "velora/components/ODBCParams.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace velora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    TMemoryStream stream;
    if (size) stream.WriteBuffer(data, static_cast<std::int64_t>(size));
    stream.SetPosition(0);
    TODBCParams list;
    try {
        list.ReadBinaryData(stream);
    } catch (const Exception&) {
        return 0;
    }
    TMemoryStream again;
    try {
        list.WriteBinaryData(again);
    } catch (const Exception&) {
        return 0;  // a stored type without native form is refused, not written
    }
    again.SetPosition(0);
    TODBCParams back;
    back.ReadBinaryData(again);  // what the library wrote must read back
    if (back.Count() != list.Count()) std::abort();
    return 0;
}
