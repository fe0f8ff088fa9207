// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The 3-D text label drawn to pixels: DejaVu Sans at height -16 with
// antialiasing and hinting off, pure colours (face blue, highlight red,
// shadow green, background white) on a magenta picture, so that every pixel
// can be accounted for. M is the face mask of the same label drawn flat.
#include "velora/controls/SmartText.h"

#include "PixelTestUtil.h"

#include <gtest/gtest.h>

using namespace velora;
using namespace velora::test;

namespace {

TOwnedPtr<TSmartText> MakeLabel(const String& caption, TTextStyle style, int width = 120, int height = 30) {
    TOwnedPtr<TSmartText> l(new TSmartText(nullptr));
    l->SetAutoSize(false);
    l->SetBounds(10, 10, width, height);
    l->Font()->SetName(TestFace);
    l->Font()->SetHeight(-16);
    l->Font()->SetColor(Blue);
    l->SetColor(White);
    l->SetHighlightColor(Red);
    l->SetShadowColor(Green);
    l->SetCaption(caption);
    l->SetTextStyle(style);
    return l;
}

TMask Area(int w, int h, const TRect& r) {
    TMask m(w, h);
    for (int y = r.Top; y < r.Bottom; ++y)
        for (int x = r.Left; x < r.Right; ++x) m.Set(x, y);
    return m;
}

// The face mask of a label, its outside checked untouched.
TMask FaceOf(TSmartText& l, const TRasterImage& img) {
    const TMask outside = Area(240, 120, Rect(0, 0, 240, 120)).Minus(Area(240, 120, l.BoundsRect()));
    EXPECT_EQ(MaskOf(img, Sentinel).Minus(Area(240, 120, l.BoundsRect())), outside) << "drawn outside the control";
    return MaskOf(img, Blue);
}

// Paints once so that a rotated label takes its size, then renders.
std::unique_ptr<TRasterImage> Settled(TSmartText& l) {
    Render(l);
    return Render(l);
}

// crop of m at box turned counter-clockwise by deg (90, 180, 270), placed at
// the top-left corner of at.
TMask Turned(const TMask& m, const TRect& box, int deg, const TRect& at) {
    TMask out(m.W, m.H);
    const int w = box.Width(), h = box.Height();
    for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i) {
            if (!m.At(box.Left + i, box.Top + j)) continue;
            int x = 0, y = 0;
            if (deg == 90) x = j, y = w - 1 - i;
            if (deg == 180) x = w - 1 - i, y = h - 1 - j;
            if (deg == 270) x = h - 1 - j, y = i;
            out.Set(at.Left + x, at.Top + y);
        }
    return out;
}

}  // namespace

TEST(SmartTextPixels, StylesLayerFaceHighlightAndShadowAtRotationZero) {
    const TRect client = Bounds(10, 10, 120, 30);
    const TMask inside = Area(240, 120, client);
    auto flat = MakeLabel("Hg&Pp", tsNormal);
    auto img = Render(*flat);
    const TMask M = FaceOf(*flat, *img);
    ASSERT_GT(M.Count(), 60);
    EXPECT_EQ(MaskOf(*img, White), inside.Minus(M));

    const TMask up = M.Shifted(-1, -1, client), down = M.Shifted(1, 1, client);
    auto raised = MakeLabel("Hg&Pp", tsRaised);
    img = Render(*raised);
    EXPECT_EQ(FaceOf(*raised, *img), M);
    EXPECT_EQ(MaskOf(*img, Red), up.Minus(M));
    EXPECT_EQ(MaskOf(*img, Green), down.Minus(M | up));
    EXPECT_EQ(MaskOf(*img, White), inside.Minus(M | up | down));
    // TextOffset moves neither raised effect.
    raised->SetTextOffset(3);
    EXPECT_TRUE(Render(*raised)->SamePixels(*img));

    auto recessed = MakeLabel("Hg&Pp", tsRecessed);
    img = Render(*recessed);
    EXPECT_EQ(FaceOf(*recessed, *img), M);
    EXPECT_EQ(MaskOf(*img, Green), up.Minus(M));
    EXPECT_EQ(MaskOf(*img, Red), down.Minus(M | up));

    auto shadow = MakeLabel("Hg&Pp", tsShadow);
    for (int t : {1, 3}) {
        shadow->SetTextOffset(t);
        img = Render(*shadow);
        EXPECT_EQ(FaceOf(*shadow, *img), M) << t;
        EXPECT_EQ(MaskOf(*img, Green), M.Shifted(t, t, client).Minus(M)) << t;
        EXPECT_EQ(MaskOf(*img, Red).Count(), 0) << t;
    }
    shadow->SetTextOffset(0);
    EXPECT_TRUE(Render(*shadow)->SamePixels(*Render(*flat)));
}

