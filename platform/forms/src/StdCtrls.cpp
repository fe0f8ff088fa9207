// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The standard controls and the input rules they apply.
#include "velora/forms/StdCtrls.h"

#include "velora/forms/Forms.h"

#include <algorithm>
#include <cctype>

namespace velora {

namespace {

int Clamp(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// The lines of a memo as a string list: every operation reads or rewrites
// the memo's text. Lines written through the list each end
// in CR LF, and a last empty line (text ending in a line break) is not
// counted.
class TMemoStrings : public TStrings {
public:
    explicit TMemoStrings(TCustomMemo* memo) : FMemo(memo) {}

    void Insert(int index, const String& s) override {
        auto lines = Split();
        CheckIndex(index, static_cast<int>(lines.size()) + 1);
        lines.insert(lines.begin() + index, s);
        Join(lines);
    }
    void Delete(int index) override {
        auto lines = Split();
        CheckIndex(index, static_cast<int>(lines.size()));
        lines.erase(lines.begin() + index);
        Join(lines);
    }
    void Clear() override { FMemo->SetText(String()); }
    void SetText(const String& text) override { FMemo->SetText(text); }

protected:
    String Get(int index) const override {
        auto lines = Split();
        CheckIndex(index, static_cast<int>(lines.size()));
        return lines[static_cast<std::size_t>(index)];
    }
    void Put(int index, const String& s) override {
        auto lines = Split();
        CheckIndex(index, static_cast<int>(lines.size()));
        lines[static_cast<std::size_t>(index)] = s;
        Join(lines);
    }
    int GetCount() const override { return static_cast<int>(Split().size()); }

private:
    std::vector<String> Split() const {
        std::vector<String> lines;
        const String t = FMemo->Text();
        String cur;
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i] == '\r' || t[i] == '\n') {
                lines.push_back(cur);
                cur.clear();
                if (t[i] == '\r' && i + 1 < t.size() && t[i + 1] == '\n') ++i;
            } else {
                cur += t[i];
            }
        }
        if (!cur.empty()) lines.push_back(cur);
        return lines;
    }
    void Join(const std::vector<String>& lines) {
        String t;
        for (const String& l : lines) t += l + "\r\n";
        FMemo->SetText(t);
    }

    TCustomMemo* FMemo;
};

}  // namespace

// ---------------------------------------------------------------- TCustomLabel

TCustomLabel::TCustomLabel(TComponent* AOwner) : TGraphicControl(AOwner) {
    InitBounds(65, 17);
    AdjustBounds();
}

String TCustomLabel::DisplayText() const { return FShowAccelChar ? StripHotkey(GetLabelText()) : GetLabelText(); }

void TCustomLabel::AdjustBounds() {
    if (!FAutoSize || IsLoading() || IsDestroying()) return;
    String text = GetLabelText();
    if (text.empty() || (FShowAccelChar && text == "&")) text += ' ';
    unsigned flags = DT_EXPANDTABS;
    if (FWordWrap) flags |= DT_WORDBREAK;
    if (!FShowAccelChar) flags |= DT_NOPREFIX;
    const TRect r = Canvas()->CalcTextRect(text, Rect(0, 0, Width(), Height()), flags);
    int x = Left();
    if (FAlignment == taRightJustify) x += Width() - r.Right;
    SetBounds(x, Top(), r.Right, r.Bottom);
}

void TCustomLabel::SetAlignment(TAlignment value) {
    if (value == FAlignment) return;
    FAlignment = value;
    Invalidate();
}

void TCustomLabel::SetAutoSize(bool value) {
    if (value == FAutoSize) return;
    FAutoSize = value;
    AdjustBounds();
}

void TCustomLabel::SetFocusControl(TWinControl* value) {
    if (value == FFocusControl) return;
    if (FFocusControl) RemoveFreeNotification(FFocusControl);
    FFocusControl = value;
    if (value) FreeNotification(value);
}

void TCustomLabel::SetShowAccelChar(bool value) {
    if (value == FShowAccelChar) return;
    FShowAccelChar = value;
    AdjustBounds();
    Invalidate();
}

void TCustomLabel::SetTransparent(bool value) {
    if (value == FTransparent) return;
    FTransparent = value;
    Invalidate();
}

void TCustomLabel::SetWordWrap(bool value) {
    if (value == FWordWrap) return;
    FWordWrap = value;
    AdjustBounds();
    Invalidate();
}

