// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Message boxes. A message box is an ordinary form (a label "Message" and one
// button per choice, named after it: "Yes", "No", "OK", "Cancel", "Abort",
// "Retry", "Ignore", "All", "Help"), shown with ShowModal, so it goes through
// the current presenter like every dialog: a test script clicks "OK", the
// terminal shows the text and the buttons, and with no presenter the answer
// is mrCancel at once.
#pragma once

#include "velora/forms/Forms.h"

#include <cstdint>

namespace velora {

enum TMsgDlgType : std::uint8_t { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn : std::uint8_t { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbHelp };
using TMsgDlgButtons = TSet<TMsgDlgBtn>;

inline constexpr TMsgDlgButtons mbYesNoCancel{mbYes, mbNo, mbCancel};
inline constexpr TMsgDlgButtons mbOKCancel{mbOK, mbCancel};
inline constexpr TMsgDlgButtons mbAbortRetryIgnore{mbAbort, mbRetry, mbIgnore};

/// Builds (does not show) the message form, owned by the caller: caption
/// "Warning", "Error", "Information", "Confirmation" or, for mtCustom, the
/// application's title; the message in the label "Message"; the buttons in
/// the order of TMsgDlgBtn with captions "&Yes", "&No", "OK", "Cancel",
/// "&Abort", "&Retry", "&Ignore", "&All", "&Help" and their modal results.
/// The first of OK and Yes is the default button; Cancel (else No, else OK
/// when alone) is the cancel button.
TForm* CreateMessageDialog(const String& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons);
/// Shows a message box and answers the modal result of the button chosen
/// (mrCancel when closed otherwise or when nobody can answer).
int MessageDlg(const String& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);
/// A message box with an OK button and the application's title.
void ShowMessage(const String& Msg);

}  // namespace velora
