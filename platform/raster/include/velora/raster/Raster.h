// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The raster canvas device: cairo image surfaces for pixels and PNG files,
// pango with fontconfig and FreeType for text. It is a library of its own so
// that an application of the data components alone never links cairo or
// pango; the controls, the design-time editors and the tool link it.
//
//     TRasterImage image(240, 120, clFuchsia);
//     TRasterDevice device(image);
//     label->PaintTo(device, 10, 10);       // see velora/forms/Painting.h
//     image.SavePNG("label.png");
//
// Fonts are found by face name through fontconfig ("Arial" resolves to
// Liberation Sans, an unknown face to the default sans-serif face). A
// logical font's escapement turns baseline and glyphs counter-clockwise about
// the top-left corner of the text's cell.
#pragma once

#include "velora/forms/Graphics.h"

#include <memory>

namespace velora {

/// An RGB picture in memory.
class TRasterImage {
public:
    /// width × height pixels, every one background.
    TRasterImage(int width, int height, TColor background = clWhite);
    ~TRasterImage();
    TRasterImage(const TRasterImage&) = delete;
    TRasterImage& operator=(const TRasterImage&) = delete;

    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    /// The pixel's colour as 0x00BBGGRR; outside the picture: clNone.
    TColor Pixel(int x, int y) const;
    void Fill(TColor color);
    /// Writes the picture as a PNG file; raises Exception when it cannot.
    void SavePNG(const String& path) const;
    /// Equal size and pixels.
    bool SamePixels(const TRasterImage& other) const;

    /// The cairo surface (cairo_surface_t*), for the device.
    void* Surface() const { return FSurface; }

private:
    int FWidth;
    int FHeight;
    void* FSurface;
};

/// How the device renders text.
struct TRasterOptions {
    /// Grey edges on glyphs (off: every pixel is ink or not).
    bool Antialias = true;
    /// Glyph outlines fitted to the pixel grid.
    bool Hinting = true;
    /// Device pixels per canvas pixel (the image must be that much larger).
    int Scale = 1;
};

class TRasterDevice : public TCanvasDevice {
public:
    explicit TRasterDevice(TRasterImage& image, TRasterOptions options = {});
    ~TRasterDevice() override;

    void FillRect(const TRect& r, TColor color, const TRect& clip) override;
    void Line(TPoint from, TPoint to, TColor color, int width, const TRect& clip) override;
    TSize TextExtent(const TLogFont& font, const String& text) override;
    TTextMetric TextMetrics(const TLogFont& font) override;
    int DrawText(const TLogFont& font, TColor color, const String& text, const TRect& r, unsigned flags,
                 const TRect& clip) override;
    void TextRect(const TLogFont& font, TColor color, const TRect& r, int x, int y, const String& text,
                  const TRect& clip) override;

    /// The family fontconfig chooses for a face name ("Arial": "Liberation
    /// Sans").
    String ResolvedFamily(const String& faceName);

private:
    struct TState;
    std::unique_ptr<TState> FState;
};

}  // namespace velora
