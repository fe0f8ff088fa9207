// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Sessions: the session list `Sessions`, the default session `Session`, and
// TODBCSession, which owns the ODBC environment handle its databases connect
// through and keeps the registry of those databases.
//
// Start-up and shut-down. Every translation unit that includes this header
// holds a small initialiser object (the iostream technique): the first one
// constructed initialises COM (a counted stand-in), creates `Sessions` with
// the session lock and the default session "SessionDefault"; the last one
// destroyed frees `Sessions` (every session deactivates, closing its
// databases and freeing its environment) and uninitialises COM. So the
// globals are valid in any static initialiser that follows the #include, in
// whatever order translation units are initialised.
//
// The session lock is one recursive mutex for the whole process. A session
// start or stop holds it, and a database holds it through its session from
// the login to the end of its connect, so logins and connects of all
// threads are serialised: a second thread waits. The same thread may take it
// again (nested LockSession, or a session started from inside a login).
#pragma once

#include "velora/components/SMIntf.h"
#include "velora/engine/ODBCError.h"
#include "velora/engine/ODBCHandles.h"
#include "velora/classes/Classes.h"
#include "velora/rtl/ComObj.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace velora {

class TODBCDatabase;
class TODBCSession;

/// Type of the design-time About property every component has (never stored).
enum TODBCInfo : std::uint8_t { VeloraInfo };

/// What a session tells its OnDatabaseNotify handler.
enum TODBCDatabaseEvent : std::uint8_t { dbOpen = 0, dbClose = 1, dbAdd = 2, dbRemove = 3 };

/// Handler of database events; Param is the TODBCDatabase concerned.
using TODBCDatabaseNotifyEvent = std::function<void(TODBCDatabaseEvent DBEvent, TObject* Param)>;

/// SQL monitor trace flags (only stored: the library sends no trace text).
enum TODBCTraceFlag : std::uint8_t {
    tfQPrepare,
    tfQExecute,
    tfError,
    tfStmt,
    tfConnect,
    tfTransact,
    tfBlob,
    tfMisc,
    tfVendor,
    tfDataIn,
    tfDataOut
};
/// A set of trace flags, bit n for ordinal n; it fits 16 bits.
using TODBCTraceFlags = TSet<TODBCTraceFlag>;

/// The list of every session, in creation order. Holds the session lock.
class TODBCSessionList : public TObject {
public:
    TODBCSessionList();
    /// Frees every session (CloseAll).
    ~TODBCSessionList() override;

    /// Appends a session; the first one ever added becomes the default and
    /// current session. Called by the session's constructor.
    void AddSession(TODBCSession* ASession);
    /// Frees every session, the last first.
    void CloseAll();
    int GetCount() const;
    int Count() const { return GetCount(); }
    /// Session at a 0-based index (EListError when out of range).
    TODBCSession* GetSession(int Index) const;
    TODBCSession* Sessions(int Index) const { return GetSession(Index); }
    /// The session most recently made current (offered to applications;
    /// nothing in the library reads it).
    TODBCSession* CurrentSession() const { return FCurrentSession.load(); }
    void SetCurrentSession(TODBCSession* Value) { FCurrentSession.store(Value); }

    /// The process-wide session lock (recursive).
    std::recursive_mutex& SessionLock() { return FLock; }

private:
    friend class TODBCSession;
    void RemoveSession(TODBCSession* ASession);

    mutable std::recursive_mutex FLock;
    TList FSessions;
    std::atomic<TODBCSession*> FCurrentSession{nullptr};
    bool FHadSession = false;  // the default flag goes to the first session only
};

/// A session: one ODBC environment and the databases registered with it.
class TODBCSession : public TComponent {
public:
    /// Registers the session with `Sessions`. Inactive (no environment).
    explicit TODBCSession(TComponent* AOwner);
    /// Deactivates (closing the registered databases), leaves `Sessions`.
    /// Databases still registered move to the default session, so none
    /// keeps a reference to a freed session. Never throws.
    ~TODBCSession() override;

    /// SetActive(true) / SetActive(false).
    void Open();
    void Close();
    /// True while the session holds an environment handle.
    bool GetActive() const { return static_cast<bool>(FHandle); }
    bool Active() const { return GetActive(); }
    /// Starts or stops the session; while the session is read from a form
    /// file the value is only recorded and applied by Loaded.
    /// \throws EODBCError when the environment cannot be allocated or freed;
    ///         whatever OnStartup or a closing database raises.
    void SetActive(bool Value);

    /// Kept and streamed; nothing in the library reads it.
    bool KeepConnections() const { return FKeepConnections; }
    void SetKeepConnections(bool Value) { FKeepConnections = Value; }
    /// Kept and streamed; the cursor changes do not depend on it.
    bool SQLHourGlass() const { return FSQLHourGlass; }
    void SetSQLHourGlass(bool Value) { FSQLHourGlass = Value; }

