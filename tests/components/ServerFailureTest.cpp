// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// A server that dies under the library: a PostgreSQL and a MariaDB server of
// the test's own are killed by pid during a scan and during a post, then
// started again on the same port and data folder. The library reports the
// driver's error, never crashes or hangs, keeps the record being edited, and
// the same objects work again once the server is back. These tests run alone
// (RUN_SERIAL): the servers of the other tests are not touched.
#include "components/DataSetTestUtil.h"

#include "velora/components/ODBCQuery.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

namespace velora {
namespace {

/// A server of one test: started in a folder of its own, killed and started
/// again on the same port, stopped at the end.
class TPrivateServer {
public:
    explicit TPrivateServer(std::string kind) : FKind(std::move(kind)) {
        char dir[] = "/tmp/velora-failure-XXXXXX";
        if (!mkdtemp(dir)) return;
        FDir = dir;
        chmod(dir, 0755);  // the PostgreSQL account reaches its folder inside
        FPort = Control("start");
    }
    ~TPrivateServer() {
        if (FDir.empty()) return;
        Control("stop");
        std::system(("rm -rf '" + FDir + "'").c_str());
    }
    bool Started() const { return !FPort.empty(); }
    /// Kills the server and every process it started, and waits until it is gone.
    void Kill() {
        const int pid = std::atoi(Control("pid").c_str());
        ASSERT_GT(pid, 0);
        std::system(("pkill -KILL -P " + std::to_string(pid)).c_str());
        ::kill(pid, SIGKILL);
        for (int i = 0; i < 200 && ::kill(pid, 0) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    void Restart() { Control("restart " + FPort); }
    std::string ConnectionString() const {
        if (FKind == "pg")
            // Cursor-based fetching: each block of ten rows comes from the server.
            return "DRIVER={PostgreSQL ANSI};Servername=127.0.0.1;Port=" + FPort +
                   ";Database=velora_test;UID=velora;PWD=velora-pw;BoolsAsChar=0;UpdatableCursors=1;"
                   "UseDeclareFetch=1;Fetch=10";
        return "DRIVER={MariaDB Unicode};SERVER=127.0.0.1;PORT=" + FPort +
               ";DATABASE=velora_test;UID=velora;PWD=velora-pw";
    }

private:
    std::string Control(const std::string& args) {
        const std::string cmd =
            "bash '" VELORA_SOURCE_DIR "/tests/support/server-control.sh' " +
            (args.rfind("restart", 0) == 0 ? std::string("restart ") + FKind + " '" + FDir + "' " + args.substr(8)
                                           : args + " " + FKind + " '" + FDir + "'");
        std::string out;
        if (FILE* p = popen(cmd.c_str(), "r")) {
            char buf[256];
            while (fgets(buf, sizeof buf, p)) out += buf;
            pclose(p);
        }
        while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
        return out;
    }
    std::string FKind, FDir, FPort;
};

void Exec(TODBCDatabase* db, const std::string& sql) {
    TODBCQuery q(nullptr);
    q.SetDataBase(db);
    q.SetParamCheck(false);
    q.SQL()->SetText(sql);
    q.ExecSQL();
}

void KillDuringScanAndPost(const std::string& kind, const std::string& fill) {
    if (!test::ServersRequired()) GTEST_SKIP() << "servers are started by scripts/test.sh";
    TPrivateServer server(kind);
    ASSERT_TRUE(server.Started());
    TComponent owner(nullptr);
    auto* db = new TODBCDatabase(&owner);
    db->SetDataSourceName(server.ConnectionString());
    db->SetLoginPrompt(false);
    db->Open();
    Exec(db, "CREATE TABLE victims (id integer primary key, name varchar(120))");
    Exec(db, fill);

    // A scan: the server dies after the first rows.
    auto* scan = new TODBCQuery(&owner);
    scan->SetDataBase(db);
    scan->SetUniDirectional(true);
    scan->SQL()->SetText("SELECT id, name FROM victims ORDER BY id");
    scan->Open();
    for (int i = 0; i < 5; ++i) scan->Next();
    server.Kill();
    int rows = 5;
    std::string scanState = test::SQLStateRaised([&] {
        while (!scan->Eof() && rows < 300000) {
            scan->Next();
            ++rows;
        }
    });
    if (scanState == "(no error)") {
        // The driver held the whole result (MariaDB's static cursor under
        // our cursor library): the rows read came from memory, and the next
        // call that needs the server reports its loss.
        EXPECT_EQ(rows, 200000);
        scan->Close();
        scanState = test::SQLStateRaised([&] { scan->Open(); });
    }
    EXPECT_NE(scanState, "(no error)") << "no error without the server";
    EXPECT_NE(scanState, "(other)");
    EXPECT_NO_THROW(scan->Close());
    EXPECT_NO_THROW(db->Close());
    server.Restart();

    // The same objects again; then a post the server does not live to see.
    db->Open();
    auto* table = new TODBCTable(&owner);
    table->SetDataBase(db);
    table->SetTableName("victims");
    table->IndexParams()->SetText("id");
    table->SetIndexed(true);
    table->Open();
    table->Edit();
    table->FieldByName("name")->SetAsString("never stored");
    server.Kill();
    const std::string postState = test::SQLStateRaised([&] { table->Post(); });
    EXPECT_NE(postState, "(no error)");
    EXPECT_NE(postState, "(other)");
    EXPECT_EQ(static_cast<int>(table->State()), static_cast<int>(dsEdit)) << "the record stays in edit";
    EXPECT_EQ(table->FieldByName("name")->AsString(), "never stored");
    table->Cancel();
    EXPECT_NO_THROW(table->Close());
    EXPECT_NO_THROW(db->Close());
    server.Restart();

    db->Open();
    scan->Open();
    rows = 0;
    bool unchanged = true;
    while (!scan->Eof()) {
        ++rows;
        if (scan->FieldByName("name")->AsString() == "never stored") unchanged = false;
        scan->Next();
    }
    EXPECT_EQ(rows, 200000);
    EXPECT_TRUE(unchanged);
    scan->Close();
    db->Close();
}

TEST(ServerFailurePostgreSQL, KilledDuringAScanAndAPostThenStartedAgain) {
    KillDuringScanAndPost("pg",
                          "INSERT INTO victims SELECT g, repeat('x', 100) || g FROM generate_series(1, 200000) g");
}

TEST(ServerFailureMariaDB, KilledDuringAScanAndAPostThenStartedAgain) {
    KillDuringScanAndPost("mariadb",
                          "INSERT INTO victims SELECT seq, CONCAT(REPEAT('x', 100), seq) FROM seq_1_to_200000");
}

}  // namespace
}  // namespace velora
