// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The presenter registry, form views, and the scripted presenter of tests.
#include "velora/forms/Presenters.h"

#include "velora/forms/StdCtrls.h"

#include <mutex>
#include <unistd.h>

namespace velora {

TFormPresenter::~TFormPresenter() = default;

namespace {

struct TPresenterState {
    std::mutex Lock;
    bool Installed = false;                   // false: the default choice
    std::shared_ptr<TFormPresenter> Current;  // may be null ("none") when installed
};

TPresenterState& State() {
    static TPresenterState* state = new TPresenterState;  // never destroyed: usable at exit
    return *state;
}

}  // namespace

std::shared_ptr<TFormPresenter> CurrentFormPresenter() {
    {
        TPresenterState& s = State();
        std::lock_guard<std::mutex> guard(s.Lock);
        if (s.Installed) return s.Current;
    }
    // Only a terminal we may use: standard input is a terminal and we are in
    // its foreground (a background job would be stopped by its first read).
    if (::isatty(STDIN_FILENO) == 1 && ::tcgetpgrp(STDIN_FILENO) == ::getpgrp()) {
        static const std::shared_ptr<TFormPresenter> terminal = std::make_shared<TTerminalPresenter>();
        return terminal;
    }
    return nullptr;
}

void SetFormPresenter(std::shared_ptr<TFormPresenter> presenter) {
    TPresenterState& s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    s.Installed = true;
    s.Current = std::move(presenter);
}

void ResetFormPresenter() {
    TPresenterState& s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    s.Installed = false;
    s.Current.reset();
}

TPresenterScope::TPresenterScope(std::shared_ptr<TFormPresenter> presenter) {
    TPresenterState& s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    FHadInstalled = s.Installed;
    FPrevious = s.Current;
    s.Installed = true;
    s.Current = std::move(presenter);
}

TPresenterScope::~TPresenterScope() {
    TPresenterState& s = State();
    std::lock_guard<std::mutex> guard(s.Lock);
    s.Installed = FHadInstalled;
    s.Current = std::move(FPrevious);
}

// ---------------------------------------------------------------- views

const TControlView* TFormView::Control(const String& name) const {
    for (const TControlView& c : Controls)
        if (SameText(c.Name, name)) return &c;
    return nullptr;
}

TFormView ViewOf(const TCustomForm& form) {
    TFormView view;
    view.Name = form.Name();
    view.ClassName = form.ClassName();
    view.Caption = form.Caption();
    view.Focused = form.ActiveControl() ? form.ActiveControl()->Name() : String();
    view.ClientWidth = form.ClientWidth();
    view.ClientHeight = form.ClientHeight();
    std::function<void(const TWinControl&)> walk = [&](const TWinControl& parent) {
        for (int i = 0; i < parent.ControlCount(); ++i) {
            const TControl* c = parent.Controls(i);
            TControlView v;
            v.Name = c->Name();
            v.ClassName = c->ClassName();
            v.ParentName = parent.Name();
            v.Text = c->Text();
            v.Left = c->Left();
            v.Top = c->Top();
            v.Width = c->Width();
            v.Height = c->Height();
            v.Enabled = c->Enabled();
            v.Visible = c->Visible();
            const auto* win = dynamic_cast<const TWinControl*>(c);
            v.TabOrder = win ? win->TabOrder() : -1;
            view.Controls.push_back(v);
            if (win) walk(*win);
        }
    };
    walk(form);
    return view;
}

// ---------------------------------------------------------------- TScriptedPresenter

TScriptedPresenter& TScriptedPresenter::Add(TStep step) {
    FSteps.push_back(std::move(step));
    return *this;
}

TControl* TScriptedPresenter::FindNamed(TCustomForm& form, const String& name) {
    TControl* c = form.FindChildControl(name);
    if (!c) throw EInvalidOperation(Format("The form %s has no control %s", form.Name(), name));
    return c;
}

TWinControl* TScriptedPresenter::FindFocusable(TCustomForm& form, const String& name) {
    auto* win = dynamic_cast<TWinControl*>(FindNamed(form, name));
    if (!win) throw EInvalidOperation(Format("The control %s cannot take the focus", name));
    return win;
}

TScriptedPresenter& TScriptedPresenter::Type(const String& text) {
    return Add([text](TCustomForm& form) { form.SendText(text); });
}

TScriptedPresenter& TScriptedPresenter::TypeInto(const String& controlName, const String& text) {
    return Add([this, controlName, text](TCustomForm& form) {
        TWinControl* c = FindFocusable(form, controlName);
        if (!form.UserFocus(c)) {
            FRefused.push_back("TypeInto " + controlName + ": refused");
            return;
        }
        form.SendText(text);
    });
}

TScriptedPresenter& TScriptedPresenter::Key(Word key, TShiftState shift) {
    return Add([key, shift](TCustomForm& form) { form.SendKey(key, shift); });
}

TScriptedPresenter& TScriptedPresenter::Focus(const String& controlName) {
    return Add([this, controlName](TCustomForm& form) {
        if (!form.UserFocus(FindFocusable(form, controlName))) FRefused.push_back("Focus " + controlName + ": refused");
    });
}

TScriptedPresenter& TScriptedPresenter::Click(const String& controlName) {
    return Add([this, controlName](TCustomForm& form) {
        TControl* c = FindNamed(form, controlName);
        if (!c->EnabledInTree() || !c->VisibleInTree()) {
            FRefused.push_back("Click " + controlName + ": refused");
            return;
        }
        c->UserClick();
    });
}

TScriptedPresenter& TScriptedPresenter::CloseWindow() {
    return Add([](TCustomForm& form) { form.Close(); });
}

TScriptedPresenter& TScriptedPresenter::Examine(std::function<void(TCustomForm&)> fn) { return Add(std::move(fn)); }

bool TScriptedPresenter::RunModal(TCustomForm& form) {
    FShown.push_back(ViewOf(form));
    while (form.ModalResult() == mrNone) {
        if (FSteps.empty()) {
            FExhausted = true;
            FClosed.push_back(ViewOf(form));
            return false;
        }
        TStep step = std::move(FSteps.front());
        FSteps.pop_front();
        step(form);
    }
    FClosed.push_back(ViewOf(form));
    return true;
}

}  // namespace velora