void TCustomLabel::UserClick() {
    if (!EnabledInTree() || !VisibleInTree()) return;
    Click();
    if (FFocusControl)
        if (TCustomForm* form = GetParentForm(this)) form->UserFocus(FFocusControl);
}

void TCustomLabel::Paint() {
    TCanvas* cv = Canvas();
    const TRect r = ClientRect();
    if (!FTransparent) {
        cv->Brush()->SetColor(Color());
        cv->Brush()->SetStyle(bsSolid);
        cv->FillRect(r);
    }
    cv->Brush()->SetStyle(bsClear);
    static constexpr unsigned Alignments[] = {DT_LEFT, DT_RIGHT, DT_CENTER};
    unsigned flags = Alignments[FAlignment] | DT_EXPANDTABS;
    if (FWordWrap) flags |= DT_WORDBREAK;
    if (!FShowAccelChar) flags |= DT_NOPREFIX;
    TRect textRect = r;
    if (FLayout != tlTop) {
        const int h = cv->CalcTextRect(GetLabelText(), r, flags).Height();
        textRect.Top += FLayout == tlCenter ? (r.Height() - h) / 2 : r.Height() - h;
    }
    if (!EnabledInTree()) cv->Font()->SetColor(clGrayText);
    cv->DrawText(GetLabelText(), -1, textRect, flags);
}

void TCustomLabel::Loaded() {
    TGraphicControl::Loaded();
    AdjustBounds();
}

void TCustomLabel::Notification(TComponent* AComponent, TOperation Operation) {
    TGraphicControl::Notification(AComponent, Operation);
    if (Operation == opRemove && AComponent == FFocusControl) FFocusControl = nullptr;
}

void TCustomLabel::FontChanged() {
    TGraphicControl::FontChanged();
    AdjustBounds();
}

// ---------------------------------------------------------------- TCustomEdit

TCustomEdit::TCustomEdit(TComponent* AOwner) : TWinControl(AOwner) {
    InitBounds(121, 21);
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
}

void TCustomEdit::SetCharCase(TEditCharCase value) {
    FCharCase = value;
    if (value != ecNormal) SetText(ApplyCase(Text()));
}

String TCustomEdit::ApplyCase(const String& s) const {
    switch (FCharCase) {
        case ecUpperCase:
            return UpperCase(s);
        case ecLowerCase:
            return LowerCase(s);
        case ecNormal:
            break;
    }
    return s;
}

void TCustomEdit::SetSelStart(int value) {
    FSelStart = Clamp(value, 0, static_cast<int>(Text().size()));
    FSelLength = 0;
}

void TCustomEdit::SetSelLength(int value) { FSelLength = Clamp(value, 0, static_cast<int>(Text().size()) - FSelStart); }

String TCustomEdit::SelText() const {
    return Text().substr(static_cast<std::size_t>(FSelStart), static_cast<std::size_t>(FSelLength));
}

void TCustomEdit::SelectAll() {
    FSelStart = 0;
    FSelLength = static_cast<int>(Text().size());
}

String TCustomEdit::DisplayText() const {
    if (FPasswordChar == '\0') return Text();
    return String(Text().size(), FPasswordChar);
}

void TCustomEdit::TextChanged() {
    if (!FUserChange) {
        // A programmatic change puts the caret at the start.
        FSelStart = 0;
        FSelLength = 0;
    }
    Change();
}

void TCustomEdit::Change() {
    if (!IsLoading() && OnChange) OnChange(this);
}

void TCustomEdit::UserSetText(const String& text, int caret) {
    FUserChange = true;
    FSelStart = caret;
    FSelLength = 0;
    try {
        FModified = true;
        SetText(text);
    } catch (...) {
        FUserChange = false;
        throw;
    }
    FUserChange = false;
    FSelStart = Clamp(caret, 0, static_cast<int>(Text().size()));
    FSelLength = 0;
}

int TCustomEdit::UserType(const String& typed) {
    if (!AcceptsInput() || typed.empty()) return 0;
    const String cur = Text();
    const int start = Clamp(FSelStart, 0, static_cast<int>(cur.size()));
    const int len = Clamp(FSelLength, 0, static_cast<int>(cur.size()) - start);
    String add = ApplyCase(typed);
    const int kept = static_cast<int>(cur.size()) - len;
    if (FMaxLength > 0 && kept + static_cast<int>(add.size()) > FMaxLength) {
        const int room = FMaxLength - kept;
        if (room <= 0) return 0;  // the box is full: the character is refused
        add.resize(static_cast<std::size_t>(room));
    }
    String next =
        cur.substr(0, static_cast<std::size_t>(start)) + add + cur.substr(static_cast<std::size_t>(start + len));
    UserSetText(next, start + static_cast<int>(add.size()));
    return static_cast<int>(add.size());
}

