// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The small part of the component object model the library needs: globally
// unique identifiers, reference-counted interfaces with QueryInterface, a
// smart pointer over them, and in-process object creation by class
// identifier. There is no system-wide registry: a class is creatable only
// after a factory for it has been registered in this process (a monitor
// component, or a test, does that). COM initialisation is counted but does
// nothing else.
#pragma once

#include "velora/rtl/SysUtils.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string_view>
#include <tuple>
#include <utility>

namespace velora {

/// A globally unique identifier.
struct TGUID {
    std::uint32_t D1 = 0;
    std::uint16_t D2 = 0;
    std::uint16_t D3 = 0;
    std::array<std::uint8_t, 8> D4{};

    friend constexpr bool operator==(const TGUID&, const TGUID&) = default;
    friend constexpr auto operator<=>(const TGUID&, const TGUID&) = default;
};

namespace detail {
constexpr int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
/// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (hex digits in any case).
constexpr bool ParseGUID(std::string_view s, TGUID& g) {
    if (s.size() != 38 || s[0] != '{' || s[37] != '}' || s[9] != '-' || s[14] != '-' || s[19] != '-' || s[24] != '-')
        return false;
    std::uint64_t parts[5] = {};
    const int starts[5] = {1, 10, 15, 20, 25};
    const int lengths[5] = {8, 4, 4, 4, 12};
    for (int p = 0; p < 5; ++p) {
        for (int i = 0; i < lengths[p]; ++i) {
            int h = HexValue(s[static_cast<std::size_t>(starts[p] + i)]);
            if (h < 0) return false;
            parts[p] = parts[p] * 16 + static_cast<std::uint64_t>(h);
        }
    }
    g.D1 = static_cast<std::uint32_t>(parts[0]);
    g.D2 = static_cast<std::uint16_t>(parts[1]);
    g.D3 = static_cast<std::uint16_t>(parts[2]);
    g.D4[0] = static_cast<std::uint8_t>(parts[3] >> 8);
    g.D4[1] = static_cast<std::uint8_t>(parts[3]);
    for (int i = 0; i < 6; ++i)
        g.D4[static_cast<std::size_t>(2 + i)] = static_cast<std::uint8_t>(parts[4] >> (40 - 8 * i));
    return true;
}
[[noreturn]] void RaiseInvalidGUID(std::string_view text);
}  // namespace detail

/// The identifier written as text; usable in constant expressions
/// (`constexpr TGUID IID_X = StringToGUID("{...}")`, where a bad text does not
/// compile). At run time a bad text raises EConvertError
/// "'<text>' is not a valid GUID value".
constexpr TGUID StringToGUID(std::string_view text) {
    TGUID g;
    if (!detail::ParseGUID(text, g)) detail::RaiseInvalidGUID(text);
    return g;
}
bool TryStringToGUID(std::string_view text, TGUID& guid);
/// "{CB9879E1-4395-11D0-9FFC-00A0248E4B9A}": upper-case hex digits.
String GUIDToString(const TGUID& guid);

/// A COM result code.
using HRESULT = std::int32_t;
inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
inline constexpr bool Failed(HRESULT hr) { return hr < 0; }

/// Class contexts of CoCreateInstance; only in-process servers exist here.
inline constexpr std::uint32_t CLSCTX_INPROC_SERVER = 1;

/// The root interface. Every interface derives from it and declares its
/// identifier as `static constexpr TGUID IID`.
class IUnknown {
public:
    static constexpr TGUID IID = StringToGUID("{00000000-0000-0000-C000-000000000046}");

