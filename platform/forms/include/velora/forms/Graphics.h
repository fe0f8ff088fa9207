// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The forms library's graphics objects as far as forms and controls need them: colours,
// points and rectangles, fonts, brushes, pens, pictures and the canvas.
//
// There is no display here. A canvas measures text with one deterministic
// metric derived from the font alone (see TextExtentOf), so layouts that depend
// on text size (auto-sized labels, a label kept inside its panel) come out the
// same on every machine and can be tested. Drawing operations join the canvas
// when a control that paints needs them.
#pragma once

#include "velora/classes/Classes.h"

#include <cstdint>

namespace velora {

/// A colour: 0x00BBGGRR, or 0x800000nn for the system colour number nn.
using TColor = std::int32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clGreen = 0x008000;
inline constexpr TColor clNavy = 0x800000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clSilver = 0xC0C0C0;
inline constexpr TColor clRed = 0x0000FF;
inline constexpr TColor clBlue = 0xFF0000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clScrollBar = static_cast<TColor>(0x80000000);
inline constexpr TColor clWindow = static_cast<TColor>(0x80000005);
inline constexpr TColor clWindowText = static_cast<TColor>(0x80000008);
inline constexpr TColor clBtnFace = static_cast<TColor>(0x8000000F);
inline constexpr TColor clBtnShadow = static_cast<TColor>(0x80000010);
inline constexpr TColor clGrayText = static_cast<TColor>(0x80000011);
inline constexpr TColor clBtnText = static_cast<TColor>(0x80000012);
inline constexpr TColor clBtnHighlight = static_cast<TColor>(0x80000014);
inline constexpr TColor clInfoBk = static_cast<TColor>(0x80000018);
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

/// A point in pixels.
struct TPoint {
    int X = 0;
    int Y = 0;
    bool operator==(const TPoint&) const = default;
};

/// A width and height in pixels.
struct TSize {
    int cx = 0;
    int cy = 0;
    bool operator==(const TSize&) const = default;
};

/// A rectangle: Left and Top inside, Right and Bottom just outside.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    int Width() const { return Right - Left; }
    int Height() const { return Bottom - Top; }
    bool operator==(const TRect&) const = default;
};

inline TRect Rect(int left, int top, int right, int bottom) { return TRect{left, top, right, bottom}; }
inline TRect Bounds(int left, int top, int width, int height) { return TRect{left, top, left + width, top + height}; }
/// Moves r by dx, dy.
inline void OffsetRect(TRect& r, int dx, int dy) {
    r.Left += dx;
    r.Right += dx;
    r.Top += dy;
    r.Bottom += dy;
}

/// a * b / c rounded to the nearest integer (halves away from zero), the
/// scaling routine of the controls; c = 0 gives -1.
int MulDiv(int a, int b, int c);

enum TFontStyle : std::uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;
enum TFontPitch : std::uint8_t { fpDefault, fpVariable, fpFixed };
using TFontCharset = std::uint8_t;
inline constexpr TFontCharset ANSI_CHARSET = 0;
inline constexpr TFontCharset DEFAULT_CHARSET = 1;

/// The face every font starts with: "MS Sans Serif", 8 points, which is a
/// height of -11 pixels at 96 dots per inch.
inline constexpr const char* DefaultFontName = "MS Sans Serif";
inline constexpr int DefaultFontHeight = -11;
/// The screen resolution fonts are sized for.
inline constexpr int ScreenPixelsPerInch = 96;

/// A font description. Height is the stored measure: negative for the
/// character height without internal leading, positive for the cell height;
/// Size (points) is derived from it at PixelsPerInch. Every change fires
/// OnChange once.
class TFont : public TPersistent {
public:
    TFont();

    const String& Name() const { return FName; }
    void SetName(const String& value);
    int Height() const { return FHeight; }
    void SetHeight(int value);
    /// Points: -Height * 72 / PixelsPerInch, rounded (a positive Height is
    /// taken as given).
    int Size() const;
    void SetSize(int value);
    TFontStyles Style() const { return FStyle; }
    void SetStyle(TFontStyles value);
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    TFontPitch Pitch() const { return FPitch; }
    void SetPitch(TFontPitch value);
    TFontCharset Charset() const { return FCharset; }
    void SetCharset(TFontCharset value);
    int PixelsPerInch() const { return FPixelsPerInch; }
    void SetPixelsPerInch(int value) { FPixelsPerInch = value; }

