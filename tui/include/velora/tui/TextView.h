// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TTextView: a window showing a long text whole (a memo, a BLOB as a hex
// dump), its lines wrapped at the window's width, scrolled with Up, Down,
// PageUp, PageDown, Home and End.
#pragma once

#include "velora/tui/Screen.h"

#include <string>
#include <vector>

namespace velora::tui {

class TTextView : public TWindow {
public:
    /// Shows text as lines (split at LF; CR before LF dropped).
    void SetText(const std::string& text);
    /// Shows bytes as a hex dump: offset, 16 bytes in hex, and their
    /// printable ASCII.
    void SetBytes(const std::string& bytes);
    void Paint(TScreen& screen) override;
    bool HandleKey(const TKeyEvent& key) override;
    /// The wrapped lines and the first one shown.
    int LineCount() const { return static_cast<int>(FRows.size()); }
    int TopLine() const { return FTop; }

protected:
    void BoundsChanged() override;

private:
    void Wrap();
    std::vector<std::string> FLines;
    std::vector<std::string> FRows;  ///< FLines wrapped at the width
    int FTop = 0;
};

}  // namespace velora::tui
