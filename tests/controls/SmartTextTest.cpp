// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The 3-D text label without pixels: the calls one paint makes on a
// recording canvas, the origin of rotated text, the setters, centring, the
// resize grip, the mouse events and form files. Text is measured with the
// deterministic metric ("MS Sans Serif" -11: 6 pixels a character, 13 a
// line), so "Hello" is 30 x 13.
#include "velora/controls/SmartText.h"

#include "velora/classes/FormFiles.h"
#include "velora/forms/Forms.h"
#include "velora/forms/RecordingCanvas.h"

#include "PixelTestUtil.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace velora;
using velora::test::TMeasuringScope;

namespace {

TOwnedPtr<TSmartText> MakeLabel(const String& caption = "Hello") {
    TOwnedPtr<TSmartText> l(new TSmartText(nullptr));
    l->SetAutoSize(false);
    l->SetBounds(0, 0, 60, 20);
    l->SetCaption(caption);
    l->Font()->SetColor(0x123456);
    l->SetHighlightColor(0x0000FF);
    l->SetShadowColor(0x00FF00);
    return l;
}

std::vector<TCanvasCall> Paint(TSmartText& l, TRecordingDevice& rec) {
    rec.Clear();
    l.PaintTo(rec, TPoint{0, 0}, l.BoundsRect());
    std::vector<TCanvasCall> out;
    for (const TCanvasCall& c : rec.Calls())
        if (c.Kind != ccFont && c.Kind != ccTextMetrics && (c.Kind != ccBrush || c.BrushStyle == bsClear))
            out.push_back(c);
    return out;
}

std::vector<TCanvasCallKind> KindsOf(const std::vector<TCanvasCall>& calls) {
    std::vector<TCanvasCallKind> k;
    for (const TCanvasCall& c : calls) k.push_back(c.Kind);
    return k;
}

}  // namespace

TEST(SmartTextCalls, PaintAtRotationZeroDrawsEachStyleInOrder) {
    auto l = MakeLabel();
    TRecordingDevice rec;
    const TRect client = Rect(0, 0, 60, 20);
    auto calls = Paint(*l, rec);
    const std::vector<TCanvasCallKind> order = {ccFillRect,   ccBrush,    ccTextWidth, ccTextHeight,
                                                ccTextExtent, ccDrawText, ccDrawText,  ccDrawText};
    ASSERT_EQ(KindsOf(calls), order);
    EXPECT_EQ(calls[0].Rect, client);
    EXPECT_EQ(calls[0].Color, clBtnFace);
    EXPECT_EQ(calls[0].BrushStyle, bsSolid);
    EXPECT_EQ(calls[2].Text, "Hello");
    EXPECT_EQ(calls[3].Text, "Pp");
    const TRect shifted[] = {Rect(1, 1, 61, 21), Rect(-1, -1, 59, 19), client};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(calls[5 + i].Rect, shifted[i]);
        EXPECT_EQ(calls[5 + i].Flags, DT_EXPANDTABS);
        EXPECT_EQ(calls[5 + i].Length, -1);
        EXPECT_EQ(calls[5 + i].Text, "Hello");
    }

    struct TExpect {
        TTextStyle Style;
        std::vector<TColor> Colors;
    };
    const TColor face = 0x123456;
    const TExpect table[] = {{tsRaised, {0x00FF00, 0x0000FF, face}},
                             {tsRecessed, {0x0000FF, 0x00FF00, face}},
                             {tsShadow, {0x00FF00, face}},
                             {tsNormal, {face}}};
    l->SetTextOffset(3);
    for (const TExpect& e : table) {
        l->SetTextStyle(e.Style);
        Paint(*l, rec);
        std::vector<TColor> colors;
        for (const TCanvasCall& c : rec.CallsOf(ccDrawText)) colors.push_back(c.Color);
        EXPECT_EQ(colors, e.Colors) << static_cast<int>(e.Style);
        if (e.Style == tsShadow) {
            EXPECT_EQ(rec.CallsOf(ccDrawText)[0].Rect, Rect(3, 3, 63, 23));
        }
    }

    // Disabled: the face in the inactive caption text colour; transparent:
    // no fill; right alignment, word wrap and no accelerator in the flags; the
    // text cut to 255 characters.
    l->SetEnabled(false);
    l->SetTransparent(true);
    l->SetAlignment(taRightJustify);
    l->SetWordWrap(true);
    l->SetShowAccelChar(false);
    l->SetCaption(String(300, 'x'));
    calls = Paint(*l, rec);
    EXPECT_TRUE(rec.CallsOf(ccFillRect).empty());
    const TCanvasCall faceCall = rec.CallsOf(ccDrawText).back();
    EXPECT_EQ(faceCall.Color, clInactiveCaptionText);
    EXPECT_EQ(faceCall.Flags, DT_RIGHT | DT_EXPANDTABS | DT_WORDBREAK | DT_NOPREFIX);
    EXPECT_EQ(faceCall.Text, String(255, 'x'));
    l->SetAlignment(taCenter);
    Paint(*l, rec);
    EXPECT_EQ(rec.CallsOf(ccDrawText).back().Flags & 0x27u, DT_CENTER);
}

