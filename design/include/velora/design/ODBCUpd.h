// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The update-SQL editor: the generator of the three statements of an update
// object (modify, insert, delete), the dialog TUpdateEdit around it and the
// component editor TODBCUpdateSQLComponentEdit that opens the dialog.
//
// Generated text, with "\r\n" line breaks, for table T, key fields K and
// update fields U:
//
//     UPDATE T\r\nSET\r\n  U1 = :U1,\r\n  U2 = :U2\r\nWHERE\r\n  K1 = :OLD_K1 AND\r\n  K2 = :OLD_K2
//     INSERT INTO T\r\n  (U1, U2)\r\nVALUES\r\n  (:U1, :U2)
//     DELETE FROM T\r\nWHERE\r\n  K1 = :OLD_K1 AND\r\n  K2 = :OLD_K2
//
// Names: a field name that the data source would not read back as itself
// without quotes (odbc::NeedsQuoting: anything but ASCII letters, digits and
// '_', an SQL reserved word, or letters the data source folds) is quoted with the connection's identifier quote character
// (embedded quotes doubled); with QuoteNames every field name is quoted.
// SET targets and insert columns are never qualified with the table (no
// engine accepts that); with QuoteNames the WHERE names are written
// "T.<quoted name>". A parameter marker is written quoted (:"Unit Price",
// :"OLD_Unit Price") when its name is not a plain identifier or QuoteNames
// is set, which the query's marker parser reads whole. T is the table name
// as the query's text writes it (schema and quotes kept).
#pragma once

#include "velora/design/DesignIntf.h"
#include "velora/engine/SQLText.h"
#include "velora/forms/Buttons.h"
#include "velora/forms/ComCtrls.h"
#include "velora/forms/ExtCtrls.h"
#include "velora/forms/Forms.h"
#include "velora/forms/StdCtrls.h"

#include <vector>

namespace velora {

class TODBCDataSet;
class TODBCUpdateSQL;

/// How a data source wants names written.
struct TIdentifierRules {
    char Quote = '"';                  ///< SQL_IDENTIFIER_QUOTE_CHAR ('"' when unknown)
    SQLUSMALLINT Case = SQL_IC_MIXED;  ///< SQL_IDENTIFIER_CASE: how unquoted names are folded
};
/// The rules of a connection.
TIdentifierRules IdentifierRulesOf(SQLHDBC dbc);
// The reserved words and the quoting rule are the SQL text module's
// (velora/odbc/SQLTokens.h): IsReservedWord, QuoteName.
using odbc::IsReservedWord;
using odbc::QuoteName;
/// True when the name must be quoted to mean itself (odbc::NeedsQuoting with
/// the connection's SQL_IDENTIFIER_CASE).
bool NeedsQuoting(const String& name, const TIdentifierRules& rules);
/// The name as SQL text: quoted when needed (or always with force).
String SQLName(const String& name, const TIdentifierRules& rules, bool force = false);

/// The table an SQL text reads or writes: the tokens right after its first
/// FROM or INTO outside literals, quoted names and comments, up to the next blank,
/// comma, parenthesis or semicolon outside quotes, kept as written
/// ("sales.orders", "\"Sales Data\""). Empty when there is none.
String StatementTableName(const String& sql);
/// The parts of a written table name ("a"."b c" -> a, b c), quotes removed.
std::vector<String> TableNameParts(const String& tableName);

/// One field offered to the generator.
struct TUpdateField {
    String Name;
    bool Key = false;     ///< selected as key field (WHERE)
    bool Update = false;  ///< selected as update field (SET, insert columns)
};

struct TUpdateStatements {
    String Modify;
    String Insert;
    String Delete;
};

/// The three statements (see the file comment).
TUpdateStatements GenerateUpdateSQL(const String& tableName, const std::vector<TUpdateField>& fields, bool quoteNames,
                                    const TIdentifierRules& rules);

/// The default selection for an open dataset over tableName: its data
/// fields in order; keys are the table's primary key (SQLPrimaryKeys through
/// the dataset's connection, names matched without regard to case), or
/// without one every field that can be compared (not memo, BLOB or floating
/// point); update fields are all but those the driver numbers itself
/// (auto-increment).
std::vector<TUpdateField> DefaultUpdateFields(TODBCDataSet& dataSet, const String& tableName);

/// The update-SQL dialog: an Options page (table name, key and update field
/// lists, "DataSet Defaults", "Generate SQL", "Quote Field Names") and an SQL
/// page with the three statements.
class TUpdateEdit : public TForm {
public:
    explicit TUpdateEdit(TComponent* AOwner);

    TODBCUpdateSQL* UpdateSQL = nullptr;
    TODBCDataSet* DataSet = nullptr;
    String TableName;  ///< the table as the query's text names it
    TIdentifierRules Rules;

    TPageControl* UpdatePage = nullptr;
    TTabSheet* Options = nullptr;
    TTabSheet* SQL = nullptr;
    TGroupBox* SQLGenGroup = nullptr;
    TLabel* Label1 = nullptr;
    TLabel* NameOfTable = nullptr;
    TSpeedButton* DataSetDef = nullptr;
    TSpeedButton* Generate = nullptr;
    TCheckBox* QuoteIt = nullptr;
    TLabel* Label2 = nullptr;
    TListBox* KeyFieldsList = nullptr;
    TLabel* Label3 = nullptr;
    TListBox* UpdateFieldsList = nullptr;
    TPageControl* PageControl2 = nullptr;
    TMemo* ModifySQL = nullptr;
    TMemo* InsertSQL = nullptr;
    TMemo* DeleteSQL = nullptr;
    TButton* btnOK = nullptr;
    TButton* btnCancel = nullptr;

    /// Refills both lists with the dataset's data fields and selects the
    /// default keys and update fields.
    void DataSetDefClick(TObject* Sender);
    /// Writes the three statements into the memos and shows the SQL page.
    void GenerateClick(TObject* Sender);

    static const char* StoredLayout();
};

/// The component editor of TODBCUpdateSQL: one verb, "ODBCUpdateSQL
/// Editor...", which opens TUpdateEdit. OK writes the three statements into
/// the component and marks the designer modified.
class TODBCUpdateSQLComponentEdit : public TComponentEditor {
public:
    using TComponentEditor::TComponentEditor;
    void Edit() override { ExecuteVerb(0); }
    void ExecuteVerb(int Index) override;
    String GetVerb(int Index) override;
    int GetVerbCount() override { return 1; }
};

}  // namespace velora
