// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The library's version, as the build declares it in one place (the CMake
// project version), readable at run time.
#pragma once

namespace velora {

/// "major.minor.patch", e.g. "0.1.0".
const char* VeloraVersion();

}  // namespace velora
