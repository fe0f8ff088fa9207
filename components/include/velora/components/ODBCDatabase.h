// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// TODBCDatabase: one ODBC connection to one data source. It holds the data
// source name and the login parameters, runs the login (Params, OnLogin or
// the login dialog), connects through the engine, carries explicit
// transactions and keeps the list of datasets using it. Two databases never
// share a connection; what the databases of one session share is the
// session's environment and the session lock.
//
// Passwords. A "PASSWORD" line the application puts into Params is used as
// it stands. A password typed into the login dialog or supplied by OnLogin
// is never written into Params (Params is published and would carry it into
// form files): the database keeps it privately, together with the data
// source and user name it was given for, reuses it so that reopening does
// not prompt again, forgets it when a connect with it fails, and wipes it
// when destroyed.
//
// Connection strings. DataSourceName holds either the name of a data source
// (connected with SQLConnect) or a connection string "DRIVER=...;..." or
// "DSN=...;..." (connected with SQLDriverConnect, the driver never
// prompting); both decide the cursor mode the same way. A password in the
// string (PWD or PASSWORD) is taken out when the string is assigned and kept
// privately like a typed one: DataSourceName, form files and error messages
// never show it. The login's user name and password, when given, become the
// string's UID and PWD.
//
// Datasets plug in through TODBCDataSetLink (below).
#pragma once

#include "velora/components/ODBCSession.h"
#include "velora/engine/ODBCError.h"
#include "velora/engine/ODBCHandles.h"
#include "velora/engine/SQL.h"
#include "velora/classes/Classes.h"

#include <functional>
#include <vector>

namespace velora {

class TODBCDatabase;

/// The isolation vocabulary of a database (not applied: transactions run at
/// the driver's default isolation level).
using TODBCTransIsolation = ODBCXType;

/// Handler that supplies the login: it sets the "USER NAME" and "PASSWORD"
/// values of LoginParams.
using TODBCLoginEvent = std::function<void(TODBCDatabase* Database, TStrings* LoginParams)>;

/// The database's side of a dataset. The dataset classes derive from it
/// (besides their component base) and so plug into the database:
/// - `Database()` is the dataset's Database property: a dataset's
///   SetDatabase makes its own checks and then calls LinkDatabase. The link
///   is known to the database, which clears it when it is destroyed (every
///   linked dataset, whoever owns it, then sees "not assigned"), and the
///   link's destructor unlinks it, so neither side is left dangling.
/// - While any of its use flags is set, a dataset is on the database's list
///   of datasets in use: it calls Database()->AddDataSet(this) when its
///   first flag is set (after Database()->Open()) and RemoveDataSet(this)
///   when its last flag is cleared.
/// - Disconnect closes the dataset; the database's Close calls it for every
///   dataset in use, the last first, and a closed dataset must have left
///   the list.
class TODBCDataSetLink {
public:
    /// The database the dataset is linked to, or null.
    TODBCDatabase* Database() const { return FDatabase; }
    /// Closes the dataset (its use flags end, it leaves the list in use).
    virtual void Disconnect() = 0;

protected:
    TODBCDataSetLink() = default;
    /// Unlinks from the database.
    virtual ~TODBCDataSetLink();
    TODBCDataSetLink(const TODBCDataSetLink&) = delete;
    TODBCDataSetLink& operator=(const TODBCDataSetLink&) = delete;

    /// Links the dataset to a database (null unlinks), leaving the previous
    /// one's lists.
    void LinkDatabase(TODBCDatabase* Value);
    /// Told after the database cleared the link because it is going away.
    virtual void DatabaseFreed() {}
    /// Told after a commit or rollback closed (Deleted: also unprepared) the
    /// connection's cursors; the dataset runs its statement again.
    virtual void CursorsClosed(bool Deleted) { (void)Deleted; }

private:
    friend class TODBCDatabase;
    TODBCDatabase* FDatabase = nullptr;
};

/// One connection to an ODBC data source.
class TODBCDatabase : public TComponent {
public:
    /// Registers with AOwner when it is a session, else with the default
    /// session (dbAdd). LoginPrompt and KeepConnection True.
    explicit TODBCDatabase(TComponent* AOwner);
    /// Closes (rolling back an open transaction), clears the Database of
    /// every linked dataset and unregisters (dbRemove). Never throws.
    ~TODBCDatabase() override;

