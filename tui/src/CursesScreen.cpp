// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The terminal screen through ncurses (wide-character build). Text is
// handed over as UTF-8 with the locale's character type set to UTF-8, so
// ncurses measures it with its own wcwidth; the grid measures with utf8proc
// and writes fitted text, which keeps the two in step for the characters
// both know.
#include "velora/tui/Screen.h"

#ifndef NCURSES_WIDECHAR
#define NCURSES_WIDECHAR 1
#endif
#include <ncursesw/curses.h>

#include <clocale>
#include <csignal>
#include <cstdlib>
#include <stdexcept>

namespace velora::tui {

namespace {

bool GActive = false;

void RestoreOnSignal(int sig) {
    if (GActive) endwin();
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

attr_t ToCurses(unsigned attr) {
    attr_t a = A_NORMAL;
    if (attr & aReverse) a |= A_REVERSE;
    if (attr & aBold) a |= A_BOLD;
    if (attr & aUnderline) a |= A_UNDERLINE;
    if (attr & aDim) a |= A_DIM;
    return a;
}

}  // namespace

TCursesScreen::TCursesScreen() {
    if (GActive) throw std::logic_error("a terminal screen is already open");
    // Wide characters need a UTF-8 character type; the environment's is kept
    // when it is one.
    const char* ctype = std::setlocale(LC_CTYPE, "");
    if (!ctype || MB_CUR_MAX == 1) std::setlocale(LC_CTYPE, "C.UTF-8");
    ::setenv("ESCDELAY", "25", 0);
    if (!initscr()) throw std::runtime_error("cannot open the terminal screen");
    GActive = true;
    raw();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) std::signal(sig, RestoreOnSignal);
}

TCursesScreen::~TCursesScreen() {
    endwin();
    GActive = false;
    for (int sig : {SIGTERM, SIGHUP, SIGINT}) std::signal(sig, SIG_DFL);
}

int TCursesScreen::Width() const { return COLS; }
int TCursesScreen::Height() const { return LINES; }

void TCursesScreen::Write(int row, int col, std::string_view text, unsigned attr) {
    attrset(ToCurses(attr));
    // The bottom-right cell cannot be written without scrolling: addnstr
    // reports an error there after writing, which is harmless.
    mvaddnstr(row, col, text.data(), static_cast<int>(text.size()));
    attrset(A_NORMAL);
}

void TCursesScreen::SetCursor(int row, int col) {
    if (row < 0) {
        curs_set(0);
        return;
    }
    curs_set(1);
    move(row, col);
}

void TCursesScreen::Flush() { refresh(); }

TKeyEvent TCursesScreen::ReadKey() {
    for (;;) {
        wint_t ch = 0;
        const int rc = get_wch(&ch);
        if (rc == ERR) return {TKey::Closed, 0};
        if (rc == KEY_CODE_YES) {
            switch (ch) {
                case KEY_UP:
                    return {TKey::Up, 0};
                case KEY_DOWN:
                    return {TKey::Down, 0};
                case KEY_LEFT:
                    return {TKey::Left, 0};
                case KEY_RIGHT:
                    return {TKey::Right, 0};
                case KEY_PPAGE:
                    return {TKey::PageUp, 0};
                case KEY_NPAGE:
                    return {TKey::PageDown, 0};
                case KEY_HOME:
                    return {TKey::Home, 0};
                case KEY_END:
                    return {TKey::End, 0};
                case KEY_ENTER:
                    return {TKey::Enter, 0};
                case KEY_BACKSPACE:
                    return {TKey::Backspace, 0};
                case KEY_DC:
                    return {TKey::Delete, 0};
                case KEY_IC:
                    return {TKey::Insert, 0};
                case KEY_BTAB:
                    return {TKey::BackTab, 0};
                case KEY_RESIZE:
                    return {TKey::Resize, 0};
                default:
                    if (ch >= KEY_F(1) && ch <= KEY_F(10))
                        return {static_cast<TKey>(static_cast<int>(TKey::F1) + static_cast<int>(ch - KEY_F(1))), 0};
                    continue;
            }
        }
        switch (ch) {
            case '\r':
            case '\n':
                return {TKey::Enter, 0};
            case 27:
                return {TKey::Escape, 0};
            case '\t':
                return {TKey::Tab, 0};
            case 8:
            case 127:
                return {TKey::Backspace, 0};
            default:
                break;
        }
        if (ch >= 1 && ch <= 26) return CtrlKey(static_cast<char>('a' + ch - 1));
        if (ch >= 0x20) return CharKey(static_cast<char32_t>(ch));
    }
}

}  // namespace velora::tui
