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

struct TOptions {
    std::vector<std::string> Positional;
    std::map<std::string, std::string> Values;
    bool LoginDialog = false;
};

TOptions Parse(const std::vector<std::string>& args, const std::vector<std::string>& known) {
    TOptions o;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--login-dialog") {
            o.LoginDialog = true;
        } else if (a.size() > 2 && a.compare(0, 2, "--") == 0) {
            bool ok = false;
            for (const std::string& k : known) ok = ok || k == a;
            if (!ok) throw TRenderUsageError{"unknown option " + a};
            if (i + 1 >= args.size()) throw TRenderUsageError{a + " needs a value"};
            o.Values[a] = args[++i];
        } else {
            o.Positional.push_back(a);
        }
    }
    if (!o.Values.count("--out")) throw TRenderUsageError{"--out FILE.png is required"};
    return o;
}

int IntOption(const TOptions& o, const std::string& name, int fallback, int low, int high) {
    auto it = o.Values.find(name);
    if (it == o.Values.end()) return fallback;
    char* end = nullptr;
    const long v = std::strtol(it->second.c_str(), &end, 10);
    if (it->second.empty() || *end != '\0' || v < low || v > high)
        throw TRenderUsageError{name + " takes a whole number from " + std::to_string(low) + " to " +
                                std::to_string(high) + " (not " + it->second + ")"};
    return static_cast<int>(v);
}

TColor ColorOption(const TOptions& o, const std::string& name, TColor fallback) {
    auto it = o.Values.find(name);
    if (it == o.Values.end()) return fallback;
    const std::string& s = it->second;
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
    throw TRenderUsageError{name + " takes a colour name or #RRGGBB (not " + s + ")"};
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

int RenderCommand(const std::vector<std::string>& args) {
    const TOptions o = Parse(args, {"--out", "--scale"});
    const int scale = IntOption(o, "--scale", 1, 1, 8);
    if (o.LoginDialog == !o.Positional.empty() || o.Positional.size() > 1)
        throw TRenderUsageError{"render takes one form file, or --login-dialog"};
    RegisterFormClasses();
    RegisterControlClasses();
    TMeasuring measuring;
    TOwnedPtr<TComponent> root(o.LoginDialog ? new TODBCLoginDialog(nullptr)
                                             : ReadComponentFromFile(o.Positional.front(), nullptr));
    if (auto* dialog = dynamic_cast<TODBCLoginDialog*>(root.get())) {
        dialog->DatabaseName->SetCaption("VeloraSample");
        dialog->UserName->SetText("velora");
        dialog->Password->SetText("secret");
        dialog->FormShow(dialog);
    }
    if (auto* form = dynamic_cast<TCustomForm*>(root.get())) {
        WritePicture(o.Values.at("--out"), form->Width(), form->Height(), scale, clBtnFace,
                     [&](TCanvasDevice& d) { PaintForm(*form, d); });
    } else if (auto* control = dynamic_cast<TControl*>(root.get())) {
        WritePicture(o.Values.at("--out"), control->Width(), control->Height(), scale, clBtnFace,
                     [&](TCanvasDevice& d) {
                         PaintControl(*control, d, TPoint{0, 0}, Rect(0, 0, control->Width(), control->Height()));
                     });
    } else {
        throw Exception(
            Format("%s holds a %s, which is not a form or a control", o.Positional.front(), root->ClassName()));
    }
    return 0;
}

int LabelCommand(const std::vector<std::string>& args) {
    const TOptions o = Parse(args, {"--out", "--style", "--rotation", "--font", "--size", "--color", "--background",
                                    "--highlight", "--shadow", "--offset", "--scale"});
    if (o.Positional.size() != 1 || o.LoginDialog) throw TRenderUsageError{"label takes one caption"};
    static const std::map<std::string, TTextStyle> styles = {
        {"raised", tsRaised}, {"recessed", tsRecessed}, {"shadow", tsShadow}, {"normal", tsNormal}};
    TTextStyle style = tsRaised;
    if (auto it = o.Values.find("--style"); it != o.Values.end()) {
        auto s = styles.find(it->second);
        if (s == styles.end()) throw TRenderUsageError{"--style is raised, recessed, shadow or normal"};
        style = s->second;
    }
    const int scale = IntOption(o, "--scale", 1, 1, 8);
    const TColor background = ColorOption(o, "--background", clBtnFace);
    TMeasuring measuring;
    TOwnedPtr<TSmartText> label(new TSmartText(nullptr));
    label->Font()->SetName(o.Values.count("--font") ? o.Values.at("--font") : String("DejaVu Sans"));
    label->Font()->SetSize(IntOption(o, "--size", 24, 4, 400));
    label->Font()->SetColor(ColorOption(o, "--color", clBlack));
    label->SetColor(background);
    label->SetHighlightColor(ColorOption(o, "--highlight", clBtnHighlight));
    label->SetShadowColor(ColorOption(o, "--shadow", clBtnShadow));
    label->SetTextStyle(style);
    label->SetTextOffset(IntOption(o, "--offset", style == tsShadow ? 3 : 1, 0, 100));
    label->SetCaption(o.Positional.front());
    label->SetRotation(IntOption(o, "--rotation", 0, -100000, 100000));
    constexpr int Margin = 8;
    label->SetBounds(Margin, Margin, label->Width(), label->Height());
    {  // a first paint gives a rotated label its turned size
        TRasterImage scratch(1, 1);
        TRasterDevice device(scratch);
        label->PaintTo(device, TPoint{Margin, Margin}, label->BoundsRect());
    }
    // The effects reach one pixel (or the offset) beyond the text.
    const int extra = std::max(1, label->TextOffset());
    WritePicture(o.Values.at("--out"), label->Width() + 2 * Margin + extra, label->Height() + 2 * Margin + extra, scale,
                 background, [&](TCanvasDevice& d) {
                     label->PaintTo(d, TPoint{Margin, Margin}, label->BoundsRect());
                 });
    return 0;
}

}  // namespace velora::app
