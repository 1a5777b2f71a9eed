#pragma once

#include "platform/automationobject.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <memory>

class QTimer;

// Every operation the feed performs on AmiBroker's automation server, with its exact method text.
// A failed creation or a call that meets a server gone marks the link lost; the next call creates
// the object again and loads the database again before it is made. A lost link is also tried again
// on its own every few seconds, so that its return is noticed while no call is made. A call that
// AmiBroker answers with an error, or an Import that returns a negative value, is a refusal of that
// call alone: logged with its code, the link stays.
class AmiBroker final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AmiBroker)

public:
    explicit AmiBroker(Platform::AutomationFactory factory, QObject *parent = nullptr);
    ~AmiBroker() override;

    inline static const QString ProgId = QStringLiteral("Broker.Application");
    inline static const QString LoadDatabaseMethod = QStringLiteral("LoadDatabase(QString&)");

    // "Import(0,<data file>,<format file>)": arguments inside the text, no quotes.
    [[nodiscard]] static QString importText(const QString &dataFile, const QString &formatFile);
    [[nodiscard]] static QString saveLayoutText(const QString &layoutFile);

    [[nodiscard]] bool isReachable() const { return !m_lost; }

    static constexpr int RelinkIntervalMs = 5000;
    void setRelinkInterval(int ms);

    // Each returns false when AmiBroker could not be reached or refused the call.
    bool loadDatabase(const QString &databaseFolder);
    bool import(const QString &dataFile, const QString &formatFile);
    bool refreshAll();
    bool saveDatabase();
    bool saveLayout(const QString &layoutFile);

signals:
    void reachableChanged(bool reachable);

private:
    bool call(const QString &methodText);
    bool judge(const QString &methodText, const Platform::CallResult &result);
    void noteRefusal(const QString &methodText, const QString &reason);
    [[nodiscard]] static QString errorText(quint32 error);
    // Creates the object again and reloads the database after a loss; false while that fails.
    bool relink();
    void setLost(bool lost);
    void relinkOnItsOwn();

    Platform::AutomationFactory m_factory;
    std::unique_ptr<Platform::AutomationObject> m_object;
    QString m_databaseFolder;
    // Method text -> the reason last logged for its refusal.
    QHash<QString, QString> m_refusals;
    bool m_lost = false;
    QTimer *m_relinkTimer = nullptr;
};
