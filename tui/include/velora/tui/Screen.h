// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The full-screen terminal layer: a screen of character cells, key events,
// and windows that paint themselves onto the screen and take keys.
//
// TScreen is what windows paint on. Two screens exist:
//   - TCursesScreen drives the terminal through ncurses (wide-character
//     build): it takes the terminal over on construction and gives it back
//     on destruction (also when a signal ends the program);
//   - TVirtualScreen keeps the cells in memory and reads keys from a script,
//     so a program's screens can be driven and read back in-process.
// Text is UTF-8 everywhere; its width on screen is counted in columns
// (DisplayWidth), so East Asian wide characters take two columns and
// combining marks none.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velora::tui {

/// Keys a screen reports. Char carries a printable character, Ctrl a letter
/// typed with Ctrl (TKeyEvent::Char is then the lower-case letter).
enum class TKey {
    None,
    Char,
    Ctrl,
    Up,
    Down,
    Left,
    Right,
    PageUp,
    PageDown,
    Home,
    End,
    Enter,
    Escape,
    Tab,
    BackTab,
    Backspace,
    Delete,
    Insert,
    F1,
    F2,
    F3,
    F4,
    F5,
    F6,
    F7,
    F8,
    F9,
    F10,
    Resize,
    /// Input ended (the terminal went away): programs should finish.
    Closed
};

struct TKeyEvent {
    TKey Key = TKey::None;
    /// The character of Char (a Unicode code point) and the letter of Ctrl.
    char32_t Char = 0;
    bool operator==(const TKeyEvent&) const = default;
};

/// A key event for a printable character or a Ctrl letter.
inline TKeyEvent CharKey(char32_t c) { return {TKey::Char, c}; }
inline TKeyEvent CtrlKey(char letter) { return {TKey::Ctrl, static_cast<char32_t>(letter)}; }

/// Cell attributes, combined with |.
enum TAttr : unsigned { aNormal = 0, aReverse = 1, aBold = 2, aUnderline = 4, aDim = 8 };

/// Columns the UTF-8 text takes on a terminal. Bytes that are not valid
/// UTF-8 count one column each (they are shown as U+FFFD); control
/// characters count one (shown as '?').
int DisplayWidth(std::string_view text);

/// The text cut or padded with spaces to exactly width columns (a wide
/// character that would straddle the edge becomes a space); right-aligned
/// when right. Invalid bytes become U+FFFD and control characters '?', so
/// what is written never moves the terminal's cursor on its own.
std::string FitWidth(std::string_view text, int width, bool right = false);

/// Appends the UTF-8 form of a code point.
void AppendUtf8(std::string& out, char32_t c);

/// Where windows paint and keys come from.
class TScreen {
public:
    virtual ~TScreen() = default;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    /// Writes text at (row, col), clipped at the right edge of the screen;
    /// rows and columns count from 0. Text should be fitted (FitWidth).
    virtual void Write(int row, int col, std::string_view text, unsigned attr = aNormal) = 0;
    /// Shows the text cursor at (row, col), or hides it (row < 0).
    virtual void SetCursor(int row, int col) = 0;
    /// Makes what was written visible.
    virtual void Flush() = 0;
    /// Waits for the next key.
    virtual TKeyEvent ReadKey() = 0;
    /// Writes a whole row: the text fitted to the screen's width.
    void WriteLine(int row, std::string_view text, unsigned attr = aNormal) {
        Write(row, 0, FitWidth(text, Width()), attr);
    }
};

/// A screen in memory with scripted keys, for tests and for capturing what
/// a program shows.
class TVirtualScreen : public TScreen {
public:
    TVirtualScreen(int width, int height);
    int Width() const override { return FWidth; }
    int Height() const override { return FHeight; }
    void Write(int row, int col, std::string_view text, unsigned attr = aNormal) override;
    void SetCursor(int row, int col) override {
        FCursorRow = row;
        FCursorCol = col;
    }
    void Flush() override { ++FFlushes; }
    /// The next scripted key; Closed when the script is used up (an
    /// OnIdle hook runs first and may add keys).
    TKeyEvent ReadKey() override;

