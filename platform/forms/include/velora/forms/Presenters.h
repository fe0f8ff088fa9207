// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Form presenters: who plays the user's part when a form is shown modally.
//
// ShowModal (Forms.h) shows the form and hands it to the current presenter,
// which acts on it the way a user would (typing into the focused box,
// pressing keys, clicking buttons) through the form's input methods, so the
// controls' own rules apply: an edit box refuses text beyond MaxLength or
// while disabled, Return clicks the default button, Escape the cancel
// button. Three presenters exist:
//   - TScriptedPresenter, for tests: a script says what the user does, and
//     every form shown is recorded as it looked when the user first saw it;
//   - TTerminalPresenter, the default when standard input is a terminal and
//     the process is in its foreground: it prints the caption and labels and
//     reads the edit boxes line by line in raw mode (TerminalPresenter.cpp);
//   - none: with no presenter installed and no terminal on standard input,
//     ShowModal answers mrCancel at once, so a service never waits.
#pragma once

#include "velora/forms/Forms.h"

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace velora {

/// Plays the user's part on modal forms.
class TFormPresenter {
public:
    virtual ~TFormPresenter();
    /// Called by ShowModal once the form is shown (OnShow has run and the
    /// focus is set). Acts on the form until its ModalResult is set and
    /// answers true; answers false when the user can act no more (input
    /// ended), and ShowModal then closes the form with mrCancel.
    virtual bool RunModal(TCustomForm& form) = 0;
};

/// The presenter ShowModal uses now: the installed one if any (which may be
/// "none"), else the shared terminal presenter when standard input is a
/// terminal whose foreground process group is ours, else none (null).
std::shared_ptr<TFormPresenter> CurrentFormPresenter();
/// Installs a presenter for every later ShowModal; null installs "none"
/// (ShowModal answers mrCancel). Thread-safe.
void SetFormPresenter(std::shared_ptr<TFormPresenter> presenter);
/// Back to the default choice (terminal or none).
void ResetFormPresenter();

/// Installs a presenter for the lifetime of the scope and restores what
/// was installed before (also the default choice).
class TPresenterScope {
public:
    explicit TPresenterScope(std::shared_ptr<TFormPresenter> presenter);
    ~TPresenterScope();
    TPresenterScope(const TPresenterScope&) = delete;
    TPresenterScope& operator=(const TPresenterScope&) = delete;

private:
    bool FHadInstalled;
    std::shared_ptr<TFormPresenter> FPrevious;
};

/// A control as it looked at one moment.
struct TControlView {
    String Name;
    String ClassName;
    String ParentName;  ///< the parent control's name
    String Text;        ///< Caption or Text (an edit box's real text)
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    int TabOrder = -1;  ///< -1 for controls that take no focus
    bool Enabled = true;
    bool Visible = true;
};

/// A form as it looked at one moment: caption, focus and every control
/// below it, in parent order (each control followed by its children).
struct TFormView {
    String Name;
    String ClassName;
    String Caption;
    String Focused;  ///< name of the control with the focus, empty for none
    int ClientWidth = 0;
    int ClientHeight = 0;
    std::vector<TControlView> Controls;
    /// The control of that name (case-insensitive), or null.
    const TControlView* Control(const String& name) const;
};

/// Takes a TFormView of form now.
TFormView ViewOf(const TCustomForm& form);

/// The user of a test: runs a script against every form shown modally.
/// Steps are consumed in order across forms: when a form's ModalResult is
/// set the presenter returns, and the next form shown continues with the
/// next step. A form whose steps run out closes with mrCancel (as if the
/// user gave up), which Exhausted() reports.
///
///   auto user = std::make_shared<TScriptedPresenter>();
///   user->Type("secret").Key(VK_RETURN);
///   TPresenterScope scope(user);
///
/// A step naming a control the form does not have raises EInvalidOperation
/// (a fault of the test). A step the form refuses (focusing a disabled box)
/// does nothing, as for a real user, and is listed in Refused().
class TScriptedPresenter : public TFormPresenter {
public:
    /// Types text into the focused control, character by character
    /// (CR = Return, Tab, ESC, BS as keys).
    TScriptedPresenter& Type(const String& text);
    /// Tabs into the named control (which selects an edit box's text) and
    /// types text; refused when the control cannot take the focus.
    TScriptedPresenter& TypeInto(const String& controlName, const String& text);
    /// Presses a key (VK_RETURN, VK_ESCAPE, VK_TAB, VK_BACK, ...).
    TScriptedPresenter& Key(Word key, TShiftState shift = {});
    /// Moves the focus to the named control as Tab would.
    TScriptedPresenter& Focus(const String& controlName);
    /// Clicks the named control (buttons take the focus first).
    TScriptedPresenter& Click(const String& controlName);
    /// Closes the window (the title bar's close box).
    TScriptedPresenter& CloseWindow();
    /// Runs fn on the live form at this point of the script.
    TScriptedPresenter& Examine(std::function<void(TCustomForm&)> fn);

    bool RunModal(TCustomForm& form) override;

    /// Every form shown, as it looked before the first step ran on it.
    const std::vector<TFormView>& Shown() const { return FShown; }
    /// Each form's look when its modal result was set (or the script ran out).
    const std::vector<TFormView>& Closed() const { return FClosed; }
    /// Steps the forms refused, described ("Focus UserName: refused").
    const std::vector<String>& Refused() const { return FRefused; }
    /// A form ran out of steps before it was closed.
    bool Exhausted() const { return FExhausted; }
    /// Steps not yet run.
    int PendingSteps() const { return static_cast<int>(FSteps.size()); }

private:
    using TStep = std::function<void(TCustomForm&)>;
    TScriptedPresenter& Add(TStep step);
    TWinControl* FindFocusable(TCustomForm& form, const String& name);
    TControl* FindNamed(TCustomForm& form, const String& name);

    std::deque<TStep> FSteps;
    std::vector<TFormView> FShown;
    std::vector<TFormView> FClosed;
    std::vector<String> FRefused;
    bool FExhausted = false;
};

/// The user at a terminal. Prints the form's caption and its labels (labels
/// on one row joined, "Database: MYDSN"), the buttons, and then reads each
/// enabled single-line edit box in tab order, prompting with the label that
/// names it as focus control (else the box's name) and starting from the
/// box's current text:
///   - typed characters go to the box, which refuses what it would refuse
///     (MaxLength, read-only); boxes with a PasswordChar echo that character
///     for each accepted character, others echo the character;
///   - Backspace deletes, Ctrl-U clears the box;
///   - Enter (or Tab) confirms the box; after the last box Enter presses
///     Return on the form, which clicks the default button (OK);
///   - Escape, Ctrl-C, or end of input cancels (Escape, then the window is
///     closed if no cancel button took it).
/// A form without edit boxes waits for Enter, Escape, or the hotkey of a
/// button. Disabled boxes are shown with their text and skipped. The
/// terminal is put into raw mode (no echo, no line editing, no signal keys)
/// and restored on every way out, also when SIGTERM, SIGHUP or SIGINT
/// arrive meanwhile (restored, then the signal is raised again).
class TTerminalPresenter : public TFormPresenter {
public:
    /// inFd: the terminal to read; outFd: where to write, -1 for the first of
    /// standard output and standard error that is a terminal (else standard
    /// error).
    explicit TTerminalPresenter(int inFd = 0, int outFd = -1);
    bool RunModal(TCustomForm& form) override;

private:
    int FInFd;
    int FOutFd;
};

}  // namespace velora
