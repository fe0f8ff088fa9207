// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The forms layer: the text metric and auto-sized labels, fonts following
// their parents, the parent tree and its clean-up, tab order and focus, the
// input rules of edit boxes, lists and buttons, ShowModal through the
// scripted presenter and with none, message boxes, form files of dialogs,
// and the terminal presenter on a pseudo-terminal.
#include "velora/forms/Application.h"
#include "velora/forms/Buttons.h"
#include "velora/forms/ComCtrls.h"
#include "velora/forms/Dialogs.h"
#include "velora/forms/ExtCtrls.h"
#include "velora/forms/FormClasses.h"
#include "velora/classes/FormFiles.h"
#include "velora/forms/Forms.h"
#include "velora/forms/Presenters.h"
#include "velora/forms/StdCtrls.h"

#include "support/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <termios.h>
#include <unistd.h>

#include <thread>

using namespace velora;

namespace {

// A dialog built in code: a panel holding a name box and a secret box with
// their labels, OK (default) and Cancel (cancel) buttons.
struct TTestDialog {
    TOwnedPtr<TForm> Form{new TForm(nullptr)};
    TPanel* Panel;
    TLabel* NameLabel;
    TEdit* Name;
    TLabel* SecretLabel;
    TEdit* Secret;
    TButton* Ok;
    TButton* Cancel;

    TTestDialog() {
        Form->SetName("Dialog");
        Form->SetCaption("Sign in");
        Ok = Add<TButton>("Ok", Form.get());
        Ok->SetCaption("&OK");
        Ok->SetDefault(true);
        Ok->SetModalResult(mrOk);
        Cancel = Add<TButton>("Cancel", Form.get());
        Cancel->SetCaption("Cancel");
        Cancel->SetCancel(true);
        Cancel->SetModalResult(mrCancel);
        Panel = Add<TPanel>("Panel", Form.get());
        NameLabel = Add<TLabel>("NameLabel", Panel);
        NameLabel->SetCaption("&Name:");
        Name = Add<TEdit>("Name", Panel);
        NameLabel->SetFocusControl(Name);
        SecretLabel = Add<TLabel>("SecretLabel", Panel);
        SecretLabel->SetCaption("&Secret:");
        Secret = Add<TEdit>("Secret", Panel);
        Secret->SetPasswordChar('*');
        SecretLabel->SetFocusControl(Secret);
        SecretLabel->SetTop(30);
        Secret->SetTop(30);
    }

    template <class T>
    T* Add(const char* name, TWinControl* parent) {
        auto* c = new T(Form.get());
        c->SetName(name);
        c->SetParent(parent);
        return c;
    }
};

std::shared_ptr<TScriptedPresenter> Script() { return std::make_shared<TScriptedPresenter>(); }

}  // namespace

// ---------------------------------------------------------------- text metric, fonts, labels

TEST(FormsTextMetric, DefaultFontIsSixByThirteenAndScalesWithTheFont) {
    TFont font;
    EXPECT_EQ(font.Name(), "MS Sans Serif");
    EXPECT_EQ(font.Height(), -11);
    EXPECT_EQ(font.Size(), 8);
    EXPECT_EQ(TextExtentOf(font, "Database:"), (TSize{54, 13}));
    EXPECT_EQ(TextExtentOf(font, ""), (TSize{0, 13}));
    EXPECT_EQ(TextExtentOf(font, "ab\r\nabcd\nx"), (TSize{24, 39}));

    font.SetStyle(TFontStyles{fsBold});
    EXPECT_EQ(TextExtentOf(font, "Database:").cx, 63);
    font.SetStyle({});
    font.SetSize(12);
    EXPECT_EQ(font.Height(), -16);
    EXPECT_EQ(TextExtentOf(font, "abcd"), (TSize{36, 19}));
    font.SetHeight(26);  // a positive height is the cell height
    EXPECT_EQ(TextExtentOf(font, "a").cy, 26);
}

TEST(FormsFont, ChangesFireOnceAndAssigningTheSameFontFiresNothing) {
    TFont a, b;
    int changes = 0;
    a.OnChange = [&](TObject*) { ++changes; };
    a.Assign(&b);
    EXPECT_EQ(changes, 0);
    b.SetName("Arial");
    b.SetStyle(TFontStyles{fsItalic});
    a.Assign(&b);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(a.SameAs(b));
    a.SetName("");  // an empty name is refused
    EXPECT_EQ(a.Name(), "Arial");
}

