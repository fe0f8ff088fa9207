// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The terminal presenter: a modal form as a short conversation on a
// terminal (see Presenters.h for what the user sees and may do).
//
// The terminal goes into raw mode for the whole conversation so that
// password boxes are not echoed by the terminal itself and single keys
// (Escape, Backspace) arrive at once. Raw mode is undone by a scope guard on
// every way out, exceptions included, and by a signal handler when SIGINT,
// SIGTERM, SIGHUP or SIGQUIT arrive meanwhile: it restores the terminal,
// puts back the previous disposition and raises the signal again.
#include "velora/forms/Presenters.h"

#include "velora/forms/Buttons.h"
#include "velora/forms/StdCtrls.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <map>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace velora {

namespace {

// ---------------------------------------------------------------- raw mode

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kSignalCount = static_cast<int>(sizeof(kSignals) / sizeof(kSignals[0]));

// One raw-mode session at a time; a nested modal form (a message box shown
// from an event) reuses the session of the outer one.
volatile std::sig_atomic_t gRawFd = -1;
termios gSavedTermios{};
struct sigaction gOldActions[kSignalCount];
int gRawDepth = 0;

extern "C" void RestoreTerminalOnSignal(int sig) {
    const int fd = gRawFd;
    if (fd >= 0) ::tcsetattr(fd, TCSANOW, &gSavedTermios);
    gRawFd = -1;
    for (int i = 0; i < kSignalCount; ++i)
        if (kSignals[i] == sig) ::sigaction(sig, &gOldActions[i], nullptr);
    ::raise(sig);  // delivered with the previous disposition once we return
}

class TRawMode {
public:
    explicit TRawMode(int fd) {
        if (gRawDepth++ > 0) return;
        termios t{};
        if (::tcgetattr(fd, &t) != 0) return;  // not a terminal: read the bytes as they come
        gSavedTermios = t;
        for (int i = 0; i < kSignalCount; ++i) {
            struct sigaction sa {};
            sa.sa_handler = RestoreTerminalOnSignal;
            sigemptyset(&sa.sa_mask);
            ::sigaction(kSignals[i], &sa, &gOldActions[i]);
        }
        gRawFd = fd;
        termios raw = t;
        raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ECHONL | ISIG | IEXTEN);
        raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | INLCR | IGNCR | IXON);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        // TCSANOW keeps keys typed ahead; output processing stays on.
        ::tcsetattr(fd, TCSANOW, &raw);
        FActive = true;
    }
    ~TRawMode() {
        --gRawDepth;
        if (!FActive) return;
        const int fd = gRawFd;
        gRawFd = -1;
        if (fd >= 0) ::tcsetattr(fd, TCSANOW, &gSavedTermios);
        for (int i = 0; i < kSignalCount; ++i) ::sigaction(kSignals[i], &gOldActions[i], nullptr);
    }
    TRawMode(const TRawMode&) = delete;
    TRawMode& operator=(const TRawMode&) = delete;

private:
    bool FActive = false;
};

// ---------------------------------------------------------------- terminal I/O

constexpr int kEndOfInput = -1;
constexpr int kTimeout = -2;

class TTerminal {
public:
    TTerminal(int in, int out) : FIn(in), FOut(out) {}

