// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "velora/tui/DialogScreen.h"

#include "velora/forms/Buttons.h"
#include "velora/forms/ComCtrls.h"
#include "velora/forms/ExtCtrls.h"
#include "velora/forms/StdCtrls.h"

#include <algorithm>
#include <cctype>
#include <string_view>
#include <vector>

namespace velora::tui {

namespace {

// The control with the focus is drawn bold and underlined (a focused button
// between < and > instead of [ and ]); reverse video is kept for what is
// selected (a list's chosen items), so the two never look alike.
constexpr unsigned FocusAttr = tui::aBold | tui::aUnderline;

// Ctrl with these letters reaches a program as Backspace, Tab, line feed
// and Return, or stops and starts the terminal's output: never hotkeys.
constexpr std::string_view ReservedLetters = "hijmqs";

struct TBox {
    int Top = 0, Left = 0, Height = 0, Width = 0;
    int Bottom() const { return Top + Height - 1; }
    int Right() const { return Left + Width - 1; }
};

TBox Intersect(const TBox& a, const TBox& b) {
    const int top = std::max(a.Top, b.Top), left = std::max(a.Left, b.Left);
    const int bottom = std::min(a.Bottom(), b.Bottom()), right = std::min(a.Right(), b.Right());
    return {top, left, std::max(0, bottom - top + 1), std::max(0, right - left + 1)};
}

/// Cells that hold pixels at the scale (rounded up, with a little slack
/// for rounding).
int Cells(int pixels, double perCell) { return static_cast<int>(pixels / perCell + 0.99); }

TBox Inside(const TBox& b) { return {b.Top + 1, b.Left + 1, std::max(0, b.Height - 2), std::max(0, b.Width - 2)}; }

String OneLine(String s) {
    String out;
    for (char c : s)
        if (c != '\r') out += c == '\n' || c == '\t' ? ' ' : c;
    return out;
}

std::vector<String> SplitLines(const String& text) {
    std::vector<String> lines(1);
    for (char c : text) {
        if (c == '\n')
            lines.emplace_back();
        else if (c != '\r')
            lines.back() += c;
    }
    return lines;
}

/// Text broken into rows of at most `width` display columns, at spaces
/// where it can be, inside a word where the word alone is wider.
std::vector<String> Wrap(const String& text, int width) {
    std::vector<String> rows(1);
    width = std::max(1, width);
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t space = text.find(' ', at);
        String word = text.substr(at, space == String::npos ? String::npos : space - at);
        at = space == String::npos ? text.size() : space + 1;
        for (;;) {
            const String joined = rows.back().empty() ? word : rows.back() + " " + word;
            if (tui::DisplayWidth(joined) <= width) {
                rows.back() = joined;
                break;
            }
            if (!rows.back().empty()) {
                rows.emplace_back();
                continue;
            }
            // A word wider than the row: as much as fits, the rest on.
            String part = tui::FitWidth(word, width);
            while (!part.empty() && part.back() == ' ') part.pop_back();
            if (part.empty()) part = word.substr(0, 1);
            rows.back() = part;
            word = word.substr(part.size());
            rows.emplace_back();
            if (word.empty()) break;
        }
    }
    while (rows.size() > 1 && rows.back().empty()) rows.pop_back();
    return rows;
}

String StatusText(const TStatusBar& status) {
    String text = status.SimplePanel() ? status.SimpleText() : String();
    if (!status.SimplePanel())
        for (int i = 0; i < status.Panels()->Count(); ++i) text += (i ? " | " : "") + status.Panels()->Items(i)->Text();
    return OneLine(text);
}

String CaptionOf(const TControl* c) {
    if (auto* b = dynamic_cast<const TButton*>(c)) return b->Caption();
    if (auto* b = dynamic_cast<const TSpeedButton*>(c)) return b->Caption();
    if (auto* b = dynamic_cast<const TCheckBox*>(c)) return b->Caption();
    if (auto* t = dynamic_cast<const TTabSheet*>(c)) return t->Caption();
    return String();
}

/// The index in the shown caption of the letter after "&", or -1.
int MarkedLetter(const String& caption) {
    int shown = 0;
    for (std::size_t i = 0; i < caption.size(); ++i, ++shown) {
        if (caption[i] != '&' || i + 1 >= caption.size()) continue;
        if (caption[i + 1] == '&') {
            ++i;
            continue;
        }
        return shown;
    }
    return -1;
}

class TDialogView {
public:
    TDialogView(tui::TScreen& screen, TCustomForm& form) : FScreen(screen), FForm(form) {}