void TCustomEdit::KeyDown(Word& Key, TShiftState Shift) {
    TWinControl::KeyDown(Key, Shift);
    const String cur = Text();
    const int size = static_cast<int>(cur.size());
    switch (Key) {
        case VK_BACK:
        case VK_DELETE: {
            if (!AcceptsInput()) return;
            int start = Clamp(FSelStart, 0, size);
            int len = Clamp(FSelLength, 0, size - start);
            if (len == 0) {
                if (Key == VK_BACK) {
                    if (start == 0) return;
                    --start;
                } else if (start == size) {
                    return;
                }
                len = 1;
            }
            UserSetText(
                cur.substr(0, static_cast<std::size_t>(start)) + cur.substr(static_cast<std::size_t>(start + len)),
                start);
            return;
        }
        case VK_LEFT:
            SetSelStart(FSelStart - 1);
            return;
        case VK_RIGHT:
            SetSelStart(FSelStart + FSelLength + 1);
            return;
        case VK_HOME:
            SetSelStart(0);
            return;
        case VK_END:
            SetSelStart(size);
            return;
        default:
            return;
    }
}

void TCustomEdit::KeyPress(char& Key) {
    TWinControl::KeyPress(Key);
    if (static_cast<unsigned char>(Key) < 0x20 || Key == '\x7f') return;
    UserType(String(1, Key));
}

void TCustomEdit::DoEnter() {
    if (FAutoSelect) SelectAll();
    TWinControl::DoEnter();
}

// ---------------------------------------------------------------- TCustomMemo

TCustomMemo::TCustomMemo(TComponent* AOwner) : TCustomEdit(AOwner), FLines(new TMemoStrings(this)) {
    InitBounds(185, 89);
    SetAutoSelect(false);
}

TCustomMemo::~TCustomMemo() { delete FLines; }

bool TCustomMemo::WantsKey(Word Key) const {
    return (Key == VK_RETURN && FWantReturns) || (Key == VK_TAB && FWantTabs);
}

void TCustomMemo::KeyDown(Word& Key, TShiftState Shift) {
    if (Key == VK_RETURN && FWantReturns) {
        TWinControl::KeyDown(Key, Shift);
        if (Key) UserType("\r\n");
        return;
    }
    if (Key == VK_TAB && FWantTabs) {
        TWinControl::KeyDown(Key, Shift);
        if (Key) UserType("\t");
        return;
    }
    TCustomEdit::KeyDown(Key, Shift);
}

void TCustomMemo::KeyPress(char& Key) { TCustomEdit::KeyPress(Key); }

// ---------------------------------------------------------------- TButton

TButton::TButton(TComponent* AOwner) : TWinControl(AOwner) {
    InitBounds(75, 25);
    SetTabStop(true);
}

void TButton::Click() {
    if (TCustomForm* form = GetParentForm(this)) form->SetModalResult(FModalResult);
    TWinControl::Click();
}

void TButton::UserClick() {
    if (!EnabledInTree() || !VisibleInTree()) return;
    TCustomForm* form = GetParentForm(this);
    if (form && !Focused()) {
        form->UserFocus(this);
        // An OnExit handler may have disabled or hidden the button.
        if (!EnabledInTree() || !VisibleInTree()) return;
    }
    Click();
}

bool TButton::IsActive() const {
    if (Focused()) return true;
    if (!FDefault) return false;
    const TCustomForm* form = GetParentForm(this);
    return !(form && dynamic_cast<TButton*>(form->ActiveControl()));
}

bool TButton::DialogKey(Word key) {
    if ((key == VK_RETURN && IsActive()) || (key == VK_ESCAPE && FCancel)) {
        if (!EnabledInTree() || !VisibleInTree()) return false;
        Click();
        return true;
    }
    return false;
}

void TButton::KeyPress(char& Key) {
    TWinControl::KeyPress(Key);
    if (Key == ' ') Click();
}

// ---------------------------------------------------------------- TCheckBox

TCheckBox::TCheckBox(TComponent* AOwner) : TWinControl(AOwner) {
    InitBounds(97, 17);
    SetTabStop(true);
}

void TCheckBox::SetState(TCheckBoxState value) {
    if (value == FState) return;
    FState = value;
    Invalidate();
    if (!IsLoading()) Click();
}

