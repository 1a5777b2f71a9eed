#pragma once

class QString;

namespace Platform {

// Ends the named process image and its children by force, waiting at most 30 s.
void endProcessTree(const QString &imageName);

}