    /// Copies every attribute of another TFont (one OnChange).
    void Assign(TPersistent* source) override;
    /// Same name (case-insensitive), height, style, colour, pitch, charset.
    bool SameAs(const TFont& other) const;

    /// Fired after each change of an attribute.
    TNotifyEvent OnChange;

private:
    void Changed();

    String FName;
    int FHeight;
    TFontStyles FStyle;
    TColor FColor = clWindowText;
    TFontPitch FPitch = fpDefault;
    TFontCharset FCharset = DEFAULT_CHARSET;
    int FPixelsPerInch = ScreenPixelsPerInch;
};

enum TBrushStyle : std::uint8_t {
    bsSolid,
    bsClear,
    bsHorizontal,
    bsVertical,
    bsFDiagonal,
    bsBDiagonal,
    bsCross,
    bsDiagCross
};

/// How an area is filled.
class TBrush : public TPersistent {
public:
    TColor Color() const { return FColor; }
    void SetColor(TColor value) { FColor = value; }
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle value) { FStyle = value; }
    void Assign(TPersistent* source) override;

private:
    TColor FColor = clWhite;
    TBrushStyle FStyle = bsSolid;
};

enum TPenStyle : std::uint8_t { psSolid, psDash, psDot, psDashDot, psDashDotDot, psClear, psInsideFrame };

/// How lines are drawn.
class TPen : public TPersistent {
public:
    TColor Color() const { return FColor; }
    void SetColor(TColor value) { FColor = value; }
    int Width() const { return FWidth; }
    void SetWidth(int value) { FWidth = value; }
    TPenStyle Style() const { return FStyle; }
    void SetStyle(TPenStyle value) { FStyle = value; }
    void Assign(TPersistent* source) override;

private:
    TColor FColor = clBlack;
    int FWidth = 1;
    TPenStyle FStyle = psSolid;
};

/// The extent of text drawn in a font, with the library's deterministic
/// metric. For a font whose character height is h pixels (h = -Height, or
/// Height * 11 / 13 for a positive cell height):
///   - every character is (6h + 5) / 11 pixels wide, plus (h + 10) / 11
///     more when the font is bold ("MS Sans Serif" 8: 6 pixels, 7 bold);
///   - a line is h + (2h + 10) / 11 pixels high (that font: 13 pixels);
///   - a text of several lines (CR LF, LF or CR) is as wide as its widest
///     line and as high as its lines; an empty text is 0 wide, one line high.
/// The width stands for the average character width of a proportional
/// face; nothing here depends on installed fonts.
TSize TextExtentOf(const TFont& font, const String& text);

/// Text drawing flags understood by CalcTextRect (the usual DT_ values).
inline constexpr unsigned DT_CENTER = 0x0001;
inline constexpr unsigned DT_RIGHT = 0x0002;
inline constexpr unsigned DT_WORDBREAK = 0x0010;
inline constexpr unsigned DT_SINGLELINE = 0x0020;
inline constexpr unsigned DT_EXPANDTABS = 0x0040;
inline constexpr unsigned DT_NOPREFIX = 0x0800;

/// Removes accelerator marks: "&&" becomes "&", any other "&" goes.
String StripHotkey(const String& text);

/// A drawing surface. Here it holds the font, brush and pen a control paints
/// with and measures text; painting operations are added by the controls
/// that draw.
class TCanvas : public TPersistent {
public:
    TCanvas();
    ~TCanvas() override;

    TFont* Font() const { return FFont; }
    TBrush* Brush() const { return FBrush; }
    TPen* Pen() const { return FPen; }

    TSize TextExtent(const String& text) const { return TextExtentOf(*FFont, text); }
    int TextWidth(const String& text) const { return TextExtent(text).cx; }
    int TextHeight(const String& text) const { return TextExtent(text).cy; }
    /// The rectangle text needs when drawn into r with the flags (word
    /// breaks within r's width with DT_WORDBREAK, "&" handling unless
    /// DT_NOPREFIX, one line with DT_SINGLELINE). The result keeps r's
    /// top-left corner.
    TRect CalcTextRect(const String& text, const TRect& r, unsigned flags) const;

private:
    TFont* FFont;
    TBrush* FBrush;
    TPen* FPen;
};

/// A picture (bitmap, icon, metafile). Images in this library carry none;
/// an empty picture has no size.
class TPicture : public TPersistent {
public:
    bool Empty() const { return FWidth == 0 || FHeight == 0; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void Assign(TPersistent* source) override;

private:
    int FWidth = 0;
    int FHeight = 0;
};

}  // namespace velora
