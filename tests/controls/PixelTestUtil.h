// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Pictures for the drawing tests: a raster device with antialiasing and
// hinting off (every pixel is ink or not), a picture pre-filled with a
// sentinel colour, and masks of the pixels of one colour.
#pragma once

#include "velora/forms/Controls.h"
#include "velora/raster/Raster.h"

#include <memory>
#include <vector>

namespace velora::test {

inline constexpr TColor Sentinel = 0xFF00FF;  // magenta
inline constexpr TColor White = 0xFFFFFF;
inline constexpr TColor Blue = 0xFF0000;
inline constexpr TColor Red = 0x0000FF;
inline constexpr TColor Green = 0x00FF00;
/// A scalable face shipped by fonts-dejavu-core.
inline constexpr const char* TestFace = "DejaVu Sans";
inline constexpr TRasterOptions Exact{false, false, 1};

/// Sets the measuring device for one scope.
struct TMeasuringScope {
    explicit TMeasuringScope(TCanvasDevice* d) { SetMeasuringDevice(d); }
    ~TMeasuringScope() { SetMeasuringDevice(nullptr); }
    TMeasuringScope(const TMeasuringScope&) = delete;
    TMeasuringScope& operator=(const TMeasuringScope&) = delete;
};

/// Which pixels of a picture are set.
struct TMask {
    int W = 0, H = 0;
    std::vector<char> Bits;
    TMask(int w, int h) : W(w), H(h), Bits(static_cast<std::size_t>(w * h), 0) {}
    bool At(int x, int y) const { return x >= 0 && y >= 0 && x < W && y < H && Bits[y * W + x]; }
    void Set(int x, int y, bool v = true) {
        if (x >= 0 && y >= 0 && x < W && y < H) Bits[y * W + x] = v;
    }
    int Count() const {
        int n = 0;
        for (char b : Bits) n += b;
        return n;
    }
    /// The smallest rectangle holding every set pixel (empty: all zero).
    TRect Box() const {
        TRect r{W, H, 0, 0};
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if (At(x, y))
                    r = TRect{std::min(r.Left, x), std::min(r.Top, y), std::max(r.Right, x + 1),
                              std::max(r.Bottom, y + 1)};
        return r.Right == 0 ? TRect{} : r;
    }
    /// Shifted by (dx, dy) and kept inside clip.
    TMask Shifted(int dx, int dy, const TRect& clip) const {
        TMask m(W, H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x)
                if (At(x, y) && x + dx >= clip.Left && x + dx < clip.Right && y + dy >= clip.Top &&
                    y + dy < clip.Bottom)
                    m.Set(x + dx, y + dy);
        return m;
    }
    TMask operator|(const TMask& o) const {
        TMask m(W, H);
        for (std::size_t i = 0; i < Bits.size(); ++i) m.Bits[i] = Bits[i] || o.Bits[i];
        return m;
    }
    TMask Minus(const TMask& o) const {
        TMask m(W, H);
        for (std::size_t i = 0; i < Bits.size(); ++i) m.Bits[i] = Bits[i] && !o.Bits[i];
        return m;
    }
    bool operator==(const TMask& o) const { return W == o.W && H == o.H && Bits == o.Bits; }
};

/// The pixels of the picture that have colour c.
inline TMask MaskOf(const TRasterImage& img, TColor c) {
    TMask m(img.Width(), img.Height());
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x)
            if (img.Pixel(x, y) == c) m.Set(x, y);
    return m;
}

/// The pixels of the picture that have neither colour a nor colour b.
inline TMask InkOf(const TRasterImage& img, TColor a, TColor b) {
    TMask m(img.Width(), img.Height());
    for (int y = 0; y < img.Height(); ++y)
        for (int x = 0; x < img.Width(); ++x)
            if (img.Pixel(x, y) != a && img.Pixel(x, y) != b) m.Set(x, y);
    return m;
}

/// Intersection over union of two masks.
inline double IoU(const TMask& a, const TMask& b) {
    int both = 0, any = 0;
    for (std::size_t i = 0; i < a.Bits.size(); ++i) {
        both += a.Bits[i] && b.Bits[i];
        any += a.Bits[i] || b.Bits[i];
    }
    return any ? static_cast<double>(both) / any : 1.0;
}

/// Paints a graphic control on a fresh sentinel picture at its own bounds.
template <class C>
std::unique_ptr<TRasterImage> Render(C& control, int w = 240, int h = 120) {
    auto img = std::make_unique<TRasterImage>(w, h, Sentinel);
    TRasterDevice dev(*img, Exact);
    control.PaintTo(dev, TPoint{control.Left(), control.Top()}, control.BoundsRect());
    return img;
}

}  // namespace velora::test
