#pragma once

namespace Platform {

// Makes the program's own folder the working directory. Shortcuts and autostart entries may start
// the program anywhere, and the update unpacks and runs its files in the working directory.
// Elsewhere than Windows nothing changes: tests and the demo choose the working directory.
void enterProgramFolder();

}
