#include "feed/amibrokerlivedata2.h"
#include "ui_amibrokerlivedata2.h"

#include "app/config.h"
#include "app/entryloop.h"
#include "app/eventlog.h"
#include "app/installfolder.h"
#include "app/seams.h"
#include "app/settings.h"
#include "app/settingsstore.h"
#include "app/version.h"
#include "app/windowstart.h"
#include "feed/feedsession.h"
#include "platform/processender.h"
#include "platform/steadyclock.h"
#include "symbols/displaytablemodel.h"
#include "symbols/selection.h"

#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QDir>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>
#include <QUrl>

namespace {

constexpr int AmiBrokerSettleMs = 2000;

}

amibrokerlivedata2::amibrokerlivedata2(FeedSession &session, QWidget *parent)
    : QDialog(parent)
    , ui(new Ui::amibrokerlivedata2)
    , m_session(session)
{
    ui->setupUi(this);

    setWindowTitle(QStringLiteral("Tickvane " TICKVANE_VERSION " M"));
    setWindowFlags(windowFlags() | Qt::WindowMinimizeButtonHint);

    m_tableModel = new DisplayTableModel(m_session.selection(), this);
    connect(&m_session.selection(), &Selection::changed, this, &amibrokerlivedata2::addDisplayTable);
    connect(&m_session.selection(), &Selection::rowRemoved, m_tableModel, &DisplayTableModel::dropRow);
    connect(&m_session, &FeedSession::quotesRead, m_tableModel, &DisplayTableModel::apply);
    setUpDisplayTable();

    m_settingsDialog = new settings(this);

    connect(&m_session, &FeedSession::amibrokerLinkChanged, this, &amibrokerlivedata2::showMessageLine);
    connect(&m_session, &FeedSession::liveProgress, this, &amibrokerlivedata2::updateProgress);
    connect(&m_session, &FeedSession::healthReported, this, &amibrokerlivedata2::showFeedHealth);
    connect(&m_session, &FeedSession::liveStarted, this, &amibrokerlivedata2::showLiveStarted);
    connect(&m_session, &FeedSession::feedsEnabled, this, &amibrokerlivedata2::showFeedsEnabled);
    connect(&m_session, &FeedSession::currentExchangeChanged, this, &amibrokerlivedata2::catalogueLookup);

    // Beside the connection status, in the strip under it.
    m_healthLabel = new QLabel(this);
    m_healthLabel->setObjectName(QStringLiteral("feedHealthLabel"));
    m_healthLabel->setGeometry(630, 550, 101, 24);
    m_healthLabel->setAlignment(Qt::AlignCenter);
    m_healthLabel->hide();

    connect(&m_session, &FeedSession::backfillStateChanged, this, &amibrokerlivedata2::showBackfillState);
    connect(&m_session, &FeedSession::backfillProgress, this, &amibrokerlivedata2::showBackfillProgress);
    connect(&m_session, &FeedSession::backfillFinished, this, &amibrokerlivedata2::showBackfillFinished);

    ui->progressBar->setTextVisible(true);
    ui->progressBar->setAlignment(Qt::AlignCenter);
    ui->progressBarRT->setTextVisible(true);
    ui->progressBarRT->setAlignment(Qt::AlignCenter);

    catalogueLookup(m_session.currentExchange());
    showMessageLine();
}

void amibrokerlivedata2::showMessageLine()
{
    // The message line says so until a call gets through again; then the broadcast returns.
    if (!m_session.isAmiBrokerReachable())
        ui->messageBox->setText(QStringLiteral("AmiBroker not reachable"));
    else
        ui->messageBox->setText(m_workspaceProblem.isEmpty() ? m_broadcastMessage : m_workspaceProblem);
}

void amibrokerlivedata2::showWorkspaceProblem(const QString &problem)
{
    m_workspaceProblem = problem;
    showMessageLine();
}

amibrokerlivedata2::~amibrokerlivedata2()
{
    delete ui;
}

void amibrokerlivedata2::on_connectButton_clicked()
{
    // One live downloader per session; a second click would leave the first one polling.
    m_session.startLive();
}

void amibrokerlivedata2::showLiveStarted()
{
    ui->connectButton->setEnabled(false);

    m_notifier = TroubleNotifier(Platform::steadyMs());
    setUpTray();
    showFeedHealth(m_session.healthReport());
    m_healthLabel->show();
}

void amibrokerlivedata2::showFeedHealth(const FeedHealth::Report &report)
{
    // Rows go quiet only while the vendor answers at all; AmiBroker's trouble is not theirs.
    m_tableModel->markQuietSymbols(report.troubles.isEmpty() || report.state == FeedHealth::State::AmiBrokerUnreachable
                                   || report.state == FeedHealth::State::ImportFileFailed);
    // Several troubles at once need the strip's free width to the left.
    const bool wide = report.text.size() > 12;
    m_healthLabel->setGeometry(wide ? QRect(330, 550, 401, 24) : QRect(630, 550, 101, 24));
    m_healthLabel->setAlignment(wide ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignCenter);
    m_healthLabel->setText(QStringLiteral("<span style=\"color:%1;\"><b>%2</b></span>")
                               .arg(report.colour, report.text.toHtmlEscaped()));
    m_healthLabel->setToolTip(report.tooltip);
    showInTray(report);
    tellTrader(report);
}

