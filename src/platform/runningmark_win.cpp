#include "platform/runningmark.h"

#include <windows.h>

namespace Platform {

void markRunning()
{
    // The name packaging/windows/tickvane.iss asks for; the global one is seen from other sessions.
    // The handles stay open until the process ends, which is what the installer waits for.
    CreateMutexW(nullptr, FALSE, L"QuorvixTickvaneFeed");
    CreateMutexW(nullptr, FALSE, L"Global\\QuorvixTickvaneFeed");
}

}
