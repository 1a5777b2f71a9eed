#include "vendor/authdialog.h"

#include "app/config.h"
#include "app/entryloop.h"
#include "app/seams.h"
#include "app/settingsstore.h"
#include "app/startupanimation.h"
#include "feed/amibrokerlivedata2.h"
#include "feed/livedataupdator.h"
#include "update/updator.h"
#include "vendor/connectionmonitor.h"
#include "vendor/registrationdialog.h"
#include "vendor/vendordatabase.h"
#include "vendor/vendorservice.h"
#include "vendor/versionrule.h"
#include "workspace/provisioning.h"

#include <QCoreApplication>
#include <QSettings>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimer>

namespace {

constexpr int RestartIntervalMs = 86'400'000;

const QStringList DayChoices = {QStringLiteral("1"),  QStringLiteral("3"),   QStringLiteral("5"),
                                QStringLiteral("10"), QStringLiteral("20"),  QStringLiteral("30"),
                                QStringLiteral("60"), QStringLiteral("90"),  QStringLiteral("120"),
                                QStringLiteral("180")};

QString columnText(const QSqlRecord &record, const QString &column)
{
    return record.value(column).toString();
}

}

authDialog::authDialog(QWidget *parent)
    : QDialog(parent)
    , userId(Config::instance().userId())
    , firstRunSymbols(Store::firstRunSymbols())
    , firstRunExchanges(Store::firstRunExchanges())
{
}

authDialog::~authDialog()
{
    // Each cycle of the process entry starts from fresh windows.
    delete registration;
    delete updateDialog;
    delete mainWindow;
    delete splash;
}

void authDialog::start()
{
    splash = new startupAnimation;
    splash->showAnimation();

    Workspace::provision();

    mainWindow = new amibrokerlivedata2(nullptr);

    restartTimer = new QTimer(this);
    connect(restartTimer, &QTimer::timeout, this, &authDialog::restart);
    restartTimer->start(RestartIntervalMs);

    if (mainWindow->worker) {
        database = &mainWindow->worker->database;
        query = mainWindow->worker->query;
    }

    checkIfAlreadyExists();

    splash->hideSplash();
}

void authDialog::checkIfAlreadyExists()
{
    QSqlRecord row;
    // An empty user ID would match every account: it has none of its own.
    if (!userId.isEmpty()) {
        if (!query || !VendorDatabase::execAccountQuery(*query, Vendor::accountLookupSql(), userId)) {
            Seams::information(nullptr, QStringLiteral("Cannot Verify User"),
                               QStringLiteral("Please Check Network Connection"));
            Seams::exitProcess(0);
            return;
        }
        query->next();
        row = query->record();
    }

    if (Vendor::updateOffered(QCoreApplication::applicationVersion(),
                              columnText(row, Vendor::Column::LatestVersion))) {
        if (registration)
            registration->hide();
        Seams::information(nullptr, QStringLiteral("New Update"),
                           QStringLiteral("A Latest Update is Available\n Application Will Restart after Update."));
        updateDialog = new updator(nullptr);
        updateDialog->startDownload(columnText(row, Vendor::Column::LatestVersionPath));
        return;
    }

    if (row.value(Vendor::Column::MachineId).isNull()) {
        askForRegistration();
        return;
    }

    if (registration) {
        registration->hide();
        registration->deleteLater();
    }

    dayList = DayChoices;
    mainWindow->contactSupportLink = columnText(row, Vendor::Column::SupportLink);
    mainWindow->requestKey = columnText(row, Vendor::Column::SecureKey);
    mainWindow->txtBackfillPath = columnText(row, Vendor::Column::BackfillPath);
    mainWindow->liveGetPath = columnText(row, Vendor::Column::DataPathGet);
    mainWindow->livePostPath = columnText(row, Vendor::Column::DataPathPost);

    if (!VendorDatabase::execAccountQuery(*query, Vendor::accountDetailsSql(), userId)) {
        Seams::information(nullptr, QStringLiteral("Check Connection"),
                           QStringLiteral("The account details could not be read.\n"
                                          "Please Check Network Connection"));
        Seams::exitProcess(0);
        return;
    }
    query->next();
    const QSqlRecord details = query->record();
    broadcastMessage = columnText(details, Vendor::Column::Message);
    feeds = columnText(details, Vendor::Column::Feeds);

    hide();

    const bool disableAutoBackfill = QSettings(Store::Organisation, Store::Application)
                                         .value(Store::DisableAutoBackfill5)
                                         .toBool();

    if (!connectionMonitor) {
        connectionMonitor = new ConnectionMonitor(this);
        connect(connectionMonitor, &ConnectionMonitor::statusChanged, mainWindow,
                &amibrokerlivedata2::showStatusMessage);
    }
    connectionMonitor->start();
    mainWindow->show();
    mainWindow->enableInterface(userId, feeds, dayList, broadcastMessage);
    backfillAtStartup(disableAutoBackfill ? 1 : 5);
}

void authDialog::askForRegistration()
{
    if (registration) {
        registration->showStillMissing();
        return;
    }
    // The first-run values once; a retry only says that the account is still missing.
    Store::writeFirstRunValues();

    registration = new registrationDialog(userId);
    connect(registration, &registrationDialog::retryRequested, this, &authDialog::checkIfAlreadyExists);
    connect(registration, &registrationDialog::quitRequested, this, &authDialog::quitWithoutAccount);
    registration->show();
}

void authDialog::quitWithoutAccount()
{
    QCoreApplication::exit(0);
}

void authDialog::restart()
{
    close();
    QCoreApplication::exit(RestartExitCode);
}
