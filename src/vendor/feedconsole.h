#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class FeedSession;
class QWidget;

// What the start-up controller shows the account in: the trader's window over the feed session
// the controller built and drives.
class FeedConsole
{
public:
    virtual ~FeedConsole() = default;

    [[nodiscard]] virtual QWidget *widget() = 0;
    // The account's user ID, the backfill day choices and the vendor's broadcast message; the
    // live feed starts without the connect button.
    virtual void showAccount(const QString &userId, const QStringList &dayChoices, const QString &message) = 0;
    // The stored choices are back: the catalogue list shows them, and an empty selection is said.
    virtual void showRestoredChoices() = 0;
    virtual void showStatusMessage(const QString &message) = 0;
    // The AmiBroker database folder could not be filled in: the message line says why.
    virtual void showWorkspaceProblem(const QString &problem) = 0;
};

using FeedConsoleFactory = std::function<std::unique_ptr<FeedConsole>(FeedSession &session)>;