    void Write(const String& s) const {
        std::size_t done = 0;
        while (done < s.size()) {
            const ssize_t n = ::write(FOut, s.data() + done, s.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return;  // the terminal went away: nothing to show on
            done += static_cast<std::size_t>(n);
        }
    }

    /// One byte, kEndOfInput at the end, kTimeout after timeoutMs (>= 0).
    int ReadByte(int timeoutMs = -1) const {
        for (;;) {
            if (timeoutMs >= 0) {
                pollfd p{FIn, POLLIN, 0};
                const int r = ::poll(&p, 1, timeoutMs);
                if (r < 0 && errno == EINTR) continue;
                if (r == 0) return kTimeout;
                if (r < 0) return kEndOfInput;
            }
            unsigned char c = 0;
            const ssize_t n = ::read(FIn, &c, 1);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return kEndOfInput;
            return c;
        }
    }

private:
    int FIn;
    int FOut;
};

enum class TKeyKind { Char, Enter, Tab, Escape, Back, ClearLine, Interrupt, EndOfInput, Ignored };

struct TKey {
    TKeyKind Kind;
    char Ch = 0;
};

// Reads one key. A lone ESC is Escape; ESC followed at once by more bytes
// is a terminal sequence (arrow keys, Alt+key) and is ignored.
TKey ReadKey(const TTerminal& term) {
    const int c = term.ReadByte();
    switch (c) {
        case kEndOfInput:
            return {TKeyKind::EndOfInput};
        case '\r':
        case '\n':
            return {TKeyKind::Enter};
        case '\t':
            return {TKeyKind::Tab};
        case 0x08:
        case 0x7f:
            return {TKeyKind::Back};
        case 0x15:
            return {TKeyKind::ClearLine};  // Ctrl-U
        case 0x03:
            return {TKeyKind::Interrupt};  // Ctrl-C
        case 0x04:
            return {TKeyKind::EndOfInput};  // Ctrl-D
        case 0x1b: {
            const int next = term.ReadByte(50);
            if (next == kTimeout || next == kEndOfInput) return {TKeyKind::Escape};
            if (next == '[' || next == 'O') {
                for (int i = 0; i < 16; ++i) {
                    const int b = term.ReadByte(50);
                    if (b < 0 || (b >= 0x40 && b <= 0x7e)) break;
                }
            }
            return {TKeyKind::Ignored};
        }
        default:
            break;
    }
    if (c < 0x20) return {TKeyKind::Ignored};
    return {TKeyKind::Char, static_cast<char>(c)};
}

// ---------------------------------------------------------------- the form as text

TPoint ScreenOrigin(const TControl* c, const TCustomForm& form) {
    TPoint p{c->Left(), c->Top()};
    for (const TControl* parent = c->Parent(); parent && parent != &form; parent = parent->Parent()) {
        p.X += parent->Left();
        p.Y += parent->Top();
    }
    return p;
}

bool IsReadableBox(const TWinControl* c) {
    return dynamic_cast<const TCustomEdit*>(c) && !dynamic_cast<const TCustomMemo*>(c) && c->VisibleInTree();
}

// The editable single-line boxes in tab order.
std::vector<TCustomEdit*> BoxesOf(const TCustomForm& form) {
    std::vector<TWinControl*> order;
    form.GetTabOrderList(order);
    std::vector<TCustomEdit*> boxes;
    for (TWinControl* w : order)
        if (IsReadableBox(w)) boxes.push_back(static_cast<TCustomEdit*>(w));
    return boxes;
}

template <class Fn>
void ForEachControl(const TWinControl& parent, Fn fn) {
    for (int i = 0; i < parent.ControlCount(); ++i) {
        TControl* c = parent.Controls(i);
        fn(c);
        if (auto* w = dynamic_cast<TWinControl*>(c)) ForEachControl(*w, fn);
    }
}

// The label naming a box (its focus control), or null.
const TCustomLabel* LabelOf(const TCustomForm& form, const TWinControl* box) {
    const TCustomLabel* found = nullptr;
    ForEachControl(form, [&](TControl* c) {
        auto* label = dynamic_cast<TCustomLabel*>(c);
        if (!found && label && label->FocusControl() == box && label->VisibleInTree()) found = label;
    });
    return found;
}

String PromptOf(const TCustomForm& form, const TCustomEdit* box) {
    const TCustomLabel* label = LabelOf(form, box);
    String prompt = label ? Trim(label->DisplayText()) : box->Name();
    if (prompt.empty()) prompt = box->Name();
    if (prompt.empty() || prompt.back() != ':') prompt += ':';
    return prompt + ' ';
}

// The labels that name no box, one line per row (same parent and top),
// left to right: "Database: MYDSN".
std::vector<String> StaticLines(const TCustomForm& form) {
    struct TPiece {
        TPoint At;
        String Text;
    };
    std::map<std::pair<const TControl*, int>, std::vector<TPiece>> rows;
    ForEachControl(form, [&](TControl* c) {
        auto* label = dynamic_cast<TCustomLabel*>(c);
        if (!label || !label->VisibleInTree()) return;
        if (label->FocusControl() && IsReadableBox(label->FocusControl())) return;
        const String text = Trim(label->DisplayText());
        if (text.empty()) return;
        rows[{label->Parent(), label->Top()}].push_back({ScreenOrigin(label, form), text});
    });
    std::vector<std::vector<TPiece>> ordered;
    for (auto& [key, pieces] : rows) {
        std::sort(pieces.begin(), pieces.end(), [](const TPiece& a, const TPiece& b) { return a.At.X < b.At.X; });
        ordered.push_back(pieces);
    }
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) {
        return a.front().At.Y != b.front().At.Y ? a.front().At.Y < b.front().At.Y : a.front().At.X < b.front().At.X;
    });
    std::vector<String> lines;
    for (const auto& pieces : ordered) {
        String line;
        for (const TPiece& p : pieces) line += (line.empty() ? "" : " ") + p.Text;
        lines.push_back(line);
    }
    return lines;
}

std::vector<TButton*> ButtonsOf(const TCustomForm& form) {
    std::vector<TButton*> buttons;
    ForEachControl(form, [&](TControl* c) {
        if (auto* b = dynamic_cast<TButton*>(c); b && b->VisibleInTree()) buttons.push_back(b);
    });
    return buttons;
}

// The key that clicks a button: the letter after "&", else the first one.
char HotkeyOf(const TButton* button) {
    const String caption = button->Caption();
    for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] == '&') {
            if (caption[i + 1] == '&') {
                ++i;
                continue;
            }
            return static_cast<char>(std::tolower(static_cast<unsigned char>(caption[i + 1])));
        }
    }
    const String shown = StripHotkey(caption);
    return shown.empty() ? '\0' : static_cast<char>(std::tolower(static_cast<unsigned char>(shown[0])));
}