TEST(SmartTextCalls, RotatedPaintMakesOneFontAndPlacesEachPass) {
    auto l = MakeLabel();
    l->Font()->SetHeight(-11);
    l->Font()->SetStyle(TFontStyles{fsBold, fsItalic, fsStrikeOut});
    l->Font()->SetPitch(fpVariable);
    l->SetRotation(45);
    TRecordingDevice rec;
    Paint(*l, rec);  // takes the turned size: bold "Hello" is 35 x 13, turned 35 x 35
    ASSERT_EQ(l->Width(), 35);
    auto calls = Paint(*l, rec);
    const std::vector<TCanvasCallKind> order = {ccFillRect,   ccBrush,    ccTextWidth, ccTextHeight, ccTextExtent,
                                                ccCreateFont, ccTextRect, ccTextRect,  ccRefresh,    ccTextRect};
    ASSERT_EQ(KindsOf(calls), order);
    TLogFont expected;
    expected.lfHeight = -11;
    expected.lfEscapement = 450;
    expected.lfWeight = 700;
    expected.lfItalic = 1;
    expected.lfStrikeOut = 1;
    expected.lfCharSet = 1;
    expected.lfPitchAndFamily = 2;
    expected.lfFaceName = "MS Sans Serif";
    EXPECT_EQ(calls[5].Font, expected);
    // Origin (0, 35 - Round(13 cos 45°)) = (0, 26); effects at +1 and -1.
    EXPECT_EQ(calls[6].Rect, Rect(1, 1, 36, 36));
    EXPECT_EQ(calls[6].X, 1);
    EXPECT_EQ(calls[6].Y, 27);
    EXPECT_EQ(calls[7].Rect, Rect(-1, -1, 34, 34));
    EXPECT_EQ(calls[7].Y, 25);
    EXPECT_EQ(calls[9].Rect, Rect(0, 0, 35, 35));
    EXPECT_EQ(calls[9].X, 0);
    EXPECT_EQ(calls[9].Y, 26);

    // Each paint makes one font, which the canvas font owns: none leaks.
    const int live = TFontHandle::LiveCount();
    for (int i = 0; i < 1000; ++i) Paint(*l, rec);
    EXPECT_EQ(rec.CallsOf(ccCreateFont).size(), 1u);
    EXPECT_EQ(TFontHandle::LiveCount(), live);
}

