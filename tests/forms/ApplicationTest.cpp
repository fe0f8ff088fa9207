// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The application and screen globals: exception handling through the
// replaceable handler or stderr, the main thread, and the cursor sequence
// that observers see.
#include "velora/forms/Application.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <thread>

using namespace velora;

namespace {

// Restores the global handler whatever a test does.
class ApplicationTest : public ::testing::Test {
protected:
    void TearDown() override { Application->OnException = nullptr; }
};

TEST_F(ApplicationTest, HandleExceptionGoesToTheReplaceableHandler) {
    TComponent sender(nullptr);
    std::vector<std::pair<TObject*, String>> seen;
    Application->OnException = [&](TObject* s, const Exception& e) { seen.emplace_back(s, e.Message()); };
    try {
        throw EDatabaseError("Cannot connect to database 'x'");
    } catch (...) {
        Application->HandleException(&sender);
    }
    try {
        throw std::runtime_error("plain");
    } catch (...) {
        Application->HandleException(nullptr);
    }
    Application->HandleException(&sender);  // no exception in flight: nothing
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].first, &sender);
    EXPECT_EQ(seen[0].second, "Cannot connect to database 'x'");
    EXPECT_EQ(seen[1].first, nullptr);
    EXPECT_EQ(seen[1].second, "plain");
}

TEST_F(ApplicationTest, WithoutAHandlerTheMessageGoesToStderr) {
    testing::internal::CaptureStderr();
    try {
        throw EDatabaseError("Update failed");
    } catch (...) {
        Application->HandleException(nullptr);
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Update failed.\n");
}

TEST_F(ApplicationTest, TitleAndMainThread) {
    const String saved = Application->Title();
    Application->SetTitle("Velora test");
    EXPECT_EQ(GetApplication().Title(), "Velora test");
    Application->SetTitle(saved);
    EXPECT_EQ(Application->MainThreadID(), std::this_thread::get_id());
    std::thread::id other;
    std::thread([&] { other = GetCurrentThreadID(); }).join();
    EXPECT_NE(other, MainThreadID());
}

TEST(ScreenTest, ObserversSeeEveryCursorValueSetFromAnyThread) {
    TCursorRecorder recorder;
    Screen->SetCursor(crSQLWait);
    Screen->SetCursor(crDefault);
    Screen->SetCursor(crDefault);  // the same value again is still reported
    std::thread([] { Screen->SetCursor(crHourGlass); }).join();
    EXPECT_EQ(Screen->Cursor(), crHourGlass);
    Screen->SetCursor(crDefault);
    EXPECT_EQ(recorder.Values(), (std::vector<TCursor>{-17, 0, 0, -11, 0}));

    int removedCalls = 0;
    int id = Screen->AddCursorObserver([&](TCursor) { ++removedCalls; });
    Screen->RemoveCursorObserver(id);
    recorder.Clear();
    Screen->SetCursor(crSQLWait);
    Screen->SetCursor(crDefault);
    EXPECT_EQ(removedCalls, 0);
    EXPECT_EQ(recorder.Values(), (std::vector<TCursor>{crSQLWait, crDefault}));
}

}  // namespace
