// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The forms library's graphics objects as far as forms and controls need them: colours,
// points and rectangles, fonts, brushes, pens, pictures and the canvas.
//
// There is no display here. A canvas draws on a device (TCanvasDevice): the
// raster device of the velora_raster library paints pixels with real fonts,
// the recording device (RecordingCanvas.h) keeps a log of the calls. A canvas
// with no device draws nothing and measures text with one deterministic
// metric derived from the font alone (see TextExtentOf), so layouts that
// depend on text size (auto-sized labels, a label kept inside its panel) come
// out the same on every machine and can be tested.
#pragma once

#include "velora/classes/Classes.h"

#include <algorithm>
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
inline constexpr TColor clInactiveCaptionText = static_cast<TColor>(0x80000013);
inline constexpr TColor clBtnHighlight = static_cast<TColor>(0x80000014);
inline constexpr TColor cl3DDkShadow = static_cast<TColor>(0x80000015);
inline constexpr TColor clHighlight = static_cast<TColor>(0x8000000D);
inline constexpr TColor clHighlightText = static_cast<TColor>(0x8000000E);
inline constexpr TColor clActiveCaption = static_cast<TColor>(0x80000002);
inline constexpr TColor clCaptionText = static_cast<TColor>(0x80000009);
inline constexpr TColor clInfoBk = static_cast<TColor>(0x80000018);
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

/// The RGB value (0x00BBGGRR) of a colour: system colours come from a fixed
/// table of the classic defaults (button face 0xC0C0C0, button shadow
/// 0x808080, button highlight 0xFFFFFF, inactive caption text 0xC0C0C0,
/// window 0xFFFFFF, window text 0x000000, ...), so pictures are the same
/// everywhere; an unknown system colour number and clNone give black.
TColor ColorToRGB(TColor color);

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
/// The part two rectangles share; empty (zero width or height) when they do not meet.
inline TRect IntersectRect(const TRect& a, const TRect& b) {
    TRect r{std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right), std::min(a.Bottom, b.Bottom)};
    if (r.Right < r.Left) r.Right = r.Left;
    if (r.Bottom < r.Top) r.Bottom = r.Top;
    return r;
}
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

/// The logical-font record a font handle is made from. Height: negative for
/// the character height in pixels, positive for the cell height; Escapement
/// in tenths of a degree, counter-clockwise, turns baseline and glyphs
/// (Orientation is ignored); Weight 400 normal, 700 bold; PitchAndFamily low
/// bits 1 fixed, 2 variable. FaceName goes through fontconfig matching
/// ("Arial" finds Liberation Sans).
struct TLogFont {
    int lfHeight = 0;
    int lfWidth = 0;
    int lfEscapement = 0;
    int lfOrientation = 0;
    int lfWeight = 0;
    std::uint8_t lfItalic = 0;
    std::uint8_t lfUnderline = 0;
    std::uint8_t lfStrikeOut = 0;
    std::uint8_t lfCharSet = 0;
    std::uint8_t lfOutPrecision = 0;
    std::uint8_t lfClipPrecision = 0;
    std::uint8_t lfQuality = 0;
    std::uint8_t lfPitchAndFamily = 0;
    String lfFaceName;
    bool operator==(const TLogFont&) const = default;
};

/// A font made from a logical-font record. The TFont given it (SetHandle)
/// owns it and frees it; LiveCount tells how many exist.
class TFontHandle {
public:
    explicit TFontHandle(const TLogFont& logFont);
    ~TFontHandle();
    TFontHandle(const TFontHandle&) = delete;
    TFontHandle& operator=(const TFontHandle&) = delete;
    const TLogFont& LogFont() const { return FLogFont; }
    static int LiveCount();

private:
    TLogFont FLogFont;
};
using HFONT = TFontHandle*;

/// Text metrics of a font. tmPitchAndFamily bit 1 (TMPF_FIXED_PITCH) is set
/// for a variable-pitch font, bit 4 (TMPF_TRUETYPE) for every scalable
/// outline font.
struct TTextMetric {
    int tmHeight = 0;
    int tmAscent = 0;
    int tmDescent = 0;
    int tmInternalLeading = 0;
    int tmAveCharWidth = 0;
    std::uint8_t tmPitchAndFamily = 0;
};
inline constexpr std::uint8_t TMPF_FIXED_PITCH = 1;
inline constexpr std::uint8_t TMPF_VECTOR = 2;
inline constexpr std::uint8_t TMPF_TRUETYPE = 4;

