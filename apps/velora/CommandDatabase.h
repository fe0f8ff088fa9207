// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The database a velora command works on.
#pragma once

#include "velora/components/ODBCObj.h"

#include <string>

namespace velora::app {

/// A database component on `dsn`, owned by `owner`, not yet open: the data
/// source's own account unless a user name or password is given (null when
/// not), never a login dialog. The sample database is created first when
/// `dsn` names it.
TODBCDatabase* NewCommandDatabase(TComponent* owner, const std::string& dsn, const std::string* user,
                                  const std::string* password);

}  // namespace velora::app
