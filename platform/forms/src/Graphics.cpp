// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Fonts, brushes, pens, pictures and the canvas, with the deterministic text
// metric that every layout computation of the forms layer relies on.
#include "velora/forms/Graphics.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace velora {

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

void TFont::Changed() {
    if (OnChange) OnChange(this);
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
    Changed();
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
        FName = src->FName;
        FHeight = src->FHeight;
        FStyle = src->FStyle;
        FColor = src->FColor;
        FPitch = src->FPitch;
        FCharset = src->FCharset;
        FPixelsPerInch = src->FPixelsPerInch;
        if (!same) Changed();
        return;
    }
    TPersistent::Assign(source);
}

bool TFont::SameAs(const TFont& other) const {
    return SameText(FName, other.FName) && FHeight == other.FHeight && FStyle == other.FStyle &&
           FColor == other.FColor && FPitch == other.FPitch && FCharset == other.FCharset;
}

// ---------------------------------------------------------------- brush, pen, picture

void TBrush::Assign(TPersistent* source) {
    if (auto* src = dynamic_cast<TBrush*>(source)) {
        FColor = src->FColor;
        FStyle = src->FStyle;
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

TCharMetric MetricOf(const TFont& font) {
    int h = font.Height() < 0 ? -font.Height() : font.Height() * 11 / 13;
    if (h < 1) h = 1;
    int w = (6 * h + 5) / 11;
    if (font.Style().Contains(fsBold)) w += (h + 10) / 11;
    return TCharMetric{w, h + (2 * h + 10) / 11};
}

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

}  // namespace

TSize TextExtentOf(const TFont& font, const String& text) {
    const TCharMetric m = MetricOf(font);
    std::size_t widest = 0;
    const auto lines = SplitLines(text);
    for (const String& l : lines) widest = std::max(widest, l.size());
    return TSize{static_cast<int>(widest) * m.CharWidth, static_cast<int>(lines.size()) * m.LineHeight};
}

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

// ---------------------------------------------------------------- TCanvas

TCanvas::TCanvas() : FFont(new TFont), FBrush(new TBrush), FPen(new TPen) {}

TCanvas::~TCanvas() {
    delete FPen;
    delete FBrush;
    delete FFont;
}

TRect TCanvas::CalcTextRect(const String& text, const TRect& r, unsigned flags) const {
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