void TCheckBox::Toggle() {
    switch (FState) {
        case cbUnchecked:
            SetState(cbChecked);
            break;
        case cbChecked:
            SetState(FAllowGrayed ? cbGrayed : cbUnchecked);
            break;
        case cbGrayed:
            SetState(cbUnchecked);
            break;
    }
}

void TCheckBox::UserClick() {
    if (!EnabledInTree() || !VisibleInTree()) return;
    if (TCustomForm* form = GetParentForm(this)) form->UserFocus(this);
    Toggle();
}

void TCheckBox::KeyPress(char& Key) {
    TWinControl::KeyPress(Key);
    if (Key == ' ' && EnabledInTree()) Toggle();
}

// ---------------------------------------------------------------- list boxes

void detail::TControlStrings::Changed() {
    TStringList::Changed();
    if (OnItemsChanged) OnItemsChanged();
}

TCustomListBox::TCustomListBox(TComponent* AOwner) : TWinControl(AOwner), FItems(new detail::TControlStrings) {
    InitBounds(121, 97);
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
    FItems->OnItemsChanged = [this] { ItemsChanged(); };
}

TCustomListBox::~TCustomListBox() {
    FItems->OnItemsChanged = nullptr;
    delete FItems;
}

void TCustomListBox::ItemsChanged() {
    FSelected.resize(static_cast<std::size_t>(FItems->Count()), false);
    if (FItemIndex >= FItems->Count()) FItemIndex = -1;
    Invalidate();
}

void TCustomListBox::SetItemIndex(int value) {
    if (value < -1 || value >= FItems->Count()) value = -1;
    FItemIndex = value;
    if (!FMultiSelect) std::fill(FSelected.begin(), FSelected.end(), false);
    if (value >= 0) FSelected[static_cast<std::size_t>(value)] = true;
}

void TCustomListBox::SetMultiSelect(bool value) {
    FMultiSelect = value;
    if (!value) SetItemIndex(FItemIndex);
}

bool TCustomListBox::Selected(int index) const {
    if (index < 0 || index >= FItems->Count()) throw EListError(Format("List index out of bounds (%d)", index));
    if (!FMultiSelect) return index == FItemIndex;
    return FSelected[static_cast<std::size_t>(index)];
}

void TCustomListBox::SetSelected(int index, bool value) {
    if (index < 0 || index >= FItems->Count()) throw EListError(Format("List index out of bounds (%d)", index));
    if (!FMultiSelect) {
        if (value)
            SetItemIndex(index);
        else if (index == FItemIndex)
            SetItemIndex(-1);
        return;
    }
    FSelected[static_cast<std::size_t>(index)] = value;
}

int TCustomListBox::SelCount() const {
    if (!FMultiSelect) return -1;
    return static_cast<int>(std::count(FSelected.begin(), FSelected.end(), true));
}

void TCustomListBox::SetSorted(bool value) {
    FSorted = value;
    FItems->SetSorted(value);
}

void TCustomListBox::UserClickItem(int index, TShiftState shift) {
    if (!EnabledInTree() || !VisibleInTree() || index < 0 || index >= FItems->Count()) return;
    if (TCustomForm* form = GetParentForm(this)) form->UserFocus(this);
    if (FMultiSelect) {
        if (shift.Contains(ssCtrl)) {
            FSelected[static_cast<std::size_t>(index)] = !FSelected[static_cast<std::size_t>(index)];
        } else {
            std::fill(FSelected.begin(), FSelected.end(), false);
            FSelected[static_cast<std::size_t>(index)] = true;
        }
        FItemIndex = index;
    } else {
        SetItemIndex(index);
    }
    Click();
}

void TCustomListBox::KeyDown(Word& Key, TShiftState Shift) {
    TWinControl::KeyDown(Key, Shift);
    if ((Key != VK_UP && Key != VK_DOWN) || FItems->Count() == 0) return;
    int next = FItemIndex < 0 ? 0 : FItemIndex + (Key == VK_DOWN ? 1 : -1);
    next = Clamp(next, 0, FItems->Count() - 1);
    if (FMultiSelect) std::fill(FSelected.begin(), FSelected.end(), false);
    SetItemIndex(next);
    Click();
}

// ---------------------------------------------------------------- combo boxes

TCustomComboBox::TCustomComboBox(TComponent* AOwner) : TWinControl(AOwner), FItems(new detail::TControlStrings) {
    InitBounds(145, 21);
    SetTabStop(true);
    SetParentColor(false);
    SetColor(clWindow);
    FItems->OnItemsChanged = [this] { ItemsChanged(); };
}

