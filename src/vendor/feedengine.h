#pragma once

#include "platform/automationobject.h"

#include <memory>

class FeedSession;
class VendorConnection;

// The feed engine as the start-up controller builds it before any window: the vendor database
// connection and the feed session over it. The session goes before the connection it asks.
struct FeedEngine
{
    std::unique_ptr<VendorConnection> connection;
    std::unique_ptr<FeedSession> session;

    FeedEngine();
    ~FeedEngine();

    // The single-instance check, the vendor database, then the session (creating it may start
    // AmiBroker, so both come first). When another copy runs or the database is out of reach,
    // the trader is told and the process ends; false then.
    bool assemble(const Platform::AutomationFactory &automation);
};
