// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The About property every Velora component shows at design time, and the
// About box it opens. The layout of the box is stored form-file text read
// by its constructor (TAbout::StoredLayout).
#pragma once

#include "velora/design/DesignIntf.h"
#include "velora/forms/ComCtrls.h"
#include "velora/forms/Forms.h"
#include "velora/forms/StdCtrls.h"

namespace velora {

/// About: shows "(About...)", cannot be typed, opens the About box.
class TAboutProperty : public TPropertyEditor {
public:
    using TPropertyEditor::TPropertyEditor;
    TPropertyAttributes GetAttributes() const override { return TPropertyAttributes{paDialog, paReadOnly}; }
    String GetValue() override { return "(About...)"; }
    /// Nothing to set: the value is fixed.
    void SetValue(const String&) override {}
    /// Shows the About box for the first selected component's class.
    void Edit() override;
};

class TAbout : public TForm {
public:
    explicit TAbout(TComponent* AOwner);

    TLabel* CompType = nullptr;
    TTreeView* ObjDesc = nullptr;
    TRichEdit* RichEdit1 = nullptr;
    TLabel* TechSupport = nullptr;
    TLabel* FootNote = nullptr;
    TButton* GetOnline = nullptr;
    TButton* OKButton = nullptr;

    void SetComponentName(const String& Name) { CompType->SetCaption(Name); }
    void OKButtonClick(TObject*) { Close(); }
    void FormCreate(TObject*) {}

    static const char* StoredLayout();
};

}  // namespace velora