TEST(FormsLabel, AutoSizeFollowsCaptionFontAndAccelerators) {
    TForm form(nullptr);
    TLabel label(&form);
    label.SetParent(&form);
    label.SetCaption("&User Name:");
    EXPECT_EQ(label.Width(), 60);
    EXPECT_EQ(label.Height(), 13);
    EXPECT_EQ(label.DisplayText(), "User Name:");
    label.SetShowAccelChar(false);
    EXPECT_EQ(label.Width(), 66);
    label.SetShowAccelChar(true);
    label.SetCaption("");
    EXPECT_EQ(label.Width(), 6) << "an empty caption is measured as one blank";
    label.SetCaption("a && b");
    EXPECT_EQ(label.DisplayText(), "a & b");
    EXPECT_EQ(label.Width(), 30);

    label.Font()->SetStyle(TFontStyles{fsBold});
    EXPECT_EQ(label.Width(), 35);
    label.Font()->SetStyle({});

    label.SetAlignment(taRightJustify);
    label.SetBounds(100, 0, label.Width(), label.Height());
    label.SetCaption("ab");
    EXPECT_EQ(label.Left() + label.Width(), 130) << "a right-aligned label keeps its right edge";
    EXPECT_EQ(label.Width(), 12);

    label.SetAutoSize(false);
    label.SetCaption("a much longer caption");
    EXPECT_EQ(label.Width(), 12);

    TLabel wrapped(&form);
    wrapped.SetWordWrap(true);
    wrapped.SetAutoSize(false);
    wrapped.SetWidth(60);
    wrapped.SetCaption("aaa bbb ccc");
    wrapped.SetAutoSize(true);
    EXPECT_EQ(wrapped.Width(), 42);
    EXPECT_EQ(wrapped.Height(), 26);
}

TEST(FormsFont, ParentFontFollowsTheParentUntilTheControlChangesItsOwn) {
    TTestDialog d;
    EXPECT_FALSE(d.Form->ParentFont()) << "a form has its own font";
    d.Form->Font()->SetName("Arial");
    EXPECT_EQ(d.Panel->Font()->Name(), "Arial");
    EXPECT_EQ(d.Name->Font()->Name(), "Arial") << "through the panel";
    EXPECT_TRUE(d.Name->ParentFont());

    d.NameLabel->Font()->SetStyle(TFontStyles{fsBold});
    EXPECT_FALSE(d.NameLabel->ParentFont());
    EXPECT_EQ(d.NameLabel->Width(), 35);
    d.Form->Font()->SetName("Courier");
    EXPECT_EQ(d.NameLabel->Font()->Name(), "Arial") << "its own font no longer follows";
    EXPECT_EQ(d.Secret->Font()->Name(), "Courier");
    d.NameLabel->SetParentFont(true);
    EXPECT_EQ(d.NameLabel->Font()->Name(), "Courier");
    EXPECT_FALSE(d.NameLabel->Font()->Style().Contains(fsBold));
    EXPECT_EQ(d.NameLabel->Width(), 30);

    d.Panel->SetShowHint(true);
    EXPECT_TRUE(d.Name->ShowHint());
    d.Name->SetShowHint(false);
    EXPECT_FALSE(d.Name->ParentShowHint());
}

// ---------------------------------------------------------------- the parent tree

namespace {
int gLiveProbes = 0;
class TProbeEdit : public TEdit {
public:
    explicit TProbeEdit(TComponent* owner) : TEdit(owner) { ++gLiveProbes; }
    ~TProbeEdit() override { --gLiveProbes; }
};
}  // namespace

TEST(FormsTree, ParentFreesItsChildrenAndAChildThatGoesLeavesItsParent) {
    gLiveProbes = 0;
    TTestDialog d;
    auto* unowned = new TProbeEdit(nullptr);
    unowned->SetParent(d.Panel);
    auto* owned = new TProbeEdit(d.Form.get());
    owned->SetParent(d.Panel);
    EXPECT_EQ(d.Panel->ControlCount(), 6);
    const int components = d.Form->ComponentCount();

    owned->Free();
    EXPECT_EQ(d.Panel->ControlCount(), 5);
    EXPECT_EQ(d.Form->ComponentCount(), components - 1);

    // The label's focus control goes with the box (free notification).
    d.Name->Free();
    EXPECT_EQ(d.NameLabel->FocusControl(), nullptr);

    d.Panel->Free();  // frees what it still holds, the unowned box too
    EXPECT_EQ(gLiveProbes, 0);
    EXPECT_EQ(d.Form->ControlCount(), 2);
    EXPECT_EQ(d.Form->FindComponent("Secret"), nullptr);
    EXPECT_EQ(d.Form->FindComponent("SecretLabel"), nullptr);

    TPanel outer(nullptr), inner(nullptr);
    inner.SetParent(&outer);
    EXPECT_THROW(outer.SetParent(&inner), EInvalidOperation);
    inner.SetParent(nullptr);
}

TEST(FormsTree, TabOrderMovesAControlAndShiftsTheOthers) {
    TTestDialog d;
    EXPECT_EQ(d.Ok->TabOrder(), 0);
    EXPECT_EQ(d.Cancel->TabOrder(), 1);
    EXPECT_EQ(d.Panel->TabOrder(), 2);
    d.Panel->SetTabOrder(0);
    EXPECT_EQ(d.Panel->TabOrder(), 0);
    EXPECT_EQ(d.Ok->TabOrder(), 1);
    EXPECT_EQ(d.Cancel->TabOrder(), 2);
    d.Panel->SetTabOrder(99);
    EXPECT_EQ(d.Panel->TabOrder(), 2);
    d.Cancel->SetTabOrder(-4);
    EXPECT_EQ(d.Cancel->TabOrder(), 0);
    EXPECT_EQ(d.Form->TabOrder(), -1);

    // Tab stops in order, into the panel, skipping what cannot take the focus.
    d.Cancel->SetTabOrder(1);
    std::vector<String> order;
    TWinControl* c = nullptr;
    for (int i = 0; i < 5; ++i) {
        c = d.Form->FindNextControl(c, true, true);
        order.push_back(c->Name());
    }
    EXPECT_EQ(order, (std::vector<String>{"Ok", "Cancel", "Name", "Secret", "Ok"}));
    d.Name->SetEnabled(false);
    d.Cancel->SetVisible(false);
    EXPECT_EQ(d.Form->FindNextControl(d.Ok, true, true), d.Secret);
    EXPECT_EQ(d.Form->FindNextControl(d.Secret, false, true), d.Ok);
    d.Panel->SetEnabled(false);
    EXPECT_FALSE(d.Secret->CanFocus()) << "a disabled parent";
    EXPECT_EQ(d.Form->FindNextControl(d.Ok, true, true), d.Ok);
}

