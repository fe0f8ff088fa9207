// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Pictures of forms and labels. Text is measured with the raster device
// while the form is read, so auto-sized labels take the size of their text
// as drawn; a first paint on a scratch picture lets rotated labels take
// their turned size before the picture is drawn.
#include "RenderCommand.h"

#include "velora/classes/FormFiles.h"
#include "velora/components/ODBClog.h"
#include "velora/controls/SmartText.h"
#include "velora/forms/FormClasses.h"
#include "velora/forms/Forms.h"
#include "velora/forms/Painting.h"
#include "velora/raster/Raster.h"

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>

namespace velora::app {
namespace {

/// The colour named `text` (a name or #RRGGBB), or `fallback` when not given.
TColor ColorOption(const std::optional<std::string>& text, const std::string& name, TColor fallback) {
    if (!text) return fallback;
    const std::string& s = *text;
    static const std::map<std::string, TColor> names = {
        {"black", clBlack},   {"white", clWhite},   {"red", clRed},     {"green", clGreen},  {"blue", clBlue},
        {"navy", clNavy},     {"maroon", clMaroon}, {"gray", clGray},   {"grey", clGray},    {"silver", clSilver},
        {"yellow", 0x00FFFF}, {"lime", 0x00FF00},   {"teal", 0x808000}, {"purple", 0x800080}};
    if (auto n = names.find(LowerCase(s)); n != names.end()) return n->second;
    if (s.size() == 7 && s[0] == '#') {
        char* end = nullptr;
        const unsigned long rgb = std::strtoul(s.c_str() + 1, &end, 16);
        if (*end == '\0') return static_cast<TColor>(((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16));
    }
    throw TUsageError{name + " takes a colour name or #RRGGBB (not " + s + ")"};
}

/// Draws paint on a picture of width × height at the scale and writes it.
void WritePicture(const std::string& path, int width, int height, int scale, TColor background,
                  const std::function<void(TCanvasDevice&)>& paint) {
    {
        TRasterImage scratch(width, height, background);  // lets rotated labels settle their size
        TRasterDevice device(scratch);
        paint(device);
    }
    TRasterImage image(width * scale, height * scale, background);
    TRasterDevice device(image, TRasterOptions{true, true, scale});
    paint(device);
    image.SavePNG(path);
    std::printf("%s (%d x %d)\n", path.c_str(), image.Width(), image.Height());
}

/// The raster device that measures text while forms are read and laid out.
struct TMeasuring {
    TRasterImage Image{1, 1};
    TRasterDevice Device{Image};
    TMeasuring() { SetMeasuringDevice(&Device); }
    ~TMeasuring() { SetMeasuringDevice(nullptr); }
};

}  // namespace

void TRenderCommand::Define(CLI::App& cmd) {
    auto* form = cmd.add_option("FORMFILE", FForm, "the form file to draw");
    auto* dialog = cmd.add_flag("--login-dialog", FLoginDialog, "draws the login dialog instead of a form file");
    form->excludes(dialog);
    cmd.add_option("--out", FOut, "the PNG file to write")->required();
    cmd.add_option("--scale", FScale, "pixels per point, 1 to 8 (default 1)")->check(CLI::Range(1, 8));
}

int TRenderCommand::Run() {
    if (!FLoginDialog && FForm.empty()) throw TUsageError{"render takes one form file, or --login-dialog"};
    const int scale = FScale;
    RegisterFormClasses();
    RegisterControlClasses();
    TMeasuring measuring;
    TOwnedPtr<TComponent> root(FLoginDialog ? new TODBCLoginDialog(nullptr) : ReadComponentFromFile(FForm, nullptr));
    if (auto* dialog = dynamic_cast<TODBCLoginDialog*>(root.get())) {
        dialog->DatabaseName->SetCaption("VeloraSample");
        dialog->UserName->SetText("velora");
        dialog->Password->SetText("secret");
        dialog->FormShow(dialog);
    }
    if (auto* form = dynamic_cast<TCustomForm*>(root.get())) {
        WritePicture(FOut, form->Width(), form->Height(), scale, clBtnFace,
                     [&](TCanvasDevice& d) { PaintForm(*form, d); });
    } else if (auto* control = dynamic_cast<TControl*>(root.get())) {
        WritePicture(FOut, control->Width(), control->Height(), scale, clBtnFace, [&](TCanvasDevice& d) {
            PaintControl(*control, d, TPoint{0, 0}, Rect(0, 0, control->Width(), control->Height()));
        });
    } else {
        throw Exception(Format("%s holds a %s, which is not a form or a control", FForm, root->ClassName()));
    }
    return 0;
}

void TLabelCommand::Define(CLI::App& cmd) {
    cmd.add_option("CAPTION", FCaption, "the text of the label")->required();
    cmd.add_option("--out", FOut, "the PNG file to write")->required();
    cmd.add_option("--style", FStyle, "raised, recessed, shadow or normal (default raised)")
        ->check(CLI::IsMember({"raised", "recessed", "shadow", "normal"}));
    cmd.add_option("--rotation", FRotation, "degrees, counter-clockwise (default 0)")
        ->check(CLI::Range(-100000, 100000));
    cmd.add_option("--font", FFont, "font family (default DejaVu Sans)");
    cmd.add_option("--size", FSize, "font size in points, 4 to 400 (default 24)")->check(CLI::Range(4, 400));
    const char* colour = "a colour name (black, white, red, navy, ...) or #RRGGBB";
    cmd.add_option("--color", FColor, std::string("text colour: ") + colour + " (default black)");
    cmd.add_option("--background", FBackground, std::string("background: ") + colour + " (default button face)");
    cmd.add_option("--highlight", FHighlight, std::string("highlight of the effect: ") + colour);
    cmd.add_option("--shadow", FShadow, std::string("shadow of the effect: ") + colour);
    cmd.add_option("--offset", FOffset, "depth of the effect in pixels, 0 to 100 (default 1, shadow 3)")
        ->check(CLI::Range(0, 100));
    cmd.add_option("--scale", FScale, "pixels per point, 1 to 8 (default 1)")->check(CLI::Range(1, 8));
}

int TLabelCommand::Run() {
    static const std::map<std::string, TTextStyle> styles = {
        {"raised", tsRaised}, {"recessed", tsRecessed}, {"shadow", tsShadow}, {"normal", tsNormal}};
    const TTextStyle style = styles.at(FStyle);
    const int scale = FScale;
    const TColor background = ColorOption(FBackground, "--background", clBtnFace);
    const TColor color = ColorOption(FColor, "--color", clBlack);
    const TColor highlight = ColorOption(FHighlight, "--highlight", clBtnHighlight);
    const TColor shadow = ColorOption(FShadow, "--shadow", clBtnShadow);
    TMeasuring measuring;
    TOwnedPtr<TSmartText> label(new TSmartText(nullptr));
    label->Font()->SetName(FFont);
    label->Font()->SetSize(FSize);
    label->Font()->SetColor(color);
    label->SetColor(background);
    label->SetHighlightColor(highlight);
    label->SetShadowColor(shadow);
    label->SetTextStyle(style);
    label->SetTextOffset(FOffset.value_or(style == tsShadow ? 3 : 1));
    label->SetCaption(FCaption);
    label->SetRotation(FRotation);
    constexpr int Margin = 8;
    label->SetBounds(Margin, Margin, label->Width(), label->Height());
    {  // a first paint gives a rotated label its turned size
        TRasterImage scratch(1, 1);
        TRasterDevice device(scratch);
        label->PaintTo(device, TPoint{Margin, Margin}, label->BoundsRect());
    }
    // The effects reach one pixel (or the offset) beyond the text.
    const int extra = std::max(1, label->TextOffset());
    WritePicture(FOut, label->Width() + 2 * Margin + extra, label->Height() + 2 * Margin + extra, scale, background,
                 [&](TCanvasDevice& d) {
                     label->PaintTo(d, TPoint{Margin, Margin}, label->BoundsRect());
                 });
    return 0;
}

}  // namespace velora::app
