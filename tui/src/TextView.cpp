// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "velora/tui/TextView.h"

#include <algorithm>
#include <cstdio>

namespace velora::tui {

void TTextView::SetText(const std::string& text) {
    FLines.clear();
    std::size_t start = 0;
    for (;;) {
        std::size_t end = text.find('\n', start);
        std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        FLines.push_back(std::move(line));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    FTop = 0;
    Wrap();
}

void TTextView::SetBytes(const std::string& bytes) {
    FLines.clear();
    for (std::size_t off = 0; off < bytes.size(); off += 16) {
        char head[24];
        std::snprintf(head, sizeof head, "%08zx ", off);
        std::string hex = head, ascii;
        for (std::size_t i = off; i < off + 16; ++i) {
            if (i < bytes.size()) {
                const auto b = static_cast<unsigned char>(bytes[i]);
                char h[4];
                std::snprintf(h, sizeof h, " %02x", b);
                hex += h;
                ascii += (b >= 0x20 && b < 0x7F) ? static_cast<char>(b) : '.';
            } else {
                hex += "   ";
            }
        }
        FLines.push_back(hex + "  " + ascii);
    }
    FTop = 0;
    Wrap();
}

void TTextView::BoundsChanged() {
    Wrap();
    Invalidate();
}

void TTextView::Wrap() {
    FRows.clear();
    const int width = std::max(Width(), 1);
    for (const std::string& line : FLines) {
        // Cut at character boundaries once the next character would pass the width.
        std::size_t start = 0;
        do {
            std::size_t end = start;
            int used = 0;
            while (end < line.size()) {
                std::size_t next = end + 1;
                while (next < line.size() && (static_cast<unsigned char>(line[next]) & 0xC0) == 0x80) ++next;
                const int w = DisplayWidth(std::string_view(line).substr(end, next - end));
                if (used + w > width && end > start) break;
                used += w;
                end = next;
            }
            FRows.push_back(line.substr(start, end - start));
            start = end;
        } while (start < line.size());
    }
    FTop = std::clamp(FTop, 0, std::max(LineCount() - Height(), 0));
    Invalidate();
}

void TTextView::Paint(TScreen& screen) {
    for (int r = 0; r < Height(); ++r) {
        const int line = FTop + r;
        const std::string text = line < LineCount() ? FRows[static_cast<std::size_t>(line)] : std::string("~");
        screen.Write(Top() + r, Left(), FitWidth(text, Width()), line < LineCount() ? aNormal : aDim);
    }
    FInvalid = false;
}

bool TTextView::HandleKey(const TKeyEvent& key) {
    const int last = std::max(LineCount() - Height(), 0);
    int top = FTop;
    switch (key.Key) {
        case TKey::Up:
            --top;
            break;
        case TKey::Down:
            ++top;
            break;
        case TKey::PageUp:
            top -= std::max(Height() - 1, 1);
            break;
        case TKey::PageDown:
            top += std::max(Height() - 1, 1);
            break;
        case TKey::Home:
            top = 0;
            break;
        case TKey::End:
            top = last;
            break;
        default:
            return false;
    }
    top = std::clamp(top, 0, last);
    if (top != FTop) {
        FTop = top;
        Invalidate();
    }
    return true;
}

}  // namespace velora::tui
