// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TControl, TWinControl and the painting bases: bounds, text, the inherited
// (Parent...) properties, the parent tree with its tab order, and focus.
#include "velora/forms/Controls.h"

#include "velora/forms/FormClasses.h"
#include "velora/forms/Forms.h"

#include <algorithm>

namespace velora {

namespace {

// Calls fn on every child of control when it holds children.
template <class Fn>
void ForEachChild(TControl* control, Fn fn) {
    if (auto* win = dynamic_cast<TWinControl*>(control))
        for (int i = 0; i < win->ControlCount(); ++i) fn(win->Controls(i));
}

}  // namespace

// ---------------------------------------------------------------- TControl

TControl::TControl(TComponent* AOwner) : TComponent(AOwner), FFont(new TFont) {
    RegisterFormClasses();
    FFont->OnChange = [this](TObject*) { FontOnChange(); };
}

TControl::~TControl() {
    // A control that goes leaves its parent first (the parent may be
    // destroying us itself; RemoveControl compares pointers only).
    if (FParent) FParent->RemoveControl(this);
    FParent = nullptr;
    delete FFont;
}

void TControl::SetParent(TWinControl* AParent) {
    if (AParent == FParent) return;
    if (AParent == this) throw EInvalidOperation("A control cannot be its own parent");
    for (TControl* p = AParent; p; p = p->FParent)
        if (p == this) throw EInvalidOperation("A control cannot be the parent of its own parent");
    if (FParent) FParent->RemoveControl(this);
    FParent = nullptr;
    if (AParent) {
        AParent->InsertControl(this);
        FParent = AParent;
        ParentFontChanged();
        ParentColorChanged();
        ParentShowHintChanged();
    }
}

TComponent* TControl::GetParentComponent() const { return FParent; }

void TControl::SetParentComponent(TComponent* value) {
    if (!value) {
        SetParent(nullptr);
        return;
    }
    auto* parent = dynamic_cast<TWinControl*>(value);
    if (!parent) throw EInvalidOperation(Format("%s cannot hold the control %s", value->ClassName(), Name()));
    SetParent(parent);
}

void TControl::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    if (AWidth < 0) AWidth = 0;
    if (AHeight < 0) AHeight = 0;
    if (ALeft == FLeft && ATop == FTop && AWidth == FWidth && AHeight == FHeight) return;
    FLeft = ALeft;
    FTop = ATop;
    FWidth = AWidth;
    FHeight = AHeight;
    Invalidate();
}

void TControl::SetClientSize(int AWidth, int AHeight) {
    const TRect client = ClientRect();
    SetBounds(FLeft, FTop, AWidth + (FWidth - client.Width()), AHeight + (FHeight - client.Height()));
}

void TControl::SetText(const String& value) {
    if (value == FText) return;
    FText = value;
    if (!IsDestroying()) TextChanged();
    Invalidate();
}

void TControl::FontOnChange() {
    if (!FUpdatingFromParent) FParentFont = false;
    if (!IsDestroying()) FontChanged();
}

void TControl::FontChanged() { Invalidate(); }

void TControl::SetParentFont(bool value) {
    FParentFont = value;
    if (value) ParentFontChanged();
}

void TControl::ParentFontChanged() {
    if (!FParentFont || !FParent) return;
    FUpdatingFromParent = true;
    try {
        FFont->Assign(FParent->Font());
    } catch (...) {
        FUpdatingFromParent = false;
        throw;
    }
    FUpdatingFromParent = false;
}

void TControl::SetColor(TColor value) {
    FParentColor = false;
    if (value == FColor) return;
    FColor = value;
    Invalidate();
    ForEachChild(this, [](TControl* c) { c->ParentColorChanged(); });
}

void TControl::SetParentColor(bool value) {
    FParentColor = value;
    if (value) ParentColorChanged();
}

void TControl::ParentColorChanged() {
    if (!FParentColor || !FParent || FColor == FParent->FColor) return;
    FColor = FParent->FColor;
    Invalidate();
    ForEachChild(this, [](TControl* c) { c->ParentColorChanged(); });
}

void TControl::SetShowHint(bool value) {
    FParentShowHint = false;
    if (value == FShowHint) return;
    FShowHint = value;
    ForEachChild(this, [](TControl* c) { c->ParentShowHintChanged(); });
}

void TControl::SetParentShowHint(bool value) {
    FParentShowHint = value;
    if (value) ParentShowHintChanged();
}

void TControl::ParentShowHintChanged() {
    if (!FParentShowHint || !FParent || FShowHint == FParent->FShowHint) return;
    FShowHint = FParent->FShowHint;
    ForEachChild(this, [](TControl* c) { c->ParentShowHintChanged(); });
}

void TControl::SetEnabled(bool value) {
    if (value == FEnabled) return;
    FEnabled = value;
    EnabledChanged();
}

