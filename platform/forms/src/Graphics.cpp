// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Fonts, brushes, pens, pictures and the canvas, with the deterministic text
// metric that every layout computation of the forms layer relies on.
#include "velora/forms/Graphics.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <vector>

namespace velora {

TColor ColorToRGB(TColor color) {
    // The classic defaults, by system colour number.
    static constexpr TColor Table[] = {
        0xC0C0C0,  // 0 scroll bar
        0x808000,  // 1 desktop
        0x800000,  // 2 active caption
        0x808080,  // 3 inactive caption
        0xC0C0C0,  // 4 menu
        0xFFFFFF,  // 5 window
        0x000000,  // 6 window frame
        0x000000,  // 7 menu text
        0x000000,  // 8 window text
        0xFFFFFF,  // 9 caption text
        0xC0C0C0,  // 10 active border
        0xC0C0C0,  // 11 inactive border
        0x808080,  // 12 application workspace
        0x800000,  // 13 highlight
        0xFFFFFF,  // 14 highlight text
        0xC0C0C0,  // 15 button face
        0x808080,  // 16 button shadow
        0x808080,  // 17 grey text
        0x000000,  // 18 button text
        0xC0C0C0,  // 19 inactive caption text
        0xFFFFFF,  // 20 button highlight
        0x000000,  // 21 3-D dark shadow
        0xC0C0C0,  // 22 3-D light
        0x000000,  // 23 info text
        0xE1FFFF,  // 24 info background
    };
    if (color == clNone || color == clDefault) return 0;
    const auto bits = static_cast<std::uint32_t>(color);
    if (bits & 0x80000000u) {
        const std::uint32_t index = bits & 0xFFu;
        return index < std::size(Table) ? Table[index] : 0;
    }
    return static_cast<TColor>(bits & 0xFFFFFFu);
}

// ---------------------------------------------------------------- font handles

namespace {
std::atomic<int> LiveFontHandles{0};
}

TFontHandle::TFontHandle(const TLogFont& logFont) : FLogFont(logFont) { ++LiveFontHandles; }
TFontHandle::~TFontHandle() { --LiveFontHandles; }
int TFontHandle::LiveCount() { return LiveFontHandles.load(); }

int MulDiv(int a, int b, int c) {
    if (c == 0) return -1;
    const long long num = static_cast<long long>(a) * b;
    const long long den = c;
    const bool negative = (num < 0) != (den < 0);
    const long long q = (std::llabs(num) * 2 + std::llabs(den)) / (std::llabs(den) * 2);
    return static_cast<int>(negative ? -q : q);
}

// ---------------------------------------------------------------- TFont

TFont::TFont() : FName(DefaultFontName), FHeight(DefaultFontHeight) {}

TFont::~TFont() { delete FHandle; }

void TFont::Changed(bool keepHandle) {
    if (!keepHandle && FHandle) {
        delete FHandle;
        FHandle = nullptr;
    }
    if (OnChange) OnChange(this);
}

void TFont::SetHandle(HFONT value) {
    if (value == FHandle) return;
    delete FHandle;
    FHandle = value;
    if (OnChange) OnChange(this);
}

TLogFont TFont::LogFont() const {
    if (FHandle) return FHandle->LogFont();
    TLogFont lf;
    lf.lfHeight = FHeight;
    lf.lfWeight = FStyle.Contains(fsBold) ? 700 : 400;
    lf.lfItalic = FStyle.Contains(fsItalic) ? 1 : 0;
    lf.lfUnderline = FStyle.Contains(fsUnderline) ? 1 : 0;
    lf.lfStrikeOut = FStyle.Contains(fsStrikeOut) ? 1 : 0;
    lf.lfCharSet = FCharset;
    lf.lfPitchAndFamily = FPitch == fpVariable ? 2 : FPitch == fpFixed ? 1 : 0;
    lf.lfFaceName = FName;
    return lf;
}

void TFont::SetName(const String& value) {
    if (value.empty() || value == FName) return;
    FName = value;
    Changed();
}

void TFont::SetHeight(int value) {
    if (value == FHeight) return;
    FHeight = value;
    Changed();
}

int TFont::Size() const { return FHeight < 0 ? MulDiv(-FHeight, 72, FPixelsPerInch) : FHeight; }

void TFont::SetSize(int value) { SetHeight(-MulDiv(value, FPixelsPerInch, 72)); }

void TFont::SetStyle(TFontStyles value) {
    if (value == FStyle) return;
    FStyle = value;
    Changed();
}

void TFont::SetColor(TColor value) {
    if (value == FColor) return;
    FColor = value;
    Changed(true);  // the colour is not part of a font handle
}

void TFont::SetPitch(TFontPitch value) {
    if (value == FPitch) return;
    FPitch = value;
    Changed();
}

void TFont::SetCharset(TFontCharset value) {
    if (value == FCharset) return;
    FCharset = value;
    Changed();
}

void TFont::Assign(TPersistent* source) {
    if (auto* src = dynamic_cast<TFont*>(source)) {
        if (src == this) return;
        const bool same = SameAs(*src) && FPixelsPerInch == src->FPixelsPerInch;
        const bool sameShape = same || (SameText(FName, src->FName) && FHeight == src->FHeight &&
                                        FStyle == src->FStyle && FPitch == src->FPitch && FCharset == src->FCharset);
        FName = src->FName;
        FHeight = src->FHeight;
        FStyle = src->FStyle;
        FColor = src->FColor;
        FPitch = src->FPitch;
        FCharset = src->FCharset;
        FPixelsPerInch = src->FPixelsPerInch;
        if (!same) Changed(sameShape);
        return;
    }
    TPersistent::Assign(source);
}

bool TFont::SameAs(const TFont& other) const {
    return SameText(FName, other.FName) && FHeight == other.FHeight && FStyle == other.FStyle &&
           FColor == other.FColor && FPitch == other.FPitch && FCharset == other.FCharset;
}

// ---------------------------------------------------------------- brush, pen, picture

void TBrush::SetColor(TColor value) {
    if (value == FColor) return;
    FColor = value;
    if (OnChange) OnChange(this);
}

void TBrush::SetStyle(TBrushStyle value) {
    if (value == FStyle) return;
    FStyle = value;
    if (OnChange) OnChange(this);
}

void TBrush::Assign(TPersistent* source) {
    if (auto* src = dynamic_cast<TBrush*>(source)) {
        if (FColor == src->FColor && FStyle == src->FStyle) return;
        FColor = src->FColor;
        FStyle = src->FStyle;
        if (OnChange) OnChange(this);
        return;
    }
    TPersistent::Assign(source);
}

void TPen::Assign(TPersistent* source) {
    if (auto* src = dynamic_cast<TPen*>(source)) {
        FColor = src->FColor;
        FWidth = src->FWidth;
        FStyle = src->FStyle;
        return;
    }
    TPersistent::Assign(source);
}

void TPicture::Assign(TPersistent* source) {
    if (auto* src = dynamic_cast<TPicture*>(source)) {
        FWidth = src->FWidth;
        FHeight = src->FHeight;
        return;
    }
    if (!source) {  // assigning nil empties a picture
        FWidth = FHeight = 0;
        return;
    }
    TPersistent::Assign(source);
}

// ---------------------------------------------------------------- text metric

namespace {

struct TCharMetric {
    int CharWidth;   // pixels per character
    int LineHeight;  // pixels per line
};

TCharMetric MetricOf(int height, bool bold) {
    int h = height < 0 ? -height : height * 11 / 13;
    if (h < 1) h = 1;
    int w = (6 * h + 5) / 11;
    if (bold) w += (h + 10) / 11;
    return TCharMetric{w, h + (2 * h + 10) / 11};
}

TCharMetric MetricOf(const TFont& font) { return MetricOf(font.Height(), font.Style().Contains(fsBold)); }

std::vector<String> SplitLines(const String& text) {
    std::vector<String> lines;
    String cur;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(cur);
            cur.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            cur += c;
        }
    }
    lines.push_back(cur);
    return lines;
}

