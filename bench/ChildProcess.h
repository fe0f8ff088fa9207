// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Measuring in a process of one's own, so that its peak memory (VmHWM) is
// its own: the benchmarks that report memory run each contestant this way.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>

namespace velora::bench {

/// Peak resident memory of this process in KiB (VmHWM).
inline long PeakKb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

/// Runs `body` in a child process and hands back the figures it filled:
/// `Figures` is a plain struct with `long PeakKb` and `char Error[N]`, which
/// receives an exception's text or "the measuring process died".
template <class Figures>
Figures InChild(const std::function<void(Figures&)>& body) {
    int fds[2];
    if (::pipe(fds) != 0) throw std::runtime_error("pipe");
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        Figures f;
        try {
            body(f);
        } catch (const std::exception& e) {
            std::snprintf(f.Error, sizeof f.Error, "%s", e.what());
        }
        f.PeakKb = PeakKb();
        const ssize_t written = ::write(fds[1], &f, sizeof f);
        ::_exit(written == static_cast<ssize_t>(sizeof f) ? 0 : 1);
    }
    ::close(fds[1]);
    Figures f;
    if (::read(fds[0], &f, sizeof f) != static_cast<ssize_t>(sizeof f))
        std::snprintf(f.Error, sizeof f.Error, "the measuring process died");
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return f;
}

}  // namespace velora::bench
