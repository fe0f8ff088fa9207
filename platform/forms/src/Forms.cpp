// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TCustomForm: frame and client size, placement, the active control and the
// focus rules, the dialog keys, and ShowModal over the current presenter.
#include "velora/forms/Forms.h"

#include "velora/forms/Presenters.h"

#include <functional>

namespace velora {

TCustomForm::TCustomForm(TComponent* AOwner) : TWinControl(AOwner) {
    InitVisible(false);
    SetParentFont(false);  // a form has its own font and colour unless told otherwise
    SetColor(clBtnFace);
    FClientWidth = 312;
    FClientHeight = 213;
    SetClientSize(FClientWidth, FClientHeight);
}

TCustomForm::~TCustomForm() { FActiveControl = nullptr; }

void TCustomForm::FrameSize(int& dx, int& dy) const {
    int frame = 3;
    int title = 19;
    switch (FBorderStyle) {
        case bsNone:
            frame = 0;
            title = 0;
            break;
        case bsSizeable:
            frame = 4;
            break;
        case bsSizeToolWin:
            frame = 4;
            title = 16;
            break;
        case bsToolWindow:
            title = 16;
            break;
        case bsSingle:
        case bsDialog:
            break;
    }
    dx = 2 * frame;
    dy = 2 * frame + title;
}

void TCustomForm::SetClientSize(int AWidth, int AHeight) {
    FClientWidth = AWidth < 0 ? 0 : AWidth;
    FClientHeight = AHeight < 0 ? 0 : AHeight;
    int dx = 0, dy = 0;
    FrameSize(dx, dy);
    TControl::SetBounds(Left(), Top(), FClientWidth + dx, FClientHeight + dy);
}

void TCustomForm::SetBounds(int ALeft, int ATop, int AWidth, int AHeight) {
    TControl::SetBounds(ALeft, ATop, AWidth, AHeight);
    int dx = 0, dy = 0;
    FrameSize(dx, dy);
    FClientWidth = Width() > dx ? Width() - dx : 0;
    FClientHeight = Height() > dy ? Height() - dy : 0;
}

void TCustomForm::SetBorderStyle(TFormBorderStyle value) {
    FBorderStyle = value;
    SetClientSize(FClientWidth, FClientHeight);
}

void TCustomForm::SetActiveControl(TWinControl* control) {
    if (control == FActiveControl) return;
    if (control && (control == this || GetParentForm(control) != this || (!IsLoading() && !control->CanFocus())))
        throw EInvalidOperation(SCannotFocus);
    if (Visible() && !IsLoading())
        ChangeFocus(control);
    else
        FActiveControl = control;
}

void TCustomForm::ChangeFocus(TWinControl* control) {
    if (control == FActiveControl) return;
    if (TWinControl* old = FActiveControl) old->DoExit();  // may raise: the focus stays
    FActiveControl = control;
    if (control) control->DoEnter();
}

void TCustomForm::FocusOnShow() {
    TWinControl* target = FActiveControl;
    if (!target || !target->CanFocus()) target = FindNextControl(nullptr, true, true);
    if (!target) target = FindNextControl(nullptr, true, false);
    FActiveControl = nullptr;
    if (target) ChangeFocus(target);
}

void TCustomForm::ActiveControlLost() {
    if (!Visible() || IsLoading() || IsDestroying() || !FActiveControl || FActiveControl->CanFocus()) return;
    ChangeFocus(FindNextControl(FActiveControl, true, true));
}

void TCustomForm::PlaceOnScreen() {
    if (FPosition == poScreenCenter)
        SetBounds((ScreenWidth - Width()) / 2, (ScreenHeight - Height()) / 2, Width(), Height());
}

void TCustomForm::SetVisible(bool value) {
    if (value)
        Show();
    else
        Hide();
}

void TCustomForm::Show() {
    if (Visible()) return;
    PlaceOnScreen();
    TControl::SetVisible(true);
    DoShow();
    FocusOnShow();
}

void TCustomForm::Hide() {
    if (!Visible()) return;
    TControl::SetVisible(false);
    DoHide();
}

TModalResult TCustomForm::ShowModal() {
    if (Visible() || FModal) throw EInvalidOperation(SCannotShowModal);
    FModalResult = mrNone;
    std::shared_ptr<TFormPresenter> presenter = CurrentFormPresenter();
    if (!presenter) {
        // Nobody can answer: do not show the form at all.
        FModalResult = mrCancel;
        return FModalResult;
    }
    FModal = true;
    try {
        Show();
        for (;;) {
            const bool userActed = presenter->RunModal(*this);
            if (FModalResult == mrNone) FModalResult = mrCancel;
            // The form may refuse to close (OnCloseQuery, OnClose with
            // caNone); the user then goes on, unless no input is left.
            TCloseAction action = caNone;
            if (CloseQuery()) {
                action = caHide;
                DoClose(action);
            }
            if (action != caNone || !userActed) break;
            FModalResult = mrNone;
        }
    } catch (...) {
        FModal = false;
        if (Visible()) TControl::SetVisible(false);
        throw;
    }
    FModal = false;
    Hide();
    return FModalResult;
}

void TCustomForm::Close() {
    if (FModal) {
        FModalResult = mrCancel;
        return;
    }
    if (!CloseQuery()) return;
    TCloseAction action = caHide;
    DoClose(action);
    if (action != caNone) Hide();
}

bool TCustomForm::CloseQuery() {
    bool canClose = true;
    if (OnCloseQuery) OnCloseQuery(this, canClose);
    return canClose;
}

void TCustomForm::SendKey(Word key, TShiftState shift) {
    if (FKeyPreview && OnKeyDown) {
        OnKeyDown(this, key, shift);
        if (key == 0) return;
    }
    const bool dialogKey = key == VK_TAB || key == VK_RETURN || key == VK_ESCAPE;
    if (TWinControl* focused = FActiveControl) {
        focused->KeyDown(key, shift);
        if (key == 0 || !dialogKey || focused->WantsKey(key)) return;
    }
    if (key == VK_TAB)
        SelectNext(!shift.Contains(ssShift));
    else if (dialogKey)
        HandleDialogKey(key);
}

bool TCustomForm::HandleDialogKey(Word key) {
    // Offered to every control of the form, depth first; buttons take
    // Return (the focused button, else the default one) and Escape (the
    // cancel button).
    std::function<bool(TWinControl*)> offer = [&](TWinControl* parent) {
        for (int i = 0; i < parent->ControlCount(); ++i) {
            TControl* c = parent->Controls(i);
            if (!c->Visible() || !c->Enabled()) continue;
            if (c->DialogKey(key)) return true;
            if (auto* win = dynamic_cast<TWinControl*>(c))
                if (offer(win)) return true;
        }
        return false;
    };
    return offer(this);
}

void TCustomForm::SendChar(char c) {
    switch (c) {
        case '\r':
        case '\n':
            SendKey(VK_RETURN);
            return;
        case '\t':
            SendKey(VK_TAB);
            return;
        case '\x1b':
            SendKey(VK_ESCAPE);
            return;
        case '\b':
        case '\x7f':
            SendKey(VK_BACK);
            return;
        default:
            break;
    }
    if (FKeyPreview && OnKeyPress) {
        OnKeyPress(this, c);
        if (c == 0) return;
    }
    if (FActiveControl) FActiveControl->KeyPress(c);
}

void TCustomForm::SendText(const String& text) {
    for (char c : text) SendChar(c);
}

bool TCustomForm::UserFocus(TWinControl* control) {
    if (!control || !Visible() || GetParentForm(control) != this || control == this || !control->CanFocus())
        return false;
    ChangeFocus(control);
    return FActiveControl == control;
}

void TCustomForm::SelectNext(bool goForward) {
    if (TWinControl* next = FindNextControl(FActiveControl, goForward, true)) ChangeFocus(next);
}

void TCustomForm::Loaded() { TWinControl::Loaded(); }

void TCustomForm::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
    TWinControl::GetChildren(proc, root);
    if (root != this) return;
    for (int i = 0; i < ComponentCount(); ++i)
        if (!Components(i)->HasParent()) proc(Components(i));
}

void TCustomForm::Notification(TComponent* AComponent, TOperation Operation) {
    TWinControl::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FActiveControl) FActiveControl = nullptr;
}

void TCustomForm::DoShow() {
    if (OnShow) OnShow(this);
}

void TCustomForm::DoHide() {
    if (OnHide) OnHide(this);
}

void TCustomForm::DoClose(TCloseAction& action) {
    if (OnClose) OnClose(this, action);
}

void TCustomForm::DoCreate() {
    if (OnCreate) OnCreate(this);
}

void LayoutComponentMissing(const TComponent& form, const String& name) {
    throw EReadError(Format("The layout of %s has no %s", form.ClassName(), name));
}

}  // namespace velora
