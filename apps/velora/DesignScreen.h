// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The interactive designer of `velora design FORMFILE`: the form's
// components on the left, the selected component's published properties on
// the right with their values as their editors show them.
//
//   Tab          switches between the two lists; Up/Down move; typing a
//                name's first letters jumps to it
//   Enter        edits the property: values to pick (data sources, tables,
//                enumerations, components) in a list that typing filters;
//                typed text in a line editor; the editor's dialog (the
//                parameter editor, the About box) on the screen
//   F6           runs the component's first verb (the update-SQL editor,
//                a dialog on the screen)
// Dialogs are shown whole over the designer by TScreenPresenter
// (velora/tui/DialogScreen.h).
//   F7           adds a component from the palette
//   F2           saves the form file; F10 or Ctrl-Q quits
#pragma once

#include "velora/classes/Classes.h"
#include "velora/design/DesignIntf.h"
#include "velora/forms/Presenters.h"
#include "velora/tui/Screen.h"

#include <functional>
#include <memory>

#include <string>

namespace velora::app {

/// Runs the designer on the screen until the user quits.
void RunDesignScreen(tui::TScreen& screen, TComponent* root, TDesigner& designer, const std::string& file);

/// Gives parameter `name` of the query a type and a value through the
/// parameter editor, as a person would; raises Exception with the editor's
/// status text when it refuses the value.
void TypeParameter(TDesigner& designer, TComponent* query, const String& name, const String& type, const String& value);

/// Writes the form file; field objects without a name (the fields an open
/// dataset made) are named first after their dataset and field ("Table1id",
/// "Table1unit_price"), so the file names every object it holds and reads
/// back as the same fields.
void SaveForm(TComponent* root, const std::string& file);

/// A presenter that accepts every dialog with its defaults (the update-SQL
/// editor generates first); message boxes go to `report`.
std::shared_ptr<TFormPresenter> AcceptingPresenter(std::function<void(const String&)> report);

}  // namespace velora::app
