#pragma once

// The start-up controller as the process entry builds it, and its window as the tests see it.

#include "feed/amibrokerlivedata2.h"
#include "vendor/authdialog.h"

#include <memory>

inline std::unique_ptr<authDialog> newController()
{
    return std::make_unique<authDialog>(Platform::createAutomationObject, [](FeedSession &session) {
        return std::make_unique<amibrokerlivedata2>(session);
    });
}

inline amibrokerlivedata2 *mainWindowOf(const authDialog &controller)
{
    return static_cast<amibrokerlivedata2 *>(controller.mainWindow());
}
