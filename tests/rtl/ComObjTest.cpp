// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The COM stand-ins and the shared-memory probe: GUID text, reference
// counting and interface identity, the smart pointer, the class registry
// behind CoCreateInstance, counted initialisation, and named shared-memory
// objects as the SQL-monitor probe sees them.
#include "velora/rtl/ComObj.h"
#include "velora/rtl/SharedMemory.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <thread>

#include <unistd.h>

using namespace velora;

namespace {

constexpr TGUID MonitorIID = StringToGUID("{CB9879E1-4395-11D0-9FFC-00A0248E4B9A}");
static_assert(MonitorIID.D1 == 0xCB9879E1 && MonitorIID.D2 == 0x4395 && MonitorIID.D3 == 0x11D0);
static_assert(MonitorIID.D4[0] == 0x9F && MonitorIID.D4[7] == 0x9A);

class ITestA : public IUnknown {
public:
    static constexpr TGUID IID = StringToGUID("{0B1F6A10-0000-4000-8000-0000000000A1}");
    virtual int Value() = 0;
};

class ITestB : public IUnknown {
public:
    static constexpr TGUID IID = StringToGUID("{0B1F6A10-0000-4000-8000-0000000000B2}");
    virtual int Twice() = 0;
};

class ITestMissing : public IUnknown {
public:
    static constexpr TGUID IID = StringToGUID("{0B1F6A10-0000-4000-8000-0000000000C3}");
};

/// An object with two interfaces that reports its destruction.
class TTestObject final : public TInterfacedObject<ITestA, ITestB> {
public:
    TTestObject(int value, bool* destroyed) : FValue(value), FDestroyed(destroyed) {}
    ~TTestObject() override {
        if (FDestroyed) *FDestroyed = true;
    }
    int Value() override { return FValue; }
    int Twice() override { return 2 * FValue; }

private:
    int FValue;
    bool* FDestroyed;
};

const TGUID TestClass = StringToGUID("{0B1F6A10-0000-4000-8000-00000000C1A5}");

/// Registers a factory for TestClass for the scope of one test.
class TScopedFactory {
public:
    explicit TScopedFactory(TClassFactory factory) { RegisterClassFactory(TestClass, std::move(factory)); }
    ~TScopedFactory() { UnregisterClassFactory(TestClass); }
};

}  // namespace

// ---- GUID --------------------------------------------------------------------------

TEST(GUID, ParsesAndFormatsTheBracedText) {
    TGUID g = StringToGUID("{cb9879e1-4395-11d0-9ffc-00a0248e4b9a}");
    EXPECT_EQ(g, MonitorIID);
    EXPECT_EQ(GUIDToString(g), "{CB9879E1-4395-11D0-9FFC-00A0248E4B9A}");
    EXPECT_EQ(GUIDToString(IUnknown::IID), "{00000000-0000-0000-C000-000000000046}");
    EXPECT_EQ(GUIDToString(TGUID{}), "{00000000-0000-0000-0000-000000000000}");
    EXPECT_EQ(StringToGUID(GUIDToString(TestClass)), TestClass);
    EXPECT_NE(ITestA::IID, ITestB::IID);
    std::map<TGUID, int> byId{{ITestA::IID, 1}, {ITestB::IID, 2}};
    EXPECT_EQ(byId.at(ITestB::IID), 2);
}

TEST(GUID, RejectsMalformedText) {
    for (const char* bad : {"", "CB9879E1-4395-11D0-9FFC-00A0248E4B9A", "{CB9879E1-4395-11D0-9FFC-00A0248E4B9}",
                            "{CB9879E1-4395-11D0-9FFC-00A0248E4B9AA}", "{CB9879E1_4395-11D0-9FFC-00A0248E4B9A}",
                            "{CB9879G1-4395-11D0-9FFC-00A0248E4B9A}", "(CB9879E1-4395-11D0-9FFC-00A0248E4B9A)",
                            "{CB9879E1-4395-11D0-9FFC00-A0248E4B9A}"}) {
        SCOPED_TRACE(bad);
        TGUID g = TestClass;
        EXPECT_FALSE(TryStringToGUID(bad, g));
        EXPECT_EQ(g, TestClass);
        try {
            StringToGUID(bad);
            ADD_FAILURE() << "no exception";
        } catch (const EConvertError& e) {
            EXPECT_EQ(e.Message(), "'" + String(bad) + "' is not a valid GUID value");
        }
    }
}

// ---- interfaces and ComPtr ------------------------------------------------------------

