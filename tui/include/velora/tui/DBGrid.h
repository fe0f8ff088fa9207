// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TDBGrid: a data-aware grid window. Its columns are the visible fields of
// the dataset of its data source (width from the field's DisplayWidth, at
// least the label's, counted in display columns); its rows are the records
// of its data link's window, one screen row each under a header row. The
// link's events decide what is painted again:
//   - ActiveChanged and LayoutChanged: the columns are rebuilt, all painted;
//   - DataSetChanged, and DataSetScrolled when the window moved: every row;
//   - DataSetScrolled inside the window: the old and the new current row;
//   - RecordChanged and EditingChanged: the current row.
// PaintCounts tells how many rows and headers were painted, so a program (or
// a test) can see that a change repaints only what it touched.
//
// Editing goes through the dataset, so the fields' rules apply: Enter (or
// typing a character, which replaces the value) opens the cell's editor and
// puts the dataset into edit mode; Enter again stores the text with the
// field's SetEditText; moving to another record posts. A refused value or
// post keeps the editor and the record in edit with what was typed and
// leaves the message in Message(); Escape closes the editor, a second
// Escape cancels the record.
//
// Keys: Up, Down, PageUp, PageDown, Home (first record), End (last record),
// Left, Right, Tab, BackTab (columns), Enter (edit or store the cell), F2 or
// Ctrl-S (post), Escape (close the editor, then cancel), Insert (new record
// before the current one), Delete (the current record, after OnConfirm).
#pragma once

#include "velora/db/DB.h"
#include "velora/tui/Screen.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velora::tui {

class TGridDataLink;

class TDBGrid : public TWindow {
public:
    TDBGrid();
    ~TDBGrid() override;
    TDBGrid(const TDBGrid&) = delete;
    TDBGrid& operator=(const TDBGrid&) = delete;

    TDataSource* DataSource() const;
    void SetDataSource(TDataSource* Value);
    TDataLink& DataLink();
    /// No editing keys (the dataset is not put into edit mode).
    bool ReadOnly() const;
    void SetReadOnly(bool Value);

    // ---- columns -----------------------------------------------------------
    int ColumnCount() const { return static_cast<int>(FColumns.size()); }
    TField* Column(int Index) const { return FColumns[static_cast<std::size_t>(Index)].Field; }
    /// The column's width in display columns.
    int ColumnWidth(int Index) const { return FColumns[static_cast<std::size_t>(Index)].Width; }
    /// The current column (-1 without columns).
    int SelectedIndex() const { return FColumns.empty() ? -1 : FSelected; }
    void SetSelectedIndex(int Value);
    TField* SelectedField() const { return FColumns.empty() ? nullptr : Column(FSelected); }
    /// Records shown at once (the window's height less the header).
    int VisibleRows() const { return std::max(Height() - 1, 1); }

    // ---- editing -------------------------------------------------------------
    bool EditorMode() const { return FEditor.has_value(); }
    std::string EditorText() const { return FEditor ? FEditor->Text() : std::string(); }
    /// Opens the editor on the current cell (the dataset goes into edit
    /// mode); with initial, the cell starts as that text instead of the
    /// field's. False, with Message set, when the cell cannot be edited.
    bool ShowEditor(const std::optional<std::string>& initial = std::nullopt);
    /// Stores the editor's text in the field and closes the editor; false
    /// (editor kept, Message set) when the field refuses it.
    bool ApplyEditor();
    /// Closes the editor without storing its text.
    void HideEditor();
    /// Stores the editor's text and posts the record; false with Message
    /// set when refused (the record stays in edit with the typed values).
    bool Post();
    /// Closes the editor and cancels the record's changes.
    void Cancel();
    /// Starts a new record before the current one.
    bool Insert();
    /// Deletes the current record after OnConfirm (when set) agrees.
    bool Delete();
    /// Runs a move of the dataset (First, Next, MoveBy...) after storing the
    /// editor's text; the move posts an edited record. False, with Message
    /// set, when storing or posting was refused (nothing moved).
    bool Move(const std::function<void(TDataSet&)>& move);

    /// The last error or notice ("" when none); ClearMessage forgets it.
    const std::string& Message() const { return FMessage; }
    void ClearMessage() { FMessage.clear(); }
    /// Asked before a record is deleted; answers whether to go on.
    std::function<bool(const std::string& question)> OnConfirm;

    // ---- painting --------------------------------------------------------------
    struct TPaintCounts {
        int Headers = 0;  ///< header rows painted
        int Rows = 0;     ///< record rows (and empty rows) painted
    };
    const TPaintCounts& PaintCounts() const { return FPaintCounts; }
    void ResetPaintCounts() { FPaintCounts = {}; }
    void Paint(TScreen& screen) override;
    void Invalidate() override;
    bool NeedsPaint() const override;
    bool HandleKey(const TKeyEvent& key) override;
    /// Where the terminal's cursor belongs (inside the editor), or -1.
    int CursorRow() const { return FCursorRow; }
    int CursorCol() const { return FCursorCol; }

protected:
    void BoundsChanged() override;

private:
    friend class TGridDataLink;
    struct TColumn {
        TField* Field;
        int Width;
    };
    void ActiveChanged();
    void LayoutChanged();
    void DataSetChanged();
    void DataSetScrolled(int Distance);
    void RecordChanged(TField* Field);
    void EditingChanged();
    void UpdateData();
    void BuildColumns();
    void InvalidateRow(int Row);
    void InvalidateRows();
    void ScrollToSelected();
    void PaintHeader(TScreen& screen);
    void PaintRow(TScreen& screen, int Row);
    /// Runs an operation of the dataset: true when it raised nothing, else
    /// false with its message in Message.
    bool Try(const std::function<void()>& operation);
    TDataSet* Set() const;

    std::unique_ptr<TGridDataLink> FLink;
    std::vector<TColumn> FColumns;
    int FSelected = 0;
    std::string FSelectedName;  ///< the current column's field, kept across reopening
    int FLeftColumn = 0;
    bool FHeaderInvalid = true;
    std::vector<bool> FRowInvalid;
    int FPaintedActive = -1;
    std::optional<TLineEditor> FEditor;
    std::string FMessage;
    TPaintCounts FPaintCounts;
    int FCursorRow = -1;
    int FCursorCol = -1;
};

/// The text of a long-value cell: "(null)" for NULL, "<empty>" for a value
/// of zero length, else its kind and size in bytes ("<memo 386 B>",
/// "<blob 20 B>"), so a cell tells NULL, empty and data apart at a glance.
std::string LongCellText(TField& field);

/// One message line of an exception: line breaks become spaces.
std::string OneLine(const std::string& text);

}  // namespace velora::tui