    /// Stores in *obj a counted reference to the interface `iid` of this
    /// object and answers S_OK, or stores null and answers E_NOINTERFACE.
    virtual HRESULT QueryInterface(const TGUID& iid, void** obj) = 0;
    /// Returns the new count (for diagnostics only).
    virtual std::uint32_t AddRef() = 0;
    /// Frees the object when the count reaches 0; returns the new count.
    virtual std::uint32_t Release() = 0;

protected:
    virtual ~IUnknown() = default;
};

/// Implements IUnknown for an object offering the interfaces `Interfaces`
/// (each derived from IUnknown, with its IID): a thread-safe reference count
/// starting at 0, deletion at the last Release, and QueryInterface answering
/// IUnknown and every listed interface (and their bases' IIDs when the
/// derived class extends QueryInterface). Create instances with `new` and hand
/// them to a ComPtr at once.
template <typename... Interfaces>
class TInterfacedObject : public Interfaces... {
    static_assert(sizeof...(Interfaces) > 0, "name at least one interface");

public:
    HRESULT QueryInterface(const TGUID& iid, void** obj) override {
        if (!obj) return E_POINTER;
        *obj = nullptr;
        if (iid == IUnknown::IID)
            *obj = static_cast<IUnknown*>(static_cast<First*>(this));
        else
            (void)((iid == Interfaces::IID ? (*obj = static_cast<Interfaces*>(this), true) : false) || ...);
        if (!*obj) return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }
    std::uint32_t AddRef() override { return FRefCount.fetch_add(1, std::memory_order_relaxed) + 1; }
    std::uint32_t Release() override {
        std::uint32_t n = FRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (n == 0) delete this;
        return n;
    }
    std::uint32_t RefCount() const { return FRefCount.load(); }

protected:
    ~TInterfacedObject() override = default;

private:
    using First = std::tuple_element_t<0, std::tuple<Interfaces...>>;
    std::atomic<std::uint32_t> FRefCount{0};
};

/// A counted reference to an interface T: copying adds a reference,
/// destruction and reassignment release one.
template <typename T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    /// Takes a new reference to p.
    explicit ComPtr(T* p) noexcept : FPtr(p) {
        if (FPtr) FPtr->AddRef();
    }
    ComPtr(const ComPtr& other) noexcept : ComPtr(other.FPtr) {}
    ComPtr(ComPtr&& other) noexcept : FPtr(std::exchange(other.FPtr, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept {
        std::swap(FPtr, other.FPtr);
        return *this;
    }
    ~ComPtr() { Reset(); }

    /// Adopts a reference the caller already owns (no AddRef).
    static ComPtr Attach(T* p) noexcept {
        ComPtr r;
        r.FPtr = p;
        return r;
    }
    /// Gives up the reference without releasing it.
    T* Detach() noexcept { return std::exchange(FPtr, nullptr); }
    void Reset() noexcept {
        if (T* p = std::exchange(FPtr, nullptr)) p->Release();
    }
    T* Get() const noexcept { return FPtr; }
    T* operator->() const noexcept { return FPtr; }
    T& operator*() const noexcept { return *FPtr; }
    explicit operator bool() const noexcept { return FPtr != nullptr; }
    /// Releases the current reference and returns the slot for an out
    /// parameter (`CoCreateInstance(..., p.PutVoid())`).
    void** PutVoid() noexcept {
        Reset();
        return reinterpret_cast<void**>(&FPtr);
    }
    /// QueryInterface for U into `out`.
    template <typename U>
    HRESULT As(ComPtr<U>& out) const {
        if (!FPtr) {
            out.Reset();
            return E_POINTER;
        }
        return FPtr->QueryInterface(U::IID, out.PutVoid());
    }

    friend bool operator==(const ComPtr& a, const ComPtr& b) noexcept { return a.FPtr == b.FPtr; }
    friend bool operator==(const ComPtr& a, std::nullptr_t) noexcept { return a.FPtr == nullptr; }

private:
    T* FPtr = nullptr;
};

/// Counted stand-ins for the COM library start and stop: CoInitialize answers
/// S_OK the first time on a thread and S_FALSE when already initialised;
/// CoUninitialize undoes one call. Nothing else depends on them.
HRESULT CoInitialize(void* reserved = nullptr);
void CoUninitialize();
/// The initialisation count of the calling thread.
int CoInitializeCount();

/// Creates an object of a registered class: stores a counted reference to
/// the object's interface `iid` in *obj and answers S_OK. Answers
/// REGDB_E_CLASSNOTREG when no factory is registered for clsid (or the
/// context asks for no in-process server), CLASS_E_NOAGGREGATION when outer
/// is given, E_NOINTERFACE when the object lacks iid, E_FAIL/E_OUTOFMEMORY
/// when the factory fails (it never raises). *obj is null on failure.
using TClassFactory = std::function<ComPtr<IUnknown>()>;
HRESULT CoCreateInstance(const TGUID& clsid, IUnknown* outer, std::uint32_t clsContext, const TGUID& iid, void** obj);
/// Convenience form: in-process, no aggregation, interface T.
template <typename T>
HRESULT CoCreateInstance(const TGUID& clsid, ComPtr<T>& out) {
    return CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, T::IID, out.PutVoid());
}

/// Registers (or replaces) the factory of a class in this process.
void RegisterClassFactory(const TGUID& clsid, TClassFactory factory);
/// Removes it; answers whether one was registered.
bool UnregisterClassFactory(const TGUID& clsid);

}  // namespace velora
