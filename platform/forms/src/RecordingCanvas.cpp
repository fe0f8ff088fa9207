// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The recording canvas device.
#include "velora/forms/RecordingCanvas.h"

namespace velora {

std::vector<TCanvasCall> TRecordingDevice::CallsOf(TCanvasCallKind kind) const {
    std::vector<TCanvasCall> out;
    for (const TCanvasCall& c : FCalls)
        if (c.Kind == kind) out.push_back(c);
    return out;
}

void TRecordingDevice::Record(const TCanvasCall& call) {
    FCalls.push_back(call);
    if (FInner) FInner->Record(call);
}

void TRecordingDevice::FillRect(const TRect& r, TColor color, const TRect& clip) {
    if (FInner) FInner->FillRect(r, color, clip);
}

void TRecordingDevice::Line(TPoint from, TPoint to, TColor color, int width, const TRect& clip) {
    if (FInner) FInner->Line(from, to, color, width, clip);
}

TSize TRecordingDevice::TextExtent(const TLogFont& font, const String& text) {
    return FInner ? FInner->TextExtent(font, text) : TextExtentOf(font, text);
}

TTextMetric TRecordingDevice::TextMetrics(const TLogFont& font) {
    if (FInner) return FInner->TextMetrics(font);
    const TSize one = TextExtentOf(font, "x");
    TTextMetric tm;
    tm.tmHeight = one.cy;
    tm.tmAscent = one.cy * 4 / 5;
    tm.tmDescent = one.cy - tm.tmAscent;
    tm.tmAveCharWidth = one.cx;
    bool bitmap = false;
    for (const String& face : BitmapFaces) bitmap = bitmap || SameText(face, font.lfFaceName);
    tm.tmPitchAndFamily = bitmap ? 0 : TMPF_TRUETYPE | TMPF_VECTOR;
    if ((font.lfPitchAndFamily & 3) != 1) tm.tmPitchAndFamily |= TMPF_FIXED_PITCH;
    return tm;
}

int TRecordingDevice::DrawText(const TLogFont& font, TColor color, const String& text, const TRect& r, unsigned flags,
                               const TRect& clip) {
    if (FInner) return FInner->DrawText(font, color, text, r, flags, clip);
    return TextExtentOf(font, text).cy;
}

void TRecordingDevice::TextRect(const TLogFont& font, TColor color, const TRect& r, int x, int y, const String& text,
                                const TRect& clip) {
    if (FInner) FInner->TextRect(font, color, r, x, y, text, clip);
}

}  // namespace velora