/// A font description. Height is the stored measure: negative for the
/// character height without internal leading, positive for the cell height;
/// Size (points) is derived from it at PixelsPerInch. Every change fires
/// OnChange once. A font may also carry a font handle (SetHandle), which it
/// owns: drawing then uses the handle's record (a rotated font), until an
/// attribute other than the colour changes.
class TFont : public TPersistent {
public:
    TFont();
    ~TFont() override;

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

    /// The handle given by SetHandle, or null.
    HFONT Handle() const { return FHandle; }
    /// Takes ownership of value (null: none) and frees the handle held.
    void SetHandle(HFONT value);
    /// The record drawing uses: the handle's, or one made from the
    /// attributes (escapement 0).
    TLogFont LogFont() const;

    /// Copies every attribute of another TFont (one OnChange); the handle
    /// held is freed unless only the colour differs.
    void Assign(TPersistent* source) override;
    /// Same name (case-insensitive), height, style, colour, pitch, charset.
    bool SameAs(const TFont& other) const;

    /// Fired after each change of an attribute.
    TNotifyEvent OnChange;

private:
    void Changed(bool keepHandle = false);

    String FName;
    int FHeight;
    TFontStyles FStyle;
    TColor FColor = clWindowText;
    TFontPitch FPitch = fpDefault;
    TFontCharset FCharset = DEFAULT_CHARSET;
    int FPixelsPerInch = ScreenPixelsPerInch;
    HFONT FHandle = nullptr;
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

/// How an area is filled. OnChange fires after each change.
class TBrush : public TPersistent {
public:
    TColor Color() const { return FColor; }
    void SetColor(TColor value);
    TBrushStyle Style() const { return FStyle; }
    void SetStyle(TBrushStyle value);
    void Assign(TPersistent* source) override;
    TNotifyEvent OnChange;

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
/// The same metric for a logical-font record.
TSize TextExtentOf(const TLogFont& font, const String& text);

/// Text drawing flags.
inline constexpr unsigned DT_LEFT = 0x0000;
inline constexpr unsigned DT_CENTER = 0x0001;
inline constexpr unsigned DT_RIGHT = 0x0002;
inline constexpr unsigned DT_WORDBREAK = 0x0010;
inline constexpr unsigned DT_SINGLELINE = 0x0020;
inline constexpr unsigned DT_EXPANDTABS = 0x0040;
inline constexpr unsigned DT_NOCLIP = 0x0100;
inline constexpr unsigned DT_NOPREFIX = 0x0800;

/// Removes accelerator marks: "&&" becomes "&", any other "&" goes.
String StripHotkey(const String& text);
/// The index in StripHotkey(text) of the character an accelerator mark
/// underlines, or -1.
int HotkeyIndex(const String& text);

/// One call made on a canvas, as a recording device logs it.
enum TCanvasCallKind : std::uint8_t {
    ccFillRect,     // Rect, Color, BrushStyle
    ccBrush,        // brush changed: Color, BrushStyle
    ccFont,         // font changed (attributes, colour or handle): Font, Color
    ccCreateFont,   // Font: the record a handle was made from
    ccTextExtent,   // Text
    ccTextWidth,    // Text
    ccTextHeight,   // Text
    ccTextMetrics,  // Font
    ccDrawText,     // Text, Length, Rect, Flags, Color
    ccTextRect,     // Rect (clip), X, Y, Text, Color
    ccLine,         // Rect (from Left, Top to Right, Bottom), Color
    ccRefresh
};

struct TCanvasCall {
    TCanvasCall() = default;
    explicit TCanvasCall(TCanvasCallKind kind) : Kind(kind) {}
    TCanvasCallKind Kind = ccRefresh;
    TRect Rect;
    int X = 0;
    int Y = 0;
    String Text;
    int Length = 0;
    unsigned Flags = 0;
    TColor Color = 0;
    TBrushStyle BrushStyle = bsSolid;
    TLogFont Font;
};

/// What a canvas draws on. Coordinates are the device's; every drawing
/// call gets the rectangle it must stay inside (clip). Colours arrive as
/// stored (system colours included): devices resolve them with ColorToRGB.
class TCanvasDevice {
public:
    virtual ~TCanvasDevice() = default;
    /// Every canvas call, before the canvas performs it (a recording device
    /// keeps them; others ignore them).
    virtual void Record(const TCanvasCall&) {}
    virtual void FillRect(const TRect& r, TColor color, const TRect& clip) = 0;
    virtual void Line(TPoint from, TPoint to, TColor color, int width, const TRect& clip) = 0;
    /// Width and height of one line of text (no "&" handling, tabs as
    /// they are), escapement ignored.
    virtual TSize TextExtent(const TLogFont& font, const String& text) = 0;
    virtual TTextMetric TextMetrics(const TLogFont& font) = 0;
    /// Text in r with the DT_ flags (see TCanvas::DrawText); answers the
    /// height of the text drawn.
    virtual int DrawText(const TLogFont& font, TColor color, const String& text, const TRect& r, unsigned flags,
                         const TRect& clip) = 0;
    /// Text whose (rotated) cell has its top-left corner at x, y, clipped to
    /// r and clip.
    virtual void TextRect(const TLogFont& font, TColor color, const TRect& r, int x, int y, const String& text,
                          const TRect& clip) = 0;
};

/// The device that canvases without a device of their own measure text with
/// (null, the default: the deterministic metric). A program that draws with
/// real fonts sets it once before it builds its forms, so auto-sized labels
/// take the size of their text as drawn; it is process-wide and not meant
/// to change while controls are in use on other threads.
void SetMeasuringDevice(TCanvasDevice* device);
TCanvasDevice* MeasuringDevice();

/// A drawing surface: the font, brush and pen a control paints with, and the
/// drawing operations, performed on the device the canvas is attached to
/// (none: nothing is drawn and text is measured with TextExtentOf).
/// Coordinates are the canvas's own: Attach gives the device position of the
/// canvas's (0, 0) and the device rectangle drawing stays inside.
class TCanvas : public TPersistent {
public:
    TCanvas();
    ~TCanvas() override;

