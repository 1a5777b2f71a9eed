#pragma once

#include "backfill/backfillrun.h"
#include "feed/feedhealth.h"
#include "platform/automationobject.h"
#include "symbols/feeds.h"
#include "vendor/account.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

class AmiBroker;
class DisplayTableModel;
class MyDownloader;
class QTimer;
class Selection;
class VendorConnection;
class liveDataUpdator;

// The feed engine, without a widget: the selection, the vendor connection, the live and backfill
// downloaders, the import into AmiBroker, the feed health and the backfill run. Each live reply is
// read once, in one pass that feeds both the import file and the display table. The window shows
// what it reports and forwards the trader's clicks.
class FeedSession final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FeedSession)

public:
    explicit FeedSession(const Platform::AutomationFactory &automation, QObject *parent = nullptr);
    ~FeedSession() override;

    [[nodiscard]] Selection &selection() const { return *m_selection; }
    [[nodiscard]] DisplayTableModel &tableModel() const { return *m_tableModel; }
    [[nodiscard]] VendorConnection &vendorConnection() const { return *m_connection; }
    [[nodiscard]] AmiBroker &amibroker() const;
    [[nodiscard]] liveDataUpdator &worker() const { return *m_worker; }
    [[nodiscard]] FeedHealth &health() const { return *m_health; }
    [[nodiscard]] BackfillRun &backfillRun() const { return *m_backfillRun; }
    [[nodiscard]] MyDownloader &backfillDownloader() const { return *m_backfillDownloader; }
    // Absent until the live feed starts.
    [[nodiscard]] MyDownloader *liveDownloader() const { return m_liveDownloader.get(); }
    [[nodiscard]] bool isLive() const { return m_liveDownloader != nullptr; }

    // Endpoints, request key and support link of the account.
    void takeAccount(const Account &account) { m_account = account; }
    [[nodiscard]] const Account &account() const { return m_account; }
    // The trader's user id, as the vendor knows the account: every request carries it.
    void setUserId(const QString &userId) { m_userId = userId; }
    [[nodiscard]] QString userId() const { return m_userId; }
    // The exchanges of the account's feeds: only their rows are backfilled.
    void setEnabledExchanges(const QStringList &exchanges) { m_enabledExchanges = exchanges; }
    [[nodiscard]] QStringList enabledExchanges() const { return m_enabledExchanges; }
    [[nodiscard]] const Feeds::Flags &feedFlags() const { return m_feedFlags; }
    void setFeedFlag(int index, bool on) { m_feedFlags[std::size_t(index)] = on; }
    // The exchange whose catalogue is listed: checked symbols are added under it.
    void setCurrentExchange(const QString &exchange) { m_currentExchange = exchange; }
    [[nodiscard]] QString currentExchange() const { return m_currentExchange; }

    // The symbols of an exchange, asked of the vendor database once; false when it could not be
    // asked (then nothing is kept, so the next lookup asks again).
    [[nodiscard]] bool catalogue(const QString &exchange, QStringList *symbols);
    [[nodiscard]] QStringList cachedCatalogue(const QString &exchange) const { return m_catalogue.value(exchange); }

    // A restart while the feed was without good replies: the gap it closes began in that cycle.
    void carryOverOutage();
    // One live downloader per session: the feed polls for the selection as the user.
    void startLive();
    // Shows the last live reply in the table, as a tick does.
    void showLastReply();
    // Once the window goes, no reply may reach AmiBroker any more: its database is being saved;
    // nothing starts after this.
    void silence();

    // The Backfill button, a row's Backfill button, the start-up five days, the end-of-day dialog.
    void backfillSelection(const QString &days);
    void backfillRow(const QString &symbol, const QString &exchange, const QString &days);
    void fiveDayBackfill();
    void setOneDayBackfillBase(const QString &base) { m_oneDayBackfillBase = base; }
    [[nodiscard]] QString oneDayBackfillBase() const { return m_oneDayBackfillBase; }
    void endOfDay(const QString &symbol, bool watchListOnly);

    // The selection and the feed flags into the settings store; nothing from a feed never started.
    void storeChoices();
    // A restart is about to end this cycle: what must carry over is kept, a backfill run ended.
    void prepareRestart();
    // The close: AmiBroker saves its layout (when the trader asked for that) and its database.
    void saveAmiBroker();

signals:
    // The live download's progress and speed texts.
    void liveProgress(const QString &progress, const QString &speed);
    // Once a second while live: how the feed is.
    void healthReported(const FeedHealth::Report &report);
    void amibrokerLinkChanged(bool reachable);

private:
    void reaimLiveRequest();
    void logLiveRequest();
    void logLiveCondition(FeedHealth::Condition condition, const QString &detail);
    void logImportFileState(bool written, const QString &reason);
    void reportHealth();
    void amibrokerReachable(bool reachable);
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

    // Owned here, so that the downloaders go before the worker their completion drives.
    Selection *m_selection = nullptr;
    DisplayTableModel *m_tableModel = nullptr;
    std::unique_ptr<liveDataUpdator> m_worker;
    std::unique_ptr<VendorConnection> m_connection;
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
    Feeds::Flags m_feedFlags{};
    QString m_currentExchange;
    // Exchange name -> symbols; an empty list counts as not loaded.
    QMap<QString, QStringList> m_catalogue;
    // A gap that came while a run was active: fetched once the run ends, however it ends.
    Gap m_pendingGap;
    // The window has gone: nothing starts any more.
    bool m_silenced = false;
};
