// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Pseudo-terminals for tests that play a user at a terminal. TPseudoTerminal
// opens a pair in this process (the code under test reads and writes the
// slave side); TPtyChild runs a function in a child process whose standard
// input, output and error are a new terminal. In both, a background thread
// collects everything written to the terminal, and the test types keys into
// the master side once the expected prompt has appeared (keys typed before
// the code under test switched echo off would be echoed by the terminal).
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>

namespace velora::test {

/// Collects what appears on a terminal's master side.
class TTerminalScreen {
public:
    TTerminalScreen() = default;
    ~TTerminalScreen();
    TTerminalScreen(const TTerminalScreen&) = delete;
    TTerminalScreen& operator=(const TTerminalScreen&) = delete;

    /// Keys typed by the user (written to the master side).
    void Type(const std::string& keys);
    /// Waits until the output so far contains text after the given offset
    /// (see Mark); false after timeoutMs.
    bool WaitFor(const std::string& text, int timeoutMs = 10000, std::size_t from = 0);
    /// The current length of the output, for WaitFor(text, ms, Mark()).
    std::size_t Mark() const;
    /// Everything shown so far.
    std::string Output() const;
    /// True once the terminal's other side is closed for good.
    bool Hungup() const;

protected:
    void Start(int master);
    void Stop();
    int FMaster = -1;

private:
    void ReadLoop();
    mutable std::mutex FLock;
    std::condition_variable FChanged;
    std::string FOutput;
    bool FHungup = false;
    std::thread FReader;
};

/// A pseudo-terminal pair in this process.
class TPseudoTerminal : public TTerminalScreen {
public:
    TPseudoTerminal();
    ~TPseudoTerminal();
    /// The side the code under test uses as its terminal.
    int Slave() const { return FSlave; }

private:
    int FSlave = -1;
};

/// A child process running body with a new terminal as its standard
/// input, output and error; its exit code is body's result.
class TPtyChild : public TTerminalScreen {
public:
    explicit TPtyChild(const std::function<int()>& body);
    ~TPtyChild();
    /// Waits for the child to end: its exit code, 128 + signal number when a
    /// signal ended it, or -1 when it still runs after timeoutMs.
    int Wait(int timeoutMs = 10000);
    pid_t Pid() const { return FPid; }

private:
    pid_t FPid = -1;
    int FStatus = -1;
};

}  // namespace velora::test
