// Copyright (C) 2026 The Velora developers
// SPDX-License-Identifier: MIT
//
// Unit SMIntf: the SQL monitor's client interface as the sessions use it.
// A monitor makes itself known in two ways: it keeps a shared-memory object
// named "SMBuffer" open while it runs, and it registers a class factory for
// Class_SMClient in this process (platform ComObj). A session then creates a
// client object and registers itself with it, handing over a callback
// through which the monitor sets the session's trace flags.
#pragma once

#include "velora/classes/Classes.h"
#include "velora/rtl/ComObj.h"

#include <cstdint>
#include <functional>

namespace velora {

/// The callback a registered client calls with new trace flags (the low 16
/// bits of Data are the flag set).
using TSMClientSignal = std::function<void(TObject* Sender, std::int32_t Data)>;

/// The monitor client. After the three IUnknown methods it offers one
/// registration method.
class ISMClient : public IUnknown {
public:
    static constexpr TGUID IID = StringToGUID("{CB9879E1-4395-11D0-9FFC-00A0248E4B9A}");

    /// Registers a client: ID identifies it to the monitor (a session passes
    /// its environment handle, kept pointer-sized so that it stays unique),
    /// Name is the text the monitor shows, Instance the registering object,
    /// SignalProc the callback for trace-flag changes. Answers non-zero
    /// when the client is registered.
    virtual std::int16_t RegisterClient(std::uintptr_t ID, const char* Name, TObject* Instance,
                                        TSMClientSignal SignalProc) = 0;

protected:
    ~ISMClient() override = default;
};

/// The interface identifier of ISMClient, {CB9879E1-4395-11D0-9FFC-00A0248E4B9A}.
inline constexpr TGUID IID_ISMClient = ISMClient::IID;

/// The class identifier under which a monitor registers its client factory.
inline constexpr TGUID Class_SMClient = StringToGUID("{CB9879E0-4395-11D0-9FFC-00A0248E4B9A}");

/// The shared-memory object a running monitor keeps open.
inline constexpr const char* SMBufferName = "SMBuffer";

}  // namespace velora
