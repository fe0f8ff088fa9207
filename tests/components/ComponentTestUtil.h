// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Small helpers shared by the connection-component tests: injected
// failures, a look at the session lock from another thread, a root
// component that marks what it owns as designing (as a designer does), and
// recorders for the application's exception handler.
#pragma once

#include "support/TestEnv.h"

#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCSession.h"
#include "velora/engine/ODBC.h"  // the tests reach into the engine too
#include "velora/forms/Application.h"
#include "velora/odbc/ODBCFaults.h"
#include "velora/classes/TypInfo.h"

#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace velora::test {

/// A fault on the named boundary call: answers rc with the records.
inline odbc::faults::Fault Failure(std::string call, SQLRETURN rc, std::vector<odbc::DiagRecord> diags = {}) {
    odbc::faults::Fault f;
    f.Call = std::move(call);
    f.Rc = rc;
    f.Diags = std::move(diags);
    return f;
}

/// True when a thread that holds nothing can take the session lock now.
inline bool OtherThreadCanTakeSessionLock() {
    bool taken = false;
    std::thread([&] {
        taken = Sessions->SessionLock().try_lock();
        if (taken) Sessions->SessionLock().unlock();
    }).join();
    return taken;
}

/// Clears an event handler when the scope ends.
template <class E>
class TEventReset {
public:
    explicit TEventReset(E& event) : FEvent(event) {}
    ~TEventReset() { FEvent = nullptr; }
    TEventReset(const TEventReset&) = delete;
    TEventReset& operator=(const TEventReset&) = delete;

private:
    E& FEvent;
};

/// A root that, while designing, marks every component inserted into it as
/// designing too (what a form designer does), so components read from a
/// form file into it are in design mode.
class TDesignRoot : public TComponent {
public:
    using TComponent::TComponent;
    void Notification(TComponent* aComponent, TOperation operation) override {
        TComponent::Notification(aComponent, operation);
        if (operation == opInsert && IsDesigning() && aComponent->Owner() == this) aComponent->SetDesigning(true);
    }
};

inline const bool kDesignRootRegistered = (RegisterClass<TDesignRoot>("TDesignRoot", "TComponent"), true);

/// Records what reaches Application->HandleException while it lives.
class TExceptionRecorder {
public:
    TExceptionRecorder() {
        Application->OnException = [this](TObject* sender, const Exception& e) {
            Senders.push_back(sender);
            Messages.push_back(e.Message());
        };
    }
    ~TExceptionRecorder() { Application->OnException = nullptr; }
    TExceptionRecorder(const TExceptionRecorder&) = delete;
    TExceptionRecorder& operator=(const TExceptionRecorder&) = delete;

    std::vector<TObject*> Senders;
    std::vector<String> Messages;
};

/// A driver test with a raw client connection, a database component on the
/// driver's data source (not yet open; the test may change its settings
/// first), queries on it, and tables created through the client that are
/// dropped when the test ends.
class DatabaseFixture : public DriverTest {
protected:
    void SetUp() override {
        DriverTest::SetUp();
        if (IsSkipped()) return;
        FRaw = std::make_unique<RawConnection>(Drv());
        FOwner.reset(new TComponent(nullptr));
        FDb = new TODBCDatabase(FOwner.get());
        FDb->SetDataSourceName(Drv().Dsn);
        FDb->SetLoginPrompt(false);
        if (!Drv().User.empty()) FDb->Params()->SetValues("USER NAME", Drv().User);
        FDb->Params()->SetValues("PASSWORD", Drv().Password);
    }
    void TearDown() override {
        FOwner.reset();
        if (FRaw)
            for (const std::string& t : FTables) FRaw->DropTableIfExists(t);
    }
    /// A new table of `columns` ("id integer, v text") with a fresh name.
    std::string CreateTable(const std::string& columns, const std::string& prefix = "t") {
        std::string name = UniqueName(prefix);
        FRaw->DropTableIfExists(name);
        FRaw->Exec("CREATE TABLE " + name + " (" + columns + ")");
        FTables.push_back(name);
        return name;
    }
    TODBCQuery* NewQuery(const String& sql) {
        auto* q = new TODBCQuery(FOwner.get());
        q->SetDataBase(FDb);
        q->SQL()->SetText(sql);
        return q;
    }

    std::unique_ptr<RawConnection> FRaw;
    TOwnedPtr<TComponent> FOwner;
    TODBCDatabase* FDb = nullptr;
    std::vector<std::string> FTables;
};

}  // namespace velora::test
