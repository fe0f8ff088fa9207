// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The SQL monitor hook of sessions. A fake monitor client is registered in
// the process's class factory registry, and "SMBuffer" is created for real
// (POSIX shared memory) when a test wants the monitor to look alive. The
// default session keeps its client for the life of the process, so every
// test that touches the default session's registration runs in a fresh
// process of its own. "SMBuffer" is one name for the whole machine: the
// tests that depend on it take a file lock, so parallel test processes do
// not see each other's.
#include "components/ComponentTestUtil.h"

#include "velora/components/ODBCObj.h"
#include "velora/forms/Application.h"
#include "velora/rtl/SharedMemory.h"

#include <gtest/gtest.h>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace velora {
namespace {

/// What the fake monitor saw.
struct TMonitorLog {
    int Created = 0;
    struct TRegistration {
        std::uintptr_t ID;
        std::string Name;
        TObject* Instance;
        TSMClientSignal Signal;
    };
    std::vector<TRegistration> Registrations;
    std::int16_t Answer = 1;  ///< what RegisterClient answers
    bool Raise = false;       ///< RegisterClient raises instead
    int Alive = 0;            ///< client objects not yet freed
};

class TFakeSMClient : public TInterfacedObject<ISMClient> {
public:
    explicit TFakeSMClient(std::shared_ptr<TMonitorLog> log) : FLog(std::move(log)) { ++FLog->Alive; }
    std::int16_t RegisterClient(std::uintptr_t ID, const char* Name, TObject* Instance,
                                TSMClientSignal SignalProc) override {
        if (FLog->Raise) throw Exception("monitor failure");
        FLog->Registrations.push_back({ID, Name, Instance, std::move(SignalProc)});
        return FLog->Answer;
    }

protected:
    ~TFakeSMClient() override { --FLog->Alive; }

private:
    std::shared_ptr<TMonitorLog> FLog;
};

/// Installs the fake monitor's factory while it lives.
class TFakeMonitor {
public:
    TFakeMonitor() : Log(std::make_shared<TMonitorLog>()) {
        auto log = Log;
        RegisterClassFactory(Class_SMClient, [log]() {
            ++log->Created;
            return ComPtr<IUnknown>(static_cast<IUnknown*>(new TFakeSMClient(log)));
        });
    }
    ~TFakeMonitor() { UnregisterClassFactory(Class_SMClient); }
    TFakeMonitor(const TFakeMonitor&) = delete;
    TFakeMonitor& operator=(const TFakeMonitor&) = delete;

