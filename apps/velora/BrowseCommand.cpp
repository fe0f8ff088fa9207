// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// velora browse: a table (TODBCTable) or a query (TODBCQuery) in a
// data-aware grid on the whole terminal. The grid is velora_tui's TDBGrid,
// so every move, edit, insert and delete goes through the dataset: the
// table's own road to the data source does the writing, and a refused post
// leaves the record in edit with the typed values and the data source's
// message on the status line.
//
// Screen: a title row (data source, table or query, filter and order), the
// grid, a status row (position, record count once known, the dataset's
// state, the last message) and a row of keys. The filter and order are the
// table's FilterParams and IndexParams (the data source's own WHERE and
// ORDER BY text); setting one reopens the table, and a text the data source
// refuses is reported and the previous one kept.
//
// The database is opened before the screen is taken over, so the login
// dialog (when the data source refuses the connection for want of a
// password and none was given) talks to the plain terminal.
//
// Memory: the dataset keeps one block of rows (RowSetSize) and the grid's
// window of record buffers. A table with a primary key is a key range cursor
// (the driver holds a window of a few blocks, whatever the table's size);
// for other tables and for queries the driver holds what its cursor holds
// (the SQLite driver's and psqlODBC's static cursors keep the whole result).
#include "BrowseCommand.h"

#include "CommandDatabase.h"

#include "velora/components/ODBCFieldText.h"
#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCTable.h"
#include "velora/tui/DBGrid.h"
#include "velora/tui/TextView.h"

#include <unistd.h>

#include <charconv>
#include <cstring>
#include <memory>
#include <optional>

namespace velora::app {

namespace {

using namespace velora::tui;

/// The keys that work on this dataset: editing keys only where records can
/// be written, the filter and the order only for a table.
std::string KeyHelp(bool editable, bool table) {
    std::string keys;
    if (editable) keys += "Enter edit  F2 post  Esc cancel  Ins insert  Del delete  ";
    keys += "F3 view  ";
    if (table) keys += "F4 filter  ";
    keys += "F5 go to  ";
    if (table) keys += "F6 order  ";
    return keys + "F10 quit";
}

/// Decimal fields show the digits their scale promises ("814.50").
void ShowScales(TODBCDataSet& data) {
    for (int i = 0; i < data.FieldCount(); ++i) ShowDecimalScale(data, *data.Fields()[i]);
}

/// Opens a table as a key range cursor, so the client's memory stays the
/// same whatever the table's size; a table the mode refuses (no primary key,
/// an order by an expression) opens on the data source's own cursor.
void OpenTable(TODBCTable& table) {
    table.SetKeyRangeCursor(true);
    try {
        table.Open();
        return;
    } catch (const EODBCError& e) {
        if (std::string(e.what()).find("key range cursor") == std::string::npos) throw;
    }
    table.SetKeyRangeCursor(false);
    table.Open();
}

const char* StateName(TDataSetState state) {
    switch (state) {
        case dsBrowse:
            return "Browse";
        case dsEdit:
            return "Edit";
        case dsInsert:
            return "Insert";
        case dsInactive:
            return "Closed";
        default:
            return "Busy";
    }
}

bool IsBlank(const std::string& s) { return s.find_first_not_of(" \t\r\n") == std::string::npos; }

class TBrowser {
public:
    TBrowser(TScreen& screen, TODBCDataSet& data, TODBCTable* table, std::string title, bool readOnly)
        : FScreen(screen), FData(data), FTable(table), FTitle(std::move(title)) {
        FGrid.SetReadOnly(readOnly);
        FSource = std::make_unique<TDataSource>(nullptr);
        FSource->SetDataSet(&FData);
        FGrid.OnConfirm = [this](const std::string& question) { return Confirm(question); };
        FGrid.SetDataSource(FSource.get());
        Layout();
    }
    ~TBrowser() { FGrid.SetDataSource(nullptr); }

