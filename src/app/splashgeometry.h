#pragma once

#include <QRect>
#include <QSize>

// Where the start-up picture begins and ends its growth.
namespace Splash {

// A fifth of the picture at (100, 100).
[[nodiscard]] QRect startRect(const QSize &picture);
// The full picture centred on the screen; negative when the screen is the smaller.
[[nodiscard]] QRect endRect(const QSize &picture, const QSize &screen);

}
