// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Owners of ODBC handles: a statement, a connection or an environment that
// frees itself when its owner goes or is reset. Freeing through an owner
// never raises (there is nobody left to tell in a destructor or on an error
// path), so no caller wraps a free in try/catch. The raw handle goes out
// through get() where the engine's routines take one, through receive() to
// a routine that allocates into a handle variable (ODBCAllocEnv,
// ODBCConnect), and through release() to a routine that frees it and reports
// the failure (ODBCFreeStmt, ODBCFreeConnect, ODBCFreeEnv).
#pragma once

#include "velora/odbc/ODBCDefs.h"

#include <utility>

namespace velora {

/// Frees a statement and the storage the binder kept for it; a failure is
/// not reported.
void ODBCReleaseStmt(odbc::HStmt handle) noexcept;
/// Rolls back what is pending, disconnects and frees a connection; a handle
/// that never connected only answers 08003 to the first two. Failures are not
/// reported.
void ODBCReleaseConnect(odbc::HDbc handle) noexcept;
/// Frees an environment; a failure is not reported.
void ODBCReleaseEnv(odbc::HEnv handle) noexcept;

/// A move-only owner of one ODBC handle, freed with Release.
template <typename Handle, void (*Release)(Handle) noexcept>
class TODBCHandleOwner {
public:
    TODBCHandleOwner() noexcept = default;
    explicit TODBCHandleOwner(Handle handle) noexcept : FHandle(handle) {}
    TODBCHandleOwner(TODBCHandleOwner&& other) noexcept : FHandle(other.release()) {}
    TODBCHandleOwner& operator=(TODBCHandleOwner&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    TODBCHandleOwner(const TODBCHandleOwner&) = delete;
    TODBCHandleOwner& operator=(const TODBCHandleOwner&) = delete;
    ~TODBCHandleOwner() { reset(); }

    /// The handle, still owned here (nil when there is none).
    Handle get() const noexcept { return FHandle; }
    explicit operator bool() const noexcept { return FHandle != nullptr; }
    /// Gives the handle up without freeing it.
    Handle release() noexcept { return std::exchange(FHandle, nullptr); }
    /// Frees the handle held (if any) and takes `handle`.
    void reset(Handle handle = nullptr) noexcept {
        Handle old = std::exchange(FHandle, handle);
        if (old != nullptr) Release(old);
    }
    /// Frees the handle held and hands out the empty variable, for a routine
    /// that allocates into it; what it leaves there is owned here, also when
    /// it raises.
    Handle& receive() noexcept {
        reset();
        return FHandle;
    }

private:
    Handle FHandle = nullptr;
};

using TODBCStmtOwner = TODBCHandleOwner<odbc::HStmt, ODBCReleaseStmt>;
using TODBCConnectOwner = TODBCHandleOwner<odbc::HDbc, ODBCReleaseConnect>;
using TODBCEnvOwner = TODBCHandleOwner<odbc::HEnv, ODBCReleaseEnv>;

}  // namespace velora
