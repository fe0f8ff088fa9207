// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Cancelling a statement at its driver, past the driver manager.
//
// unixODBC's SQLCancel is not safe while another thread is inside a call on
// the same statement, which is the one moment a cancel is for: on entry it
// frees the statement's diagnostic records, on return it reads the driver's
// records into the same list and rewrites the statement's state, all without
// a lock (the driver manager takes the statement's lock only for drivers
// that declare no thread safety at all). The owner's SQLExecute or SQLFetch
// does the same at its own entry and return, so a cancel landing at either
// end freed records the other was filling: "double free or corruption" and
// SIGSEGV in about one run in ten of a cancel loop, and ThreadSanitizer's
// report of SQLCancel's free against SQLExecute's malloc inside libodbc.
//
// The driver's own SQLCancel is made to be called from another thread
// (SQLite's interrupts the database, psqlODBC and MariaDB Connector/ODBC send
// the server a cancel or KILL QUERY). So a statement's driver handle
// (SQL_DRIVER_HSTMT) and its driver's SQLCancel are found once, in the
// allocating thread, and a cancel calls the driver directly. The driver
// manager's view of the statement is set right by the SQLFreeStmt(SQL_CLOSE)
// that follows every cancel that reached a call (the cancel gate raises
// through it).
//
// SQLite's driver is the exception: its SQLCancel interrupts the database
// and then closes the statement, without a lock, so a cancel landing inside
// the owner's execute or fetch frees the rows the owner is reading
// (heap-use-after-free under AddressSanitizer, in a fetch of a forward-only
// statement). Its databases are interrupted directly instead: while a
// connect that names SQLite's driver runs, SQLite's library reports the
// database it opens (sqlite3_auto_extension), and a cancel calls
// sqlite3_interrupt on it, which SQLite makes safe from any thread. The
// owner's call then ends with SQLite's "interrupted", and the owner closes
// the statement itself.
#include "DriverCancelInternal.h"

#include <dlfcn.h>
#include <link.h>

#include <atomic>
#include <cctype>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace velora::odbc::detail {
namespace {

/// A library's name without its directory, a leading "lib", and what
/// follows the name proper (".so", ".so.2", "-0.9998.so").
std::string Stem(std::string_view file) {
    if (const auto slash = file.rfind('/'); slash != std::string_view::npos) file.remove_prefix(slash + 1);
    if (file.substr(0, 3) == "lib") file.remove_prefix(3);
    return std::string(file.substr(0, file.find_first_of("-.")));
}

struct Search {
    std::string Stem;
    std::string Path;
};

/// The path of the loaded object a driver names with SQL_DRIVER_NAME. That is
/// its file name, loosely: SQLite's driver says "sqlite3odbc.so" for the
/// libsqlite3odbc.so the driver manager loaded, so names compare by stem.
std::string LoadedPath(const std::string& name) {
    Search search{Stem(name), {}};
    if (search.Stem.empty()) return {};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) -> int {
            auto* s = static_cast<Search*>(data);
            if (!info->dlpi_name || !*info->dlpi_name || Stem(info->dlpi_name) != s->Stem) return 0;
            s->Path = info->dlpi_name;
            return 1;
        },
        &search);
    return search.Path;
}

/// The driver's own SQLCancel, or null when it cannot be told apart from the
/// driver manager's (a name that is not loaded, a driver without the export).
DriverCancelFn FindInDriver(const std::string& name) {
    const std::string path = LoadedPath(name);
    if (path.empty()) return nullptr;
    void* object = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (!object) return nullptr;
    void* symbol = dlsym(object, "SQLCancel");
    Dl_info where{};
    // The lookup also searches the driver's dependencies: only a definition
    // in the driver itself will do.
    const bool own = symbol && dladdr(symbol, &where) && where.dli_fname && path == where.dli_fname;
    dlclose(object);
    return own ? reinterpret_cast<DriverCancelFn>(symbol) : nullptr;
}

// --- SQLite's databases ---------------------------------------------------

using AutoExtensionFn = int (*)(void (*)(void));
using InterruptFn = void (*)(void*);

std::atomic<InterruptFn> gInterrupt{nullptr};  ///< set once SQLite's library reports opens
thread_local void** tOpened = nullptr;          ///< where an open in this thread is reported

/// Called by SQLite for every database opened in the process once
/// registered; keeps the first one opened during a watched connect.
extern "C" int ReportOpened(void* database, const char**, const void*) {
    if (tOpened && !*tOpened) *tOpened = database;
    return 0;  // SQLITE_OK
}

/// Loads the driver at `file` (the driver manager then finds it loaded and
/// it stays loaded) and registers ReportOpened with the SQLite library it
/// uses. False when either function cannot be found.
bool WatchOpens(const std::string& file) {
    static std::mutex mu;
    std::lock_guard lock(mu);
    if (gInterrupt.load()) return true;
    void* driver = dlopen(file.c_str(), RTLD_LAZY);
    if (!driver) return false;
    // dlsym on the driver searches its dependencies: SQLite's library.
    auto autoExtension = reinterpret_cast<AutoExtensionFn>(dlsym(driver, "sqlite3_auto_extension"));
    auto interrupt = reinterpret_cast<InterruptFn>(dlsym(driver, "sqlite3_interrupt"));
    if (!autoExtension || !interrupt || autoExtension(reinterpret_cast<void (*)(void)>(&ReportOpened)) != 0)
        return false;
    gInterrupt.store(interrupt);
    return true;
}

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

