// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The data-aware grid: its data link, its columns, painting only what the
// link's events invalidated, and editing through the dataset.
#include "velora/tui/DBGrid.h"

#include "velora/db/DBConsts.h"

#include <algorithm>

namespace velora::tui {

/// Hands the data link's notifications to the grid.
class TGridDataLink : public TDataLink {
public:
    explicit TGridDataLink(TDBGrid& grid) : FGrid(grid) {}

protected:
    void ActiveChanged() override { FGrid.ActiveChanged(); }
    void LayoutChanged() override { FGrid.LayoutChanged(); }
    void DataSetChanged() override { FGrid.DataSetChanged(); }
    void DataSetScrolled(int Distance) override { FGrid.DataSetScrolled(Distance); }
    void RecordChanged(TField* Field) override { FGrid.RecordChanged(Field); }
    void EditingChanged() override { FGrid.EditingChanged(); }
    void UpdateData() override { FGrid.UpdateData(); }

private:
    TDBGrid& FGrid;
};

namespace {

/// Widest column, so one long text field leaves room for the others.
constexpr int MaxColumnWidth = 40;
/// Long-value cells hold "<memo 1048576 B>" whole.
constexpr int LongCellWidth = 16;

}  // namespace

std::string LongCellText(TField& field) {
    if (field.IsNull()) return "(null)";
    TDataSet* ds = field.DataSet();
    if (!ds) return field.DisplayText();
    std::int64_t size = 0;
    if (std::unique_ptr<TStream> stream = ds->CreateBlobStream(&field, bmRead)) size = stream->Size();
    if (size <= 0) return "<empty>";
    const TFieldType type = field.DataType();
    const bool memo = type == ftMemo || type == ftFmtMemo;
    return std::string(memo ? "<memo " : "<blob ") + std::to_string(size) + " B>";
}

std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') {
            if (!out.empty() && out.back() != ' ') out += ' ';
            continue;
        }
        out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

TDBGrid::TDBGrid() : FLink(std::make_unique<TGridDataLink>(*this)) {}

TDBGrid::~TDBGrid() {
    // The link goes first, so no notification reaches a half-destroyed grid.
    FLink.reset();
}

TDataSource* TDBGrid::DataSource() const { return FLink->DataSource(); }
void TDBGrid::SetDataSource(TDataSource* Value) { FLink->SetDataSource(Value); }
TDataLink& TDBGrid::DataLink() { return *FLink; }
bool TDBGrid::ReadOnly() const { return FLink->ReadOnly(); }
void TDBGrid::SetReadOnly(bool Value) { FLink->SetReadOnly(Value); }
TDataSet* TDBGrid::Set() const { return FLink->DataSet(); }

void TDBGrid::SetSelectedIndex(int Value) {
    if (FColumns.empty()) return;
    Value = std::clamp(Value, 0, ColumnCount() - 1);
    if (Value == FSelected) return;
    FSelected = Value;
    FSelectedName = Column(Value)->FieldName();
    InvalidateRow(FLink->ActiveRecord());
    ScrollToSelected();
}

// ---------------------------------------------------------------------------
// Invalidation

void TDBGrid::Invalidate() {
    TWindow::Invalidate();
    FHeaderInvalid = true;
    InvalidateRows();
}

bool TDBGrid::NeedsPaint() const {
    return FInvalid || FHeaderInvalid || std::find(FRowInvalid.begin(), FRowInvalid.end(), true) != FRowInvalid.end();
}

void TDBGrid::InvalidateRow(int Row) {
    if (Row >= 0 && Row < static_cast<int>(FRowInvalid.size())) FRowInvalid[static_cast<std::size_t>(Row)] = true;
}

void TDBGrid::InvalidateRows() { std::fill(FRowInvalid.begin(), FRowInvalid.end(), true); }

void TDBGrid::BoundsChanged() {
    FRowInvalid.assign(static_cast<std::size_t>(VisibleRows()), true);
    FLink->SetBufferCount(VisibleRows());
    ScrollToSelected();
    Invalidate();
}

