// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The velora tool's picture commands: `render` draws a form file (or the
// login dialog) into a PNG file, `label` draws one 3-D text label.
#pragma once

#include "Command.h"

#include <optional>
#include <string>

namespace velora::app {

/// velora render FORMFILE|--dialog NAME|--login-dialog --out FILE.png [--scale N]
/// Reads the form file (forms, standard controls and 3-D text labels) and
/// writes its picture; prints the file's path. --dialog draws the login
/// dialog or one of the designer's dialogs (about, params, update-options,
/// update-sql) as its editor opens it over a query of the sample database.
class TRenderCommand : public TCommand {
public:
    void Define(CLI::App& cmd) override;
    int Run() override;

private:
    int RenderDesignDialog();
    std::string FForm, FOut, FDialog;
    bool FLoginDialog = false;
    int FScale = 1;
};

/// velora label CAPTION [--style raised|recessed|shadow|normal] [--rotation D]
///                      [--font NAME] [--size N] [--color C] [--background C]
///                      [--highlight C] [--shadow C] [--offset N] [--scale N]
///                      --out FILE.png
/// Draws one label on a margin of background; colours are names (black,
/// white, red, ...) or #RRGGBB. Prints the file's path.
class TLabelCommand : public TCommand {
public:
    void Define(CLI::App& cmd) override;
    int Run() override;

private:
    std::string FCaption, FOut, FStyle = "raised", FFont = "DejaVu Sans";
    int FRotation = 0, FSize = 24, FScale = 1;
    std::optional<int> FOffset;
    std::optional<std::string> FColor, FBackground, FHighlight, FShadow;
};

}  // namespace velora::app
