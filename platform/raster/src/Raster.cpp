// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The raster device on cairo and pango. Every text call builds a pango
// layout on the device's cairo context: the text (UTF-8; other bytes are
// taken as Latin-1), the font description from the logical-font record, an
// underline for the accelerator character, and the font options (antialias,
// hinting) of the device.
#include "velora/raster/Raster.h"

#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <glib.h>
#include <pango/pangocairo.h>
#include <pango/pangofc-font.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace velora {

namespace {

cairo_surface_t* AsSurface(void* p) { return static_cast<cairo_surface_t*>(p); }

void SetColor(cairo_t* cr, TColor color) {
    const TColor rgb = ColorToRGB(color);
    cairo_set_source_rgb(cr, (rgb & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, ((rgb >> 16) & 0xFF) / 255.0);
}

void ClipTo(cairo_t* cr, const TRect& r) {
    cairo_rectangle(cr, r.Left, r.Top, std::max(0, r.Width()), std::max(0, r.Height()));
    cairo_clip(cr);
}

/// text as UTF-8: valid UTF-8 stays, anything else is read as Latin-1.
String ToUTF8(const String& text) {
    if (g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr)) return text;
    String out;
    for (unsigned char c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

struct TLayoutText {
    String Text;        // UTF-8, marks removed
    int HotStart = -1;  // byte range of the underlined character
    int HotEnd = -1;
};

/// Removes "&" marks: "&&" shows "&", "&x" underlines x.
TLayoutText WithoutPrefix(const String& utf8) {
    TLayoutText t;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] != '&') {
            t.Text += utf8[i];
            continue;
        }
        if (i + 1 >= utf8.size()) break;
        if (utf8[i + 1] == '&') {
            t.Text += '&';
            ++i;
            continue;
        }
        if (t.HotStart < 0) {
            t.HotStart = static_cast<int>(t.Text.size());
            const char* next = g_utf8_next_char(utf8.data() + i + 1);
            t.HotEnd = t.HotStart + static_cast<int>(next - (utf8.data() + i + 1));
        }
    }
    return t;
}

}  // namespace

// ---------------------------------------------------------------- TRasterImage

TRasterImage::TRasterImage(int width, int height, TColor background)
    : FWidth(std::max(1, width)),
      FHeight(std::max(1, height)),
      FSurface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, FWidth, FHeight)) {
    if (cairo_surface_status(AsSurface(FSurface)) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(AsSurface(FSurface));
        throw Exception(Format("Cannot make a picture of %d x %d pixels", width, height));
    }
    Fill(background);
}

TRasterImage::~TRasterImage() { cairo_surface_destroy(AsSurface(FSurface)); }

TColor TRasterImage::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= FWidth || y >= FHeight) return clNone;
    cairo_surface_flush(AsSurface(FSurface));
    const unsigned char* data = cairo_image_surface_get_data(AsSurface(FSurface));
    const int stride = cairo_image_surface_get_stride(AsSurface(FSurface));
    std::uint32_t px = 0;
    std::memcpy(&px, data + static_cast<std::ptrdiff_t>(y) * stride + x * 4, 4);
    const std::uint32_t r = (px >> 16) & 0xFF, g = (px >> 8) & 0xFF, b = px & 0xFF;
    return static_cast<TColor>(r | (g << 8) | (b << 16));
}

void TRasterImage::Fill(TColor color) {
    cairo_t* cr = cairo_create(AsSurface(FSurface));
    SetColor(cr, color);
    cairo_paint(cr);
    cairo_destroy(cr);
}

void TRasterImage::SavePNG(const String& path) const {
    cairo_surface_flush(AsSurface(FSurface));
    const cairo_status_t st = cairo_surface_write_to_png(AsSurface(FSurface), path.c_str());
    if (st != CAIRO_STATUS_SUCCESS)
        throw Exception(Format("Cannot write the picture %s: %s", path, cairo_status_to_string(st)));
}

bool TRasterImage::SamePixels(const TRasterImage& other) const {
    if (FWidth != other.FWidth || FHeight != other.FHeight) return false;
    for (int y = 0; y < FHeight; ++y)
        for (int x = 0; x < FWidth; ++x)
            if (Pixel(x, y) != other.Pixel(x, y)) return false;
    return true;
}

// ---------------------------------------------------------------- TRasterDevice

struct TRasterDevice::TState {
    cairo_t* Cr = nullptr;
    cairo_font_options_t* Options = nullptr;
    PangoContext* Context = nullptr;

    ~TState() {
        if (Context) g_object_unref(Context);
        if (Options) cairo_font_options_destroy(Options);
        if (Cr) cairo_destroy(Cr);
    }

    /// The em size in pixels of a logical height: a negative height is the
    /// character height, a positive one the cell height (ascent + descent).
    double EmPixels(const TLogFont& lf, PangoFontDescription* desc) {
        if (lf.lfHeight < 0) return -lf.lfHeight;
        if (lf.lfHeight == 0) return 11;
        pango_font_description_set_absolute_size(desc, 100.0 * PANGO_SCALE);
        PangoFontMetrics* m = pango_context_get_metrics(Context, desc, nullptr);
        const double cell = (pango_font_metrics_get_ascent(m) + pango_font_metrics_get_descent(m)) / 100.0;
        pango_font_metrics_unref(m);
        return cell > 0 ? lf.lfHeight * PANGO_SCALE / cell : lf.lfHeight;
    }