void TDBGrid::BuildColumns() {
    // The old columns' fields may be gone (a reopened dataset makes new
    // ones): the current column is found again by its field's name.
    FColumns.clear();
    if (TDataSet* ds = Set(); ds && FLink->Active()) {
        for (int i = 0; i < ds->FieldCount(); ++i) {
            TField* f = ds->Fields()[i];
            if (!f->Visible()) continue;
            int width = std::max(f->DisplayWidth(), DisplayWidth(f->DisplayLabel()));
            if (f->IsBlob()) width = std::max(width, LongCellWidth);
            width = std::clamp(width, 1, MaxColumnWidth);
            if (Width() > 2) width = std::min(width, Width() - 2);
            FColumns.push_back({f, width});
        }
    }
    FSelected = 0;
    for (int i = 0; i < ColumnCount(); ++i)
        if (Column(i)->FieldName() == FSelectedName) FSelected = i;
    FLeftColumn = 0;
    ScrollToSelected();
}

void TDBGrid::ScrollToSelected() {
    if (FColumns.empty()) return;
    const int old = FLeftColumn;
    FLeftColumn = std::min(FLeftColumn, FSelected);
    // Columns from FLeftColumn through the selected one must fit after the
    // one-column record indicator.
    auto span = [&] {
        int w = 1;
        for (int c = FLeftColumn; c <= FSelected; ++c) w += ColumnWidth(c) + 1;
        return w;
    };
    while (FLeftColumn < FSelected && span() > Width()) ++FLeftColumn;
    if (FLeftColumn != old) Invalidate();
}

// ---------------------------------------------------------------------------
// The data link's events

void TDBGrid::ActiveChanged() {
    FEditor.reset();
    BuildColumns();
    FPaintedActive = -1;
    Invalidate();
}

void TDBGrid::LayoutChanged() {
    BuildColumns();
    Invalidate();
}

void TDBGrid::DataSetChanged() { InvalidateRows(); }

void TDBGrid::DataSetScrolled(int Distance) {
    if (Distance != 0) {
        InvalidateRows();
        return;
    }
    // Only the current record moved within the window.
    InvalidateRow(FPaintedActive);
    InvalidateRow(FLink->ActiveRecord());
}

void TDBGrid::RecordChanged(TField* /*Field*/) { InvalidateRow(FLink->ActiveRecord()); }

void TDBGrid::EditingChanged() {
    if (!FLink->Editing()) FEditor.reset();
    InvalidateRow(FLink->ActiveRecord());
}

void TDBGrid::UpdateData() {
    // The record is being posted: the editor's text goes into its field first
    // (a refused text makes the post fail with the field's message).
    if (!FEditor) return;
    if (TField* f = SelectedField()) f->SetEditText(FEditor->Text());
    FEditor.reset();
}

// ---------------------------------------------------------------------------
// Editing

bool TDBGrid::Try(const std::function<void()>& operation) {
    try {
        operation();
        return true;
    } catch (const Exception& e) {
        FMessage = OneLine(e.Message());
    } catch (const std::exception& e) {
        FMessage = OneLine(e.what());
    }
    // The dataset may have changed on its way to the failure.
    InvalidateRows();
    return false;
}

bool TDBGrid::ShowEditor(const std::optional<std::string>& initial) {
    TField* f = SelectedField();
    if (!f || FEditor) return FEditor.has_value();
    if (FLink->ReadOnly()) {
        FMessage = "The grid is read-only";
        return false;
    }
    if (f->IsBlob()) {
        FMessage = "Field '" + f->DisplayName() + "' holds a long value: F3 shows it";
        return false;
    }
    if (f->ReadOnly()) {
        FMessage = Format(DBConsts::SFieldReadOnly, f->DisplayName());
        return false;
    }
    bool editing = false;
    if (!Try([&] { editing = FLink->Edit(); })) return false;
    if (!editing) {
        FMessage = DBConsts::SDataSetReadOnly;
        return false;
    }
    if (!f->CanModify()) {
        FMessage = Format(DBConsts::SFieldReadOnly, f->DisplayName());
        return false;
    }
    std::string text;
    if (initial)
        text = *initial;
    else if (!Try([&] { text = f->Text(); }))
        return false;
    FEditor.emplace(text);
    InvalidateRow(FLink->ActiveRecord());
    return true;
}