    void Paint() {
        const int w = FScreen.Width(), h = FScreen.Height();
        const int cw = std::max(1, form().ClientWidth()), ch = std::max(1, form().ClientHeight());
        // Pixels per cell: 6 × 13 ("MS Sans Serif" 8), finer when the form
        // would not fit; the cells the client area takes.
        FColPx = std::max(6.0, static_cast<double>(cw) / std::max(1, w - 2));
        FRowPx = std::max(13.0, static_cast<double>(ch) / std::max(1, h - 3));
        const int cols = std::min(w - 2, Cells(cw, FColPx));
        const int rows = std::min(h - 3, Cells(ch, FRowPx) + StatusRows());
        const TBox frame{std::max(0, (h - 1 - rows - 2) / 2), std::max(0, (w - cols - 2) / 2), rows + 2, cols + 2};
        AssignHotkeys();
        FCursorRow = FCursorCol = -1;
        DrawFrame(frame, OneLine(form().Caption()), tui::aBold, frame);
        const TBox inside = Inside(frame);
        for (int r = inside.Top; r <= inside.Bottom(); ++r) Put(r, inside.Left, String(inside.Width, ' '), 0, inside);
        PaintChildren(form(), inside.Top, inside.Left, inside);
        FScreen.WriteLine(h - 1, FMessage.empty() ? Hints() : FMessage, tui::aReverse);
        FScreen.SetCursor(FCursorRow, FCursorCol);
        FScreen.Flush();
    }

    void HandleKey(const tui::TKeyEvent& key) {
        FMessage.clear();
        TWinControl* focus = form().ActiveControl();
        auto* list = dynamic_cast<TCustomListBox*>(focus);
        const bool multi = list && list->MultiSelect();
        auto* pages = dynamic_cast<TPageControl*>(focus);
        switch (key.Key) {
            case tui::TKey::Tab:
                form().SendKey(VK_TAB);
                break;
            case tui::TKey::BackTab:
                form().SendKey(VK_TAB, TShiftState{ssShift});
                break;
            case tui::TKey::Enter:
                form().SendKey(VK_RETURN);
                break;
            case tui::TKey::Escape:
                form().SendKey(VK_ESCAPE);
                if (form().ModalResult() == mrNone) form().Close();
                break;
            case tui::TKey::Up:
            case tui::TKey::Down: {
                const int step = key.Key == tui::TKey::Up ? -1 : 1;
                if (multi) {
                    FListCursor[list] =
                        std::clamp(FListCursor[list] + step, 0, std::max(0, list->Items()->Count() - 1));
                } else if (auto* memo = dynamic_cast<TCustomMemo*>(focus)) {
                    MoveLine(*memo, step);
                } else {
                    form().SendKey(step < 0 ? VK_UP : VK_DOWN);
                }
                break;
            }
            case tui::TKey::Left:
            case tui::TKey::Right:
                if (pages) {
                    const int index = pages->ActivePageIndex() + (key.Key == tui::TKey::Left ? -1 : 1);
                    if (index >= 0 && index < pages->PageCount()) pages->UserSelectPage(index);
                } else {
                    form().SendKey(key.Key == tui::TKey::Left ? VK_LEFT : VK_RIGHT);
                }
                break;
            case tui::TKey::Home:
                form().SendKey(VK_HOME);
                break;
            case tui::TKey::End:
                form().SendKey(VK_END);
                break;
            case tui::TKey::Backspace:
                form().SendKey(VK_BACK);
                break;
            case tui::TKey::Delete:
                form().SendKey(VK_DELETE);
                break;
            case tui::TKey::Char:
                if (key.Char == ' ' && multi) {
                    if (list->Items()->Count() > 0) list->UserClickItem(FListCursor[list], TShiftState{ssCtrl});
                } else {
                    std::string text;
                    tui::AppendUtf8(text, key.Char);
                    for (char c : text) form().SendChar(c);
                }
                break;
            case tui::TKey::Ctrl:
                if (auto it = FHotkeys.find(static_cast<char>(key.Char)); it != FHotkeys.end()) Press(it->second);
                break;
            default:
                break;
        }
        if (TWinControl* now = form().ActiveControl(); !now || !now->CanFocus()) form().SelectNext();
    }