// Breaks one line into pieces no wider than maxChars characters, at blanks
// when possible (a word longer than the width stands alone).
void WrapLine(const String& line, int maxChars, std::vector<String>& out) {
    if (maxChars < 1 || static_cast<int>(line.size()) <= maxChars) {
        out.push_back(line);
        return;
    }
    std::size_t start = 0;
    while (start < line.size()) {
        if (static_cast<int>(line.size() - start) <= maxChars) {
            out.push_back(line.substr(start));
            return;
        }
        std::size_t cut = line.rfind(' ', start + static_cast<std::size_t>(maxChars));
        if (cut == String::npos || cut <= start) {
            cut = line.find(' ', start);
            if (cut == String::npos) {
                out.push_back(line.substr(start));
                return;
            }
        }
        out.push_back(line.substr(start, cut - start));
        start = cut + 1;
        while (start < line.size() && line[start] == ' ') ++start;
    }
}

TSize ExtentOf(TCharMetric m, const String& text) {
    std::size_t widest = 0;
    const auto lines = SplitLines(text);
    for (const String& l : lines) widest = std::max(widest, l.size());
    return TSize{static_cast<int>(widest) * m.CharWidth, static_cast<int>(lines.size()) * m.LineHeight};
}

}  // namespace

TSize TextExtentOf(const TLogFont& font, const String& text) {
    return ExtentOf(MetricOf(font.lfHeight, font.lfWeight >= 600), text);
}