TEST(SmartTextCalls, CalculateOriginAndSizeByQuadrantAlignmentAndStyle) {
    struct TCase {
        int Rotation;
        TAlignment Alignment;
        TTextStyle Style;
        int Offset;
        int X, Y, W, H;
    };
    // "Hello": W 30, H = th 13, tw 30. RW, RH = Round(|sin|H + |cos|W) + offset.
    const TCase cases[] = {
        {45, taLeftJustify, tsRaised, 1, 0, 22, 31, 31},     // y = 31 - Round(9.19)
        {45, taLeftJustify, tsShadow, 3, 0, 21, 33, 33},     // and - S
        {90, taLeftJustify, tsRaised, 1, 0, 31, 14, 31},     // y = bottom
        {90, taCenter, tsRaised, 1, 0, 31, 14, 31},          // 31 - (31 - 30) div 2
        {90, taRightJustify, tsRaised, 1, 0, 30, 14, 31},    // top + tw
        {90, taLeftJustify, tsShadow, 3, 0, 30, 16, 33},     // bottom - S
        {135, taLeftJustify, tsRaised, 1, 21, 31, 31, 31},   // |Round(cos·W)| = 21
        {180, taLeftJustify, tsRaised, 1, 31, 13, 31, 14},   // x = RW, y = th
        {180, taCenter, tsRaised, 1, 31, 13, 31, 14},        // 31 - (31 - 30) div 2
        {180, taRightJustify, tsRaised, 1, 30, 13, 31, 14},  // x = tw
        {225, taLeftJustify, tsRaised, 1, 31, 9, 31, 31},    // y = Round(13 |cos|)
        {270, taLeftJustify, tsRaised, 1, 13, 0, 14, 31},    // x = Round(sin·H)
        {270, taCenter, tsRaised, 1, 13, 0, 14, 31},         // (31 - 30) div 2
        {270, taRightJustify, tsRaised, 1, 13, 1, 14, 31},   // 31 - 30 - 0
        {270, taRightJustify, tsShadow, 3, 13, 0, 16, 33},   // 33 - 30 - 3
        {315, taLeftJustify, tsRaised, 1, 9, 0, 31, 31},
    };
    for (const TCase& c : cases) {
        auto l = MakeLabel();
        l->SetTextStyle(c.Style);
        l->SetTextOffset(c.Offset);
        l->SetAlignment(c.Alignment);
        l->SetRotation(c.Rotation);
        TRect r = l->ClientRect();
        int x = -1, y = -1;
        l->CalculateOrigin(r, DrawTextAlignments[c.Alignment], 30, 13, x, y);
        EXPECT_EQ(x, c.X) << c.Rotation << "/" << c.Alignment << "/" << c.Style;
        EXPECT_EQ(y, c.Y) << c.Rotation << "/" << c.Alignment << "/" << c.Style;
        EXPECT_EQ(l->Width(), c.W) << c.Rotation;
        EXPECT_EQ(l->Height(), c.H) << c.Rotation;
        EXPECT_EQ(r, l->ClientRect());
    }
    // The whole grid: the turned cell of "Hello" (30 x 13) starting at the
    // origin lies inside the control, within half a pixel of rounding.
    for (int rot : {1, 45, 89, 90, 91, 135, 179, 180, 181, 225, 269, 270, 271, 315, 359})
        for (TAlignment al : {taLeftJustify, taCenter, taRightJustify})
            for (TTextStyle st : {tsRaised, tsShadow}) {
                auto l = MakeLabel();
                l->SetTextStyle(st);
                l->SetTextOffset(st == tsShadow ? 3 : 1);
                l->SetAlignment(al);
                l->SetRotation(rot);
                TRect r = l->ClientRect();
                int x = 0, y = 0;
                l->CalculateOrigin(r, DrawTextAlignments[al], 30, 13, x, y);
                const double a = rot * 3.14159265358979323846 / 180;
                const double ux = std::cos(a), uy = -std::sin(a), vx = std::sin(a), vy = std::cos(a);
                for (auto [u, v] : {std::pair{0, 0}, {30, 0}, {0, 13}, {30, 13}}) {
                    const double cx = x + u * ux + v * vx, cy = y + u * uy + v * vy;
                    EXPECT_TRUE(cx >= -1 && cx <= l->Width() + 1 && cy >= -1 && cy <= l->Height() + 1)
                        << rot << "/" << al << "/" << st << ": corner (" << cx << ", " << cy << ") outside "
                        << l->Width() << " x " << l->Height();
                }
            }

    // Align decides which side follows the turned text.
    for (TAlign a : {alTop, alLeft, alClient}) {
        auto l = MakeLabel();
        l->SetAlign(a);
        l->SetRotation(45);
        TRect r = l->ClientRect();
        int x = 0, y = 0;
        l->CalculateOrigin(r, 0, 30, 13, x, y);
        EXPECT_EQ(l->Width(), a == alLeft ? 31 : 60) << a;
        EXPECT_EQ(l->Height(), a == alTop ? 31 : 20) << a;
    }
}

