#pragma once

#include <QString>

// The texts a download's progress is shown by, for the feed's progress bars and the updater's.
namespace DownloadProgress {

// The percent done, "37.5"; bars take its whole part.
[[nodiscard]] QString percentText(qint64 bytesReceived, qint64 bytesTotal);
// "1.5 kB/s"; an elapsed time under 1 ms counts as 1 ms, so the text stays finite.
[[nodiscard]] QString speedText(qint64 bytesReceived, qint64 elapsedMs);

}
