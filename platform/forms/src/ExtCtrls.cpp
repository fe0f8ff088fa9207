// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Panels, bevels and images.
#include "velora/forms/ExtCtrls.h"

namespace velora {

TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner) { InitBounds(185, 41); }

void TPanel::SetBevelInner(TPanelBevel value) {
    FBevelInner = value;
    Invalidate();
}

void TPanel::SetBevelOuter(TPanelBevel value) {
    FBevelOuter = value;
    Invalidate();
}

void TPanel::SetBevelWidth(TBevelWidth value) {
    FBevelWidth = value < 1 ? 1 : value;
    Invalidate();
}

void TPanel::SetBorderWidth(int value) {
    FBorderWidth = value < 0 ? 0 : value;
    Invalidate();
}

void TPanel::SetBorderStyle(TBorderStyle value) {
    FBorderStyle = value;
    Invalidate();
}

void TPanel::SetAlignment(TAlignment value) {
    FAlignment = value;
    Invalidate();
}

int TPanel::BorderExtent() const {
    int extent = FBorderWidth;
    if (FBevelOuter != bvNone) extent += FBevelWidth;
    if (FBevelInner != bvNone) extent += FBevelWidth;
    if (FBorderStyle == bsSingle) extent += 1;
    return extent;
}

TBevel::TBevel(TComponent* AOwner) : TGraphicControl(AOwner) { InitBounds(50, 50); }

void TBevel::SetShape(TBevelShape value) {
    FShape = value;
    Invalidate();
}

void TBevel::SetStyle(TBevelStyle value) {
    FStyle = value;
    Invalidate();
}

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner), FPicture(new TPicture) { InitBounds(105, 105); }

TImage::~TImage() { delete FPicture; }

}  // namespace velora
