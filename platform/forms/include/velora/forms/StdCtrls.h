// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The standard controls: labels, edit boxes, memos, push buttons, check
// boxes, list boxes, drop-down lists and group boxes.
//
// Each keeps the state a user would see and change, and applies the rules a
// real control applies to the user's input: an edit box refuses characters
// beyond MaxLength and all typing while disabled or read-only, a button
// clicked passes its ModalResult to the form, a default button takes Return
// and a cancel button Escape. Programmatic changes (SetText, SetItemIndex)
// are not limited by those rules.
#pragma once

#include "velora/forms/Controls.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace velora {

enum TTextLayout : std::uint8_t { tlTop, tlCenter, tlBottom };

/// The label base class: a caption drawn on the parent, which with AutoSize
/// takes the size of its text (TCanvas::CalcTextRect of the label's font).
/// An empty caption is measured as one blank, so that it keeps a height.
class TCustomLabel : public TGraphicControl {
public:
    explicit TCustomLabel(TComponent* AOwner);

    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);
    bool AutoSize() const { return FAutoSize; }
    /// Stores the flag; True sizes the label to its text at once.
    virtual void SetAutoSize(bool value);
    /// The control that a click on the label or its hotkey focuses.
    TWinControl* FocusControl() const { return FFocusControl; }
    void SetFocusControl(TWinControl* value);
    /// "&" marks the hotkey (True) or is shown as it is (False).
    bool ShowAccelChar() const { return FShowAccelChar; }
    void SetShowAccelChar(bool value);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value);
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool value);
    TTextLayout Layout() const { return FLayout; }
    void SetLayout(TTextLayout value) { FLayout = value; }

    /// The text as drawn (hotkey marks removed unless ShowAccelChar is off).
    String DisplayText() const;
    /// A user's click: focuses FocusControl when it can take the focus.
    void UserClick() override;
    /// Fills the label with Color (unless Transparent) and draws the text
    /// with its alignment, layout, word wrap and hotkey mark; a disabled
    /// label draws grey text.
    void Paint() override;

protected:
    /// The text the label draws: its caption.
    virtual String GetLabelText() const { return Caption(); }
    /// With AutoSize (and not while loading): width and height of the text;
    /// a right-aligned label keeps its right edge.
    virtual void AdjustBounds();
    void Loaded() override;
    void Notification(TComponent* AComponent, TOperation Operation) override;
    void TextChanged() override { AdjustBounds(); }
    void FontChanged() override;

private:
    TAlignment FAlignment = taLeftJustify;
    bool FAutoSize = true;
    TWinControl* FFocusControl = nullptr;
    bool FShowAccelChar = true;
    bool FTransparent = false;
    bool FWordWrap = false;
    TTextLayout FLayout = tlTop;
};

class TLabel : public TCustomLabel {
public:
    using TCustomLabel::TCustomLabel;
};

enum TEditCharCase : std::uint8_t { ecNormal, ecUpperCase, ecLowerCase };

/// A single-line edit box with a caret and selection.
class TCustomEdit : public TWinControl {
public:
    explicit TCustomEdit(TComponent* AOwner);

    /// Most characters a user can type in; 0 means no limit.
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int value) { FMaxLength = value < 0 ? 0 : value; }
    /// Shown instead of each character when not '\0' (password boxes).
    char PasswordChar() const { return FPasswordChar; }
    void SetPasswordChar(char value) { FPasswordChar = value; }
    bool ReadOnly() const { return FReadOnly; }
    void SetReadOnly(bool value) { FReadOnly = value; }
    /// Entering the box selects its text.
    bool AutoSelect() const { return FAutoSelect; }
    void SetAutoSelect(bool value) { FAutoSelect = value; }
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value) { FAutoSize = value; }
    TEditCharCase CharCase() const { return FCharCase; }
    void SetCharCase(TEditCharCase value);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle value) { FBorderStyle = value; }
    /// Set by the user's typing, cleared by the application.
    bool Modified() const { return FModified; }
    void SetModified(bool value) { FModified = value; }

    /// Caret position (0 = before the first character) and selection.
    int SelStart() const { return FSelStart; }
    void SetSelStart(int value);
    int SelLength() const { return FSelLength; }
    void SetSelLength(int value);
    String SelText() const;
    void SelectAll();
    void Clear() { SetText(String()); }
    /// What the box shows: the text, or PasswordChar for each character.
    String DisplayText() const;

    /// The user types text at the caret, replacing the selection. Refused
    /// while disabled or read-only; cut to what MaxLength leaves room for.
    /// Answers the number of characters accepted.
    int UserType(const String& text);

    void KeyDown(Word& Key, TShiftState Shift) override;
    void KeyPress(char& Key) override;
    void DoEnter() override;

    TNotifyEvent OnChange;