    /// Adds keys to the script: TypeText adds one Char key per character.
    void PushKey(TKeyEvent key) { FKeys.push_back(key); }
    void TypeText(std::string_view utf8);
    /// Called by ReadKey when the script is empty.
    std::function<void(TVirtualScreen&)> OnIdle;

    /// A row as text (trailing spaces kept), and the whole screen.
    std::string Line(int row) const;
    std::string Text() const;
    /// The attribute of the cell at (row, col).
    unsigned AttrAt(int row, int col) const;
    int CursorRow() const { return FCursorRow; }
    int CursorCol() const { return FCursorCol; }
    int Flushes() const { return FFlushes; }
    /// Cells written since the last ResetWrites (a measure of repainting).
    int CellsWritten() const { return FCellsWritten; }
    void ResetWrites() { FCellsWritten = 0; }

private:
    struct TCell {
        std::string Text = " ";  ///< the character; empty for the second half of a wide one
        unsigned Attr = aNormal;
    };
    int FWidth;
    int FHeight;
    std::vector<TCell> FCells;
    std::deque<TKeyEvent> FKeys;
    int FCursorRow = -1;
    int FCursorCol = -1;
    int FFlushes = 0;
    int FCellsWritten = 0;
};

/// The terminal through ncurses. Only one may exist at a time.
class TCursesScreen : public TScreen {
public:
    /// Takes the terminal over: alternate screen, no echo, raw keys.
    TCursesScreen();
    /// Gives the terminal back as it was.
    ~TCursesScreen() override;
    TCursesScreen(const TCursesScreen&) = delete;
    TCursesScreen& operator=(const TCursesScreen&) = delete;
    int Width() const override;
    int Height() const override;
    void Write(int row, int col, std::string_view text, unsigned attr = aNormal) override;
    void SetCursor(int row, int col) override;
    void Flush() override;
    TKeyEvent ReadKey() override;
};

/// A rectangle of the screen that paints itself and takes keys. Windows
/// paint only what they marked invalid, so a program repaints cheaply after
/// each key: Paint when NeedsPaint, then Flush the screen.
class TWindow {
public:
    virtual ~TWindow() = default;
    void SetBounds(int top, int left, int height, int width);
    int Top() const { return FTop; }
    int Left() const { return FLeft; }
    int Height() const { return FHeight; }
    int Width() const { return FWidth; }
    /// Paints the invalid parts (everything after Invalidate).
    virtual void Paint(TScreen& screen) = 0;
    /// Answers whether the key was used.
    virtual bool HandleKey(const TKeyEvent& /*key*/) { return false; }
    /// Marks the whole window for painting.
    virtual void Invalidate() { FInvalid = true; }
    virtual bool NeedsPaint() const { return FInvalid; }

protected:
    /// After SetBounds changed the rectangle; invalidates by default.
    virtual void BoundsChanged() { Invalidate(); }
    bool FInvalid = true;

private:
    int FTop = 0;
    int FLeft = 0;
    int FHeight = 0;
    int FWidth = 0;
};

/// One line of editable text with a cursor, counted in characters: the
/// editor of grid cells and of prompts.
class TLineEditor {
public:
    explicit TLineEditor(std::string text = {});
    const std::string& Text() const { return FText; }
    void SetText(std::string text);
    /// The cursor's position in columns from the start of the text.
    int CursorColumn() const;
    /// Edits for Char, Left, Right, Home, End, Backspace, Delete and Ctrl-U
    /// (clear); answers whether the key was one of those.
    bool HandleKey(const TKeyEvent& key);
    /// The part of the text to show in width columns (scrolled so that the
    /// cursor is visible) and the cursor's column within it.
    std::string Visible(int width, int& cursorColumn) const;

private:
    std::string FText;
    std::size_t FCursor = 0;  ///< byte offset, always at a character boundary
};

}  // namespace velora::tui
