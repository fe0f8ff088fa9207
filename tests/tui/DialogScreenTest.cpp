// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Modal forms on the terminal, in process: a form built in code run by the
// screen presenter over a virtual screen with scripted keys. Each case gives
// the keys and what the form holds afterwards.
#include "velora/forms/Buttons.h"
#include "velora/forms/Dialogs.h"
#include "velora/forms/Forms.h"
#include "velora/forms/StdCtrls.h"
#include "velora/tui/DialogScreen.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace velora::tui {
namespace {

/// A form with a name box, a check box, OK (default) and Cancel (cancel)
/// buttons and a button Keep whose letter K is underlined.
struct TDialog {
    TOwnedPtr<TForm> Form{new TForm(nullptr)};
    TEdit* Name;
    TCheckBox* Check;
    TButton* Ok;
    TButton* Cancel;
    TButton* Save;

    TDialog() {
        Form->SetCaption("Sign in");
        Form->SetClientWidth(300);
        Form->SetClientHeight(120);
        Name = Add<TEdit>(10, 10);
        Check = Add<TCheckBox>(10, 40);
        Check->SetCaption("Remember");
        Ok = Add<TButton>(10, 80);
        Ok->SetCaption("OK");
        Ok->SetDefault(true);
        Ok->SetModalResult(mrOk);
        Cancel = Add<TButton>(100, 80);
        Cancel->SetCaption("Cancel");
        Cancel->SetCancel(true);
        Cancel->SetModalResult(mrCancel);
        Save = Add<TButton>(190, 80);
        Save->SetCaption("&Keep");
        Save->SetModalResult(mrYes);
    }
    template <class T>
    T* Add(int left, int top) {
        auto* c = new T(Form.get());
        c->SetParent(Form.get());
        c->SetLeft(left);
        c->SetTop(top);
        return c;
    }
};

TKeyEvent K(TKey key, char32_t c = 0) { return TKeyEvent{key, c}; }

struct TCase {
    const char* What;
    std::vector<TKeyEvent> Keys;
    const char* Text;  ///< typed into the name box first (it has the focus)
    int Result;        ///< the form's modal result
    bool Checked;
    const char* Name;  ///< the name box's text afterwards
};

TEST(DialogScreen, KeysActThroughTheFormsOwnRules) {
    const std::vector<TCase> cases = {
        {"Enter presses the default button", {K(TKey::Enter)}, "anna", mrOk, false, "anna"},
        {"Escape presses the cancel button", {K(TKey::Escape)}, "anna", mrCancel, false, "anna"},
        {"Tab to the check box, Space ticks it", {K(TKey::Tab), K(TKey::Char, U' '), K(TKey::Enter)}, "", mrOk, true, ""},
        {"Ctrl and the underlined letter press its button", {K(TKey::Ctrl, U'k')}, "b", mrYes, false, "b"},
        {"Backspace edits the box", {K(TKey::Backspace), K(TKey::Enter)}, "abc", mrOk, false, "ab"},
        {"Shift-Tab goes back", {K(TKey::Tab), K(TKey::BackTab), K(TKey::Char, U'x'), K(TKey::Enter)}, "", mrOk, false, "x"},
    };
    for (const TCase& c : cases) {
        TDialog d;
        TVirtualScreen screen(60, 16);
        screen.TypeText(c.Text);
        for (const TKeyEvent& k : c.Keys) screen.PushKey(k);
        TPresenterScope scope(std::make_shared<TScreenPresenter>(screen));
        EXPECT_EQ(d.Form->ShowModal(), c.Result) << c.What;
        EXPECT_EQ(d.Check->Checked(), c.Checked) << c.What;
        EXPECT_EQ(d.Name->Text(), c.Name) << c.What;
        EXPECT_NE(screen.Text().find("Sign in"), std::string::npos) << c.What << ": the caption on the frame\n"
                                                                     << screen.Text();
    }
}

TEST(DialogScreen, AMessageBoxShowsItsTextAndAnswersItsButtons) {
    for (const auto& [key, result] : std::vector<std::pair<TKeyEvent, int>>{
             {K(TKey::Enter), mrYes}, {K(TKey::Escape), mrNo}, {K(TKey::Ctrl, U'n'), mrNo}}) {
        TVirtualScreen screen(70, 20);
        screen.PushKey(key);
        TPresenterScope scope(std::make_shared<TScreenPresenter>(screen));
        EXPECT_EQ(MessageDlg("Delete the selected row?", mtConfirmation, {mbYes, mbNo}, 0), result);
        EXPECT_NE(screen.Text().find("Delete the selected row?"), std::string::npos) << screen.Text();
    }
}

TEST(DialogScreen, InputEndingClosesTheFormAsCancelled) {
    TDialog d;
    TVirtualScreen screen(60, 16);
    screen.TypeText("half");
    TPresenterScope scope(std::make_shared<TScreenPresenter>(screen));
    EXPECT_NE(d.Form->ShowModal(), mrOk);
}

}  // namespace
}  // namespace velora::tui
