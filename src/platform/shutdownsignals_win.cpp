#include "platform/shutdownsignals.h"

namespace Platform {

// Windows ends a GUI program through its windows, which already run the close sequence.
void watchShutdownSignals(QObject *, std::function<void()>) {}

}