TSize TextExtentOf(const TFont& font, const String& text) { return ExtentOf(MetricOf(font), text); }

String StripHotkey(const String& text) {
    String out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            if (i + 1 < text.size() && text[i + 1] == '&') {
                out += '&';
                ++i;
            }
            continue;
        }
        out += text[i];
    }
    return out;
}

int HotkeyIndex(const String& text) {
    int shown = 0;
    for (std::size_t i = 0; i < text.size(); ++i, ++shown) {
        if (text[i] != '&') continue;
        if (i + 1 < text.size() && text[i + 1] == '&') {
            ++i;  // "&&" shows one "&"
            continue;
        }
        return i + 1 < text.size() ? shown : -1;
    }
    return -1;
}

// ---------------------------------------------------------------- TCanvas

namespace {
std::atomic<TCanvasDevice*> TheMeasuringDevice{nullptr};

// Greedy word wrap of one line by pixel width (a word wider than the width
// stands alone).
template <class Width>
void WrapByWidth(const String& line, int maxWidth, Width width, std::vector<String>& out) {
    if (maxWidth < 1 || width(line) <= maxWidth) {
        out.push_back(line);
        return;
    }
    std::size_t start = 0;
    while (start < line.size()) {
        const String rest = line.substr(start);
        if (width(rest) <= maxWidth) {
            out.push_back(rest);
            return;
        }
        std::size_t cut = String::npos;
        for (std::size_t p = line.find(' ', start); p != String::npos; p = line.find(' ', p + 1)) {
            if (p > start && width(line.substr(start, p - start)) > maxWidth) break;
            if (p > start) cut = p;
        }
        if (cut == String::npos) {
            cut = line.find(' ', start);
            if (cut == String::npos) {
                out.push_back(rest);
                return;
            }
        }
        out.push_back(line.substr(start, cut - start));
        start = cut + 1;
        while (start < line.size() && line[start] == ' ') ++start;
    }
}
}  // namespace

void SetMeasuringDevice(TCanvasDevice* device) { TheMeasuringDevice = device; }
TCanvasDevice* MeasuringDevice() { return TheMeasuringDevice.load(); }

TCanvas::TCanvas() : FFont(new TFont), FBrush(new TBrush), FPen(new TPen) {
    FFont->OnChange = [this](TObject*) {
        TCanvasCall c{ccFont};
        c.Font = FFont->LogFont();
        c.Color = FFont->Color();
        Record(c);
    };
    FBrush->OnChange = [this](TObject*) {
        TCanvasCall c{ccBrush};
        c.Color = FBrush->Color();
        c.BrushStyle = FBrush->Style();
        Record(c);
    };
}

void TCanvas::Attach(TCanvasDevice* device, TPoint origin, const TRect& clip) {
    FDevice = device;
    FOrigin = origin;
    FClip = clip;
}

