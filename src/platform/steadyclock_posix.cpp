#include "platform/steadyclock.h"

#include <time.h>

namespace Platform {

qint64 steadyMs()
{
    timespec now{};
#ifdef CLOCK_BOOTTIME
    // CLOCK_MONOTONIC stands still during suspend.
    if (clock_gettime(CLOCK_BOOTTIME, &now) == 0)
        return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
#endif
    clock_gettime(CLOCK_MONOTONIC, &now);
    return qint64(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}
