// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The terminal layer in-process: display widths, the virtual screen, the line
// editor, and the data-aware grid over an in-memory dataset painted on a
// virtual screen, counting what each data-link event makes it repaint.
#include "support/MemDataSet.h"
#include "velora/tui/DBGrid.h"
#include "velora/tui/TextView.h"

#include <gtest/gtest.h>

namespace velora::test {
namespace {

using namespace velora::tui;

TEST(TuiScreen, WidthsFittingAndEditingCountDisplayColumns) {
    EXPECT_EQ(DisplayWidth("abc"), 3);
    EXPECT_EQ(DisplayWidth("日本"), 4);     // wide characters
    EXPECT_EQ(DisplayWidth("e\u0301"), 1);  // combining acute accent
    EXPECT_EQ(DisplayWidth("a\xff"
                           "b"),
              3);                               // an invalid byte is one column
    EXPECT_EQ(FitWidth("日本語", 5), "日本 ");  // the third would straddle the edge
    EXPECT_EQ(FitWidth("ab", 4, true), "  ab");
    EXPECT_EQ(FitWidth("a\tb", 3), "a?b");  // controls never reach the terminal

    TVirtualScreen screen(6, 2);
    screen.Write(0, 1, "日x");
    EXPECT_EQ(screen.Line(0), " 日x  ");
    screen.Write(0, 2, "y");  // over the second half of the wide character
    EXPECT_EQ(screen.Line(0), "  yx  ");

    TLineEditor editor("añb");
    editor.HandleKey({TKey::Left, 0});
    editor.HandleKey({TKey::Backspace, 0});  // removes the two-byte ñ whole
    EXPECT_EQ(editor.Text(), "ab");
    editor.HandleKey(CharKey(U'語'));
    EXPECT_EQ(editor.Text(), "a語b");
    EXPECT_EQ(editor.CursorColumn(), 3);
}

TEST(TuiTextView, WrapsWithoutLosingCharactersAndDumpsBytes) {
    TTextView view;
    view.SetBounds(0, 0, 3, 5);
    view.SetText("abc日本語xyz\r\nsecond");
    // The wide characters never straddle a row's end; the rows put back
    // together are the text.
    TVirtualScreen screen(5, 3);
    view.Paint(screen);
    EXPECT_EQ(screen.Line(0), "abc日");
    EXPECT_EQ(screen.Line(1), "本語x");
    EXPECT_EQ(view.LineCount(), 5);  // "abc日" "本語x" "yz" "secon" "d"
    view.HandleKey({TKey::End, 0});
    EXPECT_EQ(view.TopLine(), 2);
    view.Paint(screen);
    EXPECT_EQ(screen.Line(2), "d    ");

    view.SetBounds(0, 0, 2, 80);
    view.SetBytes(std::string("AB\0\xff", 4));
    TVirtualScreen wide(80, 2);
    view.Paint(wide);
    EXPECT_EQ(wide.Line(0).substr(0, 21), "00000000  41 42 00 ff");
    EXPECT_NE(wide.Line(0).find("AB.."), std::string::npos);
}

TMemDataSet* MakeItems(TComponent* owner, int rows) {
    auto* ds = new TMemDataSet(owner);
    ds->FieldDefs()->Add("ID", ftInteger, 0, true);
    ds->FieldDefs()->Add("NAME", ftString, 12);
    for (int i = 1; i <= rows; ++i) ds->AddRow({Variant(i), Variant("item" + IntToStr(i))});
    return ds;
}

struct GridFixture : ::testing::Test {
    TComponent* Root = new TComponent(nullptr);
    TMemDataSet* Ds = MakeItems(Root, 30);
    TDataSource* Source = new TDataSource(Root);
    TVirtualScreen Screen{40, 12};
    TDBGrid Grid;

