// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Named shared-memory objects (POSIX shm_open). The library only asks whether
// one exists: the SQL monitor shows that it runs by keeping a named object
// open. TSharedMemoryObject creates one, so that tests (or a monitor) can
// make it exist for a while.
#pragma once

#include "velora/rtl/SysUtils.h"

#include <cstddef>

namespace velora {

/// Opens the shared-memory object `name` read-only ("/" is put in front
/// unless the name starts with one) and closes it at once. True when it
/// could be opened; False when it does not exist, may not be read, or the
/// name is not valid (empty, or holding a "/" after the first character).
bool SharedMemoryExists(const String& name);

/// Creates (or opens, when it already exists) the shared-memory object
/// `name` with `size` bytes, readable and writable by the owner, and removes
/// the name on destruction. Raises EFOpenError
/// "Cannot create shared memory object '<name>': <reason>" when that fails.
class TSharedMemoryObject {
public:
    explicit TSharedMemoryObject(const String& name, std::size_t size = 4096);
    ~TSharedMemoryObject();
    TSharedMemoryObject(const TSharedMemoryObject&) = delete;
    TSharedMemoryObject& operator=(const TSharedMemoryObject&) = delete;

    /// The name as passed to shm_open (with the leading "/").
    const String& Name() const { return FName; }

private:
    String FName;
};

}  // namespace velora
