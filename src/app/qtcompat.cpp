#include "app/qtcompat.h"

#include <QGuiApplication>

namespace QtCompat {

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)

void enableHighDpiScaling()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
}

void resetHighDpiScaling()
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling, false);
}

bool highDpiScalingEnabled()
{
    return QCoreApplication::testAttribute(Qt::AA_EnableHighDpiScaling);
}

#else

void enableHighDpiScaling()
{
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::Round);
}

void resetHighDpiScaling()
{
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}

bool highDpiScalingEnabled()
{
    return QGuiApplication::highDpiScaleFactorRoundingPolicy() == Qt::HighDpiScaleFactorRoundingPolicy::Round;
}

#endif

}

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0) && defined(Q_OS_WIN) && defined(Q_CC_MINGW)

namespace {

// Qt 6 keeps a regular expression's JIT stack in a C++ thread_local (Qt 5 in QThreadStorage), and
// MinGW frees a thread's thread_locals before it runs their destructors: a thread that had matched
// a pattern (the log's writer starting a new day's file) crashed as it ended. Without the JIT,
// that thread_local is never touched.
void keepRegularExpressionsOffThreadLocals()
{
    if (!qEnvironmentVariableIsSet("QT_ENABLE_REGEXP_JIT"))
        qputenv("QT_ENABLE_REGEXP_JIT", "0");
}

}

// Qt reads the setting once, at the first match: before main().
Q_CONSTRUCTOR_FUNCTION(keepRegularExpressionsOffThreadLocals)

#endif
