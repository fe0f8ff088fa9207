// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Unit ODBClog: the login dialog. LoginDialogEx asks for a user name and a
// password in the small modal form TODBCLoginDialog and hands them back; it
// neither connects nor checks anything. The database component calls it
// when it must prompt and has no OnLogin handler; applications may call it
// too.
//
// The dialog's layout is stored with the form as form-file text (see
// TODBCLoginDialog::StoredLayout) and read by the form's constructor, so it
// can be examined, written out and compared like any other form.
#pragma once

#include "velora/forms/ExtCtrls.h"
#include "velora/forms/Forms.h"
#include "velora/forms/StdCtrls.h"

namespace velora {

/// The login form: a database name, a user name box and a password box
/// (31 characters each, the password shown as "*"), OK and Cancel.
class TODBCLoginDialog : public TForm {
public:
    /// Creates the form and reads its stored layout. OnShow is FormShow.
    explicit TODBCLoginDialog(TComponent* AOwner);

    // The form's controls, as named in its layout (owned by the form).
    TButton* OKButton = nullptr;
    TButton* CancelButton = nullptr;
    TPanel* MainPanel = nullptr;
    TLabel* Label3 = nullptr;
    TLabel* DatabaseName = nullptr;
    TBevel* Separator = nullptr;
    TImage* KeyImage = nullptr;
    TLabel* Label1 = nullptr;
    TEdit* UserName = nullptr;
    TLabel* Label2 = nullptr;
    TEdit* Password = nullptr;

    /// Keeps a long data source name inside the panel: when the panel's
    /// client width is at most DatabaseName's left edge plus its width,
    /// DatabaseName's width becomes the client width minus its left edge
    /// minus 5. (A label's width is its text's extent, TextExtentOf.)
    void FormShow(TObject* Sender);

    /// The form-file text of the layout.
    static const char* StoredLayout();
};

/// Shows the login dialog for ADatabaseName with AUserName proposed.
/// NameReadOnly disables the user name box; otherwise an empty proposed
/// name puts the focus on the user name box, else on the password box. The
/// incoming APassword is not shown. Answers true when the user closed the
/// dialog with OK, and then AUserName and APassword hold the two boxes'
/// texts; any other way of closing answers false and leaves both unchanged.
/// The dialog is owned by the Application while it exists and is freed on
/// every path. Login dialogs are shown one at a time in the process (a
/// second caller waits): they share the Application's component list and
/// one name there.
bool LoginDialogEx(const String& ADatabaseName, String& AUserName, String& APassword, bool NameReadOnly);

}  // namespace velora
