// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCDatabase: login, connect, close, transactions, and the links to the
// datasets that use it.
#include "velora/components/ODBCDatabase.h"

#include "velora/components/ODBCconst.h"
#include "velora/engine/ODBCConnect.h"
#include "velora/engine/ODBCStatement.h"
#include "velora/engine/SQLText.h"
#include "velora/components/ODBClog.h"
#include "velora/forms/Application.h"
#include "velora/forms/Presenters.h"

#include <algorithm>

namespace velora {

namespace {

constexpr const char* kUserName = "USER NAME";
constexpr const char* kPassword = "PASSWORD";

/// Overwrites a secret before its memory is released.
void Wipe(String& secret) noexcept {
    volatile char* p = secret.data();
    for (std::size_t i = 0; i < secret.size(); ++i) p[i] = 0;
    secret.clear();
}

/// Resets the screen cursor when it goes out of scope.
struct TCursorReset {
    ~TCursorReset() { Screen->SetCursor(crDefault); }
};

template <class T>
void EraseOne(std::vector<T*>& list, T* item) {
    auto it = std::find(list.begin(), list.end(), item);
    if (it != list.end()) list.erase(it);
}

}  // namespace

// ---------------------------------------------------------------------------
// TODBCDataSetLink
// ---------------------------------------------------------------------------

TODBCDataSetLink::~TODBCDataSetLink() { LinkDatabase(nullptr); }

void TODBCDataSetLink::LinkDatabase(TODBCDatabase* Value) {
    if (Value == FDatabase) return;
    if (FDatabase) {
        EraseOne(FDatabase->FDataSets, this);
        EraseOne(FDatabase->FLinks, this);
    }
    FDatabase = Value;
    if (FDatabase) FDatabase->FLinks.push_back(this);
}

// ---------------------------------------------------------------------------
// Construction and destruction
// ---------------------------------------------------------------------------

TODBCDatabase::TODBCDatabase(TComponent* AOwner) : TComponent(AOwner) {
    auto* ownerSession = dynamic_cast<TODBCSession*>(AOwner);
    FSession = ownerSession ? ownerSession : velora::Session;
    FParams.reset(new TStringList());
    FParams->OnChanging = [this](TObject*) { ParamsChanging(); };
    if (FSession) FSession->AddDatabase(this);
}

TODBCDatabase::~TODBCDatabase() {
    Destroying();
    DestroyComponents();
    try {
        Close();
    } catch (...) {
        // A destructor reports nothing. The connection is dropped all the same.
    }
    DiscardHandle();
    FParams->OnChanging = nullptr;
    FParams.reset();
    FDataSets.clear();
    FreeDataSets();
    ForgetLogin();
    Wipe(FConnectionPassword);
    if (FSession) {
        TODBCSession* session = FSession;
        FSession = nullptr;
        try {
            session->RemoveDatabase(this);
        } catch (...) {
            // An OnDatabaseNotify handler that raises cannot stop a destruction.
        }
    }
}

// ---------------------------------------------------------------------------
// Open and close
// ---------------------------------------------------------------------------

void TODBCDatabase::SetConnected(bool Value) {
    if (IsLoading()) {
        FStreamedConnected = Value;
        return;
    }
    if (Value)
        Open();
    else
        Close();
}

void TODBCDatabase::Open() {
    if (GetConnected() || FDataSourceName.empty()) return;
    CheckSession();
    TODBCSession* session = GetSession();
    session->LockSession();
    try {
        TCursorReset cursorReset;  // declared after the lock: runs before the unlock
        String password;
        String userName;
        if (ODBCDataSourceExists(session->GetHandle(), FDataSourceName))
            CheckDatabaseAlias(password, userName);
        else
            userName = FParams->Values(kUserName);  // no prompt: the connect reports IM002
        Screen->SetCursor(crSQLWait);
        try {
            ODBCConnect(FHandle.receive(), session->GetHandle(), FDataSourceName, userName, password, FCursorMode,
                        static_cast<SQLUINTEGER>(FLoginTimeout));
            session->LoadSMClient(IsDesigning());
            session->DBNotification(dbOpen, this);
        } catch (...) {
            // Not connected afterwards: a handle the connect left allocated
            // (a failed attribute call) or connected is released here, and a
            // remembered login that did not work is forgotten.
            DiscardHandle();
            ForgetLogin();
            Wipe(password);
            throw;
        }
        Wipe(password);
    } catch (...) {
        session->UnlockSession();
        throw;
    }
    session->UnlockSession();
}

void TODBCDatabase::Close() {
    if (!GetConnected()) return;
    if (TODBCSession* session = GetSession()) session->DBNotification(dbClose, this);
    CloseDataSets();
    // A transaction left open is rolled back before disconnecting: it would
    // otherwise end in whatever way the driver chooses (SQLite refuses to
    // disconnect at all).
    if (TransactionOpen()) {
        ODBCEndTransaction(FHandle.get(), xendABORT);
        FTransactionGuard = false;
    }
    if (TODBCSession* session = GetSession()) {
        session->CloseDatabaseHandle(this);
    } else {
        ODBCDisconnect(FHandle.get());
        ODBCFreeConnect(FHandle.get());
    }
    FHandle.release();  // freed above
}

void TODBCDatabase::DiscardHandle() noexcept {
    // Rolled back, disconnected and freed, whatever state it is in.
    FHandle.reset();
}

bool TODBCDatabase::TransactionOpen() const {
    SQLULEN autoCommit = SQL_AUTOCOMMIT_ON;
    SQLRETURN rc = odbc::SQLGetConnectAttr(FHandle.get(), SQL_ATTR_AUTOCOMMIT, &autoCommit, sizeof autoCommit, nullptr);
    return ODBCSucceeded(rc) && autoCommit == SQL_AUTOCOMMIT_OFF;
}

void TODBCDatabase::CheckActive() const {
    if (!GetConnected()) DatabaseError(SDatabaseClosed);
}

void TODBCDatabase::CheckInactive() const {
    if (GetConnected()) DatabaseError(SDatabaseOpen);
}

void TODBCDatabase::CheckSession() { GetSession()->SetActive(true); }

// ---------------------------------------------------------------------------
// Login
// ---------------------------------------------------------------------------

void TODBCDatabase::CheckDatabaseAlias(String& Password, String& UserName) {
    Password = FParams->Values(kPassword);
    if (FParams->IndexOfName(kPassword) < 0) Password = FConnectionPassword;
    if (!FLoginPrompt || FParams->IndexOfName(kPassword) >= 0 || !FConnectionPassword.empty()) {
        // A "PASSWORD" line, even an empty one, or a password in the
        // connection string means: no prompt.
        UserName = FParams->Values(kUserName);
        return;
    }
    UserName = FParams->Values(kUserName);
    if (FHasLogin && FLoginDataSource == FDataSourceName && FLoginUserName == UserName) {
        // Reopening with the login given before: no second prompt.
        Password = FLoginPassword;
        return;
    }
    TStringList loginParams;
    loginParams.SetValues(kUserName, UserName);
    Login(&loginParams);
    Password = loginParams.Values(kPassword);
    UserName = loginParams.Values(kUserName);
    // The user name goes back into Params; the password stays private.
    FParams->SetValues(kUserName, UserName);
    ForgetLogin();
    if (!Password.empty()) {
        FHasLogin = true;
        FLoginDataSource = FDataSourceName;
        FLoginUserName = UserName;
        FLoginPassword = Password;
    }
}

void TODBCDatabase::Login(TStrings* LoginParams) {
    if (OnLogin) {
        OnLogin(this, LoginParams);
        return;
    }
    // Without a terminal or an installed presenter the dialog would answer
    // Cancel at once; saying why helps more than "Cannot connect".
    if (!CurrentFormPresenter()) DatabaseErrorFmt(SLoginNeedsTerminal, FDataSourceName);
    String userName = LoginParams->Values(kUserName);
    String password;
    if (!LoginDialogEx(FDataSourceName, userName, password, false)) DatabaseErrorFmt(SLoginError, FDataSourceName);
    LoginParams->SetValues(kUserName, userName);
    LoginParams->SetValues(kPassword, password);
    Wipe(password);
}

void TODBCDatabase::ForgetLogin() noexcept {
    FHasLogin = false;
    FLoginDataSource.clear();
    FLoginUserName.clear();
    Wipe(FLoginPassword);
}

// ---------------------------------------------------------------------------
// Transactions
// ---------------------------------------------------------------------------

void TODBCDatabase::StartTransaction() {
    CheckActive();
    Screen->SetCursor(crSQLWait);
    TCursorReset cursorReset;
    ODBCStartTransaction(FHandle.get());
}

void TODBCDatabase::Commit() {
    CheckActive();
    if (FTransactionGuard) return;
    FTransactionGuard = true;
    EndTransaction(xendCOMMIT);
}

void TODBCDatabase::Rollback() {
    CheckActive();
    if (FTransactionGuard) return;
    FTransactionGuard = true;
    EndTransaction(xendABORT);
}

void TODBCDatabase::EndTransaction(ODBCXEnd How) {
    // The guard and the cursor are reset on every path: a guard left set
    // would turn every later Commit and Rollback into a silent no-op.
    struct TGuardReset {
        TODBCDatabase* Self;
        ~TGuardReset() { Self->FTransactionGuard = false; }
    } guardReset{this};
    Screen->SetCursor(crSQLWait);
    TCursorReset cursorReset;
    ODBCEndTransaction(FHandle.get(), How);
    // Drivers that close or delete cursors at the end of a transaction leave
    // the open datasets without rows: each runs its statement again, so it
    // stays usable and shows the state just committed.
    SQLUINTEGER behaviour = SQL_CB_PRESERVE;
    const SQLUSMALLINT info = How == xendABORT ? SQL_CURSOR_ROLLBACK_BEHAVIOR : SQL_CURSOR_COMMIT_BEHAVIOR;
    if (!ODBCSucceeded(odbc::SQLGetInfo(FHandle.get(), info, &behaviour, sizeof(SQLUSMALLINT), nullptr))) return;
    behaviour &= 0xFFFFu;
    if (behaviour != SQL_CB_CLOSE && behaviour != SQL_CB_DELETE) return;
    const std::vector<TODBCDataSetLink*> inUse = FDataSets;
    for (TODBCDataSetLink* link : inUse)
        if (std::find(FDataSets.begin(), FDataSets.end(), link) != FDataSets.end())
            link->CursorsClosed(behaviour == SQL_CB_DELETE);
}

bool TODBCDatabase::RunTransactionStatement(const String& Text, std::vector<odbc::DiagRecord>* Warnings) {
    CheckActive();
    const TSQLDialect dialect = SQLDialectOf(FHandle.get());
    const TTransactionStatement statement = TransactionStatementOf(Text, dialect);
    if (statement.Kind == TTransactionKind::None) return false;
    if (Warnings) Warnings->clear();
    const bool open = TransactionOpen();
    switch (statement.Kind) {
        case TTransactionKind::Begin:
            if (open) break;  // the server's answer: a warning, an implicit commit or an error
            if (statement.Plain) {
                StartTransaction();
                return true;
            }
            if (dialect == TSQLDialect::PostgreSQL) {
                // psqlODBC commits the server's transaction when autocommit
                // goes off: the modes go to the transaction it then begins.
                StartTransaction();
                ODBCExecDirectReporting(FHandle.get(), "SET TRANSACTION " + Text.substr(statement.ModesAt), Warnings);
                return true;
            }
            ODBCExecDirectReporting(FHandle.get(), Text, Warnings);
            // SQLite's driver starts a transaction of its own before the next
            // statement once autocommit is off, which fails inside the one
            // just begun: there the server's transaction runs under
            // autocommit and the statement that ends it runs as written.
            if (dialect != TSQLDialect::Standard) ODBCJoinTransaction(FHandle.get());
            return true;
        case TTransactionKind::Commit:
        case TTransactionKind::Rollback:
            if (!open) break;  // the server's answer: a warning, nothing, or an error
            if (statement.Kind == TTransactionKind::Commit)
                Commit();
            else
                Rollback();
            return true;
        default:
            break;
    }
    ODBCExecDirectReporting(FHandle.get(), Text, Warnings);
    return true;
}

// ---------------------------------------------------------------------------
// TODBCTransaction
// ---------------------------------------------------------------------------

TODBCTransaction::TODBCTransaction(TODBCDatabase& Database) : FDatabase(Database) {
    FDatabase.StartTransaction();
    FActive = true;
}

TODBCTransaction::~TODBCTransaction() {
    if (!FActive || !FDatabase.Connected()) return;
    try {
        FDatabase.Rollback();
    } catch (...) {
        // A destructor reports nothing; closing the database rolls back too.
    }
}

void TODBCTransaction::Commit() {
    if (!FActive) DatabaseError(STransactionEnded);
    FActive = false;
    FDatabase.Commit();
}

void TODBCTransaction::Rollback() {
    if (!FActive) DatabaseError(STransactionEnded);
    FActive = false;
    FDatabase.Rollback();
}

// ---------------------------------------------------------------------------
// Datasets
// ---------------------------------------------------------------------------

TODBCDataSetLink* TODBCDatabase::GetDataSet(int Index) const {
    if (Index < 0 || Index >= GetDataSetCount()) throw EListError(Format("List index out of bounds (%d)", Index));
    return FDataSets[static_cast<std::size_t>(Index)];
}

void TODBCDatabase::AddDataSet(TODBCDataSetLink* DataSet) {
    if (std::find(FDataSets.begin(), FDataSets.end(), DataSet) == FDataSets.end()) FDataSets.push_back(DataSet);
}

void TODBCDatabase::RemoveDataSet(TODBCDataSetLink* DataSet) { EraseOne(FDataSets, DataSet); }

void TODBCDatabase::CloseDataSets() {
    while (!FDataSets.empty()) {
        TODBCDataSetLink* last = FDataSets.back();
        last->Disconnect();
        // A dataset that stayed in use after its Disconnect would be asked
        // again for ever: it is taken off the list.
        if (!FDataSets.empty() && FDataSets.back() == last) FDataSets.pop_back();
    }
}

void TODBCDatabase::FreeDataSets() {
    // Datasets of the same owner and every other linked dataset alike: none
    // may keep a reference to this database.
    std::vector<TODBCDataSetLink*> links;
    links.swap(FLinks);
    for (TODBCDataSetLink* link : links) {
        link->FDatabase = nullptr;
        link->DatabaseFreed();
    }
}

// ---------------------------------------------------------------------------
// Session and handle
// ---------------------------------------------------------------------------

TODBCSession* TODBCDatabase::GetSession() const { return FSession ? FSession : velora::Session; }

void TODBCDatabase::SetSession(TODBCSession* Value) {
    if (GetConnected()) DatabaseError(SDatabaseOpen);
    auto guard = TODBCSession::LockDatabaseList();
    if (FSession) EraseOne(FSession->FDatabases, this);
    FSession = Value ? Value : velora::Session;
    if (FSession) FSession->FDatabases.push_back(this);
}

void TODBCDatabase::SessionDestroyed(TODBCSession* ASession) noexcept {
    if (FSession != ASession) return;
    auto guard = TODBCSession::LockDatabaseList();  // recursive: a session's destructor holds it already
    TODBCSession* def = velora::Session;
    FSession = nullptr;
    if (def && def != ASession) {
        FSession = def;
        def->FDatabases.push_back(this);
    }
}

void TODBCDatabase::Notification(TComponent* AComponent, TOperation Operation) {
    TComponent::Notification(AComponent, Operation);
    if (Operation != opRemove || FSession == nullptr || FSession == velora::Session) return;
    if (AComponent != static_cast<TComponent*>(FSession)) return;
    // The session leaves this database's reach. While it still exists its
    // list is updated (a session being destroyed has let go already); the
    // database then belongs to the default session.
    TODBCSession* gone = FSession;
    auto guard = TODBCSession::LockDatabaseList();
    if (!AComponent->IsDestroying()) EraseOne(gone->FDatabases, this);
    SessionDestroyed(gone);
}

void TODBCDatabase::SetHandle(SQLHDBC Value) {
    if (GetConnected()) Close();
    if (Value == SQL_NULL_HDBC) return;
    CheckSession();
    FHandle.reset(Value);
    ReadCursorMode();
    GetSession()->DBNotification(dbOpen, this);
}

void TODBCDatabase::ReadCursorMode() {
    // The same decision ODBCConnect makes, from the connection as it is.
    SQLUINTEGER mask = 0;
    if (odbc::UsesCursorLibrary(FHandle.get())) {
        odbc::SQLGetInfo(FHandle.get(), SQL_STATIC_CURSOR_ATTRIBUTES1, &mask, sizeof mask, nullptr);
        FCursorMode = HasAllCapabilities(mask, 2) ? cmCursorLibrary : cmForwardOnly;
    } else {
        odbc::SQLGetInfo(FHandle.get(), SQL_KEYSET_CURSOR_ATTRIBUTES1, &mask, sizeof mask, nullptr);
        if (HasAllCapabilities(mask, 1)) {
            FCursorMode = cmKeyset;
            return;
        }
        // A connection made elsewhere cannot be made again through the
        // cursor library: its later statements are served by it instead.
        odbc::AdoptCursorLibrary(FHandle.get());
        mask = 0;
        odbc::SQLGetInfo(FHandle.get(), SQL_STATIC_CURSOR_ATTRIBUTES1, &mask, sizeof mask, nullptr);
        FCursorMode = HasAllCapabilities(mask, 2) ? cmCursorLibrary : cmForwardOnly;
    }
}

// ---------------------------------------------------------------------------
// Properties
// ---------------------------------------------------------------------------

void TODBCDatabase::SetDataSourceName(const String& Value) {
    CheckInactive();
    Wipe(FConnectionPassword);
    if (!IsConnectionString(Value)) {
        FDataSourceName = Value;
        return;
    }
    for (const String& key : ConnectionStringPasswordKeys()) {
        bool found = false;
        String password = ConnectionStringValue(Value, key, &found);
        if (found && FConnectionPassword.empty()) FConnectionPassword = password;
        Wipe(password);
    }
    FDataSourceName = ConnectionStringWithout(Value, ConnectionStringPasswordKeys());
}

void TODBCDatabase::SetLoginTimeout(int Value) {
    CheckInactive();
    FLoginTimeout = Value < 0 ? 0 : Value;
}

void TODBCDatabase::SetKeepConnection(bool Value) {
    CheckInactive();
    FKeepConnection = Value;
}

void TODBCDatabase::SetParams(TStrings* Value) {
    CheckInactive();
    FParams->Assign(Value);
}

void TODBCDatabase::ParamsChanging() { CheckInactive(); }

void TODBCDatabase::Loaded() {
    TComponent::Loaded();
    if (!FStreamedConnected) return;
    try {
        Open();
    } catch (...) {
        if (!IsDesigning()) throw;
        Application->HandleException(this);
    }
}

}  // namespace velora
