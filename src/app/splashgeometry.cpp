#include "app/splashgeometry.h"

namespace Splash {

QRect startRect(const QSize &picture)
{
    return QRect(100, 100, picture.width() / 5, picture.height() / 5);
}

QRect endRect(const QSize &picture, const QSize &screen)
{
    return QRect((screen.width() - picture.width()) / 2, (screen.height() - picture.height()) / 2,
                 picture.width(), picture.height());
}

}
