// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The login dialog: its stored layout, the focus rules, NameReadOnly, what
// comes back on OK and what stays on every other way out, the 31-character
// limit, FormShow's rule for long data source names, ownership by the
// Application, and a real conversation on a pseudo-terminal.
#include "velora/components/ODBClog.h"

#include "velora/forms/Application.h"
#include "velora/classes/FormFiles.h"
#include "velora/forms/Presenters.h"

#include "support/PseudoTerminal.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

using namespace velora;

namespace {

std::shared_ptr<TScriptedPresenter> Script() { return std::make_shared<TScriptedPresenter>(); }

struct TExpectedControl {
    const char* Name;
    const char* Parent;
    int Left, Top, Width, Height;  // -1: not checked
    const char* Text;
    int TabOrder;  // -1 for controls without one
};

// The stored layout, control by control.
const TExpectedControl ExpectedLayout[] = {
    {"OKButton", "ODBCLoginDialog", 109, 154, 75, 25, "&OK", 0},
    {"CancelButton", "ODBCLoginDialog", 190, 154, 75, 25, "Cancel", 1},
    {"MainPanel", "ODBCLoginDialog", 12, 7, 257, 138, "", 2},
    {"Label3", "MainPanel", 10, 6, 54, 13, "Database:", -1},
    {"DatabaseName", "MainPanel", 91, 6, -1, 13, "", -1},
    {"Separator", "MainPanel", 1, 24, 254, 9, "", -1},
    {"KeyImage", "MainPanel", 8, 40, 69, 89, "", -1},
    {"Label1", "MainPanel", 90, 35, 60, 13, "&User Name:", -1},
    {"UserName", "MainPanel", 88, 56, 153, 21, "", 0},
    {"Label2", "MainPanel", 90, 87, 54, 13, "&Password:", -1},
    {"Password", "MainPanel", 88, 104, 153, 21, "", 1},
};

}  // namespace

TEST(LoginDialog, StoredLayoutIsTheFormsOwnData) {
    TOwnedPtr<TODBCLoginDialog> d(new TODBCLoginDialog(nullptr));
    EXPECT_EQ(d->Name(), "ODBCLoginDialog");
    EXPECT_EQ(d->Caption(), "Please enter your Login Information");
    EXPECT_EQ(d->ClientWidth(), 281);
    EXPECT_EQ(d->ClientHeight(), 185);
    EXPECT_EQ(d->BorderStyle(), bsDialog);
    EXPECT_EQ(d->Position(), poScreenCenter);
    EXPECT_TRUE(d->ParentFont());
    EXPECT_EQ(d->ActiveControl(), d->Password);
    EXPECT_TRUE(static_cast<bool>(d->OnShow));
    EXPECT_EQ(d->EventHandlerName("OnShow"), "FormShow");

    for (const TExpectedControl& e : ExpectedLayout) {
        SCOPED_TRACE(e.Name);
        auto* c = dynamic_cast<TControl*>(d->FindComponent(e.Name));
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(c->Owner(), d.get());
        ASSERT_NE(c->Parent(), nullptr);
        EXPECT_EQ(c->Parent()->Name(), e.Parent);
        EXPECT_EQ(c->Left(), e.Left);
        EXPECT_EQ(c->Top(), e.Top);
        if (e.Width >= 0) {
            EXPECT_EQ(c->Width(), e.Width);
        }
        EXPECT_EQ(c->Height(), e.Height);
        EXPECT_EQ(c->Caption(), e.Text);
        if (auto* w = dynamic_cast<TWinControl*>(c)) {
            EXPECT_EQ(w->TabOrder(), e.TabOrder);
        }
    }
    EXPECT_TRUE(d->OKButton->Default());
    EXPECT_FALSE(d->OKButton->Cancel());
    EXPECT_EQ(d->OKButton->ModalResult(), mrOk);
    EXPECT_TRUE(d->CancelButton->Cancel());
    EXPECT_FALSE(d->CancelButton->Default());
    EXPECT_EQ(d->CancelButton->ModalResult(), mrCancel);
    EXPECT_EQ(d->MainPanel->BevelInner(), bvRaised);
    EXPECT_EQ(d->MainPanel->BevelOuter(), bvLowered);
    EXPECT_EQ(d->Separator->Shape(), bsTopLine);
    EXPECT_TRUE(d->KeyImage->Picture()->Empty());
    EXPECT_EQ(d->Label1->FocusControl(), d->UserName);
    EXPECT_EQ(d->Label2->FocusControl(), d->Password);
    EXPECT_EQ(d->UserName->MaxLength(), 31);
    EXPECT_EQ(d->UserName->PasswordChar(), '\0');
    EXPECT_EQ(d->Password->MaxLength(), 31);
    EXPECT_EQ(d->Password->PasswordChar(), '*');
    EXPECT_EQ(d->MainPanel->ControlCount(), 8);

    // Written out, the form gives back exactly its stored layout.
    EXPECT_EQ(WriteComponentToString(d.get()), TODBCLoginDialog::StoredLayout());
}

