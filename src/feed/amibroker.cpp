#include "feed/amibroker.h"

#include "app/eventlog.h"

#include <QTimer>

AmiBroker::AmiBroker(Platform::AutomationFactory factory, QObject *parent)
    : QObject(parent)
    , m_factory(std::move(factory))
    , m_object(m_factory(ProgId))
    , m_lost(!m_object || m_object->isNull())
{
    m_relinkTimer = new QTimer(this);
    m_relinkTimer->setInterval(RelinkIntervalMs);
    connect(m_relinkTimer, &QTimer::timeout, this, &AmiBroker::relinkOnItsOwn);
    if (m_lost) {
        EventLog::warning(QStringLiteral("amibroker"), QStringLiteral("AmiBroker not reachable at start"));
        m_relinkTimer->start();
    }
}

void AmiBroker::setRelinkInterval(int ms)
{
    m_relinkTimer->setInterval(ms);
}

void AmiBroker::relinkOnItsOwn()
{
    relink();
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

void AmiBroker::setLost(bool lost)
{
    if (m_lost == lost)
        return;
    m_lost = lost;
    if (lost) {
        EventLog::warning(QStringLiteral("amibroker"), QStringLiteral("AmiBroker link lost"));
        m_relinkTimer->start();
    } else {
        EventLog::info(QStringLiteral("amibroker"), QStringLiteral("AmiBroker link restored"));
        m_relinkTimer->stop();
    }
    emit reachableChanged(!lost);
}

bool AmiBroker::relink()
{
    if (!m_lost)
        return true;
    m_object = m_factory(ProgId);
    if (!m_object || m_object->isNull())
        return false;
    // A restarted AmiBroker has some other database open.
    if (!m_databaseFolder.isEmpty() && !m_object->call(LoadDatabaseMethod, m_databaseFolder))
        return false;
    setLost(false);
    return true;
}

bool AmiBroker::call(const QString &methodText)
{
    if (!relink())
        return false;
    const bool done = m_object->call(methodText);
    setLost(!done);
    return done;
}

bool AmiBroker::loadDatabase(const QString &databaseFolder)
{
    m_databaseFolder = databaseFolder;
    if (m_lost) {
        // The relink loads the database itself.
        return relink();
    }
    const bool done = m_object->call(LoadDatabaseMethod, databaseFolder);
    setLost(!done);
    return done;
}

bool AmiBroker::import(const QString &dataFile, const QString &formatFile)
{
    return call(importText(dataFile, formatFile));
}

bool AmiBroker::refreshAll()
{
    return call(QStringLiteral("RefreshAll()"));
}

bool AmiBroker::saveDatabase()
{
    return call(QStringLiteral("SaveDatabase()"));
}

bool AmiBroker::saveLayout(const QString &layoutFile)
{
    return call(saveLayoutText(layoutFile));
}
