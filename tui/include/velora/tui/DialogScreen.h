// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Modal forms on the full-screen terminal layer: the presenter the
// interactive designer installs, so that the dialogs its editors open (the
// parameter editor, the update-SQL editor, the About box, message boxes)
// are shown whole over the designer and used with the keyboard.
//
// The form is drawn from its stored layout: its client area is scaled from
// pixels to character cells (6 pixels a column and 13 a row, more when the
// form would not fit the screen) inside a frame whose top line carries the
// caption. One-line controls (labels, edit and combo boxes, buttons, check
// boxes) sit on the row of their middle; list boxes, memos, tree views,
// group boxes and page controls keep their rectangle. Only the active page
// of a page control shows.
//
// Keys act through the form's own input methods, so its rules hold:
//   Tab / Shift-Tab    next / previous control in the tab order
//   Enter              Return: a new line in a memo, else the focused or
//                      default button
//   Escape             the cancel button, else closes the form (mrCancel)
//   Up / Down          list boxes and combo boxes choose; memos move lines
//   Left / Right       move in a box; on a page control's tabs, the page
//   Space              toggles the item under the cursor of a multi-select
//                      list, a check box, presses a focused button
//   Ctrl+letter        the button, check box or page tab whose letter is
//                      underlined
#pragma once

#include "velora/forms/Presenters.h"
#include "velora/tui/Screen.h"

#include <map>
#include <memory>

namespace velora::tui {

class TScreenPresenter : public TFormPresenter {
public:
    explicit TScreenPresenter(TScreen& screen) : FScreen(screen) {}
    /// Runs the form until its modal result is set (true) or input ends.
    bool RunModal(TCustomForm& form) override;

private:
    TScreen& FScreen;
};

}  // namespace velora::tui