TEST(SmartTextPixels, DisabledFaceTransparencyAndEdges) {
    auto l = MakeLabel("Hg&Pp", tsRaised);
    auto enabled = Render(*l);
    const TMask M = MaskOf(*enabled, Blue);
    l->SetEnabled(false);
    auto disabled = Render(*l);
    EXPECT_EQ(MaskOf(*disabled, 0xC0C0C0), M);  // the classic inactive caption text colour
    EXPECT_EQ(MaskOf(*disabled, Red), MaskOf(*enabled, Red));
    EXPECT_EQ(MaskOf(*disabled, Green), MaskOf(*enabled, Green));

    l->SetEnabled(true);
    l->SetTransparent(true);
    auto clear = Render(*l);
    EXPECT_EQ(MaskOf(*clear, White).Count(), 0);
    EXPECT_EQ(MaskOf(*clear, Sentinel), MaskOf(*enabled, White) | MaskOf(*enabled, Sentinel));

    // A caption touching the left edge: no highlight left of the control.
    auto edge = MakeLabel("|||", tsRaised, 40, 24);
    auto img = Render(*edge);
    FaceOf(*edge, *img);
    EXPECT_GT(MaskOf(*img, Green).Count(), 0);
}

TEST(SmartTextPixels, AlignmentAcceleratorWordWrapAndTabs) {
    const TRect client = Bounds(10, 10, 200, 60);
    auto l = MakeLabel("Hg", tsNormal, 200, 60);
    const TAlignment aligns[] = {taLeftJustify, taRightJustify, taCenter};
    for (TAlignment a : aligns) {
        l->SetAlignment(a);
        const TRect box = FaceOf(*l, *Render(*l)).Box();
        EXPECT_LE(box.Top - client.Top, 4) << "drawn at the top";
        const int left = box.Left - client.Left, right = client.Right - box.Right;
        const int off = a == taLeftJustify ? left : a == taRightJustify ? right : std::abs(left - right);
        EXPECT_LE(off, 2) << static_cast<int>(a);
    }
    l->SetAlignment(taLeftJustify);

    // The accelerator: "&" hidden and the next letter underlined; with
    // ShowAccelChar off the "&" is drawn.
    l->SetCaption("Hg");
    const TMask plain = MaskOf(*Render(*l), Blue);
    l->SetCaption("&Hg");
    const TMask marked = MaskOf(*Render(*l), Blue);
    const TMask underline = marked.Minus(plain);
    EXPECT_EQ(plain.Minus(marked).Count(), 0);
    ASSERT_GT(underline.Count(), 5);
    EXPECT_GE(underline.Box().Top, plain.Box().Top + 10);
    EXPECT_LT(underline.Box().Right, plain.Box().Left + 16) << "under the H only";
    l->SetShowAccelChar(false);
    EXPECT_GT(MaskOf(*Render(*l), Blue).Box().Width(), plain.Box().Width() + 5);
    l->SetShowAccelChar(true);

    // Word wrap: two or more lines inside the width; without it, one line cut.
    auto wrap = MakeLabel("word word word word", tsNormal, 70, 90);
    wrap->SetWordWrap(true);
    TRect box = FaceOf(*wrap, *Render(*wrap)).Box();
    EXPECT_GE(box.Height(), 30);
    wrap->SetWordWrap(false);
    box = FaceOf(*wrap, *Render(*wrap)).Box();
    EXPECT_LT(box.Height(), 20);
    EXPECT_GE(box.Right, 10 + 70 - 2);

    // Tabs expand to the next stop.
    l->SetCaption("A B");
    const int spaced = MaskOf(*Render(*l), Blue).Box().Width();
    l->SetCaption("A\tB");
    EXPECT_GT(MaskOf(*Render(*l), Blue).Box().Width(), spaced + 20);
}

