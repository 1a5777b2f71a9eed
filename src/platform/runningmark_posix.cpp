#include "platform/runningmark.h"

namespace Platform {

// No installer runs elsewhere than Windows.
void markRunning()
{
}

}