    void SetMessage(const String& text) { FMessage = text; }

private:
    TCustomForm& form() const { return FForm; }

    // ---- keys

    void Press(TControl* c) {
        if (auto* sheet = dynamic_cast<TTabSheet*>(c)) {
            TPageControl* pages = sheet->PageControl();
            pages->UserSelectPage(sheet->PageIndex());
            form().UserFocus(pages);
            return;
        }
        c->UserClick();
    }

    void MoveLine(TCustomMemo& memo, int step) {
        const String text = memo.Text();
        const int caret = std::clamp(memo.SelStart(), 0, static_cast<int>(text.size()));
        std::vector<int> starts{0};
        for (int i = 0; i < static_cast<int>(text.size()); ++i)
            if (text[static_cast<std::size_t>(i)] == '\n') starts.push_back(i + 1);
        int line = static_cast<int>(std::upper_bound(starts.begin(), starts.end(), caret) - starts.begin()) - 1;
        const int column = caret - starts[static_cast<std::size_t>(line)];
        line = std::clamp(line + step, 0, static_cast<int>(starts.size()) - 1);
        int end = line + 1 < static_cast<int>(starts.size()) ? starts[static_cast<std::size_t>(line) + 1] - 1
                                                             : static_cast<int>(text.size());
        if (end > starts[static_cast<std::size_t>(line)] && text[static_cast<std::size_t>(end) - 1] == '\r') --end;
        memo.SetSelStart(std::min(starts[static_cast<std::size_t>(line)] + column, end));
    }

    // ---- hotkeys

    template <class Fn>
    void Walk(TWinControl& parent, Fn fn) {
        for (int i = 0; i < parent.ControlCount(); ++i) {
            TControl* c = parent.Controls(i);
            if (!c->Visible()) continue;
            fn(c);
            if (auto* w = dynamic_cast<TWinControl*>(c)) Walk(*w, fn);
        }
    }

    // Buttons first (OK, Cancel), then speed buttons and check boxes, then
    // the tabs of the pages shown; each takes its marked letter, else the
    // first letter of its caption still free.
    void AssignHotkeys() {
        FHotkeys.clear();
        FHotIndex.clear();
        std::vector<TControl*> order;
        Walk(form(), [&](TControl* c) {
            if (dynamic_cast<TButton*>(c)) order.push_back(c);
        });
        Walk(form(), [&](TControl* c) {
            if (dynamic_cast<TSpeedButton*>(c) || dynamic_cast<TCheckBox*>(c)) order.push_back(c);
        });
        Walk(form(), [&](TControl* c) {
            if (auto* pages = dynamic_cast<TPageControl*>(c))
                for (int i = 0; i < pages->PageCount(); ++i)
                    if (pages->Pages(i)->TabVisible()) order.push_back(pages->Pages(i));
        });
        for (TControl* c : order) {
            const String caption = CaptionOf(c);
            const String shown = StripHotkey(caption);
            std::vector<int> candidates;
            if (const int marked = MarkedLetter(caption); marked >= 0) candidates.push_back(marked);
            for (int i = 0; i < static_cast<int>(shown.size()); ++i) candidates.push_back(i);
            for (int i : candidates) {
                const char letter =
                    static_cast<char>(std::tolower(static_cast<unsigned char>(shown[static_cast<std::size_t>(i)])));
                if (letter < 'a' || letter > 'z' || ReservedLetters.find(letter) != std::string_view::npos ||
                    FHotkeys.count(letter))
                    continue;
                FHotkeys[letter] = c;
                FHotIndex[c] = i;
                break;
            }
        }
    }

