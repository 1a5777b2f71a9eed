#pragma once

// A main window over a feed engine assembled as the start-up controller assembles it: the
// single-instance check, the session, the vendor database, then the window.

#include "feed/amibrokerlivedata2.h"
#include "feed/feedsession.h"
#include "vendor/feedengine.h"
#include "vendor/vendorconnection.h"

namespace TestAssembly {

// Built before the window it is a base of, and gone after it.
struct Engine
{
    Engine() { engine.assemble(Platform::createAutomationObject); }
    FeedEngine engine;
};

}

class AssembledWindow : private TestAssembly::Engine, public amibrokerlivedata2
{
public:
    AssembledWindow()
        : TestAssembly::Engine()
        , amibrokerlivedata2(*engine.session)
    {
    }

    [[nodiscard]] FeedEngine &feedEngine() { return engine; }
    [[nodiscard]] VendorConnection *vendorConnection() const { return engine.connection.get(); }
};

// The account handed over as the start-up controller hands it: the window shows it, the session
// takes the user ID, restores the choices for the account's feeds, and the window shows them.
inline void startAccount(amibrokerlivedata2 &window, const QString &userId, const QString &feeds,
                         const QStringList &days, const QString &message)
{
    window.showAccount(userId, days, message);
    window.session().setUserId(userId);
    window.session().restoreChoices(feeds);
    window.showRestoredChoices();
}