    void Run() {
        for (;;) {
            PaintAll();
            const TKeyEvent key = FScreen.ReadKey();
            if (key.Key == TKey::Closed) return;
            FMessage.clear();
            if (key.Key == TKey::Resize) {
                Layout();
                continue;
            }
            if (key.Key == TKey::F10 || (key.Key == TKey::Ctrl && (key.Char == 'q' || key.Char == 'c'))) {
                if (FData.State() == dsEdit || FData.State() == dsInsert || FGrid.EditorMode()) {
                    FMessage = "Post (F2) or cancel (Esc) the record first";
                    continue;
                }
                return;
            }
            if (key.Key == TKey::F3) {
                ViewField();
                continue;
            }
            if (key.Key == TKey::F4 || key.Key == TKey::F6) {
                SetClause(key.Key == TKey::F4);
                continue;
            }
            if (key.Key == TKey::F5) {
                GoToRecord();
                continue;
            }
            FGrid.HandleKey(key);
            FMessage = FGrid.Message();
        }
    }

private:
    void Layout() {
        FGrid.SetBounds(1, 0, std::max(FScreen.Height() - 3, 2), FScreen.Width());
        for (int r = 0; r < FScreen.Height(); ++r) FScreen.WriteLine(r, "");
        FGrid.Invalidate();
    }

    std::string Position() {
        if (!FData.Active()) return "";
        if (FData.State() == dsInsert) return "New record";
        if (FData.IsEmpty()) return "No records";
        std::int32_t row = -1;
        const TBookmark bookmark = FData.GetBookmark();
        if (bookmark.size() >= sizeof row) std::memcpy(&row, bookmark.data(), sizeof row);
        // A key range cursor numbers the rows it reached from the end (End)
        // from there, -2 the last, until something counts the rows.
        if (row < -1) return "Record " + std::to_string(-(row + 1)) + " from the end";
        std::string text = "Record " + std::to_string(row + 1);
        const int count = FData.KnownRecordCount();  // counting would read every row
        text += count >= 0 ? " of " + std::to_string(count) : " of ?";
        return text;
    }

    void PaintAll() {
        std::string title = " velora browse  " + FTitle;
        if (FTable && FTable->Filtered()) title += "  where " + OneLine(FTable->FilterParams()->Text());
        if (FTable && FTable->Indexed()) title += "  order by " + OneLine(FTable->IndexParams()->Text());
        FScreen.WriteLine(0, title, aReverse);
        if (FGrid.NeedsPaint()) FGrid.Paint(FScreen);
        PaintStatus();
        const bool editable = !FGrid.ReadOnly() && FData.Active() && FData.CanModify();
        FScreen.WriteLine(FScreen.Height() - 1, KeyHelp(editable, FTable != nullptr), aDim);
        if (FGrid.CursorRow() >= 0)
            FScreen.SetCursor(FGrid.CursorRow(), FGrid.CursorCol());
        else
            FScreen.SetCursor(-1, -1);
        FScreen.Flush();
    }

    void PaintStatus() {
        std::string status = " " + Position();
        status += " | " + std::string(StateName(FData.State()));
        if (!FMessage.empty()) status += " | " + FMessage;
        FScreen.WriteLine(FScreen.Height() - 2, status, aReverse);
    }

    /// Asks a question on the status row; any key but y/Y says no.
    bool Confirm(const std::string& question) {
        FScreen.WriteLine(FScreen.Height() - 2, " " + question + " (y/n)", aReverse | aBold);
        FScreen.SetCursor(-1, -1);
        FScreen.Flush();
        const TKeyEvent key = FScreen.ReadKey();
        return key.Key == TKey::Char && (key.Char == U'y' || key.Char == U'Y');
    }