TCustomComboBox::~TCustomComboBox() {
    FItems->OnItemsChanged = nullptr;
    delete FItems;
}

void TCustomComboBox::ItemsChanged() {
    if (FItemIndex >= FItems->Count()) {
        FItemIndex = -1;
        if (FStyle == csDropDownList) FText.clear();
    }
    Invalidate();
}

void TCustomComboBox::SetStyle(TComboBoxStyle value) {
    FStyle = value;
    if (value == csDropDownList) FText = FItemIndex >= 0 ? FItems->Strings(FItemIndex) : String();
}

void TCustomComboBox::SetItemIndex(int value) {
    if (value < -1 || value >= FItems->Count()) value = -1;
    FItemIndex = value;
    if (value >= 0)
        TWinControl::SetText(FItems->Strings(value));
    else if (FStyle == csDropDownList)
        TWinControl::SetText(String());
}

void TCustomComboBox::SetText(const String& value) {
    if (FStyle == csDropDownList && !IsLoading()) {
        SetItemIndex(FItems->IndexOf(value));
        return;
    }
    TWinControl::SetText(value);
    if (FItemIndex >= 0 && FItems->Strings(FItemIndex) != value) FItemIndex = FItems->IndexOf(value);
}

void TCustomComboBox::SetSorted(bool value) {
    FSorted = value;
    FItems->SetSorted(value);
}

void TCustomComboBox::Clear() {
    FItems->Clear();
    FItemIndex = -1;
    TWinControl::SetText(String());
}

void TCustomComboBox::Loaded() {
    TWinControl::Loaded();
    if (FStyle == csDropDownList) SetItemIndex(FItems->IndexOf(FText));
}

void TCustomComboBox::Change() {
    if (!IsLoading() && OnChange) OnChange(this);
}

void TCustomComboBox::UserDropDown() {
    if (!EnabledInTree() || !VisibleInTree()) return;
    if (TCustomForm* form = GetParentForm(this)) form->UserFocus(this);
    if (OnDropDown) OnDropDown(this);
    FDroppedDown = true;
}

void TCustomComboBox::UserPick(int index) {
    FDroppedDown = false;
    if (index == FItemIndex) return;
    SetItemIndex(index);
    Click();
    Change();
}

void TCustomComboBox::UserSelectItem(int index) {
    if (!EnabledInTree() || !VisibleInTree() || index < 0 || index >= FItems->Count()) return;
    if (TCustomForm* form = GetParentForm(this)) form->UserFocus(this);
    UserPick(index);
}

void TCustomComboBox::KeyDown(Word& Key, TShiftState Shift) {
    TWinControl::KeyDown(Key, Shift);
    if (!EnabledInTree() || FItems->Count() == 0) return;
    if (Key == VK_UP || Key == VK_DOWN) {
        int next = FItemIndex < 0 ? 0 : FItemIndex + (Key == VK_DOWN ? 1 : -1);
        UserPick(Clamp(next, 0, FItems->Count() - 1));
        return;
    }
    if (Key == VK_BACK && FStyle != csDropDownList && !FText.empty()) {
        TWinControl::SetText(FText.substr(0, FText.size() - 1));
        FItemIndex = FItems->IndexOf(FText);
        Change();
    }
}

void TCustomComboBox::KeyPress(char& Key) {
    TWinControl::KeyPress(Key);
    if (!EnabledInTree() || static_cast<unsigned char>(Key) < 0x20 || Key == '\x7f') return;
    if (FStyle == csDropDownList) {
        // Incremental choice: the next item after the selected one whose
        // text starts with the character (case-insensitive), wrapping.
        const int count = FItems->Count();
        for (int step = 1; step <= count; ++step) {
            const int i = ((FItemIndex < 0 ? -1 : FItemIndex) + step) % count;
            const String item = FItems->Strings(i);
            if (!item.empty() &&
                std::toupper(static_cast<unsigned char>(item[0])) == std::toupper(static_cast<unsigned char>(Key))) {
                UserPick(i);
                return;
            }
        }
        return;
    }
    if (FMaxLength > 0 && static_cast<int>(FText.size()) >= FMaxLength) return;
    TWinControl::SetText(FText + Key);
    FItemIndex = FItems->IndexOf(FText);
    Change();
}

// ---------------------------------------------------------------- TGroupBox

TGroupBox::TGroupBox(TComponent* AOwner) : TCustomControl(AOwner) { InitBounds(185, 105); }

}  // namespace velora