    PangoFontDescription* Describe(const TLogFont& lf) {
        PangoFontDescription* desc = pango_font_description_new();
        const String family = lf.lfFaceName.empty() ? String("Sans") : ToUTF8(lf.lfFaceName);
        pango_font_description_set_family(desc, family.c_str());
        pango_font_description_set_weight(
            desc, static_cast<PangoWeight>(std::clamp(lf.lfWeight ? lf.lfWeight : 400, 100, 1000)));
        pango_font_description_set_style(desc, lf.lfItalic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
        pango_font_description_set_absolute_size(desc, EmPixels(lf, desc) * PANGO_SCALE);
        return desc;
    }

    /// A layout of text (UTF-8) in the font, the hot range underlined.
    PangoLayout* Layout(const TLogFont& lf, const String& text, int hotStart = -1, int hotEnd = -1) {
        PangoLayout* layout = pango_layout_new(Context);
        PangoFontDescription* desc = Describe(lf);
        pango_layout_set_font_description(layout, desc);
        pango_font_description_free(desc);
        pango_layout_set_text(layout, text.data(), static_cast<int>(text.size()));
        PangoAttrList* attrs = pango_attr_list_new();
        if (lf.lfUnderline) pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
        if (lf.lfStrikeOut) pango_attr_list_insert(attrs, pango_attr_strikethrough_new(TRUE));
        if (hotStart >= 0 && !lf.lfUnderline) {
            PangoAttribute* a = pango_attr_underline_new(PANGO_UNDERLINE_SINGLE);
            a->start_index = static_cast<guint>(hotStart);
            a->end_index = static_cast<guint>(hotEnd);
            pango_attr_list_insert(attrs, a);
        }
        pango_layout_set_attributes(layout, attrs);
        pango_attr_list_unref(attrs);
        return layout;
    }
};

TRasterDevice::TRasterDevice(TRasterImage& image, TRasterOptions options) : FState(std::make_unique<TState>()) {
    FState->Cr = cairo_create(AsSurface(image.Surface()));
    if (options.Scale > 1) cairo_scale(FState->Cr, options.Scale, options.Scale);
    // Underlines and strike-outs are rectangles drawn by cairo itself.
    if (!options.Antialias) cairo_set_antialias(FState->Cr, CAIRO_ANTIALIAS_NONE);
    FState->Options = cairo_font_options_create();
    cairo_font_options_set_antialias(FState->Options, options.Antialias ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    cairo_font_options_set_hint_style(FState->Options,
                                      options.Hinting ? CAIRO_HINT_STYLE_SLIGHT : CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(FState->Options,
                                        options.Hinting ? CAIRO_HINT_METRICS_ON : CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(FState->Cr, FState->Options);
    FState->Context = pango_cairo_create_context(FState->Cr);
    pango_cairo_context_set_font_options(FState->Context, FState->Options);
    pango_cairo_context_set_resolution(FState->Context, ScreenPixelsPerInch);
}

TRasterDevice::~TRasterDevice() = default;

void TRasterDevice::FillRect(const TRect& r, TColor color, const TRect& clip) {
    const TRect a = IntersectRect(r, clip);
    if (a.Width() <= 0 || a.Height() <= 0) return;
    cairo_t* cr = FState->Cr;
    cairo_save(cr);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    SetColor(cr, color);
    cairo_rectangle(cr, a.Left, a.Top, a.Width(), a.Height());
    cairo_fill(cr);
    cairo_restore(cr);
}

void TRasterDevice::Line(TPoint from, TPoint to, TColor color, int width, const TRect& clip) {
    const int w = std::max(1, width);
    if (from.Y == to.Y || from.X == to.X) {  // the end point is not drawn
        TRect r = from.Y == to.Y ? Rect(std::min(from.X, to.X + 1), from.Y, std::max(from.X + 1, to.X), from.Y + w)
                                 : Rect(from.X, std::min(from.Y, to.Y + 1), from.X + w, std::max(from.Y + 1, to.Y));
        if (from.Y == to.Y && to.X > from.X) r.Right = to.X;
        if (from.X == to.X && to.Y > from.Y) r.Bottom = to.Y;
        FillRect(r, color, clip);
        return;
    }
    cairo_t* cr = FState->Cr;
    cairo_save(cr);
    ClipTo(cr, clip);
    SetColor(cr, color);
    cairo_set_line_width(cr, w);
    cairo_move_to(cr, from.X + 0.5, from.Y + 0.5);
    cairo_line_to(cr, to.X + 0.5, to.Y + 0.5);
    cairo_stroke(cr);
    cairo_restore(cr);
}

TSize TRasterDevice::TextExtent(const TLogFont& font, const String& text) {
    PangoLayout* layout = FState->Layout(font, ToUTF8(text));
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    g_object_unref(layout);
    return TSize{logical.width, logical.height};
}

TTextMetric TRasterDevice::TextMetrics(const TLogFont& font) {
    PangoFontDescription* desc = FState->Describe(font);
    PangoFontMetrics* m = pango_context_get_metrics(FState->Context, desc, nullptr);
    TTextMetric tm;
    tm.tmAscent = PANGO_PIXELS(pango_font_metrics_get_ascent(m));
    tm.tmDescent = PANGO_PIXELS(pango_font_metrics_get_descent(m));
    tm.tmHeight = tm.tmAscent + tm.tmDescent;
    tm.tmAveCharWidth = PANGO_PIXELS(pango_font_metrics_get_approximate_char_width(m));
    tm.tmInternalLeading = std::max(0, tm.tmHeight - static_cast<int>(std::lround(FState->EmPixels(font, desc))));
    pango_font_metrics_unref(m);
    PangoFont* loaded = pango_context_load_font(FState->Context, desc);
    pango_font_description_free(desc);
    bool scalable = true, fixed = false;
    if (loaded && PANGO_IS_FC_FONT(loaded)) {
        FcPattern* pattern = pango_fc_font_get_pattern(PANGO_FC_FONT(loaded));
        FcBool s = FcTrue;
        if (FcPatternGetBool(pattern, FC_SCALABLE, 0, &s) == FcResultMatch) scalable = s != FcFalse;
        int spacing = FC_PROPORTIONAL;
        if (FcPatternGetInteger(pattern, FC_SPACING, 0, &spacing) == FcResultMatch) fixed = spacing >= FC_MONO;
    }
    if (loaded) g_object_unref(loaded);
    tm.tmPitchAndFamily =
        static_cast<std::uint8_t>((scalable ? TMPF_TRUETYPE | TMPF_VECTOR : 0) | (fixed ? 0 : TMPF_FIXED_PITCH));
    return tm;
}

int TRasterDevice::DrawText(const TLogFont& font, TColor color, const String& text, const TRect& r, unsigned flags,
                            const TRect& clip) {
    String utf8 = ToUTF8(text);
    if (flags & DT_SINGLELINE)
        for (char& c : utf8)
            if (c == '\r' || c == '\n') c = ' ';
    if (!(flags & DT_EXPANDTABS))
        for (char& c : utf8)
            if (c == '\t') c = ' ';
    TLayoutText t;
    if (flags & DT_NOPREFIX)
        t.Text = utf8;
    else
        t = WithoutPrefix(utf8);
    PangoLayout* layout = FState->Layout(font, t.Text, t.HotStart, t.HotEnd);
    const PangoAlignment align = (flags & DT_RIGHT)    ? PANGO_ALIGN_RIGHT
                                 : (flags & DT_CENTER) ? PANGO_ALIGN_CENTER
                                                       : PANGO_ALIGN_LEFT;
    pango_layout_set_alignment(layout, align);
    if (flags & DT_WORDBREAK) {
        pango_layout_set_width(layout, std::max(1, r.Width()) * PANGO_SCALE);
        pango_layout_set_wrap(layout, PANGO_WRAP_WORD);
    }
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    int x = r.Left;
    if (!(flags & DT_WORDBREAK)) {
        if (flags & DT_RIGHT)
            x = r.Right - logical.width;
        else if (flags & DT_CENTER)
            x = r.Left + (r.Width() - logical.width) / 2;
    }
    cairo_t* cr = FState->Cr;
    cairo_save(cr);
    ClipTo(cr, (flags & DT_NOCLIP) ? clip : IntersectRect(r, clip));
    SetColor(cr, color);
    cairo_move_to(cr, x, r.Top);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
    g_object_unref(layout);
    return logical.height;
}

void TRasterDevice::TextRect(const TLogFont& font, TColor color, const TRect& r, int x, int y, const String& text,
                             const TRect& clip) {
    PangoLayout* layout = FState->Layout(font, ToUTF8(text));
    cairo_t* cr = FState->Cr;
    cairo_save(cr);
    ClipTo(cr, IntersectRect(r, clip));
    SetColor(cr, color);
    cairo_translate(cr, x, y);
    cairo_rotate(cr, -font.lfEscapement / 10.0 * G_PI / 180.0);
    pango_cairo_update_layout(cr, layout);
    cairo_move_to(cr, 0, 0);
    pango_cairo_show_layout(cr, layout);
    cairo_restore(cr);
    g_object_unref(layout);
}

String TRasterDevice::ResolvedFamily(const String& faceName) {
    TLogFont lf;
    lf.lfHeight = -16;
    lf.lfFaceName = faceName;
    PangoFontDescription* desc = FState->Describe(lf);
    PangoFont* loaded = pango_context_load_font(FState->Context, desc);
    pango_font_description_free(desc);
    String family;
    if (loaded) {
        PangoFontDescription* real = pango_font_describe(loaded);
        if (const char* f = pango_font_description_get_family(real)) family = f;
        pango_font_description_free(real);
        g_object_unref(loaded);
    }
    return family;
}

}  // namespace velora
