#include "platform/steadyclock.h"

#include <windows.h>

namespace Platform {

qint64 steadyMs()
{
    // The tick count runs on through sleep and hibernation and ignores the time of day.
    return qint64(GetTickCount64());
}

}
