// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The extra controls of the forms library: panels with bevels, bevels (boxes and
// lines), and images.
#pragma once

#include "velora/forms/Controls.h"

#include <cstdint>

namespace velora {

enum TPanelBevel : std::uint8_t { bvNone, bvLowered, bvRaised, bvSpace };
using TBevelWidth = int;

/// A container with a raised or lowered border, made of an outer and an
/// inner bevel, and an optional centred caption. Its client area is the
/// whole panel.
class TPanel : public TCustomControl {
public:
    explicit TPanel(TComponent* AOwner);

    TPanelBevel BevelInner() const { return FBevelInner; }
    void SetBevelInner(TPanelBevel value);
    TPanelBevel BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TPanelBevel value);
    TBevelWidth BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(TBevelWidth value);
    int BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int value);
    TBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TBorderStyle value);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment value);
    /// Pixels of border on each side: the bevels (BevelWidth each), the
    /// border width between them and a single border line.
    int BorderExtent() const;
    /// The bevels and the centred caption.
    void Paint() override;

private:
    TPanelBevel FBevelInner = bvNone;
    TPanelBevel FBevelOuter = bvRaised;
    TBevelWidth FBevelWidth = 1;
    int FBorderWidth = 0;
    TBorderStyle FBorderStyle = bsNone;
    TAlignment FAlignment = taCenter;
};

enum TBevelShape : std::uint8_t { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine, bsSpacer };
enum TBevelStyle : std::uint8_t { bsLowered, bsRaised };

/// A box, frame or line drawn with a 3-D look.
class TBevel : public TGraphicControl {
public:
    explicit TBevel(TComponent* AOwner);

    TBevelShape Shape() const { return FShape; }
    void SetShape(TBevelShape value);
    TBevelStyle Style() const { return FStyle; }
    void SetStyle(TBevelStyle value);
    void Paint() override;

private:
    TBevelShape FShape = bsBox;
    TBevelStyle FStyle = bsLowered;
};

/// Shows a picture (none in this library's forms: the picture stays empty).
class TImage : public TGraphicControl {
public:
    explicit TImage(TComponent* AOwner);
    ~TImage() override;

    TPicture* Picture() const { return FPicture; }
    void SetPicture(TPicture* value) { FPicture->Assign(value); }
    bool AutoSize() const { return FAutoSize; }
    void SetAutoSize(bool value) { FAutoSize = value; }
    bool Center() const { return FCenter; }
    void SetCenter(bool value) { FCenter = value; }
    bool Stretch() const { return FStretch; }
    void SetStretch(bool value) { FStretch = value; }
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool value) { FTransparent = value; }

private:
    TPicture* FPicture;
    bool FAutoSize = false;
    bool FCenter = false;
    bool FStretch = false;
    bool FTransparent = false;
};

}  // namespace velora
