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
