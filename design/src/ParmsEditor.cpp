// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "velora/design/ParmsEditor.h"

#include "velora/classes/FormFiles.h"
#include "velora/components/ODBCParams.h"
#include "velora/components/ODBCQuery.h"
#include "velora/forms/Application.h"
#include "velora/forms/FormClasses.h"

#include <mutex>

namespace velora {

const TParamTypeEntry ParamTypeEntries[15] = {{"BCD", ftBCD},           {"Blob", ftBlob},     {"Boolean", ftBoolean},
                                              {"Currency", ftCurrency}, {"Cursor", ftCursor}, {"Date", ftDate},
                                              {"Datetime", ftDateTime}, {"Float", ftFloat},   {"Graphic", ftGraphic},
                                              {"Integer", ftInteger},   {"Memo", ftMemo},     {"SmallInt", ftSmallint},
                                              {"String", ftString},     {"Time", ftTime},     {"Word", ftWord}};

namespace {

const char* const ParamsEditLayout = R"(object ParamsEdit: TParamsEdit
  Left = 300
  Top = 200
  BorderStyle = bsToolWindow
  ClientHeight = 189
  ClientWidth = 366
  Font.Height = -11
  Font.Name = 'MS Sans Serif'
  Position = poScreenCenter
  object ParamsGroup: TGroupBox
    Left = 4
    Top = 4
    Width = 357
    Height = 161
    Caption = 'Define Velora Query Parameters'
    TabOrder = 0
    object ParamLabel: TLabel
      Left = 8
      Top = 20
      Width = 79
      Height = 13
      Caption = 'Parameter name:'
    end
    object ParamsList: TListBox
      Left = 8
      Top = 36
      Width = 121
      Height = 113
      Enabled = False
      Hint = 'For changing parameter values, select one'#13#10'parameter from the list and assign new values'#13#10'in the edit fields on this right'
      ShowHint = True
      TabOrder = 0
      OnClick = ParamsListClick
    end
    object DataTypeLabel: TLabel
      Left = 144
      Top = 44
      Width = 53
      Height = 13
      Caption = 'Data Type:'
    end
    object TypeChoice: TComboBox
      Left = 204
      Top = 40
      Width = 145
      Height = 21
      Style = csDropDownList
      Enabled = False
      Hint = 'Please select a parameter type'
      Items.Strings = (
        'BCD'
        'Blob'
        'Boolean'
        'Currency'
        'Cursor'
        'Date'
        'Datetime'
        'Float'
        'Graphic'
        'Integer'
        'Memo'
        'SmallInt'
        'String'
        'Time'
        'Word')
      TabOrder = 1
      OnClick = SaveChanges
      OnExit = SaveChanges
    end
    object ValueLabel: TLabel
      Left = 144
      Top = 72
      Width = 27
      Height = 13
      Caption = 'Value'
    end
    object ValueEdit: TEdit
      Left = 204
      Top = 68
      Width = 145
      Height = 21
      Enabled = False
      Hint = 'Please enter a default value for this parameter'#13#10'If you wish to have a NULL value, leave this'#13#10'field blank'
      ShowHint = True
      TabOrder = 2
      OnExit = SaveChanges
    end
    object OKBtn: TButton
      Left = 280
      Top = 132
      Width = 75
      Height = 25
      Caption = 'OK'
      Default = True
      ModalResult = 1
      TabOrder = 3
    end
  end
  object ParmsBar: TStatusBar
    Left = 0
    Top = 170
    Width = 366
    Height = 19
    Panels.Items = (
      50
      'Please select a Parameter from the list'
      taLeftJustify
      pbLowered
      psText)
    SimplePanel = False
    SizeGrip = False
  end
end
)";

String TypeText(TFieldType type) {
    for (const TParamTypeEntry& e : ParamTypeEntries)
        if (e.DataType == type) return e.Text;
    return String();
}

}  // namespace

TParamsEdit::TParamsEdit(TComponent* AOwner) : TForm(AOwner) {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterFormClasses();
        RegisterClass<TParamsEdit>("TParamsEdit", "TForm");
    });
    RegisterMethod("ParamsListClick", TNotifyEvent([this](TObject* s) { ParamsListClick(s); }));
    RegisterMethod("SaveChanges", TNotifyEvent([this](TObject* s) { SaveChanges(s); }));
    ReadComponentStringInto(ParamsEditLayout, this);
    ParamsGroup = LayoutComponent<TGroupBox>(*this, "ParamsGroup");
    ParamLabel = LayoutComponent<TLabel>(*this, "ParamLabel");
    ParamsList = LayoutComponent<TListBox>(*this, "ParamsList");
    DataTypeLabel = LayoutComponent<TLabel>(*this, "DataTypeLabel");
    TypeChoice = LayoutComponent<TComboBox>(*this, "TypeChoice");
    ValueLabel = LayoutComponent<TLabel>(*this, "ValueLabel");
    ValueEdit = LayoutComponent<TEdit>(*this, "ValueEdit");
    OKBtn = LayoutComponent<TButton>(*this, "OKBtn");
    ParmsBar = LayoutComponent<TStatusBar>(*this, "ParmsBar");
    DoCreate();
}

