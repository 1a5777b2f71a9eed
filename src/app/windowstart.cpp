#include "app/windowstart.h"

#include "app/eventlog.h"

#include <QGuiApplication>
#include <QSystemTrayIcon>
#include <QWidget>

#include <optional>

namespace WindowStart {

namespace {

// Lives beside the cycles, as the process's arguments do.
std::optional<Look> g_carried;

std::function<bool()> &trayCheck()
{
    static std::function<bool()> check;
    return check;
}

}

Look fromArguments(const QStringList &arguments)
{
    return arguments.mid(1).contains(QStringLiteral("--minimized")) ? Look::InTray : Look::Shown;
}

Look of(const QWidget *window)
{
    if (!window->isVisible())
        return Look::InTray;
    return window->isMinimized() ? Look::Minimized : Look::Shown;
}

void carryOver(Look look)
{
    g_carried = look;
}

Look forThisCycle(const QStringList &arguments)
{
    const Look look = g_carried.value_or(fromArguments(arguments));
    g_carried.reset();
    return look;
}

void show(QWidget *window, Look look)
{
    if (look == Look::InTray && trayAvailable()) {
        // Nothing is shown, so closing any box would count as closing the last window. The
        // window's own close ends the loop itself then.
        QGuiApplication::setQuitOnLastWindowClosed(false);
        EventLog::info(QStringLiteral("app"), QStringLiteral("started in the tray"));
        return;
    }
    if (look == Look::Shown)
        window->show();
    else
        window->showMinimized();
}

bool trayAvailable()
{
    return trayCheck() ? trayCheck()() : QSystemTrayIcon::isSystemTrayAvailable();
}

void setTrayAvailable(std::function<bool()> check)
{
    trayCheck() = std::move(check);
}

}
