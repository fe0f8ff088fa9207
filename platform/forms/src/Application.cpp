// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The application and screen singletons of Application.h.
#include "velora/forms/Application.h"

#include <algorithm>
#include <cstdio>

namespace velora {

namespace {

std::thread::id& MainThreadSlot() {
    static std::thread::id id = std::this_thread::get_id();
    return id;
}

// Captures the main thread during static initialisation, before any other
// thread can exist.
[[maybe_unused]] const bool mainThreadCaptured = (MainThreadSlot(), true);

}  // namespace

std::thread::id MainThreadID() { return MainThreadSlot(); }

// ---------------------------------------------------------------------------
// TApplication

TApplication::TApplication(TComponent* owner) : TComponent(owner) {}

String TApplication::Title() const {
    std::lock_guard<std::mutex> guard(FLock);
    return FTitle;
}

void TApplication::SetTitle(const String& title) {
    std::lock_guard<std::mutex> guard(FLock);
    FTitle = title;
}

void TApplication::HandleException(TObject* sender) {
    std::exception_ptr error = std::current_exception();
    if (error) HandleException(sender, error);
}

void TApplication::HandleException(TObject* sender, std::exception_ptr error) {
    if (!error) return;
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        if (OnException)
            OnException(sender, e);
        else
            ShowException(e);
    } catch (const std::exception& e) {
        Exception wrapped(e.what());
        if (OnException)
            OnException(sender, wrapped);
        else
            ShowException(wrapped);
    } catch (...) {
        Exception wrapped("Unknown exception");
        if (OnException)
            OnException(sender, wrapped);
        else
            ShowException(wrapped);
    }
}

void TApplication::ShowException(const Exception& e) {
    String message = e.Message();
    if (!message.empty() && message.back() != '.') message += '.';
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
}

// ---------------------------------------------------------------------------
// TScreen

TScreen::TScreen(TComponent* owner) : TComponent(owner) {}

TCursor TScreen::Cursor() const {
    std::lock_guard<std::mutex> guard(FLock);
    return FCursor;
}

void TScreen::SetCursor(TCursor value) {
    std::vector<TCursorObserver> observers;
    {
        std::lock_guard<std::mutex> guard(FLock);
        FCursor = value;
        observers.reserve(FObservers.size());
        for (auto& [id, observer] : FObservers) observers.push_back(observer);
    }
    for (auto& observer : observers) observer(value);
}

int TScreen::AddCursorObserver(TCursorObserver observer) {
    std::lock_guard<std::mutex> guard(FLock);
    int id = FNextObserverId++;
    FObservers.emplace_back(id, std::move(observer));
    return id;
}

void TScreen::RemoveCursorObserver(int id) {
    std::lock_guard<std::mutex> guard(FLock);
    FObservers.erase(
        std::remove_if(FObservers.begin(), FObservers.end(), [id](const auto& o) { return o.first == id; }),
        FObservers.end());
}

// ---------------------------------------------------------------------------
// Globals: created on first use, never destroyed.

TApplication& GetApplication() {
    static TApplication* application = new TApplication(nullptr);
    return *application;
}

TScreen& GetScreen() {
    static TScreen* screen = new TScreen(nullptr);
    return *screen;
}

// ---------------------------------------------------------------------------
// TCursorRecorder

TCursorRecorder::TCursorRecorder() {
    FId = Screen->AddCursorObserver([this](TCursor value) {
        std::lock_guard<std::mutex> guard(FLock);
        FValues.push_back(value);
    });
}

TCursorRecorder::~TCursorRecorder() { Screen->RemoveCursorObserver(FId); }

std::vector<TCursor> TCursorRecorder::Values() const {
    std::lock_guard<std::mutex> guard(FLock);
    return FValues;
}

void TCursorRecorder::Clear() {
    std::lock_guard<std::mutex> guard(FLock);
    FValues.clear();
}

}  // namespace velora
