// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// GUID text forms, the counted COM initialisation and the in-process class
// registry of ComObj.h. The registry is process-wide and guarded by a mutex;
// factories run outside the lock, so a factory may itself create objects.
#include "velora/rtl/ComObj.h"

#include <cstdio>
#include <map>
#include <mutex>
#include <new>

namespace velora {

namespace detail {
void RaiseInvalidGUID(std::string_view text) {
    throw EConvertError("'" + String(text) + "' is not a valid GUID value");
}
}  // namespace detail

bool TryStringToGUID(std::string_view text, TGUID& guid) { return detail::ParseGUID(text, guid); }

String GUIDToString(const TGUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.D1, g.D2, g.D3, g.D4[0],
                  g.D4[1], g.D4[2], g.D4[3], g.D4[4], g.D4[5], g.D4[6], g.D4[7]);
    return buf;
}

namespace {

thread_local int ThreadInitCount = 0;

std::mutex& RegistryLock() {
    static std::mutex m;
    return m;
}

std::map<TGUID, TClassFactory>& Registry() {
    static std::map<TGUID, TClassFactory> r;
    return r;
}

}  // namespace

HRESULT CoInitialize(void*) { return ThreadInitCount++ == 0 ? S_OK : S_FALSE; }

void CoUninitialize() {
    if (ThreadInitCount > 0) --ThreadInitCount;
}

int CoInitializeCount() { return ThreadInitCount; }

void RegisterClassFactory(const TGUID& clsid, TClassFactory factory) {
    std::lock_guard<std::mutex> lock(RegistryLock());
    Registry()[clsid] = std::move(factory);
}

bool UnregisterClassFactory(const TGUID& clsid) {
    std::lock_guard<std::mutex> lock(RegistryLock());
    return Registry().erase(clsid) > 0;
}

HRESULT CoCreateInstance(const TGUID& clsid, IUnknown* outer, std::uint32_t clsContext, const TGUID& iid, void** obj) {
    if (!obj) return E_POINTER;
    *obj = nullptr;
    TClassFactory factory;
    {
        std::lock_guard<std::mutex> lock(RegistryLock());
        auto it = Registry().find(clsid);
        if (it == Registry().end() || (clsContext & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
        factory = it->second;
    }
    if (outer) return CLASS_E_NOAGGREGATION;
    try {
        ComPtr<IUnknown> object = factory();
        if (!object) return E_FAIL;
        return object->QueryInterface(iid, obj);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (...) {
        return E_FAIL;
    }
}

}  // namespace velora
