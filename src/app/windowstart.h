#pragma once

#include <QStringList>

#include <functional>

class QWidget;

// How the trader's window first appears in a cycle of the process: "--minimized" (the start at
// sign-in) leaves it in the tray, and a restart keeps what the trader left.
namespace WindowStart {

enum class Look {
    Shown,
    Minimized,
    InTray,   // not shown at all; the tray's "Show" brings it up
};

// "--minimized" among the arguments starts in the tray; no other argument is looked at.
[[nodiscard]] Look fromArguments(const QStringList &arguments);

// The look the window has now.
[[nodiscard]] Look of(const QWidget *window);

// For the next cycle of this process; taken by forThisCycle.
void carryOver(Look look);

// The look a restart carried over, else the one the arguments ask for.
[[nodiscard]] Look forThisCycle(const QStringList &arguments);

// Shows the window in that look. Waiting in the tray needs a tray: without one it is minimised.
// While it waits there, no box the feed shows and closes may end the event loop.
void show(QWidget *window, Look look);

// The desktop's answer unless a test sets its own (empty: the desktop's again).
[[nodiscard]] bool trayAvailable();
void setTrayAvailable(std::function<bool()> check);

}
