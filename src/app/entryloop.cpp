#include "app/entryloop.h"

#include "app/config.h"
#include "app/eventlog.h"
#include "app/qtcompat.h"
#include "app/settingsstore.h"
#include "app/version.h"
#include "platform/databaseplugins.h"

#include <QApplication>
#include <QDir>

int runEntryLoop(int &argc, char **argv, const std::function<std::unique_ptr<QObject>()> &startCycle)
{
    int exitCode = 0;
    bool restart = false;
    do {
        QtCompat::enableHighDpiScaling();
        auto application = std::make_unique<QApplication>(argc, argv);
        // A cycle that waited in the tray changed this for the whole process.
        QGuiApplication::setQuitOnLastWindowClosed(true);
        QCoreApplication::setOrganizationName(Store::Organisation);
        QCoreApplication::setApplicationName(Store::Application);
        QGuiApplication::setApplicationDisplayName(QString());
        QCoreApplication::setApplicationVersion(QStringLiteral(TICKVANE_VERSION));
        EventLog::info(QStringLiteral("app"), QStringLiteral("%1: Tickvane %2, install folder %3")
                                                  .arg(restart ? QStringLiteral("restart") : QStringLiteral("start"),
                                                       QStringLiteral(TICKVANE_VERSION),
                                                       QDir::toNativeSeparators(Config::instance().root())));
        restart = true;

        std::unique_ptr<QObject> controller = startCycle();
        exitCode = QApplication::exec();

        // Nothing of a finished cycle may outlive its application object.
        controller.reset();
        // The application object's end unloads the database client's plugins.
        Platform::keepDatabasePluginsLoaded();
        application.reset();
    } while (exitCode == RestartExitCode);
    // A log without this line ended in a crash or a forced exit.
    EventLog::info(QStringLiteral("app"), QStringLiteral("end"));
    return 0;
}
