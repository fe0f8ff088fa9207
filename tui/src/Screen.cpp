// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Display widths, the in-memory screen, windows and the line editor.
#include "velora/tui/Screen.h"

#include <utf8proc.h>

#include <algorithm>

namespace velora::tui {

namespace {

/// Decodes the character at text[pos]: its code point (U+FFFD for an invalid
/// byte) and its length in bytes (at least 1).
char32_t Decode(std::string_view text, std::size_t pos, std::size_t& length) {
    utf8proc_int32_t cp = 0;
    const auto n = utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(text.data() + pos),
                                    static_cast<utf8proc_ssize_t>(text.size() - pos), &cp);
    if (n <= 0) {
        length = 1;
        return 0xFFFD;
    }
    length = static_cast<std::size_t>(n);
    return static_cast<char32_t>(cp);
}

/// Columns of one code point as shown: controls are shown as '?' (1).
int CharWidth(char32_t c) {
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) return 1;
    return utf8proc_charwidth(static_cast<utf8proc_int32_t>(c));
}

/// The code point as it is written to the screen.
char32_t Shown(char32_t c) { return (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) ? U'?' : c; }

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
    utf8proc_uint8_t buffer[4];
    const auto n = utf8proc_encode_char(static_cast<utf8proc_int32_t>(c), buffer);
    out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
}

int DisplayWidth(std::string_view text) {
    int width = 0;
    for (std::size_t pos = 0, len = 0; pos < text.size(); pos += len) width += CharWidth(Decode(text, pos, len));
    return width;
}

std::string FitWidth(std::string_view text, int width, bool right) {
    std::string out;
    int used = 0;
    for (std::size_t pos = 0, len = 0; pos < text.size() && used < width; pos += len) {
        const char32_t c = Decode(text, pos, len);
        const int w = CharWidth(c);
        if (used + w > width) {
            out += ' ';
            ++used;
            break;
        }
        // A combining mark at the very start has nothing to sit on.
        if (w == 0 && out.empty()) continue;
        AppendUtf8(out, Shown(c));
        used += w;
    }
    const std::string pad(static_cast<std::size_t>(std::max(width - used, 0)), ' ');
    return right ? pad + out : out + pad;
}

// ---------------------------------------------------------------------------
// TVirtualScreen

TVirtualScreen::TVirtualScreen(int width, int height)
    : FWidth(width), FHeight(height), FCells(static_cast<std::size_t>(width * height)) {}

void TVirtualScreen::Write(int row, int col, std::string_view text, unsigned attr) {
    if (row < 0 || row >= FHeight) return;
    auto cell = [&](int c) -> TCell& { return FCells[static_cast<std::size_t>(row * FWidth + c)]; };
    TCell* last = nullptr;
    for (std::size_t pos = 0, len = 0; pos < text.size() && col < FWidth; pos += len) {
        const char32_t c = Decode(text, pos, len);
        const int w = CharWidth(c);
        if (w == 0) {
            if (last) AppendUtf8(last->Text, c);
            continue;
        }
        if (col + w > FWidth) break;
        if (col >= 0) {
            // Half a wide character left behind becomes a space.
            if (col > 0 && cell(col).Text.empty()) cell(col - 1).Text = " ";
            if (col + w < FWidth && cell(col + w).Text.empty()) cell(col + w).Text = " ";
            last = &cell(col);
            last->Text.clear();
            AppendUtf8(last->Text, Shown(c));
            last->Attr = attr;
            ++FCellsWritten;
            if (w == 2) cell(col + 1) = TCell{"", attr};
        }
        col += w;
    }
}

TKeyEvent TVirtualScreen::ReadKey() {
    if (FKeys.empty() && OnIdle) OnIdle(*this);
    if (FKeys.empty()) return {TKey::Closed, 0};
    TKeyEvent key = FKeys.front();
    FKeys.pop_front();
    return key;
}

void TVirtualScreen::TypeText(std::string_view utf8) {
    for (std::size_t pos = 0, len = 0; pos < utf8.size(); pos += len) PushKey(CharKey(Decode(utf8, pos, len)));
}

std::string TVirtualScreen::Line(int row) const {
    std::string out;
    if (row < 0 || row >= FHeight) return out;
    for (int c = 0; c < FWidth; ++c) out += FCells[static_cast<std::size_t>(row * FWidth + c)].Text;
    return out;
}

std::string TVirtualScreen::Text() const {
    std::string out;
    for (int r = 0; r < FHeight; ++r) out += Line(r) + "\n";
    return out;
}

unsigned TVirtualScreen::AttrAt(int row, int col) const {
    if (row < 0 || row >= FHeight || col < 0 || col >= FWidth) return aNormal;
    return FCells[static_cast<std::size_t>(row * FWidth + col)].Attr;
}

// ---------------------------------------------------------------------------
// TWindow

void TWindow::SetBounds(int top, int left, int height, int width) {
    if (top == FTop && left == FLeft && height == FHeight && width == FWidth) return;
    FTop = top;
    FLeft = left;
    FHeight = std::max(height, 0);
    FWidth = std::max(width, 0);
    BoundsChanged();
}

// ---------------------------------------------------------------------------
// TLineEditor

TLineEditor::TLineEditor(std::string text) { SetText(std::move(text)); }

void TLineEditor::SetText(std::string text) {
    FText = std::move(text);
    FCursor = FText.size();
}

int TLineEditor::CursorColumn() const { return DisplayWidth(std::string_view(FText).substr(0, FCursor)); }

namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t PrevBoundary(const std::string& s, std::size_t pos) {
    if (pos == 0) return 0;
    --pos;
    while (pos > 0 && IsContinuation(s[pos])) --pos;
    return pos;
}

std::size_t NextBoundary(const std::string& s, std::size_t pos) {
    if (pos >= s.size()) return s.size();
    ++pos;
    while (pos < s.size() && IsContinuation(s[pos])) ++pos;
    return pos;
}

}  // namespace

bool TLineEditor::HandleKey(const TKeyEvent& key) {
    switch (key.Key) {
        case TKey::Char: {
            std::string c;
            AppendUtf8(c, key.Char);
            FText.insert(FCursor, c);
            FCursor += c.size();
            return true;
        }
        case TKey::Left:
            FCursor = PrevBoundary(FText, FCursor);
            return true;
        case TKey::Right:
            FCursor = NextBoundary(FText, FCursor);
            return true;
        case TKey::Home:
            FCursor = 0;
            return true;
        case TKey::End:
            FCursor = FText.size();
            return true;
        case TKey::Backspace:
            if (FCursor > 0) {
                const std::size_t from = PrevBoundary(FText, FCursor);
                FText.erase(from, FCursor - from);
                FCursor = from;
            }
            return true;
        case TKey::Delete:
            if (FCursor < FText.size()) FText.erase(FCursor, NextBoundary(FText, FCursor) - FCursor);
            return true;
        case TKey::Ctrl:
            if (key.Char == 'u') {
                FText.clear();
                FCursor = 0;
                return true;
            }
            return false;
        default:
            return false;
    }
}

std::string TLineEditor::Visible(int width, int& cursorColumn) const {
    // Start far enough right that the cursor (and one column after it) fits.
    std::size_t start = 0;
    const std::string_view text(FText);
    while (start < FCursor && DisplayWidth(text.substr(start, FCursor - start)) >= width)
        start = NextBoundary(FText, start);
    cursorColumn = DisplayWidth(text.substr(start, FCursor - start));
    return FitWidth(text.substr(start), width);
}

}  // namespace velora::tui
