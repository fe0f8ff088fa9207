// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Forms drawn to a canvas device, in a plain, flat style: every standard
// control paints itself (labels, edits, memos and rich-text boxes, buttons,
// check boxes, list and combo boxes, group boxes, panels, bevels, images,
// speed buttons, status bars, page controls, tree views), and a form adds
// its frame and title bar. Controls that paint themselves (TGraphicControl
// and TCustomControl descendants, such as the 3-D text label) run their own
// Paint on the device.
//
//     TRasterImage image(form->Width(), form->Height());
//     TRasterDevice device(image);
//     PaintForm(*form, device);
//     image.SavePNG("form.png");
#pragma once

#include "velora/forms/Controls.h"

namespace velora {

class TCustomForm;

/// Paints control and, for a windowed control, its visible children, with
/// the control's top-left corner at origin and nothing outside clip (device
/// coordinates). An invisible control paints nothing.
void PaintControl(TControl& control, TCanvasDevice& device, TPoint origin, const TRect& clip);
/// Paints a form at (0, 0): frame, title bar with the caption, then the
/// client area with its controls. The picture is Width × Height.
void PaintForm(TCustomForm& form, TCanvasDevice& device);

}  // namespace velora
