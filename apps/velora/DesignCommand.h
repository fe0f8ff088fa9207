// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// `velora design FORMFILE`: builds and edits a form file through the
// registered design-time editors. `velora update-sql DSN SQL`: prints the
// three statements the update-SQL editor generates for a query.
#pragma once

#include "Command.h"

#include <string>
#include <vector>

namespace velora::app {

class TDesignCommand : public TCommand {
public:
    void Define(CLI::App& cmd) override;
    int Run() override;

private:
    std::string FFile;
    std::vector<std::string> FAdd, FSet, FParam, FVerb, FValues;
    bool FSave = false;
    /// The command line's scripted options, run in the order given.
    CLI::App* FCmd = nullptr;
    CLI::Option *FAddOption = nullptr, *FSetOption = nullptr, *FParamOption = nullptr, *FVerbOption = nullptr;
};

class TUpdateSQLCommand : public TCommand {
public:
    void Define(CLI::App& cmd) override;
    int Run() override;

private:
    std::string FDsn, FSQL;
    std::string FKeys, FUpdate;
    bool FKeysGiven = false, FUpdateGiven = false, FQuote = false;
    TAccount FAccount;
};

}  // namespace velora::app
