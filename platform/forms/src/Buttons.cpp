// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Speed buttons and bitmap buttons.
#include "velora/forms/Buttons.h"

#include "velora/forms/Forms.h"

namespace velora {

TSpeedButton::TSpeedButton(TComponent* AOwner) : TGraphicControl(AOwner), FGlyph(new TPicture) { InitBounds(23, 22); }

TSpeedButton::~TSpeedButton() { delete FGlyph; }

void TSpeedButton::SetDown(bool value) {
    if (FGroupIndex == 0) value = false;
    if (value == FDown) return;
    FDown = value;
    Invalidate();
    if (!value || !Parent()) return;
    for (int i = 0; i < Parent()->ControlCount(); ++i) {
        auto* other = dynamic_cast<TSpeedButton*>(Parent()->Controls(i));
        if (other && other != this && other->FGroupIndex == FGroupIndex && other->FDown) {
            other->FDown = false;
            other->Invalidate();
        }
    }
}

void TSpeedButton::Click() {
    if (FGroupIndex != 0) {
        if (!FDown)
            SetDown(true);
        else if (FAllowAllUp)
            SetDown(false);
    }
    TGraphicControl::Click();
}

namespace {

struct TKindInfo {
    const char* Caption;
    TModalResult Result;
};

const TKindInfo KindInfo[] = {
    {"", mrNone},       {"OK", mrOk},       {"Cancel", mrCancel}, {"&Help", mrNone},     {"&Yes", mrYes}, {"&No", mrNo},
    {"&Close", mrNone}, {"Abort", mrAbort}, {"&Retry", mrRetry},  {"&Ignore", mrIgnore}, {"&All", mrAll},
};

}  // namespace

TBitBtn::TBitBtn(TComponent* AOwner) : TButton(AOwner), FGlyph(new TPicture) {}

TBitBtn::~TBitBtn() { delete FGlyph; }

void TBitBtn::SetKind(TBitBtnKind value) {
    FKind = value;
    if (value == bkCustom) return;
    const TKindInfo& info = KindInfo[value];
    SetCaption(info.Caption);
    SetModalResult(info.Result);
    SetDefault(value == bkOK || value == bkYes);
    SetCancel(value == bkCancel || value == bkNo);
}

void TBitBtn::Click() {
    if (FKind == bkClose) {
        if (TCustomForm* form = GetParentForm(this)) {
            form->Close();
            TWinControl::Click();
            return;
        }
    }
    TButton::Click();
}

}  // namespace velora
