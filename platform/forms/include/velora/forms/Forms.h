// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Forms: the top-level controls that hold a dialog's controls, their border,
// placement, active control and modal result, and ShowModal.
//
// ShowModal does not run a window system's message loop. It shows the form
// (OnShow, then the focus goes to the active control), hands it to the
// current form presenter (Presenters.h), which plays the user's part until a
// modal result is set, and answers that result. With no presenter (no
// terminal on standard input and none installed) ShowModal answers mrCancel
// at once and the form is never shown: a service never waits on a prompt.
//
// The user's actions reach a form through SendKey, SendChar, UserFocus and
// the controls' UserClick, with the usual dialog rules: Tab moves through
// the tab order, Return clicks the focused button or else the default
// button, Escape clicks the cancel button, and a button click sets the
// form's ModalResult to the button's.
#pragma once

#include "velora/forms/Controls.h"

#include <cstdint>
#include <functional>

namespace velora {

class TFormPresenter;

enum TPosition : std::uint8_t { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter };
enum TCloseAction : std::uint8_t { caNone, caHide, caFree, caMinimize };
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;

/// The notional screen forms are placed on (poScreenCenter), in pixels.
inline constexpr int ScreenWidth = 1024;
inline constexpr int ScreenHeight = 768;

/// Raised by ShowModal on a form that is already showing.
inline constexpr const char* SCannotShowModal = "Cannot make a visible window modal";

/// A top-level form. Forms are created hidden; the client area is the
/// stored measure (ClientWidth/ClientHeight), and Width/Height add the
/// frame and title bar of the border style: 3 pixels of frame on each side
/// (4 for the sizeable styles, none for bsNone) and a title bar of 19
/// pixels (16 for tool windows, none for bsNone).
class TCustomForm : public TWinControl {
public:
    /// An empty form (CreateNew). Forms with a stored layout read
    /// it in their own constructor.
    explicit TCustomForm(TComponent* AOwner);
    ~TCustomForm() override;

    /// The control that has (or, while hidden, will get) the focus.
    /// Setting a control that cannot take the focus while the form is shown
    /// raises EInvalidOperation SCannotFocus; while hidden it is recorded
    /// and checked when the form is shown.
    TWinControl* ActiveControl() const { return FActiveControl; }
    void SetActiveControl(TWinControl* control);

    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    /// Keeps the client size; Width and Height follow the new frame.
    void SetBorderStyle(TFormBorderStyle value);
    TPosition Position() const { return FPosition; }
    void SetPosition(TPosition value) { FPosition = value; }
    bool KeyPreview() const { return FKeyPreview; }
    void SetKeyPreview(bool value) { FKeyPreview = value; }
    bool Scaled() const { return FScaled; }
    void SetScaled(bool value) { FScaled = value; }
    int PixelsPerInch() const { return FPixelsPerInch; }
    void SetPixelsPerInch(int value) { FPixelsPerInch = value; }

    /// Showing the form is Show, hiding it Hide.
    void SetVisible(bool value) override;

    TRect ClientRect() const override { return Rect(0, 0, FClientWidth, FClientHeight); }
    void SetClientSize(int AWidth, int AHeight) override;
    void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;

    TModalResult ModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult value) { FModalResult = value; }
    /// Inside ShowModal.
    bool Modal() const { return FModal; }

    /// Shows the form modally through the current presenter and answers the
    /// modal result (see the file comment). Raises EInvalidOperation
    /// SCannotShowModal when the form is already showing. The form is
    /// hidden again on every path.
    virtual TModalResult ShowModal();
    /// Shows / hides the form without a modal loop (OnShow / OnHide).
    void Show();
    void Hide();
    /// Closes the form: a modal form gets ModalResult mrCancel; another
    /// asks OnCloseQuery, runs OnClose and hides unless told caNone.
    void Close();
    /// OnCloseQuery's answer (true without a handler).
    virtual bool CloseQuery();

    // ---- the user's actions, delivered by presenters ----
    /// A key without a character: Tab (Shift: backwards), Return, Escape
    /// are dialog keys unless the focused control wants them; other keys go
    /// to the focused control. With KeyPreview the form's OnKeyDown sees
    /// every key first.
    void SendKey(Word key, TShiftState shift = {});
    /// A typed character for the focused control. CR, LF, Tab, Escape and
    /// Backspace are passed on as the keys they stand for.
    void SendChar(char c);
    /// Types each character of text (SendChar).
    void SendText(const String& text);
    /// Moves the focus where a user would click or tab: false (and no
    /// change) when the control cannot take the focus.
    bool UserFocus(TWinControl* control);
    /// Focus to the next (previous) tab stop.
    void SelectNext(bool goForward = true);

    /// For form files: the controls on the form, then (when the form is
    /// the root) the owned components that have no parent.
    void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) override;

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;

protected:
    void Loaded() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    virtual void DoShow();
    virtual void DoHide();
    virtual void DoClose(TCloseAction& action);
    /// Fires OnCreate; a form reading a stored layout calls it at the end
    /// of its constructor.
    void DoCreate();

private:
    friend class TWinControl;
    friend class TControl;
    void FrameSize(int& dx, int& dy) const;
    void PlaceOnScreen();
    /// Gives the focus to the active control, or the first tab stop.
    void FocusOnShow();
    /// The active control became unfocusable (disabled, hidden): move on.
    void ActiveControlLost();
    void ChangeFocus(TWinControl* control);
    bool HandleDialogKey(Word key);

    TWinControl* FActiveControl = nullptr;
    TFormBorderStyle FBorderStyle = bsSizeable;
    TPosition FPosition = poDesigned;
    bool FKeyPreview = false;
    bool FScaled = true;
    int FPixelsPerInch = ScreenPixelsPerInch;
    int FClientWidth = 0;
    int FClientHeight = 0;
    TModalResult FModalResult = mrNone;
    bool FModal = false;
};

/// The form class applications derive from.
class TForm : public TCustomForm {
public:
    using TCustomForm::TCustomForm;
};

/// Raises EReadError "The layout of <form's class> has no <name>".
[[noreturn]] void LayoutComponentMissing(const TComponent& form, const String& name);

/// The component `name` of a form whose controls were read from its stored
/// layout, as the class the form's code uses.
/// \throws EReadError (LayoutComponentMissing) when the layout has no such
///         component or holds it as another class.
template <class T>
T* LayoutComponent(const TComponent& form, const String& name) {
    auto* c = dynamic_cast<T*>(form.FindComponent(name));
    if (!c) LayoutComponentMissing(form, name);
    return c;
}

}  // namespace velora
