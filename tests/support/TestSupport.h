// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Helpers every test program shares: the message of the exception a call
// raises, and an owner that frees the components of one test through the
// owner tree.
#pragma once

#include "velora/classes/Classes.h"
#include "velora/rtl/SysUtils.h"

namespace velora::test {

/// The message of the Exception `f` raises, or "(no error)".
template <typename F>
String ErrorOf(F&& f) {
    try {
        f();
    } catch (const Exception& e) {
        return e.Message();
    }
    return "(no error)";
}

/// Owns the components of one test (created with Root as their owner) and
/// frees them through the owner tree when the test ends.
struct Owner {
    TComponent* Root = new TComponent(nullptr);
    Owner() = default;
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    ~Owner() { Root->Free(); }
};

}  // namespace velora::test
