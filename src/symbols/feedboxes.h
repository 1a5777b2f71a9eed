#pragma once

#include "feed/amibrokerlivedata2.h"

#include <QRadioButton>

// The feed box of an index, found by the object name of the feed-box table.
inline QRadioButton *feedBox(const amibrokerlivedata2 *window, int index)
{
    return window->findChild<QRadioButton *>(
        QLatin1String(amibrokerlivedata2::FeedBoxes.at(std::size_t(index)).objectName));
}
