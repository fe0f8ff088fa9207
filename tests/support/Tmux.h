// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// A person at a real terminal for the tool's full-screen commands: the
// command runs in a detached session of a tmux server of its own, keys go in
// with send-keys and the screen comes back with capture-pane.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velora::test {

/// Quotes text for the shell ('...' with embedded quotes escaped).
std::string ShellQuote(const std::string& s);

class TTmux {
public:
    /// Runs command in a session of width × height; the ODBC configuration
    /// of the tests and extraEnv ("NAME=VALUE") go into its environment, and
    /// psqlODBC's own losses are left out of a sanitizer build's leak report.
    /// After the command "velora-exit=<status>" is printed.
    TTmux(const std::string& command, int width, int height, const std::vector<std::string>& extraEnv = {});
    ~TTmux();
    TTmux(const TTmux&) = delete;
    TTmux& operator=(const TTmux&) = delete;

    /// send-keys: key names (Enter, Escape, F2, NPage, C-g, ...) as tmux knows them.
    void Keys(const std::string& keys);
    /// Types text literally.
    void Type(const std::string& text);
    /// The screen as text, one line per row.
    std::string Screen() const;
    /// The screen with its attributes as SGR escape sequences (capture-pane
    /// -e): bold is ESC[1m, underline ESC[4m, reverse ESC[7m.
    std::string StyledScreen() const;
    /// Waits until the screen shows text and has settled (two captures
    /// 50 ms apart agree, so the program is done painting); the screen as
    /// last seen otherwise.
    ::testing::AssertionResult WaitFor(const std::string& text, int timeoutMs = 15000) const;
    /// The screen's row that holds text ("" when none).
    std::string LineWith(const std::string& text) const;

private:
    void Run(const std::string& args) const;
    std::string Capture(bool styled) const;
    std::string FSocket;
};

}  // namespace velora::test
