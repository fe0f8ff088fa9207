// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The raster device's own facts (font matching, the TrueType bit, system
// colours, files) and forms drawn whole: the login dialog to a PNG file with
// every caption present as ink, and each standard control painting all of
// its rectangle and nothing outside it.
#include "velora/components/ODBClog.h"
#include "velora/forms/Buttons.h"
#include "velora/forms/ComCtrls.h"
#include "velora/forms/ExtCtrls.h"
#include "velora/forms/Painting.h"
#include "velora/forms/StdCtrls.h"

#include "PixelTestUtil.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace velora;
using namespace velora::test;

namespace {

int CountIn(const TRasterImage& img, const TRect& r, TColor c) {
    int n = 0;
    for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x) n += img.Pixel(x, y) == c;
    return n;
}

// The control's rectangle in the form's picture.
TRect OnForm(const TControl& c, TPoint client) {
    TRect r = c.BoundsRect();
    for (const TControl* p = c.Parent(); p && !dynamic_cast<const TCustomForm*>(p); p = p->Parent())
        OffsetRect(r, p->Left(), p->Top());
    OffsetRect(r, client.X, client.Y);
    return r;
}

}  // namespace

TEST(RasterDevice, FontsColoursAndFiles) {
    TRasterImage img(40, 20, Sentinel);
    TRasterDevice dev(img, Exact);
    EXPECT_EQ(dev.ResolvedFamily("Arial"), "Liberation Sans");
    EXPECT_EQ(dev.ResolvedFamily(TestFace), TestFace);
    TLogFont lf;
    lf.lfHeight = -16;
    lf.lfFaceName = TestFace;
    const TTextMetric tm = dev.TextMetrics(lf);
    EXPECT_TRUE(tm.tmPitchAndFamily & TMPF_TRUETYPE);
    EXPECT_TRUE(tm.tmPitchAndFamily & TMPF_FIXED_PITCH) << "variable pitch";
    lf.lfFaceName = "DejaVu Sans Mono";
    EXPECT_FALSE(dev.TextMetrics(lf).tmPitchAndFamily & TMPF_FIXED_PITCH);
    EXPECT_GT(tm.tmAscent, 10);

    EXPECT_EQ(ColorToRGB(clBtnShadow), 0x808080);
    EXPECT_EQ(ColorToRGB(clBtnHighlight), 0xFFFFFF);
    EXPECT_EQ(ColorToRGB(clInactiveCaptionText), 0xC0C0C0);
    EXPECT_EQ(ColorToRGB(clBtnFace), 0xC0C0C0);
    EXPECT_EQ(ColorToRGB(clWindowText), 0x000000);
    EXPECT_EQ(ColorToRGB(0x123456), 0x123456);

    // System colours reach the pixels through the table; fills stay inside
    // their clip; a clear brush draws nothing.
    TCanvas cv;
    cv.Attach(&dev, TPoint{5, 5}, Rect(5, 5, 25, 15));
    cv.Brush()->SetColor(clBtnShadow);
    cv.FillRect(Rect(-10, -10, 100, 100));
    EXPECT_EQ(CountIn(img, Rect(0, 0, 40, 20), 0x808080), 20 * 10);
    cv.Brush()->SetColor(clWhite);
    cv.Brush()->SetStyle(bsClear);
    cv.FillRect(Rect(0, 0, 10, 10));
    EXPECT_EQ(CountIn(img, Rect(0, 0, 40, 20), 0xFFFFFF), 0);
    EXPECT_THROW(img.SavePNG("/nonexistent-folder/x.png"), Exception);
}

