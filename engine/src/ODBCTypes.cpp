// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Column and parameter descriptors: their names.
#include "velora/engine/ODBCTypes.h"

#include <cstring>

namespace velora {

String TODBCFldDesc::GetName() const {
    if (!FullName.empty()) return FullName;
    return String(FldName, strnlen(FldName, sizeof FldName));
}

void TODBCFldDesc::SetName(std::string_view name) {
    FullName.assign(name);
    StrPLCopy(FldName, name, sizeof FldName);
}

bool TODBCFldDesc::NameIs(std::string_view name) const { return SameText(GetName(), name); }

}  // namespace velora
