#pragma once

#include <QString>

#include <memory>

namespace Platform {
class AutomationObject;
}

// Every operation the feed performs on AmiBroker's automation server, with its exact method text.
// Results are never examined.
class AmiBroker final
{
public:
    AmiBroker();
    ~AmiBroker();
    Q_DISABLE_COPY(AmiBroker)

    inline static const QString ProgId = QStringLiteral("Broker.Application");
    inline static const QString LoadDatabaseMethod = QStringLiteral("LoadDatabase(QString&)");

    // "Import(0,<data file>,<format file>)": arguments inside the text, no quotes.
    [[nodiscard]] static QString importText(const QString &dataFile, const QString &formatFile);
    [[nodiscard]] static QString saveLayoutText(const QString &layoutFile);

    void loadDatabase(const QString &databaseFolder);
    void import(const QString &dataFile, const QString &formatFile);
    void refreshAll();
    void saveDatabase();
    void saveLayout(const QString &layoutFile);

private:
    std::unique_ptr<Platform::AutomationObject> m_object;
};
