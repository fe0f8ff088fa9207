// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Buttons with pictures: speed buttons (tool-bar buttons that never take the
// focus, optionally grouped so that one stays down) and bitmap buttons whose
// Kind gives the usual caption, modal result and default/cancel role.
#pragma once

#include "velora/forms/Controls.h"
#include "velora/forms/StdCtrls.h"

#include <cstdint>

namespace velora {

enum TButtonLayout : std::uint8_t { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };

/// A flat tool button. With a GroupIndex it stays down when clicked and
/// releases the other buttons of its group on the same parent.
class TSpeedButton : public TGraphicControl {
public:
    explicit TSpeedButton(TComponent* AOwner);
    ~TSpeedButton() override;

    bool AllowAllUp() const { return FAllowAllUp; }
    void SetAllowAllUp(bool value) { FAllowAllUp = value; }
    int GroupIndex() const { return FGroupIndex; }
    void SetGroupIndex(int value) { FGroupIndex = value; }
    bool Down() const { return FDown; }
    /// Only a grouped button can stay down; putting one down releases the
    /// others of its group.
    void SetDown(bool value);
    bool Flat() const { return FFlat; }
    void SetFlat(bool value) { FFlat = value; }
    TPicture* Glyph() const { return FGlyph; }
    void SetGlyph(TPicture* value) { FGlyph->Assign(value); }
    int NumGlyphs() const { return FNumGlyphs; }
    void SetNumGlyphs(int value) { FNumGlyphs = value; }
    TButtonLayout Layout() const { return FLayout; }
    void SetLayout(TButtonLayout value) { FLayout = value; }
    int Margin() const { return FMargin; }
    void SetMargin(int value) { FMargin = value; }
    int Spacing() const { return FSpacing; }
    void SetSpacing(int value) { FSpacing = value; }

    /// Grouped buttons go down (or up with AllowAllUp), then OnClick.
    void Click() override;
    void Paint() override;

private:
    bool FAllowAllUp = false;
    int FGroupIndex = 0;
    bool FDown = false;
    bool FFlat = false;
    TPicture* FGlyph;
    int FNumGlyphs = 1;
    TButtonLayout FLayout = blGlyphLeft;
    int FMargin = -1;
    int FSpacing = 4;
};

enum TBitBtnKind : std::uint8_t {
    bkCustom,
    bkOK,
    bkCancel,
    bkHelp,
    bkYes,
    bkNo,
    bkClose,
    bkAbort,
    bkRetry,
    bkIgnore,
    bkAll
};

/// A push button with a picture. A Kind other than bkCustom sets the
/// caption ("OK", "Cancel", "&Help", "&Yes", "&No", "&Close", "Abort",
/// "&Retry", "&Ignore", "&All"), the modal result, Default (OK, Yes) and
/// Cancel (Cancel, No); a bkClose button closes its form.
class TBitBtn : public TButton {
public:
    explicit TBitBtn(TComponent* AOwner);
    ~TBitBtn() override;

    TBitBtnKind Kind() const { return FKind; }
    void SetKind(TBitBtnKind value);
    TPicture* Glyph() const { return FGlyph; }
    void SetGlyph(TPicture* value) { FGlyph->Assign(value); }
    TButtonLayout Layout() const { return FLayout; }
    void SetLayout(TButtonLayout value) { FLayout = value; }
    int Margin() const { return FMargin; }
    void SetMargin(int value) { FMargin = value; }
    int Spacing() const { return FSpacing; }
    void SetSpacing(int value) { FSpacing = value; }
    int NumGlyphs() const { return FNumGlyphs; }
    void SetNumGlyphs(int value) { FNumGlyphs = value; }

    void Click() override;

private:
    TBitBtnKind FKind = bkCustom;
    TPicture* FGlyph;
    TButtonLayout FLayout = blGlyphLeft;
    int FMargin = -1;
    int FSpacing = 4;
    int FNumGlyphs = 1;
};

}  // namespace velora