    /// Connects: starts the session, takes the session lock, runs the
    /// login, connects (cursor SQL-wait meanwhile), registers with the SQL
    /// monitor and tells dbOpen; the lock is released and the cursor reset
    /// on every path. Does nothing when connected or when DataSourceName is
    /// empty. On failure the database is left not connected.
    /// A data source the driver manager does not know is connected without
    /// any prompt, so its IM002 is what the caller sees.
    /// \throws EDatabaseError "Cannot connect to database '<name>'" when the
    ///         login dialog is cancelled, SLoginNeedsTerminal when it cannot
    ///         be shown; EODBCError when the connect fails; whatever OnLogin
    ///         raises.
    void Open();
    /// Tells dbClose, closes the datasets in use, rolls back a transaction
    /// left open, disconnects and frees the handle.
    /// \throws EODBCError when rollback, disconnect or free fail (the
    ///         database then stays connected).
    void Close();
    bool GetConnected() const { return static_cast<bool>(FHandle); }
    bool Connected() const { return GetConnected(); }
    /// Open or Close; while read from a form file the value is only recorded.
    void SetConnected(bool Value);

    /// \throws EDatabaseError "Cannot perform this operation on a closed database"
    void CheckActive() const;
    /// \throws EDatabaseError "Cannot perform this operation on an open database"
    void CheckInactive() const;
    /// Starts the session.
    void CheckSession();

    /// Commits pending work and starts a transaction (autocommit off).
    /// \throws EDatabaseError when closed; EODBCError
    void StartTransaction();
    /// Ends the transaction; does nothing while another end is in progress.
    /// \throws EDatabaseError when closed; EODBCError
    void Commit();
    void Rollback();
    /// Ends the transaction the given way; the guard and the cursor are
    /// reset on every path.
    void EndTransaction(ODBCXEnd How);
    /// True while a transaction is open: autocommit is off (StartTransaction,
    /// or a BEGIN run through RunTransactionStatement).
    bool InTransaction() const { return GetConnected() && TransactionOpen(); }
    /// Runs a transaction statement typed as SQL (BEGIN, START TRANSACTION,
    /// COMMIT, END, ROLLBACK, ABORT, SAVEPOINT, RELEASE, ROLLBACK TO) so that
    /// InTransaction agrees with the server afterwards; answers false, doing
    /// nothing, for any other text. Outside a transaction a plain BEGIN is
    /// StartTransaction and one with modes runs as written before autocommit
    /// goes off; inside one, a plain COMMIT or ROLLBACK is Commit or
    /// Rollback. Everything else runs as written (SQLExecDirect), so the
    /// server answers as to its own client: a BEGIN inside a transaction, a
    /// COMMIT outside one, savepoints. Notices go to `Warnings`.
    /// \throws EDatabaseError when closed; EODBCError from the server
    bool RunTransactionStatement(const String& Text, std::vector<odbc::DiagRecord>* Warnings = nullptr);
    /// Sets the guard that makes Commit and Rollback do nothing.
    void SetInTransaction(bool Value) { FTransactionGuard = Value; }
    bool InTransactionGuard() const { return FTransactionGuard; }

    /// Datasets in use (see TODBCDataSetLink).
    TODBCDataSetLink* GetDataSet(int Index) const;
    int GetDataSetCount() const { return static_cast<int>(FDataSets.size()); }
    void AddDataSet(TODBCDataSetLink* DataSet);
    void RemoveDataSet(TODBCDataSetLink* DataSet);
    /// Disconnects every dataset in use, the last first.
    void CloseDataSets();
    /// Clears the Database of every dataset linked to this database.
    void FreeDataSets();

    /// The session: the one registered with, else the default session.
    TODBCSession* GetSession() const;
    /// Moves the database to another session (null: the default session).
    /// \throws EDatabaseError when connected.
    void SetSession(TODBCSession* Value);

    /// The connection handle (nil while not connected).
    odbc::HDbc Handle() const { return FHandle.get(); }
    /// Adopts a connection handle made elsewhere (closing first when
    /// connected); the database owns it from then on and frees it in Close.
    /// Its cursor mode is read from the connection. Nil just closes.
    void SetHandle(odbc::HDbc Value);
    /// How statements on this connection get cursors (decided at connect).
    TCursorMode CursorMode() const { return FCursorMode; }