TEST(LoginDialog, EmptyProposedNameFocusesTheUserNameBox) {
    auto user = Script();
    TPresenterScope scope(user);
    String name, password = "old";
    user->Type("scott").Key(VK_TAB).Type("tiger").Key(VK_RETURN);
    EXPECT_TRUE(LoginDialogEx("VeloraSample", name, password, false));
    EXPECT_EQ(name, "scott");
    EXPECT_EQ(password, "tiger");
    ASSERT_EQ(user->Shown().size(), 1u);
    const TFormView& shown = user->Shown()[0];
    EXPECT_EQ(shown.Focused, "UserName");
    EXPECT_EQ(shown.Control("DatabaseName")->Text, "VeloraSample");
    EXPECT_EQ(shown.Control("Password")->Text, "") << "the incoming password is not shown";
    EXPECT_TRUE(shown.Control("UserName")->Enabled);
}

TEST(LoginDialog, KnownUserNameFocusesThePasswordBox) {
    auto user = Script();
    TPresenterScope scope(user);
    String name = "scott", password = "old";
    user->Type("tiger").Key(VK_RETURN);
    EXPECT_TRUE(LoginDialogEx("VeloraSample", name, password, false));
    EXPECT_EQ(user->Shown()[0].Focused, "Password");
    EXPECT_EQ(user->Shown()[0].Control("UserName")->Text, "scott");
    EXPECT_EQ(name, "scott");
    EXPECT_EQ(password, "tiger");

    // The user may still change the proposed name.
    user->TypeInto("UserName", "adams").Focus("Password").Type("x").Click("OKButton");
    EXPECT_TRUE(LoginDialogEx("VeloraSample", name, password, false));
    EXPECT_EQ(name, "adams");
    EXPECT_EQ(password, "x");
}

TEST(LoginDialog, NameReadOnlyDisablesTheUserNameBox) {
    auto user = Script();
    TPresenterScope scope(user);
    String name = "scott", password;
    user->TypeInto("UserName", "eve").Type("tiger").Key(VK_RETURN);
    EXPECT_TRUE(LoginDialogEx("VeloraSample", name, password, true));
    EXPECT_EQ(name, "scott") << "comes back unchanged";
    EXPECT_EQ(password, "tiger");
    EXPECT_FALSE(user->Shown()[0].Control("UserName")->Enabled);
    EXPECT_EQ(user->Shown()[0].Focused, "Password");
    EXPECT_EQ(user->Refused(), (std::vector<String>{"TypeInto UserName: refused"}));

    // Even with no proposed name the disabled box does not get the focus.
    String empty;
    user->Key(VK_RETURN);
    EXPECT_TRUE(LoginDialogEx("VeloraSample", empty, password, true));
    EXPECT_EQ(user->Shown()[1].Focused, "Password");
    EXPECT_EQ(empty, "");
    EXPECT_EQ(password, "");
}

