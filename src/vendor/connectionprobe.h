#pragma once

#include <QString>

// The texts of the main window's status label after one connection probe.
namespace ConnectionProbe {

inline constexpr int IntervalMs = 5000;
inline constexpr int WaitMs = 5000;

[[nodiscard]] QString statusText(bool connected);

}