    /// The data source name or connection string, without its password.
    const String& DataSourceName() const { return FDataSourceName; }
    /// A connection string's PWD/PASSWORD is taken out and kept privately.
    /// \throws EDatabaseError when connected.
    void SetDataSourceName(const String& Value);
    /// Seconds a connect may take (SQL_ATTR_LOGIN_TIMEOUT; 0: no limit). The
    /// MariaDB driver ignores the attribute while it waits for the server's
    /// greeting; its connection string takes CONN_TIMEOUT=<seconds> instead.
    int LoginTimeout() const { return FLoginTimeout; }
    /// Negative values count as 0. \throws EDatabaseError when connected.
    void SetLoginTimeout(int Value);
    bool KeepConnection() const { return FKeepConnection; }
    /// \throws EDatabaseError when connected.
    void SetKeepConnection(bool Value);
    bool LoginPrompt() const { return FLoginPrompt; }
    void SetLoginPrompt(bool Value) { FLoginPrompt = Value; }
    /// NAME=VALUE lines; "USER NAME" and "PASSWORD" feed the login. Any
    /// change while connected raises EDatabaseError.
    TStrings* Params() const { return FParams.get(); }
    /// Copies the lines of Value. \throws EDatabaseError when connected.
    void SetParams(TStrings* Value);
    TODBCTransIsolation TransIsolation() const { return FTransIsolation; }
    void SetTransIsolation(TODBCTransIsolation Value) { FTransIsolation = Value; }

    /// Supplies the login instead of the dialog.
    TODBCLoginEvent OnLogin;

    TODBCInfo GetAbout() const { return VeloraInfo; }
    void SetAbout(TODBCInfo) {}

    /// Applies a streamed Connected: a failure goes to the application's
    /// exception handler in design mode and propagates otherwise.
    void Loaded() override;
    /// Forgets a session other than the default one that is going away.
    void Notification(TComponent* AComponent, TOperation Operation) override;

protected:
    /// Decides where user name and password come from (Params, the
    /// remembered login, OnLogin or the dialog).
    void CheckDatabaseAlias(String& Password, String& UserName);
    /// Runs OnLogin, or the login dialog.
    /// \throws EDatabaseError when the dialog is cancelled.
    void Login(TStrings* LoginParams);
    /// Params' changing notification: no change while connected.
    void ParamsChanging();

private:
    friend class TODBCDataSetLink;
    friend class TODBCSession;
    friend void RegisterODBCObjClasses();

    void ForgetLogin() noexcept;
    void SessionDestroyed(TODBCSession* ASession) noexcept;
    void DiscardHandle() noexcept;
    bool TransactionOpen() const;
    void ReadCursorMode();

    TODBCSession* FSession = nullptr;
    TODBCConnectOwner FHandle;
    TCursorMode FCursorMode = cmForwardOnly;
    std::vector<TODBCDataSetLink*> FDataSets;  // datasets in use, not owned
    std::vector<TODBCDataSetLink*> FLinks;     // every dataset linked, not owned
    String FDataSourceName;
    bool FKeepConnection = true;
    bool FLoginPrompt = true;
    TOwnedPtr<TStringList> FParams;
    bool FStreamedConnected = false;
    bool FTransactionGuard = false;
    TODBCTransIsolation FTransIsolation = tiReadCommitted;
    int FLoginTimeout = 30;
    String FConnectionPassword;  // taken out of a connection string
    // The login remembered from the dialog or OnLogin (never in Params).
    bool FHasLogin = false;
    String FLoginDataSource;
    String FLoginUserName;
    String FLoginPassword;
};

/// A transaction scope: starts a transaction on the database and rolls it
/// back when the scope ends without Commit (an exception leaving the scope
/// included), so the connection never stays in manual-commit mode by
/// accident. The database must outlive the guard.
///
///   TODBCTransaction transaction(db);
///   ... work ...
///   transaction.Commit();
class TODBCTransaction {
public:
    /// \throws EDatabaseError when the database is closed; EODBCError
    explicit TODBCTransaction(TODBCDatabase& Database);
    /// Rolls back unless committed or rolled back; never throws.
    ~TODBCTransaction();
    TODBCTransaction(const TODBCTransaction&) = delete;
    TODBCTransaction& operator=(const TODBCTransaction&) = delete;

    /// Commits; the guard is done afterwards, also when the commit fails.
    /// \throws EDatabaseError when the transaction has ended; EODBCError
    void Commit();
    /// Rolls back now. \throws EDatabaseError when it has ended; EODBCError
    void Rollback();
    /// True until Commit or Rollback.
    bool Active() const { return FActive; }

private:
    TODBCDatabase& FDatabase;
    bool FActive = false;
};

}  // namespace velora
