#pragma once

#include "backfill/backfillrun.h"
#include "feed/feedhealth.h"
#include "platform/automationobject.h"
#include "symbols/feeds.h"
#include "vendor/account.h"

#include <QDateTime>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class LiveReplyPass;
class MyDownloader;
class QTimer;
class Selection;
class VendorConnection;
class liveDataUpdator;

// The feed engine, without a widget: the selection, the live and backfill downloaders, the import
// into AmiBroker, the feed health and the backfill run. It is built before the window, which
// shows what it reports and sends the trader's clicks as the commands below.
class FeedSession final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FeedSession)

public:
    // The catalogue is asked of the connection, which must outlive the session.
    FeedSession(const Platform::AutomationFactory &automation, VendorConnection &connection,
                QObject *parent = nullptr);
    ~FeedSession() override;

    // --- Read-only queries ---
    [[nodiscard]] const Selection &selection() const { return *m_selection; }
    [[nodiscard]] bool isLive() const { return m_liveDownloader != nullptr; }
    [[nodiscard]] const Account &account() const { return m_account; }
    [[nodiscard]] QString userId() const { return m_userId; }
    // The exchanges of the account's feeds: only their rows are backfilled.
    [[nodiscard]] QStringList enabledExchanges() const { return m_enabledExchanges; }
    [[nodiscard]] bool isFeedEnabled(int index) const { return m_feedEnabled[std::size_t(index)]; }
    [[nodiscard]] const Feeds::Flags &feedFlags() const { return m_feedFlags; }
    // The exchange whose catalogue is listed: checked symbols are added under it.
    [[nodiscard]] QString currentExchange() const { return m_currentExchange; }
    [[nodiscard]] QString oneDayBackfillBase() const { return m_oneDayBackfillBase; }
    [[nodiscard]] bool isAmiBrokerReachable() const;
    [[nodiscard]] FeedHealth::Report healthReport() const;
    [[nodiscard]] QDateTime lastGoodReply() const;
    // The symbols of an exchange, asked of the vendor database once; false when it could not be
    // asked (then nothing is kept, so the next lookup asks again).
    [[nodiscard]] bool catalogue(const QString &exchange, QStringList *symbols);
    [[nodiscard]] QStringList cachedCatalogue(const QString &exchange) const { return m_catalogue.value(exchange); }

    // --- Commands ---
    // Endpoints, request key and support link of the account.
    void takeAccount(const Account &account) { m_account = account; }
    // The trader's user id, as the vendor knows the account: every request carries it.
    void setUserId(const QString &userId) { m_userId = userId; }
    // The feeds of the account's feeds text: their boxes may be chosen, their rows backfilled.
    void enableFeeds(const QString &accountFeeds);
    // A restart while the feed was without good replies: the gap it closes began in that cycle.
    void carryOverOutage();
    // One live downloader per session: the feed polls for the selection as the user.
    void startLive();
    // The account's start: its feeds enabled, the live feed started, then the stored selection
    // and feed boxes brought back for those feeds. A close meanwhile stores nothing half-restored.
    void restoreChoices(const QString &accountFeeds);
    // The trader's feed box: its catalogue becomes the one listed.
    void chooseFeed(int index);
    // The selection as the trader changes it.
    void addChecked(const QVector<QPair<QString, bool>> &marks);
    void removeSymbol(const QString &symbol);
    void clearSelection();
    void assignSelection(const QStringList &symbols, const QStringList &exchanges);
    // Reads the last live reply again for the table, as a tick does, without importing it.
    void showLastReply();
    // Once the window goes, no reply may reach AmiBroker any more: its database is being saved;
    // nothing starts after this.
    void silence();

    // The Backfill button, a row's Backfill button, the start-up five days, the end-of-day dialog.
    void backfillSelection(const QString &days);
    void backfillRow(const QString &symbol, const QString &exchange, const QString &days);
    void fiveDayBackfill();
    void setOneDayBackfillBase(const QString &base) { m_oneDayBackfillBase = base; }
    void endOfDay(const QString &symbol, bool watchListOnly);

    // The selection and the feed flags into the settings store; nothing from a feed never started
    // or while the stored choices are being restored.
    void storeChoices();
    // A restart is about to end this cycle: what must carry over is kept, a backfill run ended.
    void prepareRestart();
    // The close: AmiBroker saves its layout (when the trader asked for that) and its database.
    void saveAmiBroker();

signals:
    // The live download's progress and speed texts.
    void liveProgress(const QString &progress, const QString &speed);
    // The live feed polls: the window shows its health from now on.
    void liveStarted();
    // One reply read: what each selected symbol's line said, for the table. Delivered directly,
    // while the reply's buffer still holds what the pass points into.
    void quotesRead(const LiveReplyPass &pass);
    // Once a second while live: how the feed is.
    void healthReported(const FeedHealth::Report &report);
    void amibrokerLinkChanged(bool reachable);
    // The account's feeds changed which boxes may be chosen.
    void feedsEnabled();
    // The catalogue listed is this exchange's now.
    void currentExchangeChanged(const QString &exchange);
    // The backfill run's state, progress and last word.
    void backfillStateChanged(BackfillRun::State state);
    void backfillProgress(int percent, const QString &text);
    void backfillFinished(const QString &text, const QString &details);

private:
    friend class FeedSessionProbe;

    void reaimLiveRequest();
    void logLiveRequest();
    void logLiveCondition(FeedHealth::Condition condition, const QString &detail);
    void logImportFileState(bool written, const QString &reason);
    void reportHealth();
    void amibrokerReachable(bool reachable);
    void setCurrentExchange(int index);
    // A hole in the charts: after a vendor outage, or while AmiBroker took no live import.
    struct Gap
    {
        qint64 ms = 0;
        bool amibroker = false;
    };
    void backfillAfterOutage(qint64 outageMs);
    void backfillAfterAmiBrokerHole(qint64 holeMs);
    void fillGap(const Gap &gap);
    [[nodiscard]] static QString gapText(const Gap &gap);
    void backfillRunChanged(BackfillRun::State state);
    void startPendingGap();
    void startGapBackfill(const QStringList &retried);
    [[nodiscard]] BackfillRun::IntradayEndpoint intradayEndpoint() const;

    VendorConnection &m_connection;
    // Owned here, so that the downloaders go before the worker their completion drives.
    Selection *m_selection = nullptr;
    std::unique_ptr<liveDataUpdator> m_worker;
    FeedHealth *m_health = nullptr;
    QTimer *m_healthTimer = nullptr;
    QTimer *m_summaryTimer = nullptr;
    std::unique_ptr<MyDownloader> m_backfillDownloader;
    std::unique_ptr<BackfillRun> m_backfillRun;
    std::unique_ptr<MyDownloader> m_liveDownloader;

    Account m_account;
    QString m_scheme = QStringLiteral("http");
    QString m_userId;
    QString m_oneDayBackfillBase;
    QStringList m_enabledExchanges;
    // Until the account says otherwise every box may be chosen, as on the form.
    Feeds::Flags m_feedEnabled{true, true, true, true, true, true, true};
    Feeds::Flags m_feedFlags{};
    QString m_currentExchange;
    // Exchange name -> symbols; an empty list counts as not loaded.
    QMap<QString, QStringList> m_catalogue;
    // A gap that came while a run was active: fetched once the run ends, however it ends.
    Gap m_pendingGap;
    // The stored choices are on their way back: storing now would overwrite them half-restored.
    bool m_restoring = false;
    // The window has gone: nothing starts any more.
    bool m_silenced = false;
};
