#pragma once

#include <QtGlobal>

// Writes past a size fail for this process, as on a full disk (the system says "File too large"
// rather than "No space left on device"): real files, a real refusal, no file system to fill.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    Q_DISABLE_COPY_MOVE(FileSizeLimit)

    // False where the system has no such limit (Windows): rows that need it are skipped.
    [[nodiscard]] static bool supported();

private:
    qint64 m_previous = -1;
};
