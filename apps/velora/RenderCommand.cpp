// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Pictures of forms and labels. Text is measured with the raster device
// while the form is read, so auto-sized labels take the size of their text
// as drawn; a first paint on a scratch picture lets rotated labels take
// their turned size before the picture is drawn.
//
// The designer's dialogs are drawn as the designer shows them: their editors
// open them over a query on the sample database, and a presenter that
// paints the form it is handed (after the user's one step the picture
// needs: a parameter selected, the statements generated) and cancels it.
#include "RenderCommand.h"

#include "CommandDatabase.h"

#include "velora/classes/FormFiles.h"
#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCUpdateSQL.h"
#include "velora/components/ODBClog.h"
#include "velora/design/ODBCReg.h"
#include "velora/design/ODBCUpd.h"
#include "velora/design/ParmsEditor.h"
#include "velora/controls/SmartText.h"
#include "velora/forms/FormClasses.h"
#include "velora/forms/Forms.h"
#include "velora/forms/Painting.h"
#include "velora/forms/Presenters.h"
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

/// Paints the form shown to it, after `prepare`, and cancels it.
class TPicturePresenter : public TFormPresenter {
public:
    TPicturePresenter(std::function<void(TCustomForm&)> prepare, std::function<void(TCustomForm&)> paint)
        : FPrepare(std::move(prepare)), FPaint(std::move(paint)) {}
    bool RunModal(TCustomForm& form) override {
        if (FDone) {  // a message box on the way: not the dialog asked for
            FMessages += ViewOf(form).Caption + ": ";
            if (const TControlView* m = ViewOf(form).Control("Message")) FMessages += m->Text;
            form.SetModalResult(mrCancel);
            return true;
        }
        FDone = true;
        if (FPrepare) FPrepare(form);
        FPaint(form);
        form.SetModalResult(mrCancel);
        return true;
    }
    bool Done() const { return FDone; }
    const String& Messages() const { return FMessages; }

private:
    std::function<void(TCustomForm&)> FPrepare, FPaint;
    bool FDone = false;
    String FMessages;
};

/// A form of the designer over the sample database: a query of the orders
/// with three parameters of different types and an update object.
struct TSampleDesign {
    TOwnedPtr<TForm> Form{new TForm(nullptr)};
    TODBCDatabase* Database = nullptr;
    TODBCQuery* Query = nullptr;
    TODBCUpdateSQL* Update = nullptr;
    TDesigner Designer{nullptr};

    TSampleDesign() {
        Form->SetName("OrdersForm");
        Designer.SetRoot(Form.get());
        Database = NewCommandDatabase(Form.get(), "VeloraSample", nullptr, nullptr);
        Database->SetName("SampleDatabase");
        Query = new TODBCQuery(Form.get());
        Query->SetName("OrdersQuery");
        Query->SetDataBase(Database);
        Query->SQL()->SetText(
            "SELECT * FROM orders WHERE customer_id = :customer AND order_date >= :since AND amount > :minimum");
        TODBCParams* params = Query->Params();
        params->ParamByName("customer")->SetDataType(ftInteger);
        params->ParamByName("customer")->SetAsInteger(3);
        params->ParamByName("since")->SetDataType(ftDate);
        params->ParamByName("since")->SetText("2025-03-01");
        params->ParamByName("minimum")->SetDataType(ftCurrency);
        params->ParamByName("minimum")->SetAsCurrency(100);
        Update = new TODBCUpdateSQL(Form.get());
        Update->SetName("OrdersUpdate");
        Query->SetUpdateObject(Update);
    }
};

}  // namespace

void TRenderCommand::Define(CLI::App& cmd) {
    auto* form = cmd.add_option("FORMFILE", FForm, "the form file to draw");
    auto* dialog = cmd.add_flag("--login-dialog", FLoginDialog, "draws the login dialog instead of a form file");
    form->excludes(dialog);
    auto* named = cmd.add_option("--dialog", FDialog,
                                 "draws a dialog instead of a form file: login, about (the About box), params "
                                 "(the parameter editor over a query of the sample database's orders with "
                                 "three parameters), update-options or update-sql (the two pages of the "
                                 "update-SQL editor over that query, the second after Generate SQL)")
                      ->check(CLI::IsMember({"login", "about", "params", "update-options", "update-sql"}));
    form->excludes(named);
    dialog->excludes(named);
    cmd.add_option("--out", FOut, "the PNG file to write")->required();
    cmd.add_option("--scale", FScale, "pixels per point, 1 to 8 (default 1)")->check(CLI::Range(1, 8));
}

int TRenderCommand::Run() {
    if (FLoginDialog) FDialog = "login";
    if (FDialog.empty() && FForm.empty())
        throw TUsageError{"render takes one form file, --dialog NAME or --login-dialog"};
    const int scale = FScale;
    RegisterFormClasses();
    RegisterControlClasses();
    TMeasuring measuring;
    if (!FDialog.empty() && FDialog != "login") return RenderDesignDialog();
    TOwnedPtr<TComponent> root(FDialog == "login" ? new TODBCLoginDialog(nullptr)
                                                  : ReadComponentFromFile(FForm, nullptr));
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

int TRenderCommand::RenderDesignDialog() {
    Register();
    TSampleDesign design;
    const int scale = FScale;
    std::function<void(TCustomForm&)> prepare;
    if (FDialog == "params")
        prepare = [](TCustomForm& f) { static_cast<TParamsEdit&>(f).ParamsList->UserClickItem(1); };
    else if (FDialog == "update-sql")
        prepare = [](TCustomForm& f) { static_cast<TUpdateEdit&>(f).GenerateClick(nullptr); };
    auto painter = std::make_shared<TPicturePresenter>(prepare, [&](TCustomForm& form) {
        WritePicture(FOut, form.Width(), form.Height(), scale, clBtnFace,
                     [&](TCanvasDevice& d) { PaintForm(form, d); });
    });
    {
        TPresenterScope scope(painter);
        if (FDialog == "about")
            GetPropertyEditor(&design.Designer, design.Query, "About")->Edit();
        else if (FDialog == "params")
            GetPropertyEditor(&design.Designer, design.Query, "Params")->Edit();
        else
            GetComponentEditor(design.Update, &design.Designer)->ExecuteVerb(0);
    }
    if (!painter->Messages().empty()) throw Exception(painter->Messages());
    if (!painter->Done()) throw Exception("the " + FDialog + " dialog was not shown");
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