bool TDBGrid::ApplyEditor() {
    if (!FEditor) return true;
    TField* f = SelectedField();
    if (f && !Try([&] { f->SetEditText(FEditor->Text()); })) return false;
    FEditor.reset();
    InvalidateRow(FLink->ActiveRecord());
    return true;
}

void TDBGrid::HideEditor() {
    if (!FEditor) return;
    FEditor.reset();
    InvalidateRow(FLink->ActiveRecord());
}

bool TDBGrid::Post() {
    if (!ApplyEditor()) return false;
    TDataSet* ds = Set();
    if (!ds || (ds->State() != dsEdit && ds->State() != dsInsert)) return true;
    return Try([&] { ds->Post(); });
}

void TDBGrid::Cancel() {
    HideEditor();
    if (TDataSet* ds = Set()) Try([&] { ds->Cancel(); });
}

bool TDBGrid::Insert() {
    TDataSet* ds = Set();
    if (!ds || !FLink->Active()) return false;
    if (FLink->ReadOnly()) {
        FMessage = "The grid is read-only";
        return false;
    }
    if (!ApplyEditor()) return false;
    return Try([&] { ds->Insert(); });
}

bool TDBGrid::Delete() {
    TDataSet* ds = Set();
    if (!ds || !FLink->Active() || ds->IsEmpty()) return false;
    if (FLink->ReadOnly()) {
        FMessage = "The grid is read-only";
        return false;
    }
    if (OnConfirm && !OnConfirm("Delete record?")) return false;
    HideEditor();
    return Try([&] { ds->Delete(); });
}

bool TDBGrid::Move(const std::function<void(TDataSet&)>& move) {
    TDataSet* ds = Set();
    if (!ds || !FLink->Active()) return false;
    if (!ApplyEditor()) return false;
    return Try([&] { move(*ds); });
}

bool TDBGrid::HandleKey(const TKeyEvent& key) {
    FMessage.clear();
    const int page = VisibleRows();
    if (FEditor) {
        switch (key.Key) {
            case TKey::Enter:
                ApplyEditor();
                return true;
            case TKey::Escape:
                HideEditor();
                return true;
            case TKey::Up:
            case TKey::Down:
            case TKey::PageUp:
            case TKey::PageDown:
            case TKey::Tab:
            case TKey::BackTab:
            case TKey::F2:
                break;
            case TKey::Ctrl:
                if (key.Char == 's') break;
                [[fallthrough]];
            default:
                if (!FEditor->HandleKey(key)) return false;
                InvalidateRow(FLink->ActiveRecord());
                return true;
        }
        if (key.Key == TKey::Tab || key.Key == TKey::BackTab) {
            if (ApplyEditor()) SetSelectedIndex(FSelected + (key.Key == TKey::Tab ? 1 : -1));
            return true;
        }
    }
    switch (key.Key) {
        case TKey::Up:
            Move([](TDataSet& ds) { ds.Prior(); });
            return true;
        case TKey::Down:
            Move([](TDataSet& ds) { ds.Next(); });
            return true;
        case TKey::PageUp:
            Move([page](TDataSet& ds) { ds.MoveBy(-page); });
            return true;
        case TKey::PageDown:
            Move([page](TDataSet& ds) { ds.MoveBy(page); });
            return true;
        case TKey::Home:
            Move([](TDataSet& ds) { ds.First(); });
            return true;
        case TKey::End:
            Move([](TDataSet& ds) { ds.Last(); });
            return true;
        case TKey::Left:
        case TKey::BackTab:
            SetSelectedIndex(FSelected - 1);
            return true;
        case TKey::Right:
        case TKey::Tab:
            SetSelectedIndex(FSelected + 1);
            return true;
        case TKey::Enter:
            ShowEditor();
            return true;
        case TKey::F2:
            Post();
            return true;
        case TKey::Escape:
            Cancel();
            return true;
        case TKey::Insert:
            Insert();
            return true;
        case TKey::Delete:
            Delete();
            return true;
        case TKey::Ctrl:
            if (key.Char != 's') return false;
            Post();
            return true;
        case TKey::Char: {
            std::string text;
            AppendUtf8(text, key.Char);
            ShowEditor(text);
            return true;
        }
        default:
            return false;
    }
}