    String Hints() const {
        TWinControl* focus = form().ActiveControl();
        String hints = dynamic_cast<TCustomMemo*>(focus) ? "Tab next  Enter new line  Esc cancel"
                                                         : "Tab next  Enter OK  Esc cancel";
        hints += "  Ctrl+underlined letter presses";
        if (auto* list = dynamic_cast<TCustomListBox*>(focus); list && list->MultiSelect())
            hints += "  Up/Down move  Space selects";
        else if (dynamic_cast<TPageControl*>(focus))
            hints += "  Left/Right page";
        else if (dynamic_cast<TCustomComboBox*>(focus) || dynamic_cast<TCustomListBox*>(focus))
            hints += "  Up/Down choose";
        return hints;
    }

    // ---- painting

    void Put(int row, int col, const String& text, unsigned attr, const TBox& clip) {
        if (row < clip.Top || row > clip.Bottom() || col > clip.Right() || clip.Width <= 0) return;
        String shown = text;
        int at = col;
        if (at < clip.Left) {  // cut on the left (wide enough for plain text)
            const std::size_t cut = static_cast<std::size_t>(clip.Left - at);
            shown = cut < shown.size() ? shown.substr(cut) : String();
            at = clip.Left;
        }
        const int room = clip.Right() - at + 1;
        const int width = std::min(room, tui::DisplayWidth(shown));
        if (width > 0) FScreen.Write(row, at, tui::FitWidth(shown, width), attr);
    }

    /// A caption with its hotkey letter underlined.
    void PutCaption(int row, int col, const String& text, int hot, unsigned attr, const TBox& clip) {
        if (hot < 0 || hot >= static_cast<int>(text.size())) return Put(row, col, text, attr, clip);
        Put(row, col, text.substr(0, static_cast<std::size_t>(hot)), attr, clip);
        Put(row, col + hot, text.substr(static_cast<std::size_t>(hot), 1), attr | tui::aUnderline, clip);
        Put(row, col + hot + 1, text.substr(static_cast<std::size_t>(hot) + 1), attr, clip);
    }

    void DrawFrame(const TBox& b, const String& caption, unsigned captionAttr, const TBox& clip) {
        if (b.Height < 2 || b.Width < 2) return;
        auto line = [&](const char* left, const char* right) {
            String s = left;
            for (int i = 0; i < b.Width - 2; ++i) s += "─";
            return s + right;
        };
        Put(b.Top, b.Left, line("┌", "┐"), 0, clip);
        for (int r = b.Top + 1; r < b.Bottom(); ++r) {
            Put(r, b.Left, "│", 0, clip);
            Put(r, b.Right(), "│", 0, clip);
        }
        Put(b.Bottom(), b.Left, line("└", "┘"), 0, clip);
        if (!caption.empty() && b.Width > 4)
            Put(b.Top, b.Left + 2,
                tui::FitWidth(" " + caption + " ", std::min(b.Width - 4, tui::DisplayWidth(caption) + 2)), captionAttr,
                clip);
    }

    /// Rows a status bar's message needs beyond its own one.
    int StatusRows() const {
        int extra = 0;
        for (int i = 0; i < form().ControlCount(); ++i)
            if (auto* status = dynamic_cast<TStatusBar*>(form().Controls(i)); status && status->Visible())
                extra =
                    std::max(extra, static_cast<int>(Wrap(StatusText(*status), Place(*status, 0, 0).Width).size()) - 1);
        return extra;
    }

    static bool IsOneLine(const TControl* c) {
        return dynamic_cast<const TCustomLabel*>(c) || dynamic_cast<const TSpeedButton*>(c) ||
               dynamic_cast<const TButton*>(c) || dynamic_cast<const TCheckBox*>(c) ||
               dynamic_cast<const TCustomComboBox*>(c) || dynamic_cast<const TStatusBar*>(c) ||
               (dynamic_cast<const TCustomEdit*>(c) && !dynamic_cast<const TCustomMemo*>(c));
    }

