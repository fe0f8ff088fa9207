// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The velora tool's `sources` and `connect` commands: the data sources the
// driver manager knows, and one connection made and closed.
#pragma once

#include "Command.h"

namespace velora::app {

/// velora sources
class TSourcesCommand : public TCommand {
public:
    void Define(CLI::App&) override {}
    int Run() override;
};

/// velora connect DSN [--no-prompt]
class TConnectCommand : public TCommand {
public:
    void Define(CLI::App& cmd) override;
    int Run() override;

private:
    std::string FDsn;
    bool FNoPrompt = false;
    TAccount FAccount;
};

}  // namespace velora::app