TEST(FormsTree, ActiveControlMustBeAbleToTakeTheFocus) {
    TTestDialog d;
    d.Name->SetEnabled(false);
    EXPECT_THROW(d.Form->SetActiveControl(d.Name), EInvalidOperation);
    TForm other(nullptr);
    TEdit foreign(&other);
    foreign.SetParent(&other);
    EXPECT_THROW(d.Form->SetActiveControl(&foreign), EInvalidOperation);
    d.Form->SetActiveControl(d.Secret);
    EXPECT_TRUE(d.Secret->Focused());
    d.Secret->Free();
    EXPECT_EQ(d.Form->ActiveControl(), nullptr);
}

TEST(FormsGeometry, ClientSizeIsKeptAcrossBorderStylesAndCentredOnTheScreen) {
    auto user = Script();
    TPresenterScope scope(user);
    TForm form(nullptr);
    form.SetBorderStyle(bsDialog);
    form.SetClientWidth(281);
    form.SetClientHeight(185);
    EXPECT_EQ(form.Width(), 287);
    EXPECT_EQ(form.Height(), 210);
    form.SetBorderStyle(bsNone);
    EXPECT_EQ(form.ClientWidth(), 281);
    EXPECT_EQ(form.Width(), 281);
    form.SetBorderStyle(bsToolWindow);
    EXPECT_EQ(form.Height(), 185 + 6 + 16);
    form.SetBorderStyle(bsDialog);
    form.SetPosition(poScreenCenter);
    user->CloseWindow();
    form.ShowModal();
    EXPECT_EQ(form.Left(), (ScreenWidth - 287) / 2);
    EXPECT_EQ(form.Top(), (ScreenHeight - 210) / 2);

    TPanel panel(nullptr);
    panel.SetBounds(12, 7, 257, 138);
    panel.SetBevelInner(bvRaised);
    panel.SetBevelOuter(bvLowered);
    EXPECT_EQ(panel.ClientWidth(), 257) << "a panel's client area is the whole panel";
    EXPECT_EQ(panel.BorderExtent(), 2);
}

// ---------------------------------------------------------------- input rules

TEST(FormsEdit, TypingHonoursMaxLengthEnabledAndReadOnly) {
    TTestDialog d;
    int changes = 0;
    d.Name->OnChange = [&](TObject*) { ++changes; };
    d.Name->SetMaxLength(31);
    EXPECT_EQ(d.Name->UserType(String(40, 'x')), 31);
    EXPECT_EQ(d.Name->Text(), String(31, 'x'));
    EXPECT_EQ(d.Name->UserType("y"), 0) << "a full box refuses the character";
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(d.Name->Modified());

    // Replacing a selection counts what stays.
    d.Name->SetSelStart(10);
    d.Name->SetSelLength(3);
    EXPECT_EQ(d.Name->UserType("abcd"), 3);
    EXPECT_EQ(d.Name->Text(), String(10, 'x') + "abc" + String(18, 'x'));

    d.Name->SetText(String(40, 'z'));  // the program may set more
    EXPECT_EQ(d.Name->Text().size(), 40u);

    d.Secret->SetReadOnly(true);
    EXPECT_EQ(d.Secret->UserType("a"), 0);
    d.Secret->SetReadOnly(false);
    d.Panel->SetEnabled(false);
    EXPECT_EQ(d.Secret->UserType("a"), 0) << "a box in a disabled panel";
    d.Panel->SetEnabled(true);
    EXPECT_EQ(d.Secret->UserType("abc"), 3);
    EXPECT_EQ(d.Secret->DisplayText(), "***");

    Word back = VK_BACK;
    d.Secret->KeyDown(back, {});
    EXPECT_EQ(d.Secret->Text(), "ab");
    d.Secret->SetSelStart(0);
    Word del = VK_DELETE;
    d.Secret->KeyDown(del, {});
    EXPECT_EQ(d.Secret->Text(), "b");
    d.Secret->SetCharCase(ecUpperCase);
    d.Secret->SetSelStart(1);
    d.Secret->UserType("c");
    EXPECT_EQ(d.Secret->Text(), "BC");
}