void TCanvas::Record(const TCanvasCall& call) const {
    if (FDevice) FDevice->Record(call);
}

TRect TCanvas::ToDevice(const TRect& r) const {
    TRect d = r;
    OffsetRect(d, FOrigin.X, FOrigin.Y);
    return d;
}

TSize TCanvas::TextExtent(const String& text) const {
    TCanvasCall c{ccTextExtent};
    c.Text = text;
    Record(c);
    TCanvasDevice* d = FDevice ? FDevice : MeasuringDevice();
    return d ? d->TextExtent(FFont->LogFont(), text) : TextExtentOf(FFont->LogFont(), text);
}

int TCanvas::TextWidth(const String& text) const {
    TCanvasCall c{ccTextWidth};
    c.Text = text;
    Record(c);
    TCanvasDevice* d = FDevice ? FDevice : MeasuringDevice();
    return d ? d->TextExtent(FFont->LogFont(), text).cx : TextExtentOf(FFont->LogFont(), text).cx;
}

int TCanvas::TextHeight(const String& text) const {
    TCanvasCall c{ccTextHeight};
    c.Text = text;
    Record(c);
    TCanvasDevice* d = FDevice ? FDevice : MeasuringDevice();
    return d ? d->TextExtent(FFont->LogFont(), text).cy : TextExtentOf(FFont->LogFont(), text).cy;
}

TTextMetric TCanvas::TextMetrics() const {
    const TLogFont lf = FFont->LogFont();
    TCanvasCall c{ccTextMetrics};
    c.Font = lf;
    Record(c);
    if (TCanvasDevice* d = FDevice ? FDevice : MeasuringDevice()) return d->TextMetrics(lf);
    // No device: every font counts as a scalable outline font.
    const TSize one = TextExtentOf(lf, "x");
    TTextMetric tm;
    tm.tmHeight = one.cy;
    tm.tmAscent = one.cy * 4 / 5;
    tm.tmDescent = one.cy - tm.tmAscent;
    tm.tmAveCharWidth = one.cx;
    tm.tmPitchAndFamily = TMPF_TRUETYPE | TMPF_VECTOR | ((lf.lfPitchAndFamily & 3) == 1 ? 0 : TMPF_FIXED_PITCH);
    return tm;
}

void TCanvas::FillRect(const TRect& r) {
    TCanvasCall c{ccFillRect};
    c.Rect = r;
    c.Color = FBrush->Color();
    c.BrushStyle = FBrush->Style();
    Record(c);
    if (FDevice && FBrush->Style() != bsClear) FDevice->FillRect(ToDevice(r), FBrush->Color(), FClip);
}

void TCanvas::FrameRect(const TRect& r) {
    if (r.Width() <= 0 || r.Height() <= 0) return;
    const TBrushStyle style = FBrush->Style();
    if (style == bsClear) return;
    FillRect(Rect(r.Left, r.Top, r.Right, r.Top + 1));
    FillRect(Rect(r.Left, r.Bottom - 1, r.Right, r.Bottom));
    FillRect(Rect(r.Left, r.Top, r.Left + 1, r.Bottom));
    FillRect(Rect(r.Right - 1, r.Top, r.Right, r.Bottom));
}

void TCanvas::LineTo(int x, int y) {
    TCanvasCall c{ccLine};
    c.Rect = Rect(FPenPos.X, FPenPos.Y, x, y);
    c.Color = FPen->Color();
    Record(c);
    if (FDevice && FPen->Style() != psClear)
        FDevice->Line(TPoint{FPenPos.X + FOrigin.X, FPenPos.Y + FOrigin.Y}, TPoint{x + FOrigin.X, y + FOrigin.Y},
                      FPen->Color(), FPen->Width(), FClip);
    FPenPos = TPoint{x, y};
}

void TCanvas::Rectangle(const TRect& r) {
    FillRect(r);
    MoveTo(r.Left, r.Top);
    LineTo(r.Right - 1, r.Top);
    LineTo(r.Right - 1, r.Bottom - 1);
    LineTo(r.Left, r.Bottom - 1);
    LineTo(r.Left, r.Top);
}

