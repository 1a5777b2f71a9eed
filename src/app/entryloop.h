#pragma once

#include <QObject>

#include <functional>
#include <memory>

// The event-loop exit code that asks the process entry to build the application again.
constexpr int RestartExitCode = 4444;

// Builds one application per cycle, hands it to the start-up controller that startCycle()
// constructs and starts, runs the event loop, and starts over while the loop ends with
// RestartExitCode. Always returns 0.
int runEntryLoop(int &argc, char **argv, const std::function<std::unique_ptr<QObject>()> &startCycle);