TEST(ComInterfaces, QueryInterfaceCountsAndKeepsIdentity) {
    bool destroyed = false;
    {
        ComPtr<ITestA> a(new TTestObject(21, &destroyed));
        auto* object = static_cast<TTestObject*>(a.Get());
        EXPECT_EQ(object->RefCount(), 1u);
        ComPtr<ITestB> b;
        ASSERT_EQ(a.As(b), S_OK);
        EXPECT_EQ(b->Twice(), 42);
        EXPECT_EQ(object->RefCount(), 2u);
        ComPtr<IUnknown> u1, u2;
        ASSERT_EQ(a.As(u1), S_OK);
        ASSERT_EQ(b.As(u2), S_OK);
        EXPECT_EQ(u1, u2);  // one IUnknown whichever interface is asked
        ComPtr<ITestA> back;
        ASSERT_EQ(u2.As(back), S_OK);
        EXPECT_EQ(back, a);
        ComPtr<ITestMissing> missing;
        EXPECT_EQ(a.As(missing), E_NOINTERFACE);
        EXPECT_FALSE(missing);
        EXPECT_EQ(object->RefCount(), 5u);
        EXPECT_EQ(a->QueryInterface(ITestA::IID, nullptr), E_POINTER);
    }
    EXPECT_TRUE(destroyed);
}

TEST(ComInterfaces, ComPtrCopiesMovesAttachesAndDetaches) {
    bool destroyed = false;
    auto* raw = new TTestObject(1, &destroyed);
    ComPtr<ITestA> a(raw);
    {
        ComPtr<ITestA> copy = a;
        EXPECT_EQ(raw->RefCount(), 2u);
        ComPtr<ITestA> moved = std::move(copy);
        EXPECT_FALSE(copy);
        EXPECT_EQ(raw->RefCount(), 2u);
        moved = nullptr;
        EXPECT_EQ(raw->RefCount(), 1u);
    }
    ITestA* detached = a.Detach();
    EXPECT_FALSE(a);
    EXPECT_EQ(raw->RefCount(), 1u);
    ComPtr<ITestA> adopted = ComPtr<ITestA>::Attach(detached);
    EXPECT_EQ(raw->RefCount(), 1u);
    ComPtr<ITestA> other;
    other = adopted;
    adopted.Reset();
    EXPECT_FALSE(destroyed);
    other.Reset();
    EXPECT_TRUE(destroyed);
    ComPtr<ITestB> none;
    EXPECT_EQ(ComPtr<ITestA>().As(none), E_POINTER);
}

// ---- initialisation --------------------------------------------------------------------

TEST(ComInitialize, IsCountedPerThread) {
    int base = CoInitializeCount();
    EXPECT_EQ(CoInitialize(), base == 0 ? S_OK : S_FALSE);
    EXPECT_EQ(CoInitialize(), S_FALSE);
    EXPECT_EQ(CoInitializeCount(), base + 2);
    int otherThread = -1;
    std::thread([&] { otherThread = CoInitializeCount(); }).join();
    EXPECT_EQ(otherThread, 0);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoInitializeCount(), base);
    if (base == 0) {
        CoUninitialize();  // one too many is harmless
        EXPECT_EQ(CoInitializeCount(), 0);
    }
}

// ---- class registry -----------------------------------------------------------------------

