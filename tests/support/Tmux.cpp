// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "support/Tmux.h"

#include "support/TestEnv.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <unistd.h>

namespace velora::test {

std::string ShellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

TTmux::TTmux(const std::string& command, int width, int height, const std::vector<std::string>& extraEnv)
    : FSocket("velora-tmux-" + std::to_string(::getpid()) + "-" + UniqueName("s")) {
    std::string env;
    // A tool built with the sanitizers leaves out psqlODBC's own losses, as
    // the test programs do (TestEnv.cpp).
    // Written beside and renamed into place: test programs running at the
    // same time never let a starting tool read a half-written file.
    const std::string suppressions = ::testing::TempDir() + "velora-tmux-lsan.supp";
    const std::string written = ::testing::TempDir() + UniqueName("velora-tmux-lsan") + ".supp";
    if (FILE* f = std::fopen(written.c_str(), "w")) {
        std::fputs("leak:psqlodbca.so\nleak:psqlodbcw.so\n", f);
        std::fclose(f);
        std::rename(written.c_str(), suppressions.c_str());
    }
    env += " -e " + ShellQuote("LSAN_OPTIONS=suppressions=" + suppressions + ":print_suppressions=0");
    for (const char* name : {"ODBCSYSINI", "ODBCINI"})
        if (const char* v = std::getenv(name)) env += " -e " + ShellQuote(std::string(name) + "=" + v);
    for (const std::string& e : extraEnv) env += " -e " + ShellQuote(e);
    Run("new-session -d -s t -x " + std::to_string(width) + " -y " + std::to_string(height) + env + " " +
        ShellQuote(command + "; echo velora-exit=$?; sleep 600"));
}

TTmux::~TTmux() { std::system(("tmux -L " + FSocket + " kill-server >/dev/null 2>&1").c_str()); }

void TTmux::Keys(const std::string& keys) { Run("send-keys -t t " + keys); }

void TTmux::Type(const std::string& text) { Run("send-keys -t t -l " + ShellQuote(text)); }

std::string TTmux::Screen() const { return Capture(false); }

std::string TTmux::StyledScreen() const { return Capture(true); }

std::string TTmux::Capture(bool styled) const {
    std::string out;
    FILE* p = ::popen(("tmux -L " + FSocket + " -u capture-pane -p " + (styled ? "-e " : "") + "-t t").c_str(), "r");
    if (!p) return out;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
    ::pclose(p);
    return out;
}

::testing::AssertionResult TTmux::WaitFor(const std::string& text, int timeoutMs) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string screen, before;
    do {
        before = screen;
        screen = Screen();
        if (screen.find(text) != std::string::npos && screen == before) return ::testing::AssertionSuccess();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    } while (std::chrono::steady_clock::now() < end);
    return ::testing::AssertionFailure() << "no \"" << text << "\" on the screen:\n" << screen;
}

std::string TTmux::LineWith(const std::string& text) const {
    const std::string screen = Screen();
    const std::size_t at = screen.find(text);
    if (at == std::string::npos) return "";
    const std::size_t begin = screen.rfind('\n', at);
    const std::size_t end = screen.find('\n', at);
    return screen.substr(begin == std::string::npos ? 0 : begin + 1,
                         end == std::string::npos ? std::string::npos : end - begin - 1);
}

void TTmux::Run(const std::string& args) const {
    const std::string cmd = "tmux -L " + FSocket + " -u " + args;
    ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
}

}  // namespace velora::test
