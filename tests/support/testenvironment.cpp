#include "support/testenvironment.h"

#include "app/seams.h"

TestEnvironment::TestEnvironment(const QString &userId)
    : CoreEnvironment(userId)
{
    Seams::setInformationHandler([this](QWidget *, const QString &title, const QString &text) {
        boxes << title + QLatin1Char('|') + text;
    });
    Seams::setExitHandler([this](int code) { exits << code; });
    Seams::setPauseHandler([](int) {});
    // Only the splash's own test waits out its real length.
    Seams::setDurationHandler([](int) { return 0; });
}

TestEnvironment::~TestEnvironment()
{
    Seams::resetAll();
}
