#pragma once

class QString;

namespace Platform {

// Brings the top-level window with exactly this title (letter case ignored) to the front and shows it.
void raiseWindowTitled(const QString &title);

}
