#pragma once

namespace Platform {

// Marks this process as a running feed for as long as it lives, under a name the installer asks
// for, so that an upgrade closes the feed before it replaces the feed's files.
void markRunning();

}
