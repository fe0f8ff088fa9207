// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The update-SQL generator, its dialog and its component editor.
#include "velora/design/ODBCUpd.h"

#include "velora/classes/FormFiles.h"
#include "velora/components/ODBCCatalog.h"
#include "velora/components/ODBCDataSet.h"
#include "velora/components/ODBCDatabase.h"
#include "velora/components/ODBCUpdateSQL.h"
#include "velora/engine/ODBCConnect.h"
#include "velora/forms/Application.h"
#include "velora/forms/Dialogs.h"
#include "velora/forms/FormClasses.h"
#include "velora/odbc/ODBCBoundary.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <mutex>

namespace velora {

// ---- names -------------------------------------------------------------------

TIdentifierRules IdentifierRulesOf(SQLHDBC dbc) {
    TIdentifierRules rules;
    rules.Quote = IdentifierQuoteChar(dbc);
    SQLUSMALLINT folding = SQL_IC_MIXED;
    if (ODBCSucceeded(odbc::SQLGetInfo(dbc, SQL_IDENTIFIER_CASE, &folding, sizeof folding, nullptr)))
        rules.Case = folding;
    return rules;
}

bool NeedsQuoting(const String& name, const TIdentifierRules& rules) { return odbc::NeedsQuoting(name, rules.Case); }

String SQLName(const String& name, const TIdentifierRules& rules, bool force) {
    return force || NeedsQuoting(name, rules) ? QuoteName(name, rules.Quote) : name;
}

String StatementTableName(const String& sql) {
    using K = odbc::TSQLTokenKind;
    const std::vector<odbc::TSQLToken> tokens = odbc::SQLTokens(sql, {});
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        if (!odbc::IsSQLWord(sql, tokens[i], "FROM") && !odbc::IsSQLWord(sql, tokens[i], "INTO")) continue;
        // The name runs over the tokens that follow without a blank, up to a
        // comma, parenthesis, semicolon or literal.
        std::size_t j = i + 1;
        while (j < tokens.size() && (j == i + 1 || tokens[j].Begin == tokens[j - 1].End) &&
               tokens[j].Kind != K::String && tokens[j].Kind != K::Comment &&
               !(tokens[j].Kind == K::Punct && String(",();").find(sql[tokens[j].Begin]) != String::npos))
            ++j;
        if (j > i + 1) return sql.substr(tokens[i + 1].Begin, tokens[j - 1].End - tokens[i + 1].Begin);
    }
    return String();
}

std::vector<String> TableNameParts(const String& tableName) {
    std::vector<String> parts(1);
    for (const odbc::TSQLToken& t : odbc::SQLTokens(tableName, {})) {
        if (odbc::IsSQLPunct(tableName, t, '.'))
            parts.emplace_back();
        else if (t.Kind == odbc::TSQLTokenKind::QuotedName)
            parts.back() += odbc::UnquotedName(odbc::TokenText(tableName, t));
        else
            parts.back() += String(odbc::TokenText(tableName, t));
    }
    return parts;
}

// ---- the generator -------------------------------------------------------------

TUpdateStatements GenerateUpdateSQL(const String& tableName, const std::vector<TUpdateField>& fields, bool quoteNames,
                                    const TIdentifierRules& rules) {
    const String& t = tableName;
    auto marker = [&](const String& name) {
        return quoteNames || !IsPlainIdentifier(name) ? QuoteName(name, '"') : name;
    };
    const auto keyCount = std::count_if(fields.begin(), fields.end(), [](const TUpdateField& f) { return f.Key; });
    const auto updateCount =
        std::count_if(fields.begin(), fields.end(), [](const TUpdateField& f) { return f.Update; });
    String modify = "UPDATE " + t + "\r\nSET\r\n  ";
    String condition = "\r\nWHERE\r\n  ";
    String insert = "INSERT INTO " + t + "\r\n  (";
    String values = "\r\nVALUES\r\n  (";
    String del = "DELETE FROM " + t + "\r\nWHERE\r\n  ";
    long keys = 0;
    long updates = 0;
    for (const TUpdateField& f : fields) {
        const String name = SQLName(f.Name, rules, quoteNames);
        if (f.Key) {
            const String piece = (quoteNames ? t + "." + name : name) + " = :" + marker("OLD_" + f.Name);
            condition += piece;
            del += piece;
            if (++keys < keyCount) {
                condition += " AND\r\n  ";
                del += " AND\r\n  ";
            }
        }
        if (f.Update) {
            modify += name + " = :" + marker(f.Name);
            insert += name;
            values += ":" + marker(f.Name);
            if (++updates < updateCount) {
                modify += ",\r\n  ";
                insert += ", ";
                values += ", ";
            }
        }
    }
    return {modify + condition, insert + ")" + values + ")", del};
}

