// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "velora/design/ODBCAbt.h"

#include "velora/classes/FormFiles.h"
#include "velora/forms/Application.h"
#include "velora/forms/FormClasses.h"

#include <mutex>

namespace velora {

namespace {

const char* const AboutLayout = R"(object About: TAbout
  Left = 240
  Top = 120
  BorderStyle = bsToolWindow
  Caption = 'About...'
  ClientHeight = 447
  ClientWidth = 542
  Font.Name = 'Arial'
  KeyPreview = True
  Position = poScreenCenter
  Scaled = False
  OnCreate = FormCreate
  object CompType: TLabel
    Left = 16
    Top = 12
    Width = 200
    Height = 24
    Font.Name = 'Arial'
    Font.Size = 14
    Font.Style = [fsBold]
    ParentFont = False
  end
  object ObjDesc: TTreeView
    Left = 16
    Top = 48
    Width = 180
    Height = 320
    Items.Data = {
      040000000000000000000000FFFFFFFFFFFFFFFF000000000B44657363726970
      74696F6E0000000000000000FFFFFFFFFFFFFFFF01000000064576656E747300
      00000000000000FFFFFFFFFFFFFFFF00000000074F6E4C6F67696E0000000000
      000000FFFFFFFFFFFFFFFF03000000074D6574686F64730000000000000000FF
      FFFFFFFFFFFFFF0000000005436C6F73650000000000000000FFFFFFFFFFFFFF
      FF000000000A446973636F6E6E6563740000000000000000FFFFFFFFFFFFFFFF
      00000000044F70656E0000000000000000FFFFFFFFFFFFFFFF030000000A5072
      6F706572746965730000000000000000FFFFFFFFFFFFFFFF0000000009436F6E
      6E65637465640000000000000000FFFFFFFFFFFFFFFF000000000E4461746153
      6F757263654E616D650000000000000000FFFFFFFFFFFFFFFF00000000075365
      7373696F6E}
    TabOrder = 0
  end
  object RichEdit1: TRichEdit
    Left = 204
    Top = 48
    Width = 322
    Height = 320
    TabOrder = 1
  end
  object TechSupport: TLabel
    Left = 16
    Top = 380
    Width = 160
    Height = 15
    Caption = 'Velora Technical Support'
  end
  object FootNote: TLabel
    Left = 16
    Top = 420
    Width = 260
    Height = 13
    Caption = 'Data-access components over ODBC for Linux'
    Font.Name = 'Arial'
    Font.Size = 7
    Font.Style = [fsItalic]
    ParentFont = False
  end
  object GetOnline: TButton
    Left = 364
    Top = 410
    Width = 75
    Height = 25
    Caption = 'Go Online'
    ModalResult = 7
    TabOrder = 2
  end
  object OKButton: TButton
    Left = 451
    Top = 410
    Width = 75
    Height = 25
    Caption = '&Ok'
    Default = True
    TabOrder = 3
    OnClick = OKButtonClick
  end
end
)";

}  // namespace

TAbout::TAbout(TComponent* AOwner) : TForm(AOwner) {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterFormClasses();
        RegisterClass<TAbout>("TAbout", "TForm");
    });
    RegisterMethod("FormCreate", TNotifyEvent([this](TObject* s) { FormCreate(s); }));
    RegisterMethod("OKButtonClick", TNotifyEvent([this](TObject* s) { OKButtonClick(s); }));
    ReadComponentStringInto(AboutLayout, this);
    CompType = LayoutComponent<TLabel>(*this, "CompType");
    ObjDesc = LayoutComponent<TTreeView>(*this, "ObjDesc");
    RichEdit1 = LayoutComponent<TRichEdit>(*this, "RichEdit1");
    TechSupport = LayoutComponent<TLabel>(*this, "TechSupport");
    FootNote = LayoutComponent<TLabel>(*this, "FootNote");
    GetOnline = LayoutComponent<TButton>(*this, "GetOnline");
    OKButton = LayoutComponent<TButton>(*this, "OKButton");
    DoCreate();
}

const char* TAbout::StoredLayout() { return AboutLayout; }

void TAboutProperty::Edit() {
    TOwnedPtr<TAbout> box(new TAbout(&*Application));
    box->SetComponentName(GetComponent(0)->ClassName());
    box->ShowModal();
}

}  // namespace velora
