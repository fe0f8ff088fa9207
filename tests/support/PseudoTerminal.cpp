// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Pseudo-terminal helpers of the tests (see PseudoTerminal.h).
#include "support/PseudoTerminal.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <pty.h>
#include <stdexcept>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace velora::test {

TTerminalScreen::~TTerminalScreen() { Stop(); }

void TTerminalScreen::Start(int master) {
    FMaster = master;
    FReader = std::thread([this] { ReadLoop(); });
}

void TTerminalScreen::Stop() {
    // The reader ends when the slave side is closed for good (EIO); the
    // owners close it (or end the child) before calling Stop.
    if (FReader.joinable()) FReader.join();
    if (FMaster >= 0) ::close(FMaster);
    FMaster = -1;
}

void TTerminalScreen::ReadLoop() {
    char buf[512];
    for (;;) {
        const ssize_t n = ::read(FMaster, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        std::lock_guard<std::mutex> guard(FLock);
        if (n <= 0) {
            FHungup = true;
            FChanged.notify_all();
            return;
        }
        FOutput.append(buf, static_cast<std::size_t>(n));
        FChanged.notify_all();
    }
}

void TTerminalScreen::Type(const std::string& keys) {
    std::size_t done = 0;
    while (done < keys.size()) {
        const ssize_t n = ::write(FMaster, keys.data() + done, keys.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) throw std::runtime_error("cannot type into the terminal");
        done += static_cast<std::size_t>(n);
    }
}

bool TTerminalScreen::WaitFor(const std::string& text, int timeoutMs, std::size_t from) {
    std::unique_lock<std::mutex> lock(FLock);
    return FChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return FOutput.find(text, from) != std::string::npos || FHungup;
    }) && FOutput.find(text, from) != std::string::npos;
}

std::size_t TTerminalScreen::Mark() const {
    std::lock_guard<std::mutex> guard(FLock);
    return FOutput.size();
}

std::string TTerminalScreen::Output() const {
    std::lock_guard<std::mutex> guard(FLock);
    return FOutput;
}

bool TTerminalScreen::Hungup() const {
    std::lock_guard<std::mutex> guard(FLock);
    return FHungup;
}

TPseudoTerminal::TPseudoTerminal() {
    int master = -1;
    if (::openpty(&master, &FSlave, nullptr, nullptr, nullptr) != 0) throw std::runtime_error("openpty failed");
    Start(master);
}

TPseudoTerminal::~TPseudoTerminal() {
    // Closing the slave lets the reader see the hang-up and end.
    if (FSlave >= 0) ::close(FSlave);
    FSlave = -1;
    Stop();
}

TPtyChild::TPtyChild(const std::function<int()>& body) {
    int master = -1;
    FPid = ::forkpty(&master, nullptr, nullptr, nullptr);
    if (FPid < 0) throw std::runtime_error("forkpty failed");
    if (FPid == 0) {
        int code = 99;
        try {
            code = body();
        } catch (...) {
            code = 98;
        }
        ::_exit(code);  // no test-framework or sanitizer shut-down in the child
    }
    Start(master);
}

TPtyChild::~TPtyChild() {
    if (FStatus < 0 && FPid > 0) {
        ::kill(FPid, SIGKILL);
        int status = 0;
        ::waitpid(FPid, &status, 0);
    }
    Stop();
}

int TPtyChild::Wait(int timeoutMs) {
    if (FStatus >= 0) return FStatus;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(FPid, &status, WNOHANG);
        if (r == FPid) {
            FStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return FStatus;
        }
        if (std::chrono::steady_clock::now() >= deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace velora::test