std::vector<TUpdateField> DefaultUpdateFields(TODBCDataSet& dataSet, const String& tableName) {
    std::vector<String> key;
    if (TODBCDatabase* db = dataSet.GetDataBase(); db && db->Connected() && !tableName.empty()) {
        String catalogName;
        for (const String& part : TableNameParts(tableName)) catalogName += (catalogName.empty() ? "" : ".") + part;
        try {
            key = ODBCPrimaryKey(*db, catalogName);
        } catch (const Exception&) {
            key.clear();  // no key known: the comparable fields below
        }
    }
    std::vector<TUpdateField> fields;
    for (int i = 0; i < dataSet.FieldCount(); ++i) {
        TField* field = dataSet.Fields().Fields(i);
        if (field->FieldKind() != fkData) continue;
        TUpdateField f;
        f.Name = field->FieldName();
        const TFieldType type = field->DataType();
        if (!key.empty()) {
            f.Key = std::any_of(key.begin(), key.end(), [&](const String& k) { return SameText(k, f.Name); });
        } else {
            switch (type) {
                case ftFloat:
                case ftBlob:
                case ftMemo:
                case ftGraphic:
                case ftFmtMemo:
                case ftParadoxOle:
                case ftDBaseOle:
                case ftTypedBinary:
                    f.Key = false;
                    break;
                default:
                    f.Key = true;
            }
        }
        bool autoIncrement = type == ftAutoInc;
        if (!autoIncrement && dataSet.StmtHandle() && field->FieldNo() > 0) {
            SQLLEN unique = SQL_FALSE;
            if (ODBCSucceeded(odbc::SQLColAttribute(dataSet.StmtHandle(), static_cast<SQLUSMALLINT>(field->FieldNo()),
                                                    SQL_DESC_AUTO_UNIQUE_VALUE, nullptr, 0, nullptr, &unique)))
                autoIncrement = unique == SQL_TRUE;
        }
        f.Update = !autoIncrement;
        fields.push_back(std::move(f));
    }
    return fields;
}

// ---- the dialog --------------------------------------------------------------------