    /// Reads a line on the status row; nullopt when Escape.
    std::optional<std::string> Prompt(const std::string& label, const std::string& initial) {
        TLineEditor editor(initial);
        const int row = FScreen.Height() - 2;
        for (;;) {
            const int width = std::max(FScreen.Width() - DisplayWidth(label) - 1, 1);
            int cursor = 0;
            const std::string shown = editor.Visible(width, cursor);
            FScreen.Write(row, 0, FitWidth(" " + label, DisplayWidth(label) + 1), aReverse | aBold);
            FScreen.Write(row, DisplayWidth(label) + 1, shown, aNormal);
            FScreen.SetCursor(row, DisplayWidth(label) + 1 + cursor);
            FScreen.Flush();
            const TKeyEvent key = FScreen.ReadKey();
            if (key.Key == TKey::Enter) return editor.Text();
            if (key.Key == TKey::Escape || key.Key == TKey::Closed) return std::nullopt;
            editor.HandleKey(key);
        }
    }

    /// F3: the current field's whole value, until Escape, Enter, F3 or q.
    void ViewField() {
        TField* field = FGrid.SelectedField();
        if (!field || !FData.Active() || FData.IsEmpty()) return;
        TTextView view;
        std::string value;
        try {
            if (field->IsNull()) {
                value = "(null)";
                view.SetText(value);
            } else if (!field->IsBlob() || field->DataType() == ftMemo || field->DataType() == ftFmtMemo) {
                value = field->AsString();  // a long value whole, through the field's BLOB stream
                view.SetText(value);
            } else {
                value = field->AsString();
                view.SetBytes(value);
            }
        } catch (const Exception& e) {
            FMessage = OneLine(e.Message());
            return;
        }
        for (;;) {
            view.SetBounds(1, 0, std::max(FScreen.Height() - 3, 1), FScreen.Width());
            FScreen.WriteLine(0, " " + field->DisplayName() + "  (" + std::to_string(value.size()) + " bytes)",
                              aReverse);
            view.Paint(FScreen);
            FScreen.WriteLine(FScreen.Height() - 2, " " + Position() + " | " + field->DisplayName(), aReverse);
            FScreen.WriteLine(FScreen.Height() - 1, "Up/Down/PgUp/PgDn/Home/End scroll  Esc close", aDim);
            FScreen.SetCursor(-1, -1);
            FScreen.Flush();
            const TKeyEvent key = FScreen.ReadKey();
            if (key.Key == TKey::Escape || key.Key == TKey::Enter || key.Key == TKey::F3 || key.Key == TKey::Closed ||
                (key.Key == TKey::Char && key.Char == U'q'))
                break;
            view.HandleKey(key);
        }
        Layout();
    }

    /// F5: the record of a typed number. The dataset fetches that row alone
    /// (a table over millions of rows is not read up to it).
    void GoToRecord() {
        if (!FData.Active() || FData.IsEmpty()) return;
        if (!FGrid.Post()) {
            FMessage = FGrid.Message();
            return;
        }
        const auto text = Prompt("Go to record: ", std::string());
        Layout();
        if (!text || IsBlank(*text)) return;
        int row = 0;
        const std::string digits = OneLine(*text);
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), row);
        if (error != std::errc() || end != digits.data() + digits.size() || row < 1) {
            FMessage = "Not a record number: " + digits;
            return;
        }
        try {
            if (!FData.MoveToRow(row)) FMessage = "There is no record " + digits;
        } catch (const Exception& e) {
            FMessage = OneLine(e.Message());
        }
    }

