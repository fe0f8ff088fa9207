// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The streams of Streams.h. File streams use POSIX descriptors directly so
// that errors carry the system's own message.
#include "velora/classes/Streams.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace velora {

namespace {

// Clamps a requested position: negative positions are refused.
std::int64_t NewPosition(std::int64_t current, std::int64_t size, std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? current : size;
    if ((offset > 0 && base > std::numeric_limits<std::int64_t>::max() - offset) || base + offset < 0)
        throw EStreamError("Invalid stream position");
    return base + offset;
}

}  // namespace

// ---------------------------------------------------------------------------
// TStream

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
    if (count <= 0) return;
    auto* p = static_cast<std::uint8_t*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        std::int64_t n = Read(p + done, count - done);
        if (n <= 0) throw EReadError("Stream read error");
        done += n;
    }
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
    if (count <= 0) return;
    auto* p = static_cast<const std::uint8_t*>(buffer);
    std::int64_t done = 0;
    while (done < count) {
        std::int64_t n = Write(p + done, count - done);
        if (n <= 0) throw EWriteError("Stream write error");
        done += n;
    }
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    std::int64_t result = count;
    std::uint8_t buffer[64 * 1024];
    while (count > 0) {
        std::int64_t n = std::min<std::int64_t>(count, sizeof buffer);
        source.ReadBuffer(buffer, n);
        WriteBuffer(buffer, n);
        count -= n;
    }
    return result;
}

std::int64_t TStream::Size() {
    std::int64_t pos = Seek(0, soCurrent);
    std::int64_t size = Seek(0, soEnd);
    Seek(pos, soBeginning);
    return size;
}

void TStream::SetSize(std::int64_t) { throw EStreamError(ClassName() + " cannot change its size"); }

// ---------------------------------------------------------------------------
// TMemoryStream

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
    const std::int64_t size = Size();
    if (count <= 0 || FPosition >= size) return 0;
    std::int64_t n = std::min(count, size - FPosition);
    std::memcpy(buffer, FData.data() + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return n;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0) return 0;
    std::int64_t end = FPosition + count;
    if (end > Size()) FData.resize(static_cast<std::size_t>(end));
    std::memcpy(FData.data() + FPosition, buffer, static_cast<std::size_t>(count));
    FPosition = end;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    FPosition = NewPosition(FPosition, Size(), offset, origin);
    return FPosition;
}

void TMemoryStream::SetSize(std::int64_t newSize) {
    if (newSize < 0) throw EStreamError("Invalid stream size");
    FData.resize(static_cast<std::size_t>(newSize));
    if (FPosition > newSize) FPosition = newSize;
}

void TMemoryStream::Clear() {
    FData.clear();
    FData.shrink_to_fit();
    FPosition = 0;
}

void TMemoryStream::LoadFromStream(TStream& stream) {
    stream.SetPosition(0);
    std::int64_t size = stream.Size();
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
    stream.ReadBuffer(data.data(), size);
    FData.swap(data);
    FPosition = 0;
}

void TMemoryStream::SaveToStream(TStream& stream) const {
    stream.WriteBuffer(FData.data(), static_cast<std::int64_t>(FData.size()));
}

void TMemoryStream::LoadFromFile(const String& fileName) {
    TFileStream stream(fileName, fmOpenRead);
    LoadFromStream(stream);
}

void TMemoryStream::SaveToFile(const String& fileName) const {
    TFileStream stream(fileName, fmCreate);
    SaveToStream(stream);
}

// ---------------------------------------------------------------------------
// TFileStream

TFileStream::TFileStream(const String& fileName, unsigned mode) : FFileName(fileName) {
    int flags;
    if (mode == fmCreate) {
        flags = O_RDWR | O_CREAT | O_TRUNC;
    } else {
        switch (mode & 0x3u) {
            case fmOpenWrite:
                flags = O_WRONLY;
                break;
            case fmOpenReadWrite:
                flags = O_RDWR;
                break;
            default:
                flags = O_RDONLY;
                break;
        }
    }
    do {
        FHandle = ::open(fileName.c_str(), flags | O_CLOEXEC, 0666);
    } while (FHandle < 0 && errno == EINTR);
    if (FHandle < 0) {
        const String reason = std::strerror(errno);
        if (mode == fmCreate) throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName, reason));
        throw EFOpenError(Format("Cannot open file \"%s\". %s", fileName, reason));
    }
    // A directory opens read-only on Linux but cannot be read: refuse it here.
    struct stat st {};
    if (::fstat(FHandle, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(FHandle);
        FHandle = -1;
        throw EFOpenError(Format("Cannot open file \"%s\". %s", fileName, std::strerror(EISDIR)));
    }
}

TFileStream::~TFileStream() {
    if (FHandle >= 0) ::close(FHandle);
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
    if (count <= 0) return 0;
    for (;;) {
        ssize_t n = ::read(FHandle, buffer, static_cast<std::size_t>(count));
        if (n >= 0) return n;
        if (errno != EINTR) return 0;
    }
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0) return 0;
    for (;;) {
        ssize_t n = ::write(FHandle, buffer, static_cast<std::size_t>(count));
        if (n >= 0) return n;
        if (errno != EINTR) return 0;
    }
}

std::int64_t TFileStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
    off_t pos = ::lseek(FHandle, static_cast<off_t>(offset), whence);
    if (pos < 0) throw EStreamError(Format("Cannot seek in file \"%s\". %s", FFileName, std::strerror(errno)));
    return pos;
}

void TFileStream::SetSize(std::int64_t newSize) {
    if (::ftruncate(FHandle, static_cast<off_t>(newSize)) != 0)
        throw EStreamError(Format("Cannot resize file \"%s\". %s", FFileName, std::strerror(errno)));
    if (Position() > newSize) SetPosition(newSize);
}

// ---------------------------------------------------------------------------
// TStringStream

std::int64_t TStringStream::Read(void* buffer, std::int64_t count) {
    const std::int64_t size = Size();
    if (count <= 0 || FPosition >= size) return 0;
    std::int64_t n = std::min(count, size - FPosition);
    std::memcpy(buffer, FDataString.data() + FPosition, static_cast<std::size_t>(n));
    FPosition += n;
    return n;
}

std::int64_t TStringStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0) return 0;
    std::int64_t end = FPosition + count;
    if (end > Size()) FDataString.resize(static_cast<std::size_t>(end));
    std::memcpy(FDataString.data() + FPosition, buffer, static_cast<std::size_t>(count));
    FPosition = end;
    return count;
}

std::int64_t TStringStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    FPosition = NewPosition(FPosition, Size(), offset, origin);
    return FPosition;
}

void TStringStream::SetSize(std::int64_t newSize) {
    if (newSize < 0) throw EStreamError("Invalid stream size");
    FDataString.resize(static_cast<std::size_t>(newSize));
    if (FPosition > newSize) FPosition = newSize;
}

String TStringStream::ReadString(std::int64_t count) {
    std::int64_t n = std::max<std::int64_t>(0, std::min(count, Size() - FPosition));
    String s = FDataString.substr(static_cast<std::size_t>(FPosition), static_cast<std::size_t>(n));
    FPosition += n;
    return s;
}

}  // namespace velora
