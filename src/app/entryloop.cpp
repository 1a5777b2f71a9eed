#include "app/entryloop.h"

#include "app/settingsstore.h"
#include "app/version.h"

#include <QApplication>

int runEntryLoop(int &argc, char **argv, const std::function<std::unique_ptr<QObject>()> &startCycle)
{
    int exitCode = 0;
    do {
        QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
        auto application = std::make_unique<QApplication>(argc, argv);
        QCoreApplication::setOrganizationName(Store::Organisation);
        QCoreApplication::setApplicationName(Store::Application);
        QGuiApplication::setApplicationDisplayName(QString());
        QCoreApplication::setApplicationVersion(QStringLiteral(TICKVANE_VERSION));

        std::unique_ptr<QObject> controller = startCycle();
        exitCode = QApplication::exec();

        // Nothing of a finished cycle may outlive its application object.
        controller.reset();
        application.reset();
    } while (exitCode == RestartExitCode);
    return 0;
}