TEST(ComCreate, NothingIsRegisteredByDefault) {
    void* obj = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CoCreateInstance(MonitorIID, nullptr, CLSCTX_INPROC_SERVER, MonitorIID, &obj), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(obj, nullptr);
    ComPtr<ITestA> a;
    EXPECT_EQ(CoCreateInstance(TestClass, a), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(a);
    EXPECT_FALSE(UnregisterClassFactory(TestClass));
}

TEST(ComCreate, ARegisteredFactoryMakesObjectsUntilUnregistered) {
    bool destroyed = false;
    int made = 0;
    {
        TScopedFactory factory([&] {
            ++made;
            return ComPtr<IUnknown>(static_cast<ITestA*>(new TTestObject(7, &destroyed)));
        });
        ComPtr<ITestB> b;
        ASSERT_EQ(CoCreateInstance(TestClass, b), S_OK);
        EXPECT_EQ(b->Twice(), 14);
        EXPECT_EQ(made, 1);
        EXPECT_EQ(static_cast<TTestObject*>(b.Get())->RefCount(), 1u);  // the caller holds the only reference
        b.Reset();
        EXPECT_TRUE(destroyed);

        // Replacing the factory takes effect at once.
        RegisterClassFactory(TestClass,
                             [] { return ComPtr<IUnknown>(static_cast<ITestA*>(new TTestObject(9, nullptr))); });
        ComPtr<ITestA> a;
        ASSERT_EQ(CoCreateInstance(TestClass, a), S_OK);
        EXPECT_EQ(a->Value(), 9);
        EXPECT_TRUE(UnregisterClassFactory(TestClass));
    }
    ComPtr<ITestA> a;
    EXPECT_EQ(CoCreateInstance(TestClass, a), REGDB_E_CLASSNOTREG);
}

TEST(ComCreate, FailuresAnswerCodesAndLeakNothing) {
    bool destroyed = false;
    TScopedFactory factory([&] { return ComPtr<IUnknown>(static_cast<ITestA*>(new TTestObject(1, &destroyed))); });
    void* obj = nullptr;
    // The object lacks the interface: it is freed again.
    EXPECT_EQ(CoCreateInstance(TestClass, nullptr, CLSCTX_INPROC_SERVER, ITestMissing::IID, &obj), E_NOINTERFACE);
    EXPECT_EQ(obj, nullptr);
    EXPECT_TRUE(destroyed);
    bool outerDestroyed = false;
    ComPtr<ITestA> outer(new TTestObject(0, &outerDestroyed));
    EXPECT_EQ(CoCreateInstance(TestClass, outer.Get(), CLSCTX_INPROC_SERVER, ITestA::IID, &obj), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(CoCreateInstance(TestClass, nullptr, 4 /* local server */, ITestA::IID, &obj), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(CoCreateInstance(TestClass, nullptr, CLSCTX_INPROC_SERVER, ITestA::IID, nullptr), E_POINTER);
    EXPECT_EQ(obj, nullptr);
}

TEST(ComCreate, AFactoryThatThrowsOrGivesNothingFails) {
    {
        TScopedFactory factory([]() -> ComPtr<IUnknown> { throw std::runtime_error("broken"); });
        ComPtr<ITestA> a;
        EXPECT_EQ(CoCreateInstance(TestClass, a), E_FAIL);
        EXPECT_FALSE(a);
    }
    {
        TScopedFactory factory([]() -> ComPtr<IUnknown> { throw std::bad_alloc(); });
        ComPtr<ITestA> a;
        EXPECT_EQ(CoCreateInstance(TestClass, a), E_OUTOFMEMORY);
    }
    {
        TScopedFactory factory([] { return ComPtr<IUnknown>(); });
        ComPtr<ITestA> a;
        EXPECT_EQ(CoCreateInstance(TestClass, a), E_FAIL);
    }
}

TEST(ComCreate, AFactoryMayCreateOtherObjects) {
    const TGUID inner = StringToGUID("{0B1F6A10-0000-4000-8000-0000000001AA}");
    RegisterClassFactory(inner, [] { return ComPtr<IUnknown>(static_cast<ITestA*>(new TTestObject(3, nullptr))); });
    TScopedFactory factory([&] {
        ComPtr<IUnknown> u;
        CoCreateInstance(inner, nullptr, CLSCTX_INPROC_SERVER, IUnknown::IID, u.PutVoid());
        return u;
    });
    ComPtr<ITestA> a;
    EXPECT_EQ(CoCreateInstance(TestClass, a), S_OK);
    EXPECT_EQ(a->Value(), 3);
    UnregisterClassFactory(inner);
}

// ---- shared memory ---------------------------------------------------------------------------

namespace {
String UniqueShmName(const char* tag) { return "velora-test-" + String(tag) + "-" + std::to_string(::getpid()); }
}  // namespace

TEST(SharedMemory, ExistsOnlyWhileTheObjectLives) {
    String name = UniqueShmName("probe");
    EXPECT_FALSE(SharedMemoryExists(name));
    {
        TSharedMemoryObject object(name);
        EXPECT_EQ(object.Name(), "/" + name);
        EXPECT_TRUE(SharedMemoryExists(name));
        EXPECT_TRUE(SharedMemoryExists("/" + name));
        // Probing does not remove it.
        EXPECT_TRUE(SharedMemoryExists(name));
    }
    EXPECT_FALSE(SharedMemoryExists(name));
}

TEST(SharedMemory, InvalidNamesNeverExist) {
    EXPECT_FALSE(SharedMemoryExists(""));
    EXPECT_FALSE(SharedMemoryExists("/"));
    EXPECT_FALSE(SharedMemoryExists("a/b"));
    EXPECT_THROW(TSharedMemoryObject("a/b"), EFOpenError);
}

TEST(SharedMemory, CreatingAnExistingObjectReusesIt) {
    String name = UniqueShmName("twice");
    TSharedMemoryObject first(name);
    {
        TSharedMemoryObject second("/" + name, 128);
        EXPECT_TRUE(SharedMemoryExists(name));
    }
    // The name is gone with the first destructor that runs.
    EXPECT_FALSE(SharedMemoryExists(name));
}