TEST(FormsEdit, MemoTakesReturnAndShowsItsLines) {
    TForm form(nullptr);
    TMemo memo(&form);
    memo.SetParent(&form);
    memo.Lines()->Add("first");
    memo.Lines()->Add("second");
    EXPECT_EQ(memo.Text(), "first\r\nsecond\r\n");
    EXPECT_EQ(memo.Lines()->Count(), 2);
    memo.Lines()->SetStrings(0, "one");
    memo.Lines()->Delete(1);
    EXPECT_EQ(memo.Text(), "one\r\n");
    memo.SetText("a\r\nb");
    EXPECT_EQ(memo.Lines()->Count(), 2);
    EXPECT_EQ(memo.Lines()->Strings(1), "b");

    memo.SetSelStart(1);
    EXPECT_TRUE(memo.WantsKey(VK_RETURN));
    Word ret = VK_RETURN;
    memo.KeyDown(ret, {});
    EXPECT_EQ(memo.Lines()->Count(), 3);
    memo.SetWantReturns(false);
    EXPECT_FALSE(memo.WantsKey(VK_RETURN));
}

TEST(FormsLists, ListAndComboSelectionFollowTheUsersChoices) {
    TForm form(nullptr);
    form.SetVisible(true);
    TListBox list(&form);
    list.SetParent(&form);
    int clicks = 0;
    list.OnClick = [&](TObject*) { ++clicks; };
    list.Items()->Add("a");
    list.Items()->Add("b");
    list.Items()->Add("c");
    list.UserClickItem(1);
    EXPECT_EQ(list.ItemIndex(), 1);
    EXPECT_TRUE(list.Selected(1));
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(list.Focused());
    list.SetItemIndex(2);
    EXPECT_EQ(clicks, 1) << "a programmatic choice runs no event";
    list.Items()->Delete(2);
    EXPECT_EQ(list.ItemIndex(), -1);
    EXPECT_EQ(list.SelCount(), -1);
    list.SetMultiSelect(true);
    list.UserClickItem(0);
    list.UserClickItem(1, TShiftState{ssCtrl});
    EXPECT_EQ(list.SelCount(), 2);
    list.UserClickItem(1, TShiftState{ssCtrl});
    EXPECT_EQ(list.SelCount(), 1);
    EXPECT_THROW(list.Selected(5), EListError);

    TComboBox combo(&form);
    combo.SetParent(&form);
    combo.SetStyle(csDropDownList);
    combo.Items()->SetCommaText("BCD,Blob,Boolean,Currency");
    int changes = 0;
    combo.OnChange = [&](TObject*) { ++changes; };
    combo.SetText("boolean");
    EXPECT_EQ(combo.ItemIndex(), 2);
    EXPECT_EQ(combo.Text(), "Boolean");
    combo.SetText("Nothing");
    EXPECT_EQ(combo.ItemIndex(), -1);
    EXPECT_EQ(combo.Text(), "");
    EXPECT_EQ(changes, 0);
    char b = 'b';
    combo.KeyPress(b);
    EXPECT_EQ(combo.Text(), "BCD");
    combo.KeyPress(b);
    EXPECT_EQ(combo.Text(), "Blob");
    combo.KeyPress(b);
    combo.KeyPress(b);
    EXPECT_EQ(combo.Text(), "BCD") << "wraps around";
    EXPECT_EQ(changes, 4);
    combo.UserSelectItem(3);
    EXPECT_EQ(combo.Text(), "Currency");

    TComboBox typed(&form);
    typed.SetParent(&form);
    typed.SetMaxLength(2);
    for (char c : String("xyz")) typed.KeyPress(c);
    EXPECT_EQ(typed.Text(), "xy");
}

TEST(FormsButtons, CheckBoxSpeedButtonsAndBitmapButtons) {
    TForm form(nullptr);
    TCheckBox check(&form);
    check.SetParent(&form);
    int clicks = 0;
    check.OnClick = [&](TObject*) { ++clicks; };
    check.Toggle();
    EXPECT_TRUE(check.Checked());
    check.SetAllowGrayed(true);
    check.Toggle();
    EXPECT_EQ(check.State(), cbGrayed);
    check.Toggle();
    EXPECT_EQ(check.State(), cbUnchecked);
    EXPECT_EQ(clicks, 3);

    TSpeedButton left(&form), right(&form), plain(&form);
    for (TSpeedButton* b : {&left, &right, &plain}) b->SetParent(&form);
    left.SetGroupIndex(1);
    right.SetGroupIndex(1);
    left.Click();
    EXPECT_TRUE(left.Down());
    right.Click();
    EXPECT_TRUE(right.Down());
    EXPECT_FALSE(left.Down()) << "one button of a group stays down";
    right.Click();
    EXPECT_TRUE(right.Down()) << "without AllowAllUp";
    plain.SetDown(true);
    EXPECT_FALSE(plain.Down()) << "an ungrouped button never stays down";

    TBitBtn ok(&form);
    ok.SetParent(&form);
    ok.SetKind(bkOK);
    EXPECT_EQ(ok.Caption(), "OK");
    EXPECT_EQ(ok.ModalResult(), mrOk);
    EXPECT_TRUE(ok.Default());
    ok.SetKind(bkNo);
    EXPECT_TRUE(ok.Cancel());
    EXPECT_EQ(ok.ModalResult(), mrNo);
}

// ---------------------------------------------------------------- ShowModal