protected:
    /// Fires OnChange (not while loading).
    virtual void Change();
    void TextChanged() override;
    /// Replaces the text from the user's side (sets Modified, keeps the
    /// caret where the edit left it).
    void UserSetText(const String& text, int caret);
    bool AcceptsInput() const { return !FReadOnly && EnabledInTree(); }
    String ApplyCase(const String& s) const;

private:
    int FMaxLength = 0;
    char FPasswordChar = '\0';
    bool FReadOnly = false;
    bool FAutoSelect = true;
    bool FAutoSize = true;
    TEditCharCase FCharCase = ecNormal;
    TBorderStyle FBorderStyle = bsSingle;
    bool FModified = false;
    int FSelStart = 0;
    int FSelLength = 0;
    bool FUserChange = false;
};

class TEdit : public TCustomEdit {
public:
    using TCustomEdit::TCustomEdit;
};

enum TScrollStyle : std::uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };

/// A multi-line edit box. Its Text holds the lines separated by CR LF;
/// Lines is a live view on it.
class TCustomMemo : public TCustomEdit {
public:
    explicit TCustomMemo(TComponent* AOwner);
    ~TCustomMemo() override;

    TStrings* Lines() const { return FLines; }
    void SetLines(TStrings* value) { FLines->Assign(value); }
    /// Return inserts a line break (True) or goes to the form.
    bool WantReturns() const { return FWantReturns; }
    void SetWantReturns(bool value) { FWantReturns = value; }
    bool WantTabs() const { return FWantTabs; }
    void SetWantTabs(bool value) { FWantTabs = value; }
    bool WordWrap() const { return FWordWrap; }
    void SetWordWrap(bool value) { FWordWrap = value; }
    TScrollStyle ScrollBars() const { return FScrollBars; }
    void SetScrollBars(TScrollStyle value) { FScrollBars = value; }
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value) { FAlignment = value; }

    bool WantsKey(Word Key) const override;
    void KeyDown(Word& Key, TShiftState Shift) override;
    void KeyPress(char& Key) override;

private:
    TStrings* FLines;
    bool FWantReturns = true;
    bool FWantTabs = false;
    bool FWordWrap = true;
    TScrollStyle FScrollBars = ssNone;
    TAlignment FAlignment = taLeftJustify;
};

class TMemo : public TCustomMemo {
public:
    using TCustomMemo::TCustomMemo;
};

/// A push button. Clicking it sets its form's ModalResult to the button's
/// (also mrNone), then runs OnClick.
class TButton : public TWinControl {
public:
    explicit TButton(TComponent* AOwner);

    /// The button Return clicks when the focus is not on another button.
    bool Default() const { return FDefault; }
    void SetDefault(bool value) { FDefault = value; }
    /// The button Escape clicks.
    bool Cancel() const { return FCancel; }
    void SetCancel(bool value) { FCancel = value; }
    TModalResult ModalResult() const { return FModalResult; }
    void SetModalResult(TModalResult value) { FModalResult = value; }

    void Click() override;
    /// Takes the focus, then clicks.
    void UserClick() override;
    bool DialogKey(Word key) override;
    /// Space clicks the focused button.
    void KeyPress(char& Key) override;
    /// The button Return would click now: the focused button, or the
    /// default button when no button has the focus.
    bool IsActive() const;

private:
    bool FDefault = false;
    bool FCancel = false;
    TModalResult FModalResult = mrNone;
};

enum TCheckBoxState : std::uint8_t { cbUnchecked, cbChecked, cbGrayed };

/// A check box. Every change of State runs Click (OnClick).
class TCheckBox : public TWinControl {
public:
    explicit TCheckBox(TComponent* AOwner);

    bool Checked() const { return FState == cbChecked; }
    void SetChecked(bool value) { SetState(value ? cbChecked : cbUnchecked); }
    TCheckBoxState State() const { return FState; }
    void SetState(TCheckBoxState value);
    bool AllowGrayed() const { return FAllowGrayed; }
    void SetAllowGrayed(bool value) { FAllowGrayed = value; }
    /// Side of the box the caption is on (default: right).
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value) { FAlignment = value; }

    /// Next state: unchecked, checked, grayed (when allowed), unchecked.
    void Toggle();
    /// Takes the focus and toggles.
    void UserClick() override;
    void KeyPress(char& Key) override;

private:
    TCheckBoxState FState = cbUnchecked;
    bool FAllowGrayed = false;
    TAlignment FAlignment = taRightJustify;
};

namespace detail {
/// A string list that tells its control after every change.
class TControlStrings : public TStringList {
public:
    std::function<void()> OnItemsChanged;

protected:
    void Changed() override;
};
}  // namespace detail

