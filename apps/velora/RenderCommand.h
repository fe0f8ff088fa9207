// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The velora tool's picture commands: `render` draws a form file (or the
// login dialog) into a PNG file, `label` draws one 3-D text label.
#pragma once

#include <string>
#include <vector>

namespace velora::app {

/// A render or label command line that cannot be understood.
struct TRenderUsageError {
    std::string Message;
};

/// velora render FORMFILE|--login-dialog --out FILE.png [--scale N]
/// Reads the form file (forms, standard controls and 3-D text labels) and
/// writes its picture; prints the file's path. Answers the exit status.
int RenderCommand(const std::vector<std::string>& args);

/// velora label CAPTION [--style raised|recessed|shadow|normal] [--rotation D]
///                      [--font NAME] [--size N] [--color C] [--background C]
///                      [--highlight C] [--shadow C] [--offset N] [--scale N]
///                      --out FILE.png
/// Draws one label on a margin of background; colours are names (black,
/// white, red, ...) or #RRGGBB. Prints the file's path.
int LabelCommand(const std::vector<std::string>& args);

}  // namespace velora::app
