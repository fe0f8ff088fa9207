// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The flat look of the standard controls: sunken white boxes for edits and
// lists, raised grey faces for buttons, etched frames for group boxes,
// bevels of one-pixel lines in the button highlight and shadow colours.
#include "velora/forms/Painting.h"

#include "velora/forms/Buttons.h"
#include "velora/forms/ComCtrls.h"
#include "velora/forms/ExtCtrls.h"
#include "velora/forms/Forms.h"
#include "velora/forms/StdCtrls.h"

#include <algorithm>

namespace velora {

namespace {

void Fill(TCanvas& cv, const TRect& r, TColor color) {
    cv.Brush()->SetStyle(bsSolid);
    cv.Brush()->SetColor(color);
    cv.FillRect(r);
}

/// One-pixel frame: top and left in topLeft, bottom and right in bottomRight.
void Frame3D(TCanvas& cv, TRect& r, TColor topLeft, TColor bottomRight) {
    Fill(cv, Rect(r.Left, r.Top, r.Right, r.Top + 1), topLeft);
    Fill(cv, Rect(r.Left, r.Top, r.Left + 1, r.Bottom), topLeft);
    Fill(cv, Rect(r.Left, r.Bottom - 1, r.Right, r.Bottom), bottomRight);
    Fill(cv, Rect(r.Right - 1, r.Top, r.Right, r.Bottom), bottomRight);
    r = Rect(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1);
}

void Sunken(TCanvas& cv, TRect& r) {
    Frame3D(cv, r, clBtnShadow, clBtnHighlight);
    Frame3D(cv, r, cl3DDkShadow, clBtnFace);
}

void Raised(TCanvas& cv, TRect& r) {
    Frame3D(cv, r, clBtnHighlight, cl3DDkShadow);
    Frame3D(cv, r, clBtnFace, clBtnShadow);
}

/// Text in r with the flags, in the control's font (grey when disabled).
void DrawLabelText(TCanvas& cv, const TControl& c, const String& text, const TRect& r, unsigned flags,
                   TColor color = clNone) {
    cv.Font()->Assign(c.Font());
    if (color != clNone) cv.Font()->SetColor(color);
    if (!c.EnabledInTree()) cv.Font()->SetColor(clGrayText);
    cv.Brush()->SetStyle(bsClear);
    cv.DrawText(text, -1, r, flags);
}

/// One line of text centred vertically in r.
void LineText(TCanvas& cv, const TControl& c, const String& text, TRect r, unsigned flags, TColor color = clNone) {
    cv.Font()->Assign(c.Font());
    const int h = cv.TextHeight("Pp");
    r.Top += (r.Height() - h) / 2;
    DrawLabelText(cv, c, text, r, flags | DT_SINGLELINE, color);
}

void PaintEdit(TCanvas& cv, TCustomEdit& e, const TRect& all) {
    TRect r = all;
    Fill(cv, r, e.Color());
    if (e.BorderStyle() != bsNone) Sunken(cv, r);
    if (auto* memo = dynamic_cast<TCustomMemo*>(&e)) {
        static constexpr unsigned Alignments[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
        unsigned flags = DT_NOPREFIX | DT_EXPANDTABS | Alignments[memo->Alignment()];
        if (memo->WordWrap()) flags |= DT_WORDBREAK;
        DrawLabelText(cv, e, e.Text(), Rect(r.Left + 2, r.Top + 1, r.Right - 2, r.Bottom), flags, clWindowText);
        return;
    }
    LineText(cv, e, e.DisplayText(), Rect(r.Left + 2, r.Top, r.Right - 2, r.Bottom), DT_NOPREFIX, clWindowText);
}

void PaintButtonFace(TCanvas& cv, const TControl& c, const String& caption, bool isDefault, bool down) {
    TRect r = Rect(0, 0, c.Width(), c.Height());
    Fill(cv, r, clBtnFace);
    if (isDefault) Frame3D(cv, r, cl3DDkShadow, cl3DDkShadow);
    if (down)
        Sunken(cv, r);
    else
        Raised(cv, r);
    LineText(cv, c, caption, r, DT_CENTER, clBtnText);
}

void PaintCheckBox(TCanvas& cv, TCheckBox& c) {
    const int h = c.Height();
    const bool boxLeft = c.Alignment() == taRightJustify;
    const int bx = boxLeft ? 0 : c.Width() - 13;
    TRect box = Bounds(bx, (h - 13) / 2, 13, 13);
    Fill(cv, Rect(0, 0, c.Width(), h), c.Color());
    Sunken(cv, box);
    Fill(cv, box, c.State() == cbGrayed ? clBtnFace : clWindow);
    if (c.State() != cbUnchecked) {
        // A tick of three short strokes.
        cv.Pen()->SetColor(c.EnabledInTree() ? clWindowText : clGrayText);
        for (int i = 0; i < 3; ++i) {
            cv.MoveTo(box.Left + 1, box.Top + 3 + i);
            cv.LineTo(box.Left + 3, box.Top + 5 + i);
            cv.LineTo(box.Left + 8, box.Top + i);
        }
    }
    const TRect text = boxLeft ? Rect(17, 0, c.Width(), h) : Rect(0, 0, c.Width() - 17, h);
    LineText(cv, c, c.Caption(), text, DT_LEFT);
}

void PaintListBox(TCanvas& cv, TCustomListBox& l) {
    TRect r = Rect(0, 0, l.Width(), l.Height());
    Fill(cv, r, l.Color());
    Sunken(cv, r);
    int y = r.Top;
    for (int i = 0; i < l.Items()->Count() && y < r.Bottom; ++i, y += l.ItemHeight()) {
        const TRect row = Rect(r.Left, y, r.Right, y + l.ItemHeight());
        const bool selected = l.MultiSelect() ? l.Selected(i) : l.ItemIndex() == i;
        if (selected) Fill(cv, row, clHighlight);
        LineText(cv, l, l.Items()->Strings(i), Rect(row.Left + 2, row.Top, row.Right, row.Bottom), DT_NOPREFIX,
                 selected ? clHighlightText : clWindowText);
    }
}

void PaintComboBox(TCanvas& cv, TCustomComboBox& c) {
    TRect r = Rect(0, 0, c.Width(), c.Height());
    Fill(cv, r, c.Color());
    Sunken(cv, r);
    TRect button = Rect(r.Right - 16, r.Top, r.Right, r.Bottom);
    Fill(cv, button, clBtnFace);
    Raised(cv, button);
    // The arrow: a small triangle pointing down.
    const int cx = button.Left + button.Width() / 2, cy = button.Top + button.Height() / 2 - 1;
    cv.Pen()->SetColor(c.EnabledInTree() ? clBtnText : clGrayText);
    for (int i = 0; i < 4; ++i) {
        cv.MoveTo(cx - 3 + i, cy + i);
        cv.LineTo(cx + 4 - i, cy + i);
    }
    LineText(cv, c, c.Text(), Rect(r.Left + 2, r.Top, r.Right - 18, r.Bottom), DT_NOPREFIX, clWindowText);
}

void PaintStatusBar(TCanvas& cv, TStatusBar& s) {
    const TRect all = Rect(0, 0, s.Width(), s.Height());
    Fill(cv, all, clBtnFace);
    if (s.SimplePanel() || s.Panels()->Count() == 0) {
        LineText(cv, s, s.SimpleText(), Rect(4, 2, all.Right - 4, all.Bottom), DT_NOPREFIX);
        return;
    }
    int x = 0;
    for (int i = 0; i < s.Panels()->Count(); ++i) {
        TStatusPanel* p = s.Panels()->Items(i);
        const bool last = i == s.Panels()->Count() - 1;
        TRect r = Rect(x, 2, last ? all.Right : x + p->Width(), all.Bottom);
        if (p->Bevel() == pbLowered) Frame3D(cv, r, clBtnShadow, clBtnHighlight);
        if (p->Bevel() == pbRaised) Frame3D(cv, r, clBtnHighlight, clBtnShadow);
        static constexpr unsigned Alignments[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
        LineText(cv, s, p->Text(), Rect(r.Left + 2, r.Top, r.Right - 2, r.Bottom),
                 DT_NOPREFIX | Alignments[p->Alignment()]);
        x += p->Width() + 2;
    }
}

/// The tabs along the top, then the frame; answers the page's rectangle.
TRect PaintPageControl(TCanvas& cv, TPageControl& p) {
    cv.Font()->Assign(p.Font());
    const int tabHeight = cv.TextHeight("Pp") + 6;
    Fill(cv, Rect(0, 0, p.Width(), p.Height()), p.Color());
    TRect page = Rect(0, tabHeight, p.Width(), p.Height());
    TRect frame = page;
    Frame3D(cv, frame, clBtnHighlight, cl3DDkShadow);
    int x = 2;
    for (int i = 0; i < p.PageCount(); ++i) {
        TTabSheet* sheet = p.Pages(i);
        if (!sheet->TabVisible()) continue;
        const int w = cv.TextWidth(StripHotkey(sheet->Caption())) + 12;
        const bool active = sheet == p.ActivePage();
        TRect tab = Rect(x, active ? 0 : 2, x + w, tabHeight + (active ? 1 : 0));
        Fill(cv, tab, clBtnFace);
        Fill(cv, Rect(tab.Left, tab.Top, tab.Right, tab.Top + 1), clBtnHighlight);
        Fill(cv, Rect(tab.Left, tab.Top, tab.Left + 1, tab.Bottom), clBtnHighlight);
        Fill(cv, Rect(tab.Right - 1, tab.Top, tab.Right, tab.Bottom - 1), cl3DDkShadow);
        LineText(cv, p, sheet->Caption(), Rect(tab.Left, tab.Top, tab.Right, tabHeight), DT_CENTER);
        x += w;
    }
    return Rect(frame.Left + 2, frame.Top + 2, frame.Right - 2, frame.Bottom - 2);
}

void PaintTreeView(TCanvas& cv, TTreeView& t) {
    TRect r = Rect(0, 0, t.Width(), t.Height());
    Fill(cv, r, t.Color());
    Sunken(cv, r);
    cv.Font()->Assign(t.Font());
    const int rowHeight = cv.TextHeight("Pp") + 3;
    int y = r.Top + 1;
    auto walk = [&](auto&& self, TTreeNode* node) -> void {
        for (; node && y < r.Bottom; node = node->GetNextSibling()) {
            const int x = r.Left + 4 + node->Level() * t.Indent();
            if (node->HasChildren()) {  // a box with + or -
                TRect box = Bounds(x, y + (rowHeight - 9) / 2, 9, 9);
                Fill(cv, box, clWindow);
                cv.Brush()->SetColor(clGray);
                cv.FrameRect(box);
                cv.Pen()->SetColor(clWindowText);
                cv.MoveTo(box.Left + 2, box.Top + 4);
                cv.LineTo(box.Right - 2, box.Top + 4);
                if (!node->Expanded()) {
                    cv.MoveTo(box.Left + 4, box.Top + 2);
                    cv.LineTo(box.Left + 4, box.Bottom - 2);
                }
            }
            LineText(cv, t, node->Text(), Rect(x + 13, y, r.Right, y + rowHeight), DT_NOPREFIX, clWindowText);
            y += rowHeight;
            if (node->Expanded()) self(self, node->GetFirstChild());
        }
    };
    walk(walk, t.Items()->GetFirstNode());
}

/// Paints what a windowed control without a canvas of its own shows.
/// Answers the rectangle (control coordinates) its children sit in.
TRect PaintWindowed(TWinControl& w, TCanvas& cv) {
    const TRect all = Rect(0, 0, w.Width(), w.Height());
    if (auto* e = dynamic_cast<TCustomEdit*>(&w)) {
        PaintEdit(cv, *e, all);
    } else if (auto* b = dynamic_cast<TButton*>(&w)) {
        PaintButtonFace(cv, w, b->Caption(), b->Default(), false);
    } else if (auto* c = dynamic_cast<TCheckBox*>(&w)) {
        PaintCheckBox(cv, *c);
    } else if (auto* l = dynamic_cast<TCustomListBox*>(&w)) {
        PaintListBox(cv, *l);
    } else if (auto* cb = dynamic_cast<TCustomComboBox*>(&w)) {
        PaintComboBox(cv, *cb);
    } else if (auto* s = dynamic_cast<TStatusBar*>(&w)) {
        PaintStatusBar(cv, *s);
    } else if (auto* p = dynamic_cast<TPageControl*>(&w)) {
        return PaintPageControl(cv, *p);
    } else if (auto* t = dynamic_cast<TTreeView*>(&w)) {
        PaintTreeView(cv, *t);
    } else if (!dynamic_cast<TTabSheet*>(&w)) {
        Fill(cv, all, w.Color());
    }
    return w.ClientRect();
}

}  // namespace

// ---------------------------------------------------------------- controls with a canvas

void TPanel::Paint() {
    TCanvas& cv = *Canvas();
    TRect r = Rect(0, 0, Width(), Height());
    Fill(cv, r, Color());
    auto bevel = [&](TPanelBevel b) {
        for (int i = 0; i < FBevelWidth; ++i) {
            if (b == bvLowered) Frame3D(cv, r, clBtnShadow, clBtnHighlight);
            if (b == bvRaised) Frame3D(cv, r, clBtnHighlight, clBtnShadow);
            if (b == bvSpace) r = Rect(r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1);
        }
    };
    if (FBorderStyle == bsSingle) Frame3D(cv, r, cl3DDkShadow, cl3DDkShadow);
    bevel(FBevelOuter);
    r = Rect(r.Left + FBorderWidth, r.Top + FBorderWidth, r.Right - FBorderWidth, r.Bottom - FBorderWidth);
    bevel(FBevelInner);
    static constexpr unsigned Alignments[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
    LineText(cv, *this, Caption(), Rect(r.Left + 2, r.Top, r.Right - 2, r.Bottom), Alignments[FAlignment]);
}

void TGroupBox::Paint() {
    TCanvas& cv = *Canvas();
    Fill(cv, Rect(0, 0, Width(), Height()), Color());
    const int h = cv.TextHeight("Pp");
    TRect outer = Rect(0, h / 2, Width(), Height());
    TRect inner = Rect(1, h / 2 + 1, Width(), Height());
    cv.Brush()->SetColor(clBtnShadow);
    cv.FrameRect(Rect(outer.Left, outer.Top, outer.Right - 1, outer.Bottom - 1));
    cv.Brush()->SetColor(clBtnHighlight);
    cv.FrameRect(inner);
    if (Caption().empty()) return;
    const int w = cv.TextWidth(StripHotkey(Caption()));
    const TRect label = Rect(8, 0, 8 + w + 4, h);
    Fill(cv, label, Color());
    DrawLabelText(cv, *this, Caption(), Rect(label.Left + 2, 0, label.Right, h), DT_LEFT | DT_SINGLELINE);
}

void TBevel::Paint() {
    TCanvas& cv = *Canvas();
    const TColor first = FStyle == bsLowered ? clBtnShadow : clBtnHighlight;
    const TColor second = FStyle == bsLowered ? clBtnHighlight : clBtnShadow;
    const int w = Width(), h = Height();
    auto hline = [&](int y) {
        Fill(cv, Rect(0, y, w, y + 1), first);
        Fill(cv, Rect(0, y + 1, w, y + 2), second);
    };
    auto vline = [&](int x) {
        Fill(cv, Rect(x, 0, x + 1, h), first);
        Fill(cv, Rect(x + 1, 0, x + 2, h), second);
    };
    TRect r = Rect(0, 0, w, h);
    switch (FShape) {
        case bsBox:
            Frame3D(cv, r, first, second);
            break;
        case bsFrame: {
            TRect outer = Rect(0, 0, w - 1, h - 1), inner = Rect(1, 1, w, h);
            cv.Brush()->SetColor(first);
            cv.FrameRect(outer);
            cv.Brush()->SetColor(second);
            cv.FrameRect(inner);
            break;
        }
        case bsTopLine:
            hline(0);
            break;
        case bsBottomLine:
            hline(h - 2);
            break;
        case bsLeftLine:
            vline(0);
            break;
        case bsRightLine:
            vline(w - 2);
            break;
        case bsSpacer:
            break;
    }
}

void TSpeedButton::Paint() {
    TCanvas& cv = *Canvas();
    TRect r = Rect(0, 0, Width(), Height());
    Fill(cv, r, clBtnFace);
    if (FDown)
        Frame3D(cv, r, clBtnShadow, clBtnHighlight);
    else if (!FFlat)
        Frame3D(cv, r, clBtnHighlight, clBtnShadow);
    LineText(cv, *this, Caption(), r, DT_CENTER, clBtnText);
}

void PaintControl(TControl& control, TCanvasDevice& device, TPoint origin, const TRect& clip) {
    if (!control.Visible()) return;
    const TRect bounds = IntersectRect(Bounds(origin.X, origin.Y, control.Width(), control.Height()), clip);
    if (bounds.Width() <= 0 || bounds.Height() <= 0) return;
    TRect inner = control.ClientRect();
    if (auto* g = dynamic_cast<TGraphicControl*>(&control)) {
        g->PaintTo(device, origin, bounds);
        return;
    }
    if (auto* c = dynamic_cast<TCustomControl*>(&control)) {
        c->PaintTo(device, origin, bounds);
    } else if (auto* w = dynamic_cast<TWinControl*>(&control)) {
        TCanvas cv;
        cv.Attach(&device, origin, bounds);
        inner = PaintWindowed(*w, cv);
    }
    auto* w = dynamic_cast<TWinControl*>(&control);
    if (!w) return;
    TRect childClip = inner;
    OffsetRect(childClip, origin.X, origin.Y);
    childClip = IntersectRect(childClip, bounds);
    if (auto* pages = dynamic_cast<TPageControl*>(w)) {
        // Only the active page shows, filling the page area.
        if (TTabSheet* sheet = pages->ActivePage()) {
            const TPoint at{origin.X + inner.Left, origin.Y + inner.Top};
            for (int i = 0; i < sheet->ControlCount(); ++i) {
                TControl* child = sheet->Controls(i);
                PaintControl(*child, device, TPoint{at.X + child->Left(), at.Y + child->Top()}, childClip);
            }
        }
        return;
    }
    for (int i = 0; i < w->ControlCount(); ++i) {
        TControl* child = w->Controls(i);
        PaintControl(*child, device, TPoint{origin.X + child->Left(), origin.Y + child->Top()}, childClip);
    }
}

void PaintForm(TCustomForm& form, TCanvasDevice& device) {
    const TRect all = Rect(0, 0, form.Width(), form.Height());
    const int frame = (form.Width() - form.ClientWidth()) / 2;
    const int title = form.Height() - form.ClientHeight() - 2 * frame;
    TCanvas cv;
    cv.Attach(&device, TPoint{0, 0}, all);
    TRect r = all;
    if (frame > 0) Raised(cv, r);
    if (frame > 2) Fill(cv, r, clBtnFace);
    if (title > 0) {
        const TRect bar = Rect(frame, frame, form.Width() - frame, frame + title - 1);
        Fill(cv, bar, clActiveCaption);
        cv.Font()->Assign(form.Font());
        cv.Font()->SetStyle(TFontStyles{fsBold});
        cv.Font()->SetColor(clCaptionText);
        cv.Brush()->SetStyle(bsClear);
        const int h = cv.TextHeight("Pp");
        cv.DrawText(form.Caption(), -1, Rect(bar.Left + 4, bar.Top + (bar.Height() - h) / 2, bar.Right - 4, bar.Bottom),
                    DT_NOPREFIX | DT_SINGLELINE);
    }
    const TPoint client{frame, frame + title};
    TCanvas body;
    const TRect clientRect = Bounds(client.X, client.Y, form.ClientWidth(), form.ClientHeight());
    body.Attach(&device, client, clientRect);
    body.Brush()->SetColor(form.Color());
    body.FillRect(Rect(0, 0, form.ClientWidth(), form.ClientHeight()));
    for (int i = 0; i < form.ControlCount(); ++i) {
        TControl* child = form.Controls(i);
        PaintControl(*child, device, TPoint{client.X + child->Left(), client.Y + child->Top()}, clientRect);
    }
}

}  // namespace velora