TEST(SmartTextSetters, NormaliseInvalidateAndKeepTheAutoSizeWish) {
    auto l = MakeLabel();
    const std::pair<int, int> rotations[] = {{370, 10}, {-90, 270}, {360, 0}, {-360, 0}, {725, 5}};
    for (auto [in, out] : rotations) {
        l->SetRotation(in);
        EXPECT_EQ(l->Rotation(), out) << in;
    }
    int n = l->InvalidateCount();
    l->SetRotation(5);
    l->SetTextOffset(1);
    l->SetTextStyle(tsRaised);
    l->SetHighlightColor(0x0000FF);
    l->SetShadowColor(0x00FF00);
    EXPECT_EQ(l->InvalidateCount(), n) << "no change, no invalidation";
    for (auto set : {+[](TSmartText& t) { t.SetTextOffset(2); }, +[](TSmartText& t) { t.SetTextStyle(tsShadow); },
                     +[](TSmartText& t) { t.SetHighlightColor(1); }, +[](TSmartText& t) { t.SetShadowColor(1); }}) {
        n = l->InvalidateCount();
        set(*l);
        EXPECT_EQ(l->InvalidateCount(), n + 1);
        EXPECT_FALSE(l->Transparent());
    }

    // The label auto-sizes as a label at rotation 0 only; AutoSize answers
    // the wish at every rotation, and a form file keeps it.
    l->SetAutoSize(true);
    EXPECT_FALSE(l->AutoSize());
    l->SetRotation(0);
    EXPECT_TRUE(l->AutoSize());
    EXPECT_EQ(l->Width(), 30);
    l->SetRotation(30);
    EXPECT_FALSE(l->AutoSize());
    EXPECT_TRUE(l->GetAutoSize());
    l->SetName("Title");
    const String text = WriteComponentToString(l.get());
    EXPECT_EQ(text.find("AutoSize"), String::npos) << text;
    EXPECT_NE(text.find("Rotation = 30"), String::npos) << text;
    TOwnedPtr<TComponent> back(ReadComponentFromString(text, nullptr));
    auto* copy = dynamic_cast<TSmartText*>(back.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(copy->GetAutoSize());
    copy->SetRotation(0);
    EXPECT_TRUE(copy->AutoSize());
}

TEST(SmartTextSetters, FormFileReadsEveryOwnProperty) {
    RegisterControlClasses();
    TOwnedPtr<TComponent> c(ReadComponentFromString(R"(object T: TSmartText
  AllowResize = True
  AutoSize = False
  Caption = 'Up'
  HighlightColor = 255
  Rotation = -90
  ShadowColor = 65280
  TextOffset = 3
  TextStyle = tsShadow
end
)",
                                                    nullptr));
    auto* t = dynamic_cast<TSmartText*>(c.get());
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(t->AllowResize());
    EXPECT_FALSE(t->GetAutoSize());
    EXPECT_EQ(t->Caption(), "Up");
    EXPECT_EQ(t->HighlightColor(), 255);
    EXPECT_EQ(t->Rotation(), 270);
    EXPECT_EQ(t->ShadowColor(), 65280);
    EXPECT_EQ(t->TextOffset(), 3);
    EXPECT_EQ(t->TextStyle(), tsShadow);
    TOwnedPtr<TSmartText> d(new TSmartText(nullptr));
    EXPECT_EQ(d->HighlightColor(), clBtnHighlight);
    EXPECT_EQ(d->ShadowColor(), clBtnShadow);
    EXPECT_EQ(d->TextStyle(), tsRaised);
    EXPECT_EQ(d->TextOffset(), 1);
    EXPECT_TRUE(d->GetAutoSize());
}

