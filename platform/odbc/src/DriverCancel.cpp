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
#include "DriverCancelInternal.h"

#include <dlfcn.h>
#include <link.h>

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

}  // namespace

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
