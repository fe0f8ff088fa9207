// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The interactive designer in a real terminal (tmux): a person adds a
// database and a table from the palette, picks the data source and the
// table from the pickers' lists and saves; the saved form opens that table.
#include "support/TestEnv.h"

#include "velora/classes/FormFiles.h"
#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCTable.h"
#include "velora/forms/FormClasses.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <unistd.h>

#ifndef VELORA_TOOL
#define VELORA_TOOL ""
#endif

namespace velora {
namespace {

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

/// The tool in a detached tmux session of its own.
class TTmux {
public:
    TTmux(const std::string& command, int width, int height)
        : FSocket("velora-design-" + std::to_string(::getpid()) + "-" + test::UniqueName("s")) {
        std::string env;
        for (const char* name : {"ODBCSYSINI", "ODBCINI"})
            if (const char* v = std::getenv(name)) env += " -e " + Quote(std::string(name) + "=" + v);
        env += " -e " + Quote("ASAN_OPTIONS=detect_leaks=0");
        Run("new-session -d -s d -x " + std::to_string(width) + " -y " + std::to_string(height) + env + " " +
            Quote(command + "; echo velora-exit=$?; sleep 600"));
    }
    ~TTmux() { std::system(("tmux -L " + FSocket + " kill-server >/dev/null 2>&1").c_str()); }
    void Keys(const std::string& keys) { Run("send-keys -t d " + keys); }
    void Type(const std::string& text) { Run("send-keys -t d -l " + Quote(text)); }
    std::string Screen() const {
        std::string out;
        FILE* p = ::popen(("tmux -L " + FSocket + " -u capture-pane -p -t d").c_str(), "r");
        if (!p) return out;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, p)) > 0;) out.append(buffer, n);
        ::pclose(p);
        return out;
    }
    ::testing::AssertionResult WaitFor(const std::string& text, int timeoutMs = 15000) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        std::string screen, before;
        do {
            before = screen;
            screen = Screen();
            if (screen.find(text) != std::string::npos && screen == before) return ::testing::AssertionSuccess();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        } while (std::chrono::steady_clock::now() < end);
        return ::testing::AssertionFailure() << "no \"" << text << "\" on the screen:\n" << screen;
    }

private:
    void Run(const std::string& args) const {
        const std::string cmd = "tmux -L " + FSocket + " -u " + args;
        ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;
    }
    std::string FSocket;
};

std::string Row(const std::string& property, const std::string& value) {
    return property + std::string(18 - property.size(), ' ') + " " + value;
}

TEST(DesignScreenTmux, PicksADataSourceAndATableFromTheListsAndSavesSQLite) {
    if (std::string(VELORA_TOOL).empty()) GTEST_SKIP() << "the velora tool is not built";
    if (std::system("tmux -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "no tmux";
    const test::TestDriver& d = test::Driver(test::DriverKind::SQLite);
    test::RawConnection raw(d);
    const std::string table = test::UniqueName("picked");
    raw.Exec("CREATE TABLE " + table + " (what varchar(20))");
    raw.Exec("INSERT INTO " + table + " VALUES ('the picked table')");
    const std::string form = (std::filesystem::temp_directory_path() / (test::UniqueName("form") + ".form")).string();
    {
        TTmux tmux(std::string(VELORA_TOOL) + " design " + form, 110, 40);
        ASSERT_TRUE(tmux.WaitFor("F10 quit"));
        tmux.Keys("F7");
        ASSERT_TRUE(tmux.WaitFor("Add component:"));
        tmux.Type("TODBCDatabase");
        tmux.Keys("Enter");
        ASSERT_TRUE(tmux.WaitFor("added ODBCDatabase1"));
        tmux.Keys("Tab");
        tmux.Type("LoginP");
        tmux.Keys("Enter");
        ASSERT_TRUE(tmux.WaitFor("Pick a value:"));
        tmux.Type("False");
        tmux.Keys("Enter");
        ASSERT_TRUE(tmux.WaitFor(Row("LoginPrompt", "False")));
        tmux.Type("DataSo");
        tmux.Keys("Enter");
        ASSERT_TRUE(tmux.WaitFor("Pick a value:"));
        ASSERT_TRUE(tmux.WaitFor(d.Dsn)) << "the data sources of the project's odbc.ini are offered";
        tmux.Type(d.Dsn);
        tmux.Keys("Enter");
        ASSERT_TRUE(tmux.WaitFor(Row("DataSourceName", d.Dsn)));
        tmux.Keys("Tab F7");
        tmux.Type("TODBCTable");
        tmux.Keys("Enter");
        ASSERT_TRUE(tmux.WaitFor("added ODBCTable1"));
        tmux.Keys("Tab");
        tmux.Type("Datab");
        tmux.Keys("Enter");
        ASSERT_TRUE(tmux.WaitFor("  ODBCDatabase1"));
        tmux.Keys("Enter");
        ASSERT_TRUE(tmux.WaitFor(Row("Database", "ODBCDatabase1")));
        tmux.Type("TableN");
        tmux.Keys("Enter");
        ASSERT_TRUE(tmux.WaitFor("  " + table));
        tmux.Type(table);
        tmux.Keys("Enter");
        ASSERT_TRUE(tmux.WaitFor(Row("TableName", table)));
        tmux.Keys("F2");
        ASSERT_TRUE(tmux.WaitFor("saved " + form));
        tmux.Keys("F10");
        ASSERT_TRUE(tmux.WaitFor("velora-exit=0"));
    }
    RegisterFormClasses();
    RegisterODBCObjClasses();
    TOwnedPtr<TComponent> root(ReadComponentFromFile(form, nullptr));
    std::filesystem::remove(form);
    auto* t = dynamic_cast<TODBCTable*>(root->FindComponent("ODBCTable1"));
    ASSERT_NE(t, nullptr);
    t->Open();
    EXPECT_EQ(t->Fields().Fields(0)->AsString(), "the picked table");
    t->Close();
    raw.DropTableIfExists(table);
}

}  // namespace
}  // namespace velora
