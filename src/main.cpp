#include "app/entryloop.h"
#include "app/eventlog.h"
#include "feed/amibrokerlivedata2.h"
#include "platform/automationobject.h"
#include "platform/programfolder.h"
#include "platform/runningmark.h"
#include "platform/shutdownsignals.h"
#include "vendor/authdialog.h"

#include <QApplication>
#include <QTimer>

namespace {

// Ends the program as a trader's close would: every open window runs its own close handling.
void endOnRequest()
{
    QApplication::closeAllWindows();
    QCoreApplication::exit(0);
    // A request met in a loop of the start routine (the splash) must still end the main loop.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
}

std::unique_ptr<QObject> startCycle()
{
    auto controller = std::make_unique<authDialog>(Platform::createAutomationObject, [](FeedSession &session) {
        return std::make_unique<amibrokerlivedata2>(session);
    });
    Platform::watchShutdownSignals(controller.get(), endOnRequest);
    controller->start();
    return controller;
}

}

int main(int argc, char **argv)
{
    // The pictures live in the static GUI library.
    Q_INIT_RESOURCE(resources);
    Platform::enterProgramFolder();
    Platform::markRunning();
    EventLog log;
    EventLog::installMessageHandler();
    const int status = runEntryLoop(argc, argv, startCycle);
    EventLog::uninstallMessageHandler();
    return status;
}