namespace {

const char* const UpdateEditLayout = R"(object UpdateEdit: TUpdateEdit
  Left = 200
  Top = 120
  BorderStyle = bsDialog
  Caption = 'UpdateEdit'
  ClientHeight = 297
  ClientWidth = 470
  Position = poScreenCenter
  object UpdatePage: TPageControl
    Left = 6
    Top = 6
    Width = 458
    Height = 252
    TabOrder = 0
    object Options: TTabSheet
      Caption = 'Options'
      object SQLGenGroup: TGroupBox
        Left = 6
        Top = 4
        Width = 438
        Height = 212
        Caption = 'SQL Generation '
        TabOrder = 0
        object Label1: TLabel
          Left = 10
          Top = 20
          Width = 58
          Height = 13
          Caption = 'Table Name'
        end
        object NameOfTable: TLabel
          Left = 10
          Top = 38
          Width = 120
          Height = 13
          Font.Style = [fsBold]
        end
        object DataSetDef: TSpeedButton
          Left = 10
          Top = 64
          Width = 120
          Height = 25
          Caption = 'DataSet Defaults'
          Enabled = False
          OnClick = DataSetDefClick
        end
        object Generate: TSpeedButton
          Left = 10
          Top = 96
          Width = 120
          Height = 25
          Caption = 'Generate SQL'
          Enabled = False
          OnClick = GenerateClick
        end
        object QuoteIt: TCheckBox
          Left = 10
          Top = 132
          Width = 120
          Height = 17
          Caption = 'Quote Field Names'
          Enabled = False
          TabOrder = 0
        end
        object Label2: TLabel
          Left = 144
          Top = 20
          Width = 50
          Height = 13
          Caption = 'Key Fields'
        end
        object KeyFieldsList: TListBox
          Left = 144
          Top = 38
          Width = 138
          Height = 164
          MultiSelect = True
          TabOrder = 1
        end
        object Label3: TLabel
          Left = 290
          Top = 20
          Width = 64
          Height = 13
          Caption = 'Update Fields'
        end
        object UpdateFieldsList: TListBox
          Left = 290
          Top = 38
          Width = 138
          Height = 164
          MultiSelect = True
          TabOrder = 2
        end
      end
    end
    object SQL: TTabSheet
      Caption = 'SQL'
      object PageControl2: TPageControl
        Left = 4
        Top = 4
        Width = 442
        Height = 214
        TabOrder = 0
        object Modify: TTabSheet
          Caption = 'Modify'
          object ModifySQL: TMemo
            Left = 0
            Top = 0
            Width = 434
            Height = 186
            TabOrder = 0
          end
        end
        object Insert: TTabSheet
          Caption = 'Insert'
          object InsertSQL: TMemo
            Left = 0
            Top = 0
            Width = 434
            Height = 186
            TabOrder = 0
          end
        end
        object Delete: TTabSheet
          Caption = 'Delete'
          object DeleteSQL: TMemo
            Left = 0
            Top = 0
            Width = 434
            Height = 186
            TabOrder = 0
          end
        end
      end
    end
  end
  object btnOK: TButton
    Left = 308
    Top = 266
    Width = 75
    Height = 25
    Caption = 'OK'
    Default = True
    ModalResult = 1
    TabOrder = 1
  end
  object btnCancel: TButton
    Left = 389
    Top = 266
    Width = 75
    Height = 25
    Cancel = True
    Caption = 'Cancel'
    ModalResult = 2
    TabOrder = 2
  end
end
)";

}  // namespace

TUpdateEdit::TUpdateEdit(TComponent* AOwner) : TForm(AOwner) {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterFormClasses();
        RegisterClass<TUpdateEdit>("TUpdateEdit", "TForm");
    });
    RegisterMethod("DataSetDefClick", TNotifyEvent([this](TObject* s) { DataSetDefClick(s); }));
    RegisterMethod("GenerateClick", TNotifyEvent([this](TObject* s) { GenerateClick(s); }));
    ReadComponentStringInto(UpdateEditLayout, this);
    UpdatePage = LayoutComponent<TPageControl>(*this, "UpdatePage");
    Options = LayoutComponent<TTabSheet>(*this, "Options");
    SQL = LayoutComponent<TTabSheet>(*this, "SQL");
    SQLGenGroup = LayoutComponent<TGroupBox>(*this, "SQLGenGroup");
    Label1 = LayoutComponent<TLabel>(*this, "Label1");
    NameOfTable = LayoutComponent<TLabel>(*this, "NameOfTable");
    DataSetDef = LayoutComponent<TSpeedButton>(*this, "DataSetDef");
    Generate = LayoutComponent<TSpeedButton>(*this, "Generate");
    QuoteIt = LayoutComponent<TCheckBox>(*this, "QuoteIt");
    Label2 = LayoutComponent<TLabel>(*this, "Label2");
    KeyFieldsList = LayoutComponent<TListBox>(*this, "KeyFieldsList");
    Label3 = LayoutComponent<TLabel>(*this, "Label3");
    UpdateFieldsList = LayoutComponent<TListBox>(*this, "UpdateFieldsList");
    PageControl2 = LayoutComponent<TPageControl>(*this, "PageControl2");
    ModifySQL = LayoutComponent<TMemo>(*this, "ModifySQL");
    InsertSQL = LayoutComponent<TMemo>(*this, "InsertSQL");
    DeleteSQL = LayoutComponent<TMemo>(*this, "DeleteSQL");
    btnOK = LayoutComponent<TButton>(*this, "btnOK");
    btnCancel = LayoutComponent<TButton>(*this, "btnCancel");
    UpdatePage->SetActivePage(Options);
    DoCreate();
}

const char* TUpdateEdit::StoredLayout() { return UpdateEditLayout; }

