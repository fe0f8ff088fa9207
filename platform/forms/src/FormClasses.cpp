// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Registration of the forms layer's classes, properties and enumerations
// with the published-property registry. Property names, defaults and
// enumeration value names are the ones form files have always used, so
// stored dialogs keep reading. Two stored forms are this library's own: the panels of a status bar
// ("Panels.Items", see TStatusPanels::DefineProperties) and the nodes of a
// tree view ("Items.Data", see TTreeNodes).
#include "velora/forms/FormClasses.h"

#include "velora/forms/Buttons.h"
#include "velora/forms/ComCtrls.h"
#include "velora/forms/ExtCtrls.h"
#include "velora/forms/Forms.h"
#include "velora/forms/StdCtrls.h"

#include <mutex>

namespace velora {

namespace {

String CharToString(char c) { return c == '\0' ? String() : String(1, c); }
char StringToChar(const String& s) { return s.empty() ? '\0' : s[0]; }

void RegisterEnums() {
    RegisterEnum("TAlign", {"alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient"});
    RegisterEnum("TAlignment", {"taLeftJustify", "taRightJustify", "taCenter"});
    RegisterEnum("TFormBorderStyle", {"bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow", "bsSizeToolWin"});
    RegisterEnum("TPosition", {"poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly", "poScreenCenter"});
    RegisterEnum("TFontPitch", {"fpDefault", "fpVariable", "fpFixed"});
    RegisterEnum("TFontStyle", {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"});
    RegisterEnum("TTextLayout", {"tlTop", "tlCenter", "tlBottom"});
    RegisterEnum("TEditCharCase", {"ecNormal", "ecUpperCase", "ecLowerCase"});
    RegisterEnum("TScrollStyle", {"ssNone", "ssHorizontal", "ssVertical", "ssBoth"});
    RegisterEnum("TCheckBoxState", {"cbUnchecked", "cbChecked", "cbGrayed"});
    RegisterEnum("TComboBoxStyle",
                 {"csDropDown", "csSimple", "csDropDownList", "csOwnerDrawFixed", "csOwnerDrawVariable"});
    RegisterEnum("TPanelBevel", {"bvNone", "bvLowered", "bvRaised", "bvSpace"});
    RegisterEnum("TBevelShape",
                 {"bsBox", "bsFrame", "bsTopLine", "bsBottomLine", "bsLeftLine", "bsRightLine", "bsSpacer"});
    RegisterEnum("TBevelStyle", {"bsLowered", "bsRaised"});
    RegisterEnum("TButtonLayout", {"blGlyphLeft", "blGlyphRight", "blGlyphTop", "blGlyphBottom"});
    RegisterEnum("TBitBtnKind", {"bkCustom", "bkOK", "bkCancel", "bkHelp", "bkYes", "bkNo", "bkClose", "bkAbort",
                                 "bkRetry", "bkIgnore", "bkAll"});
    RegisterEnum("TStatusPanelStyle", {"psText", "psOwnerDraw"});
    RegisterEnum("TStatusPanelBevel", {"pbNone", "pbLowered", "pbRaised"});
}

const TEnumInfo& Enum(const char* name) { return *FindEnum(name); }

void RegisterGraphics() {
    RegisterClass<TFont>("TFont", "TPersistent")
        .IntegerProp("Charset", &TFont::Charset, &TFont::SetCharset)
        .Default(DEFAULT_CHARSET)
        .IntegerProp("Color", &TFont::Color, &TFont::SetColor)
        .Default(clWindowText)
        .IntegerProp("Height", &TFont::Height, &TFont::SetHeight)
        .Default(DefaultFontHeight)
        .StringProp("Name", &TFont::Name, &TFont::SetName)
        .Default(DefaultFontName)
        .EnumProp("Pitch", Enum("TFontPitch"), &TFont::Pitch, &TFont::SetPitch)
        .Default(fpDefault)
        .IntegerProp("Size", &TFont::Size, &TFont::SetSize)
        .NeverStored()
        .SetProp("Style", Enum("TFontStyle"), &TFont::Style, &TFont::SetStyle)
        .Default(TFontStyles{});
    RegisterClass<TPicture>("TPicture", "TPersistent");
}

void RegisterBases() {
    RegisterClass<TControl>("TControl", "TComponent")
        .IntegerProp("Left", &TControl::Left, &TControl::SetLeft)
        .IntegerProp("Top", &TControl::Top, &TControl::SetTop)
        // Forms store their client size instead.
        .IntegerProp("Width", &TControl::Width, &TControl::SetWidth)
        .Stored([](TControl* c) { return dynamic_cast<TCustomForm*>(c) == nullptr; })
        .IntegerProp("Height", &TControl::Height, &TControl::SetHeight)
        .Stored([](TControl* c) { return dynamic_cast<TCustomForm*>(c) == nullptr; });
    RegisterClass<TWinControl>("TWinControl", "TControl");
    RegisterClass<TGraphicControl>("TGraphicControl", "TControl");
    RegisterClass<TCustomControl>("TCustomControl", "TWinControl");
}

void RegisterForms() {
    RegisterClass<TCustomForm>("TCustomForm", "TWinControl");
    auto b = RegisterClass<TForm>("TForm", "TCustomForm");
    b.ComponentProp("ActiveControl", &TForm::ActiveControl, &TForm::SetActiveControl);
    b.EnumProp("BorderStyle", Enum("TFormBorderStyle"), &TForm::BorderStyle, &TForm::SetBorderStyle)
        .Default(bsSizeable);
    b.StringProp("Caption", &TForm::Caption, &TForm::SetCaption);
    b.IntegerProp("ClientHeight", &TForm::ClientHeight, &TForm::SetClientHeight);
    b.IntegerProp("ClientWidth", &TForm::ClientWidth, &TForm::SetClientWidth);
    PublishColorProps(b, clBtnFace, false);
    b.BooleanProp("Enabled", &TForm::Enabled, &TForm::SetEnabled).Default(true);
    b.ObjectProp("Font", &TForm::Font).Stored([](TForm* f) { return !f->ParentFont(); });
    b.StringProp("Hint", &TForm::Hint, &TForm::SetHint);
    b.BooleanProp("KeyPreview", &TForm::KeyPreview, &TForm::SetKeyPreview).Default(false);
    b.BooleanProp("ParentFont", &TForm::ParentFont, &TForm::SetParentFont).Default(false);
    b.IntegerProp("PixelsPerInch", &TForm::PixelsPerInch, &TForm::SetPixelsPerInch).Default(ScreenPixelsPerInch);
    b.EnumProp("Position", Enum("TPosition"), &TForm::Position, &TForm::SetPosition).Default(poDesigned);
    b.BooleanProp("Scaled", &TForm::Scaled, &TForm::SetScaled).Default(true);
    b.BooleanProp("ShowHint", &TForm::ShowHint, &TForm::SetShowHint).Default(false);
    b.EventProp("OnClick", &TForm::OnClick);
    b.EventProp("OnClose", &TForm::OnClose);
    b.EventProp("OnCloseQuery", &TForm::OnCloseQuery);
    b.EventProp("OnCreate", &TForm::OnCreate);
    b.EventProp("OnHide", &TForm::OnHide);
    b.EventProp("OnKeyDown", &TForm::OnKeyDown);
    b.EventProp("OnKeyPress", &TForm::OnKeyPress);
    b.EventProp("OnShow", &TForm::OnShow);
}

template <class T>
void PublishMemoProps(TClassBuilder<T>& b) {
    b.EnumProp("Alignment", Enum("TAlignment"), &T::Alignment, &T::SetAlignment).Default(taLeftJustify);
    PublishColorProps(b, clWindow, false);
    b.ObjectProp("Lines", &T::Lines);
    b.IntegerProp("MaxLength", &T::MaxLength, &T::SetMaxLength).Default(0);
    b.BooleanProp("ReadOnly", &T::ReadOnly, &T::SetReadOnly).Default(false);
    b.EnumProp("ScrollBars", Enum("TScrollStyle"), &T::ScrollBars, &T::SetScrollBars).Default(ssNone);
    PublishTabProps(b, true);
    b.BooleanProp("WantReturns", &T::WantReturns, &T::SetWantReturns).Default(true);
    b.BooleanProp("WantTabs", &T::WantTabs, &T::SetWantTabs).Default(false);
    b.BooleanProp("WordWrap", &T::WordWrap, &T::SetWordWrap).Default(true);
    PublishVisualProps(b);
    b.EventProp("OnChange", &T::OnChange);
    PublishMouseEvents(b);
    PublishFocusEvents(b);
}

void RegisterStandard() {
    RegisterClass<TCustomLabel>("TCustomLabel", "TGraphicControl");
    {
        auto b = RegisterClass<TLabel>("TLabel", "TCustomLabel");
        b.EnumProp("Align", Enum("TAlign"), &TLabel::Align, &TLabel::SetAlign).Default(alNone);
        b.EnumProp("Alignment", Enum("TAlignment"), &TLabel::Alignment, &TLabel::SetAlignment).Default(taLeftJustify);
        b.BooleanProp("AutoSize", &TLabel::AutoSize, &TLabel::SetAutoSize).Default(true);
        b.StringProp("Caption", &TLabel::Caption, &TLabel::SetCaption);
        PublishColorProps(b, clBtnFace, true);
        b.ComponentProp("FocusControl", &TLabel::FocusControl, &TLabel::SetFocusControl);
        b.EnumProp("Layout", Enum("TTextLayout"), &TLabel::Layout, &TLabel::SetLayout).Default(tlTop);
        b.BooleanProp("ShowAccelChar", &TLabel::ShowAccelChar, &TLabel::SetShowAccelChar).Default(true);
        b.BooleanProp("Transparent", &TLabel::Transparent, &TLabel::SetTransparent).Default(false);
        b.BooleanProp("WordWrap", &TLabel::WordWrap, &TLabel::SetWordWrap).Default(false);
        PublishVisualProps(b);
        PublishMouseEvents(b);
    }
    RegisterClass<TCustomEdit>("TCustomEdit", "TWinControl");
    {
        auto b = RegisterClass<TEdit>("TEdit", "TCustomEdit");
        b.BooleanProp("AutoSelect", &TEdit::AutoSelect, &TEdit::SetAutoSelect).Default(true);
        b.BooleanProp("AutoSize", &TEdit::AutoSize, &TEdit::SetAutoSize).Default(true);
        b.EnumProp("BorderStyle", Enum("TFormBorderStyle"), &TEdit::BorderStyle, &TEdit::SetBorderStyle)
            .Default(bsSingle);
        b.EnumProp("CharCase", Enum("TEditCharCase"), &TEdit::CharCase, &TEdit::SetCharCase).Default(ecNormal);
        PublishColorProps(b, clWindow, false);
        b.IntegerProp("MaxLength", &TEdit::MaxLength, &TEdit::SetMaxLength).Default(0);
        b.StringProp(
            "PasswordChar", [](TEdit* e) { return CharToString(e->PasswordChar()); },
            [](TEdit* e, const String& s) { e->SetPasswordChar(StringToChar(s)); });
        b.BooleanProp("ReadOnly", &TEdit::ReadOnly, &TEdit::SetReadOnly).Default(false);
        PublishTabProps(b, true);
        b.StringProp("Text", &TEdit::Text, &TEdit::SetText);
        PublishVisualProps(b);
        b.EventProp("OnChange", &TEdit::OnChange);
        PublishMouseEvents(b);
        PublishFocusEvents(b);
    }
    RegisterClass<TCustomMemo>("TCustomMemo", "TCustomEdit");
    {
        auto b = RegisterClass<TMemo>("TMemo", "TCustomMemo");
        PublishMemoProps(b);
    }
    {
        auto b = RegisterClass<TRichEdit>("TRichEdit", "TCustomMemo");
        PublishMemoProps(b);
        b.BooleanProp("HideSelection", &TRichEdit::HideSelection, &TRichEdit::SetHideSelection).Default(true);
        b.BooleanProp("PlainText", &TRichEdit::PlainText, &TRichEdit::SetPlainText).Default(false);
    }
    {
        // A bitmap button of a stock kind stores only its Kind.
        auto custom = [](TButton* b) {
            auto* bb = dynamic_cast<TBitBtn*>(b);
            return !bb || bb->Kind() == bkCustom;
        };
        auto b = RegisterClass<TButton>("TButton", "TWinControl");
        b.BooleanProp("Cancel", &TButton::Cancel, &TButton::SetCancel).Default(false).Stored(custom);
        b.StringProp("Caption", &TButton::Caption, &TButton::SetCaption).Stored(custom);
        b.BooleanProp("Default", &TButton::Default, &TButton::SetDefault).Default(false).Stored(custom);
        b.IntegerProp("ModalResult", &TButton::ModalResult, &TButton::SetModalResult).Default(mrNone).Stored(custom);
        PublishTabProps(b, true);
        PublishVisualProps(b);
        PublishMouseEvents(b);
        PublishFocusEvents(b);
    }
    {
        auto b = RegisterClass<TCheckBox>("TCheckBox", "TWinControl");
        b.EnumProp("Alignment", Enum("TAlignment"), &TCheckBox::Alignment, &TCheckBox::SetAlignment)
            .Default(taRightJustify);
        b.BooleanProp("AllowGrayed", &TCheckBox::AllowGrayed, &TCheckBox::SetAllowGrayed).Default(false);
        b.StringProp("Caption", &TCheckBox::Caption, &TCheckBox::SetCaption);
        b.BooleanProp("Checked", &TCheckBox::Checked, &TCheckBox::SetChecked).NeverStored();
        PublishColorProps(b, clBtnFace, true);
        b.EnumProp("State", Enum("TCheckBoxState"), &TCheckBox::State, &TCheckBox::SetState).Default(cbUnchecked);
        PublishTabProps(b, true);
        PublishVisualProps(b);
        PublishMouseEvents(b);
        PublishFocusEvents(b);
    }
    RegisterClass<TCustomListBox>("TCustomListBox", "TWinControl");
    {
        auto b = RegisterClass<TListBox>("TListBox", "TCustomListBox");
        PublishColorProps(b, clWindow, false);
        b.BooleanProp("ExtendedSelect", &TListBox::ExtendedSelect, &TListBox::SetExtendedSelect).Default(true);
        b.BooleanProp("IntegralHeight", &TListBox::IntegralHeight, &TListBox::SetIntegralHeight).Default(false);
        b.IntegerProp("ItemHeight", &TListBox::ItemHeight, &TListBox::SetItemHeight).Default(13);
        b.ObjectProp("Items", &TListBox::Items);
        b.BooleanProp("MultiSelect", &TListBox::MultiSelect, &TListBox::SetMultiSelect).Default(false);
        b.BooleanProp("Sorted", &TListBox::Sorted, &TListBox::SetSorted).Default(false);
        PublishTabProps(b, true);
        PublishVisualProps(b);
        PublishMouseEvents(b);
        PublishFocusEvents(b);
    }
    RegisterClass<TCustomComboBox>("TCustomComboBox", "TWinControl");
    {
        auto b = RegisterClass<TComboBox>("TComboBox", "TCustomComboBox");
        b.EnumProp("Style", Enum("TComboBoxStyle"), &TComboBox::Style, &TComboBox::SetStyle).Default(csDropDown);
        PublishColorProps(b, clWindow, false);
        b.IntegerProp("DropDownCount", &TComboBox::DropDownCount, &TComboBox::SetDropDownCount).Default(8);
        b.ObjectProp("Items", &TComboBox::Items);
        b.IntegerProp("MaxLength", &TComboBox::MaxLength, &TComboBox::SetMaxLength).Default(0);
        b.BooleanProp("Sorted", &TComboBox::Sorted, &TComboBox::SetSorted).Default(false);
        PublishTabProps(b, true);
        b.StringProp("Text", &TComboBox::Text, &TComboBox::SetText);
        PublishVisualProps(b);
        b.EventProp("OnChange", &TComboBox::OnChange);
        b.EventProp("OnDropDown", &TComboBox::OnDropDown);
        PublishMouseEvents(b);
        PublishFocusEvents(b);
    }
    {
        auto b = RegisterClass<TGroupBox>("TGroupBox", "TCustomControl");
        b.EnumProp("Align", Enum("TAlign"), &TGroupBox::Align, &TGroupBox::SetAlign).Default(alNone);
        b.StringProp("Caption", &TGroupBox::Caption, &TGroupBox::SetCaption);
        PublishColorProps(b, clBtnFace, true);
        PublishTabProps(b, false);
        PublishVisualProps(b);
        PublishMouseEvents(b);
        PublishFocusEvents(b);
    }
}

void RegisterExtra() {
    {
        auto b = RegisterClass<TPanel>("TPanel", "TCustomControl");
        b.EnumProp("Align", Enum("TAlign"), &TPanel::Align, &TPanel::SetAlign).Default(alNone);
        b.EnumProp("Alignment", Enum("TAlignment"), &TPanel::Alignment, &TPanel::SetAlignment).Default(taCenter);
        b.EnumProp("BevelInner", Enum("TPanelBevel"), &TPanel::BevelInner, &TPanel::SetBevelInner).Default(bvNone);
        b.EnumProp("BevelOuter", Enum("TPanelBevel"), &TPanel::BevelOuter, &TPanel::SetBevelOuter).Default(bvRaised);
        b.IntegerProp("BevelWidth", &TPanel::BevelWidth, &TPanel::SetBevelWidth).Default(1);
        b.IntegerProp("BorderWidth", &TPanel::BorderWidth, &TPanel::SetBorderWidth).Default(0);
        b.EnumProp("BorderStyle", Enum("TFormBorderStyle"), &TPanel::BorderStyle, &TPanel::SetBorderStyle)
            .Default(bsNone);
        b.StringProp("Caption", &TPanel::Caption, &TPanel::SetCaption);
        PublishColorProps(b, clBtnFace, true);
        PublishTabProps(b, false);
        PublishVisualProps(b);
        PublishMouseEvents(b);
        PublishFocusEvents(b);
    }
    {
        auto b = RegisterClass<TBevel>("TBevel", "TGraphicControl");
        b.EnumProp("Align", Enum("TAlign"), &TBevel::Align, &TBevel::SetAlign).Default(alNone);
        b.StringProp("Hint", &TBevel::Hint, &TBevel::SetHint);
        b.BooleanProp("ParentShowHint", &TBevel::ParentShowHint, &TBevel::SetParentShowHint).Default(true);
        b.EnumProp("Shape", Enum("TBevelShape"), &TBevel::Shape, &TBevel::SetShape).Default(bsBox);
        b.BooleanProp("ShowHint", &TBevel::ShowHint, &TBevel::SetShowHint).Default(false).Stored([](TBevel* c) {
            return !c->ParentShowHint();
        });
        b.EnumProp("Style", Enum("TBevelStyle"), &TBevel::Style, &TBevel::SetStyle).Default(bsLowered);
        b.BooleanProp("Visible", &TBevel::Visible, &TBevel::SetVisible).Default(true);
    }
    {
        auto b = RegisterClass<TImage>("TImage", "TGraphicControl");
        b.EnumProp("Align", Enum("TAlign"), &TImage::Align, &TImage::SetAlign).Default(alNone);
        b.BooleanProp("AutoSize", &TImage::AutoSize, &TImage::SetAutoSize).Default(false);
        b.BooleanProp("Center", &TImage::Center, &TImage::SetCenter).Default(false);
        b.ObjectProp("Picture", &TImage::Picture);
        b.BooleanProp("Stretch", &TImage::Stretch, &TImage::SetStretch).Default(false);
        b.BooleanProp("Transparent", &TImage::Transparent, &TImage::SetTransparent).Default(false);
        PublishVisualProps(b);
        PublishMouseEvents(b);
    }
    {
        auto b = RegisterClass<TSpeedButton>("TSpeedButton", "TGraphicControl");
        b.BooleanProp("AllowAllUp", &TSpeedButton::AllowAllUp, &TSpeedButton::SetAllowAllUp).Default(false);
        b.IntegerProp("GroupIndex", &TSpeedButton::GroupIndex, &TSpeedButton::SetGroupIndex).Default(0);
        b.BooleanProp("Down", &TSpeedButton::Down, &TSpeedButton::SetDown).Default(false);
        b.StringProp("Caption", &TSpeedButton::Caption, &TSpeedButton::SetCaption);
        b.BooleanProp("Flat", &TSpeedButton::Flat, &TSpeedButton::SetFlat).Default(false);
        b.ObjectProp("Glyph", &TSpeedButton::Glyph);
        b.EnumProp("Layout", Enum("TButtonLayout"), &TSpeedButton::Layout, &TSpeedButton::SetLayout)
            .Default(blGlyphLeft);
        b.IntegerProp("Margin", &TSpeedButton::Margin, &TSpeedButton::SetMargin).Default(-1);
        b.IntegerProp("NumGlyphs", &TSpeedButton::NumGlyphs, &TSpeedButton::SetNumGlyphs).Default(1);
        b.IntegerProp("Spacing", &TSpeedButton::Spacing, &TSpeedButton::SetSpacing).Default(4);
        PublishVisualProps(b);
        PublishMouseEvents(b);
    }
    {
        auto b = RegisterClass<TBitBtn>("TBitBtn", "TButton");
        b.ObjectProp("Glyph", &TBitBtn::Glyph);
        b.EnumProp("Kind", Enum("TBitBtnKind"), &TBitBtn::Kind, &TBitBtn::SetKind).Default(bkCustom);
        b.EnumProp("Layout", Enum("TButtonLayout"), &TBitBtn::Layout, &TBitBtn::SetLayout).Default(blGlyphLeft);
        b.IntegerProp("Margin", &TBitBtn::Margin, &TBitBtn::SetMargin).Default(-1);
        b.IntegerProp("NumGlyphs", &TBitBtn::NumGlyphs, &TBitBtn::SetNumGlyphs).Default(1);
        b.IntegerProp("Spacing", &TBitBtn::Spacing, &TBitBtn::SetSpacing).Default(4);
    }
}

void RegisterCommon() {
    RegisterClass<TStatusPanels>("TStatusPanels", "TPersistent");
    {
        auto b = RegisterClass<TStatusBar>("TStatusBar", "TWinControl");
        b.EnumProp("Align", Enum("TAlign"), &TStatusBar::Align, &TStatusBar::SetAlign).Default(alBottom);
        b.ObjectProp("Panels", &TStatusBar::Panels);
        b.BooleanProp("SimplePanel", &TStatusBar::SimplePanel, &TStatusBar::SetSimplePanel).Default(false);
        b.StringProp("SimpleText", &TStatusBar::SimpleText, &TStatusBar::SetSimpleText);
        b.BooleanProp("SizeGrip", &TStatusBar::SizeGrip, &TStatusBar::SetSizeGrip).Default(true);
        PublishTabProps(b, false);
        PublishVisualProps(b);
        PublishMouseEvents(b);
    }
    {
        auto b = RegisterClass<TTabSheet>("TTabSheet", "TWinControl");
        b.StringProp("Caption", &TTabSheet::Caption, &TTabSheet::SetCaption);
        b.BooleanProp("Enabled", &TTabSheet::Enabled, &TTabSheet::SetEnabled).Default(true);
        b.ObjectProp("Font", &TTabSheet::Font).Stored([](TTabSheet* c) { return !c->ParentFont(); });
        b.StringProp("Hint", &TTabSheet::Hint, &TTabSheet::SetHint);
        b.IntegerProp("PageIndex", &TTabSheet::PageIndex, &TTabSheet::SetPageIndex).NeverStored();
        b.BooleanProp("ParentFont", &TTabSheet::ParentFont, &TTabSheet::SetParentFont).Default(true);
        b.BooleanProp("TabVisible", &TTabSheet::TabVisible, &TTabSheet::SetTabVisible).Default(true);
        PublishTabProps(b, false);
        PublishFocusEvents(b);
    }
    {
        auto b = RegisterClass<TPageControl>("TPageControl", "TWinControl");
        b.ComponentProp("ActivePage", &TPageControl::ActivePage, &TPageControl::SetActivePage);
        b.EnumProp("Align", Enum("TAlign"), &TPageControl::Align, &TPageControl::SetAlign).Default(alNone);
        PublishTabProps(b, true);
        PublishVisualProps(b);
        b.EventProp("OnChange", &TPageControl::OnChange);
        b.EventProp("OnChanging", &TPageControl::OnChanging);
        PublishFocusEvents(b);
    }
    RegisterClass<TTreeNodes>("TTreeNodes", "TPersistent");
    {
        auto b = RegisterClass<TTreeView>("TTreeView", "TWinControl");
        b.EnumProp("Align", Enum("TAlign"), &TTreeView::Align, &TTreeView::SetAlign).Default(alNone);
        PublishColorProps(b, clWindow, false);
        b.BooleanProp("HideSelection", &TTreeView::HideSelection, &TTreeView::SetHideSelection).Default(true);
        b.IntegerProp("Indent", &TTreeView::Indent, &TTreeView::SetIndent).Default(19);
        b.ObjectProp("Items", &TTreeView::Items);
        b.BooleanProp("ReadOnly", &TTreeView::ReadOnly, &TTreeView::SetReadOnly).Default(false);
        b.BooleanProp("ShowButtons", &TTreeView::ShowButtons, &TTreeView::SetShowButtons).Default(true);
        b.BooleanProp("ShowLines", &TTreeView::ShowLines, &TTreeView::SetShowLines).Default(true);
        b.BooleanProp("ShowRoot", &TTreeView::ShowRoot, &TTreeView::SetShowRoot).Default(true);
        PublishTabProps(b, true);
        PublishVisualProps(b);
        b.EventProp("OnChange", &TTreeView::OnChange);
        PublishMouseEvents(b);
        PublishFocusEvents(b);
    }
}

}  // namespace

void RegisterFormClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterEnums();
        RegisterGraphics();
        RegisterBases();
        RegisterForms();
        RegisterStandard();
        RegisterExtra();
        RegisterCommon();
    });
}

}  // namespace velora
