// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The parameter editor: TParamsEditProperty (the Params property of a
// query) opens TParamsEdit, which lists the query's parameters and gives
// each a data type and a default value, in place (there is no cancel).
//
// - The dialog remembers the parameter it displayed and writes the boxes
//   into that one, whatever the list shows when a box is left.
// - Selecting a parameter never given a value empties the value box, so
//   tabbing through stores nothing into it; boxes left unchanged store
//   nothing.
// - A value that does not convert to the chosen type (or the type "Cursor",
//   which cannot be bound) leaves the parameter exactly as it was and says
//   why in the status bar; no message box.
// - OK saves the boxes too (Return in the value box leaves no box), and a
//   refused value keeps the dialog open.
#pragma once

#include "velora/design/DesignIntf.h"
#include "velora/db/DBTypes.h"
#include "velora/forms/ComCtrls.h"
#include "velora/forms/Forms.h"
#include "velora/forms/StdCtrls.h"

namespace velora {

class TODBCQuery;

/// Params of a query: shows "(TODBCParams)"; Edit opens TParamsEdit and
/// always marks the designer modified.
class TParamsEditProperty : public TPropertyEditor {
public:
    using TPropertyEditor::TPropertyEditor;
    TPropertyAttributes GetAttributes() const override { return TPropertyAttributes{paDialog, paReadOnly}; }
    String GetValue() override { return "(TODBCParams)"; }
    void SetValue(const String&) override {}
    /// \throws EInvalidCast when the component is not a TODBCQuery.
    void Edit() override;
};

/// The entries of the type box, in order, and the data type of each.
struct TParamTypeEntry {
    const char* Text;
    TFieldType DataType;
};
extern const TParamTypeEntry ParamTypeEntries[15];

class TParamsEdit : public TForm {
public:
    explicit TParamsEdit(TComponent* AOwner);

    TGroupBox* ParamsGroup = nullptr;
    TLabel* ParamLabel = nullptr;
    TListBox* ParamsList = nullptr;
    TLabel* DataTypeLabel = nullptr;
    TComboBox* TypeChoice = nullptr;
    TLabel* ValueLabel = nullptr;
    TEdit* ValueEdit = nullptr;
    TButton* OKBtn = nullptr;
    TStatusBar* ParmsBar = nullptr;

    /// Gives the dialog its query: caption "<owner>.<query> Parameters";
    /// with parameters, enables the list and the boxes and lists the names.
    void SetQuery(TODBCQuery* Query);
    TODBCQuery* Query() const { return FQuery; }

    void ParamsListClick(TObject* Sender);
    void SaveChanges(TObject* Sender);
    bool CloseQuery() override;

    static const char* StoredLayout();

private:
    /// Writes the boxes into the parameter shown; false when it refused.
    bool Save();
    TODBCQuery* FQuery = nullptr;
    int FShown = -1;  // the parameter the boxes display
    String FShownType;
    String FShownValue;
};

}  // namespace velora
