#pragma once

namespace Platform {

// Keeps every log-in plugin the MySQL client library has loaded in the process until it ends; to be
// called before the application object goes. The client library unloads its plugins then, but a
// plugin may have left an exit handler with the C runtime, which would run code no longer there.
void keepDatabasePluginsLoaded();

}
