// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// velora query: one SQL statement through TODBCQuery. The statement is
// prepared first; one that describes result columns is opened and its rows
// printed, any other runs through ExecSQL and the tool prints the rows it
// affected (and the notices the server sent with it). So a statement runs
// exactly once either way.
//
// Values are printed as programs exchange them (AsString, "." decimals);
// NULL prints as "(null)"; long and binary values print as their display
// text, as a grid shows them.
#include "QueryCommand.h"

#include "RowPrinter.h"
#include "CommandDatabase.h"

#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCQuery.h"
#include "velora/rtl/DateUtils.h"
#include "velora/rtl/Numbers.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace velora::app {

namespace {

/// One --param: its name, value text and type (ftUnknown: guessed).
struct TParamArg {
    std::string Name;
    std::string Value;
    TFieldType Type = ftUnknown;
    bool Null = false;
};

struct TTypeName {
    const char* Name;
    TFieldType Type;
};

constexpr TTypeName kTypeNames[] = {
    {"integer", ftInteger}, {"smallint", ftSmallint}, {"word", ftWord},     {"boolean", ftBoolean},
    {"float", ftFloat},     {"currency", ftCurrency}, {"bcd", ftBCD},       {"date", ftDate},
    {"time", ftTime},       {"datetime", ftDateTime}, {"string", ftString}, {"memo", ftMemo},
};

TParamArg ParseParam(const std::string& text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        throw TQueryUsageError{"--param needs NAME=VALUE[:TYPE], not '" + text + "'"};
    TParamArg arg;
    arg.Name = text.substr(0, eq);
    arg.Value = text.substr(eq + 1);
    // A type is the text after the last colon, when it names one: "12:30"
    // stays a value, "12:30:time" is a time.
    const std::size_t colon = arg.Value.rfind(':');
    if (colon != std::string::npos) {
        const std::string suffix = arg.Value.substr(colon + 1);
        if (SameText(suffix, "null")) {
            arg.Null = true;
            arg.Value.erase(colon);
            return arg;
        }
        for (const TTypeName& t : kTypeNames) {
            if (SameText(suffix, t.Name)) {
                arg.Type = t.Type;
                arg.Value.erase(colon);
                return arg;
            }
        }
    }
    return arg;
}

/// Gives the parameter its value: as typed, or as the value reads.
void AssignParam(TODBCParam& p, const TParamArg& arg) {
    if (arg.Null) {
        p.SetDataType(arg.Type == ftUnknown ? ftString : arg.Type);
        p.Clear();
        p.SetBound(true);
        return;
    }
    TFieldType type = arg.Type;
    if (type == ftUnknown) {
        long long whole = 0;
        double number = 0;
        if (TryStrToInt(arg.Value, whole) && whole >= INT32_MIN && whole <= INT32_MAX)
            type = ftInteger;
        else if (TryStrToFloat(arg.Value, number))
            type = ftFloat;
        else
            type = ftString;
    }
    if (type == ftTime) {
        // A time of day alone: "hh:mm[:ss[.zzz]]".
        int h = 0, m = 0, s = 0, ms = 0;
        if (std::sscanf(arg.Value.c_str(), "%d:%d:%d.%d", &h, &m, &s, &ms) < 2)
            throw EConvertError("'" + arg.Value + "' is not a valid time");
        p.SetAsTime(EncodeTime(h, m, s, ms));
        return;
    }
    if (type == ftMemo) {
        p.SetAsMemo(arg.Value);
        return;
    }
    p.SetDataType(type);
    p.SetText(arg.Value);
}

}  // namespace

int QueryCommand(const std::vector<std::string>& args) {
    std::vector<std::string> positional;
    std::vector<TParamArg> params;
    std::string user, password;
    bool haveUser = false, havePassword = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](const char* option) {
            if (i + 1 >= args.size()) throw TQueryUsageError{std::string(option) + " needs a value"};
            return args[++i];
        };
        if (a == "--param") {
            params.push_back(ParseParam(value("--param")));
        } else if (a == "--user") {
            user = value("--user");
            haveUser = true;
        } else if (a == "--password") {
            password = value("--password");
            havePassword = true;
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            throw TQueryUsageError{"unknown option " + a};
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) throw TQueryUsageError{"query needs a data source name and one SQL text"};
    const std::string& dsn = positional[0];
    TOwnedPtr<TComponent> owner(new TComponent(nullptr));
    auto* db = NewCommandDatabase(owner.get(), dsn, haveUser ? &user : nullptr, havePassword ? &password : nullptr);

    auto* query = new TODBCQuery(owner.get());
    query->SetDataBase(db);
    query->SetReadOnly(true);
    query->SQL()->SetText(positional[1]);
    for (const TParamArg& arg : params) {
        TODBCParam* p = query->Params()->FindParam(arg.Name);
        if (!p) throw TQueryUsageError{"the SQL text has no parameter :" + arg.Name};
        AssignParam(*p, arg);
    }
    for (int i = 0; i < query->Params()->Count(); ++i)
        if (!query->Params()->Entry(i)->Bound())
            throw TQueryUsageError{"no value for parameter :" + query->Params()->Entry(i)->Name() +
                                   " (give it with --param)"};

    query->Prepare();
    if (query->ResultColumnCount() > 0) {
        query->Open();
        const TRow header = HeaderOf(*query);
        std::vector<TRow> rows;
        for (; !query->Eof(); query->Next()) rows.push_back(ReadRow(*query));
        query->Close();
        PrintRows(header, rows);
    } else {
        query->ExecSQL();
        for (const odbc::DiagRecord& notice : query->ExecWarnings())
            std::printf("notice: [%s] %s\n", notice.State.c_str(), notice.Text.c_str());
        const std::int32_t rows = query->RowsAffected();
        if (rows < 0)
            std::printf("Done (the data source counts no rows for this statement).\n");
        else
            std::printf("%d row%s affected\n", rows, rows == 1 ? "" : "s");
    }
    query->UnPrepare();
    return 0;
}

}  // namespace velora::app