    TBox Place(const TControl& c, int row0, int col0) const {
        const int col = col0 + static_cast<int>(c.Left() / FColPx);
        const int width = std::max(1, static_cast<int>(c.Width() / FColPx + 0.5));
        if (IsOneLine(&c)) return {row0 + static_cast<int>((c.Top() + c.Height() / 2.0) / FRowPx), col, 1, width};
        const int top = row0 + static_cast<int>(c.Top() / FRowPx + 0.5);
        const int bottom = row0 + static_cast<int>((c.Top() + c.Height()) / FRowPx + 0.5) - 1;
        return {top, col, std::max(1, bottom - top + 1), width};
    }

    unsigned StateAttr(const TControl& c, unsigned attr = 0) const {
        return c.EnabledInTree() ? attr : attr | tui::aDim;
    }

    void PaintChildren(TWinControl& parent, int row0, int col0, const TBox& clip) {
        for (int i = 0; i < parent.ControlCount(); ++i) {
            TControl* c = parent.Controls(i);
            if (c->Visible()) PaintControl(*c, row0, col0, clip);
        }
    }

    void PaintControl(TControl& c, int row0, int col0, const TBox& clip) {
        const TBox box = Place(c, row0, col0);
        const bool focused = &c == form().ActiveControl();
        if (auto* label = dynamic_cast<TCustomLabel*>(&c)) {
            unsigned attr = label->Font()->Style().Contains(fsBold) ? tui::aBold : tui::aNormal;
            Put(box.Top, box.Left, OneLine(label->DisplayText()), StateAttr(c, attr), clip);
        } else if (auto* memo = dynamic_cast<TCustomMemo*>(&c)) {
            PaintMemo(*memo, box, focused, clip);
        } else if (auto* edit = dynamic_cast<TCustomEdit*>(&c)) {
            PaintEdit(*edit, box, focused, clip);
        } else if (auto* combo = dynamic_cast<TCustomComboBox*>(&c)) {
            const String text = tui::FitWidth(OneLine(combo->Text()), std::max(1, box.Width - 2)) + " v";
            Put(box.Top, box.Left, text, StateAttr(c, focused ? FocusAttr : tui::aUnderline), clip);
        } else if (dynamic_cast<TButton*>(&c) || dynamic_cast<TSpeedButton*>(&c)) {
            const String caption = StripHotkey(CaptionOf(&c));
            // One column of the box stays free, so that buttons side by side
            // keep apart; a caption wider than that is shown whole.
            const int width = std::max(box.Width - 1, static_cast<int>(caption.size()) + 2);
            const int pad = std::max(0, (width - 2 - static_cast<int>(caption.size())) / 2);
            const int left = box.Left;
            auto* button = dynamic_cast<TButton*>(&c);
            const unsigned attr =
                StateAttr(c, focused ? FocusAttr : (button && button->Default() ? tui::aBold : tui::aNormal));
            Put(box.Top, left, (focused ? "<" : "[") + String(static_cast<std::size_t>(pad), ' '), attr, clip);
            PutCaption(box.Top, left + 1 + pad, caption, HotIndex(&c), attr, clip);
            Put(box.Top, left + 1 + pad + static_cast<int>(caption.size()),
                String(static_cast<std::size_t>(width - 2 - pad - static_cast<int>(caption.size())), ' ') +
                    (focused ? ">" : "]"),
                attr, clip);
        } else if (auto* check = dynamic_cast<TCheckBox*>(&c)) {
            const unsigned attr = StateAttr(c, focused ? FocusAttr : tui::aNormal);
            Put(box.Top, box.Left, check->Checked() ? "[x] " : "[ ] ", attr, clip);
            PutCaption(box.Top, box.Left + 4, StripHotkey(check->Caption()), HotIndex(&c), attr, clip);
        } else if (auto* list = dynamic_cast<TCustomListBox*>(&c)) {
            PaintList(*list, box, focused, clip);
        } else if (auto* tree = dynamic_cast<TTreeView*>(&c)) {
            DrawFrame(box, String(), 0, clip);
            int row = box.Top + 1;
            auto walk = [&](auto&& self, TTreeNode* node) -> void {
                for (; node && row < box.Bottom(); node = node->GetNextSibling()) {
                    const String mark = node->HasChildren() ? (node->Expanded() ? "- " : "+ ") : "  ";
                    Put(row++, box.Left + 1 + 2 * node->Level(), mark + node->Text(), StateAttr(c),
                        Intersect(Inside(box), clip));
                    if (node->Expanded()) self(self, node->GetFirstChild());
                }
            };
            walk(walk, tree->Items()->GetFirstNode());
        } else if (auto* status = dynamic_cast<TStatusBar*>(&c)) {
            // A message wider than the bar wraps onto the rows the frame
            // added below it (StatusRows), so none of it is cut.
            const std::vector<String> rows = Wrap(StatusText(*status), box.Width);
            for (std::size_t k = 0; k < rows.size(); ++k)
                Put(box.Top + static_cast<int>(k), box.Left, tui::FitWidth(rows[k], box.Width), tui::aReverse, clip);
        } else if (auto* group = dynamic_cast<TGroupBox*>(&c)) {
            DrawFrame(box, Trim(OneLine(StripHotkey(group->Caption()))), StateAttr(c), clip);
            PaintChildren(*group, box.Top, box.Left, Intersect(Inside(box), clip));
        } else if (auto* pages = dynamic_cast<TPageControl*>(&c)) {
            PaintPages(*pages, box, focused, clip);
        } else if (auto* w = dynamic_cast<TWinControl*>(&c)) {
            PaintChildren(*w, box.Top, box.Left, Intersect(box, clip));
        }
    }