int TCanvas::DrawText(const String& text, int length, const TRect& r, unsigned flags) {
    const String shown = length < 0 ? text : text.substr(0, std::min<std::size_t>(text.size(), length));
    TCanvasCall c{ccDrawText};
    c.Text = text;
    c.Length = length;
    c.Rect = r;
    c.Flags = flags;
    c.Color = FFont->Color();
    Record(c);
    if (!FDevice) return CalcTextRect(shown, r, flags).Height();
    TLogFont lf = FFont->LogFont();
    lf.lfEscapement = 0;  // DrawText draws horizontal text
    return FDevice->DrawText(lf, FFont->Color(), shown, ToDevice(r), flags, FClip);
}

void TCanvas::TextRect(const TRect& r, int x, int y, const String& text) {
    TCanvasCall c{ccTextRect};
    c.Rect = r;
    c.X = x;
    c.Y = y;
    c.Text = text;
    c.Color = FFont->Color();
    Record(c);
    if (FDevice)
        FDevice->TextRect(FFont->LogFont(), FFont->Color(), ToDevice(r), x + FOrigin.X, y + FOrigin.Y, text, FClip);
}

void TCanvas::TextOut(int x, int y, const String& text) {
    TCanvasCall c{ccTextRect};
    c.Rect = FClip;
    OffsetRect(c.Rect, -FOrigin.X, -FOrigin.Y);
    c.X = x;
    c.Y = y;
    c.Text = text;
    c.Color = FFont->Color();
    Record(c);
    if (FDevice) FDevice->TextRect(FFont->LogFont(), FFont->Color(), FClip, x + FOrigin.X, y + FOrigin.Y, text, FClip);
}

HFONT TCanvas::CreateFontIndirect(const TLogFont& logFont) {
    TCanvasCall c{ccCreateFont};
    c.Font = logFont;
    Record(c);
    return new TFontHandle(logFont);
}

void TCanvas::Refresh() { Record(TCanvasCall{ccRefresh}); }

TCanvas::~TCanvas() {
    delete FPen;
    delete FBrush;
    delete FFont;
}

TRect TCanvas::CalcTextRect(const String& text, const TRect& r, unsigned flags) const {
    if (TCanvasDevice* d = FDevice ? FDevice : MeasuringDevice()) {
        const TLogFont lf = FFont->LogFont();
        auto width = [&](const String& s) { return d->TextExtent(lf, s).cx; };
        String shown = (flags & DT_NOPREFIX) ? text : StripHotkey(text);
        std::vector<String> lines;
        if (flags & DT_SINGLELINE) {
            for (char& c : shown)
                if (c == '\r' || c == '\n') c = ' ';
            lines.push_back(shown);
        } else {
            for (const String& l : SplitLines(shown)) {
                if (flags & DT_WORDBREAK)
                    WrapByWidth(l, r.Width(), width, lines);
                else
                    lines.push_back(l);
            }
        }
        int widest = 0;
        for (const String& l : lines) widest = std::max(widest, width(l));
        const int lineHeight = d->TextExtent(lf, "Pp").cy;
        return Bounds(r.Left, r.Top, widest, static_cast<int>(lines.size()) * lineHeight);
    }
    const TCharMetric m = MetricOf(*FFont);
    String shown = (flags & DT_NOPREFIX) ? text : StripHotkey(text);
    std::vector<String> lines;
    if (flags & DT_SINGLELINE) {
        for (char& c : shown)
            if (c == '\r' || c == '\n') c = ' ';
        lines.push_back(shown);
    } else {
        for (const String& l : SplitLines(shown)) {
            if (flags & DT_WORDBREAK)
                WrapLine(l, r.Width() / m.CharWidth, lines);
            else
                lines.push_back(l);
        }
    }
    std::size_t widest = 0;
    for (const String& l : lines) widest = std::max(widest, l.size());
    return Bounds(r.Left, r.Top, static_cast<int>(widest) * m.CharWidth, static_cast<int>(lines.size()) * m.LineHeight);
}

}  // namespace velora
