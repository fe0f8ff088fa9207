// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// The application and screen objects of the forms library: TApplication (title, exception
// handling, main-thread identity) and TScreen (the mouse cursor shown while
// the library connects or allocates). Both are process-wide singletons that
// the components reach through the globals `Application` and `Screen`.
//
// The globals are constant-initialised handles whose operator-> creates the
// object on first use, so code running during static initialisation (the
// components' package start-up) may use them in any order. The objects are
// never destroyed: code running during static destruction may use them too.
#pragma once

#include "velora/classes/Classes.h"

#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace velora {

/// Screen cursor identifiers.
using TCursor = int;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crSizeNWSE = -8;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crSQLWait = -17;

/// Handler of an exception that reached the application.
using TExceptionEvent = std::function<void(TObject* Sender, const Exception& E)>;

/// The thread that initialised the program (captured during static
/// initialisation).
std::thread::id MainThreadID();
/// The calling thread.
inline std::thread::id GetCurrentThreadID() { return std::this_thread::get_id(); }

/// The application object.
class TApplication : public TComponent {
public:
    explicit TApplication(TComponent* owner);

    /// The application's title; empty unless set.
    String Title() const;
    void SetTitle(const String& title);

    /// Hands the exception being handled (call inside a catch block) to
    /// OnException, or, when none is assigned, writes its message to
    /// stderr. Outside a catch block it does nothing.
    void HandleException(TObject* sender);
    /// The same for a captured exception.
    void HandleException(TObject* sender, std::exception_ptr error);
    /// Writes the message to stderr (the default handling).
    void ShowException(const Exception& e);

    std::thread::id MainThreadID() const { return velora::MainThreadID(); }

    /// Replaceable exception handler (tests install a recorder).
    TExceptionEvent OnException;

private:
    mutable std::mutex FLock;
    String FTitle;
};

/// The screen: the cursor shown to the user.
class TScreen : public TComponent {
public:
    using TCursorObserver = std::function<void(TCursor)>;

    explicit TScreen(TComponent* owner);

    TCursor Cursor() const;
    /// Sets the cursor and tells every observer of the value set (also when
    /// it equals the current one). Callable from any thread.
    void SetCursor(TCursor value);

    /// Adds an observer of every cursor value set; returns its id.
    int AddCursorObserver(TCursorObserver observer);
    void RemoveCursorObserver(int id);

private:
    mutable std::mutex FLock;
    TCursor FCursor = crDefault;
    int FNextObserverId = 1;
    std::vector<std::pair<int, TCursorObserver>> FObservers;
};

TApplication& GetApplication();
TScreen& GetScreen();

namespace detail {
/// A constant-initialised handle to a lazily created singleton.
template <class T, T& (*Get)()>
struct TGlobalObject {
    T* operator->() const { return &Get(); }
    T& operator*() const { return Get(); }
};
}  // namespace detail

/// The global application object: Application->HandleException(this).
inline constexpr detail::TGlobalObject<TApplication, &GetApplication> Application{};
/// The global screen object: Screen->SetCursor(crSQLWait).
inline constexpr detail::TGlobalObject<TScreen, &GetScreen> Screen{};

/// Records the cursor values set while it lives (tests, traces).
class TCursorRecorder {
public:
    TCursorRecorder();
    ~TCursorRecorder();
    TCursorRecorder(const TCursorRecorder&) = delete;
    TCursorRecorder& operator=(const TCursorRecorder&) = delete;
    /// The values set so far, in order.
    std::vector<TCursor> Values() const;
    void Clear();

private:
    mutable std::mutex FLock;
    std::vector<TCursor> FValues;
    int FId;
};

}  // namespace velora
