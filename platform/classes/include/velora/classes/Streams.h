// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Byte streams: the abstract TStream with its checked
// ReadBuffer/WriteBuffer, a growable in-memory stream, a file stream over
// POSIX descriptors and a stream over a string. Form files, BLOB values and
// the stored form of parameter lists all travel through these.
#pragma once

#include "velora/classes/Classes.h"

#include <cstdint>
#include <vector>

namespace velora {

/// A file that cannot be created (fmCreate).
class EFCreateError : public EFOpenError {
public:
    using EFOpenError::EFOpenError;
};

/// Where Seek counts from.
enum TSeekOrigin : std::uint8_t { soBeginning, soCurrent, soEnd };

/// File stream modes (fixed values; share flags are accepted and
/// ignored).
inline constexpr unsigned fmOpenRead = 0x0000;
inline constexpr unsigned fmOpenWrite = 0x0001;
inline constexpr unsigned fmOpenReadWrite = 0x0002;
inline constexpr unsigned fmShareCompat = 0x0000;
inline constexpr unsigned fmShareExclusive = 0x0010;
inline constexpr unsigned fmShareDenyWrite = 0x0020;
inline constexpr unsigned fmShareDenyRead = 0x0030;
inline constexpr unsigned fmShareDenyNone = 0x0040;
/// Creates the file, or truncates an existing one, for reading and writing.
inline constexpr unsigned fmCreate = 0xFFFF;

/// A sequence of bytes with a position.
class TStream : public TObject {
public:
    /// Reads up to count bytes; returns how many arrived (0 at the end).
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    /// Writes up to count bytes; returns how many were written.
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    /// Moves the position; returns the new position.
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;

    /// Reads exactly count bytes or raises EReadError "Stream read error".
    void ReadBuffer(void* buffer, std::int64_t count);
    /// Writes exactly count bytes or raises EWriteError "Stream write error".
    void WriteBuffer(const void* buffer, std::int64_t count);
    /// Copies count bytes from source's position; count 0 copies all of
    /// source from its start. Returns the bytes copied; short input raises
    /// EReadError.
    std::int64_t CopyFrom(TStream& source, std::int64_t count);

    std::int64_t Position() { return Seek(0, soCurrent); }
    void SetPosition(std::int64_t pos) { Seek(pos, soBeginning); }
    virtual std::int64_t Size();
    /// Changes the size (streams that cannot raise EStreamError).
    virtual void SetSize(std::int64_t newSize);
};

/// A stream held in memory. Writing past the end grows it (gaps are zeros).
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(FData.size()); }
    void SetSize(std::int64_t newSize) override;

    /// The bytes (valid until the next size change).
    std::uint8_t* Memory() { return FData.data(); }
    const std::uint8_t* Memory() const { return FData.data(); }
    const std::vector<std::uint8_t>& Bytes() const { return FData; }
    void Clear();
    /// Replaces the content with all of stream (from its start).
    void LoadFromStream(TStream& stream);
    void SaveToStream(TStream& stream) const;
    void LoadFromFile(const String& fileName);
    void SaveToFile(const String& fileName) const;

private:
    std::vector<std::uint8_t> FData;
    std::int64_t FPosition = 0;
};

/// A stream over an open file. Open failures raise EFOpenError
/// `Cannot open file "<path>". <system message>` (EFCreateError with
/// "Cannot create file" for fmCreate).
class TFileStream : public TStream {
public:
    TFileStream(const String& fileName, unsigned mode);
    ~TFileStream() override;
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    void SetSize(std::int64_t newSize) override;

    const String& FileName() const { return FFileName; }
    int Handle() const { return FHandle; }

private:
    String FFileName;
    int FHandle = -1;
};

/// A stream over a string (bytes as they are).
class TStringStream : public TStream {
public:
    explicit TStringStream(String data = String()) : FDataString(std::move(data)) {}
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() override { return static_cast<std::int64_t>(FDataString.size()); }
    void SetSize(std::int64_t newSize) override;

    const String& DataString() const { return FDataString; }
    /// Reads count bytes (fewer at the end) as a string.
    String ReadString(std::int64_t count);
    void WriteString(const String& s) { WriteBuffer(s.data(), static_cast<std::int64_t>(s.size())); }

private:
    String FDataString;
    std::int64_t FPosition = 0;
};

}  // namespace velora
