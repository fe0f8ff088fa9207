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

template <class T>
T* Bind(TForm& form, const char* name) {
    auto* c = dynamic_cast<T*>(form.FindComponent(name));
    if (!c) throw EReadError(Format("The About box's layout has no %s", name));
    return c;
}

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
    CompType = Bind<TLabel>(*this, "CompType");
    ObjDesc = Bind<TTreeView>(*this, "ObjDesc");
    RichEdit1 = Bind<TRichEdit>(*this, "RichEdit1");
    TechSupport = Bind<TLabel>(*this, "TechSupport");
    FootNote = Bind<TLabel>(*this, "FootNote");
    GetOnline = Bind<TButton>(*this, "GetOnline");
    OKButton = Bind<TButton>(*this, "OKButton");
    // The fixed outline of the box.
    TTreeNodes* nodes = ObjDesc->Items();
    nodes->Add(nullptr, "Description");
    TTreeNode* events = nodes->Add(nullptr, "Events");
    nodes->AddChild(events, "OnLogin");
    TTreeNode* methods = nodes->Add(nullptr, "Methods");
    for (const char* m : {"Close", "Disconnect", "Open"}) nodes->AddChild(methods, m);
    TTreeNode* properties = nodes->Add(nullptr, "Properties");
    for (const char* p : {"Connected", "DataSourceName", "Session"}) nodes->AddChild(properties, p);
    DoCreate();
}

const char* TAbout::StoredLayout() { return AboutLayout; }

void TAboutProperty::Edit() {
    TOwnedPtr<TAbout> box(new TAbout(&*Application));
    box->SetComponentName(GetComponent(0)->ClassName());
    box->ShowModal();
}

}  // namespace velora
