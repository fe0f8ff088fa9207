// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The run-time library's base: the exception family every layer raises, the
// string type, and the text routines the components and the engine use
// (Format, IntToStr, UpperCase, CompareText, ...). Number conversions that
// exchange text with drivers never follow the process locale: they always use
// "." as the decimal separator (see StrToFloat/FloatToStrF in Numbers.h).
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace velora {

/// The library's string: a byte string (ANSI text; no code-page conversion).
using String = std::string;

/// Root of every exception the library raises. Carries only its message.
class Exception : public std::exception {
public:
    explicit Exception(String message) : FMessage(std::move(message)) {}
    ~Exception() override = default;

    const String& Message() const noexcept { return FMessage; }
    void SetMessage(String message) { FMessage = std::move(message); }
    const char* what() const noexcept override { return FMessage.c_str(); }

protected:
    String FMessage;
};

/// Misuse of a dataset or database component (`DatabaseError`).
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};
/// A text or value that cannot be converted (StrToFloat, EncodeDate, ...).
class EConvertError : public Exception {
public:
    using Exception::Exception;
};
/// A variant that cannot take or give the asked type.
class EVariantError : public Exception {
public:
    using Exception::Exception;
};
/// Integer arithmetic overflow detected by a checked operation.
class EIntOverflow : public Exception {
public:
    using Exception::Exception;
};
/// A division by zero (Currency division).
class EZeroDivide : public Exception {
public:
    using Exception::Exception;
};
/// An index outside a list's bounds.
class EListError : public Exception {
public:
    using Exception::Exception;
};
/// Streams and form files: base of read and write errors.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};
class EFilerError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
/// A stream or form file that cannot be read (short read, bad form text).
class EReadError : public EFilerError {
public:
    using EFilerError::EFilerError;
};
class EWriteError : public EFilerError {
public:
    using EFilerError::EFilerError;
};
/// A file that cannot be opened or created.
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};
/// Assign/AssignTo of an incompatible pair ("Cannot assign a X to a Y").
class EAssignError : public EConvertError {
public:
    using EConvertError::EConvertError;
};

namespace detail {
String FormatArg(const String& v);
String FormatArg(const char* v);
String FormatArg(std::string_view v);
String FormatArg(long long v);
String FormatArg(unsigned long long v);
String FormatArg(double v);
template <typename T>
String FormatArg(const T& v) requires std::is_integral_v<T> {
    if constexpr (std::is_signed_v<T>)
        return FormatArg(static_cast<long long>(v));
    else
        return FormatArg(static_cast<unsigned long long>(v));
}
String FormatImpl(std::string_view fmt, const std::vector<String>& args);
}  // namespace detail

/// Format for the directives the library uses: %s, %d, %u, %x,
/// %f/%g (arguments already rendered), %% ; directives take the arguments in
/// order. An argument count that does not match raises EConvertError.
template <typename... Args>
String Format(std::string_view fmt, const Args&... args) {
    return detail::FormatImpl(fmt, std::vector<String>{detail::FormatArg(args)...});
}

/// Raises EDatabaseError with the message.
[[noreturn]] void DatabaseError(const String& message);
/// Raises EDatabaseError with Format(fmt, args...).
template <typename... Args>
[[noreturn]] void DatabaseErrorFmt(std::string_view fmt, const Args&... args) {
    DatabaseError(Format(fmt, args...));
}

String IntToStr(long long value);
/// Parses a decimal integer (optional sign, surrounding blanks allowed);
/// raises EConvertError ("'<text>' is not a valid integer value").
long long StrToInt(std::string_view text);
bool TryStrToInt(std::string_view text, long long& value);

String UpperCase(std::string_view s);  ///< ASCII letters only
String LowerCase(std::string_view s);  ///< ASCII letters only
String Trim(std::string_view s);
/// Case-insensitive comparison of ASCII text: <0, 0, >0.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
/// Case-insensitive comparison following the locale's collation (the C
/// locale here, so the same as CompareText for ASCII text).
int AnsiCompareText(std::string_view a, std::string_view b);

/// Copies at most (size - 1) characters of src into dest and terminates it;
/// a bounded null-terminated string copy. Returns dest.
char* StrPLCopy(char* dest, std::string_view src, std::size_t size);

}  // namespace velora
