#pragma once

namespace Platform {

// Keeps every log-in plugin the MySQL client library has loaded in the process until it ends.
// The client library unloads its plugins when the application object goes, but a plugin may have
// left an exit handler with the C runtime, which would then run code that is no longer there.
void keepDatabasePluginsLoaded();

}