void TControl::SetVisible(bool value) {
    if (value == FVisible) return;
    FVisible = value;
    VisibleChanged();
}

void TControl::EnabledChanged() { Invalidate(); }
void TControl::VisibleChanged() { Invalidate(); }

bool TControl::EnabledInTree() const {
    for (const TControl* c = this; c; c = c->FParent)
        if (!c->FEnabled) return false;
    return true;
}

bool TControl::VisibleInTree() const {
    for (const TControl* c = this; c; c = c->FParent)
        if (!c->FVisible) return false;
    return true;
}

void TControl::Click() {
    if (OnClick) OnClick(this);
}

void TControl::UserClick() {
    if (EnabledInTree() && VisibleInTree()) Click();
}

bool TControl::DialogKey(Word) { return false; }

void TControl::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseDown) OnMouseDown(this, Button, Shift, X, Y);
}

void TControl::MouseMove(TShiftState Shift, int X, int Y) {
    if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TControl::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
    if (OnMouseUp) OnMouseUp(this, Button, Shift, X, Y);
}

void TControl::Loaded() {
    TComponent::Loaded();
    // The parent's font may have been read after this control's parent was
    // set: take it again.
    ParentFontChanged();
    ParentColorChanged();
    ParentShowHintChanged();
}

// ---------------------------------------------------------------- TWinControl

TWinControl::TWinControl(TComponent* AOwner) : TControl(AOwner) {}

TWinControl::~TWinControl() { DestroyChildControls(); }

void TWinControl::BeforeDestruction() {
    Destroying();
    DestroyChildControls();
    TControl::BeforeDestruction();
}

void TWinControl::DestroyChildControls() {
    while (!FControls.empty()) {
        TControl* c = FControls.back();
        c->Free();  // its destructor takes it out of our lists
        if (!FControls.empty() && FControls.back() == c) FControls.pop_back();
    }
    FTabList.clear();
}

TControl* TWinControl::Controls(int index) const {
    if (index < 0 || index >= ControlCount()) throw EListError(Format("List index out of bounds (%d)", index));
    return FControls[static_cast<std::size_t>(index)];
}

TControl* TWinControl::FindChildControl(const String& name) const {
    if (name.empty()) return nullptr;
    for (TControl* c : FControls) {
        if (SameText(c->Name(), name)) return c;
        if (auto* win = dynamic_cast<TWinControl*>(c))
            if (TControl* found = win->FindChildControl(name)) return found;
    }
    return nullptr;
}

bool TWinControl::ContainsControl(const TControl* control) const {
    for (const TControl* c = control; c; c = c->Parent())
        if (c == this) return true;
    return false;
}

void TWinControl::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
    for (TControl* c : std::vector<TControl*>(FControls))
        if (c->Owner() == root) proc(c);
}

void TWinControl::InsertControl(TControl* control) {
    FControls.push_back(control);
    if (auto* win = dynamic_cast<TWinControl*>(control)) FTabList.push_back(win);
}

void TWinControl::RemoveControl(TControl* control) {
    // control may be in its destructor: compare pointers, no casts on it.
    if (TCustomForm* form = GetParentForm(this)) {
        if (form->FActiveControl && form->FActiveControl != form) {
            for (const TControl* c = form->FActiveControl; c; c = c->Parent())
                if (c == control) {
                    form->FActiveControl = nullptr;
                    break;
                }
        }
    }
    FControls.erase(std::remove(FControls.begin(), FControls.end(), control), FControls.end());
    FTabList.erase(std::remove_if(FTabList.begin(), FTabList.end(),
                                  [control](TWinControl* w) { return static_cast<TControl*>(w) == control; }),
                   FTabList.end());
}