TEST(FormsShowModal, WithoutAPresenterAnswersCancelAtOnceAndShowsNothing) {
    TPresenterScope none(nullptr);
    TTestDialog d;
    bool shown = false;
    d.Form->OnShow = [&](TObject*) { shown = true; };
    EXPECT_EQ(d.Form->ShowModal(), mrCancel);
    EXPECT_FALSE(shown);
    EXPECT_FALSE(d.Form->Visible());
    EXPECT_EQ(MessageDlg("Really?", mtConfirmation, mbYesNoCancel, 0), mrCancel);
}

TEST(FormsShowModal, ReturnClicksTheDefaultButtonAfterOnShowAndTheUsersTyping) {
    auto user = Script();
    TPresenterScope scope(user);
    TTestDialog d;
    d.Form->SetActiveControl(d.Secret);
    bool shownBeforeUser = false;
    d.Form->OnShow = [&](TObject*) { d.Secret->SetText("from OnShow"); };
    int okClicks = 0;
    d.Ok->OnClick = [&](TObject*) { ++okClicks; };
    user->Examine(
            [&](TCustomForm& f) { shownBeforeUser = d.Secret->Text() == "from OnShow" && f.Visible() && f.Modal(); })
        .Type("abc")
        .Key(VK_RETURN);
    EXPECT_EQ(d.Form->ShowModal(), mrOk);
    EXPECT_TRUE(shownBeforeUser);
    EXPECT_EQ(okClicks, 1);
    EXPECT_EQ(d.Secret->Text(), "abc") << "entering the box selected its text, typing replaced it";
    EXPECT_FALSE(d.Form->Visible());
    ASSERT_EQ(user->Shown().size(), 1u);
    const TFormView& view = user->Shown()[0];
    EXPECT_EQ(view.Caption, "Sign in");
    EXPECT_EQ(view.Focused, "Secret");
    ASSERT_NE(view.Control("Name"), nullptr);
    EXPECT_EQ(view.Control("Name")->ParentName, "Panel");
    EXPECT_EQ(view.Control("Name")->TabOrder, 0);
    EXPECT_EQ(view.Control("Ok")->Text, "&OK");
    EXPECT_EQ(user->PendingSteps(), 0);
    EXPECT_FALSE(user->Exhausted());
}

TEST(FormsShowModal, FocusedButtonEscapeCloseAndRefusedSteps) {
    auto user = Script();
    TPresenterScope scope(user);
    TTestDialog d;

    // Return on a focused button clicks that button, not the default one.
    user->Focus("Cancel").Key(VK_RETURN);
    EXPECT_EQ(d.Form->ShowModal(), mrCancel);
    EXPECT_EQ(user->Shown().back().Focused, "Ok") << "no active control: the first tab stop";

    user->Key(VK_ESCAPE);
    EXPECT_EQ(d.Form->ShowModal(), mrCancel);

    user->CloseWindow();
    EXPECT_EQ(d.Form->ShowModal(), mrCancel);

    // A disabled box cannot be typed into; a disabled default button does
    // not take Return; the script runs out and the form closes with Cancel.
    d.Name->SetEnabled(false);
    d.Ok->SetEnabled(false);
    d.Cancel->SetCancel(false);
    d.Form->SetActiveControl(d.Secret);
    user->TypeInto("Name", "bob").Key(VK_RETURN).Click("Ok").Key(VK_ESCAPE);
    EXPECT_EQ(d.Form->ShowModal(), mrCancel);
    EXPECT_TRUE(user->Exhausted());
    EXPECT_EQ(d.Name->Text(), "");
    EXPECT_EQ(user->Refused(), (std::vector<String>{"TypeInto Name: refused", "Click Ok: refused"}));

    user->TypeInto("NoSuchBox", "x");
    EXPECT_THROW(d.Form->ShowModal(), EInvalidOperation);
    EXPECT_FALSE(d.Form->Visible());
    EXPECT_FALSE(d.Form->Modal());
}

TEST(FormsShowModal, ExitRunsBeforeTheButtonActsAndCloseQueryMayRefuse) {
    auto user = Script();
    TPresenterScope scope(user);
    TTestDialog d;
    d.Form->SetActiveControl(d.Name);
    std::vector<String> log;
    d.Name->OnExit = [&](TObject*) { log.push_back("exit " + d.Name->Text()); };
    d.Ok->OnClick = [&](TObject*) { log.push_back("click"); };
    int queries = 0;
    d.Form->OnCloseQuery = [&](TObject*, bool& canClose) { canClose = ++queries > 1; };
    user->Type("bob").Click("Ok").Click("Ok");
    EXPECT_EQ(d.Form->ShowModal(), mrOk);
    EXPECT_EQ(log, (std::vector<String>{"exit bob", "click", "click"}));
    EXPECT_EQ(queries, 2);
}

TEST(FormsShowModal, FocusMovesOnWhenTheFocusedControlIsDisabled) {
    auto user = Script();
    TPresenterScope scope(user);
    TTestDialog d;
    d.Form->SetActiveControl(d.Name);
    user->Examine([&](TCustomForm&) { d.Name->SetEnabled(false); })
        .Examine([&](TCustomForm& f) { EXPECT_EQ(f.ActiveControl(), d.Secret); })
        .Key(VK_ESCAPE);
    d.Form->ShowModal();
}

