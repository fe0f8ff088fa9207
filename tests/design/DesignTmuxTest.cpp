// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The interactive designer in a real terminal (tmux): a person adds a
// database and a table from the palette, picks the data source and the
// table from the pickers' lists and saves; the saved form opens that table.
// The dialogs on the screen: the update-SQL editor generates and takes OK,
// and the saved statements write; the parameter editor refuses a value its
// type cannot take and keeps the dialog open, then stores type and value;
// the About box stays until a key.
#include "support/TestEnv.h"
#include "support/Tmux.h"

#include "velora/classes/FormFiles.h"
#include "velora/components/ODBCObj.h"
#include "velora/components/ODBCQuery.h"
#include "velora/components/ODBCUpdateSQL.h"
#include "velora/components/ODBCTable.h"
#include "velora/forms/FormClasses.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <filesystem>
#include <string>

#ifndef VELORA_TOOL
#define VELORA_TOOL ""
#endif

namespace velora {
namespace {

using test::TTmux;

std::string Row(const std::string& property, const std::string& value) {
    return property + std::string(18 - property.size(), ' ') + " " + value;
}

/// Why the designer cannot be driven here, or empty.
std::string SkipReason() {
    if (std::string(VELORA_TOOL).empty()) return "the velora tool is not built";
    if (std::system("tmux -V >/dev/null 2>&1") != 0) return "no tmux";
    return "";
}

/// A path for a form file in the temporary folder.
std::string TempForm() {
    return (std::filesystem::temp_directory_path() / (test::UniqueName("form") + ".form")).string();
}

/// A form file made by the tool without a screen from its arguments.
std::string MakeForm(const std::string& args) {
    const std::string form = TempForm();
    const std::string command = std::string(VELORA_TOOL) + " design " + form + " " + args + " --save >/dev/null";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return form;
}

/// Reads the form file back (and removes it).
TOwnedPtr<TComponent> LoadForm(const std::string& form) {
    RegisterFormClasses();
    RegisterODBCObjClasses();
    TOwnedPtr<TComponent> root(ReadComponentFromFile(form, nullptr));
    std::filesystem::remove(form);
    return root;
}

/// The designer on `form`, in a terminal of 110 x 40.
TTmux Designer(const std::string& form) {
    return TTmux(std::string(VELORA_TOOL) + " design " + form, 110, 40, {"ASAN_OPTIONS=detect_leaks=0"});
}

/// F2 saves `form`, F10 ends the designer; true when both showed.
bool SaveAndQuit(TTmux& tmux, const std::string& form) {
    tmux.Keys("F2");
    if (!tmux.WaitFor("saved " + form)) return false;
    tmux.Keys("F10");
    return tmux.WaitFor("velora-exit=0");
}

TEST(DesignScreenTmux, PicksADataSourceAndATableFromTheListsAndSavesSQLite) {
    if (const std::string why = SkipReason(); !why.empty()) GTEST_SKIP() << why;
    const test::TestDriver& d = test::Driver(test::DriverKind::SQLite);
    test::RawConnection raw(d);
    const std::string table = test::UniqueName("picked");
    raw.Exec("CREATE TABLE " + table + " (what varchar(20))");
    raw.Exec("INSERT INTO " + table + " VALUES ('the picked table')");
    const std::string form = TempForm();
    {
        TTmux tmux = Designer(form);
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
        ASSERT_TRUE(SaveAndQuit(tmux, form)) << tmux.Screen();
    }
    TOwnedPtr<TComponent> root = LoadForm(form);
    auto* t = dynamic_cast<TODBCTable*>(root->FindComponent("ODBCTable1"));
    ASSERT_NE(t, nullptr);
    t->Open();
    EXPECT_EQ(t->Fields().Fields(0)->AsString(), "the picked table");
    t->Close();
    raw.DropTableIfExists(table);
}

TEST(DesignScreenTmux, UpdateSQLEditorGeneratesOnTheScreenAndOKSavesStatementsThatWriteSQLite) {
    if (const std::string why = SkipReason(); !why.empty()) GTEST_SKIP() << why;
    const test::TestDriver& d = test::Driver(test::DriverKind::SQLite);
    test::RawConnection raw(d);
    const std::string table = test::UniqueName("upd");
    raw.Exec("CREATE TABLE " + table + " (id integer primary key, name varchar(20))");
    raw.Exec("INSERT INTO " + table + " VALUES (1, 'one')");
    const std::string form =
        MakeForm("--add TODBCDatabase:Db --add TODBCQuery:Q --add TODBCUpdateSQL:U --set Db.DataSourceName=" + d.Dsn +
                 " --set Db.LoginPrompt=False --set Q.Database=Db --set 'Q.SQL=SELECT * FROM " + table +
                 "' --set Q.UpdateObject=U");
    {
        TTmux tmux = Designer(form);
        ASSERT_TRUE(tmux.WaitFor("F10 quit"));
        tmux.Type("U");
        tmux.Keys("F6");
        ASSERT_TRUE(tmux.WaitFor("Generate SQL"));
        // The defaults: the primary key is the key, every field is updated.
        const std::string idRow = tmux.LineWith("[x] id");
        EXPECT_NE(idRow.find("[x] id", idRow.find("[x] id") + 1), std::string::npos) << tmux.Screen();
        EXPECT_NE(tmux.LineWith("[ ] name").find("[x] name"), std::string::npos) << tmux.Screen();
        tmux.Keys("C-g");
        ASSERT_TRUE(tmux.WaitFor("  name = :name"));
        tmux.Keys("C-o");
        ASSERT_TRUE(tmux.WaitFor("Editor... done"));
        ASSERT_TRUE(SaveAndQuit(tmux, form)) << tmux.Screen();
    }
    TOwnedPtr<TComponent> root = LoadForm(form);
    auto* q = dynamic_cast<TODBCQuery*>(root->FindComponent("Q"));
    auto* u = dynamic_cast<TODBCUpdateSQL*>(root->FindComponent("U"));
    ASSERT_TRUE(q && u);
    EXPECT_EQ(u->DeleteSQL()->Text(), "DELETE FROM " + table + "\r\nWHERE\r\n  id = :OLD_id\r\n");
    q->Open();
    q->Edit();
    q->FieldByName("name")->SetAsString("uno");
    u->Apply(ukModify);
    q->Cancel();
    q->Close();
    EXPECT_EQ(raw.Scalar("SELECT name FROM " + table + " WHERE id = 1"), "uno");
    raw.DropTableIfExists(table);
}

TEST(DesignScreenTmux, ParameterEditorRefusesAValueItsTypeCannotTakeThenStoresTypeAndValue) {
    if (const std::string why = SkipReason(); !why.empty()) GTEST_SKIP() << why;
    const std::string form = MakeForm("--add TODBCQuery:Q --set 'Q.SQL=SELECT * FROM t WHERE a = :amount'");
    {
        TTmux tmux = Designer(form);
        ASSERT_TRUE(tmux.WaitFor("F10 quit"));
        tmux.Keys("Tab");
        tmux.Type("Params");
        tmux.Keys("Enter");
        ASSERT_TRUE(tmux.WaitFor("Form1.Q Parameters"));
        tmux.Keys("Down");
        ASSERT_TRUE(tmux.WaitFor("Configuring parameter value"));
        tmux.Keys("Tab");
        tmux.Type("I");  // the first type starting with I: Integer
        tmux.Keys("Tab");
        tmux.Type("4x");
        tmux.Keys("Enter");
        ASSERT_TRUE(tmux.WaitFor("Parameter 'amount' unchanged"));
        EXPECT_NE(tmux.Screen().find("Form1.Q Parameters"), std::string::npos) << "the dialog stays open";
        tmux.Keys("BSpace");
        tmux.Type("2");
        tmux.Keys("Enter");
        ASSERT_TRUE(tmux.WaitFor("Params edited"));
        tmux.Type("About");
        tmux.Keys("Enter");
        ASSERT_TRUE(tmux.WaitFor("Velora Technical Support"));
        EXPECT_NE(tmux.Screen().find("TODBCQuery"), std::string::npos) << tmux.Screen();
        tmux.Keys("Enter");
        ASSERT_TRUE(tmux.WaitFor("About shown"));
        ASSERT_TRUE(SaveAndQuit(tmux, form)) << tmux.Screen();
    }
    TOwnedPtr<TComponent> root = LoadForm(form);
    auto* q = dynamic_cast<TODBCQuery*>(root->FindComponent("Q"));
    ASSERT_NE(q, nullptr);
    TODBCParam* amount = q->Params()->ParamByName("amount");
    EXPECT_EQ(amount->DataType(), ftInteger);
    EXPECT_EQ(amount->AsInteger(), 42);
}

/// The SGR sequence in force where `text` starts on its row of the styled
/// screen ("" when none).
std::string StyleBefore(const std::string& styled, const std::string& text) {
    const std::size_t at = styled.find(text);
    if (at == std::string::npos) return "";
    const std::size_t esc = styled.rfind("\033[", at);
    const std::size_t line = styled.rfind('\n', at);
    if (esc == std::string::npos || (line != std::string::npos && esc < line)) return "";
    return styled.substr(esc, styled.find('m', esc) - esc + 1);
}

// The dialogs as a person sees them: the control with the focus bold and
// underlined (a button between < and >), what is chosen in reverse video, so
// one is never taken for the other; a status message wider than its bar
// wraps instead of being cut; a list of values opens at the value the
// property has.
TEST(DesignScreenTmux, FocusUnlikeSelectionStatusWrapsAndValueListsOpenAtTheCurrentValue) {
    if (const std::string why = SkipReason(); !why.empty()) GTEST_SKIP() << why;
    const std::string column = "a_column_name_long_enough_to_pass_the_dialog_edge";
    const std::string form =
        MakeForm("--add TODBCQuery:Q --set 'Q.SQL=SELECT * FROM t WHERE " + column + " = :amount'");
    TTmux tmux = Designer(form);
    ASSERT_TRUE(tmux.WaitFor("F10 quit"));
    tmux.Keys("Tab");
    tmux.Type("UniD");
    tmux.Keys("Enter");
    ASSERT_TRUE(tmux.WaitFor("Pick a value:"));
    tmux.Type("True");
    tmux.Keys("Enter");
    ASSERT_TRUE(tmux.WaitFor(Row("UniDirectional", "True")));
    tmux.Keys("Enter");
    ASSERT_TRUE(tmux.WaitFor("Pick a value:"));
    tmux.Keys("Enter");  // the list opened at True: Enter keeps it
    ASSERT_TRUE(tmux.WaitFor("F7 add"));
    for (int i = 0; i < 100 && tmux.Screen().find("Pick a value:") != std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_NE(tmux.Screen().find(Row("UniDirectional", "True")), std::string::npos) << tmux.Screen();

    tmux.Type("Params");
    tmux.Keys("Enter");
    ASSERT_TRUE(tmux.WaitFor("Form1.Q Parameters"));
    tmux.Keys("Down");
    ASSERT_TRUE(tmux.WaitFor("Configuring parameter value"));
    EXPECT_NE(tmux.Screen().find("\"" + column + "\""), std::string::npos) << tmux.Screen();
    // The list has the focus: its chosen item is reverse and marked as focused.
    const std::string listStyle = StyleBefore(tmux.StyledScreen(), "amount");
    EXPECT_NE(listStyle.find('7'), std::string::npos) << listStyle;
    EXPECT_NE(listStyle.find('4'), std::string::npos) << listStyle;
    tmux.Keys("Tab Tab Tab");  // type, value, OK
    ASSERT_TRUE(tmux.WaitFor("<    OK    >"));
    const std::string styled = tmux.StyledScreen();
    const std::string okStyle = StyleBefore(styled, "<    OK");
    EXPECT_NE(okStyle.find("1;4"), std::string::npos) << okStyle;
    EXPECT_EQ(okStyle.find('7'), std::string::npos) << okStyle;
    const std::string chosen = StyleBefore(styled, "amount");
    EXPECT_NE(chosen.find('7'), std::string::npos) << "the chosen item stays reverse: " << chosen;
    EXPECT_EQ(chosen.find('4'), std::string::npos) << "without the focus's underline: " << chosen;
    tmux.Keys("Escape");
    ASSERT_TRUE(tmux.WaitFor("F7 add"));
    tmux.Keys("F10");
    ASSERT_TRUE(tmux.WaitFor("velora-exit=0"));
    std::filesystem::remove(form);
}

}  // namespace
}  // namespace velora
