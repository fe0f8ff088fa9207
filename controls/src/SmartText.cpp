// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TSmartText: setters, centring, the origin of rotated text, the effect and
// face passes, the resize grip, and its registration for form files.
#include "velora/controls/SmartText.h"

#include "velora/forms/FormClasses.h"

#include <cmath>
#include <mutex>
#include <numbers>

namespace velora {

namespace {

/// Rounds to the nearest integer, halves to even.
int RoundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

/// The drawing buffer holds 255 characters; a longer caption is drawn cut.
constexpr std::size_t MaxDrawnText = 255;

}  // namespace

TSmartText::TSmartText(TComponent* AOwner) : TCustomLabel(AOwner) {
    RegisterControlClasses();
    SetAutoSize(true);
}

// ---------------------------------------------------------------- setters

bool TSmartText::GetAutoSize() {
    // At rotation 0 the wish goes to the label's own auto-size again (its
    // text may have changed); the answer is always the wish, so that a
    // rotated label keeps AutoSize True in its form file.
    if (FRotation == 0) SetAutoSize(FAutoSizeWish);
    return FAutoSizeWish;
}

void TSmartText::SetAutoSize(bool value) {
    FAutoSizeWish = value;
    TCustomLabel::SetAutoSize(FRotation == 0 ? value : false);
}

void TSmartText::SetHighlightColor(TColor value) {
    if (value == FHighlightColor) return;
    FHighlightColor = value;
    Invalidate();
}

void TSmartText::SetShadowColor(TColor value) {
    if (value == FShadowColor) return;
    FShadowColor = value;
    Invalidate();
}

void TSmartText::SetRotation(int value) {
    value %= 360;
    if (value < 0) value += 360;
    if (value == FRotation) return;
    FRotation = value;
    if (FRotation != 0 && !IsTrueType()) Font()->SetName("Arial");
    SetAutoSize(FAutoSizeWish);
    Invalidate();
}

void TSmartText::SetTextOffset(int value) {
    if (value == FTextOffset) return;
    FTextOffset = value;
    RedrawLabel();
}

void TSmartText::SetTextStyle(TTextStyle value) {
    if (value == FTextStyle) return;
    FTextStyle = value;
    RedrawLabel();
}

void TSmartText::RedrawLabel() { Invalidate(); }

void TSmartText::SetCenterOnParent(bool value) {
    FCenterOnParent = value;
    if (FCenterOnParent) Centre();
    Invalidate();
}

void TSmartText::SetParent(TWinControl* AParent) {
    TCustomLabel::SetParent(AParent);
    if (FCenterOnParent) Centre();
}

void TSmartText::Centre() {
    if (!Parent()) return;
    const TRect client = Parent()->ClientRect();
    SetBounds(RoundEven((client.Width() - ClientWidth()) * 0.5), RoundEven((client.Height() - ClientHeight()) * 0.5),
              Width(), Height());
}

void TSmartText::TextChanged() {
    TCustomLabel::TextChanged();
    if (FCenterOnParent) Centre();
}

void TSmartText::MoveRelative(int dx, int dy) {
    if (!Parent()) return;
    const TRect client = Parent()->ClientRect();
    int left = Left(), top = Top();
    if (dy != 0) {
        top += dy;
        if (top < 0)
            top = 0;
        else if (top + Height() > client.Height())
            top = client.Height() - Height();
    }
    if (dx != 0) {
        left += dx;
        if (left < 0)
            left = 0;
        else if (left + Width() > client.Width())
            left = client.Width() - Width();
    }
    SetBounds(left, top, Width(), Height());
}

// ---------------------------------------------------------------- fonts

bool TSmartText::IsTrueType() { return (Canvas()->TextMetrics().tmPitchAndFamily & TMPF_TRUETYPE) != 0; }

HFONT TSmartText::RotateFont() {
    const TFont* f = Font();
    TLogFont lf;
    lf.lfHeight = f->Height();
    lf.lfWidth = 0;
    lf.lfEscapement = FRotation * 10;
    lf.lfOrientation = 0;
    lf.lfWeight = f->Style().Contains(fsBold) ? 700 : 400;
    lf.lfItalic = f->Style().Contains(fsItalic) ? 1 : 0;
    lf.lfUnderline = f->Style().Contains(fsUnderline) ? 1 : 0;
    lf.lfStrikeOut = f->Style().Contains(fsStrikeOut) ? 1 : 0;
    lf.lfCharSet = DEFAULT_CHARSET;
    lf.lfPitchAndFamily = f->Pitch() == fpVariable ? 2 : f->Pitch() == fpFixed ? 1 : 0;
    lf.lfFaceName = f->Name();
    return Canvas()->CreateFontIndirect(lf);
}

// ---------------------------------------------------------------- drawing

void TSmartText::CalculateOrigin(TRect& r, unsigned flags, int tw, int th, int& x, int& y) {
    const TSize extent = Canvas()->TextExtent(Caption().substr(0, MaxDrawnText));
    const double W = extent.cx, H = extent.cy;
    const double a = FRotation * std::numbers::pi / 180.0;
    const double sa = std::sin(a), ca = std::cos(a);
    const int rw = RoundEven(std::fabs(sa * H) + std::fabs(ca * W)) + FTextOffset;
    const int rh = RoundEven(std::fabs(sa * W) + std::fabs(ca * H)) + FTextOffset;
    const int s = FTextStyle == tsShadow ? FTextOffset : 0;

    if (FRotation > 0 && FRotation < 360) {
        const TAlign al = Align();
        int width = Width(), height = Height();
        if (al == alNone || al == alTop || al == alBottom) height = rh;
        if (al == alNone || al == alLeft || al == alRight) width = rw;
        if (width != Width() || height != Height()) {
            SetBounds(Left(), Top(), width, height);
            r = ClientRect();
        }
    }

    const bool centre = (flags & DT_CENTER) != 0;
    const bool right = (flags & DT_RIGHT) != 0;
    const int rot = FRotation;
    if (rot < 90) {
        // The far corner of the turned cell touches the top.
        x = 0;
        y = rot == 0 ? r.Bottom - th + FTextOffset - s : r.Bottom - RoundEven(th * ca) - s;
    } else if (rot < 180) {
        x = std::abs(RoundEven(ca * W));
        y = r.Bottom - s;
        if (rot == 90 && centre)
            y = r.Bottom - (r.Bottom - tw) / 2;
        else if (rot == 90 && right)
            y = r.Top + tw;
    } else if (rot < 270) {
        // The start of the turned cell touches the top.
        y = RoundEven(th * std::fabs(ca));
        x = rw;
        if (rot == 180 && centre)
            x = r.Right - (r.Right - tw) / 2;
        else if (rot == 180 && right)
            x = tw;
    } else {
        x = std::abs(RoundEven(sa * H));
        y = 0;
        if (rot == 270 && centre)
            y = (r.Bottom - tw) / 2;
        else if (rot == 270 && right)
            y = r.Bottom - tw - s;
    }
}

void TSmartText::Draw3DText(TRect r, unsigned flags) {
    const String text = Caption().substr(0, MaxDrawnText);
    if (WordWrap()) flags |= DT_WORDBREAK;
    if (!ShowAccelChar()) flags |= DT_NOPREFIX;
    TCanvas* cv = Canvas();  // selects the control's font
    const int tw = cv->TextWidth(text);
    const int th = cv->TextHeight("Pp");
    int x = 0, y = 0;
    CalculateOrigin(r, flags, tw, th, x, y);
    if (FRotation != 0) cv->Font()->SetHandle(RotateFont());

    auto draw = [&](TColor color, int d) {
        cv->Font()->SetColor(color);
        TRect work = r;
        OffsetRect(work, d, d);
        if (FRotation == 0)
            cv->DrawText(text, -1, work, flags);
        else
            cv->TextRect(work, x + d, y + d, text);
    };
    switch (FTextStyle) {
        case tsRaised:
            draw(FShadowColor, 1);
            draw(FHighlightColor, -1);
            break;
        case tsRecessed:
            draw(FHighlightColor, 1);
            draw(FShadowColor, -1);
            break;
        case tsShadow:
            draw(FShadowColor, FTextOffset);
            break;
        case tsNormal:
            break;
    }
    // The face, clipped to the rectangle itself (not an effect's shifted one).
    cv->Font()->SetColor(Enabled() ? Font()->Color() : clInactiveCaptionText);
    if (FRotation == 0) {
        cv->DrawText(text, -1, r, flags);
    } else {
        cv->Refresh();
        cv->TextRect(r, x, y, text);
    }
}

void TSmartText::Paint() {
    if (FCenterOnParent) Centre();
    TCanvas* cv = Canvas();
    const TRect r = ClientRect();
    if (!Transparent()) {
        cv->Brush()->SetColor(Color());
        cv->Brush()->SetStyle(bsSolid);
        cv->FillRect(r);
    }
    cv->Brush()->SetStyle(bsClear);
    Draw3DText(r, DrawTextAlignments[Alignment()] | DT_EXPANDTABS);
}

// ---------------------------------------------------------------- mouse

void TSmartText::MouseEnter() {
    if (OnMouseEnter) OnMouseEnter(this);
}

void TSmartText::MouseLeave() {
    if (OnMouseLeave) OnMouseLeave(this);
}

void TSmartText::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TCustomLabel::MouseDown(Button, Shift, X, Y);
    if (FAllowResize && Cursor() == crSizeNWSE) {
        FResizing = true;
        FDx = Width() - X;
        FDy = Height() - Y;
    }
}