    TFont* Font() const { return FFont; }
    TBrush* Brush() const { return FBrush; }
    TPen* Pen() const { return FPen; }

    void Attach(TCanvasDevice* device, TPoint origin, const TRect& clip);
    void Detach() { FDevice = nullptr; }
    TCanvasDevice* Device() const { return FDevice; }
    TPoint Origin() const { return FOrigin; }

    TSize TextExtent(const String& text) const;
    int TextWidth(const String& text) const;
    int TextHeight(const String& text) const;
    TTextMetric TextMetrics() const;
    /// The rectangle text needs when drawn into r with the flags (word
    /// breaks within r's width with DT_WORDBREAK, "&" handling unless
    /// DT_NOPREFIX, one line with DT_SINGLELINE), with the deterministic
    /// metric (layout). The result keeps r's top-left corner.
    TRect CalcTextRect(const String& text, const TRect& r, unsigned flags) const;

    /// Fills r with the brush (nothing with a clear brush).
    void FillRect(const TRect& r);
    /// The outline of r (one pixel inside it) in the brush colour.
    void FrameRect(const TRect& r);
    /// A line in the pen's colour and width from the pen position to (x, y)
    /// (the end point is not drawn); the position moves.
    void MoveTo(int x, int y) { FPenPos = TPoint{x, y}; }
    void LineTo(int x, int y);
    /// Fills r with the brush and outlines it with the pen.
    void Rectangle(const TRect& r);
    /// Draws text at the top of r in the font: "&" marks underline the next
    /// character unless DT_NOPREFIX ("&&" draws "&"); DT_CENTER / DT_RIGHT
    /// align each line; DT_WORDBREAK breaks lines between words within r's
    /// width; DT_EXPANDTABS expands tabs to stops every 8 average
    /// characters; DT_SINGLELINE draws one line; everything is clipped to r
    /// unless DT_NOCLIP. length -1 takes the whole text, else its first
    /// length bytes. Answers the height of the text.
    int DrawText(const String& text, int length, const TRect& r, unsigned flags);
    /// Text whose top-left corner (of the rotated cell, for a rotated font)
    /// is at x, y, clipped to r.
    void TextRect(const TRect& r, int x, int y, const String& text);
    /// Text at x, y, unclipped (within the canvas).
    void TextOut(int x, int y, const String& text);
    /// A font handle from a logical-font record (give it to Font()->SetHandle).
    HFONT CreateFontIndirect(const TLogFont& logFont);
    /// Tells the device the font handle may have changed (recorded only).
    void Refresh();

private:
    void Record(const TCanvasCall& call) const;
    TRect ToDevice(const TRect& r) const;

    TFont* FFont;
    TBrush* FBrush;
    TPen* FPen;
    TCanvasDevice* FDevice = nullptr;
    TPoint FOrigin;
    TRect FClip;
    TPoint FPenPos;
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
