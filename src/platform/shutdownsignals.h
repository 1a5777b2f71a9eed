#pragma once

#include <functional>

class QObject;

namespace Platform {

// Delivers a request to end the program from outside (SIGTERM, SIGINT) to onRequest on the
// owner's thread, from its event loop, for as long as owner lives. Requests that arrive while
// no owner watches wait for the next one. Nothing on systems without such signals.
void watchShutdownSignals(QObject *owner, std::function<void()> onRequest);

}
