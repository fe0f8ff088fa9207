// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The published properties of the forms layer: every control and form class
// registered with the property registry (TypInfo.h) under their class
// and property names, so that form files can store and read dialogs and the
// design-time editors can list their properties.
//
// The helpers below publish the groups of properties most controls share,
// with the defaults of the class at hand; classes built on the controls in
// other layers (a label that draws in 3-D, a dialog form) use them too:
//
//     auto b = RegisterClass<TSmartText>("TSmartText", "TCustomLabel");
//     PublishVisualProps(b);
//     b.StringProp("Caption", &TSmartText::Caption, &TSmartText::SetCaption);
//
// Enumerations registered here, by type name: TAlign, TAlignment,
// TFormBorderStyle (also for borders of controls), TPosition, TFontPitch,
// TFontStyle, TTextLayout, TEditCharCase, TScrollStyle, TCheckBoxState,
// TComboBoxStyle, TPanelBevel, TBevelShape, TBevelStyle, TButtonLayout,
// TBitBtnKind, TStatusPanelStyle, TStatusPanelBevel (FindEnum).
#pragma once

#include "velora/forms/Controls.h"
#include "velora/classes/TypInfo.h"

namespace velora {

/// Registers the classes and enumerations of the forms layer, once
/// (thread-safe). Every control's constructor runs it; call it yourself
/// before reading a form file whose classes nothing has created yet.
void RegisterFormClasses();

/// Enabled, Font (stored when not ParentFont), Hint, ParentFont,
/// ParentShowHint, ShowHint, Visible.
template <class T>
TClassBuilder<T>& PublishVisualProps(TClassBuilder<T>& b) {
    b.BooleanProp("Enabled", &T::Enabled, &T::SetEnabled).Default(true);
    b.ObjectProp("Font", &T::Font).Stored([](T* c) { return !c->ParentFont(); });
    b.StringProp("Hint", &T::Hint, &T::SetHint);
    b.BooleanProp("ParentFont", &T::ParentFont, &T::SetParentFont).Default(true);
    b.BooleanProp("ParentShowHint", &T::ParentShowHint, &T::SetParentShowHint).Default(true);
    b.BooleanProp("ShowHint", &T::ShowHint, &T::SetShowHint).Default(false).Stored([](T* c) {
        return !c->ParentShowHint();
    });
    b.BooleanProp("Visible", &T::Visible, &T::SetVisible).Default(true);
    return b;
}

/// Color (stored when not ParentColor, default colorDefault) and
/// ParentColor (default parentColorDefault).
template <class T>
TClassBuilder<T>& PublishColorProps(TClassBuilder<T>& b, TColor colorDefault, bool parentColorDefault) {
    b.IntegerProp("Color", &T::Color, &T::SetColor).Default(colorDefault).Stored([](T* c) {
        return !c->ParentColor();
    });
    b.BooleanProp("ParentColor", &T::ParentColor, &T::SetParentColor).Default(parentColorDefault);
    return b;
}

/// TabOrder (stored for controls with a parent) and TabStop.
template <class T>
TClassBuilder<T>& PublishTabProps(TClassBuilder<T>& b, bool tabStopDefault) {
    b.IntegerProp("TabOrder", &T::TabOrder, &T::SetTabOrder).Stored([](T* c) { return c->Parent() != nullptr; });
    b.BooleanProp("TabStop", &T::TabStop, &T::SetTabStop).Default(tabStopDefault);
    return b;
}

/// OnClick, OnDblClick, OnMouseDown, OnMouseMove, OnMouseUp.
template <class T>
TClassBuilder<T>& PublishMouseEvents(TClassBuilder<T>& b) {
    b.EventProp("OnClick", &T::OnClick);
    b.EventProp("OnDblClick", &T::OnDblClick);
    b.EventProp("OnMouseDown", &T::OnMouseDown);
    b.EventProp("OnMouseMove", &T::OnMouseMove);
    b.EventProp("OnMouseUp", &T::OnMouseUp);
    return b;
}

/// OnEnter, OnExit, OnKeyDown, OnKeyPress.
template <class T>
TClassBuilder<T>& PublishFocusEvents(TClassBuilder<T>& b) {
    b.EventProp("OnEnter", &T::OnEnter);
    b.EventProp("OnExit", &T::OnExit);
    b.EventProp("OnKeyDown", &T::OnKeyDown);
    b.EventProp("OnKeyPress", &T::OnKeyPress);
    return b;
}

}  // namespace velora
