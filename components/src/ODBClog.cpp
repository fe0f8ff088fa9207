// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The login dialog: its stored layout, FormShow, and LoginDialogEx.
#include "velora/components/ODBClog.h"

#include "velora/forms/Application.h"
#include "velora/forms/FormClasses.h"
#include "velora/classes/FormFiles.h"
#include "velora/classes/TypInfo.h"

#include <mutex>

namespace velora {

namespace {

// Pixels at 96 dots per inch, text height 13. The labels' sizes are their
// text extents (AutoSize) and are computed again when the form is read.
const char* const LoginDialogLayout = R"(object ODBCLoginDialog: TODBCLoginDialog
  Left = 368
  Top = 279
  ActiveControl = Password
  BorderStyle = bsDialog
  Caption = 'Please enter your Login Information'
  ClientHeight = 185
  ClientWidth = 281
  ParentFont = True
  Position = poScreenCenter
  OnShow = FormShow
  object OKButton: TButton
    Left = 109
    Top = 154
    Width = 75
    Height = 25
    Caption = '&OK'
    Default = True
    ModalResult = 1
    TabOrder = 0
  end
  object CancelButton: TButton
    Left = 190
    Top = 154
    Width = 75
    Height = 25
    Cancel = True
    Caption = 'Cancel'
    ModalResult = 2
    TabOrder = 1
  end
  object MainPanel: TPanel
    Left = 12
    Top = 7
    Width = 257
    Height = 138
    BevelInner = bvRaised
    BevelOuter = bvLowered
    TabOrder = 2
    object Label3: TLabel
      Left = 10
      Top = 6
      Width = 54
      Height = 13
      Caption = 'Database:'
    end
    object DatabaseName: TLabel
      Left = 91
      Top = 6
      Width = 6
      Height = 13
    end
    object Separator: TBevel
      Left = 1
      Top = 24
      Width = 254
      Height = 9
      Shape = bsTopLine
    end
    object KeyImage: TImage
      Left = 8
      Top = 40
      Width = 69
      Height = 89
    end
    object Label1: TLabel
      Left = 90
      Top = 35
      Width = 60
      Height = 13
      Caption = '&User Name:'
      FocusControl = UserName
    end
    object UserName: TEdit
      Left = 88
      Top = 56
      Width = 153
      Height = 21
      MaxLength = 31
      TabOrder = 0
    end
    object Label2: TLabel
      Left = 90
      Top = 87
      Width = 54
      Height = 13
      Caption = '&Password:'
      FocusControl = Password
    end
    object Password: TEdit
      Left = 88
      Top = 104
      Width = 153
      Height = 21
      MaxLength = 31
      PasswordChar = '*'
      TabOrder = 1
    end
  end
end
)";

void RegisterLoginDialog() {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterFormClasses();
        RegisterClass<TODBCLoginDialog>("TODBCLoginDialog", "TForm");
    });
}

// One login dialog at a time: dialogs are owned by the Application, whose
// component list is not shared safely between threads, and every dialog
// takes the form's name there.
std::recursive_mutex& LoginDialogLock() {
    static std::recursive_mutex* lock = new std::recursive_mutex;
    return *lock;
}

}  // namespace

TODBCLoginDialog::TODBCLoginDialog(TComponent* AOwner) : TForm(AOwner) {
    RegisterLoginDialog();
    RegisterMethod("FormShow", TNotifyEvent([this](TObject* sender) { FormShow(sender); }));
    ReadComponentStringInto(LoginDialogLayout, this);
    OKButton = LayoutComponent<TButton>(*this, "OKButton");
    CancelButton = LayoutComponent<TButton>(*this, "CancelButton");
    MainPanel = LayoutComponent<TPanel>(*this, "MainPanel");
    Label3 = LayoutComponent<TLabel>(*this, "Label3");
    DatabaseName = LayoutComponent<TLabel>(*this, "DatabaseName");
    Separator = LayoutComponent<TBevel>(*this, "Separator");
    KeyImage = LayoutComponent<TImage>(*this, "KeyImage");
    Label1 = LayoutComponent<TLabel>(*this, "Label1");
    UserName = LayoutComponent<TEdit>(*this, "UserName");
    Label2 = LayoutComponent<TLabel>(*this, "Label2");
    Password = LayoutComponent<TEdit>(*this, "Password");
    DoCreate();
}

const char* TODBCLoginDialog::StoredLayout() { return LoginDialogLayout; }

void TODBCLoginDialog::FormShow(TObject*) {
    if (MainPanel->ClientWidth() <= DatabaseName->Left() + DatabaseName->Width())
        DatabaseName->SetWidth(MainPanel->ClientWidth() - DatabaseName->Left() - 5);
}

bool LoginDialogEx(const String& ADatabaseName, String& AUserName, String& APassword, bool NameReadOnly) {
    std::lock_guard<std::recursive_mutex> guard(LoginDialogLock());
    TOwnedPtr<TODBCLoginDialog> dialog(new TODBCLoginDialog(&*Application));
    dialog->DatabaseName->SetCaption(ADatabaseName);
    dialog->UserName->SetText(AUserName);
    if (NameReadOnly)
        dialog->UserName->SetEnabled(false);
    else if (AUserName.empty())
        dialog->SetActiveControl(dialog->UserName);
    if (dialog->ShowModal() != mrOk) return false;
    // Both or neither: copy first, then swap (no throw).
    String userName = dialog->UserName->Text();
    String password = dialog->Password->Text();
    AUserName.swap(userName);
    APassword.swap(password);
    return true;
}

}  // namespace velora