    /// F4 (filter) and F6 (order): the table's WHERE or ORDER BY text; an
    /// empty text switches it off. The table is reopened with the new text;
    /// when the data source refuses it, the previous text comes back.
    void SetClause(bool filter) {
        if (!FTable) {
            FMessage = "A filter and an order apply to a table, not to --sql";
            return;
        }
        if (!FGrid.Post()) {
            FMessage = FGrid.Message();
            return;
        }
        TStrings* params = filter ? FTable->FilterParams() : FTable->IndexParams();
        const std::string old = OneLine(params->Text());
        const bool wasOn = filter ? FTable->Filtered() : FTable->Indexed();
        const auto text = Prompt(filter ? "Filter (WHERE): " : "Order (ORDER BY): ", wasOn ? old : std::string());
        Layout();
        if (!text) return;
        auto apply = [&](const std::string& value) {
            FTable->Close();
            params->SetText(value);
            if (filter)
                FTable->SetFiltered(!IsBlank(value));
            else
                FTable->SetIndexed(!IsBlank(value));
            OpenTable(*FTable);
            ShowScales(*FTable);
        };
        try {
            apply(*text);
        } catch (const Exception& e) {
            FMessage = OneLine(e.Message());
            try {
                apply(wasOn ? old : std::string());
            } catch (const Exception& again) {
                FMessage += " | " + OneLine(again.Message());
            }
        }
    }

    TScreen& FScreen;
    TODBCDataSet& FData;
    TODBCTable* FTable;
    std::string FTitle;
    std::unique_ptr<TDataSource> FSource;
    TDBGrid FGrid;
    std::string FMessage;
};

/// Whether a failed connection asks for a password.
bool WantsPassword(const EODBCError& e) {
    if (e.SQLState.rfind("28", 0) == 0) return true;
    std::string text = e.Message();
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text.find("password") != std::string::npos;
}

}  // namespace

void TBrowseCommand::Define(CLI::App& cmd) {
    cmd.add_option("DSN", FDsn, "ODBC data source name or connection string")->required();
    auto* table = cmd.add_option("TABLE", FTable, "the table to browse (or --sql)");
    auto* sql = cmd.add_option("--sql", FSQL, "a query to browse instead of a table");
    auto* where = cmd.add_option(
        "--where", FWhere,
        "the table's filter, the text of a WHERE clause (trusted text: runs on the data source as written)");
    auto* order = cmd.add_option(
        "--order", FOrder,
        "the table's order, the text of an ORDER BY clause (trusted text: runs on the data source as written)");
    sql->excludes(table)->excludes(where)->excludes(order);
    cmd.add_flag("--read-only", FReadOnly, "no edit, insert or delete");
    FAccount.Define(cmd);
}

int TBrowseCommand::Run() {
    const bool haveSql = FSQL.has_value();
    if (!haveSql && FTable.empty()) throw TUsageError{"browse needs a data source name and a table name (or --sql)"};
    const bool readOnly = FReadOnly;
    const bool havePassword = FAccount.Password.has_value();
    if (!::isatty(0) || !::isatty(1)) throw Exception("browse needs a terminal");

    const std::string& dsn = FDsn;
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    auto* db = FAccount.NewDatabase(owner.get(), dsn);
    try {
        db->Open();
    } catch (const EODBCError& e) {
        // The login dialog, through the terminal presenter, when the data
        // source wants a password and none was given.
        if (havePassword || !WantsPassword(e)) throw;
        db->SetLoginPrompt(true);
        db->Open();
    }

    TODBCDataSet* data = nullptr;
    TODBCTable* table = nullptr;
    std::string title = dsn + "  ";
    if (haveSql) {
        auto* query = new TODBCQuery(owner.get());
        query->SetDataBase(db);
        query->SQL()->SetText(*FSQL);
        data = query;
        title += OneLine(*FSQL);
    } else {
        table = new TODBCTable(owner.get());
        table->SetDataBase(db);
        table->SetTableName(FTable);
        table->SetReadOnly(readOnly);
        if (FWhere && !FWhere->empty()) {
            table->FilterParams()->SetText(*FWhere);
            table->SetFiltered(true);
        }
        if (FOrder && !FOrder->empty()) {
            table->IndexParams()->SetText(*FOrder);
            table->SetIndexed(true);
        }
        data = table;
        title += FTable;
    }
    if (table)
        OpenTable(*table);
    else
        data->Open();
    ShowScales(*data);

    TCursesScreen screen;
    TBrowser browser(screen, *data, table, title, readOnly);
    browser.Run();
    return 0;
}

}  // namespace velora::app
