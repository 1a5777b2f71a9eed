#pragma once

#include <QtGlobal>

namespace Platform {

// Milliseconds on a clock that the trader's clock settings cannot move but that keeps counting
// while the machine sleeps: a resume after an hour is an hour without replies.
[[nodiscard]] qint64 steadyMs();

}