TEST(FormRender, LoginDialogHasEveryCaptionInItsControl) {
    TOwnedPtr<TODBCLoginDialog> dialog(new TODBCLoginDialog(nullptr));
    dialog->DatabaseName->SetCaption("VeloraSample");
    dialog->UserName->SetText("velora");
    dialog->Password->SetText("secret");
    TRasterImage img(dialog->Width(), dialog->Height(), Sentinel);
    TRasterDevice dev(img, Exact);
    PaintForm(*dialog, dev);
    const std::string path = std::string(VELORA_BINARY_DIR) + "/login-dialog-test.png";
    img.SavePNG(path);
    EXPECT_GT(std::filesystem::file_size(path), 500u);
    EXPECT_EQ(img.Width(), 281 + 6);
    EXPECT_EQ(img.Height(), 185 + 6 + 19);
    EXPECT_EQ(MaskOf(img, Sentinel).Count(), 0) << "every pixel painted";

    const int frame = (dialog->Width() - dialog->ClientWidth()) / 2;
    const TPoint client{frame, dialog->Height() - dialog->ClientHeight() - frame};
    // The title in white on the caption bar.
    EXPECT_GT(CountIn(img, Rect(frame, frame, dialog->Width() - frame, client.Y), 0xFFFFFF), 100);
    for (TControl* c :
         std::vector<TControl*>{dialog->Label3, dialog->DatabaseName, dialog->Label1, dialog->Label2, dialog->OKButton,
                                dialog->CancelButton, dialog->UserName, dialog->Password}) {
        const int ink = CountIn(img, OnForm(*c, client), 0x000000);
        EXPECT_GT(ink, 4 * static_cast<int>(StripHotkey(c->Caption()).size())) << c->Name();
    }
    // Six password characters, not the password.
    EXPECT_LT(CountIn(img, OnForm(*dialog->Password, client), 0x000000),
              CountIn(img, OnForm(*dialog->UserName, client), 0x000000) + 60);
}

TEST(FormRender, EveryStandardControlPaintsItsWholeRectangleOnly) {
    TOwnedPtr<TForm> form(new TForm(nullptr));
    form->SetClientSize(300, 200);
    std::vector<TControl*> controls;
    auto add = [&](TControl* c, const String& caption) {
        c->SetParent(form.get());
        c->SetBounds(20, 20, 120, 60);
        c->SetCaption(caption);
        controls.push_back(c);
        return c;
    };
    add(new TLabel(form.get()), "Label");
    static_cast<TCustomLabel*>(controls.back())->SetAutoSize(false);
    add(new TEdit(form.get()), "Edit");
    add(new TMemo(form.get()), "Memo line one");
    add(new TRichEdit(form.get()), "Rich text");
    add(new TButton(form.get()), "&Button");
    static_cast<TCheckBox*>(add(new TCheckBox(form.get()), "Check"))->SetChecked(true);
    auto* list = static_cast<TListBox*>(add(new TListBox(form.get()), ""));
    list->Items()->Add("one");
    list->Items()->Add("two");
    list->SetItemIndex(1);
    auto* combo = static_cast<TComboBox*>(add(new TComboBox(form.get()), ""));
    combo->Items()->Add("choice");
    combo->SetItemIndex(0);
    add(new TGroupBox(form.get()), "Group");
    add(new TPanel(form.get()), "Panel");
    add(new TBevel(form.get()), "");
    add(new TSpeedButton(form.get()), "Speed");
    add(new TBitBtn(form.get()), "Bit");
    auto* status = static_cast<TStatusBar*>(add(new TStatusBar(form.get()), ""));
    status->SetSimpleText("Ready");
    auto* pages = static_cast<TPageControl*>(add(new TPageControl(form.get()), ""));
    auto* sheet = new TTabSheet(form.get());
    sheet->SetCaption("First");
    sheet->SetPageControl(pages);
    auto* onSheet = new TEdit(form.get());
    onSheet->SetParent(sheet);
    onSheet->SetBounds(2, 2, 60, 20);
    auto* tree = static_cast<TTreeView*>(add(new TTreeView(form.get()), ""));
    TTreeNode* root = tree->Items()->Add(nullptr, "root");
    tree->Items()->AddChild(root, "leaf");
    root->Expand();

    for (TControl* c : controls) {
        TRasterImage img(160, 100, Sentinel);
        TRasterDevice dev(img, Exact);
        PaintControl(*c, dev, TPoint{20, 20}, c->BoundsRect());
        const TRect inside = c->BoundsRect();
        const TMask sentinel = MaskOf(img, Sentinel);
        int outside = 0;
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 160; ++x) outside += !sentinel.At(x, y) && !(x >= 20 && x < 140 && y >= 20 && y < 80);
        EXPECT_EQ(outside, 0) << c->ClassName();
        const bool hollow = dynamic_cast<TBevel*>(c) != nullptr;  // a bevel draws lines only
        EXPECT_EQ(hollow ? 0 : CountIn(img, inside, Sentinel), 0) << c->ClassName() << " leaves pixels unpainted";
        const bool captioned = !c->Caption().empty() && !dynamic_cast<TCustomEdit*>(c);
        EXPECT_GT(captioned ? CountIn(img, inside, 0x000000) : 11, 10) << c->ClassName() << ": no caption ink";
    }
}
