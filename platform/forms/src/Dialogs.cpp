// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Message boxes built as forms and shown through ShowModal.
#include "velora/forms/Dialogs.h"

#include "velora/forms/Application.h"
#include "velora/forms/StdCtrls.h"

#include <algorithm>
#include <memory>

namespace velora {

namespace {

struct TButtonInfo {
    const char* Name;
    const char* Caption;
    TModalResult Result;
};

const TButtonInfo ButtonInfo[] = {
    {"Yes", "&Yes", mrYes},          {"No", "&No", mrNo},          {"OK", "OK", mrOk},
    {"Cancel", "Cancel", mrCancel},  {"Abort", "&Abort", mrAbort}, {"Retry", "&Retry", mrRetry},
    {"Ignore", "&Ignore", mrIgnore}, {"All", "&All", mrAll},       {"Help", "&Help", mrNone},
};

const char* const Captions[] = {"Warning", "Error", "Information", "Confirmation"};

constexpr int kMargin = 8;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 25;
constexpr int kButtonGap = 6;

}  // namespace

TForm* CreateMessageDialog(const String& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons) {
    TOwnedPtr<TForm> form(new TForm(nullptr));
    form->SetBorderStyle(bsDialog);
    form->SetPosition(poScreenCenter);
    form->SetCaption(DlgType == mtCustom ? Application->Title() : String(Captions[DlgType]));

    auto* message = new TLabel(form.get());
    message->SetName("Message");
    message->SetParent(form.get());
    message->SetWordWrap(false);
    message->SetCaption(Msg);
    message->SetBounds(kMargin, kMargin, message->Width(), message->Height());

    std::vector<TButton*> buttons;
    TButton* defaultButton = nullptr;
    TButton* cancelButton = nullptr;
    for (int b = mbYes; b <= mbHelp; ++b) {
        const auto btn = static_cast<TMsgDlgBtn>(b);
        if (!Buttons.Contains(btn)) continue;
        auto* button = new TButton(form.get());
        button->SetName(ButtonInfo[b].Name);
        button->SetParent(form.get());
        button->SetCaption(ButtonInfo[b].Caption);
        button->SetModalResult(ButtonInfo[b].Result);
        if (!defaultButton && (btn == mbOK || btn == mbYes)) defaultButton = button;
        if (btn == mbCancel) cancelButton = button;
        buttons.push_back(button);
    }
    if (!cancelButton && Buttons.Contains(mbNo)) cancelButton = static_cast<TButton*>(form->FindComponent("No"));
    if (!cancelButton && buttons.size() == 1 && Buttons.Contains(mbOK)) cancelButton = buttons.front();
    if (defaultButton) defaultButton->SetDefault(true);
    if (cancelButton) cancelButton->SetCancel(true);

    const int count = static_cast<int>(buttons.size());
    const int rowWidth = count * kButtonWidth + std::max(0, count - 1) * kButtonGap;
    const int width = std::max(message->Width(), rowWidth) + 2 * kMargin;
    const int top = message->Top() + message->Height() + 2 * kMargin;
    int left = (width - rowWidth) / 2;
    for (TButton* button : buttons) {
        button->SetBounds(left, top, kButtonWidth, kButtonHeight);
        left += kButtonWidth + kButtonGap;
    }
    form->SetClientSize(width, top + kButtonHeight + kMargin);
    if (defaultButton) form->SetActiveControl(defaultButton);
    return form.release();
}

int MessageDlg(const String& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int) {
    TOwnedPtr<TForm> form(CreateMessageDialog(Msg, DlgType, Buttons));
    return form->ShowModal();
}

void ShowMessage(const String& Msg) {
    TOwnedPtr<TForm> form(CreateMessageDialog(Msg, mtCustom, TMsgDlgButtons{mbOK}));
    form->ShowModal();
}

}  // namespace velora