TEST(FormsShowModal, AnExceptionInOnShowLeavesTheFormHiddenAndShowable) {
    auto user = Script();
    TPresenterScope scope(user);
    TTestDialog d;
    d.Form->OnShow = [](TObject*) { throw EDatabaseError("no"); };
    EXPECT_THROW(d.Form->ShowModal(), EDatabaseError);
    EXPECT_FALSE(d.Form->Visible());
    EXPECT_FALSE(d.Form->Modal());
    d.Form->OnShow = nullptr;
    d.Form->Show();
    EXPECT_THROW(d.Form->ShowModal(), EInvalidOperation) << "already visible";
    d.Form->Hide();
    user->Key(VK_RETURN);
    EXPECT_EQ(d.Form->ShowModal(), mrOk);
}

TEST(FormsShowModal, PresenterScopesNestAndRestore) {
    auto outer = Script();
    auto inner = Script();
    TTestDialog d;
    {
        TPresenterScope a(outer);
        {
            TPresenterScope b(inner);
            EXPECT_EQ(CurrentFormPresenter(), inner);
            TPresenterScope c(nullptr);
            EXPECT_EQ(CurrentFormPresenter(), nullptr);
        }
        EXPECT_EQ(CurrentFormPresenter(), outer);
        outer->Key(VK_RETURN);
        EXPECT_EQ(d.Form->ShowModal(), mrOk);
        EXPECT_TRUE(inner->Shown().empty());
    }
}

TEST(FormsMessageDlg, ButtonsCaptionsAndAnswers) {
    TOwnedPtr<TForm> box(CreateMessageDialog("Delete it?", mtConfirmation, mbYesNoCancel));
    EXPECT_EQ(box->Caption(), "Confirmation");
    auto* yes = dynamic_cast<TButton*>(box->FindComponent("Yes"));
    auto* cancel = dynamic_cast<TButton*>(box->FindComponent("Cancel"));
    ASSERT_TRUE(yes && cancel);
    EXPECT_TRUE(yes->Default());
    EXPECT_TRUE(cancel->Cancel());
    EXPECT_EQ(dynamic_cast<TLabel*>(box->FindComponent("Message"))->Caption(), "Delete it?");
    EXPECT_LT(yes->Left(), cancel->Left());
    EXPECT_GE(box->ClientWidth(), cancel->Left() + cancel->Width());

    auto user = Script();
    TPresenterScope scope(user);
    user->Click("No");
    EXPECT_EQ(MessageDlg("Delete it?", mtConfirmation, mbYesNoCancel, 0), mrNo);
    user->Key(VK_RETURN);
    EXPECT_EQ(MessageDlg("Delete it?", mtConfirmation, mbYesNoCancel, 0), mrYes);
    user->Key(VK_ESCAPE);
    EXPECT_EQ(MessageDlg("Broken", mtError, TMsgDlgButtons{mbOK}, 0), mrOk) << "a lone OK also cancels";
    EXPECT_EQ(user->Shown().back().Caption, "Error");
}

// ---------------------------------------------------------------- form files

namespace {

// The owner of forms read by class name: holds the event handlers.
class THandlers : public TComponent {
public:
    THandlers() : TComponent(nullptr) {
        RegisterMethod("OkClick", TNotifyEvent([this](TObject*) { ++Clicks; }));
    }
    int Clicks = 0;
};

}  // namespace

