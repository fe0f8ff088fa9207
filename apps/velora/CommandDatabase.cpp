// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
#include "CommandDatabase.h"

#include "SampleDatabase.h"

namespace velora::app {

TODBCDatabase* NewCommandDatabase(TComponent* owner, const std::string& dsn, const std::string* user,
                                  const std::string* password) {
    if (SameText(dsn, "VeloraSample")) EnsureSampleDatabase();
    auto* db = new TODBCDatabase(owner);
    db->SetDataSourceName(dsn);
    db->SetLoginPrompt(false);
    if (user) db->Params()->SetValues("USER NAME", *user);
    if (password) db->Params()->Add("PASSWORD=" + *password);
    return db;
}

}  // namespace velora::app
