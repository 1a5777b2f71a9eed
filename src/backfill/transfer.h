#pragma once

#include <QByteArray>
#include <QString>

// What the live feed and a backfill run ask of the downloader that polls for them. The downloader
// reports back through signals: a backfill run takes them in downloaded(), downloadFailed(),
// showProgress().
class Transfer
{
public:
    virtual ~Transfer() = default;

    // Drops any request still in flight, aims at url (the reply written to fileName under the
    // install folder, an archive unpacked into the Backfill folder) and polls every pollMs,
    // a request aborted after watchdogMs.
    virtual void fetch(const QString &fileName, const QString &url, int pollMs, int watchdogMs) = 0;
    // The same polling aimed at another request, which takes effect with the next tick; method 1
    // posts the query instead of asking with it.
    virtual void aim(const QString &url, int method) = 0;
    virtual void stopPolling() = 0;
    virtual void resumePolling(int pollMs) = 0;
    // The body of the last reply stored and announced.
    [[nodiscard]] virtual const QByteArray &lastReply() const = 0;
    // Why the last request failed.
    [[nodiscard]] virtual QString lastError() const = 0;
    // What an archive of the last download left out while the rest was unpacked ("" when nothing).
    [[nodiscard]] virtual QString partialFailure() const = 0;
};
