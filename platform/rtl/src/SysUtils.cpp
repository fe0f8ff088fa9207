// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Exceptions helpers and the basic text routines of SysUtils.h.
#include "velora/rtl/SysUtils.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstring>

namespace velora {

namespace detail {

String FormatArg(const String& v) { return v; }
String FormatArg(const char* v) { return v ? String(v) : String(); }
String FormatArg(std::string_view v) { return String(v); }
String FormatArg(long long v) { return std::to_string(v); }
String FormatArg(unsigned long long v) { return std::to_string(v); }
String FormatArg(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    return buf;
}

String FormatImpl(std::string_view fmt, const std::vector<String>& args) {
    String out;
    out.reserve(fmt.size() + 32);
    std::size_t next = 0;
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        char c = fmt[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (i + 1 >= fmt.size())
            throw EConvertError("Format '" + String(fmt) + "' invalid or incompatible with argument");
        // Skip flags, width and precision: the arguments arrive rendered.
        std::size_t j = i + 1;
        while (j < fmt.size() && std::strchr("-+ 0#.123456789", fmt[j])) ++j;
        if (j >= fmt.size()) throw EConvertError("Format '" + String(fmt) + "' invalid or incompatible with argument");
        char d = fmt[j];
        if (d == '%') {
            out += '%';
        } else if (std::strchr("sdufgexXp", d)) {
            if (next >= args.size())
                throw EConvertError("Format '" + String(fmt) + "' invalid or incompatible with argument");
            out += args[next++];
        } else {
            throw EConvertError("Format '" + String(fmt) + "' invalid or incompatible with argument");
        }
        i = j;
    }
    return out;
}

}  // namespace detail

void DatabaseError(const String& message) { throw EDatabaseError(message); }

String IntToStr(long long value) { return std::to_string(value); }

bool TryStrToInt(std::string_view text, long long& value) {
    std::size_t b = 0, e = text.size();
    while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
    if (b < e && text[b] == '+') ++b;
    if (b == e) return false;
    long long v = 0;
    auto [p, ec] = std::from_chars(text.data() + b, text.data() + e, v, 10);
    if (ec != std::errc() || p != text.data() + e) return false;
    value = v;
    return true;
}

long long StrToInt(std::string_view text) {
    long long v = 0;
    if (!TryStrToInt(text, v)) throw EConvertError("'" + String(text) + "' is not a valid integer value");
    return v;
}

String UpperCase(std::string_view s) {
    String r(s);
    for (auto& c : r)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return r;
}

String LowerCase(std::string_view s) {
    String r(s);
    for (auto& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

String Trim(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return String(s.substr(b, e - b));
}

int CompareText(std::string_view a, std::string_view b) {
    std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
        if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 32);
        if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 32);
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

bool SameText(std::string_view a, std::string_view b) { return CompareText(a, b) == 0; }

int AnsiCompareText(std::string_view a, std::string_view b) { return CompareText(a, b); }

char* StrPLCopy(char* dest, std::string_view src, std::size_t size) {
    if (size == 0) return dest;
    std::size_t n = std::min(src.size(), size - 1);
    std::memcpy(dest, src.data(), n);
    dest[n] = '\0';
    return dest;
}

}  // namespace velora
