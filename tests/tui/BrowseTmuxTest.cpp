// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// velora browse played by a person at a terminal: the tool runs in tmux,
// keys are sent with send-keys, the screen is read with capture-pane, and
// what was written is checked from a second connection. One walk per
// driver over a table of 10,000 rows: order, last and first row, an edit
// posted and one cancelled, an insert, a delete, a filter, a memo shown
// whole, a post the unique key refuses (message shown, typed value kept),
// and quitting.
#include "support/TestEnv.h"
#include "support/Tmux.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

// The tool is built with the tests unless VELORA_BUILD_APPS is off.
#ifndef VELORA_TOOL
#define VELORA_TOOL ""
#endif
#define VELORA_REQUIRE_TOOL()                                                                 \
    do {                                                                                      \
        if (std::string(VELORA_TOOL).empty()) GTEST_SKIP() << "the velora tool is not built"; \
    } while (0)

namespace velora::test {
namespace {

class BrowseInTmux : public DriverTest {};

TEST_P(BrowseInTmux, WalkEditInsertDeleteFilterOrderAndMemo) {
    VELORA_REQUIRE_TOOL();
    ASSERT_EQ(std::system("command -v tmux >/dev/null"), 0) << "tmux is needed (scripts/setup.sh installs it)";
    const TestDriver& d = Drv();
    RawConnection raw(d);
    TableGuard guard(d, UniqueName("browse"));
    const std::string t = guard.Name();
    raw.Exec("CREATE TABLE " + t + " (id integer primary key, name varchar(30), note " + MemoType(d) +
             ", price decimal(10,2))");
    if (d.Traits.HasGenerateSeries)
        raw.Exec("INSERT INTO " + t + " SELECT x, 'item' || x, NULL, NULL FROM generate_series(1, 10000) AS g(x)");
    else if (d.Kind == DriverKind::MariaDB)  // || is OR there, and recursion stops at 1,000 rows
        raw.Exec("INSERT INTO " + t + " SELECT seq, CONCAT('item', seq), NULL, NULL FROM seq_1_to_10000");
    else
        raw.Exec("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 10000) INSERT INTO " + t +
                 " SELECT x, 'item' || x, NULL, NULL FROM c");
    raw.Exec("UPDATE " + t + " SET note = 'first line of the memo\nsecond line, past the grid''s column' WHERE id = 3");
    raw.Exec("UPDATE " + t + " SET note = '', price = 814.5 WHERE id = 4");
    const std::string memoCell =
        "<memo " + raw.Scalar("SELECT length(note) FROM " + t + " WHERE id = 3").value() + " B>";

    std::string command = std::string(VELORA_TOOL) + " browse " + d.Dsn + " " + t;
    if (!d.User.empty()) command += " --user " + ShellQuote(d.User) + " --password " + ShellQuote(d.Password);
    TTmux tmux(command, 150, 20);
    ASSERT_TRUE(tmux.WaitFor("Record 1 of"));

    // Order by id descending, then ascending (the table's IndexParams).
    tmux.Keys("F6");
    ASSERT_TRUE(tmux.WaitFor("Order (ORDER BY)"));
    tmux.Type("id desc");
    tmux.Keys("Enter");
    ASSERT_TRUE(tmux.WaitFor("order by id desc"));
    EXPECT_NE(tmux.LineWith("item10000").find(">"), std::string::npos) << tmux.Screen();
    tmux.Keys("F6 C-u");
    tmux.Type("id");
    tmux.Keys("Enter");
    ASSERT_TRUE(tmux.WaitFor("order by id\n"));
    // Long values by kind and size, NULL and empty told apart; decimals with
    // their scale; the editing keys offered on a writable table.
    EXPECT_NE(tmux.LineWith("item3").find(memoCell), std::string::npos) << tmux.Screen();
    EXPECT_NE(tmux.LineWith("item4").find("<empty>"), std::string::npos) << tmux.Screen();
    EXPECT_NE(tmux.LineWith("item4").find("814.50"), std::string::npos) << tmux.Screen();
    EXPECT_NE(tmux.LineWith("item5").find("(null)"), std::string::npos) << tmux.Screen();
    EXPECT_NE(tmux.LineWith("F10 quit").find("Ins insert"), std::string::npos) << tmux.Screen();

    // The last row and back: found without counting the rows, and numbered from the end.
    tmux.Keys("End");
    ASSERT_TRUE(tmux.WaitFor("Record 1 from the end"));
    EXPECT_NE(tmux.LineWith("item10000").find(">"), std::string::npos) << tmux.Screen();
    tmux.Keys("Up");
    ASSERT_TRUE(tmux.WaitFor("Record 2 from the end"));
    EXPECT_NE(tmux.LineWith("item9999").find(">"), std::string::npos) << tmux.Screen();
    tmux.Keys("Home");
    ASSERT_TRUE(tmux.WaitFor("Record 1 of ?"));
    tmux.Keys("NPage");
    ASSERT_TRUE(tmux.WaitFor("Record 17 of ?"));
    // A record by its number; a number past the end is refused where it stands.
    tmux.Keys("F5");
    ASSERT_TRUE(tmux.WaitFor("Go to record:"));
    tmux.Type("4321");
    tmux.Keys("Enter");
    ASSERT_TRUE(tmux.WaitFor("Record 4321 of ?"));
    EXPECT_NE(tmux.LineWith("item4321").find(">"), std::string::npos) << tmux.Screen();
    tmux.Keys("F5");
    tmux.Type("10001");
    tmux.Keys("Enter");
    ASSERT_TRUE(tmux.WaitFor("There is no record 10001"));
    EXPECT_NE(tmux.Screen().find("Record 4321 of ?"), std::string::npos) << tmux.Screen();
    EXPECT_NE(tmux.LineWith("item4321").find(">"), std::string::npos) << tmux.Screen();
    tmux.Keys("Home");
    ASSERT_TRUE(tmux.WaitFor("Record 1 of ?"));

    // Edit the name of id 1 and post.
    tmux.Keys("Right Enter C-u");
    tmux.Type("edited");
    tmux.Keys("Enter");
    ASSERT_TRUE(tmux.WaitFor("| Edit"));
    tmux.Keys("F2");
    ASSERT_TRUE(tmux.WaitFor("| Browse"));
    EXPECT_EQ(raw.Scalar("SELECT name FROM " + t + " WHERE id = 1"), "edited");

    // An edit cancelled with Escape leaves the row as it was.
    tmux.Type("zzz");
    ASSERT_TRUE(tmux.WaitFor("| Edit"));
    tmux.Keys("Escape");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    tmux.Keys("Escape");
    ASSERT_TRUE(tmux.WaitFor("| Browse"));
    EXPECT_NE(tmux.LineWith("Record 1 of").size(), 0u);
    EXPECT_NE(tmux.Screen().find("edited"), std::string::npos);
    EXPECT_EQ(tmux.Screen().find("zzz"), std::string::npos);
    EXPECT_EQ(raw.Scalar("SELECT name FROM " + t + " WHERE id = 1"), "edited");

    // Insert a row, then delete id 2.
    tmux.Keys("IC");
    ASSERT_TRUE(tmux.WaitFor("| Insert"));
    tmux.Keys("BTab");
    tmux.Type("10001");
    tmux.Keys("Tab");
    tmux.Type("inserted");
    tmux.Keys("F2");
    ASSERT_TRUE(tmux.WaitFor("| Browse"));
    EXPECT_EQ(raw.Scalar("SELECT name FROM " + t + " WHERE id = 10001"), "inserted");
    // The posted row stays in the grid as the current record (in its place
    // in the order: last, found from the end without counting the rows).
    EXPECT_EQ(tmux.LineWith("inserted").substr(0, 1), ">") << tmux.Screen();
    EXPECT_NE(tmux.LineWith("| Browse").find("Record 1 from the end"), std::string::npos) << tmux.Screen();
    tmux.Keys("Home Down");
    ASSERT_TRUE(tmux.WaitFor("Record 2 of"));
    tmux.Keys("DC");
    ASSERT_TRUE(tmux.WaitFor("Delete record? (y/n)"));
    tmux.Type("y");
    ASSERT_TRUE(tmux.WaitFor("| Browse"));
    EXPECT_EQ(raw.Scalar("SELECT count(*) FROM " + t + " WHERE id = 2"), "0");
    EXPECT_EQ(raw.Scalar("SELECT count(*) FROM " + t), "10000");

    // A filter: ids below 5, without the deleted one.
    tmux.Keys("F4");
    ASSERT_TRUE(tmux.WaitFor("Filter (WHERE)"));
    tmux.Type("id < 5");
    tmux.Keys("Enter");
    ASSERT_TRUE(tmux.WaitFor("Record 1 of 3"));
    EXPECT_NE(tmux.Screen().find("item4"), std::string::npos);
    EXPECT_EQ(tmux.Screen().find("item5"), std::string::npos);

    // The memo of id 3, whole.
    tmux.Keys("Down Right F3");
    ASSERT_TRUE(tmux.WaitFor("second line, past the grid's column"));
    EXPECT_NE(tmux.Screen().find("first line of the memo"), std::string::npos);
    tmux.Keys("Escape");
    ASSERT_TRUE(tmux.WaitFor("F10 quit"));

    // id 3 changed to 1: the unique key refuses; message and typed value stay.
    tmux.Keys("Home");
    ASSERT_TRUE(tmux.WaitFor("Record 1 of 3"));
    tmux.Keys("Down BTab BTab Enter C-u");
    tmux.Type("1");
    tmux.Keys("F2");
    const char* refusal = d.Traits.UniqueViolationText;
    ASSERT_TRUE(tmux.WaitFor(refusal));
    EXPECT_NE(tmux.LineWith(refusal).find("| Edit"), std::string::npos) << tmux.Screen();
    EXPECT_EQ(tmux.LineWith("*").substr(0, 2), "* ") << tmux.Screen();
    EXPECT_NE(tmux.LineWith("*").find("1│item3"), std::string::npos) << tmux.Screen();
    EXPECT_EQ(raw.Scalar("SELECT count(*) FROM " + t + " WHERE id = 3"), "1");

    // Quitting is refused while the record is in edit; Escape, then F10.
    tmux.Keys("F10");
    ASSERT_TRUE(tmux.WaitFor("Post (F2) or cancel (Esc) the record first"));
    tmux.Keys("Escape");
    ASSERT_TRUE(tmux.WaitFor("| Browse"));
    tmux.Keys("F10");
    ASSERT_TRUE(tmux.WaitFor("velora-exit=0"));
}

// A data source without an account: the login dialog asks on the plain
// terminal before the screen is taken over; --read-only refuses editing.
TEST(BrowseInTmuxLogin, AsksForTheAccountThenShowsTheTablePostgreSQL) {
    const TestDriver& d = Driver(DriverKind::PostgreSQL);
    VELORA_REQUIRE_DRIVER(d);
    VELORA_REQUIRE_TOOL();
    RawConnection raw(d);
    TableGuard guard(d, UniqueName("login"));
    raw.Exec("CREATE TABLE " + guard.Name() + " (id integer primary key, name varchar(20))");
    raw.Exec("INSERT INTO " + guard.Name() + " VALUES (1, 'only row')");
    raw.Exec("GRANT SELECT ON " + guard.Name() + " TO " + PgLoginUser);

    TTmux tmux(std::string(VELORA_TOOL) + " browse " + PgLoginDsn + " " + guard.Name() + " --read-only", 100, 12);
    ASSERT_TRUE(tmux.WaitFor("User Name:"));
    tmux.Type(PgLoginUser);
    tmux.Keys("Enter");
    ASSERT_TRUE(tmux.WaitFor("Password:"));
    tmux.Type(PgLoginPassword);
    tmux.Keys("Enter");
    ASSERT_TRUE(tmux.WaitFor("Record 1 of 1"));
    EXPECT_NE(tmux.Screen().find("only row"), std::string::npos);
    tmux.Keys("Enter");
    ASSERT_TRUE(tmux.WaitFor("The grid is read-only"));
    tmux.Keys("F10");
    ASSERT_TRUE(tmux.WaitFor("velora-exit=0"));
}

// A query instead of a table: shown and browsed, but a filter or order
// (which belong to a table) is refused with a message.
TEST(BrowseInTmuxQuery, ShowsAQueryAndKeepsTableClausesForTablesSQLite) {
    const TestDriver& d = Driver(DriverKind::SQLite);
    VELORA_REQUIRE_TOOL();
    TTmux tmux(std::string(VELORA_TOOL) + " browse " + d.Dsn +
                   " --sql \"SELECT 1 AS n, 'one' AS word UNION ALL SELECT 2, '二' ORDER BY 1\" --read-only",
               80, 10);
    ASSERT_TRUE(tmux.WaitFor("Record 1 of"));
    // Read-only: no editing key is offered.
    EXPECT_NE(tmux.LineWith("F10 quit").find("F3 view  F5 go to  F10 quit"), std::string::npos) << tmux.Screen();
    EXPECT_EQ(tmux.Screen().find("Ins insert"), std::string::npos) << tmux.Screen();
    tmux.Keys("End");
    ASSERT_TRUE(tmux.WaitFor("Record 2 of 2"));
    EXPECT_NE(tmux.LineWith("二").find(">"), std::string::npos) << tmux.Screen();
    tmux.Keys("F4");
    ASSERT_TRUE(tmux.WaitFor("A filter and an order apply to a table, not to --sql"));
    tmux.Keys("F10");
    ASSERT_TRUE(tmux.WaitFor("velora-exit=0"));
}

INSTANTIATE_TEST_SUITE_P(Drivers, BrowseInTmux,
                         ::testing::Values(Driver(DriverKind::SQLite), Driver(DriverKind::PostgreSQL),
                                           Driver(DriverKind::MariaDB)),
                         DriverParamName());

}  // namespace
}  // namespace velora::test