TEST(SmartTextSetters, BitmapFontBecomesArialOnlyWhenTurned) {
    TRecordingDevice rec;
    rec.BitmapFaces = {"Terminus"};
    TMeasuringScope scope(&rec);
    auto l = MakeLabel();
    l->Font()->SetName("Terminus");
    l->SetRotation(0);
    EXPECT_EQ(l->Font()->Name(), "Terminus");
    l->SetRotation(45);
    EXPECT_EQ(l->Font()->Name(), "Arial");
    l->Font()->SetName("Terminus");
    l->SetRotation(0);
    EXPECT_EQ(l->Font()->Name(), "Terminus");
    l->Font()->SetName("DejaVu Sans");
    l->SetRotation(30);
    EXPECT_EQ(l->Font()->Name(), "DejaVu Sans");
}

TEST(SmartTextPlacement, CentreOnTheParentsClientAreaAndMoveInsideIt) {
    auto l = MakeLabel();
    l->SetBounds(3, 4, 50, 10);
    // No parent: nothing moves and nothing breaks.
    const int n = l->InvalidateCount();
    l->SetCenterOnParent(true);
    EXPECT_EQ(l->InvalidateCount(), n + 1);
    l->SetCaption("x");
    l->MoveRelative(5, 5);
    EXPECT_EQ(l->BoundsRect(), Bounds(3, 4, 50, 10));

    TOwnedPtr<TForm> form(new TForm(nullptr));
    form->SetClientSize(101, 50);
    l->SetParent(form.get());
    EXPECT_EQ(l->Left(), 26);  // 25.5 to even
    EXPECT_EQ(l->Top(), 20);
    form->SetClientSize(103, 50);
    TRecordingDevice rec;
    l->PaintTo(rec, TPoint{0, 0}, Rect(0, 0, 200, 100));
    EXPECT_EQ(l->Left(), 26);  // 26.5 to even

    l->SetCenterOnParent(false);
    l->MoveRelative(100, 0);
    EXPECT_EQ(l->Left(), 53);
    l->MoveRelative(-200, -30);
    EXPECT_EQ(l->BoundsRect(), Bounds(0, 0, 50, 10));
    l->MoveRelative(0, 7);
    EXPECT_EQ(l->BoundsRect(), Bounds(0, 7, 50, 10));
    l->SetParent(nullptr);
}

TEST(SmartTextMouse, GripResizesWithinExclusiveBoundsAndRestoresTheCursor) {
    auto l = MakeLabel();
    l->SetBounds(0, 0, 60, 40);
    l->SetCursor(-21);
    l->MouseMove({}, 55, 35);
    EXPECT_EQ(l->Cursor(), -21) << "AllowResize off: cursor untouched";
    l->SetAllowResize(true);
    l->MouseMove({}, 50, 35);
    EXPECT_EQ(l->Cursor(), -21) << "x = width - 10 is outside";
    l->MouseMove({}, 55, 30);
    EXPECT_EQ(l->Cursor(), -21) << "y = height - 10 is outside";
    l->MouseMove({}, 51, 31);
    EXPECT_EQ(l->Cursor(), crSizeNWSE);
    l->MouseMove({}, 20, 20);
    EXPECT_EQ(l->Cursor(), -21);
    l->MouseMove({}, 55, 35);
    l->MouseDown(mbLeft, {}, 55, 35);
    l->MouseMove({}, 75, 45);
    EXPECT_EQ(l->Width(), 80);
    EXPECT_EQ(l->Height(), 50);
    l->MouseMove({}, -100, -100);
    EXPECT_EQ(l->Width(), 10);
    EXPECT_EQ(l->Height(), 10);
    l->MouseUp(mbLeft, {}, -100, -100);
    EXPECT_EQ(l->Cursor(), -21);
    l->MouseMove({}, 5, 5);
    EXPECT_EQ(l->Width(), 10);

    int enter = 0, leave = 0;
    TObject* sender = nullptr;
    l->OnMouseEnter = [&](TObject* s) { ++enter, sender = s; };
    l->OnMouseLeave = [&](TObject* s) { ++leave, sender = s; };
    l->CMMouseEnter();
    EXPECT_EQ(sender, l.get());
    l->CMMouseLeave();
    EXPECT_EQ(enter, 1);
    EXPECT_EQ(leave, 1);
}
