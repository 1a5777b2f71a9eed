#include "platform/databaseplugins.h"

namespace Platform {

// The C library runs a shared object's exit handlers when it is unloaded: nothing to keep.
void keepDatabasePluginsLoaded()
{
}

}
