// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The session list, sessions, the components' start-up and shut-down, and
// the registration of their published properties.
#include "velora/components/ODBCSession.h"

#include "velora/components/ODBCDatabase.h"
#include "velora/components/ODBCconst.h"
#include "velora/engine/ODBCConnect.h"
#include "velora/forms/Application.h"
#include "velora/rtl/SharedMemory.h"
#include "velora/classes/TypInfo.h"

#include <algorithm>

namespace velora {

TODBCSessionList* Sessions = nullptr;
TODBCSession* Session = nullptr;

// ---------------------------------------------------------------------------
// Start-up and shut-down
// ---------------------------------------------------------------------------

namespace {

// Constant-initialised, so valid before any dynamic initialisation runs.
int gInitCount = 0;

void StartUp() {
    CoInitialize();  // only the monitor client needs it
    Sessions = new TODBCSessionList();
    Session = new TODBCSession(nullptr);  // the first session: default and current
    Session->SetName("SessionDefault");
    RegisterODBCObjClasses();
}

void ShutDown() noexcept {
    // Frees every session, the default one last; each deactivates first.
    TODBCSessionList* list = Sessions;
    delete list;
    Sessions = nullptr;
    Session = nullptr;
    CoUninitialize();
}

}  // namespace

namespace detail {

TODBCObjInit::TODBCObjInit() {
    if (gInitCount++ == 0) StartUp();
}

TODBCObjInit::~TODBCObjInit() {
    if (--gInitCount == 0) ShutDown();
}

}  // namespace detail

void RegisterODBCObjClasses() {
    static const bool registered = [] {
        const TEnumInfo& about = RegisterEnum("TODBCInfo", {"VeloraInfo"});
        RegisterClass<TODBCSession>("TODBCSession", "TComponent")
            .EnumProp("About", about, &TODBCSession::GetAbout, &TODBCSession::SetAbout)
            .NeverStored()
            .BooleanProp("Active", &TODBCSession::GetActive, &TODBCSession::SetActive)
            .Default(false)
            .BooleanProp("KeepConnections", &TODBCSession::KeepConnections, &TODBCSession::SetKeepConnections)
            .Default(true)
            .EventProp("OnStartup", &TODBCSession::OnStartup)
            .BooleanProp("SQLHourGlass", &TODBCSession::SQLHourGlass, &TODBCSession::SetSQLHourGlass)
            .Default(true);
        RegisterClass<TODBCDatabase>("TODBCDatabase", "TComponent")
            .EnumProp("About", about, &TODBCDatabase::GetAbout, &TODBCDatabase::SetAbout)
            .NeverStored()
            .BooleanProp("Connected", &TODBCDatabase::GetConnected, &TODBCDatabase::SetConnected)
            .Default(false)
            .StringProp("DataSourceName", &TODBCDatabase::DataSourceName, &TODBCDatabase::SetDataSourceName)
            .BooleanProp("KeepConnection", &TODBCDatabase::KeepConnection, &TODBCDatabase::SetKeepConnection)
            .Default(true)
            .BooleanProp("LoginPrompt", &TODBCDatabase::LoginPrompt, &TODBCDatabase::SetLoginPrompt)
            .Default(true)
            .IntegerProp("LoginTimeout", &TODBCDatabase::LoginTimeout, &TODBCDatabase::SetLoginTimeout)
            .Default(30)
            .EventProp("OnLogin", &TODBCDatabase::OnLogin)
            .ObjectProp("Params", &TODBCDatabase::Params)
            // The default session is reached without naming it: only another
            // session is stored.
            .ComponentProp("Session", &TODBCDatabase::GetSession, &TODBCDatabase::SetSession)
            .Stored(std::function<bool(TODBCDatabase*)>(
                [](TODBCDatabase* d) { return d->FSession != nullptr && d->FSession != Session; }));
        detail::RegisterODBCDataSetClasses(about);
        return true;
    }();
    (void)registered;
}

// ---------------------------------------------------------------------------
// TODBCSessionList
// ---------------------------------------------------------------------------

TODBCSessionList::TODBCSessionList() = default;

TODBCSessionList::~TODBCSessionList() { CloseAll(); }

void TODBCSessionList::AddSession(TODBCSession* ASession) {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    if (!FHadSession) {
        FHadSession = true;
        ASession->FDefault = true;
        SetCurrentSession(ASession);
    }
    FSessions.Add(ASession);
}

void TODBCSessionList::RemoveSession(TODBCSession* ASession) {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    FSessions.Remove(ASession);
    if (CurrentSession() == ASession)
        SetCurrentSession(ASession == Session || FSessions.Count() == 0 ? nullptr : Session);
}

void TODBCSessionList::CloseAll() {
    // Each session takes itself off the list while it is freed.
    while (GetCount() > 0) static_cast<TODBCSession*>(FSessions.Last())->Free();
}

int TODBCSessionList::GetCount() const {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    return FSessions.Count();
}

TODBCSession* TODBCSessionList::GetSession(int Index) const {
    std::lock_guard<std::recursive_mutex> guard(FLock);
    return static_cast<TODBCSession*>(FSessions.Get(Index));
}

// ---------------------------------------------------------------------------
// TODBCSession
// ---------------------------------------------------------------------------

struct TODBCSession::TSignalTarget {
    std::mutex Lock;
    TODBCSession* Target = nullptr;
};

TODBCSession::TODBCSession(TComponent* AOwner) : TComponent(AOwner), FSignalTarget(std::make_shared<TSignalTarget>()) {
    FSignalTarget->Target = this;
    Sessions->AddSession(this);
}

TODBCSession::~TODBCSession() {
    // Databases this session owns go first, while the session is intact.
    Destroying();
    DestroyComponents();
    try {
        if (GetActive()) StartSession(false);
    } catch (...) {
        // A destructor reports nothing; what could not be closed stays so.
    }
    FHandle.reset();  // best effort
    // No database may keep a reference to this session.
    {
        auto guard = LockDatabaseList();
        std::vector<TODBCDatabase*> databases;
        databases.swap(FDatabases);
        for (auto it = databases.rbegin(); it != databases.rend(); ++it) (*it)->SessionDestroyed(this);
    }
    {
        std::lock_guard<std::mutex> guard(FSignalTarget->Lock);
        FSignalTarget->Target = nullptr;
    }
    FSMClient.Reset();
    if (Sessions) Sessions->RemoveSession(this);
    if (Session == this) Session = nullptr;
}

void TODBCSession::Open() { SetActive(true); }

void TODBCSession::Close() { SetActive(false); }

void TODBCSession::SetActive(bool Value) {
    if (IsLoading()) {
        FStreamedActive = Value;
        return;
    }
    if (Value != GetActive()) StartSession(Value);
}

void TODBCSession::Loaded() {
    TComponent::Loaded();
    if (!FStreamedActive) return;
    try {
        SetActive(true);
    } catch (...) {
        if (!IsDesigning()) throw;
        Application->HandleException(this);
    }
}

void TODBCSession::StartSession(bool Value) {
    std::lock_guard<std::recursive_mutex> guard(Sessions->SessionLock());
    if (Value) {
        if (OnStartup) OnStartup(this);
        // The default session is always active before any other.
        if (!FDefault && Session) Session->SetActive(true);
        InitializeODBC();
    } else {
        Sessions->SetCurrentSession(this);
        // Databases stay registered; only their connections go.
        for (int i = GetDatabaseCount() - 1; i >= 0; --i)
            if (i < GetDatabaseCount()) FDatabases[static_cast<std::size_t>(i)]->Close();
        ODBCFreeEnv(FHandle.get());
        Sessions->SetCurrentSession(Session);
        FHandle.release();  // freed above
    }
}

void TODBCSession::InitializeODBC() {
    const bool onMainThread = GetCurrentThreadID() == MainThreadID();
    if (onMainThread) Screen->SetCursor(crHourGlass);
    TODBCEnvOwner env;
    try {
        ODBCAllocEnv(env.receive());
    } catch (...) {
        // The allocation may have succeeded and the version declaration
        // failed: then the owner frees the environment, the session stays
        // inactive, and the cursor is reset all the same.
        if (onMainThread) Screen->SetCursor(crDefault);
        throw;
    }
    FHandle = std::move(env);
    if (onMainThread) Screen->SetCursor(crDefault);
}

SQLHENV TODBCSession::GetHandle() {
    if (GetActive())
        Sessions->SetCurrentSession(this);
    else
        SetActive(true);
    return FHandle.get();
}

void TODBCSession::MakeCurrent() {
    if (GetActive())
        Sessions->SetCurrentSession(this);
    else
        SetActive(true);
}

void TODBCSession::LockSession() {
    // Entered at every level: a thread that does not hold the lock waits
    // here even while another thread's count is above zero; the recursion
    // of the lock lets the holding thread come back.
    std::recursive_mutex& lock = Sessions->SessionLock();
    lock.lock();
    if (FLockCount.fetch_add(1) == 0) {
        try {
            MakeCurrent();
        } catch (...) {
            FLockCount.fetch_sub(1);
            lock.unlock();
            throw;
        }
    }
}

void TODBCSession::UnlockSession() {
    if (FLockCount.load() <= 0) return;  // unbalanced: nothing is held
    FLockCount.fetch_sub(1);
    Sessions->SessionLock().unlock();
}

std::unique_lock<std::recursive_mutex> TODBCSession::LockDatabaseList() {
    return Sessions ? std::unique_lock<std::recursive_mutex>(Sessions->SessionLock())
                    : std::unique_lock<std::recursive_mutex>();
}

void TODBCSession::AddDatabase(TODBCDatabase* Database) {
    {
        auto guard = LockDatabaseList();
        FDatabases.push_back(Database);
    }
    DBNotification(dbAdd, Database);
}

void TODBCSession::RemoveDatabase(TODBCDatabase* Database) {
    {
        auto guard = LockDatabaseList();
        auto it = std::find(FDatabases.begin(), FDatabases.end(), Database);
        if (it != FDatabases.end()) FDatabases.erase(it);
    }
    DBNotification(dbRemove, Database);
}

void TODBCSession::DBNotification(TODBCDatabaseEvent Event, TObject* Param) {
    if (OnDatabaseNotify) OnDatabaseNotify(Event, Param);
}

void TODBCSession::CloseDatabase(TODBCDatabase* Database) {
    if (!Database->KeepConnection()) Database->Close();
}

void TODBCSession::CloseDatabaseHandle(TODBCDatabase* Database) {
    ODBCDisconnect(Database->FHandle.get());
    ODBCFreeConnect(Database->FHandle.get());
}

TODBCDatabase* TODBCSession::GetDatabase(int Index) const {
    if (Index < 0 || Index >= GetDatabaseCount()) throw EListError(Format("List index out of bounds (%d)", Index));
    return FDatabases[static_cast<std::size_t>(Index)];
}

// ---------------------------------------------------------------------------
// SQL monitor client
// ---------------------------------------------------------------------------

void TODBCSession::LoadSMClient(bool Designing) {
    if (FSMClient || FSMLoadFailed) return;
    try {
        // A running monitor keeps "SMBuffer" open; without it nothing is
        // recorded and a later open tries again. Designing skips the probe.
        if (!Designing && !SharedMemoryExists(SMBufferName)) return;

        if (FDefault) {
            // The result code is not examined: no object means no client.
            CoCreateInstance(Class_SMClient, nullptr, CLSCTX_INPROC_SERVER, ISMClient::IID, FSMClient.PutVoid());
        } else if (Session) {
            FSMClient = Session->FSMClient;
        }
        if (!FSMClient) return;

        String name = Application->Title();
        if (name.empty()) name = SUntitled;
        if (!FDefault) name = Format("%s.%s", name, Name());

        std::shared_ptr<TSignalTarget> target = FSignalTarget;
        TSMClientSignal signal = [target](TObject* Sender, std::int32_t Data) {
            std::lock_guard<std::mutex> guard(target->Lock);
            if (target->Target) target->Target->SMClientSignal(Sender, Data);
        };
        const auto id = reinterpret_cast<std::uintptr_t>(FHandle.get());
        if (FSMClient->RegisterClient(id, name.c_str(), this, std::move(signal)) == 0) FSMClient.Reset();
        FSMLoadFailed = !FSMClient;
    } catch (...) {
        // The monitor never disturbs a connect.
        FSMClient.Reset();
        FSMLoadFailed = true;
    }
}

void TODBCSession::SMClientSignal(TObject* /*Sender*/, std::int32_t Data) {
    SetTraceFlags(TODBCTraceFlags::FromBits(static_cast<std::uint16_t>(Data)));
}

void TODBCSession::SetTraceFlags(TODBCTraceFlags Flags) { FTraceFlags.store(static_cast<std::uint16_t>(Flags.Bits())); }

}  // namespace velora