    int HotIndex(const TControl* c) const {
        auto it = FHotIndex.find(c);
        return it == FHotIndex.end() ? -1 : it->second;
    }

    void PaintEdit(TCustomEdit& edit, const TBox& box, bool focused, const TBox& clip) {
        const String text = OneLine(edit.DisplayText());
        const int caret = std::clamp(edit.SelStart(), 0, static_cast<int>(text.size()));
        const int first = std::max(0, caret - box.Width + 1);
        Put(box.Top, box.Left, tui::FitWidth(text.substr(static_cast<std::size_t>(first)), box.Width),
            StateAttr(edit, tui::aUnderline | (focused ? tui::aBold : tui::aNormal)), clip);
        if (focused) {
            FCursorRow = box.Top;
            FCursorCol = box.Left + tui::DisplayWidth(text.substr(static_cast<std::size_t>(first),
                                                                  static_cast<std::size_t>(caret - first)));
        }
    }

    /// A memo or list that is a page's whole content has the page's frame.
    static bool OwnFrame(const TControl& c, const TBox& box) {
        return box.Height >= 3 && !dynamic_cast<const TTabSheet*>(c.Parent());
    }

    void PaintMemo(TCustomMemo& memo, const TBox& outer, bool focused, const TBox& clip) {
        const TBox box =
            OwnFrame(memo, outer) ? outer : TBox{outer.Top - 1, outer.Left - 1, outer.Height + 2, outer.Width + 2};
        if (OwnFrame(memo, outer)) DrawFrame(box, String(), 0, clip);
        const TBox inner = Intersect(Inside(box), clip);
        const String text = memo.Text();
        const std::vector<String> lines = SplitLines(text);
        // The caret's line and column (in the text without CR).
        const int caret = std::clamp(memo.SelStart(), 0, static_cast<int>(text.size()));
        int line = 0, column = 0;
        for (int i = 0; i < caret; ++i) {
            const char ch = text[static_cast<std::size_t>(i)];
            if (ch == '\n') {
                ++line;
                column = 0;
            } else if (ch != '\r') {
                ++column;
            }
        }
        int& top = FScroll[&memo];
        const int rows = std::max(1, Inside(box).Height);
        if (line < top) top = line;
        if (line >= top + rows) top = line - rows + 1;
        for (int r = 0; r < rows; ++r) {
            const std::size_t index = static_cast<std::size_t>(top + r);
            Put(box.Top + 1 + r, box.Left + 1,
                tui::FitWidth(index < lines.size() ? OneLine(lines[index]) : String(), Inside(box).Width),
                StateAttr(memo), inner);
        }
        if (focused) {
            FCursorRow = box.Top + 1 + line - top;
            FCursorCol = std::min(box.Left + 1 + column, box.Right() - 1);
        }
    }