// ---------------------------------------------------------------------------
// Painting

void TDBGrid::Paint(TScreen& screen) {
    FCursorRow = FCursorCol = -1;
    if (FRowInvalid.size() != static_cast<std::size_t>(VisibleRows()))
        FRowInvalid.assign(static_cast<std::size_t>(VisibleRows()), true);
    const int active = FLink->Active() ? FLink->ActiveRecord() : -1;
    if (active != FPaintedActive) {
        InvalidateRow(FPaintedActive);
        InvalidateRow(active);
    }
    if (FHeaderInvalid) PaintHeader(screen);
    for (int r = 0; r < VisibleRows() && r + 1 < Height(); ++r)
        if (FRowInvalid[static_cast<std::size_t>(r)]) PaintRow(screen, r);
    if (FEditor && active >= 0) PaintRow(screen, active);  // sets the cursor
    FPaintedActive = active;
    FInvalid = false;
}

void TDBGrid::PaintHeader(TScreen& screen) {
    ++FPaintCounts.Headers;
    FHeaderInvalid = false;
    std::string line = " ";
    int used = 1;
    for (int c = FLeftColumn; c < ColumnCount() && used < Width(); ++c) {
        const int w = std::min(ColumnWidth(c), Width() - used);
        line += FitWidth(Column(c)->DisplayLabel(), w, Column(c)->Alignment() == taRightJustify);
        used += w;
        if (used < Width()) {
            line += "\u2502";
            ++used;
        }
    }
    screen.Write(Top(), Left(), FitWidth(line, Width()), aBold | aUnderline);
}

void TDBGrid::PaintRow(TScreen& screen, int Row) {
    ++FPaintCounts.Rows;
    FRowInvalid[static_cast<std::size_t>(Row)] = false;
    const int y = Top() + 1 + Row;
    const int end = Left() + Width();
    const bool has = FLink->Active() && Row < FLink->RecordCount();
    const int active = FLink->Active() ? FLink->ActiveRecord() : -1;
    const bool current = has && Row == active;

    // The texts of the record's cells, read with the link's active record
    // moved to that row for the moment.
    std::vector<std::string> texts(FColumns.size());
    if (has) {
        FLink->SetActiveRecord(Row);
        for (int c = FLeftColumn; c < ColumnCount(); ++c) {
            try {
                TField* f = Column(c);
                texts[static_cast<std::size_t>(c)] = f->IsBlob() ? LongCellText(*f) : f->DisplayText();
            } catch (const std::exception&) {
                texts[static_cast<std::size_t>(c)] = "#error";
            }
        }
        FLink->SetActiveRecord(active);
    }

    if (!has) {
        screen.Write(y, Left(), std::string(static_cast<std::size_t>(Width()), ' '));
        return;
    }
    const char* indicator = " ";
    if (current) {
        const TDataSetState state = Set()->State();
        indicator = state == dsInsert ? "+" : state == dsEdit ? "*" : ">";
    }
    screen.Write(y, Left(), indicator, current ? aBold : aNormal);
    int x = Left() + 1;
    for (int c = FLeftColumn; c < ColumnCount() && x < end; ++c) {
        const int w = std::min(ColumnWidth(c), end - x);
        const bool selected = current && c == FSelected;
        unsigned attr = current ? (selected ? aReverse : aBold) : aNormal;
        std::string text;
        if (selected && FEditor) {
            int cursor = 0;
            text = FEditor->Visible(w, cursor);
            FCursorRow = y;
            FCursorCol = x + cursor;
            attr = aUnderline;
        } else {
            text = FitWidth(texts[static_cast<std::size_t>(c)], w, Column(c)->Alignment() == taRightJustify);
        }
        screen.Write(y, x, text, attr);
        x += w;
        if (x < end) {
            screen.Write(y, x, "\u2502");
            ++x;
        }
    }
    if (x < end) screen.Write(y, x, std::string(static_cast<std::size_t>(end - x), ' '));
}

}  // namespace velora::tui
