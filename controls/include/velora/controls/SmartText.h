// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Unit StdComps: TSmartText, a label that draws its caption raised,
// recessed, with a drop shadow or flat, turned by any whole number of
// degrees, optionally centred on its parent and resizable by the user
// through a grip in its lower-right corner.
//
// A rotated caption is drawn with a font handle whose escapement is the
// rotation (counter-clockwise, glyphs turned with the baseline), its cell's
// top-left corner at the origin CalculateOrigin chooses so that the whole
// turned text lies inside the control; a rotated label sizes itself to the
// turned text (according to Align) instead of auto-sizing as a label does.
#pragma once

#include "velora/forms/StdCtrls.h"

#include <cstdint>

namespace velora {

enum TTextStyle : std::uint8_t { tsRaised, tsRecessed, tsShadow, tsNormal };

/// The text-drawing flags of each Alignment (left, right, centre).
inline constexpr unsigned DrawTextAlignments[] = {DT_LEFT, DT_RIGHT, DT_CENTER};

class TSmartText : public TCustomLabel {
public:
    explicit TSmartText(TComponent* AOwner);

    bool AllowResize() const { return FAllowResize; }
    void SetAllowResize(bool value) { FAllowResize = value; }
    /// The auto-size wish: what AutoSize was last set to, whatever the
    /// rotation (the label auto-sizes as a label only at rotation 0).
    virtual bool GetAutoSize();
    void SetAutoSize(bool value) override;
    TColor HighlightColor() const { return FHighlightColor; }
    virtual void SetHighlightColor(TColor value);
    TColor ShadowColor() const { return FShadowColor; }
    virtual void SetShadowColor(TColor value);
    /// Degrees, 0 to 359: any value is taken modulo 360 (370: 10, -90: 270).
    int Rotation() const { return FRotation; }
    virtual void SetRotation(int value);
    int TextOffset() const { return FTextOffset; }
    virtual void SetTextOffset(int value);
    TTextStyle TextStyle() const { return FTextStyle; }
    virtual void SetTextStyle(TTextStyle value);

    /// Keeps the label centred within its parent's client area (when it has
    /// a parent): at once, when the caption changes and at every paint.
    bool CenterOnParent() const { return FCenterOnParent; }
    virtual void SetCenterOnParent(bool value);

    /// Moves the label by dx, dy, kept inside its parent's client area;
    /// a zero delta leaves that coordinate alone, no parent: no move.
    virtual void MoveRelative(int dx, int dy);
    /// The font is a scalable outline font (the TrueType bit of the metrics).
    virtual bool IsTrueType();
    /// A new font handle for the rotated caption: the font with escapement
    /// Rotation × 10 (the canvas font takes ownership of it).
    virtual HFONT RotateFont();
    /// Where the rotated text's cell starts (x, y) for the rectangle r and
    /// flags, tw = text width and th = height of "Pp"; at a rotation it
    /// also sizes the label to the turned text (Width unless Align is top,
    /// bottom or client; Height unless left, right or client), and r becomes
    /// the new client rectangle.
    virtual void CalculateOrigin(TRect& r, unsigned flags, int tw, int th, int& x, int& y);
    /// Draws the caption in the effect colours and the face (see Paint).
    virtual void Draw3DText(TRect r, unsigned flags);
    /// Asks for a repaint.
    virtual void RedrawLabel();

    void Paint() override;
    void SetParent(TWinControl* AParent) override;
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    void MouseMove(TShiftState Shift, int X, int Y) override;
    void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
    /// The pointer entered / left the control (a presenter calls these).
    void CMMouseEnter() { MouseEnter(); }
    void CMMouseLeave() { MouseLeave(); }

    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;

protected:
    virtual void MouseEnter();
    virtual void MouseLeave();
    void TextChanged() override;

private:
    void Centre();

    bool FAllowResize = false;
    bool FAutoSizeWish = true;
    TColor FHighlightColor = clBtnHighlight;
    TColor FShadowColor = clBtnShadow;
    int FRotation = 0;
    int FTextOffset = 1;
    TTextStyle FTextStyle = tsRaised;
    bool FCenterOnParent = false;
    bool FResizing = false;
    bool FResized = false;
    int FDx = 0;
    int FDy = 0;
    TCursor FSavedCursor = crDefault;
    bool FCursorSaved = false;
};

/// Registers TSmartText and TTextStyle for form files, once (thread-safe);
/// TSmartText's constructor runs it.
void RegisterControlClasses();

}  // namespace velora