    void PaintList(TCustomListBox& list, const TBox& box, bool focused, const TBox& clip) {
        const bool framed = OwnFrame(list, box);
        if (framed) DrawFrame(box, String(), 0, clip);
        const TBox area = framed ? Inside(box) : box;
        const int count = list.Items()->Count();
        const bool multi = list.MultiSelect();
        int& cursor = FListCursor[&list];
        cursor = std::clamp(multi ? cursor : list.ItemIndex(), 0, std::max(0, count - 1));
        int& top = FScroll[&list];
        if (cursor < top) top = cursor;
        if (cursor >= top + area.Height) top = cursor - area.Height + 1;
        for (int r = 0; r < area.Height; ++r) {
            const int i = top + r;
            String text;
            unsigned attr = 0;
            if (i < count) {
                const bool selected = list.Selected(i);
                text = multi ? String(selected ? "[x] " : "[ ] ") + list.Items()->Strings(i) : list.Items()->Strings(i);
                // Chosen items reverse; the item the keys act on in the list
                // with the focus, bold and underlined.
                if (selected) attr = tui::aReverse;
                if (focused && i == cursor) attr |= FocusAttr;
            }
            Put(area.Top + r, area.Left, tui::FitWidth(OneLine(text), area.Width), StateAttr(list, attr),
                Intersect(area, clip));
        }
    }

    void PaintPages(TPageControl& pages, const TBox& box, bool focused, const TBox& clip) {
        int col = box.Left + 1;
        for (int i = 0; i < pages.PageCount(); ++i) {
            TTabSheet* sheet = pages.Pages(i);
            if (!sheet->TabVisible()) continue;
            const String caption = StripHotkey(sheet->Caption());
            const bool active = sheet == pages.ActivePage();
            const unsigned attr = active ? (focused ? FocusAttr : tui::aBold) : tui::aNormal;
            Put(box.Top, col, active ? "[" : " ", attr, clip);
            PutCaption(box.Top, col + 1, caption, HotIndex(sheet), attr, clip);
            Put(box.Top, col + 1 + static_cast<int>(caption.size()), active ? "]" : " ", attr, clip);
            col += static_cast<int>(caption.size()) + 3;
        }
        const TBox frame{box.Top + 1, box.Left, box.Height - 1, box.Width};
        DrawFrame(frame, String(), 0, clip);
        if (TTabSheet* sheet = pages.ActivePage())
            PaintChildren(*sheet, frame.Top + 1, frame.Left + 1, Intersect(Inside(frame), clip));
    }

    tui::TScreen& FScreen;
    TCustomForm& FForm;
    double FColPx = 6;
    double FRowPx = 13;
    int FCursorRow = -1;
    int FCursorCol = -1;
    String FMessage;
    std::map<char, TControl*> FHotkeys;
    std::map<const TControl*, int> FHotIndex;
    std::map<const TControl*, int> FListCursor;  // multi-select lists: the item Space toggles
    std::map<const TControl*, int> FScroll;      // first row shown of lists and memos
};

}  // namespace

bool TScreenPresenter::RunModal(TCustomForm& form) {
    TDialogView view(FScreen, form);
    while (form.ModalResult() == mrNone) {
        view.Paint();
        const tui::TKeyEvent key = FScreen.ReadKey();
        if (key.Key == tui::TKey::Closed) return false;
        try {
            view.HandleKey(key);
        } catch (const std::exception& e) {
            view.SetMessage(e.what());
        }
    }
    return true;
}

}  // namespace velora::tui