String ButtonLine(const TCustomForm& form) {
    String line;
    for (TButton* b : ButtonsOf(form)) {
        String item = "[" + StripHotkey(b->Caption()) + "]";
        if (b->Default()) item += " Enter";
        if (b->Cancel()) item += " Esc";
        line += (line.empty() ? "" : "  ") + item;
    }
    return line;
}

// Escape: the cancel button if there is one, else the window is closed.
void CancelForm(TCustomForm& form) {
    form.SendKey(VK_ESCAPE);
    if (form.ModalResult() == mrNone) form.Close();
}

enum class TBoxResult { Confirmed, Cancelled, Ended, Closed };

// Reads one box: the user types, the box decides what it accepts, and the
// terminal shows what the box shows (PasswordChar for password boxes).
TBoxResult ReadBox(const TTerminal& term, TCustomForm& form, TCustomEdit& box) {
    for (;;) {
        const TKey key = ReadKey(term);
        if (form.ModalResult() != mrNone) return TBoxResult::Closed;
        switch (key.Kind) {
            case TKeyKind::Enter:
            case TKeyKind::Tab:
                term.Write("\n");
                return TBoxResult::Confirmed;
            case TKeyKind::Escape:
            case TKeyKind::Interrupt:
                term.Write("\n");
                return TBoxResult::Cancelled;
            case TKeyKind::EndOfInput:
                term.Write("\n");
                return TBoxResult::Ended;
            case TKeyKind::Back: {
                const std::size_t before = box.DisplayText().size();
                form.SendKey(VK_BACK);
                if (box.DisplayText().size() < before) term.Write("\b \b");
                break;
            }
            case TKeyKind::ClearLine: {
                const std::size_t before = box.DisplayText().size();
                form.SendKey(VK_HOME);
                box.SelectAll();
                form.SendKey(VK_DELETE);
                const std::size_t removed = before - std::min(before, box.DisplayText().size());
                for (std::size_t i = 0; i < removed; ++i) term.Write("\b \b");
                break;
            }
            case TKeyKind::Char: {
                const std::size_t before = box.DisplayText().size();
                form.SendChar(key.Ch);
                const String shown = box.DisplayText();
                if (shown.size() > before)
                    term.Write(shown.substr(before));
                else
                    term.Write("\a");  // refused: full, read-only
                break;
            }
            case TKeyKind::Ignored:
                break;
        }
        if (form.ModalResult() != mrNone) {
            term.Write("\n");
            return TBoxResult::Closed;
        }
    }
}

// A form without (more) boxes: Enter, Escape or a button's hotkey.
bool ReadButtons(const TTerminal& term, TCustomForm& form) {
    while (form.ModalResult() == mrNone) {
        const TKey key = ReadKey(term);
        switch (key.Kind) {
            case TKeyKind::EndOfInput:
                return false;
            case TKeyKind::Escape:
            case TKeyKind::Interrupt:
                CancelForm(form);
                break;
            case TKeyKind::Enter:
                form.SendKey(VK_RETURN);
                break;
            case TKeyKind::Tab:
                form.SelectNext(true);
                break;
            case TKeyKind::Char: {
                const char k = static_cast<char>(std::tolower(static_cast<unsigned char>(key.Ch)));
                for (TButton* b : ButtonsOf(form))
                    if (HotkeyOf(b) == k && b->EnabledInTree()) {
                        b->UserClick();
                        break;
                    }
                break;
            }
            default:
                break;
        }
    }
    term.Write("\n");
    return true;
}

}  // namespace

TTerminalPresenter::TTerminalPresenter(int inFd, int outFd) : FInFd(inFd), FOutFd(outFd) {}

bool TTerminalPresenter::RunModal(TCustomForm& form) {
    int out = FOutFd;
    if (out < 0) out = ::isatty(STDOUT_FILENO) == 1 ? STDOUT_FILENO : STDERR_FILENO;
    TRawMode raw(FInFd);
    const TTerminal term(FInFd, out);

    term.Write("\n" + StripHotkey(form.Caption()) + "\n");
    for (const String& line : StaticLines(form)) term.Write(line + "\n");
    const String buttons = ButtonLine(form);
    if (!buttons.empty()) term.Write(buttons + "\n");

    for (TCustomEdit* box : BoxesOf(form)) {
        const String prompt = PromptOf(form, box);
        if (box->ReadOnly() || !box->CanFocus() || !form.UserFocus(box)) {
            term.Write(prompt + box->DisplayText() + "\n");
            continue;
        }
        box->SetSelStart(static_cast<int>(box->Text().size()));  // type after the proposed text
        term.Write(prompt + box->DisplayText());
        switch (ReadBox(term, form, *box)) {
            case TBoxResult::Confirmed:
                break;
            case TBoxResult::Closed:
                return true;
            case TBoxResult::Cancelled:
                CancelForm(form);
                return true;
            case TBoxResult::Ended:
                return false;
        }
        if (form.ModalResult() != mrNone) return true;
    }
    if (!BoxesOf(form).empty()) {
        // Enter after the last box: Return on the form, the default button.
        form.SendKey(VK_RETURN);
        if (form.ModalResult() != mrNone) return true;
    }
    return ReadButtons(term, form);
}

}  // namespace velora