TEST(FormsFormFiles, ADialogSurvivesARoundTripWithParentsTabOrderAndEvents) {
    RegisterFormClasses();
    TTestDialog d;
    d.Name->SetMaxLength(31);
    d.Name->SetHint("Who you are\r\nor want to be");
    d.Name->SetShowHint(true);
    d.Panel->SetBevelInner(bvRaised);
    d.Panel->SetBevelOuter(bvLowered);
    d.Panel->SetTabOrder(0);
    d.Form->SetBorderStyle(bsDialog);
    d.Form->SetClientSize(281, 185);
    d.Form->SetActiveControl(d.Secret);
    d.NameLabel->Font()->SetStyle(TFontStyles{fsBold});
    d.Form->RegisterMethod("OkClick", TNotifyEvent([](TObject*) {}));
    SetMethodProp(d.Ok, *GetPropInfo(d.Ok, "OnClick"), "OkClick");
    auto* bevel = d.Add<TBevel>("Line", d.Panel);
    bevel->SetShape(bsTopLine);
    auto* status = d.Add<TStatusBar>("Bar", d.Form.get());
    status->Panels()->Add()->SetText("Please select a Parameter from the list");
    status->SetSizeGrip(false);
    auto* list = d.Add<TListBox>("List", d.Form.get());
    list->Items()->SetCommaText("x,y");
    list->SetEnabled(false);
    auto* pages = d.Add<TPageControl>("Pages", d.Form.get());
    auto* first = d.Add<TTabSheet>("First", pages);
    auto* second = d.Add<TTabSheet>("Second", pages);
    pages->SetActivePage(second);
    auto* memo = d.Add<TMemo>("Memo", first);
    memo->Lines()->Add("UPDATE t");
    auto* tree = d.Add<TTreeView>("Tree", second);
    TTreeNode* events = tree->Items()->Add(nullptr, "Events");
    tree->Items()->AddChild(events, "OnLogin");
    tree->Items()->Add(nullptr, "Methods");
    auto* combo = d.Add<TComboBox>("Types", d.Form.get());
    combo->SetStyle(csDropDownList);
    combo->Items()->SetCommaText("BCD,Blob");
    combo->SetItemIndex(1);

    const String text = WriteComponentToString(d.Form.get());
    EXPECT_NE(text.find("PasswordChar = '*'"), String::npos) << text;
    EXPECT_NE(text.find("OnClick = OkClick"), String::npos);
    EXPECT_NE(text.find("ClientWidth = 281"), String::npos);
    EXPECT_EQ(text.find("  Width = 287"), String::npos) << "forms store their client size";
    EXPECT_EQ(text.find("TabStop"), String::npos) << "defaults are not written";
    EXPECT_NE(text.find("Hint = 'Who you are'#13#10'or want to be'"), String::npos);

    THandlers handlers;
    TOwnedPtr<TComponent> copy(ReadComponentFromString(text, &handlers));
    auto* form = dynamic_cast<TForm*>(copy.get());
    ASSERT_NE(form, nullptr);
    auto* name = dynamic_cast<TEdit*>(form->FindComponent("Name"));
    auto* secret = dynamic_cast<TEdit*>(form->FindComponent("Secret"));
    auto* panel = dynamic_cast<TPanel*>(form->FindComponent("Panel"));
    ASSERT_TRUE(name && secret && panel) << "every control is owned by the root";
    EXPECT_EQ(name->Parent(), panel);
    EXPECT_EQ(panel->Parent(), form);
    EXPECT_EQ(panel->TabOrder(), 0);
    EXPECT_EQ(name->MaxLength(), 31);
    EXPECT_EQ(secret->PasswordChar(), '*');
    EXPECT_EQ(form->ActiveControl(), secret);
    EXPECT_EQ(form->ClientWidth(), 281);
    EXPECT_EQ(form->Width(), 287);
    auto* nameLabel = dynamic_cast<TLabel*>(form->FindComponent("NameLabel"));
    EXPECT_EQ(nameLabel->FocusControl(), name);
    EXPECT_TRUE(nameLabel->Font()->Style().Contains(fsBold));
    EXPECT_FALSE(nameLabel->ParentFont());
    EXPECT_EQ(nameLabel->Width(), 35) << "auto-sized again after reading";
    auto* ok = dynamic_cast<TButton*>(form->FindComponent("Ok"));
    EXPECT_TRUE(ok->Default());
    ok->Click();
    EXPECT_EQ(handlers.Clicks, 1);
    auto* bar = dynamic_cast<TStatusBar*>(form->FindComponent("Bar"));
    ASSERT_EQ(bar->Panels()->Count(), 1);
    EXPECT_EQ(bar->Panels()->Items(0)->Text(), "Please select a Parameter from the list");
    EXPECT_EQ(bar->Panels()->Items(0)->Width(), 50);
    auto* readPages = dynamic_cast<TPageControl*>(form->FindComponent("Pages"));
    ASSERT_EQ(readPages->PageCount(), 2);
    EXPECT_EQ(readPages->ActivePage()->Name(), "Second");
    EXPECT_FALSE(readPages->Pages(0)->Visible());
    auto* readTree = dynamic_cast<TTreeView*>(form->FindComponent("Tree"));
    ASSERT_EQ(readTree->Items()->Count(), 3);
    EXPECT_EQ(readTree->Items()->Item(1)->Text(), "OnLogin");
    EXPECT_EQ(readTree->Items()->Item(1)->Level(), 1);
    EXPECT_EQ(dynamic_cast<TMemo*>(form->FindComponent("Memo"))->Lines()->Strings(0), "UPDATE t");
    EXPECT_EQ(dynamic_cast<TComboBox*>(form->FindComponent("Types"))->ItemIndex(), 1);
    EXPECT_FALSE(dynamic_cast<TListBox*>(form->FindComponent("List"))->Enabled());

    form->RegisterMethod("OkClick", TNotifyEvent([](TObject*) {}));
    EXPECT_EQ(WriteComponentToString(form), text) << "written again, the same text";
}

TEST(FormsFormFiles, StoredTabOrderWinsOverTheOrderOfCreation) {
    RegisterFormClasses();
    const String text = R"(object F: TForm
  object C: TEdit
    TabOrder = 2
  end
  object A: TEdit
    TabOrder = 0
  end
  object B: TButton
    TabOrder = 1
  end
end
)";
    TOwnedPtr<TComponent> root(ReadComponentFromString(text, nullptr));
    auto* form = static_cast<TForm*>(root.get());
    std::vector<TWinControl*> order;
    form->GetTabOrderList(order);
    ASSERT_EQ(order.size(), 3u);
    EXPECT_EQ(order[0]->Name(), "A");
    EXPECT_EQ(order[1]->Name(), "B");
    EXPECT_EQ(order[2]->Name(), "C");

    // A control cannot sit in something that is not a control.
    EXPECT_THROW(ReadComponentFromString("object F: TForm\n  object P: TComponent\n    object E: TEdit\n    end\n"
                                         "  end\nend\n",
                                         nullptr),
                 Exception);
}

// ---------------------------------------------------------------- the terminal presenter

