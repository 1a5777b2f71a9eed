#pragma once

#include "backfill/backfillrun.h"
#include "feed/feedhealth.h"
#include "feed/troublenotifier.h"
#include "vendor/feedconsole.h"

#include <QDialog>
#include <QModelIndex>
#include <QPointer>
#include <QString>
#include <QStringList>

class FeedSession;
class QLabel;
class QSystemTrayIcon;
class VendorConnection;
class eoddata;
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
    VendorConnection *vendorConnection() override;
    void takeAccount(const Account &account) override;
    void startupBackfill(const QString &oneDayBackfillBase, int days) override;
    void storeChoices() override;
    void prepareRestart() override;
    void showWorkspaceProblem(const QString &problem) override;

    void enableInterface(QString MachineID, QString enabledFeeds, QStringList daysbox, QString message) override;
    void showStatusMessage(QString message) override;

public slots:
    void updateProgress(QString progress, QString speed);
    void addDisplayTable();
    void updateDisplayTable();
    // The X button of a row of the display table.
    void closeButtonClicked(const QModelIndex &index);
    // The Backfill button of a row of the display table.
    void backfillButtonClicked(const QModelIndex &index);
    void do5DayBackfill();
    void eodBackfillButton_clicked(QString symbol);

    // Escape and the close button alike go through the close sequence.
    void reject() override;

private slots:
    // The form's own buttons and boxes, connected by name.
    void on_connectButton_clicked();
    void on_restartButton_clicked();
    void on_amibrokerPathButton_clicked();
    void on_contactSupportButton_clicked();
    void on_copyIDButton_clicked();
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
    void on_save_list_clicked();
    void on_load_list_2_clicked();
    void on_backfillButton_clicked();
    void on_pushButton_clicked();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void startLiveFeed();
    void feedBoxToggled(int index, bool checked);
    void catalogueLookup(const QString &exchange);
    void setUpDisplayTable();
    void showBackfillState(BackfillRun::State state);
    void showBackfillProgress(int percent, const QString &text);
    void showBackfillFinished(const QString &text, const QString &details);
    void showMessageLine();
    void setUpTray();
    void showInTray(const FeedHealth::Report &report);
    void tellTrader(const FeedHealth::Report &report);
    void showFromTray();
    void showFeedHealth(const FeedHealth::Report &report);
    [[nodiscard]] QStringList enabledExchanges() const;

    Ui::amibrokerlivedata2 *ui;
    // Built with the window and living as long: the downloaders, the import worker, the run.
    FeedSession *m_session = nullptr;
    QLabel *m_healthLabel = nullptr;
    // Absent where the desktop has no tray.
    QSystemTrayIcon *m_tray = nullptr;
    QString m_trayColour;
    TroubleNotifier m_notifier;
    settings *m_settingsDialog = nullptr;
    QPointer<eoddata> m_currentEodDialog;

    // The close sequence has run: a start-up still under way goes no further.
    bool m_closed = false;
    bool m_restoring = false;
    QString m_broadcastMessage;
    QString m_workspaceProblem;
};