int TWinControl::TabOrder() const {
    if (FTabOrder >= 0) return FTabOrder;  // stored value while reading
    if (!Parent()) return -1;
    const auto& list = Parent()->FTabList;
    auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

void TWinControl::SetTabOrder(int value) {
    if (IsLoading()) {
        FTabOrder = value < 0 ? 0 : value;
        return;
    }
    if (!Parent()) return;
    auto& list = Parent()->FTabList;
    auto it = std::find(list.begin(), list.end(), this);
    if (it == list.end()) return;
    const int count = static_cast<int>(list.size());
    if (value < 0) value = 0;
    if (value >= count) value = count - 1;
    list.erase(it);
    list.insert(list.begin() + value, this);
}

void TWinControl::FixupTabList() {
    // Children read from a form file carry their stored TabOrder; order the
    // list by it (children without one keep their place at the end).
    bool any = false;
    for (TWinControl* w : FTabList) any = any || w->FTabOrder >= 0;
    if (!any) return;
    std::stable_sort(FTabList.begin(), FTabList.end(), [](TWinControl* a, TWinControl* b) {
        const int ta = a->FTabOrder < 0 ? 1 << 30 : a->FTabOrder;
        const int tb = b->FTabOrder < 0 ? 1 << 30 : b->FTabOrder;
        return ta < tb;
    });
    for (TWinControl* w : FTabList) w->FTabOrder = -1;
}

void TWinControl::GetTabOrderList(std::vector<TWinControl*>& list) const {
    for (TWinControl* w : FTabList) {
        list.push_back(w);
        w->GetTabOrderList(list);
    }
}

TWinControl* TWinControl::FindNextControl(TWinControl* current, bool goForward, bool checkTabStop) const {
    std::vector<TWinControl*> list;
    GetTabOrderList(list);
    if (list.empty()) return nullptr;
    const int count = static_cast<int>(list.size());
    auto it = std::find(list.begin(), list.end(), current);
    int start = it == list.end() ? (goForward ? count - 1 : 0) : static_cast<int>(it - list.begin());
    int i = start;
    do {
        if (goForward) {
            if (++i == count) i = 0;
        } else {
            if (i == 0) i = count;
            --i;
        }
        TWinControl* c = list[static_cast<std::size_t>(i)];
        if (c->CanFocus() && (!checkTabStop || c->TabStop())) return c;
    } while (i != start);
    return nullptr;
}

bool TWinControl::CanFocus() const {
    const TCustomForm* form = GetParentForm(this);
    for (const TControl* c = this; c && c != form; c = c->Parent())
        if (!c->Visible() || !c->Enabled()) return false;
    return true;
}

bool TWinControl::Focused() const {
    const TCustomForm* form = GetParentForm(this);
    return form && form->ActiveControl() == this;
}

void TWinControl::SetFocus() {
    if (!CanFocus()) throw EInvalidOperation(SCannotFocus);
    if (TCustomForm* form = GetParentForm(this)) form->SetActiveControl(this);
}

void TWinControl::KeyDown(Word& Key, TShiftState Shift) {
    if (OnKeyDown) OnKeyDown(this, Key, Shift);
}

void TWinControl::KeyPress(char& Key) {
    if (OnKeyPress) OnKeyPress(this, Key);
}

bool TWinControl::WantsKey(Word) const { return false; }

void TWinControl::DoEnter() {
    if (OnEnter) OnEnter(this);
}

void TWinControl::DoExit() {
    if (OnExit) OnExit(this);
}

void TWinControl::Loaded() {
    TControl::Loaded();
    FixupTabList();
}

void TWinControl::FontChanged() {
    TControl::FontChanged();
    for (TControl* c : std::vector<TControl*>(FControls)) c->ParentFontChanged();
}

void TWinControl::EnabledChanged() {
    TControl::EnabledChanged();
    if (TCustomForm* form = GetParentForm(this)) form->ActiveControlLost();
}

void TWinControl::VisibleChanged() {
    TControl::VisibleChanged();
    if (TCustomForm* form = GetParentForm(this))
        if (form != this) form->ActiveControlLost();
}

// ---------------------------------------------------------------- painting bases

TGraphicControl::TGraphicControl(TComponent* AOwner) : TControl(AOwner), FCanvas(new TCanvas) {}

TGraphicControl::~TGraphicControl() { delete FCanvas; }

TCanvas* TGraphicControl::Canvas() const {
    FCanvas->Font()->Assign(Font());
    return FCanvas;
}

namespace {
// Attaches canvas to the device for one Paint and detaches it on every path.
template <class C>
void PaintOnDevice(C& control, TCanvas& canvas, TCanvasDevice& device, TPoint origin, const TRect& clip) {
    canvas.Attach(&device, origin, clip);
    try {
        control.Paint();
    } catch (...) {
        canvas.Detach();
        throw;
    }
    canvas.Detach();
}
}  // namespace

void TGraphicControl::PaintTo(TCanvasDevice& device, TPoint origin, const TRect& clip) {
    PaintOnDevice(*this, *FCanvas, device, origin, clip);
}

void TCustomControl::PaintTo(TCanvasDevice& device, TPoint origin, const TRect& clip) {
    PaintOnDevice(*this, *FCanvas, device, origin, clip);
}

TCustomControl::TCustomControl(TComponent* AOwner) : TWinControl(AOwner), FCanvas(new TCanvas) {}

TCustomControl::~TCustomControl() { delete FCanvas; }

TCanvas* TCustomControl::Canvas() const {
    FCanvas->Font()->Assign(Font());
    return FCanvas;
}

TCustomForm* GetParentForm(const TControl* control) {
    if (!control) return nullptr;
    const TControl* top = control;
    while (top->Parent()) top = top->Parent();
    return dynamic_cast<TCustomForm*>(const_cast<TControl*>(top));
}

}  // namespace velora
