// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "velora/components/Version.h"

#ifndef VELORA_VERSION
#error "VELORA_VERSION comes from the CMake project version"
#endif

namespace velora {

const char* VeloraVersion() { return VELORA_VERSION; }

}  // namespace velora