/// A list of texts to choose from. With MultiSelect several items can be
/// selected (Selected, SelCount); otherwise the selection is ItemIndex.
class TCustomListBox : public TWinControl {
public:
    explicit TCustomListBox(TComponent* AOwner);
    ~TCustomListBox() override;

    TStrings* Items() const { return FItems; }
    void SetItems(TStrings* value) { FItems->Assign(value); }
    /// The selected item (single selection) or the item with the focus
    /// rectangle (multiple selection); -1 for none. Setting it runs no event.
    int ItemIndex() const { return FItemIndex; }
    void SetItemIndex(int value);
    bool MultiSelect() const { return FMultiSelect; }
    void SetMultiSelect(bool value);
    bool ExtendedSelect() const { return FExtendedSelect; }
    void SetExtendedSelect(bool value) { FExtendedSelect = value; }
    bool Selected(int index) const;
    void SetSelected(int index, bool value);
    /// Selected items with MultiSelect, else -1.
    int SelCount() const;
    bool Sorted() const { return FSorted; }
    void SetSorted(bool value);
    bool IntegralHeight() const { return FIntegralHeight; }
    void SetIntegralHeight(bool value) { FIntegralHeight = value; }
    int ItemHeight() const { return FItemHeight; }
    void SetItemHeight(int value) { FItemHeight = value; }
    void Clear() { FItems->Clear(); }

    /// The user clicks item index: focus, selection (Ctrl toggles with
    /// MultiSelect), then OnClick.
    void UserClickItem(int index, TShiftState shift = {});
    /// Up and Down move the selection (and run OnClick).
    void KeyDown(Word& Key, TShiftState Shift) override;

private:
    void ItemsChanged();

    detail::TControlStrings* FItems;
    std::vector<bool> FSelected;
    int FItemIndex = -1;
    bool FMultiSelect = false;
    bool FExtendedSelect = true;
    bool FSorted = false;
    bool FIntegralHeight = false;
    int FItemHeight = 13;
};

class TListBox : public TCustomListBox {
public:
    using TCustomListBox::TCustomListBox;
};

enum TComboBoxStyle : std::uint8_t { csDropDown, csSimple, csDropDownList, csOwnerDrawFixed, csOwnerDrawVariable };

/// A drop-down list. With csDropDownList the text is always the selected
/// item's; the other styles also let the user type (MaxLength applies).
class TCustomComboBox : public TWinControl {
public:
    explicit TCustomComboBox(TComponent* AOwner);
    ~TCustomComboBox() override;

    TStrings* Items() const { return FItems; }
    void SetItems(TStrings* value) { FItems->Assign(value); }
    TComboBoxStyle Style() const { return FStyle; }
    void SetStyle(TComboBoxStyle value);
    /// Selected item or -1. Setting it updates Text and runs no event.
    int ItemIndex() const { return FItemIndex; }
    void SetItemIndex(int value);
    /// With csDropDownList, setting the text selects the item of that text
    /// (case-insensitive), or none.
    void SetText(const String& value) override;
    int MaxLength() const { return FMaxLength; }
    void SetMaxLength(int value) { FMaxLength = value < 0 ? 0 : value; }
    int DropDownCount() const { return FDropDownCount; }
    void SetDropDownCount(int value) { FDropDownCount = value; }
    bool Sorted() const { return FSorted; }
    void SetSorted(bool value);
    bool DroppedDown() const { return FDroppedDown; }
    void Clear();

    /// The user opens the list (OnDropDown).
    void UserDropDown();
    /// The user picks item index from the list: focus, then Text, OnClick
    /// and OnChange.
    void UserSelectItem(int index);
    /// Up and Down pick the neighbouring item.
    void KeyDown(Word& Key, TShiftState Shift) override;
    /// Typing: edits the text (csDropDown, csSimple) or picks the next item
    /// starting with that character (csDropDownList).
    void KeyPress(char& Key) override;

    TNotifyEvent OnChange;
    TNotifyEvent OnDropDown;

protected:
    virtual void Change();
    /// A drop-down list read from a form file selects the item of its text.
    void Loaded() override;

private:
    void ItemsChanged();
    void UserPick(int index);

    detail::TControlStrings* FItems;
    TComboBoxStyle FStyle = csDropDown;
    int FItemIndex = -1;
    int FMaxLength = 0;
    int FDropDownCount = 8;
    bool FSorted = false;
    bool FDroppedDown = false;
};

class TComboBox : public TCustomComboBox {
public:
    using TCustomComboBox::TCustomComboBox;
};

/// A frame with a caption around other controls.
class TGroupBox : public TCustomControl {
public:
    explicit TGroupBox(TComponent* AOwner);
    /// An etched frame with the caption in its top edge.
    void Paint() override;
};

}  // namespace velora
