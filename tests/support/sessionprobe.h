#pragma once

// The inside of a feed session, for tests that must hold its parts: the downloaders, the worker,
// the backfill run, AmiBroker.

#include "feed/amibroker.h"
#include "feed/feedsession.h"
#include "feed/livedataupdator.h"
#include "feed/mydownloader.h"

class FeedSessionProbe
{
public:
    explicit FeedSessionProbe(FeedSession &session)
        : m_session(session)
    {
    }

    // Absent until the live feed starts.
    [[nodiscard]] MyDownloader *liveDownloader() const { return m_session.m_liveDownloader.get(); }
    [[nodiscard]] MyDownloader &backfillDownloader() const { return *m_session.m_backfillDownloader; }
    [[nodiscard]] BackfillRun &backfillRun() const { return *m_session.m_backfillRun; }
    [[nodiscard]] liveDataUpdator &worker() const { return *m_session.m_worker; }
    [[nodiscard]] AmiBroker &amibroker() const { return m_session.m_worker->amibroker(); }
    [[nodiscard]] FeedHealth &health() const { return *m_session.m_health; }
    // Box states no trader's clicks could leave together.
    void setFeedFlags(const Feeds::Flags &flags) const { m_session.m_feedFlags = flags; }

private:
    FeedSession &m_session;
};

inline FeedSessionProbe inside(FeedSession &session)
{
    return FeedSessionProbe(session);
}
