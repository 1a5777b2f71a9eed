#pragma once

#include "backfill/backfillrun.h"
#include "feed/feedhealth.h"
#include "symbols/feeds.h"
#include "vendor/account.h"
#include "vendor/feedconsole.h"

#include <QDialog>
#include <QMap>
#include <QModelIndex>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

class DisplayTableModel;
class MyDownloader;
class QLabel;
class QTimer;
class Selection;
class VendorConnection;
class eoddata;
class liveDataUpdator;
class settings;

namespace Ui {
class amibrokerlivedata2;
}

// The trader's console: shows the live feed, the selection, the backfill runs and the connection,
// and forwards the trader's clicks to the core objects that hold them.
class amibrokerlivedata2 final : public QDialog, public FeedConsole
{
    Q_OBJECT

public:
    explicit amibrokerlivedata2(QWidget *parent = nullptr);
    ~amibrokerlivedata2() override;

    // FeedConsole
    QWidget *widget() override { return this; }
    VendorConnection *vendorConnection() override { return m_connection.get(); }
    void takeAccount(const Account &account) override;
    void startupBackfill(const QString &oneDayBackfillBase, int days) override;
    void storeChoices() override;
    void prepareRestart() override;
    void showWorkspaceProblem(const QString &problem) override;

    // For inspection (tests): what the window holds and shows.
    [[nodiscard]] Ui::amibrokerlivedata2 *form() const { return ui; }
    [[nodiscard]] Selection &selection() const { return *m_selection; }
    [[nodiscard]] BackfillRun &backfillRun() const { return *m_backfillRun; }
    [[nodiscard]] liveDataUpdator *worker() const { return m_worker.get(); }
    [[nodiscard]] MyDownloader *liveDownloader() const { return m_liveDownloader; }
    [[nodiscard]] MyDownloader *backfillDownloader() const { return m_backfillDownloader; }
    [[nodiscard]] FeedHealth &feedHealth() const { return *m_health; }
    [[nodiscard]] QLabel *feedHealthLabel() const { return m_healthLabel; }
    [[nodiscard]] settings *settingsDialog() const { return m_settingsDialog; }
    [[nodiscard]] bool isDatabaseOpen() const { return m_databaseOpen; }
    [[nodiscard]] const Account &account() const { return m_account; }
    [[nodiscard]] QString databaseFolderPath() const { return m_databaseFolderPath; }
    [[nodiscard]] QString oneDayBackfillBase() const { return m_oneDayBackfillBase; }
    [[nodiscard]] const Feeds::Flags &feedFlags() const { return m_feedFlags; }
    // As the trader's clicks on the feed boxes would have left them.
    void setFeedFlags(const Feeds::Flags &flags) { m_feedFlags = flags; }
    [[nodiscard]] QString currentExchange() const { return m_currentExchange; }
    [[nodiscard]] QStringList cachedCatalogue(const QString &exchange) const { return m_catalogue.value(exchange); }
    [[nodiscard]] int steadyCounterLtp() const;
    [[nodiscard]] int steadyCounterLtq() const;
    [[nodiscard]] eoddata *currentEodDialog() const;
    [[nodiscard]] QStringList enabledExchanges() const;

public slots:
    // feed
    void on_connectButton_clicked();
    void updateProgress(QString progress, QString speed);
    void on_restartButton_clicked();
    void on_amibrokerPathButton_clicked();
    void on_contactSupportButton_clicked();
    void on_copyIDButton_clicked();
    void showStatusMessage(QString message) override;

    // symbols
    void on_cashBox_toggled(bool checked);
    void on_futureBox_toggled(bool checked);
    void on_optionBox_toggled(bool checked);
    void on_commBox_toggled(bool checked);
    void on_currBox_toggled(bool checked);
    void on_spotBox_toggled(bool checked);
    void on_agricommBox_toggled(bool checked);
    void on_selectAll_clicked();
    void on_selectNone_clicked();
    void on_addSelected_clicked();
    void on_DeleteAll_clicked();
    void enableInterface(QString MachineID, QString enabledFeeds, QStringList daysbox, QString message) override;
    void on_save_list_clicked();
    void on_load_list_2_clicked();
    void addDisplayTable();
    void updateDisplayTable();
    // The X button of a row of the display table.
    void closeButtonClicked(const QModelIndex &index);

    // backfill
    void on_backfillButton_clicked();
    // The Backfill button of a row of the display table.
    void backfillButtonClicked(const QModelIndex &index);
    void do5DayBackfill();
    void on_pushButton_clicked();
    void eodBackfillButton_clicked(QString symbol);

    // Escape and the close button alike go through the close sequence.
    void reject() override;

private slots:
    void updateUrlDataState();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void startLiveFeed();
    void feedBoxToggled(int index, bool checked);
    void catalogueLookup(const QString &exchange);
    void setUpDisplayTable();
    void removeDisplayRow(int row);
    void showBackfillState(BackfillRun::State state);
    void showBackfillProgress(int percent, const QString &text);
    void showBackfillFinished(const QString &text, const QString &details);
    void showAmiBrokerLink(bool reachable);
    void showMessageLine();
    void carryOverOutage();
    void startDeferredGapBackfill();
    void showFeedHealth();
    void logLiveRequest();
    void logLiveCondition(FeedHealth::Condition condition, const QString &detail);
    void logImportFileState(bool written, const QString &reason);
    void backfillAfterOutage(qint64 outageMs);
    void startGapBackfill(const QStringList &retried);
    [[nodiscard]] BackfillRun::IntradayEndpoint intradayEndpoint() const;

    Ui::amibrokerlivedata2 *ui;
    std::unique_ptr<VendorConnection> m_connection;
    Selection *m_selection = nullptr;
    DisplayTableModel *m_tableModel = nullptr;
    std::unique_ptr<liveDataUpdator> m_worker;
    BackfillRun *m_backfillRun = nullptr;
    MyDownloader *m_liveDownloader = nullptr;
    MyDownloader *m_backfillDownloader = nullptr;
    FeedHealth *m_health = nullptr;
    QLabel *m_healthLabel = nullptr;
    QTimer *m_healthTimer = nullptr;
    QTimer *m_summaryTimer = nullptr;
    settings *m_settingsDialog = nullptr;
    QPointer<eoddata> m_currentEodDialog;

    Account m_account;
    QString m_scheme = QStringLiteral("http");
    QString m_databaseFolderPath;
    QString m_oneDayBackfillBase;
    QString m_broadcastMessage;
    QString m_workspaceProblem;
    bool m_databaseOpen = false;
    // The window showed a selection: only then are its choices the trader's.
    bool m_interfaceEnabled = false;
    // An outage that ended while a run was active: its gap is fetched once the run ends.
    qint64 m_pendingGapMs = 0;

    // Exchange name -> symbols; an empty list counts as not loaded.
    QMap<QString, QStringList> m_catalogue;
    QString m_currentExchange;
    Feeds::Flags m_feedFlags{};
};