void amibrokerlivedata2::setUpTray()
{
    if (m_tray || !WindowStart::trayAvailable())
        return;
    // The program's icon until the first health report puts its dot on it.
    m_tray = new QSystemTrayIcon(QIcon(QStringLiteral(":/tickvane.png")), this);
    auto *menu = new QMenu(this);
    menu->addAction(QStringLiteral("Show"), this, &amibrokerlivedata2::showFromTray);
    menu->addAction(QStringLiteral("Open Log Folder"), this, [] {
        QDir().mkpath(EventLog::folder());
        Seams::openUrl(QUrl::fromLocalFile(EventLog::folder()));
    });
    // The trader's close: the close sequence saves the choices and AmiBroker's database.
    menu->addAction(QStringLiteral("Quit"), this, &QWidget::close);
    m_tray->setContextMenu(menu);
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
            showFromTray();
    });
    connect(m_tray, &QSystemTrayIcon::messageClicked, this, &amibrokerlivedata2::showFromTray);
    m_tray->show();
}

void amibrokerlivedata2::showFromTray()
{
    // Shown, the window's close ends the loop again as a last window's close does.
    QGuiApplication::setQuitOnLastWindowClosed(true);
    showNormal();
    raise();
    activateWindow();
}

// The application icon with the indicator's colour as a dot in its corner.
void amibrokerlivedata2::showInTray(const FeedHealth::Report &report)
{
    if (!m_tray)
        return;
    m_tray->setToolTip(report.text);
    if (report.colour == m_trayColour)
        return;
    m_trayColour = report.colour;
    QPixmap pixmap = QPixmap(QStringLiteral(":/tickvane.png")).scaled(64, 64, Qt::KeepAspectRatio,
                                                                     Qt::SmoothTransformation);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Qt::white, 3));
    painter.setBrush(QColor(report.colour));
    painter.drawEllipse(QRect(34, 34, 28, 28));
    painter.end();
    m_tray->setIcon(QIcon(pixmap));
}

void amibrokerlivedata2::tellTrader(const FeedHealth::Report &report)
{
    const bool inFront = isActiveWindow() && !isMinimized() && isVisible();
    const TroubleNotifier::Notification note = m_notifier.look(report, Platform::steadyMs(), QDateTime::currentDateTimeUtc(),
                                                               m_session.lastGoodReply(), inFront);
    if (note.isEmpty() || !Store::read(Store::NotifyFeedTrouble))
        return;
    EventLog::info(QStringLiteral("feed"), QStringLiteral("trader notified: %1").arg(QString(note.text).replace(QLatin1Char('\n'), QLatin1String("; "))));
    if (m_tray)
        m_tray->showMessage(note.title, note.text,
                            report.troubles.isEmpty() ? QSystemTrayIcon::Information : QSystemTrayIcon::Warning);
}

void amibrokerlivedata2::updateProgress(QString progress, QString speed)
{
    ui->progressBar->setValue(progress.toInt());
    ui->progressBar->setFormat(QStringLiteral("Tick Data : %1").arg(speed));
}

void amibrokerlivedata2::on_restartButton_clicked()
{
    EventLog::info(QStringLiteral("app"), QStringLiteral("restart asked for by the trader"));
    m_session.prepareRestart();
    WindowStart::carryOver(WindowStart::of(this));
    // Closing the last window would post a quit whose exit code 0 overrides the restart code.
    setAttribute(Qt::WA_QuitOnClose, false);
    close();
    QCoreApplication::exit(RestartExitCode);
}

void amibrokerlivedata2::on_amibrokerPathButton_clicked()
{
    m_settingsDialog->load();
    m_settingsDialog->exec();
}

void amibrokerlivedata2::on_contactSupportButton_clicked()
{
    QDesktopServices::openUrl(QUrl::fromUserInput(m_session.account().supportLink));
}

void amibrokerlivedata2::on_copyIDButton_clicked()
{
    const QString details = QStringLiteral("Software : Tickvane \nUser ID  : ") + ui->machineIDLabel->text()
        + QStringLiteral("\nVersion  : ") + QCoreApplication::applicationVersion();
    QGuiApplication::clipboard()->setText(details);
    Seams::information(this, QStringLiteral("Software Details"),
                       QStringLiteral("\nYour details copied to clipboard. Right click and Paste to Share\n"));
}

void amibrokerlivedata2::showStatusMessage(const QString &message)
{
    ui->statusLabel->setText(message);
}

void amibrokerlivedata2::reject()
{
    // Escape would only hide the window; the trader's choices and AmiBroker's database must be saved.
    close();
}

void amibrokerlivedata2::closeEvent(QCloseEvent *event)
{
    m_closed = true;
    EventLog::info(QStringLiteral("app"), QStringLiteral("close sequence: choices stored, AmiBroker's database saved%1")
                                              .arg(m_settingsDialog && m_settingsDialog->controlAmibroker
                                                       ? QStringLiteral(", AmiBroker ended")
                                                       : QString()));
    m_session.silence();
    m_session.storeChoices();
    m_session.saveAmiBroker();

    if (m_settingsDialog && m_settingsDialog->controlAmibroker) {
        hide();
        Seams::pause(AmiBrokerSettleMs);
        Platform::endProcessTree(QStringLiteral("Broker.exe"));
    }

    // Not QDialog::closeEvent: it calls reject(), which closes again, and then refuses the event.
    event->accept();
    // Never shown since a start in the tray: no last window closes, so the loop ends here (not
    // on the Restart button's close, which ends it with its own code).
    if (!QGuiApplication::quitOnLastWindowClosed() && testAttribute(Qt::WA_QuitOnClose))
        QCoreApplication::exit(0);
}