const char* TParamsEdit::StoredLayout() { return ParamsEditLayout; }

void TParamsEdit::SetQuery(TODBCQuery* Query) {
    FQuery = Query;
    FShown = -1;
    const String owner = Query->Owner() ? Query->Owner()->Name() : String();
    SetCaption(owner + "." + Query->Name() + " Parameters");
    ParamsList->Clear();
    TODBCParams* params = Query->Params();
    if (params->Count() < 1) return;
    ParamsList->SetEnabled(true);
    TypeChoice->SetEnabled(true);
    ValueEdit->SetEnabled(true);
    for (int i = 0; i < params->Count(); ++i) ParamsList->Items()->Add(params->Entry(i)->Name());
}

void TParamsEdit::ParamsListClick(TObject*) {
    const int index = ParamsList->ItemIndex();
    if (index < 0 || !FQuery) return;
    TODBCParam* param = FQuery->Params()->GetParam(index);
    FShown = index;
    TypeChoice->SetItemIndex(TypeChoice->Items()->IndexOf(TypeText(param->DataType())));
    String value;
    if (param->Bound()) try {
            value = param->AsString();
        } catch (const Exception&) {
            value.clear();
        }
    ValueEdit->SetText(value);
    FShownType = TypeChoice->Text();
    FShownValue = ValueEdit->Text();
    ParmsBar->Panels()->Items(0)->SetText("Configuring parameter value for field \"" + param->ColumnName() + "\"");
}

void TParamsEdit::SaveChanges(TObject*) { (void)Save(); }

bool TParamsEdit::CloseQuery() {
    // OK by Return leaves the focus in the value box: what it holds is
    // saved now, and a value the parameter refuses keeps the dialog open
    // with the reason in the status bar.
    if (ModalResult() == mrOk && !Save()) return false;
    return TForm::CloseQuery();
}

bool TParamsEdit::Save() {
    if (FShown < 0 || !FQuery) return true;
    if (TypeChoice->Text() == FShownType && ValueEdit->Text() == FShownValue) return true;  // nothing changed
    TODBCParam* param = FQuery->Params()->GetParam(FShown);
    TFieldType type = ftUnknown;
    for (const TParamTypeEntry& e : ParamTypeEntries)
        if (TypeChoice->Text() == e.Text) type = e.DataType;
    TStatusPanel* status = ParmsBar->Panels()->Items(0);
    if (type == ftCursor) {
        status->SetText("Parameter '" + param->Name() + "': the type Cursor cannot be bound; choose another");
        return false;
    }
    TODBCParam before(nullptr, ptUnknown);
    before.AssignParam(param);
    try {
        param->Clear();
        param->SetDataType(type);
        if (ValueEdit->Text().empty())
            param->Clear();
        else
            param->SetText(ValueEdit->Text());
        // A value the stored form could not write is refused here, not when
        // the form is saved.
        if (!param->IsNull() && param->DataType() != ftUnknown) (void)param->GetDataSize();
        if (!param->IsNull() && (type == ftSmallint || type == ftWord)) param->CheckBindRange();
    } catch (const Exception& e) {
        param->AssignParam(&before);
        status->SetText("Parameter '" + param->Name() + "' unchanged: " + e.Message());
        return false;
    }
    FShownType = TypeChoice->Text();
    FShownValue = ValueEdit->Text();
    status->SetText("Parameter '" + param->Name() + "' saved");
    return true;
}

void TParamsEditProperty::Edit() {
    auto* query = dynamic_cast<TODBCQuery*>(GetComponent(0));
    if (!query) throw EInvalidCast("Invalid class typecast");
    struct TAlwaysModified {
        TParamsEditProperty* Editor;
        ~TAlwaysModified() { Editor->Modified(); }
    } modified{this};
    TOwnedPtr<TParamsEdit> dialog(new TParamsEdit(&*Application));
    dialog->SetQuery(query);
    dialog->ShowModal();
}

}  // namespace velora