namespace {

struct TTerminalStep {
    String WaitFor;  // shown text to wait for before typing
    String Keys;
};

// Runs ShowModal with a terminal presenter on a pseudo-terminal while a
// second thread plays the user; a prompt that never comes ends the input.
TModalResult RunAtTerminal(TCustomForm& form, test::TPseudoTerminal& pty, const std::vector<TTerminalStep>& steps,
                           std::vector<String>* missing = nullptr) {
    TPresenterScope scope(std::make_shared<TTerminalPresenter>(pty.Slave(), pty.Slave()));
    const std::size_t start = pty.Mark();
    std::thread user([&] {
        std::size_t from = start;
        for (const TTerminalStep& s : steps) {
            if (!s.WaitFor.empty()) {
                if (!pty.WaitFor(s.WaitFor, 10000, from)) {
                    if (missing) missing->push_back(s.WaitFor);
                    pty.Type("\x04");
                    return;
                }
                from = pty.Output().find(s.WaitFor, from) + s.WaitFor.size();
            }
            pty.Type(s.Keys);
        }
    });
    TModalResult result = mrNone;
    try {
        result = form.ShowModal();
    } catch (...) {
        user.join();
        throw;
    }
    user.join();
    // Everything the presenter wrote has arrived once this mark has.
    const String mark = "[end of dialog]";
    if (::write(pty.Slave(), mark.data(), mark.size()) == static_cast<ssize_t>(mark.size()))
        pty.WaitFor(mark, 10000, start);
    return result;
}

termios TermiosOf(int fd) {
    termios t{};
    tcgetattr(fd, &t);
    return t;
}

}  // namespace

TEST(FormsTerminal, ReadsTheBoxesInTabOrderEchoingPasswordsAsStars) {
    test::TPseudoTerminal pty;
    const termios before = TermiosOf(pty.Slave());
    TTestDialog d;
    d.Name->SetText("al");
    d.Secret->SetMaxLength(8);
    std::vector<String> missing;
    const TModalResult r = RunAtTerminal(*d.Form, pty,
                                         {{"Name: al",
                                           "\x7f"
                                           "lice\r"},
                                          {"Secret: ",
                                           "hunter2\x1b[Ax\x7f"
                                           "22\r"}},
                                         &missing);
    EXPECT_TRUE(missing.empty()) << pty.Output();
    EXPECT_EQ(r, mrOk) << pty.Output();
    EXPECT_EQ(d.Name->Text(), "alice");
    EXPECT_EQ(d.Secret->Text(), "hunter22") << "an arrow key is ignored, backspace deletes, 8 characters at most";
    const String out = pty.Output();
    EXPECT_NE(out.find("Sign in"), String::npos);
    EXPECT_NE(out.find("[OK] Enter"), String::npos);
    EXPECT_NE(out.find("ice"), String::npos) << "a normal box echoes";
    EXPECT_EQ(out.find("hunter"), String::npos) << "the password never appears";
    EXPECT_NE(out.find("*******"), String::npos);
    EXPECT_NE(out.find('\a'), String::npos) << "the ninth character is refused with a bell";
    const termios after = TermiosOf(pty.Slave());
    EXPECT_EQ(after.c_lflag, before.c_lflag) << "raw mode undone";
    EXPECT_EQ(after.c_iflag, before.c_iflag);
}

TEST(FormsTerminal, EscapeAndEndOfInputCancel) {
    test::TPseudoTerminal pty;
    TTestDialog d;
    EXPECT_EQ(RunAtTerminal(*d.Form, pty, {{"Name: ", "bob\x1b"}}), mrCancel);
    EXPECT_EQ(RunAtTerminal(*d.Form, pty, {{"Name: bob", "\x04"}}), mrCancel) << "Ctrl-D";
    d.Name->SetEnabled(false);
    const std::size_t mark = pty.Mark();
    EXPECT_EQ(RunAtTerminal(*d.Form, pty, {{"Secret: ", "\x03"}}), mrCancel) << "Ctrl-C";
    EXPECT_NE(pty.Output().find("Name: bob", mark), String::npos) << "a disabled box is shown, not read";
}

TEST(FormsTerminal, AMessageBoxTakesAButtonsHotkey) {
    test::TPseudoTerminal pty;
    TOwnedPtr<TForm> box(CreateMessageDialog("Save changes?", mtConfirmation, mbYesNoCancel));
    EXPECT_EQ(RunAtTerminal(*box, pty, {{"Save changes?", "n"}}), mrNo);
    EXPECT_NE(pty.Output().find("[Yes] Enter"), String::npos);
}

// ---------------------------------------------------------------- stored layouts

TEST(FormsLayout, LayoutComponentAnswersTheControlAsItsClassOrRaisesReadError) {
    TTestDialog d;
    EXPECT_EQ(LayoutComponent<TEdit>(*d.Form, "Secret"), d.Secret);
    auto error = [&](auto get) -> std::string {
        try {
            get();
        } catch (const EReadError& e) {
            return e.Message();
        }
        return "(no error)";
    };
    EXPECT_EQ(error([&] { LayoutComponent<TButton>(*d.Form, "Secret"); }), "The layout of TForm has no Secret")
        << "a control of another class is no answer";
    EXPECT_EQ(error([&] { LayoutComponent<TEdit>(*d.Form, "Missing"); }), "The layout of TForm has no Missing");
}
