#include "feed/amibroker.h"

#include "platform/automationobject.h"

AmiBroker::AmiBroker()
    : m_object(Platform::createAutomationObject(ProgId))
{
}

AmiBroker::~AmiBroker() = default;

QString AmiBroker::importText(const QString &dataFile, const QString &formatFile)
{
    return QStringLiteral("Import(%1,%2,%3)").arg(QString::number(0), dataFile, formatFile);
}

QString AmiBroker::saveLayoutText(const QString &layoutFile)
{
    return QStringLiteral("SaveLayout(%1)").arg(layoutFile);
}

void AmiBroker::loadDatabase(const QString &databaseFolder)
{
    m_object->call(LoadDatabaseMethod, databaseFolder);
}

void AmiBroker::import(const QString &dataFile, const QString &formatFile)
{
    m_object->call(importText(dataFile, formatFile));
}

void AmiBroker::refreshAll()
{
    m_object->call(QStringLiteral("RefreshAll()"));
}

void AmiBroker::saveDatabase()
{
    m_object->call(QStringLiteral("SaveDatabase()"));
}

void AmiBroker::saveLayout(const QString &layoutFile)
{
    m_object->call(saveLayoutText(layoutFile));
}