TEST(LoginDialog, EveryWayButOkLeavesBothVariables) {
    auto user = Script();
    TPresenterScope scope(user);
    const struct {
        const char* Way;
        std::function<void(TScriptedPresenter&)> Close;
    } ways[] = {
        {"Cancel button", [](TScriptedPresenter& u) { u.Click("CancelButton"); }},
        {"Escape", [](TScriptedPresenter& u) { u.Key(VK_ESCAPE); }},
        {"window closed", [](TScriptedPresenter& u) { u.CloseWindow(); }},
        {"user gave up", [](TScriptedPresenter&) {}},
        {"Return on the focused Cancel button", [](TScriptedPresenter& u) { u.Focus("CancelButton").Key(VK_RETURN); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.Way);
        String name = "scott", password = "old";
        user->TypeInto("UserName", "eve").TypeInto("Password", "secret");
        way.Close(*user);
        EXPECT_FALSE(LoginDialogEx("VeloraSample", name, password, false));
        EXPECT_EQ(name, "scott");
        EXPECT_EQ(password, "old");
        EXPECT_EQ(user->PendingSteps(), 0);
    }

    // With no presenter (no terminal, none installed) the answer is Cancel
    // at once, and nothing is shown.
    TPresenterScope none(nullptr);
    String name = "scott", password = "old";
    EXPECT_FALSE(LoginDialogEx("VeloraSample", name, password, false));
    EXPECT_EQ(password, "old");
}

TEST(LoginDialog, NoMoreThan31CharactersCanBeTyped) {
    auto user = Script();
    TPresenterScope scope(user);
    String name, password;
    user->Type(String(40, 'u')).Key(VK_TAB).Type(String(32, 'p')).Key(VK_RETURN);
    EXPECT_TRUE(LoginDialogEx("VeloraSample", name, password, false));
    EXPECT_EQ(name, String(31, 'u'));
    EXPECT_EQ(password, String(31, 'p'));

    // A longer proposed name is kept (the program may set it), but typing
    // into the full box adds nothing.
    name = String(35, 'n');
    user->Focus("UserName").Key(VK_END).Type("x").Key(VK_RETURN);
    EXPECT_TRUE(LoginDialogEx("VeloraSample", name, password, false));
    EXPECT_EQ(name, String(35, 'n'));
}

TEST(LoginDialog, FormShowKeepsALongDataSourceNameInsideThePanel) {
    auto user = Script();
    TPresenterScope scope(user);
    const struct {
        String Dsn;
        int Width;
    } cases[] = {
        {"VeloraSample", 72},             // 12 characters of 6 pixels: fits
        {String(27, 'd'), 162},           // right edge 253 < 257: fits
        {String(28, 'd'), 257 - 91 - 5},  // right edge 259: cut to 161
        {String(120, 'd'), 257 - 91 - 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Dsn.size());
        String name = "scott", password;
        user->Key(VK_ESCAPE);
        LoginDialogEx(c.Dsn, name, password, false);
        const TControlView* label = user->Shown().back().Control("DatabaseName");
        EXPECT_EQ(label->Text, c.Dsn);
        EXPECT_EQ(label->Width, c.Width);
        if (c.Width == 161) {
            EXPECT_EQ(label->Left + label->Width, 257 - 5) << "5 pixels before the inner edge";
        } else {
            EXPECT_LT(label->Left + label->Width, 257);
        }
    }

    // The rule itself, with the edge case of a name ending exactly at the
    // panel's inner edge.
    TOwnedPtr<TODBCLoginDialog> d(new TODBCLoginDialog(nullptr));
    d->DatabaseName->SetAutoSize(false);
    d->DatabaseName->SetWidth(257 - 91);
    d->FormShow(d.get());
    EXPECT_EQ(d->DatabaseName->Width(), 161);
    d->DatabaseName->SetWidth(257 - 91 - 1);
    d->FormShow(d.get());
    EXPECT_EQ(d->DatabaseName->Width(), 165);
}

TEST(LoginDialog, OwnedByTheApplicationAndFreedOnEveryPath) {
    auto user = Script();
    TPresenterScope scope(user);
    const int before = Application->ComponentCount();
    int during = -1;
    TComponent* owner = nullptr;
    user->Examine([&](TCustomForm& f) {
            during = Application->ComponentCount();
            owner = f.Owner();
        })
        .Key(VK_RETURN);
    String name = "scott", password;
    EXPECT_TRUE(LoginDialogEx("VeloraSample", name, password, false));
    EXPECT_EQ(during, before + 1);
    EXPECT_EQ(owner, &*Application);
    EXPECT_EQ(Application->ComponentCount(), before);

    // An exception while the dialog is shown still frees it.
    user->Type("typed").Examine([](TCustomForm&) { throw EDatabaseError("lost"); });
    password = "old";
    EXPECT_THROW(LoginDialogEx("VeloraSample", name, password, false), EDatabaseError);
    EXPECT_EQ(Application->ComponentCount(), before);
    EXPECT_EQ(password, "old");

    // One after the other, the dialogs take the same name without a clash.
    for (int i = 0; i < 3; ++i) {
        user->Key(VK_RETURN);
        EXPECT_TRUE(LoginDialogEx("VeloraSample", name, password, false));
    }
    EXPECT_EQ(Application->ComponentCount(), before);
}

// ---------------------------------------------------------------- on a terminal

namespace {

// The child's side: the dialog through the default presenter (the terminal
// on standard input), then one line with the outcome.
int LoginAtTerminal(const char* proposedName) {
    ResetFormPresenter();
    termios before{}, after{};
    tcgetattr(STDIN_FILENO, &before);
    String name = proposedName, password = "old";
    const bool ok = LoginDialogEx("VeloraSample", name, password, false);
    tcgetattr(STDIN_FILENO, &after);
    const bool restored = before.c_lflag == after.c_lflag && before.c_iflag == after.c_iflag;
    std::printf("RESULT ok=%d user=[%s] password=[%s] restored=%d\n", ok ? 1 : 0, name.c_str(), password.c_str(),
                restored ? 1 : 0);
    std::fflush(stdout);
    return 0;
}

}  // namespace

TEST(LoginDialogTerminal, TypedNameAndUnechoedPasswordComeBackOnEnter) {
    test::TPtyChild child([] { return LoginAtTerminal(""); });
    ASSERT_TRUE(child.WaitFor("User Name: ")) << child.Output();
    child.Type("bob\r");
    ASSERT_TRUE(child.WaitFor("Password: ")) << child.Output();
    child.Type("s3cret\r");
    ASSERT_TRUE(child.WaitFor("restored=")) << child.Output();
    EXPECT_EQ(child.Wait(), 0);
    const String out = child.Output();
    const std::size_t result = out.find("RESULT");
    EXPECT_NE(out.find("Please enter your Login Information"), String::npos);
    EXPECT_NE(out.find("Database: VeloraSample"), String::npos) << out;
    EXPECT_NE(out.find("ok=1 user=[bob] password=[s3cret] restored=1"), String::npos) << out;
    EXPECT_EQ(out.substr(0, result).find("s3cret"), String::npos) << "the password was echoed:\n" << out;
    EXPECT_NE(out.substr(0, result).find("******"), String::npos);
    EXPECT_NE(out.substr(0, result).find("bob"), String::npos) << "the user name is echoed";
}

TEST(LoginDialogTerminal, EscapeOrEndOfInputCancelAndLeaveBothVariables) {
    for (const char* keys : {"eve\x1b", "eve\x04"}) {
        SCOPED_TRACE(keys[3] == '\x1b' ? "Escape" : "Ctrl-D");
        test::TPtyChild child([] { return LoginAtTerminal("scott"); });
        ASSERT_TRUE(child.WaitFor("User Name: scott")) << child.Output();
        child.Type(keys);
        ASSERT_TRUE(child.WaitFor("restored=")) << child.Output();
        EXPECT_EQ(child.Wait(), 0);
        EXPECT_NE(child.Output().find("ok=0 user=[scott] password=[old] restored=1"), String::npos) << child.Output();
    }
}

TEST(LoginDialogTerminal, WithoutATerminalTheLoginIsCancelledAtOnce) {
    test::TPtyChild child([] {
        const int devNull = ::open("/dev/null", O_RDONLY);
        ::dup2(devNull, STDIN_FILENO);
        ResetFormPresenter();
        String name = "scott", password = "old";
        const bool ok = LoginDialogEx("VeloraSample", name, password, false);
        return !ok && name == "scott" && password == "old" ? 0 : 1;
    });
    EXPECT_EQ(child.Wait(), 0) << child.Output();
    EXPECT_EQ(child.Output().find("Login Information"), String::npos) << "nothing is shown";
}

TEST(LoginDialogTerminal, ABackgroundJobDoesNotPromptAndIsNotStopped) {
    // A process outside the terminal's foreground group would be stopped by
    // its first terminal read: it must not take the terminal as its user.
    test::TPtyChild child([] {
        const pid_t job = ::fork();
        if (job == 0) {
            ::setpgid(0, 0);
            ResetFormPresenter();
            String name = "scott", password = "old";
            const bool ok = LoginDialogEx("VeloraSample", name, password, false);
            ::_exit(!ok && password == "old" ? 0 : 1);
        }
        int status = 0;
        ::waitpid(job, &status, WUNTRACED);
        if (WIFSTOPPED(status)) {
            ::kill(job, SIGKILL);
            ::waitpid(job, &status, 0);
            return 2;
        }
        return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
    });
    EXPECT_EQ(child.Wait(), 0) << "2: the job was stopped by the terminal\n" << child.Output();
}
