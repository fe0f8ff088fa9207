// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// A canvas device that keeps a log of every call made on the canvases
// attached to it, so that what a control paints, in which order and with
// which colours, flags and fonts, can be examined without pixels. Drawing
// and measuring go on to an inner device when one is given (a raster device:
// the same paint is then both recorded and drawn); without one, text is
// measured with the deterministic metric (TextExtentOf).
#pragma once

#include "velora/forms/Graphics.h"

#include <set>
#include <vector>

namespace velora {

class TRecordingDevice : public TCanvasDevice {
public:
    explicit TRecordingDevice(TCanvasDevice* inner = nullptr) : FInner(inner) {}

    const std::vector<TCanvasCall>& Calls() const { return FCalls; }
    void Clear() { FCalls.clear(); }
    /// The calls of one kind, in order.
    std::vector<TCanvasCall> CallsOf(TCanvasCallKind kind) const;

    /// Face names the device reports as bitmap (non-scalable) fonts when it
    /// has no inner device; every other face counts as an outline font.
    std::set<String> BitmapFaces;

    void Record(const TCanvasCall& call) override;
    void FillRect(const TRect& r, TColor color, const TRect& clip) override;
    void Line(TPoint from, TPoint to, TColor color, int width, const TRect& clip) override;
    TSize TextExtent(const TLogFont& font, const String& text) override;
    TTextMetric TextMetrics(const TLogFont& font) override;
    int DrawText(const TLogFont& font, TColor color, const String& text, const TRect& r, unsigned flags,
                 const TRect& clip) override;
    void TextRect(const TLogFont& font, TColor color, const TRect& r, int x, int y, const String& text,
                  const TRect& clip) override;

private:
    TCanvasDevice* FInner;
    std::vector<TCanvasCall> FCalls;
};

}  // namespace velora