/// The value of `key` (upper case) in a connection string, braces removed.
std::string ConnectionValue(std::string_view cs, std::string_view key) {
    std::size_t i = 0;
    while (i < cs.size()) {
        const std::size_t eq = cs.find('=', i);
        if (eq == std::string_view::npos) break;
        const std::string name = Upper(cs.substr(i, eq - i));
        std::string value;
        std::size_t j = eq + 1;
        if (j < cs.size() && cs[j] == '{') {
            for (++j; j < cs.size(); ++j) {
                if (cs[j] == '}') {
                    if (j + 1 < cs.size() && cs[j + 1] == '}') {
                        value += '}';
                        ++j;
                        continue;
                    }
                    ++j;
                    break;
                }
                value += cs[j];
            }
            j = cs.find(';', j);
        } else {
            const std::size_t end = cs.find(';', j);
            value = std::string(cs.substr(j, end == std::string_view::npos ? std::string_view::npos : end - j));
            j = end;
        }
        std::size_t a = 0;
        while (a < name.size() && name[a] == ' ') ++a;
        if (name.substr(a) == key) return value;
        if (j == std::string_view::npos) break;
        i = j + 1;
    }
    return {};
}

/// The file of the driver that a data source or a driver's name stands for,
/// as the driver manager lists them; "" when it is not listed.
std::string DriverFileOf(SQLHENV env, const std::string& dsn, std::string driver) {
    static std::mutex mu;  // the driver manager keeps one listing position an environment
    std::lock_guard lock(mu);
    SQLCHAR name[512];
    SQLCHAR text[4096];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT textLength = 0;
    if (driver.empty() && !dsn.empty()) {
        for (SQLUSMALLINT dir = SQL_FETCH_FIRST;; dir = SQL_FETCH_NEXT) {
            const SQLRETURN rc = ::SQLDataSources(env, dir, name, sizeof name, &nameLength, text, sizeof text,
                                                  &textLength);
            if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
            if (Upper(reinterpret_cast<char*>(name)) == Upper(dsn)) driver = reinterpret_cast<char*>(text);
        }
    }
    if (driver.empty() || driver.find('/') != std::string::npos) return driver;
    std::string file;
    for (SQLUSMALLINT dir = SQL_FETCH_FIRST;; dir = SQL_FETCH_NEXT) {
        const SQLRETURN rc = ::SQLDrivers(env, dir, name, sizeof name, &nameLength, text, sizeof text, &textLength);
        if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
        if (!file.empty() || Upper(reinterpret_cast<char*>(name)) != Upper(driver)) continue;
        // Attributes: "key=value" pairs, each ended by a null, the list by two.
        for (const char* a = reinterpret_cast<char*>(text); *a && a < reinterpret_cast<char*>(text) + sizeof text;
             a += std::strlen(a) + 1)
            if (Upper(std::string_view(a).substr(0, 7)) == "DRIVER=") file = a + 7;
    }
    return file;
}

}  // namespace

std::string DriverFileFor(SQLHENV env, std::string_view target, bool connectionString) {
    return connectionString ? DriverFileOf(env, ConnectionValue(target, "DSN"), ConnectionValue(target, "DRIVER"))
                            : DriverFileOf(env, std::string(target), {});
}

TSQLiteOpenWatch::TSQLiteOpenWatch(SQLHENV env, const char* target, int length, bool connectionString) {
    if (!target) return;
    const std::string_view t(target, length == SQL_NTS ? std::strlen(target) : static_cast<std::size_t>(length));
    if (!gInterrupt.load()) {
        const std::string file = DriverFileFor(env, t, connectionString);
        if (Stem(file) != "sqlite3odbc" || !WatchOpens(file)) return;
    }
    FOuter = tOpened;
    tOpened = &FDatabase;
}

TSQLiteOpenWatch::~TSQLiteOpenWatch() {
    if (tOpened == &FDatabase) tOpened = FOuter;
}

void InterruptSQLite(void* database) {
    if (const InterruptFn interrupt = gInterrupt.load()) interrupt(database);
}

DriverCancelFn DriverCancelOf(SQLHDBC dbc) {
    char name[512] = {};
    SQLSMALLINT length = 0;
    const SQLRETURN rc = ::SQLGetInfo(dbc, SQL_DRIVER_NAME, name, sizeof name, &length);
    if ((rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) || !*name) return nullptr;
    static std::mutex mu;
    static auto* found = new std::map<std::string, DriverCancelFn>;  // drivers stay loaded while used
    std::lock_guard lock(mu);
    auto it = found->find(name);
    if (it == found->end()) it = found->emplace(name, FindInDriver(name)).first;
    return it->second;
}

SQLHSTMT DriverStatementOf(SQLHDBC dbc, SQLHSTMT stmt) {
    SQLHANDLE handle = stmt;
    const SQLRETURN rc = ::SQLGetInfo(dbc, SQL_DRIVER_HSTMT, &handle, sizeof handle, nullptr);
    if ((rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) || handle == stmt) return nullptr;
    return handle;
}

}  // namespace velora::odbc::detail