    GridFixture() {
        Ds->LogGetRecord = false;
        Source->SetDataSet(Ds);
        Grid.SetBounds(0, 0, 11, 40);  // a header and 10 rows
        Grid.SetDataSource(Source);
        Ds->Open();
    }
    ~GridFixture() override { Root->Free(); }
    /// Paints what is invalid and answers the counts of that paint.
    TDBGrid::TPaintCounts Paint() {
        Grid.ResetPaintCounts();
        Grid.Paint(Screen);
        return Grid.PaintCounts();
    }
    void Keys(std::initializer_list<TKeyEvent> keys) {
        for (const auto& k : keys) Grid.HandleKey(k);
    }
    void Type(const std::string& text) {
        Screen.TypeText(text);
        for (TKeyEvent k = Screen.ReadKey(); k.Key != TKey::Closed; k = Screen.ReadKey()) Grid.HandleKey(k);
    }
};

TEST_F(GridFixture, DataLinkEventsRepaintOnlyWhatChanged) {
    auto first = Paint();
    EXPECT_EQ(first.Headers, 1);
    EXPECT_EQ(first.Rows, 10);
    EXPECT_NE(Screen.Line(0).find("ID"), std::string::npos);
    EXPECT_EQ(Screen.Line(1).substr(0, 1), ">");
    EXPECT_NE(Screen.Line(10).find("item10"), std::string::npos);
    EXPECT_FALSE(Grid.NeedsPaint());
    EXPECT_EQ(Paint().Rows, 0);

    // Down inside the window: the old and the new current row.
    Keys({{TKey::Down, 0}});
    auto moved = Paint();
    EXPECT_EQ(moved.Rows, 2);
    EXPECT_EQ(moved.Headers, 0);
    EXPECT_EQ(Screen.Line(2).substr(0, 1), ">");
    EXPECT_EQ(Screen.Line(1).substr(0, 1), " ");

    // Past the window's end: the window scrolls, every row.
    Keys({{TKey::PageDown, 0}});
    EXPECT_EQ(Paint().Rows, 10);
    EXPECT_EQ(Ds->FieldByName("ID")->AsInteger(), 12);

    // A field changed by program (another control on the same dataset): the
    // current row only, showing the new value.
    Ds->Edit();
    Ds->FieldByName("NAME")->SetAsString("renamed");
    auto edited = Paint();
    EXPECT_EQ(edited.Rows, 1);
    EXPECT_NE(Screen.Text().find("renamed"), std::string::npos);
    Ds->Cancel();  // the dataset resyncs: every row
    EXPECT_EQ(Paint().Rows, 10);
    EXPECT_EQ(Screen.Text().find("renamed"), std::string::npos);

    // A column change repaints the current row only; closing shows no rows.
    Keys({{TKey::Right, 0}});
    EXPECT_EQ(Paint().Rows, 1);
    EXPECT_EQ(Grid.SelectedField()->FieldName(), "NAME");
    Ds->Close();
    auto closed = Paint();
    EXPECT_EQ(closed.Headers, 1);
    EXPECT_EQ(closed.Rows, 10);
    EXPECT_EQ(Grid.ColumnCount(), 0);
}

/// Follows a second data source and remembers what it saw.
class TWatcher : public TDataLink {
public:
    std::vector<std::string> Seen;

protected:
    void RecordChanged(TField* Field) override {
        if (Field) Seen.push_back(Field->FieldName() + "=" + Field->AsString());
    }
    void EditingChanged() override { Seen.push_back(Editing() ? "editing" : "browsing"); }
};

TEST_F(GridFixture, ASecondDataSourceSeesTheGridsEdits) {
    auto* other = new TDataSource(Root);
    other->SetDataSet(Ds);
    TWatcher watcher;
    watcher.SetDataSource(other);
    Paint();

    Keys({{TKey::Down, 0}, {TKey::Right, 0}, {TKey::Enter, 0}});  // edit item2's name
    ASSERT_TRUE(Grid.EditorMode());
    EXPECT_EQ(Grid.EditorText(), "item2");
    Keys({{TKey::Backspace, 0}});
    Type("X");
    Keys({{TKey::Enter, 0}});
    EXPECT_FALSE(Grid.EditorMode());
    EXPECT_EQ(Ds->State(), dsEdit);
    Paint();
    EXPECT_EQ(Screen.Line(2).substr(0, 1), "*");  // the edit indicator
    Keys({{TKey::F2, 0}});
    EXPECT_EQ(Ds->State(), dsBrowse);
    EXPECT_EQ(Ds->StoredValue(1, "NAME").AsString(), "itemX");
    EXPECT_EQ((std::vector<std::string>{"editing", "NAME=itemX", "browsing"}), watcher.Seen);

    // Typing replaces the cell; moving to another record posts it.
    watcher.Seen.clear();
    Type("fresh");
    Keys({{TKey::Down, 0}});
    EXPECT_EQ(Ds->StoredValue(1, "NAME").AsString(), "fresh");
    EXPECT_EQ(Ds->FieldByName("ID")->AsInteger(), 3);
    EXPECT_EQ(watcher.Seen.back(), "browsing");

    // Insert and delete through the grid, the delete after confirmation.
    std::vector<std::string> asked;
    Grid.OnConfirm = [&](const std::string& q) {
        asked.push_back(q);
        return true;
    };
    Keys({{TKey::Insert, 0}});
    EXPECT_EQ(Ds->State(), dsInsert);
    Type("new one");
    Keys({{TKey::F2, 0}});  // the required ID is missing: refused, still inserting
    EXPECT_EQ(Grid.Message(), "Field 'ID' must have a value");
    EXPECT_EQ(Ds->State(), dsInsert);
    Keys({{TKey::BackTab, 0}});
    Type("99");
    Keys({{TKey::F2, 0}});
    EXPECT_EQ(Ds->StoredCount(), 31);
    EXPECT_EQ(Grid.Message(), "");
    Keys({{TKey::Delete, 0}});
    EXPECT_EQ(asked.size(), 1u);
    EXPECT_EQ(Ds->StoredCount(), 30);
}

TEST_F(GridFixture, RefusedValuesAndPostsKeepTheTypingUntilEscape) {
    Paint();
    // A text the integer field cannot take: the editor stays with it.
    Type("12x");
    Keys({{TKey::Enter, 0}});
    EXPECT_TRUE(Grid.EditorMode());
    EXPECT_EQ(Grid.EditorText(), "12x");
    EXPECT_NE(Grid.Message().find("12x"), std::string::npos) << Grid.Message();
    Keys({{TKey::Escape, 0}});
    EXPECT_FALSE(Grid.EditorMode());

    // A post the data source refuses: the record stays in edit, typed value kept.
    Ds->FailHook = [](const String& op) {
        if (op == "InternalPost") throw EDatabaseError("duplicate key value violates unique constraint");
    };
    Keys({{TKey::Right, 0}});
    Type("typed");
    Keys({{TKey::Down, 0}});
    EXPECT_EQ(Grid.Message(), "duplicate key value violates unique constraint");
    EXPECT_EQ(Ds->State(), dsEdit);
    EXPECT_EQ(Ds->FieldByName("ID")->AsInteger(), 1);
    EXPECT_EQ(Ds->FieldByName("NAME")->AsString(), "typed");
    Paint();
    EXPECT_NE(Screen.Line(1).find("typed"), std::string::npos);
    Keys({{TKey::Escape, 0}});
    EXPECT_EQ(Ds->State(), dsBrowse);
    EXPECT_EQ(Ds->FieldByName("NAME")->AsString(), "item1");
    EXPECT_EQ(Ds->StoredValue(0, "NAME").AsString(), "item1");

    // Read-only fields and grids refuse to open the editor.
    Ds->FieldByName("NAME")->SetReadOnly(true);
    Type("z");
    EXPECT_FALSE(Grid.EditorMode());
    EXPECT_EQ(Grid.Message(), "Field 'NAME' cannot be modified");
    EXPECT_EQ(Ds->State(), dsBrowse);
}

}  // namespace
}  // namespace velora::test