TEST(SmartTextPixels, RightAnglesMatchTheTurnedFlatText) {
    auto flat = MakeLabel("Hello", tsNormal);
    const TMask M = MaskOf(*Render(*flat), Blue);
    TRasterImage scratch(1, 1);
    TRasterDevice dev(scratch, Exact);
    TLogFont lf = flat->Font()->LogFont();
    const TSize ext = dev.TextExtent(lf, "Hello");
    const int W = ext.cx, H = ext.cy;
    for (int deg : {90, 180, 270}) {
        auto l = MakeLabel("Hello", tsNormal);
        l->SetRotation(deg);
        auto img = Settled(*l);
        const TMask face = FaceOf(*l, *img);
        const bool upright = deg == 180;
        EXPECT_EQ(l->Width(), (upright ? W : H) + 1) << deg;
        EXPECT_EQ(l->Height(), (upright ? H : W) + 1) << deg;
        TRect box = face.Box();
        OffsetRect(box, -l->Left(), -l->Top());
        const TRect cell = deg == 90 ? Rect(0, 1, H, W + 1) : deg == 180 ? Rect(1, 0, W + 1, H) : Rect(0, 0, H, W);
        EXPECT_TRUE(box.Left >= cell.Left && box.Top >= cell.Top && box.Right <= cell.Right &&
                    box.Bottom <= cell.Bottom)
            << deg << ": ink box " << box.Left << "," << box.Top << "," << box.Right << "," << box.Bottom;
        EXPECT_GE(IoU(face, Turned(M, M.Box(), deg, face.Box())), 0.9) << deg;
    }
}

TEST(SmartTextPixels, TurnedTextIsWholeAtEveryAngle) {
    TRasterImage ref(400, 400, White);
    TRasterDevice dev(ref, Exact);
    for (int deg : {30, 45, 60, 85, 210, 225, 240, 300}) {
        auto l = MakeLabel("Hg Pp", tsNormal);
        l->SetRotation(deg);
        TLogFont lf = l->Font()->LogFont();
        lf.lfEscapement = deg * 10;
        ref.Fill(White);
        dev.TextRect(lf, Blue, Rect(0, 0, 400, 400), 200, 200, "Hg Pp", Rect(0, 0, 400, 400));
        const int whole = MaskOf(ref, Blue).Count();
        ASSERT_GT(whole, 60);
        const int drawn = FaceOf(*l, *Settled(*l)).Count();
        EXPECT_EQ(drawn, whole) << deg << " degrees: ink cut off";
        // The face is whole under a far shadow too (it is not clipped to
        // the shadow's shifted rectangle).
        l->SetTextStyle(tsShadow);
        l->SetTextOffset(3);
        auto img = Settled(*l);
        EXPECT_EQ(FaceOf(*l, *img).Count(), whole) << deg << " degrees with a shadow";
        EXPECT_GT(MaskOf(*img, Green).Count(), 0);
        // Repainting gives the same picture.
        EXPECT_TRUE(Render(*l)->SamePixels(*img)) << deg;
    }
}

TEST(SmartTextPixels, SpecialOriginsAtNinetyAndEffectsInScreenAxes) {
    // A label held at 100 pixels high by its Align: centre and right place
    // the upright text in the middle and against the top.
    for (TAlignment a : {taCenter, taRightJustify}) {
        auto l = MakeLabel("Hello", tsNormal, 30, 100);
        l->SetAlign(alLeft);
        l->SetAlignment(a);
        l->SetRotation(90);
        const TRect box = FaceOf(*l, *Settled(*l)).Box();
        ASSERT_EQ(l->Height(), 100);
        if (a == taCenter) {
            EXPECT_LE(std::abs((box.Top + box.Bottom) - (2 * l->Top() + l->Height())), 3);
        } else {
            EXPECT_LE(box.Top - l->Top(), 3);
        }
    }
    // Under a rotation the shadow is the face moved (t, t) on the screen.
    auto l = MakeLabel("Hg Pp", tsShadow);
    l->SetTextOffset(3);
    l->SetRotation(60);
    auto img = Settled(*l);
    const TMask face = FaceOf(*l, *img);
    EXPECT_EQ(MaskOf(*img, Green), face.Shifted(3, 3, l->BoundsRect()).Minus(face));
}

TEST(SmartTextPixels, BitmapFontTurnsInArial) {
    // Terminus (fonts-terminus-otb, enabled in fontconfig by its package)
    // is a bitmap font: a turn switches the label to Arial, which turns.
    TRasterImage scratch(1, 1);
    TRasterDevice measure(scratch, Exact);
    auto l = MakeLabel("Terminus", tsNormal);
    {
        TMeasuringScope scope(&measure);
        l->Font()->SetName("Terminus");
        EXPECT_FALSE(l->IsTrueType());
        l->SetRotation(0);
        EXPECT_EQ(l->Font()->Name(), "Terminus");
        l->SetRotation(45);
    }
    EXPECT_EQ(l->Font()->Name(), "Arial");
    EXPECT_TRUE(l->IsTrueType());
    const TRect box = FaceOf(*l, *Settled(*l)).Box();
    EXPECT_GT(box.Height(), box.Width() / 2) << "the ink runs upwards";
    EXPECT_GT(box.Height(), 40);
}