void TSmartText::MouseMove(TShiftState Shift, int X, int Y) {
    TCustomLabel::MouseMove(Shift, X, Y);
    if (!FAllowResize) return;
    if (FResizing && Cursor() == crSizeNWSE) {
        // The grip never makes the label smaller than 10 x 10.
        SetBounds(Left(), Top(), std::max(10, FDx + X), std::max(10, FDy + Y));
        FDx = Width() - X;
        FDy = Height() - Y;
        FResized = true;
    }
    if (Width() - 10 < X && X < Width() && Height() - 10 < Y && Y < Height()) {
        if (Cursor() != crSizeNWSE) {
            FSavedCursor = Cursor();
            FCursorSaved = true;
            SetCursor(crSizeNWSE);
        }
    } else if (FCursorSaved && !FResizing) {
        SetCursor(FSavedCursor);
        FCursorSaved = false;
    }
}

void TSmartText::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    TCustomLabel::MouseUp(Button, Shift, X, Y);
    if (!FResizing) return;
    FResizing = false;
    FResized = false;
    if (FCursorSaved) {
        SetCursor(FSavedCursor);
        FCursorSaved = false;
    }
}

// ---------------------------------------------------------------- registration

void RegisterControlClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterFormClasses();
        const TEnumInfo& styles = RegisterEnum("TTextStyle", {"tsRaised", "tsRecessed", "tsShadow", "tsNormal"});
        auto b = RegisterClass<TSmartText>("TSmartText", "TCustomLabel");
        b.EnumProp("Align", *FindEnum("TAlign"), &TSmartText::Align, &TSmartText::SetAlign).Default(alNone);
        b.EnumProp("Alignment", *FindEnum("TAlignment"), &TSmartText::Alignment, &TSmartText::SetAlignment)
            .Default(taLeftJustify);
        b.BooleanProp("AllowResize", &TSmartText::AllowResize, &TSmartText::SetAllowResize).Default(false);
        b.BooleanProp("AutoSize", &TSmartText::GetAutoSize, &TSmartText::SetAutoSize).Default(true);
        b.StringProp("Caption", &TSmartText::Caption, &TSmartText::SetCaption);
        PublishColorProps(b, clBtnFace, true);
        b.IntegerProp("Cursor", &TSmartText::Cursor, &TSmartText::SetCursor).Default(crDefault);
        b.ComponentProp("FocusControl", &TSmartText::FocusControl, &TSmartText::SetFocusControl);
        b.IntegerProp("HighlightColor", &TSmartText::HighlightColor, &TSmartText::SetHighlightColor)
            .Default(clBtnHighlight);
        b.IntegerProp("Rotation", &TSmartText::Rotation, &TSmartText::SetRotation).Default(0);
        b.IntegerProp("ShadowColor", &TSmartText::ShadowColor, &TSmartText::SetShadowColor).Default(clBtnShadow);
        b.BooleanProp("ShowAccelChar", &TSmartText::ShowAccelChar, &TSmartText::SetShowAccelChar).Default(true);
        b.IntegerProp("TextOffset", &TSmartText::TextOffset, &TSmartText::SetTextOffset).Default(1);
        b.EnumProp("TextStyle", styles, &TSmartText::TextStyle, &TSmartText::SetTextStyle).Default(tsRaised);
        b.BooleanProp("Transparent", &TSmartText::Transparent, &TSmartText::SetTransparent).Default(false);
        b.BooleanProp("WordWrap", &TSmartText::WordWrap, &TSmartText::SetWordWrap).Default(false);
        PublishVisualProps(b);
        PublishMouseEvents(b);
    });
}

}  // namespace velora
