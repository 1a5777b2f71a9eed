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

class DisplayTableModel;
class FeedSession;
class QLabel;
class QSystemTrayIcon;
class eoddata;
class settings;

namespace Ui {
class amibrokerlivedata2;
}

// The trader's console over a feed session built before it: shows the live feed, the selection,
// the backfill runs and the connection, and sends the trader's clicks to the session as commands.
class amibrokerlivedata2 : public QDialog, public FeedConsole
{
    Q_OBJECT

public:
    explicit amibrokerlivedata2(FeedSession &session, QWidget *parent = nullptr);
    ~amibrokerlivedata2() override;

    [[nodiscard]] FeedSession &session() const { return m_session; }
    [[nodiscard]] const DisplayTableModel &tableModel() const { return *m_tableModel; }

    // FeedConsole
    QWidget *widget() override { return this; }
    void showAccount(const QString &userId, const QStringList &dayChoices, const QString &message) override;
    void showRestoredChoices() override;
    void showStatusMessage(const QString &message) override;
    void showWorkspaceProblem(const QString &problem) override;

public slots:
    void updateProgress(QString progress, QString speed);
    void addDisplayTable();
    void updateDisplayTable();
    // The X button of a row of the display table.
    void closeButtonClicked(const QModelIndex &index);
    // The Backfill button of a row of the display table.
    void backfillButtonClicked(const QModelIndex &index);
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
    void showLiveStarted();
    void feedBoxToggled(int index, bool checked);
    void showFeedsEnabled();
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

    Ui::amibrokerlivedata2 *ui;
    // Built before the window and outliving it: the downloaders, the import worker, the run.
    FeedSession &m_session;
    // Applies the quotes each reply pass read.
    DisplayTableModel *m_tableModel = nullptr;
    QLabel *m_healthLabel = nullptr;
    // Absent where the desktop has no tray.
    QSystemTrayIcon *m_tray = nullptr;
    QString m_trayColour;
    TroubleNotifier m_notifier;
    settings *m_settingsDialog = nullptr;
    QPointer<eoddata> m_currentEodDialog;

    // The close sequence has run: a start-up still under way goes no further.
    bool m_closed = false;
    QString m_broadcastMessage;
    QString m_workspaceProblem;
};