    /// Called with the session each time it starts, before its environment
    /// is allocated.
    TNotifyEvent OnStartup;
    /// Told of dbOpen, dbClose, dbAdd and dbRemove (not stored).
    TODBCDatabaseNotifyEvent OnDatabaseNotify;

    /// Applies a streamed Active. A failure goes to the application's
    /// exception handler in design mode and propagates otherwise.
    void Loaded() override;

    /// The environment handle, starting the session when inactive; an
    /// active session becomes the current one.
    odbc::HEnv GetHandle();
    /// The environment handle as it is (nil while inactive).
    odbc::HEnv Handle() const { return FHandle.get(); }
    /// Makes an active session current; starts an inactive one.
    void MakeCurrent();
    /// True for the default session (the global `Session`) only.
    bool IsDefault() const { return FDefault; }

    /// Takes the session lock (waits while another thread holds it) and
    /// counts; the first level also makes the session current.
    void LockSession();
    /// Uncounts one level and leaves the lock.
    void UnlockSession();
    /// Nesting depth of LockSession on this session.
    int LockCount() const { return FLockCount.load(); }

    /// Registers a database and tells OnDatabaseNotify (dbAdd).
    void AddDatabase(TODBCDatabase* Database);
    /// Unregisters a database and tells OnDatabaseNotify (dbRemove).
    void RemoveDatabase(TODBCDatabase* Database);
    void DBNotification(TODBCDatabaseEvent Event, TObject* Param);
    /// Closes the database unless its KeepConnection is True.
    void CloseDatabase(TODBCDatabase* Database);
    /// Disconnects and frees the database's connection handle (the caller
    /// clears its handle field).
    void CloseDatabaseHandle(TODBCDatabase* Database);
    /// Sessions of this library create no databases of their own: nothing
    /// to release, nothing changes.
    void DropConnections() {}
    TODBCDatabase* GetDatabase(int Index) const;
    int GetDatabaseCount() const { return static_cast<int>(FDatabases.size()); }

    /// SQL monitor: registers the session with the monitor client when a
    /// monitor runs (or, designing, without probing for it). Never throws.
    void LoadSMClient(bool Designing);
    /// The monitor's callback: the low 16 bits of Data become the trace flags.
    void SMClientSignal(TObject* Sender, std::int32_t Data);
    void SetTraceFlags(TODBCTraceFlags Flags);
    TODBCTraceFlags TraceFlags() const { return TODBCTraceFlags::FromBits(FTraceFlags.load()); }
    /// The registered monitor client, or null.
    ISMClient* SMClient() const { return FSMClient.Get(); }
    /// True once registration was refused or failed: no further attempts.
    bool SMLoadFailed() const { return FSMLoadFailed; }

    TODBCInfo GetAbout() const { return VeloraInfo; }
    void SetAbout(TODBCInfo) {}

protected:
    /// Starts (allocating the environment) or stops (closing the databases,
    /// freeing the environment) under the session lock.
    void StartSession(bool Value);
    /// Allocates the environment, showing the hour-glass on the main thread.
    void InitializeODBC();

private:
    friend class TODBCSessionList;
    friend class TODBCDatabase;
    friend void RegisterODBCObjClasses();
    struct TSignalTarget;

    /// Holds the session lock while a database list changes: a database
    /// joins the default session from whatever thread creates it.
    static std::unique_lock<std::recursive_mutex> LockDatabaseList();

    std::vector<TODBCDatabase*> FDatabases;
    bool FDefault = false;
    TODBCEnvOwner FHandle;
    std::atomic<int> FLockCount{0};
    bool FKeepConnections = true;
    bool FSQLHourGlass = true;
    bool FStreamedActive = false;
    std::atomic<std::uint16_t> FTraceFlags{0};
    ComPtr<ISMClient> FSMClient;
    bool FSMLoadFailed = false;
    // What the monitor's callback reaches: cleared when the session goes, so
    // a monitor that calls late finds nobody instead of a freed session.
    std::shared_ptr<TSignalTarget> FSignalTarget;
};

/// Every session (created at start-up, freed at shut-down).
extern TODBCSessionList* Sessions;
/// The default session, named "SessionDefault".
extern TODBCSession* Session;

/// Declares the published properties of the ODBC components to the type
/// registry (form files, property editors). Start-up calls it; calling it
/// again is harmless.
void RegisterODBCObjClasses();

struct TEnumInfo;

namespace detail {
/// The dataset classes' part of RegisterODBCObjClasses (ODBCTable.cpp);
/// `about` is the registered TODBCInfo.
void RegisterODBCDataSetClasses(const TEnumInfo& about);
/// Start-up and shut-down of the ODBC components (see the file comment).
class TODBCObjInit {
public:
    TODBCObjInit();
    ~TODBCObjInit();
    TODBCObjInit(const TODBCObjInit&) = delete;
    TODBCObjInit& operator=(const TODBCObjInit&) = delete;
};
// One per translation unit; the first constructed starts the components up.
static const TODBCObjInit ODBCObjInitInstance;
}  // namespace detail

}  // namespace velora
