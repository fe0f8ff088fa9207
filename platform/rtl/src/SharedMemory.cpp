// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The shared-memory probe and the test-side object of SharedMemory.h.
#include "velora/rtl/SharedMemory.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace velora {

namespace {

String ShmName(const String& name) { return (!name.empty() && name[0] == '/') ? name : "/" + name; }

bool ValidName(const String& shmName) { return shmName.size() > 1 && shmName.find('/', 1) == String::npos; }

}  // namespace

bool SharedMemoryExists(const String& name) {
    String shmName = ShmName(name);
    if (!ValidName(shmName)) return false;
    int fd = shm_open(shmName.c_str(), O_RDONLY | O_CLOEXEC, 0);
    if (fd < 0) return false;
    close(fd);
    return true;
}

TSharedMemoryObject::TSharedMemoryObject(const String& name, std::size_t size) : FName(ShmName(name)) {
    auto fail = [this](int err) {
        throw EFOpenError("Cannot create shared memory object '" + FName + "': " + std::strerror(err));
    };
    if (!ValidName(FName)) fail(EINVAL);
    int fd = shm_open(FName.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) fail(errno);
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) {
        int err = errno;
        close(fd);
        shm_unlink(FName.c_str());
        fail(err);
    }
    close(fd);
}

TSharedMemoryObject::~TSharedMemoryObject() { shm_unlink(FName.c_str()); }

}  // namespace velora