void TUpdateEdit::DataSetDefClick(TObject*) {
    KeyFieldsList->Clear();
    UpdateFieldsList->Clear();
    if (!DataSet) return;
    const std::vector<TUpdateField> fields = DefaultUpdateFields(*DataSet, TableName);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        KeyFieldsList->Items()->Add(fields[i].Name);
        UpdateFieldsList->Items()->Add(fields[i].Name);
        KeyFieldsList->SetSelected(static_cast<int>(i), fields[i].Key);
        UpdateFieldsList->SetSelected(static_cast<int>(i), fields[i].Update);
    }
}

void TUpdateEdit::GenerateClick(TObject*) {
    std::vector<TUpdateField> fields;
    for (int i = 0; i < KeyFieldsList->Items()->Count(); ++i)
        fields.push_back({KeyFieldsList->Items()->Strings(i), KeyFieldsList->Selected(i),
                          i < UpdateFieldsList->Items()->Count() && UpdateFieldsList->Selected(i)});
    const TUpdateStatements s = GenerateUpdateSQL(TableName, fields, QuoteIt->Checked(), Rules);
    ModifySQL->Lines()->SetText(s.Modify);
    InsertSQL->Lines()->SetText(s.Insert);
    DeleteSQL->Lines()->SetText(s.Delete);
    UpdatePage->SetActivePage(SQL);
}

// ---- the component editor -------------------------------------------------------------

String TODBCUpdateSQLComponentEdit::GetVerb(int) { return "ODBCUpdateSQL Editor..."; }

void TODBCUpdateSQLComponentEdit::ExecuteVerb(int) {
    auto* update = dynamic_cast<TODBCUpdateSQL*>(Component());
    if (!update) throw EInvalidCast("Invalid class typecast");
    TOwnedPtr<TUpdateEdit> dialog(new TUpdateEdit(&*Application));
    dialog->UpdateSQL = update;
    TODBCDataSet* dataSet = update->GetDataSet();
    if (!dataSet) {
        MessageDlg("The ODBCUpdateSQL must be linked to a TODBCQuery in order to work properly.", mtError,
                   TMsgDlgButtons{mbOK}, 0);
        return;  // the dialog is freed here too
    }
    dialog->DataSet = dataSet;
    String sql;
    if (const TPropInfo* p = GetPropInfo(dataSet, "SQL"))
        if (auto* lines = dynamic_cast<TStrings*>(GetObjectProp(dataSet, *p))) sql = lines->Text();
    dialog->TableName = StatementTableName(sql);
    if (const TPropInfo* p = GetPropInfo(dataSet, "TableName"); p && sql.empty())
        dialog->TableName = GetStrProp(dataSet, *p);  // a table dataset names its table itself
    dialog->NameOfTable->SetCaption(dialog->TableName);
    dialog->ModifySQL->Lines()->Assign(update->ModifySQL());
    dialog->InsertSQL->Lines()->Assign(update->InsertSQL());
    dialog->DeleteSQL->Lines()->Assign(update->DeleteSQL());
    // The fields are known once the query is open; open it for the editor
    // and leave it as it was.
    const bool wasActive = dataSet->Active();
    try {
        if (!wasActive && dataSet->GetDataBase()) dataSet->Open();
    } catch (const Exception&) {
        // reported below as fields that cannot be determined
    }
    struct TCloseAgain {
        TODBCDataSet* DataSet;
        bool Close;
        ~TCloseAgain() {
            if (Close) try {
                    DataSet->Close();
                } catch (...) {}
        }
    } closeAgain{dataSet, !wasActive && dataSet->Active()};
    if (dataSet->GetDataBase() && dataSet->GetDataBase()->Connected())
        dialog->Rules = IdentifierRulesOf(dataSet->GetDataBase()->Handle());
    if (dataSet->FieldCount() < 1) {
        MessageDlg("Unable to determine field names for " + dataSet->Name(), mtError, TMsgDlgButtons{mbOK}, 0);
    } else {
        dialog->DataSetDef->SetEnabled(true);
        dialog->Generate->SetEnabled(true);
        dialog->QuoteIt->SetEnabled(true);
        dialog->DataSetDefClick(nullptr);
    }
    if (dialog->ShowModal() == mrOk) {
        update->ModifySQL()->Assign(dialog->ModifySQL->Lines());
        update->InsertSQL()->Assign(dialog->InsertSQL->Lines());
        update->DeleteSQL()->Assign(dialog->DeleteSQL->Lines());
        if (Designer()) Designer()->Modified();
    }
}

}  // namespace velora
