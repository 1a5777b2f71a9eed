#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

struct Account;
class QWidget;
class VendorConnection;

// What the start-up controller hands the account to: the trader's window, known here only by
// this face so that the vendor subsystem does not depend on the feed.
class FeedConsole
{
public:
    virtual ~FeedConsole() = default;

    [[nodiscard]] virtual QWidget *widget() = 0;
    // The window's own vendor connection, opened when the window was built.
    [[nodiscard]] virtual VendorConnection *vendorConnection() = 0;
    // Endpoints, request key and support link of the account.
    virtual void takeAccount(const Account &account) = 0;
    virtual void enableInterface(QString MachineID, QString enabledFeeds, QStringList daysbox, QString message) = 0;
    virtual void showStatusMessage(QString message) = 0;
    // The start-up backfill: the day's backfill location, then a five-day intraday backfill of
    // every eligible row when days is 5.
    virtual void startupBackfill(const QString &oneDayBackfillBase, int days) = 0;
    // The selection and the feed-box states into the settings store; nothing from a window whose
    // feed never started.
    virtual void storeChoices() = 0;
    // A restart is about to end this cycle: what must carry over is kept, a backfill run ended.
    virtual void prepareRestart() = 0;
    // The AmiBroker database folder could not be filled in: the message line says why.
    virtual void showWorkspaceProblem(const QString &problem) = 0;
};

using FeedConsoleFactory = std::function<std::unique_ptr<FeedConsole>()>;