    std::shared_ptr<TMonitorLog> Log;
};

/// Exclusive use of the name "SMBuffer" on this machine while it lives.
class TSMBufferLock {
public:
    TSMBufferLock() {
        FFd = ::open("/tmp/velora-smbuffer-test.lock", O_CREAT | O_RDWR, 0666);
        if (FFd >= 0) ::flock(FFd, LOCK_EX);
    }
    ~TSMBufferLock() {
        if (FFd >= 0) ::close(FFd);
    }
    TSMBufferLock(const TSMBufferLock&) = delete;
    TSMBufferLock& operator=(const TSMBufferLock&) = delete;

private:
    int FFd = -1;
};

/// Runs body in a fresh process; the test fails unless body finishes with
/// no failed expectation.
#define VELORA_IN_FRESH_PROCESS(...)                                                           \
    do {                                                                                       \
        GTEST_FLAG_SET(death_test_style, "threadsafe");                                        \
        EXPECT_EXIT(                                                                           \
            {                                                                                  \
                __VA_ARGS__;                                                                   \
                std::fprintf(stderr, ::testing::Test::HasFailure() ? "failed\n" : "passed\n"); \
                std::exit(::testing::Test::HasFailure() ? 1 : 0);                              \
            },                                                                                 \
            ::testing::ExitedWithCode(0), "passed");                                           \
    } while (0)

TEST(MonitorClient, DefaultSessionRegistersOnlyWhileAMonitorRuns) {
    VELORA_IN_FRESH_PROCESS({
        TSMBufferLock lock;
        TFakeMonitor monitor;
        Session->Open();
        ASSERT_FALSE(SharedMemoryExists(SMBufferName));

        // No monitor running: nothing created, nothing recorded.
        Session->LoadSMClient(false);
        EXPECT_EQ(monitor.Log->Created, 0);
        EXPECT_EQ(Session->SMClient(), nullptr);
        EXPECT_FALSE(Session->SMLoadFailed());

        // The monitor runs: the default session creates a client and
        // registers under the title, or "Untitled Application" without one.
        TSharedMemoryObject smbuffer(SMBufferName);
        Session->LoadSMClient(false);
        EXPECT_EQ(monitor.Log->Created, 1);
        ASSERT_EQ(monitor.Log->Registrations.size(), 1u);
        const auto& reg = monitor.Log->Registrations[0];
        EXPECT_EQ(reg.Name, "Untitled Application");
        EXPECT_EQ(reg.ID, reinterpret_cast<std::uintptr_t>(Session->Handle()));
        EXPECT_EQ(reg.Instance, Session);
        EXPECT_NE(Session->SMClient(), nullptr);
        EXPECT_FALSE(Session->SMLoadFailed());

        // The monitor sets the trace flags through the callback (low 16 bits).
        reg.Signal(nullptr, 0x70000 | (1 << tfError) | (1 << tfDataOut));
        EXPECT_EQ(Session->TraceFlags(), (TODBCTraceFlags{tfError, tfDataOut}));

        // Registered once: later opens do not register again.
        Session->LoadSMClient(false);
        EXPECT_EQ(monitor.Log->Registrations.size(), 1u);

        // Other sessions share the default session's client, named
        // "<title>.<session name>".
        Application->SetTitle("Orders");
        auto* s2 = new TODBCSession(nullptr);
        s2->SetName("S2");
        s2->Open();
        s2->LoadSMClient(false);
        EXPECT_EQ(monitor.Log->Created, 1);
        ASSERT_EQ(monitor.Log->Registrations.size(), 2u);
        EXPECT_EQ(monitor.Log->Registrations[1].Name, "Orders.S2");
        EXPECT_EQ(monitor.Log->Registrations[1].Instance, s2);
        EXPECT_EQ(s2->SMClient(), Session->SMClient());

        // A freed session releases its reference, and a monitor that calls
        // it afterwards reaches nobody.
        TSMClientSignal late = monitor.Log->Registrations[1].Signal;
        s2->Free();
        late(nullptr, 1);
        EXPECT_EQ(monitor.Log->Alive, 1) << "the default session still holds the client";
        Application->SetTitle("");
    });
}

TEST(MonitorClient, UntitledSecondSessionIsNamedAfterTheDefaultText) {
    VELORA_IN_FRESH_PROCESS({
        TSMBufferLock lock;
        TFakeMonitor monitor;
        TSharedMemoryObject smbuffer(SMBufferName);
        Session->Open();
        Session->LoadSMClient(false);
        TODBCSession s2(nullptr);
        s2.SetName("S2");
        s2.Open();
        s2.LoadSMClient(false);
        ASSERT_EQ(monitor.Log->Registrations.size(), 2u);
        EXPECT_EQ(monitor.Log->Registrations[1].Name, "Untitled Application.S2");
    });
}

TEST(MonitorClient, RefusedRegistrationIsNotTriedAgain) {
    VELORA_IN_FRESH_PROCESS({
        TSMBufferLock lock;
        TFakeMonitor monitor;
        monitor.Log->Answer = 0;
        TSharedMemoryObject smbuffer(SMBufferName);
        Session->Open();
        Session->LoadSMClient(false);
        EXPECT_EQ(Session->SMClient(), nullptr);
        EXPECT_TRUE(Session->SMLoadFailed());
        EXPECT_EQ(monitor.Log->Alive, 0) << "a refused client is released";
        Session->LoadSMClient(false);
        Session->LoadSMClient(true);
        EXPECT_EQ(monitor.Log->Created, 1);
        EXPECT_EQ(monitor.Log->Registrations.size(), 1u);
    });
}

TEST(MonitorClient, FailuresOfTheMonitorAreSwallowed) {
    VELORA_IN_FRESH_PROCESS({
        TSMBufferLock lock;
        TFakeMonitor monitor;
        monitor.Log->Raise = true;
        TSharedMemoryObject smbuffer(SMBufferName);
        Session->Open();
        EXPECT_NO_THROW(Session->LoadSMClient(false));
        EXPECT_TRUE(Session->SMLoadFailed());
        EXPECT_EQ(Session->SMClient(), nullptr);
        EXPECT_EQ(monitor.Log->Alive, 0);
    });
}

TEST(MonitorClient, DesigningSkipsTheProbe) {
    VELORA_IN_FRESH_PROCESS({
        TSMBufferLock lock;
        TFakeMonitor monitor;
        ASSERT_FALSE(SharedMemoryExists(SMBufferName));
        Session->Open();
        Session->LoadSMClient(true);
        EXPECT_EQ(monitor.Log->Created, 1);
        EXPECT_NE(Session->SMClient(), nullptr);
    });
}

TEST(MonitorClient, NoFactoryRegisteredLeavesTheSessionToTryAgain) {
    VELORA_IN_FRESH_PROCESS({
        TSMBufferLock lock;
        TSharedMemoryObject smbuffer(SMBufferName);
        Session->Open();
        Session->LoadSMClient(false);
        EXPECT_EQ(Session->SMClient(), nullptr);
        EXPECT_FALSE(Session->SMLoadFailed()) << "no object is no refusal: a later open tries again";
        TFakeMonitor monitor;
        Session->LoadSMClient(false);
        EXPECT_NE(Session->SMClient(), nullptr);
    });
}

TEST(MonitorClient, SecondSessionWithoutADefaultClientStaysWithoutOne) {
    // The default session of this process never registers here.
    TSMBufferLock lock;
    TFakeMonitor monitor;
    TSharedMemoryObject smbuffer(SMBufferName);
    TODBCSession s2(nullptr);
    s2.SetName("S2");
    s2.Open();
    s2.LoadSMClient(false);
    EXPECT_EQ(s2.SMClient(), nullptr);
    EXPECT_FALSE(s2.SMLoadFailed());
    EXPECT_EQ(monitor.Log->Created, 0);
}

TEST(MonitorClientSQLite, OpeningADatabaseRegistersWhenTheMonitorRuns) {
    VELORA_IN_FRESH_PROCESS({
        TSMBufferLock lock;
        TFakeMonitor monitor;
        TODBCDatabase db(nullptr);
        db.SetDataSourceName(test::Driver(test::DriverKind::SQLite).Dsn);
        db.SetLoginPrompt(false);
        // No "SMBuffer": the database opens, nothing is created or recorded.
        db.Open();
        EXPECT_TRUE(db.Connected());
        EXPECT_EQ(monitor.Log->Created, 0);
        EXPECT_FALSE(Session->SMLoadFailed());
        db.Close();

        TSharedMemoryObject smbuffer(SMBufferName);
        db.Open();
        EXPECT_EQ(monitor.Log->Created, 1);
        ASSERT_EQ(monitor.Log->Registrations.size(), 1u);
        EXPECT_EQ(monitor.Log->Registrations[0].Instance, Session);
    });
}

TEST(MonitorClientSQLite, RefusingMonitorLeavesTheDatabaseOpen) {
    VELORA_IN_FRESH_PROCESS({
        TSMBufferLock lock;
        TFakeMonitor monitor;
        monitor.Log->Raise = true;
        TSharedMemoryObject smbuffer(SMBufferName);
        TODBCDatabase db(nullptr);
        db.SetDataSourceName(test::Driver(test::DriverKind::SQLite).Dsn);
        db.SetLoginPrompt(false);
        EXPECT_NO_THROW(db.Open());
        EXPECT_TRUE(db.Connected());
        EXPECT_TRUE(Session->SMLoadFailed());
    });
}

}  // namespace
}  // namespace velora
