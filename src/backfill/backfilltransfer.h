#pragma once

#include <QString>

// What a backfill run asks of the downloader that fetches for it. The downloader reports back
// through the run's slots: downloaded(), downloadFailed(), showProgress().
class BackfillTransfer
{
public:
    virtual ~BackfillTransfer() = default;

    // Drops any request still in flight, aims at url (the reply written to fileName under the
    // install folder, an archive unpacked into the Backfill folder) and polls every pollMs,
    // a request aborted after watchdogMs.
    virtual void fetch(const QString &fileName, const QString &url, int pollMs, int watchdogMs) = 0;
    virtual void stopPolling() = 0;
    virtual void resumePolling(int pollMs) = 0;
    // Why the last request failed.
    [[nodiscard]] virtual QString lastError() const = 0;
    // What an archive of the last download left out while the rest was unpacked ("" when nothing).
    [[nodiscard]] virtual QString partialFailure() const = 0;
};
